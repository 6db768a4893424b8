// One start and exit of the program's main window on a real X display with a
// window manager, which puts a frame around it. Prints the stored size the
// start read, how often the splash was painted on the screen, the outer size
// the window has once it is framed, and whether the controls were laid out
// for that size; then ends through the window's
// close request, as the user's click on the frame's close button does.
// Run by run_cycles.sh, which compares the lines of several runs.
#include <QApplication>
#include <QElapsedTimer>
#include <QRect>
#include <QStatusBar>
#include <QTextStream>
#include <QWidget>
#include <QWindow>
#include <cstdio>

#include "app/form1.h"
#include "app/splash_window.h"
#include "platform/list_view.h"
#include "platform/screen_units.h"
#include "platform/settings_store.h"
#include "app/log_pane.h"

namespace {
bool wait_for(const std::function<bool()>& pred, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!pred() && t.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    return pred();
}

void say(const QString& line)
{
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}
} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("PALU_FTP"));
    const QString storedW = settings::get(QStringLiteral("Form_Size"), QStringLiteral("Width"), QStringLiteral("-"));
    const QString storedH = settings::get(QStringLiteral("Form_Size"), QStringLiteral("Height"), QStringLiteral("-"));
    say(QStringLiteral("stored %1 %2").arg(storedW, storedH));
    if (argc > 1 && QByteArray(argv[1]) == "--stored-only")
        return 0;

    // The splash must be painted while it is on the screen, before the
    // start-up closes it.
    struct SplashPaints : QObject {
        int count = 0;
        bool eventFilter(QObject* o, QEvent* e) override
        {
            auto* splash = qobject_cast<form11*>(o);
            if (e->type() == QEvent::Paint && splash && splash->windowHandle() && splash->windowHandle()->isExposed())
                ++count;
            return false;
        }
    } splashPaints;
    app.installEventFilter(&splashPaints);
    form1 w;
    w.Form_Load();
    app.removeEventFilter(&splashPaints);
    say(QStringLiteral("splash painted %1").arg(splashPaints.count));
    w.show();
    const auto framed = [&] { return w.frameGeometry().size() != w.geometry().size(); };
    if (!wait_for(framed, 10000)) {
        say(QStringLiteral("no frame: the window manager did not frame the window"));
        return 2;
    }
    // The size the window should end up with, as the start-up read it.
    bool okW = false, okH = false;
    double wantW = storedW.toDouble(&okW), wantH = storedH.toDouble(&okH);
    if (!okW || !okH) {
        wantW = 7000;
        wantH = 5000;
    }
    const double tpp = screen_units::twips_per_pixel();
    const auto settled = [&] {
        return std::abs(w.outerWidthTwips() - wantW) <= tpp && std::abs(w.outerHeightTwips() - wantH) <= tpp;
    };
    // The window manager answers a resize asynchronously; a window that never
    // reaches the size is reported as it is.
    wait_for(settled, 3000);
    QApplication::processEvents();
    say(QStringLiteral("outer %1 %2").arg(w.outerWidthTwips()).arg(w.outerHeightTwips()));
    say(QStringLiteral("twips_per_pixel %1").arg(tpp));

    // Laying out again must change nothing when the window was laid out for
    // its framed size.
    const QList<QWidget*> controls{w.ListView1, w.ListView2, w.Text1, w.StatusBar1};
    QList<QRect> before;
    for (QWidget* c : controls)
        before.append(c->geometry());
    w.Layout_controls();
    bool fresh = true;
    for (qsizetype i = 0; i < controls.size(); ++i)
        if (controls[i]->geometry() != before[i]) {
            fresh = false;
            const QRect a = before[i], b = controls[i]->geometry();
            say(QStringLiteral("stale %1: %2,%3 %4x%5 -> %6,%7 %8x%9")
                    .arg(QString::fromLatin1(controls[i]->metaObject()->className()))
                    .arg(a.x()).arg(a.y()).arg(a.width()).arg(a.height())
                    .arg(b.x()).arg(b.y()).arg(b.width()).arg(b.height()));
        }
    say(fresh ? QStringLiteral("layout fresh") : QStringLiteral("layout stale"));

    // The close request stores the size and ends the program.
    w.close();
    QApplication::processEvents();
    say(QStringLiteral("still running after the close request"));
    return 3;
}
