// Now and today come from here so tests can fix the time.
#pragma once
#include <QDate>
#include <QDateTime>

namespace app_clock {
QDateTime now();
QDate today();
void set_fixed(const QDateTime& when);   // tests
void clear_fixed();
// Names the system's zone file in TZ when TZ is not set, before any clock
// is read: the C library otherwise checks that file again for every local
// time it makes, and a transfer asks for the time on every block.
void pin_time_zone();
} // namespace app_clock
