#include "platform/app_clock.h"

namespace app_clock {

namespace {
QDateTime& fixed()
{
    static QDateTime f;
    return f;
}
} // namespace

QDateTime now() { return fixed().isValid() ? fixed() : QDateTime::currentDateTime(); }
QDate today() { return now().date(); }
void set_fixed(const QDateTime& when) { fixed() = when; }
void clear_fixed() { fixed() = QDateTime(); }

} // namespace app_clock
