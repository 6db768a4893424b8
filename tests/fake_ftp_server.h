// A scripted FTP server on 127.0.0.1 for protocol tests: it greets, records
// every command line, answers from a script, can split or join replies across
// TCP writes, and connects back to the client for active-mode data.
//
// It runs in the test's own thread: waits pump the event loop with a bound,
// so the client under test keeps running while the server waits.
#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>

class QTcpServer;
class QTcpSocket;

class FakeFtpServer : public QObject {
    Q_OBJECT
public:
    using Action = std::function<void(FakeFtpServer&, const QString& line)>;

    explicit FakeFtpServer(QObject* parent = nullptr);
    ~FakeFtpServer() override;

    quint16 port() const;

    // --- control connection ---
    // Sent as is to every new control connection; empty sends nothing.
    void setGreeting(const QByteArray& bytes) { greeting_ = bytes; }
    // Sent for a command no script entry matches; empty sends nothing.
    void setDefaultReply(const QByteArray& bytes) { defaultReply_ = bytes; }
    // Runs action for each command line that starts with prefix (case
    // insensitive). The latest registration wins when several match; the
    // same prefix again replaces the earlier action.
    void onCommand(const QString& prefix, Action action);
    // Answers USER 331, PASS 230, PWD 257 with pwd, TYPE/PORT/NOOP 200,
    // CWD 250, SYST 215, QUIT 221 (then closes).
    void scriptLogin(const QString& pwd = QStringLiteral("/"));

    void reply(const QByteArray& bytes);     // raw bytes, nothing added
    void replyLine(const QString& line);     // UTF-8 text + CR LF
    // Sends bytes as separate TCP writes of the given sizes (the rest, if
    // any, as a last piece), letting the event loop run between them so the
    // client reads each piece on its own.
    void replyInPieces(const QByteArray& bytes, const QList<int>& sizes);
    // Sends what next() makes, piece after piece, as fast as the client takes
    // it: a piece is asked for only when the socket has little left to send,
    // so a stream of any length costs one piece of memory. next() returns an
    // empty piece at the end. Returns at once; streaming() tells whether it
    // is still going.
    void streamControl(std::function<QByteArray()> next);
    bool streaming() const { return !streams_.isEmpty(); }
    qint64 streamed() const { return streamed_; }   // bytes handed to the sockets so far
    void dropControl();                      // closes the control connection
    void resetControl();                     // cuts it with a reset (RST), not an orderly close
    bool controlConnected() const;
    int connectionCount() const { return connections_; }  // control connections accepted so far

    // Command lines received (without CR LF), decoded as UTF-8; raw bytes too.
    QStringList commands() const { return commands_; }
    QList<QByteArray> rawCommands() const { return rawCommands_; }
    void clearCommands();
    // Pumps the event loop until count commands starting with prefix have
    // been received (case insensitive), at most ms milliseconds.
    bool waitForCommand(const QString& prefix, int ms = 5000) { return waitForCommandCount(prefix, 1, ms); }
    bool waitForCommandCount(const QString& prefix, int count, int ms = 5000);

    // --- TLS on the control connection ---
    // Control connections accepted from now on can be encrypted with this
    // certificate and key (PEM).
    void setTlsCertificate(const QByteArray& certPem, const QByteArray& keyPem);
    // Answers "234" and starts the server side of the handshake.
    void startTls();
    bool controlEncrypted() const;

    // Lines received in clear after "234", and data connections in clear (or
    // that failed their handshake) on a control connection that accepted AUTH.
    QStringList clearAfterAuth() const { return clearAfterAuth_; }

    // --- data connection ---
    // Address of the last PORT command; port 0 when none was parsed.
    QString dataHost() const { return dataHost_; }
    quint16 dataPort() const { return dataPort_; }
    // Answers PASV with "227" and EPSV with "229", each naming a new listener
    // of the server's own; until the next PORT, connectData() takes the
    // client's connection there.
    void scriptPassive();
    // Makes the data connection for the next transfer: connects to the
    // client's listener named by the last PORT command, or takes the
    // client's connection to the passive listener; after "PROT P" on an
    // encrypted control connection it is encrypted too (as the TLS server).
    // Waits (bounded) until it is ready.
    bool connectData(int ms = 5000);
    // A broken server: data connections stay in clear whatever PROT said.
    void setPlainData(bool plain) { plainData_ = plain; }
    // Queues bytes on the data connection, then closes it gracefully (after
    // the bytes) unless told not to.
    void sendData(const QByteArray& bytes, bool closeAfter = true);
    void sendDataInPieces(const QByteArray& bytes, const QList<int>& sizes, bool closeAfter = true);
    // The data connection's counterpart of streamControl.
    void streamData(std::function<QByteArray()> next, bool closeAfter = true);
    // Everything the client sent over the current data connection.
    QByteArray receivedData() const { return received_; }
    // Waits until the data connection is closed (either side) and every byte
    // it carried has been read.
    bool waitDataClosed(int ms = 5000);
    void closeData();   // graceful: queued bytes go first
    void abortData();   // reset at once
    void resetData();   // cut with a reset (RST) even when nothing is left unread

    // Lines longer than this are cut to this length (the rest is skipped).
    static constexpr int kMaxLine = 64 * 1024;

private:
    void onNewConnection();
    void readControl();
    void retire(QTcpSocket* s);   // deleted once no read runs on it
    void handleLine(const QByteArray& raw);
    void parsePort(const QString& line);
    void openPassive(bool extended);
    bool readyData(QTcpSocket* s, int ms);   // encrypted when it is to be
    void writePieces(QTcpSocket* s, const QByteArray& bytes, const QList<int>& sizes);
    struct Stream {
        QPointer<QTcpSocket> socket;
        std::function<QByteArray()> next;
        bool closeAfter = false;
    };
    void startStream(QTcpSocket* s, std::function<QByteArray()> next, bool closeAfter);
    void pumpStreams();

    struct Entry {
        QString prefix;
        Action action;
    };

    QTcpServer* server_ = nullptr;
    QByteArray tlsCert_, tlsKey_;
    QPointer<QTcpSocket> control_;
    QPointer<QTcpSocket> data_;
    QByteArray greeting_ = "220 fake ready\r\n";
    QByteArray defaultReply_ = "502 Command not implemented.\r\n";
    QList<Entry> script_;
    QStringList commands_;
    QList<QByteArray> rawCommands_;
    QByteArray lineBuffer_;
    bool skippingLongLine_ = false;
    QList<QTcpSocket*> retired_;
    bool reading_ = false;  // readControl is on the stack (an action may pump events)
    int connections_ = 0;
    QString dataHost_;
    quint16 dataPort_ = 0;
    QTcpServer* passive_ = nullptr;   // set: the next data connection is the client's
    bool authAccepted_ = false;       // "234" sent on this control connection
    bool controlWasEncrypted_ = false; // and its handshake ended
    bool dataProtected_ = false;      // "PROT P" on it while encrypted
    bool plainData_ = false;
    QStringList clearAfterAuth_;
    QByteArray received_;
    QList<Stream> streams_;
    qint64 streamed_ = 0;
};
