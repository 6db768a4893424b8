// The reply dispatcher: every complete reply of the server decides, by its
// code and the mode variables, which command goes next.
#include <QHash>
#include <QLabel>

#include "app/form1.h"
#include "ftp/data_commands.h"
#include "fileops/remote_delete.h"
#include "app/log_pane.h"
#include "ftp/connect_failure.h"
#include "ftp/reply_texts.h"
#include "platform/click_label.h"
#include "platform/mouse_pointer.h"
#include "platform/outside_text.h"
#include "platform/prompts.h"
#include "platform/settings_store.h"
#include "platform/winsock.h"
#include "transfer/folder_batch.h"

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

// Whether a final reply can be the answer to a command: a refusal answers
// anything, a success only the commands that end with it. ("" is the
// greeting; a word not listed here was typed by the user and takes any.)
bool reply_answers(const QString& verb, const QString& code)
{
    if (code.startsWith(u'4') || code.startsWith(u'5'))
        return true;
    static const QHash<QString, QStringList> successes{
        {QString(), {QStringLiteral("220")}},
        {QStringLiteral("USER"), {QStringLiteral("230"), QStringLiteral("331"), QStringLiteral("332")}},
        {QStringLiteral("PASS"), {QStringLiteral("230"), QStringLiteral("202"), QStringLiteral("332")}},
        {QStringLiteral("CWD"), {QStringLiteral("250"), QStringLiteral("200")}},
        {QStringLiteral("CDUP"), {QStringLiteral("250"), QStringLiteral("200")}},
        {QStringLiteral("PWD"), {QStringLiteral("257")}},
        {QStringLiteral("MKD"), {QStringLiteral("257"), QStringLiteral("250")}},
        {QStringLiteral("TYPE"), {QStringLiteral("200")}},
        {QStringLiteral("PORT"), {QStringLiteral("200")}},
        {QStringLiteral("EPRT"), {QStringLiteral("200")}},
        {QStringLiteral("PASV"), {QStringLiteral("227")}},
        {QStringLiteral("EPSV"), {QStringLiteral("229")}},
        {QStringLiteral("LIST"), {QStringLiteral("226"), QStringLiteral("250")}},
        {QStringLiteral("MLSD"), {QStringLiteral("226"), QStringLiteral("250")}},
        {QStringLiteral("RETR"), {QStringLiteral("226"), QStringLiteral("250")}},
        {QStringLiteral("STOR"), {QStringLiteral("226"), QStringLiteral("250")}},
        {QStringLiteral("APPE"), {QStringLiteral("226"), QStringLiteral("250")}},
        {QStringLiteral("REST"), {QStringLiteral("350")}},
        {QStringLiteral("MDTM"), {QStringLiteral("213")}},
        {QStringLiteral("MFMT"), {QStringLiteral("213")}},
        {QStringLiteral("SIZE"), {QStringLiteral("213")}},
        {QStringLiteral("DELE"), {QStringLiteral("250"), QStringLiteral("200")}},
        {QStringLiteral("RNFR"), {QStringLiteral("350")}},
        {QStringLiteral("RNTO"), {QStringLiteral("250"), QStringLiteral("200")}},
        {QStringLiteral("QUIT"), {QStringLiteral("221")}},
        {QStringLiteral("ABOR"), {QStringLiteral("225"), QStringLiteral("226")}},
        {QStringLiteral("AUTH"), {QStringLiteral("234")}},
        {QStringLiteral("PBSZ"), {QStringLiteral("200")}},
        {QStringLiteral("PROT"), {QStringLiteral("200")}},
        {QStringLiteral("FEAT"), {QStringLiteral("211")}},
        {QStringLiteral("OPTS"), {QStringLiteral("200")}},
    };
    const auto it = successes.constFind(verb);
    return it == successes.constEnd() || it->contains(code);
}

// A reply that can answer only one kind of command, and a later command of
// that kind waits for it: its position, else -1. Any other reply that does
// not fit the oldest command is a stray.
qsizetype resync_point(const QList<form1::SentCommand>& owed, const QString& code)
{
    static const QStringList unique{QStringLiteral("257"), QStringLiteral("225"), QStringLiteral("331"),
                                    QStringLiteral("350"), QStringLiteral("221")};
    if (!unique.contains(code))
        return -1;
    for (qsizetype i = 1; i < owed.size(); ++i)
        if (reply_answers(owed.at(i).verb, code) && !owed.at(i).raw && owed.at(i).verb != QString())
            return QStringList{QStringLiteral("PWD"), QStringLiteral("MKD"), QStringLiteral("ABOR"),
                               QStringLiteral("USER"), QStringLiteral("RNFR"), QStringLiteral("QUIT")}
                           .contains(owed.at(i).verb)
                       ? i
                       : -1;
    return -1;
}

