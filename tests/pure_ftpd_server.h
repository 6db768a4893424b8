// Debian's pure-ftpd on 127.0.0.1 in the foreground, started with a command
// line of its own and one virtual user (pure-pw's database in a temporary
// folder) whose "/" is a fresh temporary tree. It answers a transfer's "226"
// as soon as its data are handed over, often before the client has taken
// them, and lists MLST in FEAT. pure-ftpd needs root (it chroots the user and
// drops to nobody). Stopped, with its sessions, when the object goes.
#pragma once

#include <QString>
#include <QTemporaryDir>
#include <memory>

#include "tests/server_process.h"

class PureFtpdServer {
public:
    PureFtpdServer();
    ~PureFtpdServer();
    PureFtpdServer(const PureFtpdServer&) = delete;
    PureFtpdServer& operator=(const PureFtpdServer&) = delete;

    // Why this machine cannot run it (no pure-ftpd or pure-pw, not root);
    // empty when it can.
    static QString unusableReason();

    // Starts it and waits (at most ms) until it accepts connections. False
    // with errorText() when it cannot.
    bool start(int ms = 20000);
    void stop();
    bool running() const;

    quint16 port() const;
    QString root() const;   // the user's "/", readable and writable by it
    QString user() const { return QStringLiteral("palu"); }
    QString password() const { return QStringLiteral("palu-secret"); }
    QString errorText() const { return error_; }
    QString output() const;   // what it printed so far

private:
    bool makeUser();

    QTemporaryDir work_;
    QString error_;
    ServerProcess process_;
};
