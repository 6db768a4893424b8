#include "fileops/local_files.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include "platform/errors.h"

namespace local_files {

namespace {
// The "User" flags describe what the running user may do (root may do
// anything); written back they would add owner bits that were never set.
QFile::Permissions mode_bits(const QFileInfo& info)
{
    return info.permissions() & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
}

void make_folder_usable(const QString& path)
{
    const QFileInfo info(path);
    const QFile::Permissions owner = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    if ((info.permissions() & owner) != owner)
        QFile::setPermissions(path, mode_bits(info) | owner);
}
} // namespace

bool is_plain_name(const QString& name)
{
    return !name.isEmpty() && !name.contains(QLatin1Char('\\')) && !name.contains(QLatin1Char('/'));
}

bool entry_exists(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

bool is_read_only(const QString& path)
{
    const QFileInfo info(path);
    return !info.isSymLink() && info.exists() && !info.permission(QFile::WriteOwner);
}

bool clear_read_only(const QString& path)
{
    const QFileInfo info(path);
    if (info.isSymLink())
        return true;   // setting permissions would reach the link's target
    return QFile::setPermissions(path, mode_bits(info) | QFile::WriteOwner);
}

bool remove_file(const QString& path, QString* reason)
{
    QFile file(path);
    if (file.remove()) {
        if (reason)
            reason->clear();
        return true;
    }
    if (reason)
        *reason = file.errorString();
    return false;
}

MakeResult make_folder(const QString& path)
{
    if (entry_exists(path))
        return MakeResult::Exists;
    return QDir().mkdir(path) ? MakeResult::Made : MakeResult::Failed;
}

RenameResult rename_entry(const QString& from, const QString& to, QString* reason)
{
    if (reason)
        reason->clear();
    if (entry_exists(to))
        return RenameResult::TargetExists;
    if (!entry_exists(from)) {
        if (reason)
            *reason = errors::description(errors::FileNotFound);
        return RenameResult::Failed;
    }
    // QFile checks for an existing target once more just before it renames.
    // It cannot see a dangling link as a source; that one moves as itself.
    if (QFileInfo(from).isSymLink() && !QFileInfo::exists(from))
        return QDir().rename(from, to) ? RenameResult::Renamed : RenameResult::Failed;
    QFile file(from);
    if (file.rename(to))
        return RenameResult::Renamed;
    if (reason)
        *reason = file.errorString();
    return entry_exists(to) ? RenameResult::TargetExists : RenameResult::Failed;
}

QList<Failure> remove_tree(const QString& path)
{
    QList<Failure> failures;
    const QFileInfo top(path);
    if (top.isSymLink() || !top.isDir()) {
        QString reason;
        if (!remove_file(path, &reason))
            failures.append({path, reason});
        return failures;
    }

    // Folders still to empty and remove, deepest last. A folder is listed
    // once: its files and links go at once, its subfolders are stacked above
    // it, and it is removed when they are gone.
    struct Frame {
        QString path;
        qsizetype parent;
        bool listed = false;
        bool incomplete = false;   // something below could not be removed
    };
    QList<Frame> stack{{path, -1}};
    while (!stack.isEmpty()) {
        const qsizetype index = stack.size() - 1;
        if (!stack[index].listed) {
            stack[index].listed = true;
            const QString folder = stack[index].path;
            make_folder_usable(folder);
            QStringList subfolders;
            QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
            while (it.hasNext()) {
                it.next();
                const QFileInfo entry = it.fileInfo();
                if (entry.isDir() && !entry.isSymLink()) {
                    subfolders.append(entry.filePath());
                    continue;
                }
                QString reason;
                if (!remove_file(entry.filePath(), &reason)) {
                    failures.append({entry.filePath(), reason});
                    stack[index].incomplete = true;
                }
            }
            for (const QString& sub : subfolders)
                stack.append({sub, index});
            continue;
        }
        Frame done = stack.takeLast();
        if (!done.incomplete && !QDir().rmdir(done.path)) {
            failures.append({done.path, QString()});
            done.incomplete = true;
        }
        if (done.incomplete && done.parent >= 0)
            stack[done.parent].incomplete = true;
    }
    return failures;
}

QString failure_text(const QString& header, const QList<Failure>& failures, int limit)
{
    QString text = header;
    const qsizetype shown = std::min<qsizetype>(failures.size(), limit);
    for (qsizetype i = 0; i < shown; ++i) {
        text += QStringLiteral("\n") + failures[i].path;
        if (!failures[i].reason.isEmpty())
            text += QStringLiteral(" (") + failures[i].reason + QStringLiteral(")");
    }
    if (failures.size() > shown)
        text += QStringLiteral("\nほか") + QString::number(failures.size() - shown) + QStringLiteral("件");
    return text;
}

} // namespace local_files
