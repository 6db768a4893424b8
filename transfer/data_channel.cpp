// The data connection: the listener the server connects back to, what it
// receives (a listing, a text view or a download) and the hand-over when the
// server closes it.
#include <QAction>
#include <QFile>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include "app/form1.h"
#include "ftp/data_commands.h"
#include "fileops/remote_delete.h"
#include "platform/click_label.h"
#include "platform/drive_view.h"
#include "platform/launcher.h"
#include "platform/list_view.h"
#include "platform/mouse_pointer.h"
#include "platform/program_folder.h"
#include "platform/prompts.h"
#include "platform/replacing_file.h"
#include "platform/settings_store.h"
#include "platform/winsock.h"
#include "platform/app_clock.h"
#include "transfer/progress_text.h"
#include "transfer/folder_batch.h"
#include "transfer/same_name_dialog.h"
#include "transfer/transfer_batch.h"

namespace {
const QString ListingName = QStringLiteral("temp.s");
const QString TextViewName = QStringLiteral("text.txt");

void count_up(qint16& counter)
{
    // Only the first arrival matters; the count stops at its maximum.
    if (counter < std::numeric_limits<qint16>::max())
        ++counter;
}
} // namespace

void form1::wireDataSocket()
{
    QObject::connect(Winsock2, &Winsock::ConnectionRequest, this, &form1::Winsock2_ConnectionRequest);
    QObject::connect(Winsock2, &Winsock::DataArrival, this, &form1::Winsock2_DataArrival);
    QObject::connect(Winsock2, &Winsock::CloseEvent, this, &form1::Winsock2_Close);
    QObject::connect(Winsock2, &Winsock::Error, this, &form1::Winsock2_Error);
    QObject::connect(Winsock2, &Winsock::SendProgress, this, &form1::Winsock2_SendProgress);
    QObject::connect(Winsock2, &Winsock::SendComplete, this, &form1::Winsock2_SendComplete);
    wirePassiveData();
}

QString form1::downloadTarget() const
{
    // Fixed before the same-name question: browsing the local side
    // meanwhile cannot move where the file lands.
    return downloadPath_;
}

void form1::Tool_lock()
{
    for (int i : {5, 6, 3})
        toolbarButton(i)->setEnabled(false);
}

void form1::Tool_unlock()
{
    // The operation that locked the toolbar has ended; while still connected
    // the user must be able to start the next one.
    if (Winsock1->State() != Winsock::sckConnected)
        return;
    for (int i : {5, 6, 3})
        toolbarButton(i)->setEnabled(true);
}

void form1::Winsock2_ConnectionRequest(int requestID)
{
    // Only the server we talk to may connect back: anyone else could slip in
    // a listing or a file of their own. The listener keeps waiting.
    const QString from = Winsock2->PendingRemoteIP(requestID);
    if (from.isEmpty() || from != Winsock1->RemoteIP()) {
        Winsock2->Refuse(requestID);
        Newtext = QStringLiteral("ｻｰﾊﾞｰ以外(") + from + QStringLiteral(")からのデーター接続を拒否しました。\r\n");
        Text_plus();
        return;
    }
    // Nor is a late connection for a data command of an operation that has
    // ended (an aborted listing) taken for the running one's. (Some servers
    // connect as soon as PORT is answered, before the data command.)
    const auto dataCommand = [](const SentCommand& c) { return is_data_command(c.verb); };
    // A command answered before its data came still owns its connection;
    // one whose data have all come owns no other.
    bool stale = false, current = transferEnd_.dataOwedBy == operationId_;
    for (const SentCommand& c : sentCommands_)
        (c.operation == operationId_ ? current : stale) |= dataCommand(c);
    // Nor is a connection in clear taken where data must be encrypted.
    if (!busy() || (stale && !current) || transferEnd_.dataEnded || (dataMustBeProtected() && !session_.dataProtected)) {
        Winsock2->Refuse(requestID);
        return;
    }
    if (Winsock2->State() != Winsock::sckClosed)
        Winsock2->Close();
    Winsock2->Accept(requestID);
    if (transferWait_ == TransferWait::DataConnection)
        stopWaiting();
    if (ループ回数 == 5 && storAccepted_)
        Up_next();
}

