#include "platform/replacing_file.h"

#include <QCryptographicHash>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

constexpr char OriginAttribute[] = "user.palu.origin";

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

// A link to a file keeps pointing at it: the file behind it is replaced.
// A link that leads to nothing is replaced itself: nothing is ever created
// through a link, wherever it points.
QString follow_links(const QString& path)
{
    QFileInfo info(path);
    for (int hops = 0; hops < 40 && info.isSymLink(); ++hops)
        info.setFile(info.symLinkTarget());
    return !info.isSymLink() && info.exists() ? info.absoluteFilePath() : QFileInfo(path).absoluteFilePath();
}

// Gives the new file its name only if nothing has that name, a link
// included, and never through a link.
int create_name(const QByteArray& from, const QByteArray& to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // File systems without the exclusive rename: a second name is just as
    // exclusive, then the hidden one goes.
    if (::link(from.constData(), to.constData()) != 0)
        return errno;
    ::unlink(from.constData());
    return 0;
}

// ".palu-" and eight letters or digits: 14 bytes, so it fits wherever the
// target's own name fits. Taken from the name, so the same target finds its
// part again.
QString part_name(const QString& targetName)
{
    static const char digits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    const QByteArray hash = QCryptographicHash::hash(targetName.toUtf8(), QCryptographicHash::Sha256);
    quint64 n = 0;
    for (int i = 0; i < 8; ++i)
        n = n << 8 | quint8(hash.at(i));
    QString name = QStringLiteral(".palu-");
    for (int i = 0; i < 8; ++i, n /= 36)
        name += QLatin1Char(digits[n % 36]);
    return name;
}

QString part_of_final(const QString& final)
{
    const QFileInfo info(final);
    return info.absolutePath() + u'/' + part_name(info.fileName());
}

