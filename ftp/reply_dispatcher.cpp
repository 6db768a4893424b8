// The reply dispatcher: every complete reply of the server decides, by its
// code and the mode variables, which command goes next.
#include <QLabel>

#include "app/form1.h"
#include "app/log_pane.h"
#include "ftp/reply_texts.h"
#include "platform/click_label.h"
#include "platform/mouse_pointer.h"
#include "platform/prompts.h"
#include "platform/winsock.h"

void form1::wireControlSocket()
{
    QObject::connect(Winsock1, &Winsock::ConnectEvent, this, &form1::Winsock1_Connect);
    QObject::connect(Winsock1, &Winsock::DataArrival, this, &form1::Winsock1_DataArrival);
    QObject::connect(Winsock1, &Winsock::CloseEvent, this, &form1::Winsock1_Close);
    QObject::connect(Winsock1, &Winsock::Error, this, &form1::Winsock1_Error);
}

void form1::Winsock1_DataArrival(qint64)
{
    const ReplyFramer::Result r = replyFramer_.feed(Winsock1->GetData());
    Text1->appendAtEnd(r.text);
    replyQueue_.append(r.replies);
    // A reply that opens a modal box runs a nested event loop; replies that
    // arrive meanwhile wait here so they are handled in order, after it.
    if (dispatching_)
        return;
    dispatching_ = true;
    while (!replyQueue_.isEmpty())
        dispatchReply(replyQueue_.takeFirst());
    dispatching_ = false;
}

void form1::dispatchReply(const QString& reply)
{
    const QString code = reply.left(3);
    // The reply to MKD names the new folder, not the current one.
    const bool answersMkd = mkdPending_ && !code.startsWith(u'1');
    if (answersMkd)
        mkdPending_ = false;
    if (code == QStringLiteral("220")) {
        Send_user();
    } else if (code == QStringLiteral("331")) {
        S_count = 1;
        Send_pass();
    } else if (code == QStringLiteral("230")) {
        if (S_count != 1)
            return;
        S_count = 0;
        if (Wcount == -1) {
            sendLine(QStringLiteral("CWD ") + サーバーパス);
            Wcount = 0;
            Ucount = -1;
        } else {
            Send_pwd();
        }
    } else if (code == QStringLiteral("257") && answersMkd) {
        Send_pwd();
    } else if (code == QStringLiteral("257")) {
        if (Ucount == -1)
            Ucount = 0;
        if (const auto path = path_of_257(reply)) {
            サーバーパス = *path;
            Label1->setText(QStringLiteral("ｻｰﾊﾞｰﾊﾟｽ:") + *path);
            Server_Kyu = *path;
        }
        Send_type();
    } else if (code == QStringLiteral("200")) {
        Data_step();
    } else if (code == QStringLiteral("250")) {
        if (del_Count != 0)
            Dele_next();
        else
            Send_pwd();
    } else if (code == QStringLiteral("501")) {
        reply501();
    } else if (code == QStringLiteral("221")) {
        Show_disconnected();
        Winsock1->Close();
        Winsock2->Close();
        replyQueue_.clear();
        Newtext = QStringLiteral("サーバー") + ホスト名 + QStringLiteral("から切断しました。");
        Text_plus();
    } else if (code == QStringLiteral("350")) {
        Rename_ready();
    } else if (code == QStringLiteral("530")) {
        prompts::Msg_box(QStringLiteral("ｻｰﾊﾞｰから認証されませんでした。"), QStringLiteral("認証エラー"),
                         prompts::vbInformation);
        Send_quit();
    } else if (code == QStringLiteral("226")) {
        reply226();
    } else if (code == QStringLiteral("550")) {
        サーバーパス = Server_Kyu;
        mouse_pointer::set(mouse_pointer::Default);
        prompts::Msg_box(QStringLiteral("アクセスできませんでした。権限がないのかもしれません。"),
                         QStringLiteral("アクセスエラー"), prompts::vbInformation);
        // Whatever was refused (a file, a folder, a text view) ends here.
        abandonTransfer();
        Send_pwd();
    } else if (code.startsWith(u'1')) {
        uploadMayStart();
    } else if (code == QStringLiteral("421")) {
        if (リトライ回数 > 0) {
            Start_retry_countdown();
        } else {
            Newtext = QStringLiteral("サーバーから切断されました。\r\n");
            Text_plus();
            Clear_transfer();
        }
    } else if (code.startsWith(u'4') || code.startsWith(u'5')) {
        // Any other refusal (425, 450, 451, 452, 553 ...) ends the running
        // step; otherwise a later "200" or "250" would resume it out of
        // place, say a delete batch in another folder.
        abandonTransfer();
    }
}

void form1::reply501()
{
    Down_Count = 0;
    Up_Count = 0;
    ループ回数 = 0;
    Gcount = 0;
    rCount = 0;
    if (Ucount == -1) {
        Ucount = 0;
        Newtext = QStringLiteral("設定されたｻｰﾊﾞｰﾊﾟｽにアクセスできません\r\n");
        Text_plus();
        Send_pwd();
    }
    if (Y_Count == -1) {
        Y_Count = 0;
        Clear_transfer();
        return;
    }
    Send_pwd();
}

void form1::reply226()
{
    if (Gcount == 0)
        return;   // listings, downloads and text views end with their data connection
    Gcount = 0;
    ループ回数 = 0;
    Winsock2->Close();
    Winsock2->LocalPort = 0;
    Winsock2->Listen();
    if (Up_Count == 0)
        Send_pwd();
    else
        Up_select();
}

void form1::Winsock1_Close()
{
    Show_disconnected();
    Newtext = QStringLiteral("ｻｰﾊﾞｰから切断しました。\r\n");
    Text_plus();
}

void form1::Winsock1_Error(int, const QString&)
{
    prompts::Msg_box(QStringLiteral("接続エラーが発生しました。"), QStringLiteral("エラー"), prompts::vbCritical);
}
