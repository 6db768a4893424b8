#include "tests/fake_ftp_server.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>

#include "tests/test_support.h"

#include <gtest/gtest.h>

#include <sys/socket.h>

namespace {

// Lets a client in this same thread take in what was just written: one pass
// picks the bytes up from the socket, the next delivers the event it posted.
void letPeerRun()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

// Closing with a zero linger time makes the system send a reset.
void reset_now(QTcpSocket* s)
{
    if (!s)
        return;
    const linger off{1, 0};
    if (s->socketDescriptor() >= 0)
        ::setsockopt(int(s->socketDescriptor()), SOL_SOCKET, SO_LINGER, &off, sizeof off);
    s->abort();
}

// Hands out TLS-capable sockets while the server has a certificate.
class ControlListener : public QTcpServer {
public:
    ControlListener(QObject* parent, const QByteArray& cert) : QTcpServer(parent), cert_(cert) {}

protected:
    void incomingConnection(qintptr fd) override
    {
        QTcpSocket* s = cert_.isEmpty() ? new QTcpSocket(this) : new QSslSocket(this);
        if (s->setSocketDescriptor(fd))
            addPendingConnection(s);
        else
            delete s;
    }

private:
    const QByteArray& cert_;
};

} // namespace

FakeFtpServer::FakeFtpServer(QObject* parent) : QObject(parent), server_(new ControlListener(this, tlsCert_))
{
    connect(server_, &QTcpServer::newConnection, this, &FakeFtpServer::onNewConnection);
    server_->listen(QHostAddress::LocalHost, 0);
}

FakeFtpServer::~FakeFtpServer() = default;

quint16 FakeFtpServer::port() const
{
    return server_->isListening() ? server_->serverPort() : 0;
}

void FakeFtpServer::onCommand(const QString& prefix, Action action)
{
    for (Entry& e : script_) {
        if (e.prefix.compare(prefix, Qt::CaseInsensitive) == 0) {
            e.action = std::move(action);
            return;
        }
    }
    script_.append({prefix, std::move(action)});
}

void FakeFtpServer::scriptLogin(const QString& pwd)
{
    auto answer = [](const QByteArray& bytes) {
        return [bytes](FakeFtpServer& s, const QString&) { s.reply(bytes); };
    };
    onCommand(QStringLiteral("USER"), answer("331 Password required.\r\n"));
    onCommand(QStringLiteral("PASS"), answer("230 Logged in.\r\n"));
    onCommand(QStringLiteral("PWD"), answer("257 \"" + pwd.toUtf8() + "\" is current\r\n"));
    onCommand(QStringLiteral("TYPE"), answer("200 Type set.\r\n"));
    onCommand(QStringLiteral("PORT"), answer("200 PORT command successful.\r\n"));
    onCommand(QStringLiteral("CWD"), answer("250 CWD command successful.\r\n"));
    onCommand(QStringLiteral("NOOP"), answer("200 NOOP ok.\r\n"));
    onCommand(QStringLiteral("SYST"), answer("215 UNIX Type: L8\r\n"));
    onCommand(QStringLiteral("QUIT"), [](FakeFtpServer& s, const QString&) {
        s.reply("221 Goodbye.\r\n");
        s.dropControl();
    });
}

void FakeFtpServer::reply(const QByteArray& bytes)
{
    if (!control_ || control_->state() != QAbstractSocket::ConnectedState || bytes.isEmpty())
        return;
    control_->write(bytes);
    control_->flush();
}

void FakeFtpServer::replyLine(const QString& line)
{
    reply(line.toUtf8() + "\r\n");
}

void FakeFtpServer::replyInPieces(const QByteArray& bytes, const QList<int>& sizes)
{
    if (control_ && control_->state() == QAbstractSocket::ConnectedState)
        writePieces(control_, bytes, sizes);
}

void FakeFtpServer::writePieces(QTcpSocket* s, const QByteArray& bytes, const QList<int>& sizes)
{
    QPointer<QTcpSocket> guard(s);
    qsizetype pos = 0;
    for (int size : sizes) {
        if (pos >= bytes.size() || size <= 0)
            continue;
        s->write(bytes.mid(pos, size));
        s->flush();
        pos += size;
        letPeerRun();
        if (!guard)
            return;
    }
    if (pos < bytes.size()) {
        s->write(bytes.mid(pos));
        s->flush();
    }
}

