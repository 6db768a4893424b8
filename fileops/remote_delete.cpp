// Deleting remote files one DELE per "250" reply.
#include "app/form1.h"

// Not built yet: the remote delete batch fills this in.
void form1::Dele_next() {}
