#include "platform/screen_units.h"

#include <QGuiApplication>
#include <QScreen>
#include <cmath>

namespace screen_units {

double twips_per_pixel()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInchX() : 96.0;
    return 1440.0 / (dpi > 0 ? dpi : 96.0);
}

int to_px(double twips) { return int(std::lround(twips / twips_per_pixel())); }
double to_twips(int px) { return px * twips_per_pixel(); }

} // namespace screen_units

QFont gothic_font(int pointSize)
{
    QFont font;
    font.setFamilies({QStringLiteral("ＭＳ ゴシック"), QStringLiteral("MS Gothic"),
                      QStringLiteral("IPAGothic"), QStringLiteral("IPAゴシック"),
                      QStringLiteral("Noto Sans CJK JP"), QStringLiteral("Noto Sans Mono CJK JP"),
                      QStringLiteral("monospace")});
    font.setStyleHint(QFont::TypeWriter);
    font.setPointSize(pointSize);
    return font;
}
