// The socket control the program talks through: the classic properties,
// operations, state numbers and events, on top of QTcpSocket/QTcpServer.
//
// Every event is posted to the event loop and delivered later, never from
// inside Qt's own socket signals: handlers open modal dialogs (nested event
// loops), and Qt does not re-emit readyRead while one of its signals is still
// on the stack. Events of a connection that was closed (or replaced by a new
// Connect/Listen/Accept) are dropped.
#pragma once

#include <QAbstractSocket>
#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QString>
#include <functional>

class QSslSocket;
class QTcpServer;
class QTcpSocket;

class Winsock : public QObject {
    Q_OBJECT
public:
    enum StateNo {
        sckClosed = 0,
        sckOpen = 1,
        sckListening = 2,
        sckConnecting = 6,
        sckConnected = 7,
        sckClosing = 8,  // the peer closed; stays until Close()
        sckError = 9,
    };

    // Error numbers of the socket layer (the classic numbering).
    enum ErrorNo {
        sckAccessDenied = 10013,
        sckWouldBlock = 10035,
        sckInProgress = 10036,
        sckMsgTooBig = 10040,
        sckOpNotSupported = 10045,
        sckAddressInUse = 10048,
        sckAddressNotAvailable = 10049,
        sckNetworkUnreachable = 10051,
        sckConnectAborted = 10053,
        sckConnectionReset = 10054,
        sckNoBufferSpace = 10055,
        sckTimedout = 10060,
        sckConnectionRefused = 10061,
        sckHostUnreachable = 10065,
        sckHostNotFound = 11001,
        sckBadState = 40006,
    };

    explicit Winsock(QObject* parent = nullptr);
    ~Winsock() override;

    QString RemoteHost;
    int RemotePort = 0;
    int LocalPort = 0;  // 0: the system chooses; after Listen() the port in use
    // The address Listen() takes connections on; empty: every address.
    QString LocalBindIP;
    // Connections this control makes can be encrypted later with StartTls
    // (the control connection); others are plain TCP sockets unless
    // SetTlsClient asks for TLS.
    bool TlsReady = false;
    // A connect attempt that has neither succeeded nor failed by then fails
    // as timed out (sckTimedout), instead of waiting for the system's minutes.
    int ConnectWaitMs = 30000;

    int State() const { return state_; }
    // Dotted decimal of the local end of the connection ("" without one).
    QString LocalIP() const { return localIP_; }
    QString RemoteIP() const;                       // dotted address of the connected peer
    QString PendingRemoteIP(int requestID) const;   // peer of a connection not yet accepted
    void Refuse(int requestID);                     // drop a waiting connection; listening goes on
    // Bytes received and not yet taken with GetData().
    qint64 BytesReceived() const;

    // Connects to RemoteHost:RemotePort, IPv4 first (a PORT command can only
    // name an IPv4 address). Ends in ConnectEvent or Error.
    void Connect();
    // Listens on every IPv4 address at LocalPort. False (and an Error event)
    // when the port cannot be had.
    bool Listen();
    // Makes the connection announced by ConnectionRequest(requestID) this
    // control's connection; works after Close() of the listener, as the
    // classic handler does. Other waiting connections are dropped.
    void Accept(int requestID);
    // Queues bytes for sending; false unless connected. Bytes the system
    // takes at once are sent when this returns (BytesToSend() is then 0).
    bool SendData(const QByteArray& bytes);
    // Hands what SendData queued to the system now (an encrypted connection
    // otherwise encrypts its queue on the next turn of the event loop).
    void Flush();
    // Bytes SendData accepted that the system has not taken yet (on an
    // encrypted connection, 0 while its queue is short: it is encrypted
    // and handed over on the next turn of the event loop).
    qint64 BytesToSend() const;
    // Every byte received so far.
    QByteArray GetData();
    // Ends the connection and/or the listener. Bytes already queued by
    // SendData still reach the peer before the connection ends.
    void Close();
    // Ends the connection with a reset: the peer sees a failed transfer,
    // not a short one that ended normally.
    void Abort();

