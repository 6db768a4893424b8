// Passive data connections (the client connects to the port the server
// names), the switch to them when the server will not connect back, and the
// IPv6 forms of both modes (EPRT, EPSV).
#include "app/form1.h"
#include "ftp/data_commands.h"
#include "app/log_pane.h"
#include "ftp/data_address.h"
#include "ftp/reply_texts.h"
#include "platform/prompts.h"
#include "platform/winsock.h"
#include "transfer/transfer_batch.h"

void form1::wirePassiveData()
{
    QObject::connect(Winsock2, &Winsock::ConnectEvent, this, &form1::Winsock2_Connect);
}

bool form1::controlIsIPv6() const { return Winsock1->LocalIP().contains(u':'); }

bool form1::Send_data_address()
{
    // An encrypted connection's data connections are encrypted, or not made.
    if (dataMustBeProtected() && !session_.dataProtected) {
        const QString unfinished = unfinishedTransfer();
        endOperation();
        prompts::Msg_box(QStringLiteral("データー接続を暗号化できないため、データー接続を開きませんでした。") +
                             (unfinished.isEmpty() ? QString() : QStringLiteral("\n") + unfinished),
                         QStringLiteral("データー接続"), prompts::vbExclamation);
        return false;
    }
    if (passive_) {
        epsvTried_ = controlIsIPv6();
        sendLine(controlIsIPv6() ? QStringLiteral("EPSV") : QStringLiteral("PASV"));
        return true;
    }
    if (controlIsIPv6()) {
        // PORT has no room for an IPv6 address.
        送信文字列 = data_address::eprt_line(Winsock1->LocalIP(), Winsock2->LocalPort);
        if (送信文字列.isEmpty()) {
            connectionFailed();
            return false;
        }
        Send_command();
        return true;
    }
    if (!Make_port())
        return false;
    Send_command();
    return true;
}

bool form1::fallBackToPassive(const QString& verb, const QString& code)
{
    const bool portRefused = (verb == QStringLiteral("PORT") || verb == QStringLiteral("EPRT")) && code.startsWith(u'5');
    const bool notConnected = is_data_command(verb) && code == QStringLiteral("425");
    if (passive_ || (!portRefused && !notConnected))
        return false;
    // For the rest of this connection; the same data command goes again.
    passive_ = true;
    passiveFallback_ = true;
    Newtext = QStringLiteral("PORTが使えないため、PASVモードに切り替えます。\r\n");
    Text_plus();
    stopWaiting();
    // A restart holds for the next transfer command only: it goes again.
    if (batch_ && batch_->current())
        batch_->current()->restSent = false;
    if (is_listing_command(verb))
        ループ回数 = 1;
    else if (verb == QStringLiteral("STOR") || verb == QStringLiteral("APPE"))
        resendStor_ = true;
    else if (verb == QStringLiteral("RETR"))
        fCount = 0;
    sendLine(controlIsIPv6() ? QStringLiteral("EPSV") : QStringLiteral("PASV"));
    return true;
}

void form1::passiveRefused(const QString& verb)
{
    if (verb == QStringLiteral("PASV") && !epsvTried_) {
        epsvTried_ = true;
        sendLine(QStringLiteral("EPSV"));
        return;
    }
    // Switched to by the program itself, passive mode is given up again: the
    // server's refusal of active mode may have been passing (a "425").
    if (passiveFallback_)
        passive_ = passiveFallback_ = false;
    const QString unfinished = unfinishedTransfer();
    endOperation();
    prompts::Msg_box(QStringLiteral("ｻｰﾊﾞｰがPASVモードに対応していないため、データー接続を開けませんでした。") +
                         (unfinished.isEmpty() ? QString() : QStringLiteral("\n") + unfinished),
                     QStringLiteral("データー接続"), prompts::vbExclamation);
}

void form1::passiveReply(const QString& code, const QString& reply)
{
    if (ループ回数 != 1 && ループ回数 != 3 && ループ回数 != 5)
        return;   // nothing of ours asked for a data connection
    const auto target = code == QStringLiteral("227") ? data_address::parse_227(reply) : data_address::parse_229(reply);
    if (!target) {
        endOperation();
        prompts::Msg_box(QStringLiteral("ｻｰﾊﾞｰのPASV応答からデーター接続先を読み取れませんでした。\n") +
                             first_line(reply),
                         QStringLiteral("データー接続"), prompts::vbExclamation);
        return;
    }
    // Data only ever come from the server we talk to: an address in the
    // reply (one behind the server's NAT, or a third host) is not followed.
    const QString peer = Winsock1->RemoteIP();
    if (!target->host.isEmpty() && target->host != peer && !pasvNoted_) {
        pasvNoted_ = true;
        Newtext = QStringLiteral("PASV応答のアドレス ") + target->host + QStringLiteral(" の代わりに接続先のアドレスを使います。\r\n");
        Text_plus();
    }
    Winsock2->Close();
    Winsock2->RemoteHost = peer;
    Winsock2->RemotePort = target->port;
    Winsock2->Connect();
    waitFor(TransferWait::DataConnection, dataConnectionWaitMs);
}

void form1::Winsock2_Connect()
{
    if (transferWait_ == TransferWait::DataConnection)
        stopWaiting();
    if (!busy() || (ループ回数 != 1 && ループ回数 != 3 && ループ回数 != 5)) {
        // The operation ended while the connection was being made.
        Winsock2->Close();
        Winsock2->LocalPort = 0;
        Winsock2->Listen();
        return;
    }
    if (ループ回数 == 5 && resendStor_) {
        resendStor_ = false;
        Up_loadB();
        return;
    }
    Data_step();   // LIST, RETR, or the upload's same-name check and STOR
}
