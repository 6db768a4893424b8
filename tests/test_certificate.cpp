#include "tests/test_certificate.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSslCertificate>

namespace {
// Writes key.pem and cert.pem under the file stem given in argv[1].
const char* const Script = R"PY(
import sys, datetime
from cryptography import x509
from cryptography.x509.oid import NameOID
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec
stem, name, a, b = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
key = ec.generate_private_key(ec.SECP256R1())
subject = x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, name)])
now = datetime.datetime.utcnow()
cert = (x509.CertificateBuilder().subject_name(subject).issuer_name(subject)
        .public_key(key.public_key()).serial_number(x509.random_serial_number())
        .not_valid_before(now + datetime.timedelta(days=a))
        .not_valid_after(now + datetime.timedelta(days=b))
        .add_extension(x509.SubjectAlternativeName([x509.DNSName(name)]), critical=False)
        .sign(key, hashes.SHA256()))
open(stem + "-key.pem", "wb").write(key.private_bytes(serialization.Encoding.PEM,
    serialization.PrivateFormat.TraditionalOpenSSL, serialization.NoEncryption()))
open(stem + "-cert.pem", "wb").write(cert.public_bytes(serialization.Encoding.PEM))
)PY";

QByteArray read_all(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

TestCertificate make_test_certificate(const QString& dir, const QString& commonName, int fromDay, int toDay)
{
    TestCertificate c;
    const QString stem = QDir(dir).filePath(commonName + QStringLiteral("_%1_%2").arg(fromDay).arg(toDay));
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QString::fromUtf8(Script), stem, commonName,
                                                 QString::number(fromDay), QString::number(toDay)});
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        c.error = QStringLiteral("certificate not made: ") + QString::fromLocal8Bit(p.readAllStandardError());
        return c;
    }
    c.certPath = stem + QStringLiteral("-cert.pem");
    c.keyPath = stem + QStringLiteral("-key.pem");
    c.certPem = read_all(c.certPath);
    c.keyPem = read_all(c.keyPath);
    const QSslCertificate cert(c.certPem, QSsl::Pem);
    if (cert.isNull()) {
        c.error = QStringLiteral("certificate not readable: ") + c.certPath;
        return c;
    }
    c.fingerprint = QString::fromLatin1(QCryptographicHash::hash(cert.toDer(), QCryptographicHash::Sha256).toHex());
    return c;
}
