// Whether a name from the server can be used as a file name in the current
// local folder: nothing may be written anywhere else.
#pragma once
#include <QString>

bool is_plain_local_name(const QString& name);
// The same for each name of a '/'-separated path below the folder, and no
// control character anywhere (a line end would cut the command it goes in).
bool is_plain_relative_path(const QString& path);

#include <memory>
class QFile;

// Whether the path names a regular file (after links): pipes, sockets and
// devices take no part in transfers.
bool is_regular_file(const QString& native);
// Opens a regular file for reading without ever waiting (a pipe swapped in
// since the check would block an ordinary open); null with the reason if it
// cannot be opened or is not a regular file.
std::unique_ptr<QFile> open_regular_file(const QString& native, QString* why);
