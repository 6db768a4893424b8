// The per-user folder holding server.lst, temp.s and text.txt.
#pragma once
#include <QFile>
#include <QString>

namespace program_folder {

// $PALU_FTP_HOME when set, else $XDG_DATA_HOME/palu_ftp, else
// ~/.local/share/palu_ftp; absolute, without a trailing '/', created when
// missing.
QString path();
// path() + "/" + name
QString file(const QString& name);
// Creates the file anew for writing, readable by its owner only (a listing
// or a remote file's text is nobody else's), replacing what was there.
bool create_private(QFile& file, QIODevice::OpenMode mode);

} // namespace program_folder
