// The end of the program: the exit command and the window's close request.
#include <QCloseEvent>
#include <QTimer>
#include <memory>

#include "app/form1.h"
#include "platform/errors.h"
#include "platform/prompts.h"
#include "platform/settings_store.h"
#include "platform/winsock.h"
#include "servers/settings_keys.h"

namespace {
// How long the end waits for QUIT to leave before it ends anyway.
constexpr int QuitSendBoundMs = 2000;

// A length as a single-precision decimal, the form the start-up reads back.
QString single_text(double twips) { return QString::number(double(float(twips)), 'g', 7); }

// While connected the user confirms, and the server is told with QUIT.
// False when the user keeps the program running.
bool confirm_end(form1& f, bool& quitSent)
{
    quitSent = false;
    if (f.Winsock1->State() != Winsock::sckConnected)
        return true;
    const bool transferring =
        f.operation_ == form1::Operation::Download || f.operation_ == form1::Operation::Upload;
    f.msg = qint16(prompts::Msg_box(transferring ? QStringLiteral("転送中です。中断して終了しますか？")
                                                 : QStringLiteral("ｻｰﾊﾞｰに接続されています。切断して終了しますか？"),
                                    QStringLiteral("終了確認"), prompts::vbQuestion, prompts::vbOKCancel));
    if (f.msg != prompts::vbOK)
        return false;
    f.Send_quit();
    quitSent = true;
    return true;
}
} // namespace

void form1::Mend_Click()
{
    errors::trap(QStringLiteral("終了クリックエラー"), [this] {
        bool quitSent = false;
        if (!ending_ && confirm_end(*this, quitSent))
            Shutdown_now(quitSent);
    });
}

void form1::Form_QueryUnload(int& Cancel)
{
    errors::trap(QStringLiteral("Form_QueryUnloadエラー"), [this, &Cancel] {
        bool quitSent = false;
        if (ending_)
            return;
        if (!confirm_end(*this, quitSent)) {
            Cancel = 2;
            return;
        }
        Shutdown_now(quitSent);
    });
}

void form1::closeEvent(QCloseEvent* event)
{
    int cancel = 0;
    Form_QueryUnload(cancel);
    // The window is not closed here: either it stays, or the program ends as
    // a whole once QUIT is out (closing the last window would leave the event
    // loop first and lose it).
    event->ignore();
}

void form1::Shutdown_now(bool quitSent)
{
    ending_ = true;
    const double height = outerHeightTwips();
    const double width = outerWidthTwips();
    settings::save(QStringLiteral("Form_Size"), QStringLiteral("Height"), single_text(height));
    settings::save(QStringLiteral("Form_Size"), QStringLiteral("Width"), single_text(width));
    settings::save(keys::Options, keys::LastLocal, Local_Dir);
    // A transfer in progress leaves no file half written by a dead process.
    closeAllFiles();
    settings::flush();
    if (!quitSent) {
        errors::end_program(0);
        return;
    }
    // QUIT is only queued so far; the program ends as soon as it has been
    // handed to the system (its answer is not awaited), or after a bound.
    auto ended = std::make_shared<bool>(false);
    auto finish = [ended] {
        if (*ended)
            return;
        *ended = true;
        errors::end_program(0);
    };
    QObject::connect(Winsock1, &Winsock::SendComplete, this, finish, Qt::SingleShotConnection);
    QTimer::singleShot(QuitSendBoundMs, this, finish);
}
