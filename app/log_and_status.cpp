// The log pane, the command sender that feeds it, and the connected and
// disconnected display states.
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include "app/form1.h"
#include "ftp/data_commands.h"
#include "app/log_pane.h"
#include "platform/click_label.h"
#include "platform/codepage.h"
#include "platform/list_view.h"
#include "platform/outside_text.h"
#include "platform/prompts.h"
#include "platform/winsock.h"
#include "servers/server_list_dialog.h"

namespace {
const QColor ActiveColor(255, 255, 128);
const QColor InactiveColor(255, 255, 255);
constexpr int LogKeep = 2000;

// The command word only: a refused line may carry a password.
QString command_word(const QString& line)
{
    QString word = line.section(u' ', 0, 0);
    word.remove(u'\r');
    word.remove(u'\n');
    return word.left(16);
}
} // namespace

void form1::Send_command()
{
    const QString line = 送信文字列;
    const bool raw = std::exchange(rawCommand_, false);
    // A command that cannot go out leaves its operation nothing to wait for.
    const auto notSent = [this] {
        if (busy())
            endOperation();
    };
    if (Winsock1->State() == Winsock::sckClosed) {
        notSent();
        return;
    }
    if (Winsock1->State() != Winsock::sckConnected) {
        prompts::Msg_box(QStringLiteral("ｻｰﾊﾞｰとの接続が確立していないため、コマンド「") +
                             command_word(line) + QStringLiteral("」を送信できませんでした。"),
                         QStringLiteral("送信エラー"), prompts::vbExclamation);
        notSent();
        return;
    }
    // A CR or LF inside the line would let a name smuggle in a second command.
    const QStringView body = QStringView(line).chopped(line.endsWith(QStringLiteral("\r\n")) ? 2 : 0);
    if (body.contains(u'\r') || body.contains(u'\n') || !line.endsWith(QStringLiteral("\r\n"))) {
        prompts::Msg_box(QStringLiteral("改行文字を含むため、コマンド「") + command_word(line) +
                             QStringLiteral("」を送信しませんでした。\n名前に改行が含まれていないか確認してください。"),
                         QStringLiteral("送信エラー"), prompts::vbExclamation);
        notSent();
        return;
    }
    // Never a '?' in place of a character the server's code page lacks: the
    // command would name another file.
    const QByteArray cp = wireCodepage();
    if (!codepage::encodable(line, cp)) {
        prompts::Msg_box(QStringLiteral("サーバーの文字コードで表せない文字を含むため、コマンド「") + command_word(line) +
                             QStringLiteral("」を送信しませんでした。"),
                         QStringLiteral("送信エラー"), prompts::vbExclamation);
        notSent();
        return;
    }
    // After AUTH nothing goes out in clear: such a command ends the connection.
    if (refusedInClear(command_word(line).toUpper()))
        return;
    if (!Winsock1->SendData(codepage::from_text(line, cp))) {
        prompts::Msg_box(QStringLiteral("コマンド「") + command_word(line) +
                             QStringLiteral("」を送信できませんでした。"),
                         QStringLiteral("送信エラー"), prompts::vbExclamation);
        notSent();
        return;
    }
    const QString verb = command_word(line).toUpper();
    sentCommands_.append({verb, operationId_, raw});
    // A passive data connection's handshake follows its command, which must
    // be on its way first: servers reset a handshake that comes earlier.
    if (is_data_command(verb)) {
        Winsock1->Flush();
        Winsock2->StartPendingTls();
        if (!raw)
            dataCommandSent(verb);
    }
    if (Text1->text().size() > LogKeep)
        Text1->setText(Text1->text().right(LogKeep));
    // The password never shows on screen; its length does not either.
    Text1->appendAtEnd(verb == QStringLiteral("PASS") ? QStringLiteral(">PASS ********\r\n")
                                                     : QStringLiteral(">") + line);
}

void form1::Text_plus() { Text1->appendAtEnd(Newtext); }

void form1::setStatusText(const QString& text) { outside_text::set(StatusPanel1, text); }
QString form1::statusText() const { return StatusPanel1->text(); }

void form1::markActiveLabel(bool remoteActive)
{
    Label1->setBackColor(remoteActive ? ActiveColor : InactiveColor);
    Label4->setBackColor(remoteActive ? InactiveColor : ActiveColor);
}

void form1::Show_connected()
{
    controlShown_ = true;
    // A new connection owes its greeting and nothing else.
    sentCommands_ = {SentCommand{QString(), operationId_, false}};
    unaskedNoted_ = false;
    for (int i : {5, 6, 8, 3})
        toolbarButton(i)->setEnabled(true);
    Combo1->addItem(ホスト名);
    Combo1->setEditText(ホスト名);
    mlist[1]->setEnabled(true);
    ListView1->setEnabled(true);
    Mupload->setEnabled(true);
    MDOWN->setEnabled(true);
    setStatusText(QStringLiteral("ｻｰﾊﾞｰ　") + Winsock1->RemoteHost + QStringLiteral("に接続"));
    outside_text::set_title(this, QStringLiteral(" Palu_FTP   '") + ホスト名 + QStringLiteral("'"));
    showEncryption();
    updateCommandAvailability();
}

void form1::Show_disconnected()
{
    controlShown_ = false;
    showEncryption();
    setStatusText(QStringLiteral("Palu_FTP"));
    Select_view = 0;
    outside_text::set(Label1, QStringLiteral("未接続"));
    markActiveLabel(false);
    ListView1->setEnabled(false);
    mlist[1]->setEnabled(false);
    Mupload->setEnabled(false);
    MDOWN->setEnabled(false);
    Y_Count = 0;
    Down_Count = 0;
    Up_Count = 0;
    ループ回数 = 0;
    del_Count = 0;
    CDUP->setEnabled(false);
    Combo1->clear();
    ListView1->clear();
    setWindowTitle(QStringLiteral("Palu_FTP   未接続"));
    for (int i : {5, 6, 8, 3})
        toolbarButton(i)->setEnabled(false);
    Gcount = 0;
    rCount = 0;
    Form4::接続サーバー.clear();
    sentCommands_.clear();
    updateCommandAvailability();
}
