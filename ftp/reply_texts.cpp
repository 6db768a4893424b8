#include "ftp/reply_texts.h"

#include <QStringList>

QString port_line(const QString& ipv4, int port)
{
    const QStringList parts = ipv4.split(u'.');
    if (parts.size() != 4 || port < 0 || port > 65535)
        return QString();
    // Only plain digits: toInt() would also take signs and spaces, and a line
    // end in the address would end the command early. The numbers are
    // written back in their plain form.
    QStringList numbers;
    for (const QString& p : parts) {
        if (p.isEmpty() || p.size() > 3)
            return QString();
        int v = 0;
        for (const QChar c : p) {
            if (c < u'0' || c > u'9')
                return QString();
            v = v * 10 + (c.unicode() - u'0');
        }
        if (v > 255)
            return QString();
        numbers << QString::number(v);
    }
    const int high = port / 256;
    const int low = port - high * 256;
    return QStringLiteral("PORT ") + numbers.join(u',') + u',' + QString::number(high) + u',' +
           QString::number(low) + QStringLiteral("\r\n");
}

std::optional<QString> path_of_257(const QString& reply)
{
    const qsizetype open = reply.indexOf(u'"');
    if (open < 0)
        return std::nullopt;
    QString path;
    for (qsizetype i = open + 1; i < reply.size(); ++i) {
        // The path is sent back in commands: one that runs on past its line
        // (a multi-line reply) would carry a line end, a command of its own.
        if (reply.at(i) == u'\r' || reply.at(i) == u'\n')
            return std::nullopt;
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

QString first_line(const QString& reply)
{
    const qsizetype end = reply.indexOf(u'\r');
    return reply.left(std::min<qsizetype>(end < 0 ? reply.size() : end, 200));
}
