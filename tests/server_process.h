// A server program run by a test on a free port of 127.0.0.1: started with
// the command line made for the port, tried again on another port when the
// one probed was taken meanwhile, awaited until it accepts connections, and
// stopped (with its sessions) when the object goes.
#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

class QProcess;
class QTemporaryDir;

// Before a start: the machine can run the server (unusable is empty) and its
// working folder exists; else false with error saying why.
bool can_start(const QString& unusable, const QTemporaryDir& work, QString& error);

class ServerProcess {
public:
    struct Command {
        QStringList args;
        QProcessEnvironment environment;   // empty: the test's own
    };
    ServerProcess();
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // command(port) gives the arguments, or nothing after setting error
    // (then start fails with it); portTaken(printed) tells a bind that lost
    // the port. False with error() when it cannot start within ms.
    bool start(const QString& program, const std::function<std::optional<Command>(quint16 port, QString& error)>& command,
               const std::function<bool(const QString& printed)>& portTaken, int ms);
    void stop();
    bool running() const;
    quint16 port() const { return port_; }
    QString error() const { return error_; }
    QString output() const;   // what it printed so far
    int exitCode() const { return exitCode_; }   // after it ended on its own

private:
    std::unique_ptr<QProcess> proc_;
    quint16 port_ = 0;
    int exitCode_ = 0;
    QString error_;
    mutable QString printed_;
};
