#include "ftp/data_address.h"

#include <QHostAddress>

namespace data_address {

namespace {
// Reads up to max digits at i; -1 when none.
int number_at(const QString& s, qsizetype& i, int maxDigits)
{
    int value = 0, digits = 0;
    while (i < s.size() && s.at(i) >= u'0' && s.at(i) <= u'9' && digits < maxDigits) {
        value = value * 10 + (s.at(i).unicode() - u'0');
        ++i;
        ++digits;
    }
    // More digits than allowed is not a number of this field.
    if (digits == 0 || (i < s.size() && s.at(i) >= u'0' && s.at(i) <= u'9'))
        return -1;
    return value;
}
} // namespace

std::optional<Target> parse_227(const QString& reply)
{
    // The six numbers are the first run of digits and commas after the code;
    // the text before them is free.
    const QString line = reply.section(u'\r', 0, 0).left(512);
    for (qsizetype start = 3; start < line.size(); ++start) {
        if (!line.at(start).isDigit() || line.at(start - 1).isDigit())
            continue;
        qsizetype i = start;
        int n[6];
        bool ok = true;
        for (int k = 0; k < 6 && ok; ++k) {
            n[k] = number_at(line, i, 3);
            ok = n[k] >= 0 && n[k] <= 255;
            if (ok && k < 5) {
                while (i < line.size() && line.at(i) == u' ')
                    ++i;
                ok = i < line.size() && line.at(i) == u',';
                ++i;
                while (i < line.size() && line.at(i) == u' ')
                    ++i;
            }
        }
        if (!ok)
            continue;
        const int port = n[4] * 256 + n[5];
        if (port < 1)
            return std::nullopt;
        return Target{QStringLiteral("%1.%2.%3.%4").arg(n[0]).arg(n[1]).arg(n[2]).arg(n[3]), port};
    }
    return std::nullopt;
}

std::optional<Target> parse_229(const QString& reply)
{
    const QString line = reply.section(u'\r', 0, 0).left(512);
    const qsizetype open = line.indexOf(u'(');
    if (open < 0 || open + 5 >= line.size())
        return std::nullopt;
    // "(" d d d port d ")" with one printable delimiter d, never a digit.
    const QChar d = line.at(open + 1);
    if (d.isDigit() || d.isSpace() || line.at(open + 2) != d || line.at(open + 3) != d)
        return std::nullopt;
    qsizetype i = open + 4;
    const int port = number_at(line, i, 5);
    if (port < 1 || port > 65535 || i + 1 >= line.size() || line.at(i) != d || line.at(i + 1) != u')')
        return std::nullopt;
    return Target{QString(), port};
}

QString eprt_line(const QString& address, int port)
{
    QHostAddress a;
    if (!a.setAddress(address) || port < 1 || port > 65535)
        return QString();
    const bool v6 = a.protocol() == QAbstractSocket::IPv6Protocol;
    // A scope ("%eth0") means nothing to the server.
    QString text = a.toString();
    text = text.section(u'%', 0, 0);
    return QStringLiteral("EPRT |") + (v6 ? u'2' : u'1') + u'|' + text + u'|' + QString::number(port) +
           QStringLiteral("|\r\n");
}

} // namespace data_address
