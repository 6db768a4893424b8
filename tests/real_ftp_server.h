// A real FTP server (Debian's python3-pyftpdlib) on 127.0.0.1 with a fresh
// temporary root, for end-to-end tests. Stopped when the object goes.
#pragma once

#include <QHostAddress>
#include <QString>
#include <QTemporaryDir>
#include <memory>

class QProcess;
struct TestCertificate;

// Shared by the test servers. A port nobody holds right now on address;
// another process may still take it before the server binds. And a bounded
// wait until the server run by proc accepts connections on that port (false
// when it does not in ms, or when the process ends).
quint16 free_tcp_port(const QHostAddress& address);
bool wait_accepting(QProcess& proc, const QHostAddress& address, quint16 port, int ms);

class RealFtpServer {
public:
    explicit RealFtpServer(const QString& user = QStringLiteral("palu"),
                           const QString& password = QStringLiteral("palu-secret"));
    ~RealFtpServer();
    RealFtpServer(const RealFtpServer&) = delete;
    RealFtpServer& operator=(const RealFtpServer&) = delete;

    // Starts the server and waits (at most ms) until it accepts connections.
    // False with errorText() when it cannot run (no interpreter, no module).
    bool start(int ms = 20000);
    void stop();
    bool running() const;

    quint16 port() const { return port_; }
    QString root() const { return root_.path(); }
    QString user() const { return user_; }
    QString password() const { return password_; }
    QString errorText() const { return error_; }
    // Everything the server logged so far (its command log), for messages.
    QString output() const;

    // The interpreter to run; Debian's by default, since another python3
    // earlier on PATH may lack the module.
    void setInterpreter(const QString& path) { python_ = path; }
    // Where it listens ("127.0.0.1" unless set; "::1" for IPv6).
    void setAddress(const QString& address) { address_ = address; }
    // Answers PORT and EPRT with "500", as servers that allow only passive
    // mode do.
    void setRefuseActive(bool on) { refuseActive_ = on; }
    // Explicit TLS with this certificate (pyftpdlib's TLS handler, which
    // needs Debian's python3-openssl): log-in and every data connection
    // must be encrypted.
    void setTls(const TestCertificate& certificate);
    // Keeps names as the bytes the client sends and the disk holds, as a
    // server on a disk of Shift_JIS or EUC-JP names does; FEAT without UTF8.
    void setRawNames(bool on) { rawNames_ = on; }

private:
    void drainOutput() const;

    QString python_ = QStringLiteral("/usr/bin/python3");
    QString address_ = QStringLiteral("127.0.0.1");
    bool refuseActive_ = false;
    bool rawNames_ = false;
    QString certPath_, keyPath_;
    QString user_, password_, error_;
    QTemporaryDir root_;
    std::unique_ptr<QProcess> proc_;
    quint16 port_ = 0;
    mutable QString log_;
};
