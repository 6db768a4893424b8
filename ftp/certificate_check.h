// What the user is told about a server certificate that the system does not
// trust for the host (or that differs from the one the user chose to trust),
// and the fingerprint that identifies it.
#pragma once
#include <QList>
#include <QSslCertificate>
#include <QSslError>
#include <QString>
#include <QStringList>

namespace certificate_check {

// The chain checked as a TLS client checks a server's: issued by a trusted
// authority, in its validity period, fit for a server (extended and plain
// key usage), and for the host — by the alternative names when the
// certificate lists any, by the common name only when it lists none.
// Empty when all holds.
QList<QSslError> verify(const QList<QSslCertificate>& chain, const QString& host);
// Whether a name from a certificate (possibly "*.example.com") names host.
bool name_matches(const QString& pattern, const QString& host);

// SHA-256 of the certificate's DER bytes, 64 lower-case hex digits.
QString fingerprint(const QSslCertificate& cert);
// Each problem of the chain for the host, in Japanese, without repeats.
QStringList problems(const QList<QSslError>& errors);
// The question's text: what was found, the certificate's subject, issuer,
// validity and fingerprint.
QString question(const QString& host, const QSslCertificate& cert, const QStringList& problems, bool changed);
// The answers, in the order of the buttons.
enum Answer { AlwaysTrust, TrustOnce, DoNotConnect };
QStringList answers();

} // namespace certificate_check
