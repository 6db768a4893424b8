// Certificates made for a test run (Debian's python3-cryptography): a key
// and a self-signed certificate for a name, valid over a chosen span of days
// around now, or one issued by an authority made with it, so tests can
// present expired, future, wrong-name and wrong-purpose certificates
// without any file kept in the repository.
#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>

struct TestCertificate {
    QString certPath, keyPath;   // PEM files in the folder given
    QByteArray certPem, keyPem;
    QByteArray caPem;            // the issuing authority's certificate; empty when self-signed
    QString fingerprint;         // SHA-256 of the DER bytes, 64 lower-case hex digits
    QString error;               // set when it could not be made
    bool ok() const { return error.isEmpty(); }
};

// Valid from `fromDay` to `toDay`, in days relative to now (negative: past).
TestCertificate make_test_certificate(const QString& dir, const QString& commonName = QStringLiteral("localhost"),
                                      int fromDay = -1, int toDay = 30);
// Issued by an authority made for this call (caPem), valid from yesterday
// for 30 days, listing `names` as its alternative names (addresses as
// addresses, the rest as host names; none when empty),
// for server authentication or for client authentication only.
TestCertificate make_issued_certificate(const QString& dir, const QString& commonName, const QStringList& names,
                                        bool forServer);
