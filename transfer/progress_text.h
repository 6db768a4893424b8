// Download progress arithmetic and the status-line text it produces.
#pragma once
#include <QString>

struct DownloadProgress {
    qint64 kilobytes = 0;      // counted so far (each arrival adds its own rounded KB)
    double sizeKB = 0;         // expected size, one decimal
    int percent = 0;
    QString speedText;
};

// Adds one arrival of `waiting` bytes to `kilobytes` and works out the
// percentage (0 to 100) and speed, as the status line shows them. downSize
// is the expected size in bytes as decimal text; one that does not start
// with a digit counts as no size.
DownloadProgress download_progress(qint64 kilobytesBefore, qint64 waiting, const QString& downSize,
                                   double elapsedSeconds);

// " 'name' ダウンロード   12KB / 34.5KB  35% 受信  3.4KB/秒"
QString download_status_text(const QString& name, const DownloadProgress& p);

// Shortest decimal form: 12, 12.3.
QString short_number(double v);

// " 'name'アップロード    12.3KB / 45.6KB  27%完了3.45KB/秒"
QString upload_status_text(const QString& name, qint64 sentBytes, qint64 totalBytes, double elapsedSeconds,
                           int* percentOut = nullptr);
// The percentage it shows: whole percent, 100 for an empty file.
int upload_percent(qint64 sentBytes, qint64 totalBytes);
// The same text written over out, which keeps its storage: an upload
// rewrites it many times a second.
void write_upload_status_text(QString& out, const QString& name, qint64 sentBytes, qint64 totalBytes,
                              double elapsedSeconds, int* percentOut = nullptr);
