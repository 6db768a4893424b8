// A server that did TLS before and refuses it now may be someone in between
// who stripped AUTH: the password is not sent in clear without asking.
#include "app/form1.h"
#include "platform/prompts.h"
#include "platform/winsock.h"

bool form1::clearConnectionAgreed()
{
    if (profile_.trustedFingerprint.isEmpty())
        return true;
    enum { Connect, DoNotConnect };
    const quint64 login = operationId_;
    const int answer = prompts::Choose(
        QStringLiteral("このサーバーは前回TLSで暗号化していましたが、今回はTLSを使えません。暗号化せずに接続しますか？（パスワードは暗号化されずに送られます）"),
        QStringLiteral("暗号化の確認"), prompts::vbExclamation,
        {QStringLiteral("接続する"), QStringLiteral("接続しない")}, DoNotConnect);
    // The connection may have ended while the question was open.
    if (login != operationId_ || Winsock1->State() != Winsock::sckConnected)
        return false;
    if (answer == Connect)
        return true;
    // Nothing but AUTH has been sent; the connection just ends.
    controlLost(QString());
    Newtext = QStringLiteral("TLSを使えないため、接続を中止しました。\r\n");
    Text_plus();
    return false;
}
