#include "tests/vsftpd_server.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/test_certificate.h"

namespace {

const QString Program = QStringLiteral("/usr/sbin/vsftpd");

bool write_text(const QString& path, const QString& text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text.toUtf8()) == text.toUtf8().size();
}

} // namespace

VsftpdServer::VsftpdServer() = default;

VsftpdServer::~VsftpdServer()
{
    stop();
}

QString VsftpdServer::unusableReason()
{
    if (!QFileInfo(Program).isExecutable())
        return QStringLiteral("no %1 (install vsftpd)").arg(Program);
    if (::geteuid() != 0)
        return QStringLiteral("vsftpd needs root: it changes to the ftp user and wants a root-owned tree");
    if (!::getpwnam("ftp"))
        return QStringLiteral("no ftp user on this machine (installing vsftpd makes it)");
    return {};
}

void VsftpdServer::setCertificate(const TestCertificate& certificate)
{
    certPath_ = certificate.certPath;
    keyPath_ = certificate.keyPath;
}

QString VsftpdServer::root() const { return work_.filePath(QStringLiteral("root")); }
QString VsftpdServer::pub() const { return work_.filePath(QStringLiteral("root/pub")); }

bool VsftpdServer::running() const { return process_.running(); }
quint16 VsftpdServer::port() const { return process_.port(); }

QString VsftpdServer::output() const
{
    QFile log(work_.filePath(QStringLiteral("vsftpd.log")));
    return process_.output() + (log.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(log.readAll()) : QString());
}

bool VsftpdServer::prepareTree()
{
    const passwd* ftp = ::getpwnam("ftp");
    if (!ftp || !QDir().mkpath(pub()) || !QDir().mkpath(work_.filePath(QStringLiteral("empty")))) {
        error_ = QStringLiteral("cannot lay out the server's folders in %1").arg(work_.path());
        return false;
    }
    // The top stays root's and read-only (vsftpd refuses a writable
    // anonymous root); pub/ belongs to ftp so that uploads can land there.
    const QByteArray top = QFile::encodeName(root()), up = QFile::encodeName(pub());
    if (::chmod(top.constData(), 0555) != 0
        || ::chown(up.constData(), ftp->pw_uid, ftp->pw_gid) != 0 || ::chmod(up.constData(), 0755) != 0) {
        error_ = QStringLiteral("cannot set the owners and modes of %1").arg(root());
        return false;
    }
    return true;
}

bool VsftpdServer::writeConfig(quint16 port)
{
    QStringList lines = {
        // In the foreground, on loopback only, at the port the test picked.
        QStringLiteral("listen=YES"), QStringLiteral("listen_ipv6=NO"), QStringLiteral("background=NO"),
        QStringLiteral("listen_address=127.0.0.1"), QStringLiteral("listen_port=%1").arg(port),
        // Anonymous with a password, so that PASS is sent and must not go in clear.
        QStringLiteral("anonymous_enable=YES"), QStringLiteral("no_anon_password=NO"),
        QStringLiteral("anon_root=") + root(), QStringLiteral("local_enable=NO"), QStringLiteral("write_enable=YES"),
        QStringLiteral("anon_upload_enable=YES"), QStringLiteral("anon_mkdir_write_enable=YES"),
        QStringLiteral("anon_other_write_enable=YES"),
        QStringLiteral("anon_umask=022"),
        // Both data modes; the server connects back from any port.
        QStringLiteral("port_enable=YES"), QStringLiteral("connect_from_port_20=NO"), QStringLiteral("pasv_enable=YES"),
        QStringLiteral("pasv_address=127.0.0.1"),
        // Containers often forbid the sandbox's system calls and namespaces.
        QStringLiteral("seccomp_sandbox=NO"), QStringLiteral("isolate=NO"), QStringLiteral("isolate_network=NO"),
        QStringLiteral("secure_chroot_dir=") + work_.filePath(QStringLiteral("empty")),
        QStringLiteral("dirmessage_enable=NO"), QStringLiteral("use_localtime=NO"),
        // The log says what was sent and how each TLS connection went.
        QStringLiteral("xferlog_enable=YES"), QStringLiteral("log_ftp_protocol=YES"), QStringLiteral("debug_ssl=YES"),
        QStringLiteral("vsftpd_log_file=") + work_.filePath(QStringLiteral("vsftpd.log")),
    };
    if (certPath_.isEmpty())
        lines << QStringLiteral("ssl_enable=NO");
    else
        lines << QStringList{
            // TLS required for the log-in and every data connection, each data
            // connection resuming the control connection's session.
            QStringLiteral("ssl_enable=YES"), QStringLiteral("allow_anon_ssl=YES"),
            QStringLiteral("force_anon_logins_ssl=YES"), QStringLiteral("force_anon_data_ssl=YES"),
            QStringLiteral("force_local_logins_ssl=YES"), QStringLiteral("force_local_data_ssl=YES"),
            QStringLiteral("require_ssl_reuse=YES"), QStringLiteral("rsa_cert_file=") + certPath_,
            QStringLiteral("rsa_private_key_file=") + keyPath_,
            // The built-in cipher list holds nothing OpenSSL 3 still offers for
            // this key, so TLS 1.2 would fail its handshake.
            QStringLiteral("ssl_ciphers=HIGH"),
        };
    if (!write_text(work_.filePath(QStringLiteral("vsftpd.conf")), lines.join(u'\n') + u'\n')) {
        error_ = QStringLiteral("cannot write the configuration in %1").arg(work_.path());
        return false;
    }
    return true;
}

bool VsftpdServer::start(int ms)
{
    stop();
    if (!can_start(unusableReason(), work_, error_))
        return false;
    if (!prepareTree())
        return false;
    const QString tls12 = work_.filePath(QStringLiteral("tls12.cnf"));
    if (maxTls12_ && !write_text(tls12, QStringLiteral("openssl_conf = init\n[init]\nssl_conf = ssl\n[ssl]\n"
                                                       "system_default = sys\n[sys]\nMaxProtocol = TLSv1.2\n"))) {
        error_ = QStringLiteral("cannot write %1").arg(tls12);
        return false;
    }
    QProcessEnvironment env;
    if (maxTls12_) {
        env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("OPENSSL_CONF"), tls12);
    }
    const bool started = process_.start(
        Program,
        [this, &env](quint16 port, QString& error) -> std::optional<ServerProcess::Command> {
            if (!writeConfig(port)) {
                error = error_;
                return std::nullopt;
            }
            QFile::remove(work_.filePath(QStringLiteral("vsftpd.log")));
            return ServerProcess::Command{{work_.filePath(QStringLiteral("vsftpd.conf"))}, env};
        },
        [](const QString& said) { return said.contains(QLatin1String("could not bind")); }, ms);
    // It ends without a word on some faults, an unreadable certificate among them.
    error_ = started ? QString() : process_.error() + QStringLiteral(" (certificate %1)").arg(certPath_);
    return started;
}

void VsftpdServer::stop() { process_.stop(); }
