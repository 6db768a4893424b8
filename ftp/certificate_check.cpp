#include "ftp/certificate_check.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QHostAddress>
#include <QSslCertificateExtension>
#include <QUrl>

#include <algorithm>

namespace certificate_check {

namespace {
// Texts of a usage extension: its usages by name or, when unknown, by number.
QStringList usages(const QSslCertificate& cert, const QString& extension)
{
    for (const QSslCertificateExtension& e : cert.extensions())
        if (e.name() == extension) {
            QStringList out;
            const QVariant v = e.value();
            if (v.typeId() == QMetaType::QVariantList)
                for (const QVariant& item : v.toList())
                    out << item.toString().trimmed();
            else
                for (const QString& item : v.toString().split(u','))
                    out << item.trimmed();
            return out;
        }
    return {QStringLiteral("(none)")};
}
bool has_extension(const QStringList& usages) { return usages != QStringList{QStringLiteral("(none)")}; }

// A certificate for clients only (or for signing code, mail ...) is no
// server's, nor is an authority restricted to issuing such certificates.
bool fit_for_server(const QSslCertificate& cert, bool leaf)
{
    const QStringList extended = usages(cert, QStringLiteral("extendedKeyUsage"));
    if (has_extension(extended)) {
        static const QStringList Server = {QStringLiteral("TLS Web Server Authentication"),
                                           QStringLiteral("1.3.6.1.5.5.7.3.1"),
                                           QStringLiteral("Microsoft Server Gated Crypto"),
                                           QStringLiteral("Netscape Server Gated Crypto")};
        if (std::none_of(extended.begin(), extended.end(), [](const QString& u) { return Server.contains(u); }))
            return false;
    }
    if (!leaf)
        return true;
    const QStringList plain = usages(cert, QStringLiteral("keyUsage"));
    if (!has_extension(plain))
        return true;
    static const QStringList Handshake = {QStringLiteral("Digital Signature"), QStringLiteral("Key Encipherment"),
                                          QStringLiteral("Key Agreement")};
    return std::any_of(plain.begin(), plain.end(), [](const QString& u) { return Handshake.contains(u); });
}

bool host_matches(const QSslCertificate& cert, const QString& host)
{
    const QHostAddress address(host);
    const auto alternatives = cert.subjectAlternativeNames();
    const QList<QString> dns = alternatives.values(QSsl::DnsEntry);
    const QList<QString> ips = alternatives.values(QSsl::IpAddressEntry);
    if (!address.isNull()) {
        if (!ips.isEmpty() || !dns.isEmpty())
            return std::any_of(ips.begin(), ips.end(), [&](const QString& ip) { return QHostAddress(ip) == address; });
    } else if (!dns.isEmpty()) {
        return std::any_of(dns.begin(), dns.end(), [&](const QString& name) { return name_matches(name, host); });
    }
    // Only a certificate that lists no alternative names is read by its
    // common name.
    const QStringList common = cert.subjectInfo(QSslCertificate::CommonName);
    return std::any_of(common.begin(), common.end(), [&](const QString& name) {
        return address.isNull() ? name_matches(name, host) : QHostAddress(name) == address;
    });
}
} // namespace

bool name_matches(const QString& pattern, const QString& host)
{
    const auto canonical = [](QString name) {
        if (name.endsWith(u'.'))
            name.chop(1);
        // The wildcard label is no host name of its own: only the rest is
        // converted.
        const qsizetype dot = name.indexOf(u'.');
        const QString first = dot < 0 ? name : name.left(dot);
        if (first.contains(u'*') && dot > 0) {
            for (const QChar c : first)
                if (c.unicode() > 0x7f)
                    return QString();
            return first.toLower() + u'.' + QString::fromLatin1(QUrl::toAce(name.mid(dot + 1))).toLower();
        }
        return QString::fromLatin1(QUrl::toAce(name)).toLower();
    };
    const QString p = canonical(pattern), h = canonical(host);
    if (p.isEmpty() || h.isEmpty())
        return false;
    if (!p.contains(u'*'))
        return p == h;
    // One '*', in the first label only, standing for part of one label, and
    // at least two labels after it: "*.example.com", not "*.com" nor "a.*.com".
    const qsizetype dot = p.indexOf(u'.');
    if (p.count(u'*') != 1 || dot < 0 || p.indexOf(u'*') > dot || p.mid(dot + 1).count(u'.') < 1 ||
        p.startsWith(QStringLiteral("xn--")))
        return false;
    const qsizetype hostDot = h.indexOf(u'.');
    if (hostDot < 0 || p.mid(dot) != h.mid(hostDot))
        return false;
    const QString label = p.left(dot), hostLabel = h.left(hostDot);
    const qsizetype star = label.indexOf(u'*');
    const QString before = label.left(star), after = label.mid(star + 1);
    return hostLabel.size() >= before.size() + after.size() && hostLabel.startsWith(before) &&
           hostLabel.endsWith(after) && !hostLabel.isEmpty();
}

QList<QSslError> verify(const QList<QSslCertificate>& chain, const QString& host)
{
    if (chain.isEmpty())
        return {QSslError(QSslError::NoPeerCertificate)};
    // The chain alone (no host name): the name is matched below, by the
    // rules a client applies to a server.
    QList<QSslError> errors = QSslCertificate::verify(chain);
    errors.removeIf([](const QSslError& e) { return e.error() == QSslError::HostNameMismatch; });
    const QSslCertificate& leaf = chain.first();
    for (qsizetype i = 0; i < chain.size(); ++i)
        if (!fit_for_server(chain[i], i == 0)) {
            errors.append(QSslError(QSslError::InvalidPurpose, chain[i]));
            break;
        }
    if (!host_matches(leaf, host))
        errors.append(QSslError(QSslError::HostNameMismatch, leaf));
    return errors;
}

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
        case QSslError::InvalidPurpose:
            text = QStringLiteral("証明書がサーバー用のものではありません。");
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