// Which owed command a final reply answers: the oldest one it can answer,
// passing over only commands of ended operations (their answer may never
// come); or, for a reply that only one kind of command gets, a later
// command of that kind. -1: the reply answers nothing that was asked.
qsizetype answered_index(const QList<form1::SentCommand>& owed, const QString& code, quint64 current)
{
    for (qsizetype i = 0; i < owed.size(); ++i) {
        if (reply_answers(owed.at(i).verb, code))
            return i;
        if (owed.at(i).operation == current)
            break;
    }
    return resync_point(owed, code);
}

} // namespace

void form1::Winsock1_DataArrival(qint64)
{
    const ReplyFramer::Result r = replyFramer_.feed(controlBytes(Winsock1->GetData()));
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
    settleOperation();
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
    // Each final reply answers the oldest command still owed one; a reply
    // that cannot answer it is a stray and decides nothing, so no run of
    // stray replies can shift the answers that follow ("421" and "221" end
    // the connection whenever they come).
    const bool closing = code == QStringLiteral("421") || code == QStringLiteral("221");
    SentCommand answered;
    if (!final) {
        if (!sentCommands_.isEmpty())
            answered = sentCommands_.first();
        else
            answered.operation = ~quint64(0);
    } else if (const qsizetype at = answered_index(sentCommands_, code, operationId_); at >= 0) {
        // The server answers in order: commands before it will never be
        // answered (a transfer the server dropped without a word when it was
        // aborted, or one whose end it never confirmed).
        sentCommands_.remove(0, at);
        answered = sentCommands_.takeFirst();
        unaskedNoted_ = false;
    } else if (!closing) {
        if (!unaskedNoted_) {
            unaskedNoted_ = true;
            Newtext = QStringLiteral("(要求していない応答を受信しました。無視します。)\r\n");
            Text_plus();
        }
        return;
    }
    // The answer to a command of an operation that has ended since (a
    // transfer stopped by 中断 or by an error), or to a line typed in the raw
    // command window, is only logged: it must not move the operation that
    // runs now. A typed CWD still brings the new folder's listing.
    if (!closing) {
        if (answered.operation != operationId_)
            return;
        if (answered.raw) {
            if (code == QStringLiteral("250") && !busy())
                Send_pwd();
            return;
        }
    }
    if (final && tlsReply(answered.verb, code, reply))
        return;
    if (final && sessionReply(answered.verb, code, reply))
        return;
    if (final && fallBackToPassive(answered.verb, code))
        return;
    if (final && mlsdRefused(answered.verb, code))
        return;
    if (final && tree_delete::take_reply(*this, answered.verb, code, reply))
        return;
    if (final && folder_batch::take_reply(*this, answered.verb, code, reply))
        return;
    if (code == QStringLiteral("227") || code == QStringLiteral("229")) {
        passiveReply(code, reply);
        return;
    }
    if ((answered.verb == QStringLiteral("PASV") || answered.verb == QStringLiteral("EPSV")) &&
        (code.startsWith(u'4') || code.startsWith(u'5')) && code != QStringLiteral("421")) {
        passiveRefused(answered.verb);
        return;
    }
    if (downloadReply(code, reply))
        return;
    // While STOR is under way another "200" must not send it again.
    if (code == QStringLiteral("200") && ループ回数 == 5 && storSent_)
        return;
    // The reply to MKD names the new folder, not the current one.
    const bool answersMkd = final && answered.verb == QStringLiteral("MKD");
    const bool answersPwd = final && answered.verb == QStringLiteral("PWD");
    if (final && (code == QStringLiteral("226") || code == QStringLiteral("250")) && is_data_command(answered.verb)) {
        // The server calls the transfer done; its data may still be to come
        // (servers that answer at once, before their connection or its
        // bytes): the transfer ends once both are in.
        if (answered.verb == QStringLiteral("STOR") || answered.verb == QStringLiteral("APPE"))
            reply226();
        else if (transferEnd_.dataEnded)
            finishListingData();
        return;
    }
    if (code == QStringLiteral("220")) {
        Send_greeting_answer();
    } else if (code == QStringLiteral("331")) {
        S_count = 1;
        Send_pass();
    } else if (code == QStringLiteral("230")) {
        if (S_count != 1)
            return;
        S_count = 0;
        startSession();
    } else if (code == QStringLiteral("257") && answersMkd) {
        Send_pwd();
    } else if (code == QStringLiteral("257")) {
        if (Ucount == -1)
            Ucount = 0;
        if (const auto path = path_of_257(reply)) {
            サーバーパス = *path;
            outside_text::set(Label1, QStringLiteral("ｻｰﾊﾞｰﾊﾟｽ:") + *path);
            Server_Kyu = *path;
        }
        Send_type();
    } else if (code == QStringLiteral("200")) {
        Data_step();
        // LIST, RETR or STOR has gone out: the server is to connect now.
        const bool dataCommand = is_data_command(送信文字列.section(u' ', 0, 0).trimmed());
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
        endOperation();
        if (!unfinished.isEmpty()) {
            Newtext = unfinished + QStringLiteral("\r\n");
            Text_plus();
        }
        Show_disconnected();
        Winsock1->Close();
        Winsock2->Close();
        replyQueue_.clear();
        Newtext = QStringLiteral("サーバー") + ホスト名 + QStringLiteral("から切断しました。\r\n");
        Text_plus();
    } else if (code == QStringLiteral("350")) {
        Rename_ready();
    } else if (code == QStringLiteral("530")) {
        prompts::Msg_box(QStringLiteral("ｻｰﾊﾞｰから認証されませんでした。"), QStringLiteral("認証エラー"),
                         prompts::vbInformation);
        Send_quit();
    } else if (code == QStringLiteral("550")) {
        サーバーパス = Server_Kyu;
        mouse_pointer::set(mouse_pointer::Default);
        prompts::Msg_box(QStringLiteral("アクセスできませんでした。権限がないのかもしれません。"),
                         QStringLiteral("アクセスエラー"), prompts::vbInformation);
        // Whatever was refused (a file, a folder, a text view) ends here.
        endOperation();
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
        endOperation();
        if (!unfinished.isEmpty()) {
            Newtext = unfinished + QStringLiteral("\r\n");
            Text_plus();
        }
        // Only a registered entry is tried again, and only the one that was refused.
        if (リトライ回数 > 0 && !connectedEntry_.isEmpty()) {
            Start_retry_countdown();
        } else {
            Newtext = QStringLiteral("サーバーから切断されました。\r\n");
            Text_plus();
            Clear_transfer();
        }
    } else if (code.startsWith(u'4') || code.startsWith(u'5')) {
        // Any other refusal (425, 450, 451, 452, 553 ...) ends the running
        // step; otherwise a later "200" or "250" would resume it out of
        // place, say a delete batch in another folder. A transfer says
        // which file did not make it and what the server answered.
        if (operation_ == Operation::Upload)
            failUpload(QStringLiteral("ｻｰﾊﾞｰの応答: ") + first_line(reply));
        else if (operation_ == Operation::Download && !Down_File.isEmpty())
            failDownload(QStringLiteral("ｻｰﾊﾞｰの応答: ") + first_line(reply));
        else
            endOperation();
    }
}

