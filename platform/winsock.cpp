#include "platform/winsock.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QSocketNotifier>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <utility>

#include <cerrno>
#include <unistd.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace {

// How long a closed connection may keep flushing bytes the peer does not
// read before it is cut.
constexpr int kLingerMs = 30000;

// What a connection may hold not yet handed to the system and still count
// as taken. An encrypted one encrypts its queue once per turn of the event
// loop, in records of many blocks; a plain one gathers the blocks sent in
// one turn and hands them over in one write; either way not one system call
// (or record) per block.
constexpr qint64 kQueueTaken = 256 * 1024;

QString dotted(const QHostAddress& a)
{
    if (a.isNull())
        return {};
    bool v4 = false;
    const quint32 ip = a.toIPv4Address(&v4);  // also unwraps ::ffff:a.b.c.d
    return v4 ? QHostAddress(ip).toString() : a.toString();
}

QString dottedLocalAddress(const QTcpSocket* s) { return dotted(s->localAddress()); }

// Writes what the system takes at once without waiting; 0 when it takes
// nothing or fails.
qsizetype send_now(qintptr fd, const QByteArray& bytes)
{
    if (fd < 0)
        return 0;
    ssize_t n;
    do {
        n = ::send(int(fd), bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    return n > 0 ? qsizetype(n) : 0;
}

bool saysThat(const QString& text, const char* english)
{
    return text == QLatin1String(english)
        || text == QCoreApplication::translate("QNativeSocketEngine", english);
}

// Ends an encrypted connection without a reset. A TLS 1.3 server sends
// session tickets after the handshake; closing a socket with bytes unread
// makes the system answer with a reset, and a server reading an upload then
// takes it for broken. A second descriptor keeps the connection open past
// the TLS socket's own close: once that has sent everything (the close
// notice included), the FIN goes out and whatever still arrives is read and
// dropped until the server closes too, within a bound.
class GracefulClose : public QObject {
public:
    static void watch(QSslSocket* s, int boundMs)
    {
        const int fd = ::dup(int(s->socketDescriptor()));
        if (fd < 0)
            return;
        auto* self = new GracefulClose(fd);
        QTimer::singleShot(boundMs, self, [self] { self->deleteLater(); });
        connect(s, &QAbstractSocket::disconnected, self, &GracefulClose::drain);
        connect(s, &QAbstractSocket::errorOccurred, self, [self] { self->deleteLater(); });
    }
    ~GracefulClose() override { ::close(fd_); }

private:
    explicit GracefulClose(int fd) : fd_(fd) {}
    void drain()
    {
        ::shutdown(fd_, SHUT_WR);
        auto* reader = new QSocketNotifier(qintptr(fd_), QSocketNotifier::Read, this);
        connect(reader, &QSocketNotifier::activated, this, [this, reader] {
            char sink[4096];
            ssize_t n;
            while ((n = ::recv(fd_, sink, sizeof sink, MSG_DONTWAIT)) > 0) {
            }
            if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
                reader->setEnabled(false);
                deleteLater();
            }
        });
    }
    const int fd_;
};

// A listener whose connections can be encrypted as TLS clients: each is a
// QSslSocket from the start when `tls` says so at the moment it arrives.
class TlsReadyServer : public QTcpServer {
public:
    TlsReadyServer(QObject* parent, std::function<bool()> tls) : QTcpServer(parent), tls_(std::move(tls)) {}

protected:
    void incomingConnection(qintptr fd) override
    {
        QTcpSocket* s = tls_() ? new QSslSocket(this) : new QTcpSocket(this);
        if (s->setSocketDescriptor(fd))
            addPendingConnection(s);
        else
            delete s;
    }

private:
    std::function<bool()> tls_;
};

} // namespace

Winsock::Winsock(QObject* parent) : QObject(parent) {}

// The sockets are children; QObject cuts their connections to this object
// before it deletes them, so nothing reaches a half-destroyed control.
Winsock::~Winsock() = default;