void FakeFtpServer::dropControl()
{
    QTcpSocket* s = control_;
    control_ = nullptr;
    lineBuffer_.clear();
    skippingLongLine_ = false;
    if (!s)
        return;
    s->disconnect(this);
    if (s->state() == QAbstractSocket::UnconnectedState) {
        retire(s);
        return;
    }
    // Replies already written go out before the FIN.
    connect(s, &QAbstractSocket::disconnected, this, [this, s] { retire(s); });
    s->disconnectFromHost();
}

void FakeFtpServer::resetControl()
{
    QTcpSocket* s = control_;
    control_ = nullptr;
    lineBuffer_.clear();
    skippingLongLine_ = false;
    if (!s)
        return;
    s->disconnect(this);
    reset_now(s);
    retire(s);
}

bool FakeFtpServer::controlConnected() const
{
    return control_ && control_->state() == QAbstractSocket::ConnectedState;
}

void FakeFtpServer::clearCommands()
{
    commands_.clear();
    rawCommands_.clear();
}

bool FakeFtpServer::waitForCommandCount(const QString& prefix, int count, int ms)
{
    return wait_until(
        [&] {
            int seen = 0;
            for (const QString& c : std::as_const(commands_))
                if (c.startsWith(prefix, Qt::CaseInsensitive))
                    ++seen;
            return seen >= count;
        },
        ms);
}

void FakeFtpServer::setTlsCertificate(const QByteArray& certPem, const QByteArray& keyPem)
{
    tlsCert_ = certPem;
    tlsKey_ = keyPem;
}

void FakeFtpServer::startTls()
{
    auto* s = qobject_cast<QSslSocket*>(control_.data());
    ASSERT_NE(s, nullptr) << "no certificate was set before the client connected";
    reply("234 AUTH TLS successful\r\n");
    authAccepted_ = true;
    controlWasEncrypted_ = false;
    connect(s, &QSslSocket::encrypted, this, [this, s] {
        if (s == control_)
            controlWasEncrypted_ = true;
    });
    // Plain bytes where the handshake should be are a command sent in clear.
    connect(s, &QSslSocket::errorOccurred, this, [this, s](QAbstractSocket::SocketError e) {
        if (e == QAbstractSocket::SslHandshakeFailedError && !s->isEncrypted())
            clearAfterAuth_ << QStringLiteral("control handshake failed: ") + s->errorString();
    });
    s->setLocalCertificate(QSslCertificate(tlsCert_, QSsl::Pem));
    s->setPrivateKey(QSslKey(tlsKey_, QSsl::Ec, QSsl::Pem));
    s->setPeerVerifyMode(QSslSocket::VerifyNone);
    s->startServerEncryption();
}

bool FakeFtpServer::controlEncrypted() const
{
    auto* s = qobject_cast<QSslSocket*>(control_.data());
    return s && s->isEncrypted();
}

void FakeFtpServer::onNewConnection()
{
    while (server_->hasPendingConnections()) {
        QTcpSocket* s = server_->nextPendingConnection();
        if (!s)
            break;
        // One control connection at a time: a newcomer replaces the old one,
        // as a client reconnecting after a drop would expect.
        if (control_) {
            control_->disconnect(this);
            control_->abort();
            retire(control_);
        }
        control_ = s;
        ++connections_;
        authAccepted_ = false;
        controlWasEncrypted_ = false;
        dataProtected_ = false;
        lineBuffer_.clear();
        skippingLongLine_ = false;
        s->setSocketOption(QAbstractSocket::LowDelayOption, 1);  // pieces leave as pieces
        connect(s, &QTcpSocket::readyRead, this, &FakeFtpServer::readControl);
        reply(greeting_);
    }
}

void FakeFtpServer::readControl()
{
    // An action may pump the event loop; Qt does not announce bytes that
    // arrive meanwhile again, so the outer call keeps reading until dry.
    if (reading_)
        return;
    reading_ = true;
    while (control_) {
        QTcpSocket* s = control_;
        lineBuffer_ += s->readAll();
        if (skippingLongLine_) {
            const qsizetype nl = lineBuffer_.indexOf('\n');
            if (nl < 0) {
                lineBuffer_.clear();
                break;
            }
            lineBuffer_.remove(0, nl + 1);
            skippingLongLine_ = false;
        }
        const qsizetype nl = lineBuffer_.indexOf('\n');
        if (nl < 0) {
            if (lineBuffer_.size() > kMaxLine) {
                // A client that never ends its line must not eat the memory.
                const QByteArray head = lineBuffer_.left(kMaxLine);
                lineBuffer_.clear();
                skippingLongLine_ = true;
                handleLine(head);
                continue;
            }
            break;
        }
        QByteArray raw = lineBuffer_.left(nl);
        lineBuffer_.remove(0, nl + 1);
        if (raw.endsWith('\r'))
            raw.chop(1);
        if (raw.size() > kMaxLine)
            raw.truncate(kMaxLine);
        handleLine(raw);
    }
    reading_ = false;
    // Only now, with no read of theirs on the stack, may they go.
    for (QTcpSocket* s : std::exchange(retired_, {}))
        s->deleteLater();
}

