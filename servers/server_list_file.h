// server.lst: the display names of the registered servers, one per line, in
// registration order. Each name is also the settings section of its record.
#pragma once
#include <QByteArray>
#include <QStringList>

namespace server_list {

QString path();

// Lines of the file text: a line ends at CR LF, a lone CR or a lone LF.
QStringList parse(const QByteArray& bytes);
// Each line and CR LF. In UTF-8 a first line that starts with U+FEFF gets a
// byte order mark in front, since parse() drops one at the start.
QByteArray serialize(const QStringList& lines);

// The operations throw errors::RunError naming the file when it cannot be
// read or written; a failed rewrite leaves the old file as it was.
QStringList read();
void append(const QString& name);
// Replaces every line equal to oldName; returns the lines written.
QStringList rename(const QString& oldName, const QString& newName);
// Deletes the record's section and its keyring item, then the first line
// equal to name; blank lines are dropped in the same pass. Returns the lines
// written.
QStringList remove(const QString& name);
// Every key of the record from into the record to (settings store only).
void copy_record(const QString& from, const QString& to);

} // namespace server_list
