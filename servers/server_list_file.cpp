#include "servers/server_list_file.h"

#include <QFile>
#include <QSaveFile>

#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/program_folder.h"
#include "platform/settings_store.h"
#include "servers/password_store.h"

namespace server_list {

namespace {
void write_all(const QStringList& lines)
{
    // Written beside the old file and moved over it: a crash or a full disk
    // never leaves a truncated list behind.
    const QString file = path();
    QSaveFile out(file);
    // Unbuffered: a buffered write error surfaces only when the file is
    // closed, where the save would not see it and would commit a short file.
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        errors::raise(errors::PathFileAccess, file);
    const QByteArray bytes = serialize(lines);
    if (out.write(bytes) != bytes.size() || !out.commit())
        errors::raise(errors::DeviceIO, file);
}
} // namespace

QString path() { return program_folder::file(QStringLiteral("server.lst")); }

QStringList parse(const QByteArray& bytes)
{
    QStringList lines;
    const QString text = codepage::to_text(bytes);
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != u'\r' && c != u'\n')
            continue;
        lines << text.mid(start, i - start);
        if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines << text.mid(start);
    return lines;
}

QByteArray serialize(const QStringList& lines)
{
    QString text;
    for (const QString& line : lines)
        text += line + QStringLiteral("\r\n");
    QByteArray bytes = codepage::from_text(text);
    // Reading drops a byte order mark at the start of a UTF-8 file (one an
    // editor may have put there): a first name that starts with that
    // character gets one of its own in front so that the name reads back whole.
    if (!lines.isEmpty() && lines.first().startsWith(QChar(0xFEFF)) && codepage::system_name() == "UTF-8")
        bytes.prepend("\xEF\xBB\xBF");
    return bytes;
}

QStringList read()
{
    const QString file = path();
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        errors::raise(in.exists() ? errors::PermissionDenied : errors::FileNotFound, file);
    return parse(in.readAll());
}

void append(const QString& name)
{
    const QString file = path();
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Append))
        errors::raise(errors::PathFileAccess, file);
    // Only the first line of the file may need serialize()'s byte order mark.
    const QByteArray bytes = out.size() > 0 ? codepage::from_text(name + QStringLiteral("\r\n")) : serialize({name});
    if (out.write(bytes) != bytes.size() || !out.flush())
        errors::raise(errors::DeviceIO, file);
}

QStringList rename(const QString& oldName, const QString& newName)
{
    QStringList lines = read();
    for (QString& line : lines)
        if (line == oldName)
            line = newName;
    write_all(lines);
    return lines;
}

void copy_record(const QString& from, const QString& to)
{
    for (const QString& key : settings::keys(from))
        settings::save(to, key, settings::get(from, key));
}

QStringList remove(const QString& name)
{
    // The whole record goes, password and trusted certificate included: a
    // later entry of the same name must not inherit them.
    settings::delete_section(name);
    passwords::forget(name);
    QStringList kept;
    bool removed = false;
    for (const QString& line : read()) {
        if (!removed && line == name) {
            removed = true;
            continue;
        }
        if (!line.isEmpty())
            kept << line;
    }
    write_all(kept);
    return kept;
}

} // namespace server_list
