#include "platform/replacing_file.h"

#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

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
// target's own name fits.
QString hidden_name()
{
    static const char digits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QString name = QStringLiteral(".palu-");
    for (int i = 0; i < 8; ++i)
        name += QLatin1Char(digits[QRandomGenerator::global()->bounded(36)]);
    return name;
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
    discard();
}

QString ReplacingFile::fileName() const
{
    return final_.isEmpty() ? target_ : final_;
}

bool ReplacingFile::fail(int error)
{
    setErrorString(QString::fromLocal8Bit(std::strerror(error)));
    return false;
}

bool ReplacingFile::open(OpenMode mode)
{
    if (isOpen() || !(mode & WriteOnly) || (mode & ~(WriteOnly | Truncate | Unbuffered)))
        return fail(EINVAL);
    final_ = follow_links(target_);
    struct stat st {};
    const bool exists = ::lstat(native(final_).constData(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode))
        return fail(EISDIR);
    // A file the user may not change is not replaced behind their back.
    if (exists && !S_ISLNK(st.st_mode) && ::access(native(final_).constData(), W_OK) != 0)
        return fail(errno);
    replaces_ = exists;
    const QString folder = QFileInfo(final_).absolutePath();
    int fd = -1;
    for (int tries = 0; fd < 0 && tries < 100; ++tries) {
        temp_ = folder + u'/' + hidden_name();
        // Exclusive: never a file or a link someone else put there. A new
        // file gets 0666 less the umask, like any other.
        fd = ::open(native(temp_).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        const int error = errno;
        temp_.clear();
        return fail(error);
    }
    // A replaced file keeps its permissions (not set-user or set-group ID:
    // those were given to the old content).
    if (exists && S_ISREG(st.st_mode))
        ::fchmod(fd, st.st_mode & 0777);
    if (!QFile::open(fd, mode, AutoCloseHandle)) {
        const QString why = errorString();
        ::close(fd);
        discard();
        setErrorString(why);
        return false;
    }
    end_ = started_ = 0;
    return true;
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
    if (!flush()) {
        const QString why = errorString();
        discard();
        setErrorString(why);
        return false;
    }
    if (::fdatasync(int(handle())) != 0) {
        const int error = errno;
        discard();
        return fail(error);
    }
    QFile::close();
    if (error() != NoError) {
        const QString why = errorString();
        discard();
        setErrorString(why);
        return false;
    }
    // What was there when the file was opened is replaced; where nothing
    // was, the name is created only if it is still free.
    const int failed = replaces_ ? (::rename(native(temp_).constData(), native(final_).constData()) == 0 ? 0 : errno)
                                 : create_name(native(temp_), native(final_));
    if (failed != 0) {
        discard();
        return fail(failed);
    }
    temp_.clear();
    // The new name on disk too, not only the data.
    sync_folder(QFileInfo(final_).absolutePath());
    return true;
}

void ReplacingFile::cancelWriting()
{
    discard();
}

void ReplacingFile::discard()
{
    if (isOpen())
        QFile::close();
    if (!temp_.isEmpty()) {
        ::unlink(native(temp_).constData());
        temp_.clear();
    }
}
