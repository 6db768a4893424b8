// The per-user folder holding server.lst, temp.s and text.txt.
#pragma once
#include <QString>

namespace program_folder {

// $PALU_FTP_HOME when set, else $XDG_DATA_HOME/palu_ftp, else
// ~/.local/share/palu_ftp; absolute, without a trailing '/', created when
// missing.
QString path();
// path() + "/" + name
QString file(const QString& name);

} // namespace program_folder
