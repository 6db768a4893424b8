// Memory of the benchmark process itself, as the system counts it.
#pragma once
#include <QByteArray>
#include <QFile>
#include <QString>

// Kilobytes of this process from /proc/self/status ("VmRSS", "VmHWM"); -1
// when it cannot be read.
inline long status_kb(const char* field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLong();
    return -1;
}
