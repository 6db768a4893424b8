// Checks of a server entry's texts that the settings store and server.lst
// need before the entry can be saved.
#pragma once
#include <QByteArray>
#include <QString>

#include "platform/codepage.h"

namespace entry_checks {

// Whether name would address one of the store's own sections (options,
// quick connect, window size, batches) instead of a server record.
bool is_fixed_section(const QString& name);

// What keeps name, host and user from being saved as an entry, or empty
// when nothing does. name is the display name as it is stored; cp is the
// code page server.lst is written in.
QString problem(const QString& name, const QString& host, const QString& user,
                const QByteArray& cp = codepage::system_name());

} // namespace entry_checks
