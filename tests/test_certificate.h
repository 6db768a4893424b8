// Certificates made for a test run (Debian's python3-cryptography): a key
// and a self-signed certificate for a name, valid over a chosen span of days
// around now, so tests can present expired, future and wrong-name
// certificates without any file kept in the repository.
#pragma once
#include <QByteArray>
#include <QString>

struct TestCertificate {
    QString certPath, keyPath;   // PEM files in the folder given
    QByteArray certPem, keyPem;
    QString fingerprint;         // SHA-256 of the DER bytes, 64 lower-case hex digits
    QString error;               // set when it could not be made
    bool ok() const { return error.isEmpty(); }
};

// Valid from `fromDay` to `toDay`, in days relative to now (negative: past).
TestCertificate make_test_certificate(const QString& dir, const QString& commonName = QStringLiteral("localhost"),
                                      int fromDay = -1, int toDay = 30);