template <class F>
void Winsock::post(F&& event)
{
    const quint64 generation = generation_;
    QMetaObject::invokeMethod(
        this,
        [this, generation, event = std::forward<F>(event)]() mutable {
            if (generation == generation_)
                event();
        },
        Qt::QueuedConnection);
}

qint64 Winsock::BytesReceived() const
{
    return sock_ ? sock_->bytesAvailable() : 0;
}

void Winsock::Connect()
{
    reset();
    tlsArmed_ = false;
    state_ = sckConnecting;
    // Started from the event loop so Connect() always returns in state 6,
    // whatever the system does with a loopback connect.
    post([this, host = RemoteHost.trimmed(), port = RemotePort] { startConnect(host, port, true); });
}

void Winsock::startConnect(const QString& host, int port, bool preferIPv4)
{
    if (host.isEmpty()) {
        fail(sckHostNotFound, QStringLiteral("接続先のホスト名がありません。"));
        return;
    }
    if (port < 1 || port > 65535) {
        fail(sckAddressNotAvailable, QStringLiteral("ポート番号 %1 には接続できません。").arg(port));
        return;
    }
    QHostAddress literal;
    const bool ipv6Literal = literal.setAddress(host) && literal.protocol() == QAbstractSocket::IPv6Protocol;
    ipv4Only_ = preferIPv4 && !ipv6Literal;
    connectHost_ = host;
    connectPort_ = port;
    sock_ = TlsReady || tlsConfig_ ? new QSslSocket(this) : new QTcpSocket(this);
    wire(sock_);
    sock_->connectToHost(host, quint16(port), QIODevice::ReadWrite,
                         ipv4Only_ ? QAbstractSocket::IPv4Protocol : QAbstractSocket::AnyIPProtocol);
    if (!preferIPv4)
        return;   // the first try's bound covers the retry with any address too
    // One timer, started again for each connection: a data connection is
    // made for every file of a batch.
    if (!connectLimit_) {
        connectLimit_ = new QTimer(this);
        connectLimit_->setSingleShot(true);
        connect(connectLimit_, &QTimer::timeout, this, [this] {
            if (connectGeneration_ != generation_ || state_ != sckConnecting)
                return;
            fail(sckTimedout, QStringLiteral("接続がタイムアウトしました。"));
            if (sock_)
                sock_->abort();
        });
    }
    connectGeneration_ = generation_;
    connectLimit_->start(ConnectWaitMs);
}

bool Winsock::Listen()
{
    reset();
    tlsArmed_ = false;
    if (LocalPort < 0 || LocalPort > 65535) {
        fail(sckAddressNotAvailable, QStringLiteral("ポート番号 %1 では待ち受けできません。").arg(LocalPort));
        return false;
    }
    auto* server = new TlsReadyServer(this, [this] { return bool(tlsConfig_); });
    // Where the address is given, there alone: a port for one address is
    // found at once where one for all must be free on every address. Else
    // both families where the system has both (an IPv6 control connection
    // announces this listener with EPRT), IPv4 alone where it has not.
    const QHostAddress only(LocalBindIP);
    if (!only.isNull() ? !server->listen(only, quint16(LocalPort))
                       : !server->listen(QHostAddress::Any, quint16(LocalPort)) &&
                             !server->listen(QHostAddress::AnyIPv4, quint16(LocalPort))) {
        const QString text = server->errorString();
        const int number = errorNumber(server->serverError(), text);
        delete server;
        fail(number, text);
        return false;
    }
    server_ = server;
    connect(server_, &QTcpServer::newConnection, this, &Winsock::onNewConnection);
    connect(server_, &QTcpServer::acceptError, this, [this](QAbstractSocket::SocketError error) {
        // Out of descriptors and the like: the listener is of no more use.
        if (state_ == sckListening)
            fail(errorNumber(error, server_->errorString()), server_->errorString());
    });
    LocalPort = server_->serverPort();
    state_ = sckListening;
    return true;
}

