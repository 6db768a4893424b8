// Explicit TLS: AUTH TLS after the greeting, the certificate check before
// anything else is sent, PBSZ and PROT after log-in, and the data
// connections as TLS clients resuming the control connection's session.
#include <QLabel>
#include <QSslCipher>
#include <QSslSocket>
#include <QTimer>

#include "app/form1.h"
#include "ftp/certificate_check.h"
#include "ftp/reply_texts.h"
#include "platform/prompts.h"
#include "platform/settings_store.h"
#include "platform/winsock.h"

namespace {
QString protocol_name(QSsl::SslProtocol p)
{
    switch (p) {
    case QSsl::TlsV1_3: return QStringLiteral("TLS 1.3");
    case QSsl::TlsV1_2: return QStringLiteral("TLS 1.2");
    default: return QStringLiteral("TLS");
    }
}

bool refusal(const QString& code) { return code.startsWith(u'4') || code.startsWith(u'5'); }
} // namespace

void form1::wireControlTls()
{
    Winsock1->TlsReady = true;
    QObject::connect(Winsock1, &Winsock::Encrypted, this, &form1::Winsock1_Encrypted);
}

QSslConfiguration form1::controlTlsConfiguration() const
{
    QSslConfiguration c = QSslConfiguration::defaultConfiguration();
    // The certificate is checked once the handshake is over and before
    // anything is sent, so the user can be asked about it.
    c.setPeerVerifyMode(QSslSocket::VerifyNone);
    // Kept so that the data connections can resume this session: servers
    // refuse data connections that do not.
    c.setSslOption(QSsl::SslOptionDisableSessionPersistence, false);
    return c;
}

void form1::Send_greeting_answer()
{
    if (profile_.tls == ConnectionProfile::Tls::None) {
        Send_user();
        return;
    }
    if (!QSslSocket::supportsSsl()) {
        if (profile_.tls == ConnectionProfile::Tls::Required) {
            controlLost(QStringLiteral("このコンピューターではTLSが使えないため、接続を中止しました。"));
            return;
        }
        Newtext = QStringLiteral("このコンピューターではTLSが使えないため、暗号化せずに接続します。\r\n");
        Text_plus();
        session_.clearAgreed = true;
        showEncryption();
        Send_user();
        return;
    }
    sendLine(QStringLiteral("AUTH TLS"));
}

bool form1::tlsReply(const QString& verb, const QString& code, const QString& reply)
{
    if (code == QStringLiteral("421"))
        return false;
    if (verb == QStringLiteral("AUTH")) {
        if (code == QStringLiteral("234")) {
            // Replies that came in clear after 234 are not the server's.
            replyFramer_.reset();
            replyQueue_.clear();
            heldControlBytes_.clear();
            session_.tlsStarting = true;
            session_.tlsAccepted = true;
            const quint64 attempt = ++tlsAttempt_;
            QTimer::singleShot(tlsHandshakeWaitMs, this, [this, attempt] {
                if (session_.tlsStarting && attempt == tlsAttempt_)
                    tlsFailed(QStringLiteral("応答がありません。"));
            });
            Winsock1->StartTls(controlTlsConfiguration(), ホスト名);
        } else if (profile_.tls == ConnectionProfile::Tls::Required) {
            // Neither the user name nor the password may go out in clear.
            controlLost(QStringLiteral("サーバー「") + ホスト名 +
                        QStringLiteral("」がTLSに対応していないため、接続を中止しました。\nｻｰﾊﾞｰの応答: ") +
                        first_line(reply));
        } else {
            if (!clearConnectionAgreed())
                return true;
            Newtext = QStringLiteral("サーバーがTLSに対応していないため、暗号化せずに接続します。\r\n");
            Text_plus();
            session_.clearAgreed = true;
            showEncryption();
            Send_user();
        }
        return true;
    }
    if (verb == QStringLiteral("PBSZ")) {
        nextSessionStep();
        return true;
    }
    if (verb == QStringLiteral("PROT")) {
        if (refusal(code)) {
            // Once the connection is encrypted, no data connection of it
            // goes in clear: without PROT P there is none at all.
            controlLost(QStringLiteral("サーバーがデーター接続の暗号化を受け付けないため、接続を中止しました。\nｻｰﾊﾞｰの応答: ") +
                        first_line(reply));
            return true;
        }
        const QSslCertificate peer = Winsock1->TlsState().peerCertificate();
        Winsock2->SetTlsClient([this] { return dataTlsConfiguration(); }, ホスト名, peer);
        session_.dataProtected = true;
        nextSessionStep();
        return true;
    }
    return false;
}

