// Where the help page is found: beside the program, in its installed share
// folder, or in the source tree when the program runs from its build folder.
#pragma once
#include <QString>
#include <QStringList>

namespace help_file {

inline constexpr const char* Name = "palu_ftp.html";

// The folders searched, in order.
QStringList folders();
// The help page in the first of folders that holds one; empty when none does.
QString find(const QStringList& folders);

} // namespace help_file
