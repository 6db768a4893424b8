#include "tests/test_support.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QThread>

#include "platform/settings_store.h"

TestEnv::TestEnv()
    : oldHome_(qgetenv("PALU_FTP_HOME")), oldConfig_(qgetenv("XDG_CONFIG_HOME")), oldData_(qgetenv("XDG_DATA_HOME"))
{
    qputenv("PALU_FTP_HOME", home_.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", config_.path().toUtf8());
    qputenv("XDG_DATA_HOME", data_.path().toUtf8());
}

TestEnv::~TestEnv()
{
    settings::flush();
    qputenv("PALU_FTP_HOME", oldHome_);
    qputenv("XDG_CONFIG_HOME", oldConfig_);
    qputenv("XDG_DATA_HOME", oldData_);
}

bool wait_until(const std::function<bool()>& pred, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!pred()) {
        if (deadline.hasExpired())
            return pred();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (!pred())
            QThread::msleep(1); // yield the core to the peer process; not a fixed wait
    }
    return true;
}

void end_process(QProcess& process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(3000);
    }
}
