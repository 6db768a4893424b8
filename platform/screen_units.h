// Lengths are kept in twips (1/1440 inch) and turned into pixels only where
// they meet the screen; fonts ask for the program's gothic face.
#pragma once
#include <QFont>

namespace screen_units {
double twips_per_pixel();          // 15 at 96 DPI
int to_px(double twips);
double to_twips(int px);
} // namespace screen_units

// "ＭＳ ゴシック" or the installed Japanese gothic that stands in for it.
QFont gothic_font(int pointSize = 9);
