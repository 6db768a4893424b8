// Takes the README's picture of the main window: started as `make demo`
// starts the program (its local server and entry ready), it connects to the
// entry, waits for the server's folder to be listed, and saves the window,
// frame included, as a PNG.
//   demo/screenshot.sh <build dir> <file.png>
#include <QApplication>
#include <QDeadlineTimer>
#include <QPixmap>
#include <QScreen>
#include <cstdio>

#include "app/form1.h"
#include "platform/app_clock.h"
#include "platform/list_view.h"
#include "platform/screen_units.h"
#include "servers/server_list_dialog.h"

namespace {
// Runs the event loop until done() or the bound has passed.
bool settle(const std::function<bool()>& done, int ms)
{
    QDeadlineTimer bound(ms);
    while (!done() && !bound.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return done();
}
} // namespace

int main(int argc, char** argv)
{
    app_clock::pin_time_zone();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("PALU_FTP"));
    QApplication::setFont(gothic_font(9));
    const QString out = qEnvironmentVariable("PALU_SCREENSHOT", QStringLiteral("main_window.png"));
    const QString entry = qEnvironmentVariable("PALU_DEMO_ENTRY", QStringLiteral("デモサーバー"));

    form1 window;
    window.Form_Load();
    window.show();
    Form4::接続サーバー = entry;
    window.Connect_server(true);
    if (!settle([&] { return window.ListView1->count() > 0 && !window.busy(); }, 15000)) {
        std::fprintf(stderr, "screenshot: the server's folder was not listed\n");
        return 1;
    }
    // Half a second for the window manager's frame and the last paint.
    settle([] { return false; }, 500);
    QScreen* screen = window.screen();
    const QPixmap shot = screen->grabWindow(0, window.frameGeometry().x(), window.frameGeometry().y(),
                                            window.frameGeometry().width(), window.frameGeometry().height());
    if (shot.isNull() || !shot.save(out, "PNG")) {
        std::fprintf(stderr, "screenshot: could not save %s\n", qPrintable(out));
        return 1;
    }
    std::printf("screenshot: %s\n", qPrintable(out));
    return 0;
}
