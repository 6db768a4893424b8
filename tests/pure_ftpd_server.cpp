#include "tests/pure_ftpd_server.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <sys/stat.h>
#include <unistd.h>

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

bool PureFtpdServer::running() const { return process_.running(); }
QString PureFtpdServer::output() const { return process_.output(); }
quint16 PureFtpdServer::port() const { return process_.port(); }

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
    if (!can_start(unusableReason(), work_, error_))
        return false;
    if (!QFileInfo::exists(work_.filePath(QStringLiteral("users.pdb"))) && !makeUser())
        return false;
    // Its defaults otherwise: in the foreground, on loopback at the port the
    // test picked, the virtual users only, everyone in their own tree.
    const QString users = QStringLiteral("puredb:") + work_.filePath(QStringLiteral("users.pdb"));
    const bool started = process_.start(
        Program,
        [&users](quint16 port, QString&) {
            return std::optional<ServerProcess::Command>(
                {{QStringLiteral("-l"), users, QStringLiteral("-S"), QStringLiteral("127.0.0.1,%1").arg(port),
                  QStringLiteral("-E"), QStringLiteral("-H"), QStringLiteral("-A")},
                 {}});
        },
        [](const QString& said) { return said.contains(QLatin1String("Address already in use")); }, ms);
    error_ = process_.error();
    return started;
}

void PureFtpdServer::stop() { process_.stop(); }
