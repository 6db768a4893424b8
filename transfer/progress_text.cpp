#include "transfer/progress_text.h"

#include <algorithm>
#include <cmath>
#include <limits>

QString short_number(double v)
{
    return QString::number(v, 'g', 15);
}

namespace {

qint64 expected_bytes(const QString& downSize)
{
    // The text comes from the size column of a listing the server wrote:
    // digits beyond any real file size are held at the largest count, and
    // a text that does not start with digits gives no size.
    constexpr qint64 kMax = std::numeric_limits<qint64>::max();
    const QStringView text = QStringView(downSize).trimmed();
    qint64 bytes = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            break;
        const int digit = c.unicode() - u'0';
        bytes = bytes > (kMax - digit) / 10 ? kMax : bytes * 10 + digit;
    }
    return bytes;
}

} // namespace

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
    p.sizeKB = std::floor(double(expected_bytes(downSize)) / 100) / 10;
    if (double(p.kilobytes) > p.sizeKB)
        p.kilobytes = qint64(std::nearbyint(p.sizeKB));
    // Rounded up to whole KB the count may pass a fractional size.
    if (p.sizeKB != 0)
        p.percent = std::clamp(int(std::floor(double(p.kilobytes) / p.sizeKB * 100)), 0, 100);
    return p;
}

QString download_status_text(const QString& name, const DownloadProgress& p)
{
    return QStringLiteral(" '") + name + QStringLiteral("' ") + QStringLiteral("ダウンロード   ") +
           QString::number(p.kilobytes) + QStringLiteral("KB / ") + short_number(p.sizeKB) + QStringLiteral("KB") +
           QStringLiteral("  ") + QString::number(p.percent) + QStringLiteral("% 受信") + QStringLiteral("  ") +
           p.speedText;
}

namespace {

// Appends the whole number n in decimal.
void append_whole(QString& out, qint64 n)
{
    char16_t digits[20];
    int i = 20;
    const bool negative = n < 0;
    quint64 u = negative ? 0 - quint64(n) : quint64(n);
    do {
        digits[--i] = char16_t(u'0' + u % 10);
        u /= 10;
    } while (u != 0);
    if (negative)
        out.append(u'-');
    out.append(QStringView(digits + i, 20 - i));
}

// Appends units / 10^decimals (decimals 1 or 2) in its shortest decimal
// form, as short_number() writes it: 12, 12.3, 12.05.
void append_fixed(QString& out, double units, int decimals)
{
    // Beyond this short_number() may switch to an exponent; such values
    // are never reached by real transfers, but the text stays the same.
    if (!(units >= 0 && units < 1e13)) {
        out.append(short_number(units / (decimals == 1 ? 10.0 : 100.0)));
        return;
    }
    const qint64 n = qint64(units);
    const qint64 scale = decimals == 1 ? 10 : 100;
    append_whole(out, n / scale);
    qint64 fraction = n % scale;
    if (fraction == 0)
        return;
    out.append(u'.');
    if (decimals == 2) {
        out.append(char16_t(u'0' + fraction / 10));
        fraction %= 10;
        if (fraction == 0)
            return;
    }
    out.append(char16_t(u'0' + fraction));
}

} // namespace

QString upload_status_text(const QString& name, qint64 sentBytes, qint64 totalBytes, double elapsedSeconds,
                           int* percentOut)
{
    QString text;
    write_upload_status_text(text, name, sentBytes, totalBytes, elapsedSeconds, percentOut);
    return text;
}

int upload_percent(qint64 sentBytes, qint64 totalBytes)
{
    // An empty file is complete as soon as it is sent.
    return totalBytes > 0 ? int(std::floor(double(sentBytes) / double(totalBytes) * 100)) : 100;
}

void write_upload_status_text(QString& out, const QString& name, qint64 sentBytes, qint64 totalBytes,
                              double elapsedSeconds, int* percentOut)
{
    const int percent = upload_percent(sentBytes, totalBytes);
    if (percentOut)
        *percentOut = percent;
    out.truncate(0);
    out.append(u" '");
    out.append(name);
    out.append(u"'アップロード    ");
    // Kilobytes with one decimal, cut (not rounded) from the bytes.
    append_fixed(out, std::floor(double(sentBytes) / 100), 1);
    out.append(u"KB / ");
    append_fixed(out, std::floor(double(totalBytes) / 100), 1);
    out.append(u"KB  ");
    append_whole(out, percent);
    out.append(u"%完了");
    if (elapsedSeconds > 0) {
        const double rate = double(sentBytes) / elapsedSeconds / 1000;
        const double hundredths = std::floor(rate * 100);
        if (std::nearbyint(hundredths / 100) > 0.9) {
            append_fixed(out, hundredths, 2);
            out.append(u"KB/秒");
        } else {
            append_fixed(out, std::floor(rate * 1000 * 100), 2);
            out.append(u"B/秒");
        }
    }
}
