// What a batch does besides moving its files one by one: listing the
// selected server folders and everything below them, making the folders
// on the receiving side, restarts, the progress panel and the list of what
// failed on the way.
#include <QFile>
#include <QLabel>
#include <QProgressBar>

#include <fcntl.h>
#include <sys/stat.h>

#include "app/form1.h"
#include "ftp/data_commands.h"
#include "ftp/reply_texts.h"
#include "platform/app_clock.h"
#include "platform/drive_view.h"
#include "platform/list_view.h"
#include "platform/program_folder.h"
#include "platform/replacing_file.h"
#include "platform/prompts.h"
#include "platform/winsock.h"
#include "transfer/remote_folder_walk.h"
#include "transfer/same_name_dialog.h"
#include "transfer/transfer_batch.h"

namespace {
// Each in the log, and the first few in a message.
void report_problems(form1& w, const TransferBatch& batch);

// A batch of several files says it has ended once, at its end (each file's
// own end would only flash on the status line); a folder batch also logs it
// once instead of for every file.
void say_batch_ended(form1& w, const TransferBatch& batch)
{
    if (batch.fileCount() > 1 || batch.walksFolders())
        w.setStatusText(QStringLiteral("転送終了しました。"));
    if (batch.walksFolders()) {
        w.Newtext = QStringLiteral("転送終了しました。\r\n");
        w.Text_plus();
    }
}

// At most this many problems are named in the message at the end; the log
// names them all.
constexpr int ProblemsShown = 20;

BatchFile found_file(const RemoteFolderWalk::Found& f)
{
    BatchFile file;
    file.path = f.path;
    file.size = f.entry.bytes;
    file.dateText = f.entry.dateText;
    file.modified = f.entry.modifiedUtc;
    file.link = f.entry.icon == 4;
    return file;
}
} // namespace

void form1::folderWalkNext()
{
    const QString folder = folderWalk_->nextToList();
    if (!folder.isEmpty()) {
        sendLine(QStringLiteral("CWD ") + folder);
        return;
    }
    if (!folderWalk_->entered()) {
        walkEnded();   // nothing to look into: the server is where it was
        return;
    }
    // The walk left the server in another folder: back first, so the files
    // go where the list on screen is.
    folderWalk_->returning = true;
    sendLine(QStringLiteral("CWD ") + folderWalk_->base());
}

void form1::folderWalkListed(bool anything)
{
    Dcount = 0;   // this listing is over
    QList<ListingEntry> entries;
    if (anything) {
        decideFromListing();
        entries = read_listing_file(program_folder::file(QStringLiteral("temp.s")), wireCodepage());
    }
    for (const RemoteFolderWalk::Found& f : folderWalk_->listed(entries)) {
        if (operation_ == Operation::Upload) {
            batch_->foundOnServer(f.path, f.entry.icon == 1, f.entry.bytes);
        } else if (f.entry.icon == 1) {
            batch_->addFolder(f.path);
        } else {
            batch_->addFile(found_file(f));
        }
    }
    // A server can list folders without end: what lies too deep is left out.
    for (const QString& deep : folderWalk_->takeTooDeep())
        batch_->note(deep, QStringLiteral("フォルダーの階層が深すぎるため、この中は転送しませんでした。"));
    folderWalkNext();
}

void form1::walkEnded()
{
    folderWalk_.reset();
    if (operation_ == Operation::Upload) {
        makeNextRemoteFolder();
    } else {
        startDownloadFiles();
    }
}

void form1::makeNextRemoteFolder()
{
    // A folder the server has already is entered as it is; MKD is sent
    // only for the others, parents before their children.
    if (const QString folder = batch_->nextFolderToMake(); !folder.isEmpty()) {
        sendLine(QStringLiteral("MKD ") + folder);
        return;
    }
    batch_->start(app_clock::now().toMSecsSinceEpoch());
    if (batch_->remaining() > 0)
        Up_select();
    else
        endUploadBatch();   // folders only: made, nothing more to send
}