void form1::reply501()
{
    const bool textView = Y_Count == -1;
    endOperation();
    rCount = 0;
    if (Ucount == -1) {
        // One question for the folder is enough: a second PWD would start a
        // second listing across the first.
        Ucount = 0;
        Newtext = QStringLiteral("設定されたｻｰﾊﾞｰﾊﾟｽにアクセスできません\r\n");
        Text_plus();
    } else if (textView) {
        return;
    }
    Send_pwd();
}

void form1::reply226()
{
    if (Gcount != 3) {
        // Confirmed before the last byte went out: the file is still sent
        // whole, and the batch goes on once it has been.
        transferEnd_.uploadConfirmed = true;
        return;
    }
    if (transferWait_ == TransferWait::UploadEnd)
        stopWaiting();
    transferEnd_.dataOwedBy = 0;
    Gcount = 0;
    ループ回数 = 0;
    // The listener was made afresh when the last byte went: another would
    // only cost a port search (with every closed data connection of a batch
    // still held by the system, a long one).
    if (Winsock2->State() != Winsock::sckListening) {
        Winsock2->Close();
        Winsock2->LocalPort = 0;
        Winsock2->Listen();
    }
    folder_batch::upload_confirmed(*this);
}

QString form1::unfinishedTransfer() const
{
    if ((ループ回数 == 2 || ループ回数 == 3) && Y_Count == 0 && !Down_File.isEmpty())
        return QStringLiteral("「") + Down_File + QStringLiteral("」のダウンロードは完了しませんでした。");
    if (ループ回数 == 4 || ループ回数 == 5 || Gcount == 1) {
        return QStringLiteral("「") + uploadInHand() + QStringLiteral("」のアップロードは完了しませんでした。");
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
    endOperation();
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
    if (session_.tlsStarting)
        tlsFailed(QStringLiteral("TLSの開始中にサーバーが接続を切りました。"));
    else
        controlLost(QString());
}

void form1::Winsock1_Error(int number, const QString& description)
{
    if (session_.tlsStarting) {
        tlsFailed(description);
        return;
    }
    // An established connection that fails is over just as if it had been
    // closed; a connection attempt that fails leaves nothing to clean up.
    if (controlShown_) {
        controlLost(QStringLiteral("接続エラーが発生しました。"));
        return;
    }
    if (busy())
        endOperation();   // the log-in that never began
    const QString cause = connect_failure_cause(number, description, Winsock1->RemoteHost.trimmed(), Winsock1->RemotePort);
    Newtext = cause + QStringLiteral("\r\n");
    Text_plus();
    prompts::Msg_box(QStringLiteral("接続エラーが発生しました。\n") + cause, QStringLiteral("エラー"), prompts::vbCritical);
}
