#include "servers/quick_address.h"

#include <QHostAddress>
#include <QUrl>

namespace {
QuickAddress refused(const QString& why)
{
    QuickAddress a;
    a.error = why;
    return a;
}

QString bad_port() { return QStringLiteral("ポート番号は 1 から 65535 の数字で指定してください。"); }

QString bad_address(const QString& typed)
{
    return QStringLiteral("サーバーアドレス「") + typed +
           QStringLiteral("」の形式が正しくありません。\n例: ftp.example.jp、ftp.example.jp:2121、[2001:db8::1]:21、ftp://user@ftp.example.jp/pub");
}

// Digits only, 1 to 65535; 0 otherwise.
int port_number(const QString& text)
{
    if (text.isEmpty() || text.size() > 5)
        return 0;
    for (QChar c : text)
        if (c < u'0' || c > u'9')
            return 0;
    const int n = text.toInt();
    return n >= 1 && n <= 65535 ? n : 0;
}

// A host name or address: no blanks, controls or characters that belong to
// the address around it.
bool plausible_host(const QString& host)
{
    if (host.isEmpty())
        return false;
    for (QChar c : host)
        if (c.isSpace() || c.category() == QChar::Other_Control || QStringLiteral("/@[]?#\\").contains(c))
            return false;
    return true;
}
} // namespace

QuickAddress parse_quick_address(const QString& typed)
{
    const QString text = typed.trimmed();
    if (text.startsWith(QStringLiteral("ftp://"), Qt::CaseInsensitive)) {
        const QUrl url(text, QUrl::StrictMode);
        if (!url.isValid() || url.host().isEmpty() || url.hasQuery() || url.hasFragment())
            return refused(bad_address(typed));
        QuickAddress a;
        a.host = url.host();
        a.port = url.port(21);
        if (a.port < 1 || a.port > 65535)
            return refused(bad_port());
        a.hasUser = !url.userName().isEmpty();
        a.user = url.userName();
        a.hasPassword = a.hasUser && url.userInfo().contains(u':');
        a.password = url.password();
        const QString path = url.path();
        if (!path.isEmpty() && path != QStringLiteral("/"))
            a.startFolder = path;
        return a;
    }
    if (text.startsWith(u'[')) {
        const qsizetype close = text.indexOf(u']');
        QuickAddress a;
        a.host = close > 0 ? text.mid(1, close - 1) : QString();
        const QString rest = close > 0 ? text.mid(close + 1) : QString();
        if (QHostAddress(a.host).protocol() != QAbstractSocket::IPv6Protocol ||
            (!rest.isEmpty() && !rest.startsWith(u':')))
            return refused(bad_address(typed));
        if (!rest.isEmpty() && !(a.port = port_number(rest.mid(1))))
            return refused(bad_port());
        return a;
    }
    // Two colons or more: an IPv6 address without a port.
    if (text.count(u':') >= 2) {
        if (QHostAddress(text).protocol() != QAbstractSocket::IPv6Protocol)
            return refused(bad_address(typed));
        QuickAddress a;
        a.host = text;
        return a;
    }
    QuickAddress a;
    const qsizetype colon = text.indexOf(u':');
    a.host = colon < 0 ? text : text.left(colon);
    if (!plausible_host(a.host))
        return refused(bad_address(typed));
    if (colon >= 0 && !(a.port = port_number(text.mid(colon + 1))))
        return refused(bad_port());
    return a;
}
