#include "servers/proxy_options.h"

#include "platform/settings_store.h"
#include "servers/settings_keys.h"

namespace proxy_options {

Proxy read()
{
    Proxy p;
    p.host = settings::get(keys::Options, keys::ProxyServer, QString());
    const QString portText = settings::get(keys::Options, keys::ProxyPort, QString()).trimmed();
    // Named as the options dialog shows them, where the user can put them right.
    const QString where = QStringLiteral("オプション設定の「ファイヤーウォール」の「");
    if (p.host.trimmed().isEmpty()) {
        p.problem = where + QStringLiteral("ｻｰﾊﾞｰ名(IPｱﾄﾞﾚｽ)」が設定されていません。");
        return p;
    }
    bool ok = false;
    const int port = portText.toInt(&ok);
    if (!ok || port < 1 || port > 65535) {
        p.problem = where + QStringLiteral("ポート」が正しくありません（1～65535の数字を指定してください）。\n設定値: ") +
                    portText;
        return p;
    }
    p.port = port;
    return p;
}

} // namespace proxy_options