void form1::failTransfer(const QString& text)
{
    endOperation();
    setStatusText(QString());
    prompts::Msg_box(text, QStringLiteral("転送エラー"), prompts::vbExclamation);
}

bool form1::writeChunk(QFileDevice& file, const QByteArray& bytes)
{
    if (file.write(bytes) == bytes.size())
        return true;
    failTransfer(QStringLiteral("ファイルに書き込めませんでした。ディスクの空き容量や書き込み権限を確認してください。\n") +
                 file.fileName() + QStringLiteral("\n") + file.errorString());
    return false;
}

void form1::Winsock2_DataArrival(qint64)
{
    if (!busy()) {
        Winsock2->GetData();   // nothing of ours asked for it
        return;
    }
    if (Y_Count != 0)
        ループ回数 = 0;
    if (ループ回数 == 0)
        receiveListingBlock();
    else if (ループ回数 == 3)
        receiveDownloadBlock();
}

void form1::receiveListingBlock()
{
    const QByteArray bytes = Winsock2->GetData();
    リトライ回数 = 0;
    std::unique_ptr<QFile>& file = Y_Count != 0 ? textViewFile : listingFile;
    if (Dcount == 0) {
        mouse_pointer::set(mouse_pointer::Hourglass);
        const QString path = program_folder::file(Y_Count != 0 ? TextViewName : ListingName);
        file = std::make_unique<QFile>(path);
        if (!program_folder::create_private(*file, QIODevice::WriteOnly | QIODevice::Unbuffered)) {
            failTransfer(QStringLiteral("一時ファイルを作成できませんでした。\n") + path + QStringLiteral("\n") +
                         file->errorString());
            return;
        }
    }
    if (!file || !writeChunk(*file, bytes))
        return;
    if (Y_Count == 0)
        noteListingBytes(bytes, Dcount == 0);
    Dcount = 1;
}

bool form1::openDownloadTarget()
{
    const QString drivePath = downloadTarget();
    const QString native = drives::to_native(drivePath);
    if (native.isEmpty()) {
        failTransfer(QStringLiteral("ダウンロード先のフォルダーがありません。\n") + drivePath);
        return false;
    }
    // Written beside the target and moved over it only when complete, so an
    // interrupted download never replaces an existing file with a part. The
    // part stays for the next download of the same file to go on from.
    auto file = std::make_unique<ReplacingFile>(native);
    BatchFile* f = batch_ ? batch_->current() : nullptr;
    // Forcing each of many small files to the disk on its own would cost
    // more than moving it: the batch syncs once at its end.
    file->setSyncLater(batch_ && batch_->fileCount() > 1);
    const qint64 from = f ? f->resumeFrom : 0;
    qint64 length = -1;
    const bool opened = from > 0 ? file->openToResume(&length) && length == from
                                 : file->open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    if (!opened) {
        failTransfer(QStringLiteral("ダウンロード先のファイルを作成できませんでした。\n") + drivePath +
                     QStringLiteral("\n") + file->errorString());
        return false;
    }
    if (f && from == 0)
        file->setOrigin(part_origin(サーバーパス, *f));
    downloadFile = std::move(file);
    return true;
}

void form1::receiveDownloadBlock()
{
    if (fCount == 1) {
        if (!openDownloadTarget())
            return;
        // A restart counts what the part holds already.
        const BatchFile* f = batch_ ? batch_->current() : nullptr;
        F_total = f ? f->resumeFrom / 1000 : 0;
        if (!batch_ || batch_->fileCount() < 2)
            ProgressBar1->setValue(0);
        Time_start = app_clock::now();
    }
    if (!downloadFile)
        return;   // the transfer already failed; ignore what still arrives
    // The server confirmed early and the data are still coming: they are
    // not late as long as they keep coming.
    if (transferWait_ == TransferWait::DownloadEnd)
        waitFor(TransferWait::DownloadEnd, downloadEndWaitMs);
    ProgressBar1->setVisible(true);
    const qint64 waiting = Winsock2->BytesReceived();
    const DownloadProgress p = download_progress(F_total, waiting, Down_Size,
                                                 double(Time_start.secsTo(app_clock::now())));
    F_total = p.kilobytes;
    if (p.sizeKB != 0 && (!batch_ || batch_->fileCount() < 2))
        ProgressBar1->setValue(p.percent);
    // Put on the status line at most once a frame: laying it out for every
    // arrival cost more than the arrival itself.
    transferStatus_ = download_status_text(Down_File, p);
    const QByteArray data = Winsock2->GetData();
    if (batch_)
        batch_->moved(data.size());
    showTransferStatus(false);
    if (!writeChunk(*downloadFile, data))
        return;
    count_up(fCount);
}