void Winsock::Accept(int requestID)
{
    QTcpSocket* s = pending_.take(requestID);
    if (!s)
        s = orphans_.take(requestID);
    if (!s) {
        fail(sckBadState, QStringLiteral("受け付ける接続要求 (%1) がありません。").arg(requestID));
        return;
    }
    // The listener is often closed just before the accept: the word that
    // the command went out outlives it.
    const bool armed = std::exchange(tlsArmed_, false);
    reset();
    disposeOrphans();  // one control, one connection: the others are turned away
    sock_ = s;
    wire(s);
    localIP_ = dottedLocalAddress(s);
    state_ = sckConnected;
    // Some servers connect as soon as they are told where (before the data
    // command); their handshake waits for StartPendingTls like a made
    // connection's. Bytes written before it ends wait in the TLS socket.
    if (armed)
        StartPendingTls();
    // It may have sent, or even sent and closed, while it waited.
    if (s->state() != QAbstractSocket::ConnectedState)
        peerClosed();
    else if (s->bytesAvailable() > 0)
        postDataArrival();
}

QString Winsock::RemoteIP() const
{
    return sock_ ? dotted(sock_->peerAddress()) : QString();
}

QString Winsock::PendingRemoteIP(int requestID) const
{
    const QTcpSocket* s = pending_.value(requestID, orphans_.value(requestID, nullptr));
    return s ? dotted(s->peerAddress()) : QString();
}

void Winsock::Refuse(int requestID)
{
    QTcpSocket* s = pending_.take(requestID);
    if (!s)
        s = orphans_.take(requestID);
    if (s) {
        s->abort();
        s->deleteLater();
    }
}

bool Winsock::SendData(const QByteArray& bytes)
{
    if (state_ != sckConnected || !sock_)
        return false;
    const bool plain = !ssl() || ssl()->mode() == QSslSocket::UnencryptedMode;
    sendPending_ = true;
    if (plain && sock_->bytesToWrite() == 0) {
        if (gathered_.isEmpty() && !reportPosted_) {
            // The first send of a turn (a command, a transfer's first block)
            // goes straight to the system.
            const qsizetype sent = bytes.isEmpty() ? 0 : send_now(sock_->socketDescriptor(), bytes);
            if (sent < bytes.size()) {
                const qint64 rest = bytes.size() - sent;
                if (sock_->write(bytes.constData() + sent, rest) != rest)
                    return false;
                sock_->flush();
            }
            // An empty send owes a completion too, or a caller waiting for it hangs.
            onBytesWritten(sent);
            return true;
        }
        // More in the same turn: gathered and handed over in one write when
        // the turn ends, or at once when enough has gathered.
        gathered_ += bytes;
        onBytesWritten(gathered_.size() >= kQueueTaken ? handOverGathered() : 0);
        return true;
    }
    const qsizetype sent = handOverGathered();
    if (sock_->write(bytes) != bytes.size())
        return false;
    if (sent > 0 || bytes.isEmpty())
        onBytesWritten(sent);
    // An encrypted connection is left to encrypt its queue on the next turn.
    if (plain)
        sock_->flush();
    return true;
}

qsizetype Winsock::handOverGathered()
{
    if (gathered_.isEmpty() || !sock_)
        return 0;
    const QByteArray bytes = std::exchange(gathered_, QByteArray());
    const qsizetype sent = sock_->bytesToWrite() == 0 ? send_now(sock_->socketDescriptor(), bytes) : 0;
    if (sent < bytes.size()) {
        sock_->write(bytes.constData() + sent, bytes.size() - sent);
        sock_->flush();
    }
    return sent;
}

void Winsock::Flush()
{
    if (sock_)
        sock_->flush();
}

qint64 Winsock::BytesToSend() const
{
    if (!sock_)
        return 0;
    const qint64 queued = sock_->bytesToWrite() + gathered_.size();
    return queued < kQueueTaken ? 0 : queued;
}

QByteArray Winsock::GetData()
{
    return sock_ ? sock_->readAll() : QByteArray();
}

void Winsock::Close()
{
    handOverGathered();   // what was sent still reaches the peer
    reset();
}

void Winsock::Abort()
{
    if (sock_ && sock_->socketDescriptor() != -1) {
        // A zero linger time turns the close into a reset.
        const linger noLinger{1, 0};
        ::setsockopt(int(sock_->socketDescriptor()), SOL_SOCKET, SO_LINGER, &noLinger, sizeof noLinger);
        sock_->disconnect(this);
        sock_->abort();
        sock_->deleteLater();
        sock_ = nullptr;
    }
    reset();
}

