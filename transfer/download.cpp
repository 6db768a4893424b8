// The download batch.
#include "app/form1.h"

// Not built yet: the download batch fills this in.
void form1::Down_sele() {}