void form1::Winsock2_Close()
{
    // A batch's bar stays up from its first file to its end: shown and
    // hidden for each file, it would lay the window out again each time.
    if (!batch_ || batch_->fileCount() < 2)
        ProgressBar1->setVisible(false);
    mouse_pointer::set(mouse_pointer::Default);
    // Bytes the server sent just before closing are still waiting.
    if (Winsock2->BytesReceived() > 0)
        Winsock2_DataArrival(Winsock2->BytesReceived());
    if (Winsock2->State() != Winsock::sckClosed)
        Winsock2->Close();
    Winsock2->LocalPort = 0;
    Winsock2->Listen();

    if (transferEnd_.dataOwedBy == operationId_)
        transferEnd_.dataOwedBy = 0;
    // A text view takes its mode from its first block; an empty file sends
    // none, so it is told by its flag, never by the download's mode.
    const bool textView = (ループ回数 == 0 || ループ回数 == 3) && Y_Count != 0;
    if (textView || (ループ回数 == 0 && (Dcount != 0 || busy()))) {
        listingFile.reset();
        textViewFile.reset();
        // Ended only once the server has confirmed it too.
        if (busy() && dataReplyOwed()) {
            transferEnd_.dataEnded = true;
            waitFor(TransferWait::ListingEnd, downloadEndWaitMs);
            return;
        }
        finishListingData();
    } else if (ループ回数 == 3) {
        finishDownload();
    } else if (ループ回数 == 5 && Gcount == 1) {
        failUpload(QStringLiteral("ｻｰﾊﾞｰがデーター接続を途中で閉じました。"));
    }
}

void form1::finishListingData()
{
    transferEnd_.dataEnded = false;
    if (transferWait_ == TransferWait::ListingEnd)
        stopWaiting();
    if ((ループ回数 == 0 || ループ回数 == 3) && Y_Count != 0) {
        finishTextView();
    } else if (ループ回数 == 0 && Dcount != 0) {
        // Dcount stays set until the list is complete: the listing has not
        // ended while it is still being parsed and sorted. Remote_list ends it.
        if (!remoteListRunning())
            Remote_list();
    } else if (ループ回数 == 0 && treeDelete_) {
        tree_delete::listed(*this, false);   // a folder to delete that holds nothing
    } else if (ループ回数 == 0 && folderWalk_) {
        folder_batch::walk_listed(*this, false);   // a folder of a batch that holds nothing
    } else if (ループ回数 == 0 && busy()) {
        ListView1->clear();
        Label1->setText(QStringLiteral("ｻｰﾊﾞｰﾊﾟｽ: ") + サーバーパス);
        endOperation();
    }
}

void form1::dataCommandSent(const QString& verb)
{
    if (!busy())
        return;
    transferEnd_.dataOwedBy = operationId_;
    transferEnd_.dataEnded = false;
    if (verb == QStringLiteral("STOR") || verb == QStringLiteral("APPE"))
        transferEnd_.uploadConfirmed = false;
}

bool form1::dataReplyOwed() const
{
    for (const SentCommand& c : sentCommands_)
        if (c.operation == operationId_ && is_data_command(c.verb))
            return true;
    return false;
}

void form1::finishTextView()
{
    const QString path = program_folder::file(TextViewName);
    if (Dcount == 0) {
        // An empty file sends no block: the editor shows it empty.
        QFile empty(path);
        program_folder::create_private(empty, QIODevice::WriteOnly);
    }
    Y_Count = 0;
    Dcount = 0;
    ループ回数 = 0;   // still 3 when the file was empty: no block set it to 0
    fCount = 0;
    textViewFile.reset();
    endOperation();
    if (!launcher::open_text(path))
        prompts::Msg_box(QStringLiteral("テキストエディターで開けませんでした。\n") + path, QStringLiteral("エラー"),
                         prompts::vbExclamation);
}