void Winsock::reset()
{
    ++generation_;
    dataPosted_ = false;
    sendPending_ = false;
    reportPosted_ = false;
    unreported_ = 0;
    gathered_.clear();
    ipv4Only_ = false;
    localIP_.clear();
    if (server_) {
        server_->disconnect(this);
        server_->close();
        server_->deleteLater();
        server_ = nullptr;
    }
    if (!pending_.isEmpty()) {
        // The classic handler closes the listener and then accepts: keep what
        // arrived until the event loop turns, then turn it away.
        orphans_.insert(pending_);
        pending_.clear();
        QMetaObject::invokeMethod(this, &Winsock::disposeOrphans, Qt::QueuedConnection);
    }
    if (sock_) {
        release(sock_);
        sock_ = nullptr;
    }
    state_ = sckClosed;
}

void Winsock::wire(QTcpSocket* s)
{
    connect(s, &QTcpSocket::connected, this, [this, s] {
        if (s == sock_)
            onConnected();
    });
    connect(s, &QTcpSocket::readyRead, this, [this, s] {
        if (s == sock_)
            postDataArrival();
    });
    connect(s, &QTcpSocket::disconnected, this, [this, s] {
        if (s == sock_)
            peerClosed();
    });
    connect(s, &QTcpSocket::errorOccurred, this, [this, s](QAbstractSocket::SocketError e) {
        if (s == sock_)
            onSocketError(e);
    });
    connect(s, &QTcpSocket::bytesWritten, this, [this, s](qint64 n) {
        if (s == sock_)
            onBytesWritten(n);
    });
    if (auto* tls = qobject_cast<QSslSocket*>(s))
        connect(tls, &QSslSocket::encrypted, this, [this, s] {
            if (s == sock_)
                onEncrypted();
        });
}

void Winsock::release(QTcpSocket* s)
{
    s->disconnect(this);
    if (s->state() != QAbstractSocket::ConnectedState) {
        s->abort();
        s->deleteLater();
        return;
    }
    // Bytes SendData accepted still go out, followed by the FIN; a peer that
    // never reads them does not keep the socket forever.
    connect(s, &QAbstractSocket::disconnected, s, &QObject::deleteLater);
    connect(s, &QAbstractSocket::errorOccurred, s, &QObject::deleteLater);
    QTimer::singleShot(kLingerMs, s, [s] {
        s->abort();
        s->deleteLater();
    });
    if (auto* tls = qobject_cast<QSslSocket*>(s); tls && tls->isEncrypted())
        GracefulClose::watch(tls, kLingerMs);
    s->disconnectFromHost();  // closes at once when nothing is left to send
}

void Winsock::fail(int number, const QString& description)
{
    state_ = sckError;
    post([this, number, description] { emit Error(number, description); });
}

void Winsock::postDataArrival()
{
    // Nothing received in clear on a connection that is to be encrypted is
    // data; its handshake takes such bytes for a broken one.
    if (dataPosted_ || tlsPending())
        return;  // the waiting event will report these bytes too
    dataPosted_ = true;
    post([this] {
        dataPosted_ = false;
        const qint64 waiting = sock_ ? sock_->bytesAvailable() : 0;
        if (waiting <= 0)
            return;
        const quint64 generation = generation_;
        emit DataArrival(waiting);
        // A receiver that leaves the bytes where they are (to take them at
        // the close) must still learn of the close, which comes after all
        // the bytes: from now on this connection reads ahead without bound.
        if (generation == generation_ && sock_ && sock_->readBufferSize() != 0 &&
            sock_->bytesAvailable() >= sock_->readBufferSize())
            sock_->setReadBufferSize(0);
    });
}

