#include "fileops/local_files.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QCoreApplication>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/errors.h"

namespace local_files {

namespace {
// The "User" flags describe what the running user may do (root may do
// anything); written back they would add owner bits that were never set.
QFile::Permissions mode_bits(const QFileInfo& info)
{
    return info.permissions() & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
}

QString system_reason(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// One entry of the file system (a link is itself, not its target).
bool same_entry(const QString& a, const QString& b)
{
    struct stat sa, sb;
    return ::lstat(QFile::encodeName(a).constData(), &sa) == 0 && ::lstat(QFile::encodeName(b).constData(), &sb) == 0 &&
        sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// Renames without ever replacing an entry at to: 0, or the system's error.
int rename_no_replace(const QString& from, const QString& to)
{
    const QByteArray f = QFile::encodeName(from), t = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, f.constData(), AT_FDCWD, t.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // A file system without the flag: look first.
    struct stat st;
    if (::lstat(t.constData(), &st) == 0)
        return EEXIST;
    return ::rename(f.constData(), t.constData()) == 0 ? 0 : errno;
}

// The new name leads to the entry itself: a file system that ignores letter
// case (FAT, exFAT, SMB shares) finds "a.txt" under "A.txt". Renamed in two
// steps through a free temporary name, so the new spelling is what remains.
// Where the new name is a second link to the same file on a file system that
// tells case apart, that link already names the file and the old name goes.
RenameResult rename_same_entry(const QString& from, const QString& to, QString* reason)
{
    const QString folder = QFileInfo(from).absolutePath();
    QString temporary;
    int error = EEXIST;
    for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
        temporary = folder + QStringLiteral("/.palu_rename_") + QString::number(QCoreApplication::applicationPid()) +
            QLatin1Char('_') + QString::number(attempt);
        error = rename_no_replace(from, temporary);
    }
    if (error != 0) {
        if (reason)
            *reason = system_reason(error);
        return RenameResult::Failed;
    }
    error = rename_no_replace(temporary, to);
    if (error == 0)
        return RenameResult::Renamed;
    struct stat st;
    if (error == EEXIST && same_entry(temporary, to) &&
        ::lstat(QFile::encodeName(temporary).constData(), &st) == 0 && st.st_nlink > 1 &&
        ::unlink(QFile::encodeName(temporary).constData()) == 0)
        return RenameResult::Renamed;
    // Back to the old name; the entry is never left under the temporary one
    // unless the system refuses that too, and then the user is told where.
    const int back = rename_no_replace(temporary, from);
    if (reason)
        *reason = back == 0 ? system_reason(error) : system_reason(error) + QStringLiteral(" (") + temporary + QStringLiteral(")");
    return error == EEXIST && back == 0 ? RenameResult::TargetExists : RenameResult::Failed;
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
        return same_entry(from, to) ? rename_same_entry(from, to, reason) : RenameResult::TargetExists;
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

namespace {
constexpr mode_t OwnerAll = S_IRWXU;

// Opens the folder name inside the folder parent as a handle, never through
// a link. A folder its owner may not read or enter is opened for that first
// (through the handle, so only this very folder changes).
int open_folder(int parent, const QByteArray& name, int* error)
{
    const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    int fd = ::openat(parent, name.constData(), flags);
    if (fd < 0 && errno == EACCES) {
        const int path = ::openat(parent, name.constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        struct stat st;
        if (path >= 0 && ::fstat(path, &st) == 0 &&
            ::chmod(QByteArray("/proc/self/fd/" + QByteArray::number(path)).constData(), (st.st_mode & 07777) | OwnerAll) == 0)
            fd = ::openat(path, ".", flags);
        if (path >= 0)
            ::close(path);
        if (fd < 0)
            errno = EACCES;
    }
    if (fd < 0) {
        *error = errno;
        return -1;
    }
    // Its entries can only be removed when the owner may write and enter it.
    struct stat st;
    if (::fstat(fd, &st) == 0 && (st.st_mode & OwnerAll) != OwnerAll)
        ::fchmod(fd, (st.st_mode & 07777) | OwnerAll);
    return fd;
}

// Removes everything inside the open folder fd (shown to the user as path),
// every subfolder entered by its handle from this one. False when something
// stayed.
bool empty_folder(int fd, const QString& path, QList<Failure>& failures)
{
    // The names are read first; removing while reading may skip entries.
    QList<QByteArray> names;
    const int listing = ::dup(fd);
    DIR* dir = listing >= 0 ? ::fdopendir(listing) : nullptr;
    if (!dir) {
        if (listing >= 0)
            ::close(listing);
        failures.append({path, system_reason(errno)});
        return false;
    }
    while (const dirent* e = ::readdir(dir)) {
        const QByteArray name(e->d_name);
        if (name != "." && name != "..")
            names.append(name);
    }
    ::closedir(dir);

    bool complete = true;
    for (const QByteArray& name : names) {
        const QString entryPath = path + QLatin1Char('/') + QFile::decodeName(name);
        struct stat st;
        if (::fstatat(fd, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT) {   // gone meanwhile is what was wanted
                failures.append({entryPath, system_reason(errno)});
                complete = false;
            }
            continue;
        }
        if (!S_ISDIR(st.st_mode)) {
            if (::unlinkat(fd, name.constData(), 0) != 0 && errno != ENOENT) {
                failures.append({entryPath, system_reason(errno)});
                complete = false;
            }
            continue;
        }
        int error = 0;
        const int sub = open_folder(fd, name, &error);
        if (sub < 0) {
            // No longer a folder (a link put in its place): removed as itself.
            if ((error == ELOOP || error == ENOTDIR) && ::unlinkat(fd, name.constData(), 0) == 0)
                continue;
            failures.append({entryPath, system_reason(error)});
            complete = false;
            continue;
        }
        const bool emptied = empty_folder(sub, entryPath, failures);
        ::close(sub);
        if (!emptied) {
            complete = false;
            continue;
        }
        if (::unlinkat(fd, name.constData(), AT_REMOVEDIR) != 0 && errno != ENOENT) {
            failures.append({entryPath, system_reason(errno)});
            complete = false;
        }
    }
    return complete;
}
} // namespace

QList<Failure> remove_tree(const QString& path)
{
    QList<Failure> failures;
    // Everything is reached from the folder that holds path, by handles: an
    // entry that is (or becomes) a link is removed as a link, and nothing
    // outside the folder can be reached through it.
    const QFileInfo info(path);
    const QByteArray parentPath = QFile::encodeName(info.absolutePath());
    const QByteArray name = QFile::encodeName(info.fileName());
    const int parent = ::open(parentPath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parent < 0) {
        failures.append({path, system_reason(errno)});
        return failures;
    }
    struct stat st;
    if (::fstatat(parent, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        failures.append({path, system_reason(errno)});
    } else if (!S_ISDIR(st.st_mode)) {
        if (::unlinkat(parent, name.constData(), 0) != 0)
            failures.append({path, system_reason(errno)});
    } else {
        int error = 0;
        const int top = open_folder(parent, name, &error);
        if (top < 0) {
            if (!((error == ELOOP || error == ENOTDIR) && ::unlinkat(parent, name.constData(), 0) == 0))
                failures.append({path, system_reason(error)});
        } else {
            const bool emptied = empty_folder(top, path, failures);
            ::close(top);
            if (emptied && ::unlinkat(parent, name.constData(), AT_REMOVEDIR) != 0)
                failures.append({path, system_reason(errno)});
        }
    }
    ::close(parent);
    return failures;
}

int count_files(const QString& path)
{
    int n = 0;
    QDirIterator it(path, QDir::Files | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        ++n;
    }
    return n;
}

bool move_to_trash(const QString& path, QString* reason)
{
    // The Trash of the user's data folder is made first: where no Trash at
    // all can be established, the system library moves the entry to a
    // folder below the working folder instead of failing.
    const QString trash = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Trash");
    if (!QDir().mkpath(trash + QStringLiteral("/files")) || !QDir().mkpath(trash + QStringLiteral("/info"))) {
        if (reason)
            *reason = trash + QStringLiteral(" (") + errors::description(errors::PathFileAccess) + u')';
        return false;
    }
    QFile entry(path);
    if (!entry.moveToTrash()) {
        if (reason)
            *reason = entry.errorString();
        return false;
    }
    const QString landed = entry.fileName();
    if (QDir::isAbsolutePath(landed))
        return true;
    // Not in a Trash after all: put it back where it was.
    const QString stray = QFileInfo(landed).absoluteFilePath();
    QFile::remove(QFileInfo(stray).absolutePath() + QStringLiteral("/../info/") + QFileInfo(stray).fileName() +
                  QStringLiteral(".trashinfo"));
    ::rename(QFile::encodeName(stray).constData(), QFile::encodeName(path).constData());
    if (reason)
        *reason = errors::description(errors::PathFileAccess);
    return false;
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