void form1::finishDownload()
{
    if (fCount == 0)
        return;   // a connection before RETR went out carries no file
    // An empty file sends no block at all; it is still created.
    if (fCount == 1 && !openDownloadTarget())
        return;
    // The data connection may close early, so the file is kept only once
    // the server confirms it sent the whole file.
    downloadDataDone_ = true;
    if (downloadConfirmed_)
        completeDownload();
    else
        waitFor(TransferWait::DownloadEnd, downloadEndWaitMs);
}

bool form1::retrOutstanding() const
{
    return ループ回数 == 3 && fCount >= 1 && Y_Count == 0;
}

bool form1::downloadReply(const QString& code, const QString& reply)
{
    if (!retrOutstanding() || code.startsWith(u'1'))
        return false;
    if (code == QStringLiteral("226") || code == QStringLiteral("250")) {
        downloadConfirmed_ = true;
        if (downloadDataDone_)
            completeDownload();
        else
            waitFor(TransferWait::DownloadEnd, downloadEndWaitMs);   // the last bytes are on their way
        return true;
    }
    // These two end the transfer in their own way (access message, retry).
    if (code == QStringLiteral("550") || code == QStringLiteral("421"))
        return false;
    if (code.startsWith(u'4') || code.startsWith(u'5')) {
        const qsizetype end = reply.indexOf(u'\r');
        failDownload(QStringLiteral("ｻｰﾊﾞｰの応答: ") + reply.left(std::min<qsizetype>(end < 0 ? reply.size() : end, 200)));
        return true;
    }
    return false;
}

void form1::completeDownload()
{
    stopWaiting();
    auto* file = qobject_cast<ReplacingFile*>(downloadFile.get());
    BatchFile* f = batch_ ? batch_->current() : nullptr;
    // Where the listing gave no size the server is asked, if it can tell.
    if (f && f->size < 0 && !f->sizeAsked && session_.lists(QStringLiteral("SIZE"))) {
        f->sizeAsked = true;
        sendLine(QStringLiteral("SIZE ") + Down_File);
        return;
    }
    // What arrived is checked against what the server listed: a file that
    // came short stays a part, the file it would replace untouched.
    const qint64 arrived = file ? file->size() : -1;
    const bool whole = !f || f->size < 0 || arrived == f->size;
    if (!whole) {
        batch_->note(f->path, QStringLiteral("サイズが違います（ｻｰﾊﾞｰ ") + QString::number(f->size) +
                                  QStringLiteral(" バイト、受信 ") + QString::number(arrived) + QStringLiteral(" バイト）"));
        Newtext = QStringLiteral("「") + f->path + QStringLiteral("」のダウンロードは完了しませんでした。\r\n");
        Text_plus();
    } else if (downloadFile && (!file || !file->commit())) {
        failTransfer(QStringLiteral("ダウンロードしたファイルを保存できませんでした。\n") + downloadTarget() +
                     QStringLiteral("\n") + downloadFile->errorString());
        return;
    }
    if (whole && f && f->modified >= 0)
        folder_batch::set_downloaded_time(*this, f->modified);
    downloadFile.reset();
    fCount = 0;
    downloadDataDone_ = false;
    downloadConfirmed_ = false;
    if (Down_Count == 0)
        Form13::Over_write = false;
    if (whole && batch_) {
        batch_->fileDone();
        folder_batch::show_progress(*this);
    }
    if (!batch_ || batch_->fileCount() < 2)
        setStatusText(QStringLiteral("転送終了しました。"));
    // A folder batch says so once, at its end.
    if (whole && !(batch_ && batch_->walksFolders())) {
        Newtext = QStringLiteral("転送終了しました。\r\n");
        Text_plus();
    }
    ループ回数 = 0;
    if (!whole || !folder_batch::ask_file_time(*this))
        folder_batch::next_download(*this);
}

void form1::failDownload(const QString& why)
{
    failNamedTransfer(QStringLiteral("「") + Down_File + QStringLiteral("」のダウンロードは完了しませんでした。"), why);
}

