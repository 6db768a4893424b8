#include "ftp/reply_texts.h"

#include <QStringList>

QString port_line(const QString& ipv4, int port)
{
    const QStringList parts = ipv4.split(u'.');
    if (parts.size() != 4 || port < 0 || port > 65535)
        return QString();
    for (const QString& p : parts) {
        bool ok = false;
        const int v = p.toInt(&ok);
        if (!ok || v < 0 || v > 255)
            return QString();
    }
    const int high = port / 256;
    const int low = port - high * 256;
    return QStringLiteral("PORT ") + parts.join(u',') + u',' + QString::number(high) + u',' +
           QString::number(low) + QStringLiteral("\r\n");
}

std::optional<QString> path_of_257(const QString& reply)
{
    const qsizetype open = reply.indexOf(u'"');
    if (open < 0)
        return std::nullopt;
    QString path;
    for (qsizetype i = open + 1; i < reply.size(); ++i) {
        if (reply.at(i) != u'"') {
            path += reply.at(i);
            continue;
        }
        if (i + 1 < reply.size() && reply.at(i + 1) == u'"') {
            path += u'"';
            ++i;
            continue;
        }
        return path;
    }
    return std::nullopt;
}
