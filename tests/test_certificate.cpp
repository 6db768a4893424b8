#include "tests/test_certificate.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSslCertificate>

namespace {
// Both write key.pem and cert.pem (and ca.pem when issued) under the file
// stem given in argv[1].
const char* const Common = R"PY(
import sys, datetime, ipaddress
from cryptography import x509
from cryptography.x509.oid import NameOID, ExtendedKeyUsageOID
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec
stem = sys.argv[1]
now = datetime.datetime.utcnow()
def named(text):
    return x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, text)])
def builder(subject, issuer, key, a, b):
    return (x509.CertificateBuilder().subject_name(subject).issuer_name(issuer)
            .public_key(key.public_key()).serial_number(x509.random_serial_number())
            .not_valid_before(now + datetime.timedelta(days=a))
            .not_valid_after(now + datetime.timedelta(days=b)))
def write(name, data):
    open(stem + "-" + name + ".pem", "wb").write(data)
def write_key(key):
    write("key", key.private_bytes(serialization.Encoding.PEM,
          serialization.PrivateFormat.TraditionalOpenSSL, serialization.NoEncryption()))
)PY";

const char* const SelfSigned = R"PY(
name, a, b = sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
key = ec.generate_private_key(ec.SECP256R1())
cert = (builder(named(name), named(name), key, a, b)
        .add_extension(x509.SubjectAlternativeName([x509.DNSName(name)]), critical=False)
        .sign(key, hashes.SHA256()))
write_key(key)
write("cert", cert.public_bytes(serialization.Encoding.PEM))
)PY";

const char* const Issued = R"PY(
name, names, for_server = sys.argv[2], [n for n in sys.argv[3].split(",") if n], sys.argv[4] == "1"
ca_key = ec.generate_private_key(ec.SECP256R1())
ca = (builder(named("PALU test authority"), named("PALU test authority"), ca_key, -1, 30)
      .add_extension(x509.BasicConstraints(ca=True, path_length=None), critical=True)
      .sign(ca_key, hashes.SHA256()))
key = ec.generate_private_key(ec.SECP256R1())
usage = ExtendedKeyUsageOID.SERVER_AUTH if for_server else ExtendedKeyUsageOID.CLIENT_AUTH
b = (builder(named(name), ca.subject, key, -1, 30)
     .add_extension(x509.BasicConstraints(ca=False, path_length=None), critical=True)
     .add_extension(x509.ExtendedKeyUsage([usage]), critical=False))
if names:
    def alternative(n):
        try:
            return x509.IPAddress(ipaddress.ip_address(n))
        except ValueError:
            return x509.DNSName(n)
    b = b.add_extension(x509.SubjectAlternativeName([alternative(n) for n in names]), critical=False)
write_key(key)
write("cert", b.sign(ca_key, hashes.SHA256()).public_bytes(serialization.Encoding.PEM))
write("ca", ca.public_bytes(serialization.Encoding.PEM))
)PY";

QByteArray read_all(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TestCertificate make(const char* script, const QString& stem, const QStringList& args)
{
    TestCertificate c;
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"),
            QStringList{QStringLiteral("-c"), QString::fromUtf8(Common) + QString::fromUtf8(script), stem} + args);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        c.error = QStringLiteral("certificate not made: ") + QString::fromLocal8Bit(p.readAllStandardError());
        return c;
    }
    c.certPath = stem + QStringLiteral("-cert.pem");
    c.keyPath = stem + QStringLiteral("-key.pem");
    c.certPem = read_all(c.certPath);
    c.keyPem = read_all(c.keyPath);
    c.caPem = read_all(stem + QStringLiteral("-ca.pem"));
    const QSslCertificate cert(c.certPem, QSsl::Pem);
    if (cert.isNull()) {
        c.error = QStringLiteral("certificate not readable: ") + c.certPath;
        return c;
    }
    c.fingerprint = QString::fromLatin1(QCryptographicHash::hash(cert.toDer(), QCryptographicHash::Sha256).toHex());
    return c;
}
} // namespace

TestCertificate make_test_certificate(const QString& dir, const QString& commonName, int fromDay, int toDay)
{
    const QString stem = QDir(dir).filePath(commonName + QStringLiteral("_%1_%2").arg(fromDay).arg(toDay));
    return make(SelfSigned, stem, {commonName, QString::number(fromDay), QString::number(toDay)});
}

TestCertificate make_issued_certificate(const QString& dir, const QString& commonName, const QStringList& names,
                                        bool forServer)
{
    const QString stem = QDir(dir).filePath(QStringLiteral("issued_%1_%2_%3")
                                                .arg(commonName, names.join(u'+'), forServer ? QStringLiteral("server") : QStringLiteral("client")));
    return make(Issued, stem, {commonName, names.join(u','), forServer ? QStringLiteral("1") : QStringLiteral("0")});
}
