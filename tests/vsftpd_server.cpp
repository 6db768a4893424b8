#include "tests/vsftpd_server.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QProcess>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/real_ftp_server.h"
#include "tests/test_certificate.h"
#include "tests/test_support.h"

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

bool VsftpdServer::running() const
{
    return proc_ && proc_->state() == QProcess::Running;
}

QString VsftpdServer::output() const
{
    if (proc_)
        printed_ += QString::fromLocal8Bit(proc_->readAll());
    QFile log(work_.filePath(QStringLiteral("vsftpd.log")));
    return printed_ + (log.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(log.readAll()) : QString());
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
    const QStringList lines = {
        // In the foreground, on loopback only, at the port the test picked.
        QStringLiteral("listen=YES"), QStringLiteral("listen_ipv6=NO"), QStringLiteral("background=NO"),
        QStringLiteral("listen_address=127.0.0.1"), QStringLiteral("listen_port=%1").arg(port),
        // Anonymous with a password, so that PASS is sent and must not go in clear.
        QStringLiteral("anonymous_enable=YES"), QStringLiteral("no_anon_password=NO"),
        QStringLiteral("anon_root=") + root(), QStringLiteral("local_enable=NO"), QStringLiteral("write_enable=YES"),
        QStringLiteral("anon_upload_enable=YES"), QStringLiteral("anon_umask=022"),
        // Both data modes; the server connects back from any port.
        QStringLiteral("port_enable=YES"), QStringLiteral("connect_from_port_20=NO"), QStringLiteral("pasv_enable=YES"),
        QStringLiteral("pasv_address=127.0.0.1"),
        // Containers often forbid the sandbox's system calls and namespaces.
        QStringLiteral("seccomp_sandbox=NO"), QStringLiteral("isolate=NO"), QStringLiteral("isolate_network=NO"),
        QStringLiteral("secure_chroot_dir=") + work_.filePath(QStringLiteral("empty")),
        QStringLiteral("dirmessage_enable=NO"), QStringLiteral("use_localtime=NO"),
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
        // The log says what was sent and how each TLS connection went.
        QStringLiteral("xferlog_enable=YES"), QStringLiteral("log_ftp_protocol=YES"), QStringLiteral("debug_ssl=YES"),
        QStringLiteral("vsftpd_log_file=") + work_.filePath(QStringLiteral("vsftpd.log")),
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
    error_ = unusableReason();
    if (!error_.isEmpty())
        return false;
    if (!work_.isValid()) {
        error_ = QStringLiteral("cannot create a temporary folder: %1").arg(work_.errorString());
        return false;
    }
    if (certPath_.isEmpty()) {
        error_ = QStringLiteral("no certificate given (setCertificate)");
        return false;
    }
    if (!prepareTree())
        return false;
    const QString tls12 = work_.filePath(QStringLiteral("tls12.cnf"));
    if (maxTls12_ && !write_text(tls12, QStringLiteral("openssl_conf = init\n[init]\nssl_conf = ssl\n[ssl]\n"
                                                       "system_default = sys\n[sys]\nMaxProtocol = TLSv1.2\n"))) {
        error_ = QStringLiteral("cannot write %1").arg(tls12);
        return false;
    }
    QDeadlineTimer deadline(ms);
    for (int attempt = 0; attempt < 5 && !deadline.hasExpired(); ++attempt) {
        const quint16 port = free_tcp_port(QHostAddress::LocalHost);
        if (port == 0) {
            error_ = QStringLiteral("no free TCP port on 127.0.0.1");
            return false;
        }
        if (!writeConfig(port))
            return false;
        printed_.clear();
        QFile::remove(work_.filePath(QStringLiteral("vsftpd.log")));
        proc_ = std::make_unique<QProcess>();
        proc_->setProcessChannelMode(QProcess::MergedChannels);
        if (maxTls12_) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("OPENSSL_CONF"), tls12);
            proc_->setProcessEnvironment(env);
        }
        proc_->start(Program, {work_.filePath(QStringLiteral("vsftpd.conf"))});
        if (!proc_->waitForStarted(int(qMax<qint64>(deadline.remainingTime(), 1)))) {
            error_ = QStringLiteral("cannot run %1: %2").arg(Program, proc_->errorString());
            proc_.reset();
            return false;
        }
        if (wait_accepting(*proc_, QHostAddress::LocalHost, port, int(qMax<qint64>(deadline.remainingTime(), 1)))) {
            port_ = port;
            return true;
        }
        const QString said = output();
        const bool ended = !running();
        const int status = ended ? proc_->exitCode() : 0;
        stop();
        if (said.contains(QLatin1String("could not bind")))
            continue;  // someone took the port between the probe and the bind
        // It ends without a word on some faults, an unreadable certificate among them.
        error_ = ended ? QStringLiteral("vsftpd ended with status %1 (certificate %2): %3").arg(status).arg(certPath_, said.trimmed())
                       : QStringLiteral("vsftpd did not start on port %1: %2").arg(port).arg(said.trimmed());
        return false;
    }
    if (error_.isEmpty())
        error_ = QStringLiteral("vsftpd did not accept connections in time: %1").arg(output().trimmed());
    return false;
}

void VsftpdServer::stop()
{
    if (!proc_)
        return;
    output();
    // Its sessions end with it: vsftpd has each one die with its parent.
    end_process(*proc_);
    printed_ += QString::fromLocal8Bit(proc_->readAll());
    proc_.reset();
    port_ = 0;
}