void FakeFtpServer::retire(QTcpSocket* s)
{
    // A test action may drop the connection from inside a reply that pumps
    // the event loop; deleting the socket there would pull it from under
    // the read that is still running on it.
    if (reading_)
        retired_ << s;
    else
        s->deleteLater();
}

void FakeFtpServer::handleLine(const QByteArray& raw)
{
    rawCommands_.append(raw);
    const QString line = QString::fromUtf8(raw);
    commands_.append(line);
    // (Once encrypted, the socket delivers nothing in clear; it reads as
    // unencrypted again once the peer has closed.)
    if (authAccepted_ && !controlWasEncrypted_)
        clearAfterAuth_ << QStringLiteral("command in clear: ") + line;
    if (line.startsWith(QLatin1String("PORT "), Qt::CaseInsensitive))
        parsePort(line);
    if (line.startsWith(QLatin1String("PROT "), Qt::CaseInsensitive))
        dataProtected_ = controlWasEncrypted_ && line.mid(5).trimmed().compare(QLatin1String("P"), Qt::CaseInsensitive) == 0;
    for (qsizetype i = script_.size() - 1; i >= 0; --i) {
        if (line.startsWith(script_.at(i).prefix, Qt::CaseInsensitive)) {
            const Action action = script_.at(i).action;  // it may change the script
            action(*this, line);
            return;
        }
    }
    reply(defaultReply_);
}

void FakeFtpServer::parsePort(const QString& line)
{
    dataHost_.clear();
    dataPort_ = 0;
    const QStringList parts = line.mid(5).trimmed().split(u',');
    if (parts.size() != 6)
        return;
    int n[6];
    for (int i = 0; i < 6; ++i) {
        bool ok = false;
        n[i] = parts.at(i).trimmed().toInt(&ok);
        if (!ok || n[i] < 0 || n[i] > 255)
            return;
    }
    dataHost_ = QStringLiteral("%1.%2.%3.%4").arg(n[0]).arg(n[1]).arg(n[2]).arg(n[3]);
    dataPort_ = quint16(n[4] * 256 + n[5]);
    if (passive_) {
        passive_->deleteLater();
        passive_ = nullptr;
    }
}

void FakeFtpServer::scriptPassive()
{
    onCommand(QStringLiteral("PASV"), [](FakeFtpServer& s, const QString&) { s.openPassive(false); });
    onCommand(QStringLiteral("EPSV"), [](FakeFtpServer& s, const QString&) { s.openPassive(true); });
}

void FakeFtpServer::openPassive(bool extended)
{
    if (passive_)
        passive_->deleteLater();
    passive_ = new ControlListener(this, tlsCert_);
    if (!passive_->listen(QHostAddress::LocalHost, 0)) {
        reply("425 Cannot open passive connection.\r\n");
        return;
    }
    const quint16 p = passive_->serverPort();
    reply(extended ? "229 Entering Extended Passive Mode (|||" + QByteArray::number(p) + "|)\r\n"
                   : "227 Entering Passive Mode (127,0,0,1," + QByteArray::number(p / 256) + "," +
                         QByteArray::number(p % 256) + ").\r\n");
}

bool FakeFtpServer::readyData(QTcpSocket* s, int ms)
{
    auto* tls = qobject_cast<QSslSocket*>(s);
    if (!dataProtected_ || !tls || plainData_) {
        if (authAccepted_)
            clearAfterAuth_ << QStringLiteral("data connection in clear after ") + commands_.value(commands_.size() - 1);
        return true;
    }
    connect(tls, &QSslSocket::errorOccurred, this, [this, tls](QAbstractSocket::SocketError e) {
        if (e == QAbstractSocket::SslHandshakeFailedError && !tls->isEncrypted())
            clearAfterAuth_ << QStringLiteral("data handshake failed: ") + tls->errorString();
    });
    tls->setLocalCertificate(QSslCertificate(tlsCert_, QSsl::Pem));
    tls->setPrivateKey(QSslKey(tlsKey_, QSsl::Ec, QSsl::Pem));
    tls->setPeerVerifyMode(QSslSocket::VerifyNone);
    // A client may end its handshake, send and close within one wait.
    auto encrypted = std::make_shared<bool>(false);
    connect(tls, &QSslSocket::encrypted, this, [encrypted] { *encrypted = true; });
    tls->startServerEncryption();
    QPointer<QSslSocket> guard(tls);
    wait_until([&] { return *encrypted || !guard || guard->state() == QAbstractSocket::UnconnectedState; }, ms);
    return *encrypted;
}

