#include "tests/real_ftp_server.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>

#include "tests/test_certificate.h"
#include "tests/test_support.h"

quint16 free_tcp_port(const QHostAddress& address)
{
    QTcpServer probe;
    if (!probe.listen(address, 0))
        return 0;
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

bool wait_accepting(QProcess& proc, const QHostAddress& address, quint16 port, int ms)
{
    QDeadlineTimer deadline(ms);
    const auto running = [&] { return proc.state() == QProcess::Running; };
    while (!deadline.hasExpired()) {
        if (!running())
            return false;
        QTcpSocket probe;
        probe.connectToHost(address, port);
        wait_until([&] { return probe.state() == QAbstractSocket::ConnectedState
                                || probe.state() == QAbstractSocket::UnconnectedState || !running(); },
                   int(qMax<qint64>(deadline.remainingTime(), 1)));
        if (probe.state() == QAbstractSocket::ConnectedState) {
            probe.abort();
            return true;
        }
        // Not listening yet: wait for the server to log its start-up (or
        // die), with a short bound before probing again.
        const qint64 seen = proc.bytesAvailable();
        wait_until([&] { return !running() || proc.bytesAvailable() != seen; }, 100);
    }
    return false;
}

namespace {

// pyftpdlib with a handler that may refuse active mode, may keep names as
// the bytes they are (on a disk whose names are in Shift_JIS or EUC-JP it
// serves them unchanged, and its FEAT does not claim UTF8), and may require
// TLS on both connections (certificate and key given).
const char kHandler[] = R"(import sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.servers import FTPServer
address, port, root, user, password, refuse_active, raw_names, certfile, keyfile = sys.argv[1:10]
if certfile:
    from pyftpdlib.handlers import TLS_FTPHandler as Base
else:
    from pyftpdlib.handlers import FTPHandler as Base
class Handler(Base):
    pass
if certfile:
    Handler.certfile, Handler.keyfile = certfile, keyfile
    Handler.tls_control_required = Handler.tls_data_required = True
if refuse_active == "1":
    Handler.ftp_PORT = lambda self, line: self.respond("500 Illegal PORT command.")
    Handler.ftp_EPRT = lambda self, line: self.respond("500 Illegal EPRT command.")
if raw_names == "1":
    def decode(self, data):
        return data.decode("utf8", "surrogateescape")
    def push(self, s):
        super(Base, self).push(s.encode("utf8", "surrogateescape"))
    def feat(self, line):
        self.push("211-Features supported:\r\n EPRT\r\n EPSV\r\n MDTM\r\n SIZE\r\n")
        self.respond("211 End FEAT.")
    Handler.unicode_errors = "surrogateescape"
    Handler.decode = decode
    Handler.push = push
    Handler.ftp_FEAT = feat
users = DummyAuthorizer()
users.add_user(user, password, root, perm="elradfmwMT")
Handler.authorizer = users
FTPServer((address, int(port)), Handler).serve_forever()
)";

} // namespace

RealFtpServer::RealFtpServer(const QString& user, const QString& password)
    : user_(user), password_(password)
{
}

RealFtpServer::~RealFtpServer()
{
    stop();
}

void RealFtpServer::setTls(const TestCertificate& certificate)
{
    certPath_ = certificate.certPath;
    keyPath_ = certificate.keyPath;
}

bool RealFtpServer::running() const
{
    return proc_ && proc_->state() == QProcess::Running;
}

void RealFtpServer::drainOutput() const
{
    if (proc_)
        log_ += QString::fromLocal8Bit(proc_->readAll());
}

QString RealFtpServer::output() const
{
    drainOutput();
    return log_;
}

bool RealFtpServer::start(int ms)
{
    stop();
    error_.clear();
    if (!QFileInfo(python_).isExecutable()) {
        error_ = QStringLiteral("no Python interpreter at %1 (install python3-pyftpdlib)").arg(python_);
        return false;
    }
    if (!root_.isValid()) {
        error_ = QStringLiteral("cannot create a temporary root folder: %1").arg(root_.errorString());
        return false;
    }
    QDeadlineTimer deadline(ms);
    for (int attempt = 0; attempt < 5 && !deadline.hasExpired(); ++attempt) {
        const quint16 port = free_tcp_port(QHostAddress(address_));
        if (port == 0) {
            error_ = QStringLiteral("no free TCP port on %1").arg(address_);
            return false;
        }
        log_.clear();
        proc_ = std::make_unique<QProcess>();
        proc_->setProcessChannelMode(QProcess::MergedChannels);
        proc_->setWorkingDirectory(root_.path());
        if (!certPath_.isEmpty() || refuseActive_ || rawNames_)
            proc_->start(python_, {QStringLiteral("-c"), QString::fromLatin1(kHandler), address_, QString::number(port),
                                   root_.path(), user_, password_, QString::number(int(refuseActive_)),
                                   QString::number(int(rawNames_)), certPath_, keyPath_});
        else
            proc_->start(python_, {QStringLiteral("-m"), QStringLiteral("pyftpdlib"), QStringLiteral("-i"), address_,
                                   QStringLiteral("-p"), QString::number(port), QStringLiteral("-w"),
                                   QStringLiteral("-d"), root_.path(), QStringLiteral("-u"), user_,
                                   QStringLiteral("-P"), password_});
        if (!proc_->waitForStarted(int(qMax<qint64>(deadline.remainingTime(), 1)))) {
            error_ = QStringLiteral("cannot run %1: %2").arg(python_, proc_->errorString());
            proc_.reset();
            return false;
        }
        if (wait_accepting(*proc_, QHostAddress(address_), port, int(qMax<qint64>(deadline.remainingTime(), 1)))) {
            port_ = port;
            return true;
        }
        const QString said = output();
        stop();
        if (said.contains(QLatin1String("No module named pyftpdlib"))
            || said.contains(QLatin1String("No module named 'pyftpdlib'"))) {
            error_ = QStringLiteral("%1 has no pyftpdlib module (install python3-pyftpdlib)").arg(python_);
            return false;
        }
        if (said.contains(QLatin1String("TLS_FTPHandler")) || said.contains(QLatin1String("No module named 'OpenSSL'"))) {
            error_ = QStringLiteral("%1 cannot load pyftpdlib's TLS handler (install python3-openssl)").arg(python_);
            return false;
        }
        if (said.contains(QLatin1String("Address already in use")))
            continue;  // someone took the port between the probe and the bind
        error_ = QStringLiteral("pyftpdlib did not start on port %1: %2").arg(port).arg(said.trimmed());
        return false;
    }
    if (error_.isEmpty())
        error_ = QStringLiteral("pyftpdlib did not accept connections in time: %1").arg(output().trimmed());
    return false;
}

void RealFtpServer::stop()
{
    if (!proc_)
        return;
    drainOutput();
    end_process(*proc_);
    drainOutput();
    proc_.reset();
    port_ = 0;
}
