#include "platform/program_folder.h"

#include <QDir>
#include <QFileInfo>

namespace program_folder {

QString path()
{
    // Looked up on every call: tests give each case its own folder.
    QString dir = QString::fromLocal8Bit(qgetenv("PALU_FTP_HOME"));
    if (dir.isEmpty()) {
        QString data = QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME"));
        if (data.isEmpty())
            data = QDir::homePath() + QStringLiteral("/.local/share");
        dir = data + QStringLiteral("/palu_ftp");
    }
    dir = QDir::cleanPath(QFileInfo(dir).absoluteFilePath());
    QDir().mkpath(dir);
    if (dir.size() > 1 && dir.endsWith(QLatin1Char('/')))
        dir.chop(1);
    return dir;
}

QString file(const QString& name)
{
    return path() + QLatin1Char('/') + name;
}

bool create_private(QFile& file, QIODevice::OpenMode mode)
{
    // Made anew, never opened over what was there: an old copy's wider
    // permissions are not kept, and a link put in its place is not followed.
    QFile::remove(file.fileName());
    return file.open(mode | QIODevice::WriteOnly | QIODevice::NewOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

} // namespace program_folder
