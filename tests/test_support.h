// Shared test helpers: a private environment per test and bounded waits.
#pragma once
#include <QTemporaryDir>
#include <QString>
#include <functional>

// Points the program folder and the settings store at fresh temporary
// folders for the lifetime of the object, so tests never see each other's
// files or the user's own.
class TestEnv {
public:
    TestEnv();
    ~TestEnv();
    QString home() const { return home_.path(); }      // program folder
    QString config() const { return config_.path(); }  // XDG_CONFIG_HOME
    QString scratch() const { return scratch_.path(); } // a free folder for local files
    QString data() const { return data_.path(); }      // XDG_DATA_HOME: the Trash is below it

private:
    QTemporaryDir home_, config_, scratch_, data_;
    QByteArray oldHome_, oldConfig_, oldData_;
};

// Pumps the event loop until pred() is true or ms milliseconds have passed.
// Returns the final value of pred().
bool wait_until(const std::function<bool()>& pred, int ms = 5000);

// Ends a server process: asked to stop, killed when it does not within 3 s.
void end_process(class QProcess& process);
