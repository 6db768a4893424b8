// Per-user text store for the program's settings (window places, options,
// server passwords), kept under the application name PALU_FTP.
#pragma once
#include <QString>
#include <QStringList>

namespace settings {

// The value stored under section/key, or def when either is absent or the
// file cannot be read.
QString get(const QString& section, const QString& key, const QString& def = QString());
void save(const QString& section, const QString& key, const QString& value);
void delete_section(const QString& section);
void remove(const QString& section, const QString& key);
// Section names as they were given to save().
QStringList sections();
// Key names of a section as they were given to save().
QStringList keys(const QString& section);
// Writes pending changes to disk now; otherwise they are written from the
// event loop shortly after the last change.
void flush();
// Writes pending changes now and says whether they reached the file: empty
// when they did, else which file could not be written and why. Changes that
// did not reach the file stay in effect for this run and are tried again at
// the next write.
QString commit();
// The INI file in use: $XDG_CONFIG_HOME/PALU_FTP/PALU_FTP.ini (else ~/.config).
QString file_path();

// Section and key names are user text (server display names); these map a
// name to the form kept in the file and back so that every name round-trips
// and none can reach into another section.
QString escape_name(const QString& name);
QString unescape_name(const QString& stored);

} // namespace settings
