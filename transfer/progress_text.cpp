#include "transfer/progress_text.h"

#include <cmath>

QString short_number(double v)
{
    return QString::number(v, 'g', 15);
}

DownloadProgress download_progress(qint64 kilobytesBefore, qint64 waiting, const QString& downSize,
                                   double elapsedSeconds)
{
    DownloadProgress p;
    const double kb = double(waiting) / 1000.0;
    // Each arrival adds its own kilobytes rounded (to even on a tie).
    p.kilobytes = qint64(std::nearbyint(std::floor((double(kilobytesBefore) + kb) * 10) / 10));
    if (elapsedSeconds > 0) {
        const double rate = double(p.kilobytes) / elapsedSeconds;
        const double r = std::floor(rate * 10) / 10;
        if (r > 0.1)
            p.speedText = short_number(r) + QStringLiteral("KB/秒");
        else
            p.speedText = short_number(std::floor(rate * 1000 * 10) / 10) + QStringLiteral("B/秒");
    }
    bool ok = false;
    const double bytes = downSize.trimmed().toDouble(&ok);
    p.sizeKB = ok ? std::floor(bytes / 100) / 10 : 0;
    if (double(p.kilobytes) > p.sizeKB)
        p.kilobytes = qint64(std::nearbyint(p.sizeKB));
    if (p.sizeKB != 0)
        p.percent = int(std::floor(double(p.kilobytes) / p.sizeKB * 100));
    return p;
}

QString download_status_text(const QString& name, const DownloadProgress& p)
{
    return QStringLiteral(" '") + name + QStringLiteral("' ") + QStringLiteral("ダウンロード   ") +
           QString::number(p.kilobytes) + QStringLiteral("KB / ") + short_number(p.sizeKB) + QStringLiteral("KB") +
           QStringLiteral("  ") + QString::number(p.percent) + QStringLiteral("% 受信") + QStringLiteral("  ") +
           p.speedText;
}

QString upload_status_text(const QString& name, qint64 sentBytes, qint64 totalBytes, double elapsedSeconds,
                           int* percentOut)
{
    QString speed;
    if (elapsedSeconds > 0) {
        const double rate = double(sentBytes) / elapsedSeconds / 1000;
        const double r = std::floor(rate * 100) / 100;
        if (std::nearbyint(r) > 0.9)
            speed = short_number(r) + QStringLiteral("KB/秒");
        else
            speed = short_number(std::floor(rate * 1000 * 100) / 100) + QStringLiteral("B/秒");
    }
    // An empty file is complete as soon as it is sent.
    const int percent = totalBytes > 0 ? int(std::floor(double(sentBytes) / double(totalBytes) * 100)) : 100;
    if (percentOut)
        *percentOut = percent;
    const double sent = std::floor(double(sentBytes) / 100) / 10;
    const double total = std::floor(double(totalBytes) / 100) / 10;
    return QStringLiteral(" '") + name + QStringLiteral("'") + QStringLiteral("アップロード    ") + short_number(sent) +
           QStringLiteral("KB / ") + short_number(total) + QStringLiteral("KB") + QStringLiteral("  ") +
           QString::number(percent) + QStringLiteral("%完了") + speed;
}