bool form1::batchReply(const QString& verb, const QString& code, const QString& reply)
{
    if (!batch_ || code == QStringLiteral("421"))
        return false;
    const bool refused = code.startsWith(u'4') || code.startsWith(u'5');
    if (folderWalk_ && verb == QStringLiteral("CWD")) {
        if (folderWalk_->returning && refused) {
            // Its files would be looked for in another folder.
            failNamedTransfer(QStringLiteral("転送を中止しました。"),
                              QStringLiteral("ｻｰﾊﾞｰの元のフォルダーに戻れませんでした。\n") + folderWalk_->base() +
                                  QStringLiteral("\nｻｰﾊﾞｰの応答: ") + first_line(reply));
        } else if (folderWalk_->returning) {
            walkEnded();
        } else if (refused) {
            batch_->note(folderWalk_->listingPath(), QStringLiteral("ｻｰﾊﾞｰの応答: ") + first_line(reply));
            folderWalkNext();
        } else {
            Send_type();   // then the listing of the folder entered
        }
        return true;
    }
    if (folderWalk_ && is_listing_command(verb) && refused) {
        batch_->note(folderWalk_->listingPath(), QStringLiteral("ｻｰﾊﾞｰの応答: ") + first_line(reply));
        stopWaiting();
        ループ回数 = 0;
        folderWalkNext();
        return true;
    }
    if (verb == QStringLiteral("MKD") && operation_ == Operation::Upload && !folderWalk_) {
        // A refusal is no error of its own: the server may have the folder
        // already (a name it lists otherwise). Its files tell whether it is
        // there, each refused with the server's reason where it is not.
        makeNextRemoteFolder();
        return true;
    }
    // In a folder batch a file the server refuses is noted and the rest goes on.
    if (refused && batch_->walksFolders() && (verb == QStringLiteral("RETR") || verb == QStringLiteral("STOR") ||
                                              verb == QStringLiteral("APPE"))) {
        goOnAfterRefusal(reply);
        return true;
    }
    if (verb == QStringLiteral("MDTM")) {
        const QString stamp = reply.mid(4, 14);
        const QDateTime t = QDateTime::fromString(stamp, QStringLiteral("yyyyMMddHHmmss"));
        if (code == QStringLiteral("213") && t.isValid())
            setDownloadedTime(QDateTime(t.date(), t.time(), Qt::UTC).toSecsSinceEpoch());
        nextDownload();
        return true;
    }
    if (verb == QStringLiteral("SIZE")) {
        bool ok = false;
        const qint64 size = reply.mid(4).section(u'\r', 0, 0).trimmed().toLongLong(&ok);
        BatchFile* f = batch_->current();
        const bool told = f && code == QStringLiteral("213") && ok && size >= 0;
        if (operation_ != Operation::Upload) {
            if (told)
                f->size = size;
            completeDownload();
            return true;
        }
        // What the server holds against what was sent.
        if (told && size != f->size) {
            batch_->note(f->path, QStringLiteral("サイズが違います（送信 ") + QString::number(f->size) +
                                      QStringLiteral(" バイト、ｻｰﾊﾞｰ ") + QString::number(size) + QStringLiteral(" バイト）"));
            Newtext = QStringLiteral("「") + f->path + QStringLiteral("」のアップロードは完了しませんでした。\r\n");
            Text_plus();
        }
        uploadConfirmed();
        return true;
    }
    if (verb == QStringLiteral("MFMT")) {
        uploadConfirmed();
        return true;
    }
    if (verb == QStringLiteral("REST")) {
        BatchFile* f = batch_->current();
        if (code == QStringLiteral("350") && f) {
            Newtext = QStringLiteral("続きから再開します（") + QString::number(f->resumeFrom) + QStringLiteral(" バイト）。\r\n");
            Text_plus();
        } else if (f) {
            // An upload appends instead; a download starts over.
            if (operation_ != Operation::Upload)
                f->resumeFrom = 0;
            f->restRefused = true;
        }
        sendTransferCommand();
        return true;
    }
    return false;
}

void form1::sendTransferCommand()
{
    BatchFile* f = batch_ ? batch_->current() : nullptr;
    const bool upload = operation_ == Operation::Upload;
    if (f && f->resumeFrom > 0 && !f->restSent) {
        f->restSent = true;
        sendLine(QStringLiteral("REST ") + QString::number(f->resumeFrom));
        return;
    }
    if (upload) {
        storSent_ = true;
        storAccepted_ = false;
        最初の送信 = 1;
        const bool append = f && f->resumeFrom > 0 && f->restRefused;
        sendLine((append ? QStringLiteral("APPE ") : QStringLiteral("STOR ")) + Up_File);
    } else {
        sendLine(QStringLiteral("RETR ") + Down_File);
        fCount = 1;
    }
    if (Winsock2->State() != Winsock::sckConnected && transferWait_ == TransferWait::None)
        waitFor(TransferWait::DataConnection, dataConnectionWaitMs);
}

void form1::goOnAfterRefusal(const QString& reply)
{
    // The server answered and nothing of the file moved: the connection is
    // where it was before the file, ready for the next one.
    BatchFile* f = batch_->current();
    const QString path = f ? f->path : QString();
    QString why = QStringLiteral("ｻｰﾊﾞｰの応答: ") + first_line(reply);
    if (f && f->link && operation_ != Operation::Upload)
        why = QStringLiteral("フォルダーへのリンクか、読めないリンクのため、たどりませんでした。") + why;
    batch_->note(path, why);
    Newtext = QStringLiteral("「") + path + QStringLiteral("」: ") + why + QStringLiteral("\r\n");
    Text_plus();
    const bool uploadCut = uploadFile != nullptr && Winsock2->State() == Winsock::sckConnected;
    closeAllFiles();
    stopWaiting();
    transferEnd_ = {};
    if (uploadCut)
        Winsock2->Abort();
    downloadDataDone_ = false;
    downloadConfirmed_ = false;
    storSent_ = false;
    storAccepted_ = false;
    fCount = 0;
    Gcount = 0;
    ループ回数 = 0;
    Winsock2->Close();
    Winsock2->LocalPort = 0;
    Winsock2->Listen();
    if (operation_ == Operation::Upload) {
        if (batch_->remaining() > 0)
            Up_select();
        else
            endUploadBatch();
    } else {
        Down_sele();
    }
}