void Winsock::peerClosed()
{
    // Cut before the handshake ended (or began, on a connection that was to
    // be encrypted): a failure, not an empty transfer.
    if (ssl() && !ssl()->isEncrypted() && (tlsConfig_ || ssl()->mode() != QSslSocket::UnencryptedMode) &&
        (state_ == sckConnected || state_ == sckConnecting)) {
        fail(sckConnectionReset, QStringLiteral("TLSの開始中に接続が切れました。"));
        return;
    }
    if (state_ != sckConnected)
        return;
    state_ = sckClosing;
    // Bytes that came before the FIN are announced before the close.
    if (sock_ && sock_->bytesAvailable() > 0)
        postDataArrival();
    post([this] { emit CloseEvent(); });
}

void Winsock::onConnected()
{
    if (state_ != sckConnecting)
        return;
    // A made connection that is to be encrypted waits for StartPendingTls:
    // servers start TLS on it only once the data command has arrived, and
    // some reset a handshake that comes earlier.
    state_ = sckConnected;
    localIP_ = dottedLocalAddress(sock_);
    post([this] { emit ConnectEvent(); });
}

void Winsock::onSocketError(QAbstractSocket::SocketError error)
{
    if (state_ == sckClosing || state_ == sckError)
        return;  // the connection is already over; the first word stands
    if (error == QAbstractSocket::RemoteHostClosedError && state_ == sckConnected) {
        peerClosed();  // an orderly end, not an error
        return;
    }
    if (error == QAbstractSocket::HostNotFoundError && ipv4Only_ && state_ == sckConnecting) {
        // No IPv4 address for the name: try whatever it has.
        ipv4Only_ = false;
        post([this] {
            if (sock_) {
                release(sock_);
                sock_ = nullptr;
            }
            startConnect(connectHost_, connectPort_, false);
        });
        return;
    }
    const QString text = sock_->errorString();
    fail(errorNumber(error, text), text);
}

void Winsock::onBytesWritten(qint64 bytes)
{
    // One posted event reports everything handed over until it runs: a
    // sender of small blocks that the system takes at once gets one
    // progress and one completion per turn of the event loop, not per block.
    unreported_ += bytes;
    if (reportPosted_)
        return;
    reportPosted_ = true;
    post([this] { reportSend(); });
}

void Winsock::reportSend()
{
    reportPosted_ = false;
    unreported_ += handOverGathered();   // the turn is over: what it gathered goes now
    const qint64 bytes = std::exchange(unreported_, 0);
    const quint64 generation = generation_;
    if (bytes > 0)
        emit SendProgress(bytes, sock_ ? sock_->bytesToWrite() : 0);
    // The progress handler may have ended the connection or sent more; the
    // completion waits for the progress of those bytes.
    // A connection still to be encrypted has sent nothing yet, even when
    // there was nothing to send: closing it now would cut its handshake
    // (an empty file's upload), and the server would never confirm it.
    const bool handshakeOwed = tlsConfig_ && ssl() && !ssl()->isEncrypted();
    if (generation == generation_ && !reportPosted_ && sendPending_ && sock_ && sock_->bytesToWrite() == 0 &&
        !handshakeOwed) {
        sendPending_ = false;
        emit SendComplete();
    }
}

void Winsock::onNewConnection()
{
    while (server_ && server_->hasPendingConnections()) {
        QTcpSocket* s = server_->nextPendingConnection();
        if (!s)
            break;
        // Ours now: closing the listener must not take it along.
        s->setParent(this);
        const int id = ++lastRequestId_;
        pending_.insert(id, s);
        post([this, id] {
            if (pending_.contains(id))
                emit ConnectionRequest(id);
        });
    }
}

void Winsock::disposeOrphans()
{
    for (QTcpSocket* s : std::as_const(orphans_)) {
        s->abort();
        s->deleteLater();
    }
    orphans_.clear();
}

bool Winsock::acceptsPeer(const QSslCertificate& expected, const QSslCertificate& shown)
{
    // A certificate that cannot be read proves nothing: refused, as is a
    // data connection that shows no certificate at all.
    return !shown.isNull() && (expected.isNull() || shown == expected);
}

QSslSocket* Winsock::ssl() const { return qobject_cast<QSslSocket*>(sock_); }