QSslConfiguration form1::dataTlsConfiguration() const
{
    // The control connection's configuration carries its session, which
    // the data connection resumes; asked for each connection, so a session
    // ticket the server sent later is the one used.
    QSslConfiguration c = Winsock1->TlsState();
    c.setPeerVerifyMode(QSslSocket::VerifyNone);
    return c;
}

void form1::tlsFailed(const QString& why)
{
    session_.tlsStarting = false;
    controlLost(QStringLiteral("サーバー「") + ホスト名 + QStringLiteral("」とTLSで接続できませんでした。\n") + why);
}

void form1::Winsock1_Encrypted()
{
    if (!session_.tlsStarting)
        return;
    session_.tlsStarting = false;
    const QSslConfiguration state = Winsock1->TlsState();
    Newtext = protocol_name(state.sessionProtocol()) + QStringLiteral(" (") + state.sessionCipher().name() +
              QStringLiteral(") で暗号化しました。\r\n");
    Text_plus();
    const quint64 login = operationId_;
    if (!certificateAccepted(state))
        return;
    // The connection may have ended while the question was open.
    if (login != operationId_ || !Winsock1->IsEncrypted() || Winsock1->State() != Winsock::sckConnected)
        return;
    showEncryption();
    Send_user();
}

bool form1::certificateAccepted(const QSslConfiguration& state)
{
    namespace cc = certificate_check;
    const QSslCertificate cert = state.peerCertificate();
    const QString fp = cert.isNull() ? QString() : cc::fingerprint(cert);
    const bool stored = !profile_.trustedFingerprint.isEmpty();
    if (stored && fp == profile_.trustedFingerprint)
        return true;
    const QList<QSslError> errors =
        cert.isNull() ? QList<QSslError>{QSslError(QSslError::NoPeerCertificate)}
                      : cc::verify(state.peerCertificateChain(), ホスト名);
    if (errors.isEmpty() && !stored)
        return true;
    const quint64 login = operationId_;
    // Enter must never trust a certificate for good.
    session_.certificateAsked = true;
    const int answer = prompts::Choose(cc::question(ホスト名, cert, cc::problems(errors), stored),
                                       QStringLiteral("証明書の確認"), prompts::vbExclamation, cc::answers(),
                                       cc::DoNotConnect, cc::fingerprint_text(cert));
    session_.certificateAsked = false;
    if (login != operationId_)
        return false;
    if (answer == cc::AlwaysTrust && !cert.isNull()) {
        profile_.rememberTrust(fp);
        const QString failure = settings::commit();
        if (!failure.isEmpty())
            prompts::Msg_box(QStringLiteral("信頼する証明書を保存できませんでした。今回は接続を続けます。\n") + failure,
                             QStringLiteral("証明書の確認"), prompts::vbExclamation);
        return true;
    }
    if (answer == cc::TrustOnce && !cert.isNull())
        return true;
    // Nothing but AUTH has been sent; the connection just ends.
    controlLost(QString());
    Newtext = QStringLiteral("証明書を信頼しなかったため、接続を中止しました。\r\n");
    Text_plus();
    return false;
}

void form1::showEncryption()
{
    // Until the connection is encrypted or goes on in clear, nothing is
    // claimed either way (the handshake, the certificate question).
    const bool undecided = profile_.tls != ConnectionProfile::Tls::None && !Winsock1->IsEncrypted() && !session_.clearAgreed;
    StatusPanel2->setText(!controlShown_ || undecided ? QString()
                          : Winsock1->IsEncrypted()  ? QStringLiteral("TLS")
                                                     : QStringLiteral("暗号化なし"));
}

bool form1::dataMustBeProtected() const
{
    return profile_.tls == ConnectionProfile::Tls::Required || session_.tlsAccepted;
}

bool form1::refusedInClear(const QString& verb)
{
    // On an entry that requires TLS only AUTH goes out before the
    // handshake; once AUTH was accepted, nothing more goes out in clear.
    const bool mustEncrypt = session_.tlsAccepted || (profile_.tls == ConnectionProfile::Tls::Required && verb != QStringLiteral("AUTH"));
    if (!mustEncrypt || Winsock1->IsEncrypted())
        return false;
    endLogin();
    return true;
}

void form1::endLogin()
{
    // Not half logged in: the connection ends without another command
    // (before the handshake has finished nothing may go out in clear).
    session_.tlsStarting = false;
    session_.certificateAsked = false;
    sentCommands_.clear();
    controlLost(QString());
}
