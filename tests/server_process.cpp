#include "tests/server_process.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QHostAddress>
#include <QProcess>
#include <QTemporaryDir>
#include <optional>

#include "tests/real_ftp_server.h"
#include "tests/test_support.h"

bool can_start(const QString& unusable, const QTemporaryDir& work, QString& error)
{
    error = unusable;
    if (error.isEmpty() && !work.isValid())
        error = QStringLiteral("cannot create a temporary folder: %1").arg(work.errorString());
    return error.isEmpty();
}

ServerProcess::ServerProcess() = default;

ServerProcess::~ServerProcess() { stop(); }

bool ServerProcess::running() const { return proc_ && proc_->state() == QProcess::Running; }

QString ServerProcess::output() const
{
    if (proc_)
        printed_ += QString::fromLocal8Bit(proc_->readAll());
    return printed_;
}

bool ServerProcess::start(const QString& program,
                          const std::function<std::optional<Command>(quint16 port, QString& error)>& command,
                          const std::function<bool(const QString& printed)>& portTaken, int ms)
{
    stop();
    error_.clear();
    const QString name = QFileInfo(program).fileName();
    QDeadlineTimer deadline(ms);
    for (int attempt = 0; attempt < 5 && !deadline.hasExpired(); ++attempt) {
        const quint16 port = free_tcp_port(QHostAddress::LocalHost);
        if (port == 0) {
            error_ = QStringLiteral("no free TCP port on 127.0.0.1");
            return false;
        }
        const std::optional<Command> c = command(port, error_);
        if (!c)
            return false;
        printed_.clear();
        proc_ = std::make_unique<QProcess>();
        proc_->setProcessChannelMode(QProcess::MergedChannels);
        if (!c->environment.isEmpty())
            proc_->setProcessEnvironment(c->environment);
        proc_->start(program, c->args);
        if (!proc_->waitForStarted(int(qMax<qint64>(deadline.remainingTime(), 1)))) {
            error_ = QStringLiteral("cannot run %1: %2").arg(program, proc_->errorString());
            proc_.reset();
            return false;
        }
        if (wait_accepting(*proc_, QHostAddress::LocalHost, port, int(qMax<qint64>(deadline.remainingTime(), 1)))) {
            port_ = port;
            return true;
        }
        const QString said = output();
        const bool ended = !running();
        exitCode_ = ended ? proc_->exitCode() : 0;
        stop();
        if (portTaken(said))
            continue;  // someone took the port between the probe and the bind
        error_ = ended ? QStringLiteral("%1 ended with status %2: %3").arg(name).arg(exitCode_).arg(said.trimmed())
                       : QStringLiteral("%1 did not start on port %2: %3").arg(name).arg(port).arg(said.trimmed());
        return false;
    }
    if (error_.isEmpty())
        error_ = QStringLiteral("%1 did not accept connections in time: %2").arg(name, output().trimmed());
    return false;
}

void ServerProcess::stop()
{
    if (!proc_)
        return;
    output();
    // A server's sessions are processes of their own that end with it or
    // with their client: the window goes before the server.
    end_process(*proc_);
    printed_ += QString::fromLocal8Bit(proc_->readAll());
    proc_.reset();
    port_ = 0;
}