void Winsock::startClientTls(QSslSocket* s, const QSslConfiguration& config, const QString& peerName)
{
    s->setSslConfiguration(config);
    // The name the server was asked for by (SNI), also on data connections,
    // whose session must resume the control connection's.
    if (!peerName.isEmpty())
        s->setPeerVerifyName(peerName);
    s->startClientEncryption();
}

bool Winsock::tlsPending() const
{
    return tlsConfig_ && ssl() && ssl()->mode() == QSslSocket::UnencryptedMode;
}

void Winsock::StartPendingTls()
{
    if (state_ == sckConnected && tlsPending())
        startClientTls(ssl(), tlsConfig_(), tlsPeerName_);
    else if (state_ == sckListening)
        tlsArmed_ = true;   // the connection the command brings starts at once
}

void Winsock::StartTls(const QSslConfiguration& config, const QString& peerName)
{
    QSslSocket* s = ssl();
    if (state_ != sckConnected || !s || s->mode() != QSslSocket::UnencryptedMode) {
        fail(sckBadState, QStringLiteral("TLSを開始できる接続がありません。"));
        return;
    }
    // Whatever came in clear is not part of the conversation.
    s->readAll();
    ++generation_;
    dataPosted_ = false;
    reportPosted_ = false;
    sendPending_ = false;
    unreported_ = 0;
    startClientTls(s, config, peerName);
}

void Winsock::SetTlsClient(std::function<QSslConfiguration()> config, const QString& peerName,
                           const QSslCertificate& peer)
{
    tlsConfig_ = std::move(config);
    tlsPeerName_ = peerName;
    tlsPeer_ = peer;
}

bool Winsock::IsEncrypted() const { return ssl() && ssl()->isEncrypted(); }

QSslConfiguration Winsock::TlsState() const
{
    return IsEncrypted() ? ssl()->sslConfiguration() : QSslConfiguration();
}

void Winsock::onEncrypted()
{
    QSslSocket* s = ssl();
    if (tlsConfig_ && !acceptsPeer(tlsPeer_, s->peerCertificate())) {
        fail(sckConnectAborted, QStringLiteral("データー接続の証明書が制御接続の証明書と異なります。"));
        return;
    }
    post([this] { emit Encrypted(); });
    // Bytes decrypted during the handshake are announced now.
    if (s->bytesAvailable() > 0)
        postDataArrival();
    // A send that completed while the handshake ran completes now.
    if (sendPending_ && !reportPosted_) {
        reportPosted_ = true;
        post([this] { reportSend(); });
    }
}

int Winsock::errorNumber(QAbstractSocket::SocketError error, const QString& text)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError: return sckConnectionRefused;
    case QAbstractSocket::RemoteHostClosedError: return sckConnectionReset;
    case QAbstractSocket::HostNotFoundError: return sckHostNotFound;
    case QAbstractSocket::SocketAccessError: return sckAccessDenied;
    case QAbstractSocket::SocketResourceError: return sckNoBufferSpace;
    case QAbstractSocket::SocketTimeoutError: return sckTimedout;
    case QAbstractSocket::DatagramTooLargeError: return sckMsgTooBig;
    case QAbstractSocket::AddressInUseError: return sckAddressInUse;
    case QAbstractSocket::SocketAddressNotAvailableError: return sckAddressNotAvailable;
    case QAbstractSocket::UnsupportedSocketOperationError: return sckOpNotSupported;
    case QAbstractSocket::UnfinishedSocketOperationError: return sckInProgress;
    case QAbstractSocket::TemporaryError: return sckWouldBlock;
    case QAbstractSocket::NetworkError:
        if (saysThat(text, "Connection timed out") || saysThat(text, "Network operation timed out"))
            return sckTimedout;
        if (saysThat(text, "Host unreachable"))
            return sckHostUnreachable;
        if (saysThat(text, "Network unreachable"))
            return sckNetworkUnreachable;
        if (saysThat(text, "The bound address is already in use"))
            return sckAddressInUse;
        if (saysThat(text, "Connection refused"))
            return sckConnectionRefused;
        return sckConnectAborted;
    default:
        return sckConnectAborted;
    }
}
