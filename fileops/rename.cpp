// Renaming on either side.
#include "app/form1.h"

// Not built yet: the rename window fills this in.
void form1::Rename_ready() {}