void sync_folder(const QString& folder)
{
    const int fd = ::open(native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

ReplacingFile::ReplacingFile(const QString& target, QObject* parent) : QFile(parent), target_(target) {}

ReplacingFile::~ReplacingFile()
{
    release(true);
}

QString ReplacingFile::fileName() const
{
    return final_.isEmpty() ? target_ : final_;
}

QString ReplacingFile::partPath(const QString& target)
{
    return part_of_final(follow_links(target));
}

qint64 ReplacingFile::partLength(const QString& target)
{
    struct stat st {};
    if (::lstat(native(partPath(target)).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return st.st_size;
}

QByteArray ReplacingFile::originOf(const QString& target)
{
    const QByteArray path = native(partPath(target));
    // The tag may change between asking its size and reading it.
    for (int tries = 0; tries < 3; ++tries) {
        const ssize_t size = ::lgetxattr(path.constData(), OriginAttribute, nullptr, 0);
        if (size <= 0)
            return {};
        QByteArray value(size, Qt::Uninitialized);
        const ssize_t got = ::lgetxattr(path.constData(), OriginAttribute, value.data(), size_t(value.size()));
        if (got >= 0)
            return value.left(got);
        if (errno != ERANGE)
            return {};
    }
    return {};
}

bool ReplacingFile::fail(int error)
{
    setErrorString(QString::fromLocal8Bit(std::strerror(error)));
    return false;
}

bool ReplacingFile::checkTarget()
{
    final_ = follow_links(target_);
    struct stat st {};
    const bool exists = ::lstat(native(final_).constData(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode))
        return fail(EISDIR);
    // A file the user may not change is not replaced behind their back.
    if (exists && !S_ISLNK(st.st_mode) && ::access(native(final_).constData(), W_OK) != 0)
        return fail(errno);
    replaces_ = exists;
    // Not set-user or set-group ID: those were given to the old content.
    keptMode_ = exists && S_ISREG(st.st_mode) ? int(st.st_mode & 0777) : -1;
    return true;
}

bool ReplacingFile::open(OpenMode mode)
{
    if (isOpen() || !(mode & WriteOnly) || (mode & ~(WriteOnly | Truncate | Unbuffered)))
        return fail(EINVAL);
    if (!checkTarget())
        return false;
    const QString part = part_of_final(final_);
    // A fresh start: what an earlier download left goes, and a link there
    // goes itself (unlink never follows it).
    ::unlink(native(part).constData());
    // Exclusive: never a file or a link someone put there since. A new
    // file gets 0666 less the umask, like any other.
    const int fd = ::open(native(part).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        return fail(errno);
    temp_ = part;
    return start(fd, mode, 0);
}

bool ReplacingFile::openToResume(qint64* length)
{
    if (isOpen())
        return fail(EINVAL);
    if (!checkTarget())
        return false;
    const QString part = part_of_final(final_);
    // Not blocking on a pipe someone put there; not through a link.
    const int fd = ::open(native(part).constData(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return fail(errno);
    struct stat st {};
    // Only a file that is nothing but this part: no other user's, and no
    // second name through which other data would be changed.
    const int unusable = ::fstat(fd, &st) != 0 ? errno
                         : !S_ISREG(st.st_mode) ? EINVAL
                         : st.st_uid != ::geteuid() ? EPERM
                         : st.st_nlink != 1 ? EMLINK
                         : ::fcntl(fd, F_SETFL, O_APPEND) != 0 ? errno
                         : 0;
    if (unusable != 0) {
        ::close(fd);
        return fail(unusable);
    }
    temp_ = part;
    if (!start(fd, WriteOnly | Append | Unbuffered, st.st_size))
        return false;
    if (length)
        *length = st.st_size;
    return true;
}

// The part opened: it takes the replaced file's permissions and becomes
// this file's handle.
bool ReplacingFile::start(int fd, OpenMode mode, qint64 length)
{
    if (keptMode_ >= 0)
        ::fchmod(fd, mode_t(keptMode_));
    if (!QFile::open(fd, mode, AutoCloseHandle)) {
        const QString why = errorString();
        ::close(fd);
        // A part just created is empty and goes; one being continued stays.
        if (!(mode & Append))
            ::unlink(native(temp_).constData());
        temp_.clear();
        setErrorString(why);
        return false;
    }
    end_ = started_ = length;
    return true;
}

void ReplacingFile::setOrigin(const QByteArray& origin)
{
    if (!isOpen())
        return;
    if (origin.isEmpty())
        ::fremovexattr(int(handle()), OriginAttribute);
    else
        ::fsetxattr(int(handle()), OriginAttribute, origin.constData(), size_t(origin.size()), 0);
}

qint64 ReplacingFile::writeData(const char* data, qint64 len)
{
    const qint64 at = pos();
    const qint64 written = QFile::writeData(data, len);
    if (written > 0) {
        end_ = std::max(end_, at + written);
        // Started now, the write to the disk runs while the data arrive;
        // the system is only asked, nothing here waits for the disk.
        if (end_ - started_ >= WriteBackStep) {
            ::sync_file_range(int(handle()), started_, end_ - started_, SYNC_FILE_RANGE_WRITE);
            started_ = end_;
        }
    }
    return written;
}

bool ReplacingFile::commit()
{
    if (!isOpen() || temp_.isEmpty())
        return fail(EBADF);
    // Each failure keeps the part, tag included: it holds what arrived.
    if (!flush()) {
        const QString why = errorString();
        release(true);
        setErrorString(why);
        return false;
    }
    // A file that replaces another is on disk before it does, whatever
    // comes; a new one of a batch may wait for the batch's own end.
    const bool syncNow = replaces_ || !syncLater_;
    if (syncNow && ::fdatasync(int(handle())) != 0) {
        const int error = errno;
        release(true);
        return fail(error);
    }
    // Held past the close, to take the tag off once the file is the target.
    const int finished = ::dup(int(handle()));
    QFile::close();
    if (error() != NoError) {
        const QString why = errorString();
        ::close(finished);
        release(true);
        setErrorString(why);
        return false;
    }
    // What was there when the file was opened is replaced; where nothing
    // was, the name is created only if it is still free.
    const int failed = replaces_ ? (::rename(native(temp_).constData(), native(final_).constData()) == 0 ? 0 : errno)
                                 : create_name(native(temp_), native(final_));
    if (failed != 0) {
        ::close(finished);
        release(true);
        return fail(failed);
    }
    temp_.clear();
    if (finished >= 0) {
        ::fremovexattr(finished, OriginAttribute);
        ::close(finished);
    }
    // The new name on disk too, not only the data.
    if (syncNow)
        sync_folder(QFileInfo(final_).absolutePath());
    return true;
}

void ReplacingFile::syncAll(const QString& folder)
{
    const int fd = ::open(native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::syncfs(fd);
        ::close(fd);
    }
}

void ReplacingFile::cancelWriting()
{
    release(false);
}

// Lets go of the part: kept when asked to and it holds something, else
// removed.
void ReplacingFile::release(bool keepData)
{
    struct stat st {};
    bool empty = true;
    if (isOpen()) {
        flush();
        empty = ::fstat(int(handle()), &st) != 0 || st.st_size == 0;
        QFile::close();
    } else if (!temp_.isEmpty()) {
        empty = ::lstat(native(temp_).constData(), &st) != 0 || st.st_size == 0;
    }
    if (!temp_.isEmpty()) {
        if (!keepData || empty)
            ::unlink(native(temp_).constData());
        temp_.clear();
    }
}
