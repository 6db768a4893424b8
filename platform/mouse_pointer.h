// The screen's mouse pointer: 11 the hourglass, 0 the default.
#pragma once

namespace mouse_pointer {
enum { Default = 0, Hourglass = 11 };
void set(int code);
int get();
} // namespace mouse_pointer
