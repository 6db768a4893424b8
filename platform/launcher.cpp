#include "platform/launcher.h"

#include <QFile>
#include <QMap>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QTextStream>

#include <optional>

namespace launcher {

namespace {
// How long the desktop may take to name its text editor.
constexpr int QueryWaitMs = 3000;

std::function<void(Kind, const QString&)>& recorder()
{
    static std::function<void(Kind, const QString&)> r;
    return r;
}

std::function<bool(const QString&, const QStringList&)>& starter()
{
    static std::function<bool(const QString&, const QStringList&)> s;
    return s;
}

bool start_process(const QString& program, const QStringList& args)
{
    if (starter())
        return starter()(program, args);
    return QProcess::startDetached(program, args);
}

// The desktop entry id the user chose for a file type ("" when none is
// registered); nothing when the desktop could not be asked.
std::optional<QString> default_application(const QString& mimeType)
{
    QProcess query;
    query.start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"), mimeType});
    if (!query.waitForStarted(QueryWaitMs))
        return std::nullopt;
    if (!query.waitForFinished(QueryWaitMs)) {
        query.kill();
        query.waitForFinished();
        return std::nullopt;
    }
    // Several entries may be named; the first is the default.
    return QString::fromLocal8Bit(query.readAllStandardOutput()).section(u'\n', 0, 0).section(u';', 0, 0).trimmed();
}

// The desktop entry of the application the user chose for plain text.
QString text_editor_entry()
{
    const QString id = default_application(QStringLiteral("text/plain")).value_or(QString());
    if (id.isEmpty() || !id.endsWith(QStringLiteral(".desktop")) || id.contains(u'/'))
        return QString();
    return QStandardPaths::locate(QStandardPaths::ApplicationsLocation, id);
}

// False only when the desktop says no program opens files of path's type
// (xdg-open would then fail where the user cannot see it).
bool viewer_registered(const QString& path)
{
    if (!qEnvironmentVariableIsEmpty("BROWSER"))
        return true;
    const std::optional<QString> id = default_application(QMimeDatabase().mimeTypeForFile(path).name());
    return !id || !id->isEmpty();
}

// The keys of the [Desktop Entry] group.
QMap<QString, QString> desktop_entry(const QString& path)
{
    QMap<QString, QString> keys;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return keys;
    QTextStream in(&file);
    bool inEntry = false;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith(u'[')) {
            inEntry = line == QStringLiteral("[Desktop Entry]");
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (inEntry && eq > 0 && !line.startsWith(u'#'))
            keys.insert(line.left(eq).trimmed(), line.mid(eq + 1).trimmed());
    }
    return keys;
}

// The text editor named by the desktop, started with the file.
bool start_text_editor(const QString& path)
{
    const QString entry = text_editor_entry();
    if (entry.isEmpty())
        return false;
    const QMap<QString, QString> keys = desktop_entry(entry);
    QStringList command = desktop_command(keys.value(QStringLiteral("Exec")), path, keys.value(QStringLiteral("Icon")),
                                          keys.value(QStringLiteral("Name")), entry);
    if (command.isEmpty())
        return false;
    // An editor that runs in a terminal gets the desktop's terminal.
    if (keys.value(QStringLiteral("Terminal")) == QStringLiteral("true"))
        command = QStringList{QStringLiteral("x-terminal-emulator"), QStringLiteral("-e")} + command;
    const QString program = command.takeFirst();
    return start_process(program, command);
}

bool start(Kind kind, const QString& path)
{
    if (recorder()) {
        recorder()(kind, path);
        return true;
    }
    if (kind == Kind::TextEditor)
        return start_text_editor(path);
    if (kind == Kind::Help && !viewer_registered(path))
        return false;
    // xdg-open picks the user's own viewer or browser for the file.
    return start_process(QStringLiteral("xdg-open"), {path});
}

// Undoes the escapes every desktop-file string value may hold.
QString unescape_value(const QString& v)
{
    QString out;
    for (qsizetype i = 0; i < v.size(); ++i) {
        if (v[i] != u'\\' || i + 1 == v.size()) {
            out += v[i];
            continue;
        }
        const QChar c = v[++i];
        out += c == u's' ? QChar(u' ') : c == u'n' ? QChar(u'\n') : c == u't' ? QChar(u'\t')
             : c == u'r' ? QChar(u'\r') : c;
    }
    return out;
}
} // namespace

QStringList desktop_command(const QString& exec, const QString& file, const QString& icon, const QString& name,
                            const QString& entryPath)
{
    // Split into words: blanks separate them, double quotes group them, and
    // inside quotes a backslash keeps the next character.
    struct Word {
        QString text;
        bool quoted = false;
    };
    QList<Word> words;
    const QString value = unescape_value(exec);
    Word current;
    bool inWord = false, inQuotes = false;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (inQuotes) {
            if (c == u'\\' && i + 1 < value.size())
                current.text += value[++i];
            else if (c == u'"')
                inQuotes = false;
            else
                current.text += c;
        } else if (c == u'"') {
            inQuotes = inWord = current.quoted = true;
        } else if (c == u' ' || c == u'\t') {
            if (inWord)
                words.append(current);
            current = Word();
            inWord = false;
        } else {
            current.text += c;
            inWord = true;
        }
    }
    if (inWord)
        words.append(current);

    // Field codes of unquoted words: the file for %f %F %u %U, the icon,
    // the name and the entry's own path; the rest are dropped.
    QStringList command;
    bool fileGiven = false;
    for (const Word& w : words) {
        if (w.quoted) {
            command.append(w.text);
            continue;
        }
        if (w.text == QStringLiteral("%i")) {
            if (!icon.isEmpty())
                command << QStringLiteral("--icon") << icon;
            continue;
        }
        QString out;
        for (qsizetype i = 0; i < w.text.size(); ++i) {
            if (w.text[i] != u'%' || i + 1 == w.text.size()) {
                out += w.text[i];
                continue;
            }
            const QChar code = w.text[++i];
            if (code == u'%') {
                out += u'%';
            } else if (code == u'f' || code == u'F' || code == u'u' || code == u'U') {
                if (!fileGiven)
                    out += file;
                fileGiven = true;
            } else if (code == u'c') {
                out += name;
            } else if (code == u'k') {
                out += entryPath;
            }
        }
        if (!out.isEmpty())
            command.append(out);
    }
    if (command.isEmpty() || command.first().isEmpty())
        return {};
    if (!fileGiven)
        command.append(file);
    return command;
}

bool open_text(const QString& path) { return start(Kind::TextEditor, path); }
bool open_document(const QString& path) { return start(Kind::Document, path); }
bool show_help(const QString& path) { return start(Kind::Help, path); }

void set_recorder(std::function<void(Kind, const QString&)> r) { recorder() = std::move(r); }
void set_process_starter(std::function<bool(const QString&, const QStringList&)> s) { starter() = std::move(s); }

} // namespace launcher
