// The reply dispatcher: every complete reply of the server decides, by its
// code and the mode variables, which command goes next.
#include <QLabel>

#include "app/form1.h"
#include "app/log_pane.h"
#include "ftp/reply_texts.h"
#include "platform/click_label.h"
#include "platform/mouse_pointer.h"
#include "platform/prompts.h"
#include "platform/settings_store.h"
#include "platform/winsock.h"

void form1::wireControlSocket()
{
    QObject::connect(Winsock1, &Winsock::ConnectEvent, this, &form1::Winsock1_Connect);
    QObject::connect(Winsock1, &Winsock::DataArrival, this, &form1::Winsock1_DataArrival);
    QObject::connect(Winsock1, &Winsock::CloseEvent, this, &form1::Winsock1_Close);
    QObject::connect(Winsock1, &Winsock::Error, this, &form1::Winsock1_Error);
}

namespace {
// A reply starts with three digits followed by a space, a hyphen (a
// multi-line reply) or the line end.
bool has_reply_code(const QString& reply)
{
    const auto digit = [&](int i) { return reply.at(i) >= u'0' && reply.at(i) <= u'9'; };
    return reply.size() >= 4 && digit(0) && digit(1) && digit(2) &&
           (reply.at(3) == u' ' || reply.at(3) == u'-' || reply.at(3) == u'\r');
}

} // namespace

