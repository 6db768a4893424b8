// Reconnection after "421".
#include "app/form1.h"

// Not built yet: the countdown window fills this in.
void form1::Start_retry_countdown() {}
