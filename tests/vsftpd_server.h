// Debian's vsftpd on 127.0.0.1 in the foreground with a generated
// configuration, as strict about TLS as it gets: anonymous log-in only after
// AUTH TLS, every data connection encrypted and resuming the control
// connection's TLS session (require_ssl_reuse), active and passive mode.
// vsftpd needs root: it changes to the ftp user, wants the top of its tree
// owned by root and read-only, and takes uploads in pub/ (owned by ftp).
// Stopped, with its sessions, when the object goes.
#pragma once

#include <QString>
#include <QTemporaryDir>
#include <memory>

#include "tests/server_process.h"
struct TestCertificate;

class VsftpdServer {
public:
    VsftpdServer();
    ~VsftpdServer();
    VsftpdServer(const VsftpdServer&) = delete;
    VsftpdServer& operator=(const VsftpdServer&) = delete;

    // Why this machine cannot run it (no vsftpd, not root, no ftp user);
    // empty when it can.
    static QString unusableReason();

    // The certificate and key it presents; without one it runs without TLS.
    void setCertificate(const TestCertificate& certificate);
    // Caps the protocol at TLS 1.2, where a data connection resumes the
    // session differently than under TLS 1.3. vsftpd 3.0.3 has no option for
    // it, so the cap goes through OpenSSL's configuration of the process.
    void setMaxTls12(bool on) { maxTls12_ = on; }

    // Starts it and waits (at most ms) until it accepts connections. False
    // with errorText() when it cannot.
    bool start(int ms = 20000);
    void stop();
    bool running() const;

    quint16 port() const;
    QString root() const;   // the anonymous user's "/": read-only
    QString pub() const;    // "/pub": files to fetch (readable by others) and uploads
    QString user() const { return QStringLiteral("anonymous"); }
    QString password() const { return QStringLiteral("palu@example.jp"); }
    QString errorText() const { return error_; }
    // What it printed and logged so far: commands, replies, and for each
    // TLS connection its protocol and whether the session was reused.
    QString output() const;

private:
    bool prepareTree();
    bool writeConfig(quint16 port);

    QTemporaryDir work_;
    QString certPath_, keyPath_, error_;
    bool maxTls12_ = false;
    ServerProcess process_;
};
