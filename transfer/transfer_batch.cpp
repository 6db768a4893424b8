#include "transfer/transfer_batch.h"

#include <algorithm>
#include <cmath>

void TransferBatch::addFolder(const QString& path)
{
    folders_ << path;
    folderSet_.insert(path);
}

void TransferBatch::addFile(const BatchFile& file)
{
    byPath_.insert(file.path, queue_.size());
    queue_.append(file);
    if (queue_.last().roughSize == 0 && file.size > 0)
        queue_.last().roughSize = file.size;
    bytesTotal_ += queue_.last().roughSize;
}

void TransferBatch::foundOnServer(const QString& path, bool folder, qint64 bytes)
{
    if (folder) {
        foldersOnServer_.insert(path);
        return;
    }
    if (const auto it = byPath_.constFind(path); it != byPath_.cend()) {
        queue_[*it].onServer = true;
        queue_[*it].remoteSize = bytes;
    }
}

QString TransferBatch::nextFolderToMake()
{
    while (foldersMade_ < folders_.size() && foldersOnServer_.contains(folders_.at(foldersMade_)))
        ++foldersMade_;
    return foldersMade_ < folders_.size() ? folders_.at(foldersMade_++) : QString();
}

BatchFile* TransferBatch::takeNext()
{
    return next_ < queue_.size() ? &queue_[next_++] : nullptr;
}

void TransferBatch::start(qint64 nowMs)
{
    startMs_ = nowMs;
}

int TransferBatch::percent() const
{
    if (bytesTotal_ <= 0)
        return queue_.isEmpty() ? 100 : int(100 * qint64(filesDone_) / queue_.size());
    return int(std::clamp<qint64>(bytesDone_ * 100 / bytesTotal_, 0, 100));
}

QString batch_bytes_text(double bytes)
{
    static const char* const units[] = {"KB", "MB", "GB", "TB"};
    if (bytes < 1000)
        return QString::number(qint64(bytes)) + QStringLiteral(" B");
    int unit = 0;
    bytes /= 1000;
    while (bytes >= 999.95 && unit < 3) {
        bytes /= 1000;
        ++unit;
    }
    return QString::number(bytes, 'f', 1) + u' ' + QLatin1String(units[unit]);
}

QString TransferBatch::panelText(qint64 nowMs) const
{
    QString text = QString::number(filesDone_) + u'/' + QString::number(queue_.size()) + QStringLiteral(" ファイル  ")
        + batch_bytes_text(double(bytesDone_)) + QStringLiteral(" / ") + batch_bytes_text(double(bytesTotal_));
    const double seconds = double(nowMs - startMs_) / 1000;
    // The speed and what is left once there is a second to measure by.
    if (seconds >= 1 && bytesDone_ > 0) {
        const double rate = double(bytesDone_) / seconds;
        text += QStringLiteral("  ") + batch_bytes_text(rate) + QStringLiteral("/秒");
        const qint64 left = qint64(std::ceil(double(std::max<qint64>(bytesTotal_ - bytesDone_, 0)) / rate));
        const QString ss = QStringLiteral("%1").arg(left % 60, 2, 10, QLatin1Char('0'));
        text += QStringLiteral("  残り ") +
            (left >= 3600 ? QString::number(left / 3600) + u':' + QStringLiteral("%1").arg(left / 60 % 60, 2, 10, QLatin1Char('0'))
                          : QString::number(left / 60)) + u':' + ss;
    }
    return text;
}

bool TransferBatch::panelDue(qint64 nowMs)
{
    constexpr qint64 FrameMs = 33;
    if (panelMs_ >= 0 && nowMs - panelMs_ < FrameMs && filesDone_ < queue_.size())
        return false;
    panelMs_ = nowMs;
    return true;
}

void TransferBatch::note(const QString& path, const QString& why)
{
    problems_ << path + QStringLiteral("（") + why + QStringLiteral("）");
}

QByteArray part_origin(const QString& serverFolder, const BatchFile& file)
{
    const QString folder = serverFolder.endsWith(u'/') ? serverFolder : serverFolder + u'/';
    return (folder + file.path + u'\n' + QString::number(file.size) + u'\n' + file.dateText).toUtf8();
}