bool FakeFtpServer::connectData(int ms)
{
    if (data_) {
        data_->disconnect(this);
        data_->abort();
        data_->deleteLater();
    }
    received_.clear();
    QTcpSocket* s = nullptr;
    if (passive_) {
        QPointer<QTcpServer> listener(passive_);
        wait_until([&] { return !listener || listener->hasPendingConnections(); }, ms);
        if (!listener || !listener->hasPendingConnections())
            return false;
        s = listener->nextPendingConnection();
        s->setParent(this);
    } else if (dataPort_ == 0) {
        return false;
    }
    const bool accepted = s != nullptr;
    if (!s)
        s = tlsCert_.isEmpty() ? new QTcpSocket(this) : new QSslSocket(this);
    data_ = s;
    s->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    auto take = [this, s] {
        // The client's handshake is not data: it waits for the server's side.
        if (auto* tls = qobject_cast<QSslSocket*>(s);
            tls && dataProtected_ && !plainData_ && tls->mode() == QSslSocket::UnencryptedMode)
            return;
        if (s == data_)
            received_ += s->readAll();
    };
    connect(s, &QTcpSocket::readyRead, this, take);
    connect(s, &QTcpSocket::disconnected, this, take);
    // The client may accept, take its bytes and close before this wait ends:
    // what counts is that the connection was made.
    if (accepted) {
        const bool ready = readyData(s, ms);
        take();   // what came before the connection was taken
        return ready;
    }
    bool made = false;
    const QMetaObject::Connection flag = connect(s, &QTcpSocket::connected, this, [&made] { made = true; });
    QPointer<QTcpSocket> guard(s);
    s->connectToHost(dataHost_, dataPort_);
    wait_until([&] { return made || !guard || guard->state() == QAbstractSocket::UnconnectedState; }, ms);
    disconnect(flag);
    return made && guard && readyData(s, ms);
}

void FakeFtpServer::sendData(const QByteArray& bytes, bool closeAfter)
{
    sendDataInPieces(bytes, {}, closeAfter);
}

void FakeFtpServer::sendDataInPieces(const QByteArray& bytes, const QList<int>& sizes, bool closeAfter)
{
    if (!data_ || data_->state() != QAbstractSocket::ConnectedState)
        return;
    writePieces(data_, bytes, sizes);
    if (closeAfter)
        closeData();
}

bool FakeFtpServer::waitDataClosed(int ms)
{
    const bool closed = wait_until(
        [&] { return !data_ || data_->state() == QAbstractSocket::UnconnectedState; }, ms);
    if (data_)
        received_ += data_->readAll();
    return closed;
}

void FakeFtpServer::closeData()
{
    if (data_)
        data_->disconnectFromHost();
}

void FakeFtpServer::abortData()
{
    if (data_)
        data_->abort();
}

void FakeFtpServer::resetData()
{
    reset_now(data_);
}

void FakeFtpServer::streamControl(std::function<QByteArray()> next)
{
    if (control_ && control_->state() == QAbstractSocket::ConnectedState)
        startStream(control_, std::move(next), false);
}

void FakeFtpServer::streamData(std::function<QByteArray()> next, bool closeAfter)
{
    if (data_ && data_->state() == QAbstractSocket::ConnectedState)
        startStream(data_, std::move(next), closeAfter);
}

void FakeFtpServer::startStream(QTcpSocket* s, std::function<QByteArray()> next, bool closeAfter)
{
    streams_.append({s, std::move(next), closeAfter});
    connect(s, &QTcpSocket::bytesWritten, this, &FakeFtpServer::pumpStreams, Qt::UniqueConnection);
    pumpStreams();
}

void FakeFtpServer::pumpStreams()
{
    // A few pieces stay queued so the socket never runs dry between events.
    constexpr qint64 queued = 4 << 20;
    for (qsizetype i = 0; i < streams_.size();) {
        Stream& st = streams_[i];
        bool done = !st.socket || st.socket->state() != QAbstractSocket::ConnectedState;
        while (!done && st.socket->bytesToWrite() < queued) {
            const QByteArray piece = st.next();
            if (piece.isEmpty()) {
                done = true;
                if (st.closeAfter)
                    st.socket->disconnectFromHost();
                break;
            }
            st.socket->write(piece);
            streamed_ += piece.size();
        }
        if (done)
            streams_.removeAt(i);
        else
            ++i;
    }
}
