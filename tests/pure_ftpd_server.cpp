#include "tests/pure_ftpd_server.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QHostAddress>
#include <QProcess>

#include <sys/stat.h>
#include <unistd.h>

#include "tests/real_ftp_server.h"
#include "tests/test_support.h"

namespace {

// Unpacked from the package into the build folder by `make test` (the
// package cannot be installed beside vsftpd's).
const QString Program = QStringLiteral(PALU_PURE_FTPD_DIR "/usr/sbin/pure-ftpd");
const QString PasswordTool = QStringLiteral(PALU_PURE_FTPD_DIR "/usr/bin/pure-pw");
// The virtual user's system account: nobody's.
const QString Uid = QStringLiteral("65534");

} // namespace

PureFtpdServer::PureFtpdServer() = default;

PureFtpdServer::~PureFtpdServer()
{
    stop();
}

QString PureFtpdServer::unusableReason()
{
    if (!QFileInfo(Program).isExecutable() || !QFileInfo(PasswordTool).isExecutable())
        return QStringLiteral("no %1 or %2 (make test unpacks them)").arg(Program, PasswordTool);
    if (::geteuid() != 0)
        return QStringLiteral("pure-ftpd needs root: it chroots the user and changes to another account");
    return {};
}

QString PureFtpdServer::root() const { return work_.filePath(QStringLiteral("root")); }

bool PureFtpdServer::running() const
{
    return proc_ && proc_->state() == QProcess::Running;
}

QString PureFtpdServer::output() const
{
    if (proc_)
        printed_ += QString::fromLocal8Bit(proc_->readAll());
    return printed_;
}

bool PureFtpdServer::makeUser()
{
    // The tree belongs to the user's account, so that it may upload; the
    // folders above it stay reachable.
    const QByteArray top = QFile::encodeName(root()), work = QFile::encodeName(work_.path());
    if (!QDir().mkpath(root()) || ::chmod(work.constData(), 0755) != 0
        || ::chown(top.constData(), Uid.toUInt(), Uid.toUInt()) != 0 || ::chmod(top.constData(), 0755) != 0) {
        error_ = QStringLiteral("cannot lay out the server's tree in %1").arg(work_.path());
        return false;
    }
    QProcess pw;
    pw.setProcessChannelMode(QProcess::MergedChannels);
    pw.start(PasswordTool, {QStringLiteral("useradd"), user(), QStringLiteral("-u"), Uid, QStringLiteral("-g"), Uid,
                            QStringLiteral("-d"), root(), QStringLiteral("-f"), work_.filePath(QStringLiteral("users")),
                            QStringLiteral("-F"), work_.filePath(QStringLiteral("users.pdb")), QStringLiteral("-m")});
    pw.write((password() + u'\n' + password() + u'\n').toUtf8());
    pw.closeWriteChannel();
    if (!pw.waitForFinished(30000) || pw.exitStatus() != QProcess::NormalExit || pw.exitCode() != 0) {
        error_ = QStringLiteral("pure-pw could not make the user: %1").arg(QString::fromLocal8Bit(pw.readAll()));
        return false;
    }
    return true;
}

bool PureFtpdServer::start(int ms)
{
    stop();
    error_ = unusableReason();
    if (!error_.isEmpty())
        return false;
    if (!work_.isValid()) {
        error_ = QStringLiteral("cannot create a temporary folder: %1").arg(work_.errorString());
        return false;
    }
    if (!QFileInfo::exists(work_.filePath(QStringLiteral("users.pdb"))) && !makeUser())
        return false;
    QDeadlineTimer deadline(ms);
    for (int attempt = 0; attempt < 5 && !deadline.hasExpired(); ++attempt) {
        const quint16 port = free_tcp_port(QHostAddress::LocalHost);
        if (port == 0) {
            error_ = QStringLiteral("no free TCP port on 127.0.0.1");
            return false;
        }
        printed_.clear();
        proc_ = std::make_unique<QProcess>();
        proc_->setProcessChannelMode(QProcess::MergedChannels);
        // Its defaults otherwise: in the foreground, on loopback at the port
        // the test picked, the virtual users only, everyone in their own tree.
        proc_->start(Program, {QStringLiteral("-l"), QStringLiteral("puredb:") + work_.filePath(QStringLiteral("users.pdb")),
                               QStringLiteral("-S"), QStringLiteral("127.0.0.1,%1").arg(port),
                               QStringLiteral("-E"), QStringLiteral("-H"), QStringLiteral("-A")});
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
        stop();
        if (ended && said.contains(QLatin1String("Address already in use")))
            continue;  // someone took the port between the probe and the bind
        error_ = QStringLiteral("pure-ftpd did not start on port %1: %2").arg(port).arg(said.trimmed());
        return false;
    }
    if (error_.isEmpty())
        error_ = QStringLiteral("pure-ftpd did not accept connections in time: %1").arg(output().trimmed());
    return false;
}

void PureFtpdServer::stop()
{
    if (!proc_)
        return;
    output();
    // Its sessions are processes of their own that end with their client:
    // the window goes before the server.
    end_process(*proc_);
    printed_ += QString::fromLocal8Bit(proc_->readAll());
    proc_.reset();
    port_ = 0;
}
