// The upload batch.
#include "app/form1.h"

// Not built yet: the upload batch fills these in.
void form1::Up_LoadA() {}
void form1::Up_select() {}
void form1::Up_next() {}
