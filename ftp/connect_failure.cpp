#include "ftp/connect_failure.h"

#include "platform/winsock.h"

QString connect_failure_cause(int socketError, const QString& systemText, const QString& host, int port)
{
    // An IPv6 address is bracketed so its port stays apart from it.
    const QString where = (host.contains(u':') ? u'[' + host + u']' : host) + u':' + QString::number(port);
    switch (socketError) {
    case Winsock::sckHostNotFound:
        return QStringLiteral("ホスト名 ") + host + QStringLiteral(" が見つかりません。");
    case Winsock::sckConnectionRefused:
        return where + QStringLiteral(" に接続できません（接続を拒否されました）。");
    case Winsock::sckTimedout:
        return where + QStringLiteral(" から応答がありません（タイムアウト）。");
    case Winsock::sckNetworkUnreachable:
    case Winsock::sckHostUnreachable:
        return QStringLiteral("ネットワークに到達できません。");
    default:
        return systemText;
    }
}