void form1::Winsock1_DataArrival(qint64)
{
    const ReplyFramer::Result r = replyFramer_.feed(Winsock1->GetData());
    Text1->appendAtEnd(r.text);
    // Told once the cut text has ended, so the note is not buried under the
    // rest of it in the log.
    if (r.cut > 0)
        cutNotePending_ = true;
    if (cutNotePending_ && !replyFramer_.skippingLine()) {
        cutNotePending_ = false;
        Newtext = QStringLiteral("(ｻｰﾊﾞｰからの応答が64KBを超えたため、超えた部分を読み捨てました。)\r\n");
        Text_plus();
    }
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
    // Text that is not a reply decides nothing; it is shown in the log and
    // noted once until the server answers properly again.
    if (!has_reply_code(reply)) {
        if (!noCodeNoted_) {
            noCodeNoted_ = true;
            Newtext = QStringLiteral("(応答コードのない行を受信しました。無視します。)\r\n");
            Text_plus();
        }
        return;
    }
    noCodeNoted_ = false;
    const QString code = reply.left(3);
    const bool final = !code.startsWith(u'1');
    // While RETR runs only its end can come: anything else answers nothing
    // that was asked (a "200" would send RETR again) and is passed over.
    if (final && retrOutstanding() && code != QStringLiteral("226") && code != QStringLiteral("250") &&
        !code.startsWith(u'4') && !code.startsWith(u'5'))
        return;
    // Each final reply answers one command; one that nothing was waiting for
    // decides nothing (except "421": the server may close at any time), so
    // no run of stray replies can make the program send or show anything.
    if (final) {
        if (awaitingReplies_ > 0) {
            --awaitingReplies_;
            unaskedNoted_ = false;
        } else if (code != QStringLiteral("421")) {
            if (!unaskedNoted_) {
                unaskedNoted_ = true;
                Newtext = QStringLiteral("(要求していない応答を受信しました。無視します。)\r\n");
                Text_plus();
            }
            return;
        }
    }
    if (downloadReply(code, reply))
        return;
    // While STOR is under way another "200" must not send it again.
    if (code == QStringLiteral("200") && ループ回数 == 5 && storSent_)
        return;
    // The reply to MKD names the new folder, not the current one.
    const bool answersMkd = mkdPending_ && !code.startsWith(u'1');
    if (answersMkd)
        mkdPending_ = false;
    const bool answersPwd = pwdPending_ && !code.startsWith(u'1');
    if (answersPwd)
        pwdPending_ = false;
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
        // LIST, RETR or STOR has gone out: the server is to connect now.
        const bool dataCommand = 送信文字列.startsWith(QStringLiteral("LIST")) ||
                                 送信文字列.startsWith(QStringLiteral("RETR ")) ||
                                 送信文字列.startsWith(QStringLiteral("STOR "));
        if (dataCommand && Winsock2->State() != Winsock::sckConnected)
            waitFor(TransferWait::DataConnection, dataConnectionWaitMs);
    } else if (code == QStringLiteral("250")) {
        if (del_Count != 0)
            Dele_next();
        else
            Send_pwd();
    } else if (code == QStringLiteral("501")) {
        reply501();
    } else if (code == QStringLiteral("221")) {
        const QString unfinished = unfinishedTransfer();
        abandonTransfer();
        if (!unfinished.isEmpty()) {
            Newtext = unfinished + QStringLiteral("\r\n");
            Text_plus();
        }
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
        // The server calls the transfer done: it will not connect any more.
        if (transferWait_ == TransferWait::DataConnection)
            stopWaiting();
        reply226();
    } else if (code == QStringLiteral("550")) {
        サーバーパス = Server_Kyu;
        mouse_pointer::set(mouse_pointer::Default);
        prompts::Msg_box(QStringLiteral("アクセスできませんでした。権限がないのかもしれません。"),
                         QStringLiteral("アクセスエラー"), prompts::vbInformation);
        // Whatever was refused (a file, a folder, a text view) ends here.
        abandonTransfer();
        // Asking for the folder again is how the list comes back, unless it
        // was that question which was refused: asking again would only be
        // refused again, without end.
        if (answersPwd) {
            Newtext = QStringLiteral("サーバーが現在のフォルダーを教えないため、一覧を更新できませんでした。\r\n");
            Text_plus();
        } else {
            Send_pwd();
        }
    } else if (code.startsWith(u'1')) {
        // STOR sent after the same-name question is only armed here.
        if (ループ回数 == 5 && storSent_ && Winsock2->State() != Winsock::sckConnected &&
            transferWait_ == TransferWait::None)
            waitFor(TransferWait::DataConnection, dataConnectionWaitMs);
        uploadMayStart();
    } else if (code == QStringLiteral("421")) {
        // Whatever was under way is over; the data listener must not take
        // what still arrives for it as the next listing.
        const QString unfinished = unfinishedTransfer();
        abandonTransfer();
        if (!unfinished.isEmpty()) {
            Newtext = unfinished + QStringLiteral("\r\n");
            Text_plus();
        }
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

QString form1::unfinishedTransfer() const
{
    if ((ループ回数 == 2 || ループ回数 == 3) && Y_Count == 0 && !Down_File.isEmpty())
        return QStringLiteral("「") + Down_File + QStringLiteral("」のダウンロードは完了しませんでした。");
    if (ループ回数 == 4 || ループ回数 == 5 || Gcount == 1) {
        // Before STOR the file's name is still only in the batch list.
        const bool named = storSent_ || Douitu != 0 || Gcount != 0;
        const QString name = named ? Up_File : settings::get(QStringLiteral("FILE_SENTAKU"), QString::number(Up_Count));
        return QStringLiteral("「") + name + QStringLiteral("」のアップロードは完了しませんでした。");
    }
    if (Gcount == 3)
        return QStringLiteral("「") + Up_File + QStringLiteral("」のアップロードが完了したかどうか確認できませんでした。");
    return QString();
}

void form1::controlLost(const QString& message)
{
    // The transfer under way, if any, cannot end properly: nothing half done
    // is kept and the user is told which file it was.
    const QString unfinished = unfinishedTransfer();
    abandonTransfer();
    Winsock1->Close();
    Winsock2->Close();
    replyQueue_.clear();
    Show_disconnected();
    Newtext = QStringLiteral("ｻｰﾊﾞｰから切断しました。\r\n");
    Text_plus();
    if (!unfinished.isEmpty()) {
        Newtext = unfinished + QStringLiteral("\r\n");
        Text_plus();
    }
    if (!message.isEmpty())
        prompts::Msg_box(unfinished.isEmpty() ? message : message + u'\n' + unfinished, QStringLiteral("エラー"),
                         prompts::vbCritical);
    else if (!unfinished.isEmpty())
        prompts::Msg_box(QStringLiteral("ｻｰﾊﾞｰとの接続が切れました。\n") + unfinished, QStringLiteral("転送エラー"),
                         prompts::vbExclamation);
}

void form1::Winsock1_Close()
{
    controlLost(QString());
}

void form1::Winsock1_Error(int, const QString&)
{
    // An established connection that fails is over just as if it had been
    // closed; a connection attempt that fails leaves nothing to clean up.
    if (controlShown_) {
        controlLost(QStringLiteral("接続エラーが発生しました。"));
        return;
    }
    prompts::Msg_box(QStringLiteral("接続エラーが発生しました。"), QStringLiteral("エラー"), prompts::vbCritical);
}