void form1::showBatchProgress()
{
    if (!batch_ || batch_->fileCount() < 2) {
        StatusPanel3->setVisible(false);
        return;
    }
    // At most once a frame, as the status line: the bar paints itself
    // whenever its value changes, and a batch of small files ends a file
    // every millisecond.
    const qint64 now = app_clock::now().toMSecsSinceEpoch();
    if (!batch_->panelDue(now))
        return;
    StatusPanel3->setVisible(true);
    StatusPanel3->setText(batch_->panelText(now));
    ProgressBar1->setValue(batch_->percent());
}

void form1::setDownloadedTime(qint64 utcSeconds)
{
    const QByteArray path = QFile::encodeName(drives::to_native(downloadPath_));
    const struct timespec times[2] = {{0, UTIME_OMIT}, {utcSeconds, 0}};
    ::utimensat(AT_FDCWD, path.constData(), times, 0);
}

bool form1::askFileTime()
{
    // Only where the listing gave no exact time and the server can tell it.
    BatchFile* f = batch_ ? batch_->current() : nullptr;
    if (!f || f->modified >= 0 || f->timeAsked || !session_.lists(QStringLiteral("MDTM")))
        return false;
    f->timeAsked = true;
    sendLine(QStringLiteral("MDTM ") + Down_File);
    return true;
}

void form1::nextDownload()
{
    if (Down_Count != 0)
        Down_sele();
    else
        endDownloadBatch();
}

void form1::endDownloadBatch()
{
    const std::unique_ptr<TransferBatch> batch = std::move(batch_);
    if (batch && batch->fileCount() > 1)
        ReplacingFile::syncAll(drives::to_native(transferFolder_));
    endOperation();
    if (batch)
        say_batch_ended(*this, *batch);
    Local_list();
    if (batch)
        report_problems(*this, *batch);
}

void form1::uploadConfirmed()
{
    BatchFile* f = batch_ ? batch_->current() : nullptr;
    // Every file is checked against what the server holds, where it can tell.
    if (f && f->size >= 0 && !f->sizeAsked && session_.lists(QStringLiteral("SIZE"))) {
        f->sizeAsked = true;
        sendLine(QStringLiteral("SIZE ") + Up_File);
        return;
    }
    if (f && !f->timeAsked) {
        batch_->fileDone();
        showBatchProgress();
        // The server's copy takes the local file's time where it can be set.
        if (f->modified >= 0 && session_.lists(QStringLiteral("MFMT"))) {
            f->timeAsked = true;
            sendLine(QStringLiteral("MFMT ") +
                     QDateTime::fromSecsSinceEpoch(f->modified, Qt::UTC).toString(QStringLiteral("yyyyMMddHHmmss")) +
                     u' ' + Up_File);
            return;
        }
    }
    if (batch_ && batch_->remaining() > 0)
        Up_select();
    else
        endUploadBatch();
}

void form1::endUploadBatch(bool relist)
{
    const std::unique_ptr<TransferBatch> batch = std::move(batch_);
    if (batch)
        say_batch_ended(*this, *batch);
    if (batch)
        report_problems(*this, *batch);
    Form13::Over_write = false;
    ループ回数 = 0;   // no step of the batch is left for the listing's replies
    // The list shows what arrived; that listing ends the operation.
    if (!relist)
        endOperation();
    else if (busy())
        Send_pwd();
}

QString form1::uploadInHand() const
{
    // Before STOR the file is still only next in the batch.
    const bool named = storSent_ || Douitu != 0 || Gcount != 0;
    if (named || !batch_)
        return Up_File;
    return batch_->nextPath();
}

namespace {
void report_problems(form1& w, const TransferBatch& batch)
{
    if (batch.problems().isEmpty())
        return;
    for (const QString& p : batch.problems()) {
        w.Newtext = QStringLiteral("転送できませんでした: ") + p + QStringLiteral("\r\n");
        w.Text_plus();
    }
    const QStringList& problems = batch.problems();
    QString text = QStringLiteral("次のファイルやフォルダーは転送できませんでした。");
    for (int i = 0; i < problems.size() && i < ProblemsShown; ++i)
        text += u'\n' + problems.at(i);
    if (problems.size() > ProblemsShown)
        text += QStringLiteral("\nほか ") + QString::number(problems.size() - ProblemsShown) +
            QStringLiteral(" 件（ログを見てください）");
    prompts::Msg_box(text, QStringLiteral("転送エラー"), prompts::vbExclamation);
}
} // namespace
