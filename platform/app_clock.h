// Now and today come from here so tests can fix the time.
#pragma once
#include <QDate>
#include <QDateTime>

namespace app_clock {
QDateTime now();
QDate today();
void set_fixed(const QDateTime& when);   // tests
void clear_fixed();
} // namespace app_clock
