#include "ftp/certificate_check.h"

#include <QCryptographicHash>
#include <QDateTime>

namespace certificate_check {

QString fingerprint(const QSslCertificate& cert)
{
    return QString::fromLatin1(QCryptographicHash::hash(cert.toDer(), QCryptographicHash::Sha256).toHex());
}

QStringList problems(const QList<QSslError>& errors)
{
    QStringList out;
    for (const QSslError& e : errors) {
        QString text;
        switch (e.error()) {
        case QSslError::SelfSignedCertificate:
        case QSslError::SelfSignedCertificateInChain:
            text = QStringLiteral("自己署名の証明書です（信頼された認証局が発行したものではありません）。");
            break;
        case QSslError::CertificateExpired:
            text = QStringLiteral("証明書の有効期限が切れています。");
            break;
        case QSslError::CertificateNotYetValid:
            text = QStringLiteral("証明書の有効期間がまだ始まっていません。");
            break;
        case QSslError::HostNameMismatch:
            text = QStringLiteral("証明書がこのホスト名のものではありません。");
            break;
        case QSslError::UnableToGetIssuerCertificate:
        case QSslError::UnableToGetLocalIssuerCertificate:
        case QSslError::UnableToVerifyFirstCertificate:
        case QSslError::CertificateUntrusted:
            text = QStringLiteral("証明書の発行者を確認できません（信頼された認証局が見つかりません）。");
            break;
        case QSslError::CertificateRevoked:
            text = QStringLiteral("証明書は失効しています。");
            break;
        case QSslError::NoPeerCertificate:
            text = QStringLiteral("サーバーが証明書を示しませんでした。");
            break;
        default:
            text = QStringLiteral("証明書を検証できませんでした（") + e.errorString() + QStringLiteral("）。");
            break;
        }
        if (!out.contains(text))
            out.append(text);
    }
    return out;
}

namespace {
QString names(const QSslCertificate& cert, bool issuer)
{
    const QString text = issuer ? cert.issuerDisplayName() : cert.subjectDisplayName();
    return text.isEmpty() ? QStringLiteral("（なし）") : text.left(200);
}

QString day(const QDateTime& t)
{
    return t.isValid() ? t.toLocalTime().toString(QStringLiteral("yyyy/MM/dd HH:mm")) : QStringLiteral("（不明）");
}
} // namespace

QString question(const QString& host, const QSslCertificate& cert, const QStringList& problems, bool changed)
{
    QString text = changed ? QStringLiteral("サーバー「") + host +
                                 QStringLiteral("」の証明書が、信頼すると保存した証明書から変わっています。\n")
                           : QStringLiteral("サーバー「") + host + QStringLiteral("」の証明書を確認できませんでした。\n");
    for (const QString& p : problems)
        text += QStringLiteral("・") + p + u'\n';
    const QString fp = fingerprint(cert);
    QString grouped;
    for (int i = 0; i < fp.size(); i += 2)
        grouped += (i ? QStringLiteral(":") : QString()) + fp.mid(i, 2);
    text += QStringLiteral("\n発行先: ") + names(cert, false) + QStringLiteral("\n発行者: ") + names(cert, true) +
            QStringLiteral("\n有効期間: ") + day(cert.effectiveDate()) + QStringLiteral(" ～ ") + day(cert.expiryDate()) +
            QStringLiteral("\nSHA-256: ") + grouped +
            QStringLiteral("\n\nこの証明書を信頼して接続しますか？");
    return text;
}

QStringList answers()
{
    return {QStringLiteral("常に信頼する"), QStringLiteral("今回のみ"), QStringLiteral("接続しない")};
}

} // namespace certificate_check
