#include "listing/size_text.h"

namespace {
QString kilobytes(qint64 bytes)
{
    if (bytes >= 1 && bytes <= 999)
        return QStringLiteral("1KB");
    return QString::number(bytes / 1000) + QStringLiteral("KB");
}
} // namespace

QString local_size_text(qint64 bytes)
{
    const QString text = bytes == 0 ? QStringLiteral("0") : kilobytes(bytes);
    return text.rightJustified(10, u' ');
}