    // ---- TLS (the control always acts as the TLS client) ----
    // Starts the handshake on the established connection; Encrypted or
    // Error follows. Bytes received before it are dropped: nothing sent in
    // clear may pass for part of the encrypted conversation.
    void StartTls(const QSslConfiguration& config, const QString& peerName);
    // Every connection made or accepted from now on is encrypted; the
    // handshake starts with StartPendingTls (at once for a connection
    // accepted after it); received bytes are announced once decrypted, bytes
    // sent before the handshake ends wait for it. A connection cut before the handshake ends is an
    // error, never an orderly close. config() is asked for
    // each connection (it carries the session to resume); a peer that shows
    // no readable certificate, or another than `peer` (when given), is an error. An empty
    // config function turns this off.
    void SetTlsClient(std::function<QSslConfiguration()> config, const QString& peerName,
                      const QSslCertificate& peer);
    // Whether a TLS client connection that showed `shown` may carry data:
    // it must show a readable certificate, and `expected` when one is given.
    static bool acceptsPeer(const QSslCertificate& expected, const QSslCertificate& shown);
    // The command a data connection serves has gone out: its handshake
    // starts now, or, while listening, as soon as the connection arrives.
    void StartPendingTls();
    bool IsEncrypted() const;
    // The connection's TLS state: negotiated protocol, cipher, peer chain and
    // the session to resume. Null configuration without a connection.
    QSslConfiguration TlsState() const;

    // Classic error number for a Qt socket error; Qt reports several system
    // errors as NetworkError, told apart only by the text.
    static int errorNumber(QAbstractSocket::SocketError error, const QString& text);

signals:
    void ConnectEvent();
    void DataArrival(qint64 bytesTotal);
    void CloseEvent();
    void Error(int number, const QString& description);
    void ConnectionRequest(int requestID);
    // Bytes handed to the system since the last SendProgress: one event for
    // all that went out between two turns of the event loop. SendComplete
    // follows the last SendProgress once nothing is left to send.
    void SendProgress(qint64 bytesSent, qint64 bytesRemaining);
    void SendComplete();
    // The TLS handshake has ended and the connection is encrypted.
    void Encrypted();

private:
    template <class F>
    void post(F&& event);
    void reset();
    void startConnect(const QString& host, int port, bool preferIPv4);
    void wire(QTcpSocket* s);
    void release(QTcpSocket* s);
    void fail(int number, const QString& description);
    void postDataArrival();
    void peerClosed();
    void onConnected();
    void onSocketError(QAbstractSocket::SocketError error);
    void onBytesWritten(qint64 bytes);
    void reportSend();
    void onNewConnection();
    void disposeOrphans();
    void startClientTls(QSslSocket* s, const QSslConfiguration& config, const QString& peerName);
    void onEncrypted();
    QSslSocket* ssl() const;
    bool tlsPending() const;   // to be encrypted, handshake not started

    QTcpSocket* sock_ = nullptr;
    QTcpServer* server_ = nullptr;
    QMap<int, QTcpSocket*> pending_;  // arrived on the listener, not accepted yet
    QMap<int, QTcpSocket*> orphans_;  // their listener was closed; Accept may still take one
    int state_ = sckClosed;
    quint64 generation_ = 0;  // bumped whenever the connection changes
    class QTimer* connectLimit_ = nullptr;  // bounds a connection attempt
    quint64 connectGeneration_ = 0;         // the connection it bounds
    int lastRequestId_ = 0;
    bool dataPosted_ = false;   // a DataArrival is waiting in the event queue
    bool sendPending_ = false;  // SendComplete owed once the write buffer drains
    bool reportPosted_ = false; // a SendProgress for unreported_ waits in the event queue
    qint64 unreported_ = 0;     // bytes handed to the system since the last SendProgress
    QByteArray gathered_;       // plain blocks sent in this turn, handed over together
    qsizetype handOverGathered();   // to the system (the rest to the socket's queue); what it took
    bool ipv4Only_ = false;     // the running connect attempt is restricted to IPv4
    QString connectHost_;       // what the running connect attempt asked for
    int connectPort_ = 0;
    QString localIP_;
    std::function<QSslConfiguration()> tlsConfig_;   // set: new connections are encrypted
    QString tlsPeerName_;
    QSslCertificate tlsPeer_;
    bool tlsArmed_ = false;    // StartPendingTls came while listening
};
