#include "platform/settings_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStorageInfo>
#include <QVariant>

#include <memory>

namespace settings {

namespace {

struct Store {
    QString path;
    std::unique_ptr<QSettings> qs;
};

Store& store()
{
    static Store s;
    return s;
}

// The file holds passwords: make sure it exists and is private before
// QSettings writes anything to it. QSettings' atomic save replaces the file
// but keeps the permissions of the one it replaces.
void prepare_file(const QString& path)
{
    const QFileInfo fi(path);
    QDir dir = fi.absoluteDir();
    if (!dir.exists() && dir.mkpath(QStringLiteral(".")))
        QFile::setPermissions(dir.absolutePath(),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const auto owner_only = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    if (!fi.exists()) {
        QFile f(path);
        if (f.open(QIODevice::WriteOnly | QIODevice::NewOnly, owner_only))
            f.close();
    } else if (fi.isFile() && (fi.permissions() & (QFileDevice::ReadGroup | QFileDevice::WriteGroup
                                                  | QFileDevice::ReadOther | QFileDevice::WriteOther))) {
        QFile::setPermissions(path, owner_only);
    }
}

// The QSettings object for the current path. The path is looked up on every
// call because the configuration folder may change (each test has its own).
QSettings& qs()
{
    Store& s = store();
    const QString path = file_path();
    if (!s.qs || s.path != path) {
        if (s.qs)
            s.qs->sync();
        prepare_file(path);
        s.qs = std::make_unique<QSettings>(path, QSettings::IniFormat);
        s.path = path;
    }
    return *s.qs;
}

// Why the file at path cannot be written, as far as the file system tells.
QString write_problem(const QString& path)
{
    const QFileInfo file(path);
    const QFileInfo folder(file.absolutePath());
    if (!folder.isDir())
        return QStringLiteral("フォルダ「") + folder.absoluteFilePath() + QStringLiteral("」を作成できません。");
    if (file.isDir())
        return QStringLiteral("同じ名前のフォルダがあります。");
    if (!folder.isWritable() || (file.exists() && !file.isWritable()))
        return QStringLiteral("書き込みの権限がありません。");
    const QStorageInfo disk(folder.absoluteFilePath());
    if (disk.isValid() && (disk.isReadOnly() || disk.bytesAvailable() < 64 * 1024))
        return disk.isReadOnly() ? QStringLiteral("ディスクが書き込み禁止です。")
                                 : QStringLiteral("ディスクの空き容量が不足しています。");
    return QStringLiteral("書き込み中にエラーが発生しました。");
}

QString stored_key(const QString& section, const QString& key)
{
    return escape_name(section) + QLatin1Char('/') + escape_name(key);
}

} // namespace

QString file_path()
{
    QString base = QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"));
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/PALU_FTP/PALU_FTP.ini");
}

QString escape_name(const QString& name)
{
    // QSettings cannot hold an empty name; a lone '%' never comes out of the
    // escaping below, so it stands for the empty name.
    if (name.isEmpty())
        return QStringLiteral("%");
    // '/' separates groups and '\' is written as '/' in INI keys; '%' is the
    // escape itself. QSettings escapes everything else ('=', '[', ';', spaces,
    // non-ASCII) in the file on its own.
    QString out;
    out.reserve(name.size() + 8);
    // QSettings writes any section spelled "general" as its top-level
    // [%General], so "General" and "general" would read back as one.
    qsizetype from = 0;
    if (name.compare(QLatin1String("general"), Qt::CaseInsensitive) == 0) {
        out += QStringLiteral("%%1").arg(name[0].unicode(), 2, 16, QLatin1Char('0')).toUpper();
        from = 1;
    }
    for (const QChar ch : QStringView(name).mid(from)) {
        switch (ch.unicode()) {
        case '%': out += QStringLiteral("%25"); break;
        case '/': out += QStringLiteral("%2F"); break;
        case '\\': out += QStringLiteral("%5C"); break;
        default: out += ch;
        }
    }
    return out;
}

QString unescape_name(const QString& stored)
{
    if (stored == QStringLiteral("%"))
        return QString();
    QString out;
    out.reserve(stored.size());
    const auto hex = [](QChar c) {
        return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('A') && c <= QLatin1Char('F'))
            || (c >= QLatin1Char('a') && c <= QLatin1Char('f'));
    };
    for (qsizetype i = 0; i < stored.size(); ++i) {
        if (stored[i] == QLatin1Char('%') && i + 2 < stored.size() && hex(stored[i + 1]) && hex(stored[i + 2])) {
            out += QChar(QStringView(stored).mid(i + 1, 2).toUShort(nullptr, 16));
            i += 2;
            continue;
        }
        out += stored[i]; // a hand-edited name: keep what cannot be decoded
    }
    return out;
}

QString get(const QString& section, const QString& key, const QString& def)
{
    const QVariant v = qs().value(stored_key(section, key));
    if (!v.isValid())
        return def;
    // A hand-edited "key=a, b" reads back as a list.
    if (v.userType() == QMetaType::QStringList)
        return v.toStringList().join(QStringLiteral(", "));
    return v.toString();
}

void save(const QString& section, const QString& key, const QString& value)
{
    QSettings& s = qs();
    if (!QFileInfo::exists(store().path))
        prepare_file(store().path); // removed behind our back: recreate it private
    s.setValue(stored_key(section, key), value);
}

void delete_section(const QString& section)
{
    qs().remove(escape_name(section));
}

void remove(const QString& section, const QString& key)
{
    qs().remove(stored_key(section, key));
}

QStringList sections()
{
    QStringList out;
    for (const QString& g : qs().childGroups())
        out += unescape_name(g);
    return out;
}

QStringList keys(const QString& section)
{
    QSettings& s = qs();
    s.beginGroup(escape_name(section));
    const QStringList stored = s.childKeys();
    s.endGroup();
    QStringList out;
    out.reserve(stored.size());
    for (const QString& k : stored)
        out += unescape_name(k);
    return out;
}

void flush()
{
    Store& s = store();
    if (s.qs)
        s.qs->sync();
}

QString commit()
{
    qs();
    Store& s = store();
    // QSettings keeps the first error it met for the life of the object, so
    // an old failure would hide this write's outcome. A fresh object shares
    // the changes still pending for the file and tries them when created;
    // it exists before the old one goes, so nothing pending is dropped.
    if (s.qs->status() != QSettings::NoError) {
        prepare_file(s.path);
        s.qs = std::make_unique<QSettings>(s.path, QSettings::IniFormat);
    }
    s.qs->sync();
    // A format error only means the old file could not be read; it is
    // replaced by this write.
    if (s.qs->status() != QSettings::AccessError)
        return QString();
    return QStringLiteral("設定ファイル「") + s.path + QStringLiteral("」に書き込めませんでした。\n") +
           write_problem(s.path);
}

} // namespace settings
