#include "transfer/local_names.h"

bool is_plain_local_name(const QString& name)
{
    if (name.isEmpty() || name == QStringLiteral(".") || name == QStringLiteral(".."))
        return false;
    // '/' would reach into another folder, '\' cannot be shown as a drive
    // path, NUL ends a name early; a name must also fit the file system.
    for (const QChar c : name)
        if (c == u'/' || c == u'\\' || c == QChar(0) || c == QChar(0xFFFD))
            return false;
    return name.toUtf8().size() <= 255;
}

bool is_plain_relative_path(const QString& path)
{
    for (const QChar c : path)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return false;
    for (const QString& name : path.split(u'/'))
        if (!is_plain_local_name(name))
            return false;
    return true;
}

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool is_regular_file(const QString& native)
{
    struct stat st {};
    return !native.isEmpty() && ::stat(QFile::encodeName(native).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

std::unique_ptr<QFile> open_regular_file(const QString& native, QString* why)
{
    const int fd = ::open(QFile::encodeName(native).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *why = QString::fromLocal8Bit(std::strerror(errno));
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        *why = QStringLiteral("通常のファイルではありません。");
        return nullptr;
    }
    auto file = std::make_unique<QFile>(native);
    if (!file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        *why = file->errorString();
        return nullptr;
    }
    return file;
}
