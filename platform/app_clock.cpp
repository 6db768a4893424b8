#include "platform/app_clock.h"

#include <QtGlobal>

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

void pin_time_zone()
{
    // An empty TZ means UTC to the C library, so only an unset one is filled.
    if (!qEnvironmentVariableIsSet("TZ"))
        qputenv("TZ", QByteArrayLiteral(":/etc/localtime"));
}

} // namespace app_clock
