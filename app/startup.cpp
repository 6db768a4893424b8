// Start-up of the main window.
#include "app/startup.h"

#include <QApplication>
#include <QFile>
#include <QIcon>
#include <QPointer>
#include <QTimer>
#include <QWindow>

#include "app/form1.h"
#include "app/splash_window.h"
#include "platform/app_clock.h"
#include "platform/errors.h"
#include "platform/list_view.h"
#include "platform/mouse_pointer.h"
#include "platform/program_folder.h"
#include "platform/prompts.h"
#include "platform/screen_units.h"
#include "platform/settings_store.h"
#include "servers/password_store.h"

namespace {
constexpr double DefaultHeight = 5000;
constexpr double DefaultWidth = 7000;
constexpr int SplashExposeWaitMs = 1000;

// A stored window length, or the default when the text is not a usable size.
double stored_length(const QString& key, double fallback)
{
    bool ok = false;
    const double v = settings::get(QStringLiteral("Form_Size"), key, QString::number(fallback)).trimmed().toDouble(&ok);
    return ok && v >= 1000 && v <= 200000 ? v : fallback;
}

void add_columns(ListView* list, const QStringList& headers, const QList<int>& sixthsOrFifths, int parts)
{
    const double w = list->width();
    for (int i = 0; i < headers.size(); ++i)
        list->addColumn(headers.at(i), int(w * sixthsOrFifths.at(i) / parts));
}
// The event loop does not run yet: the splash is drawn once the window
// system has put it on the screen, waiting a bounded time for that.
void show_and_draw(QWidget* window)
{
    window->show();
    QTimer bound;
    bound.setSingleShot(true);
    bound.start(SplashExposeWaitMs);
    const QWindow* handle = window->windowHandle();
    while (handle && !handle->isExposed() && bound.isActive())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents);
    window->repaint();
}
} // namespace

void form1::Form_Load()
{
    QPointer<form11> splash;
    errors::trap(QStringLiteral("Form_Loadエラー"), [this, &splash] {
        Clear_all();
        mouse_pointer::set(mouse_pointer::Hourglass);
        splash = new form11;
        show_and_draw(splash);
        splash_ = splash;
        closeAllFiles();

        const double height = stored_length(QStringLiteral("Height"), DefaultHeight);
        const double width = stored_length(QStringLiteral("Width"), DefaultWidth);
        setOuterSizeTwips(width, height);

        Show_disconnected();

        const QString list = program_folder::file(QStringLiteral("server.lst"));
        if (!QFile::exists(list)) {
            prompts::Msg_box(QStringLiteral("ようこそ Palu_FTP　へ"), QStringLiteral("ようこそ"),
                             prompts::vbInformation);
            // Without the file the servers cannot be kept, but the window is
            // still of use: say where and why, and finish starting.
            QFile file(list);
            if (!file.open(QIODevice::WriteOnly))
                prompts::Msg_box(QStringLiteral("フォルダー ") + program_folder::path() +
                                     QStringLiteral(" に server.lst を作成できませんでした。\n") + file.errorString(),
                                 QStringLiteral("エラー"), prompts::vbExclamation);
        }

        Layout_controls();

        const QString name = QStringLiteral("ﾌｧｲﾙ名"), size = QStringLiteral("サイズ"),
                      date = QStringLiteral("日付");
        add_columns(ListView2, {name, size, date, QString()}, {2, 1, 2, 0}, 5);
        ListView2->setColumnAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        ListView2->setView(3);
        ListView2->update();

        openLocalStartFolder();

        add_columns(ListView1, {name, size, date, QString(), QStringLiteral("属性")}, {2, 1, 2, 0, 1}, 6);
        ListView1->setColumnAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        ListView1->setView(3);
        ListView1->update();
    });
    // Whatever happened above, the start-up is over.
    mouse_pointer::set(mouse_pointer::Default);
    if (splash)
        splash->close();
}

int palu_main(int argc, char** argv)
{
    app_clock::pin_time_zone();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("PALU_FTP"));
    QApplication::setFont(gothic_font(9));
    // The installed menu entry and icon belong to this window.
    QGuiApplication::setDesktopFileName(QStringLiteral("palu_ftp"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("palu_ftp")));
    form1 window;
    errors::set_close_files_hook([&window] { window.closeAllFiles(); });
    window.Form_Load();
    window.show();
    // Passwords go to the desktop's keyring when it has one; the log says
    // where they are kept.
    passwords::start_up([&window](const QString& line) {
        window.Newtext = line + QStringLiteral("\r\n");
        window.Text_plus();
    });
    const int rc = QApplication::exec();
    settings::flush();
    return rc;
}