void form1::failNamedTransfer(const QString& text, const QString& why)
{
    endOperation();
    setStatusText(QString());
    Newtext = text + QStringLiteral("\r\n");
    Text_plus();
    prompts::Msg_box(text + QStringLiteral("\n") + why, QStringLiteral("転送エラー"), prompts::vbExclamation);
}

void form1::waitFor(TransferWait what, int ms)
{
    // One timer, started again for each wait: a timer per wait would pile
    // up thousands in a batch of small files, each costing every later one.
    if (!transferWaitTimer_) {
        transferWaitTimer_ = new QTimer(this);
        transferWaitTimer_->setSingleShot(true);
        QObject::connect(transferWaitTimer_, &QTimer::timeout, this, [this] { transferWaitExpired(transferWaitId_); });
    }
    transferWait_ = what;
    ++transferWaitId_;
    transferWaitTimer_->start(ms);
}

void form1::stopWaiting()
{
    transferWait_ = TransferWait::None;
    ++transferWaitId_;
    if (transferWaitTimer_)
        transferWaitTimer_->stop();
}

void form1::transferWaitExpired(quint64 id)
{
    if (id != transferWaitId_)
        return;
    if (transferWait_ == TransferWait::DownloadEnd) {
        // Armed by the data close (no reply yet) or by the reply (data
        // still open or never come).
        failDownload(!downloadConfirmed_
                         ? QStringLiteral("データー接続が閉じられましたが、ｻｰﾊﾞｰから転送完了の応答がありませんでした。")
                     : fCount > 1 ? QStringLiteral("ｻｰﾊﾞｰが転送完了と応答した後、データーが届き終わりませんでした。")
                                  : QStringLiteral("ｻｰﾊﾞｰは転送完了と応答しましたが、データーが届きませんでした。"));
        return;
    }
    if (transferWait_ == TransferWait::ListingEnd) {
        // The data came whole and the connection closed in order; the
        // server only never said so.
        Newtext = QStringLiteral("(ｻｰﾊﾞｰから転送完了の応答がありませんでした。)\r\n");
        Text_plus();
        finishListingData();
        return;
    }
    if (transferWait_ == TransferWait::UploadEnd) {
        failNamedTransfer(QStringLiteral("「") + Up_File + QStringLiteral("」のアップロードが完了したかどうか確認できませんでした。"),
                          QStringLiteral("ｻｰﾊﾞｰから転送完了の応答が") + QString::number(uploadEndWaitMs / 1000) +
                              QStringLiteral("秒以上ありません。"));
        return;
    }
    if (transferWait_ != TransferWait::DataConnection)
        return;
    // The server took the command but does not connect. Only the user knows
    // whether to go on waiting; the program stays usable either way.
    const int answer = prompts::Msg_box(
        QStringLiteral("ｻｰﾊﾞｰからのデーター接続が") + QString::number(dataConnectionWaitMs / 1000) +
            QStringLiteral("秒以上ありません。\n転送を中断しますか？（「いいえ」で待ち続けます）"),
        QStringLiteral("データー接続"), prompts::vbQuestion, prompts::vbYesNo);
    // While the question was open the connection may have come, or the
    // transfer may have ended some other way: then the answer is moot.
    if (id != transferWaitId_)
        return;
    if (answer == prompts::vbYes)
        Mabore_Click();
    else
        waitFor(TransferWait::DataConnection, dataConnectionWaitMs);
}

void form1::failUpload(const QString& why)
{
    // The server's refusal or the cut connection settles it: the file did
    // not arrive whole.
    failNamedTransfer(QStringLiteral("「") + uploadInHand() + QStringLiteral("」のアップロードは完了しませんでした。"), why);
}

void form1::Winsock2_Error(int, const QString& description)
{
    setStatusText(QString());
    const QString text = QStringLiteral("データー接続でエラーが発生しました。");
    // A broken data connection ends the transfer it carried: a download is
    // not complete, a listing or an upload is cut short.
    if (retrOutstanding()) {
        failDownload(text + QStringLiteral("\n") + description);
        return;
    }
    if (operation_ == Operation::Upload && (ループ回数 == 5 || Gcount != 0)) {
        failUpload(text + QStringLiteral("\n") + description);
        return;
    }
    if (busy())
        endOperation();
    msg = qint16(prompts::Msg_box(text, QStringLiteral("エラー"), prompts::vbCritical));
}
