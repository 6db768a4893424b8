// What a batch does besides moving its files one by one: listing the
// selected server folders and everything below them, making the folders
// on the receiving side, restarts, the progress panel and the list of what
// failed on the way.
#include <QDir>
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
#include "transfer/folder_batch.h"
#include "transfer/local_names.h"
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

namespace folder_batch {

void walk_ended(form1& w);                // every folder is listed: the files go
void make_next_remote_folder(form1& w);   // MKD of the upload's next folder, then the files

void walk_next(form1& w)
{
    const QString folder = w.folderWalk_->nextToList();
    if (!folder.isEmpty()) {
        w.sendLine(QStringLiteral("CWD ") + folder);
        return;
    }
    if (!w.folderWalk_->entered()) {
        walk_ended(w);   // nothing to look into: the server is where it was
        return;
    }
    // The walk left the server in another folder: back first, so the files
    // go where the list on screen is.
    w.folderWalk_->returning = true;
    w.sendLine(QStringLiteral("CWD ") + w.folderWalk_->base());
}

void walk_listed(form1& w, bool anything)
{
    for (const RemoteFolderWalk::Found& f : w.folderWalk_->listed(listed_entries(w, anything))) {
        if (w.operation_ == form1::Operation::Upload) {
            w.batch_->foundOnServer(f.path, f.entry.icon == 1, f.entry.bytes);
        } else if (f.entry.icon == 1) {
            w.batch_->addFolder(f.path);
        } else {
            w.batch_->addFile(found_file(f));
        }
    }
    // A server can list folders without end: what lies too deep is left out.
    for (const QString& deep : w.folderWalk_->takeTooDeep())
        w.batch_->note(deep, QStringLiteral("フォルダーの階層が深すぎるため、この中は転送しませんでした。"));
    walk_next(w);
}

void walk_ended(form1& w)
{
    w.folderWalk_.reset();
    if (w.operation_ == form1::Operation::Upload) {
        make_next_remote_folder(w);
    } else {
        start_download_files(w);
    }
}

void make_next_remote_folder(form1& w)
{
    // A folder the server has already is entered as it is; MKD is sent
    // only for the others, parents before their children.
    if (const QString folder = w.batch_->nextFolderToMake(); !folder.isEmpty()) {
        w.sendLine(QStringLiteral("MKD ") + folder);
        return;
    }
    w.batch_->start(app_clock::now().toMSecsSinceEpoch());
    if (w.batch_->remaining() > 0)
        w.Up_select();
    else
        end_upload(w);   // folders only: made, nothing more to send
}

bool take_reply(form1& w, const QString& verb, const QString& code, const QString& reply)
{
    if (!w.batch_ || code == QStringLiteral("421"))
        return false;
    const bool refused = code.startsWith(u'4') || code.startsWith(u'5');
    if (w.folderWalk_ && verb == QStringLiteral("CWD")) {
        if (w.folderWalk_->returning && refused) {
            // Its files would be looked for in another folder.
            w.failNamedTransfer(QStringLiteral("転送を中止しました。"),
                              QStringLiteral("ｻｰﾊﾞｰの元のフォルダーに戻れませんでした。\n") + w.folderWalk_->base() +
                                  QStringLiteral("\nｻｰﾊﾞｰの応答: ") + first_line(reply));
        } else if (w.folderWalk_->returning) {
            walk_ended(w);
        } else if (refused) {
            w.batch_->note(w.folderWalk_->listingPath(), QStringLiteral("ｻｰﾊﾞｰの応答: ") + first_line(reply));
            walk_next(w);
        } else {
            w.Send_type();   // then the listing of the folder entered
        }
        return true;
    }
    if (w.folderWalk_ && is_listing_command(verb) && refused) {
        w.batch_->note(w.folderWalk_->listingPath(), QStringLiteral("ｻｰﾊﾞｰの応答: ") + first_line(reply));
        w.stopWaiting();
        w.ループ回数 = 0;
        walk_next(w);
        return true;
    }
    if (verb == QStringLiteral("MKD") && w.operation_ == form1::Operation::Upload && !w.folderWalk_) {
        // A refusal is no error of its own: the server may have the folder
        // already (a name it lists otherwise). Its files tell whether it is
        // there, each refused with the server's reason where it is not.
        make_next_remote_folder(w);
        return true;
    }
    // In a folder batch a file the server refuses is noted and the rest goes on.
    if (refused && w.batch_->walksFolders() && (verb == QStringLiteral("RETR") || verb == QStringLiteral("STOR") ||
                                              verb == QStringLiteral("APPE"))) {
        w.goOnAfterRefusal(reply);
        return true;
    }
    if (verb == QStringLiteral("MDTM")) {
        const QString stamp = reply.mid(4, 14);
        const QDateTime t = QDateTime::fromString(stamp, QStringLiteral("yyyyMMddHHmmss"));
        if (code == QStringLiteral("213") && t.isValid())
            set_downloaded_time(w, QDateTime(t.date(), t.time(), Qt::UTC).toSecsSinceEpoch());
        next_download(w);
        return true;
    }
    if (verb == QStringLiteral("SIZE")) {
        bool ok = false;
        const qint64 size = reply.mid(4).section(u'\r', 0, 0).trimmed().toLongLong(&ok);
        BatchFile* f = w.batch_->current();
        const bool told = f && code == QStringLiteral("213") && ok && size >= 0;
        if (w.operation_ != form1::Operation::Upload) {
            if (told)
                f->size = size;
            w.completeDownload();
            return true;
        }
        // What the server holds against what was sent.
        if (told && size != f->size) {
            w.batch_->note(f->path, QStringLiteral("サイズが違います（送信 ") + QString::number(f->size) +
                                      QStringLiteral(" バイト、ｻｰﾊﾞｰ ") + QString::number(size) + QStringLiteral(" バイト）"));
            w.Newtext = QStringLiteral("「") + f->path + QStringLiteral("」のアップロードは完了しませんでした。\r\n");
            w.Text_plus();
        }
        upload_confirmed(w);
        return true;
    }
    if (verb == QStringLiteral("MFMT")) {
        upload_confirmed(w);
        return true;
    }
    if (verb == QStringLiteral("REST")) {
        BatchFile* f = w.batch_->current();
        if (code == QStringLiteral("350") && f) {
            w.Newtext = QStringLiteral("続きから再開します（") + QString::number(f->resumeFrom) + QStringLiteral(" バイト）。\r\n");
            w.Text_plus();
        } else if (f) {
            // An upload appends instead; a download starts over.
            if (w.operation_ != form1::Operation::Upload)
                f->resumeFrom = 0;
            f->restRefused = true;
        }
        w.sendTransferCommand();
        return true;
    }
    return false;
}

void start_download_files(form1& w)
{
    // Every folder first, the empty ones too.
    for (const QString& folder : w.batch_->folders()) {
        const QString native = drives::to_native(w.transferFolder_ + QString(folder).replace(u'/', u'\\'));
        if (!is_plain_relative_path(folder))
            w.batch_->note(folder, QStringLiteral("このコンピューターのフォルダー名として使えないため、作成しません。"));
        else if (native.isEmpty() || !QDir().mkpath(native))
            w.batch_->note(folder, QStringLiteral("フォルダーを作成できませんでした。"));
    }
    w.batch_->start(app_clock::now().toMSecsSinceEpoch());
    w.Down_sele();
}

void resume_upload(form1& w)
{
    if (BatchFile* f = w.batch_ ? w.batch_->current() : nullptr)
        f->resumeFrom = std::max<qint64>(f->remoteSize, 0);
    w.Up_loadB();
}

QList<ListingEntry> listed_entries(form1& w, bool anything)
{
    w.Dcount = 0;   // this listing is over
    if (!anything)
        return {};
    w.decideFromListing();
    return read_listing_file(program_folder::file(QStringLiteral("temp.s")), w.wireCodepage());
}

} // namespace folder_batch

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
            folder_batch::end_upload(*this);
    } else {
        Down_sele();
    }
}

namespace folder_batch {

void show_progress(form1& w)
{
    if (!w.batch_ || w.batch_->fileCount() < 2) {
        w.StatusPanel3->setVisible(false);
        return;
    }
    // At most once a frame, as the status line: the bar paints itself
    // whenever its value changes, and a batch of small files ends a file
    // every millisecond.
    const qint64 now = app_clock::now().toMSecsSinceEpoch();
    if (!w.batch_->panelDue(now))
        return;
    w.StatusPanel3->setVisible(true);
    w.StatusPanel3->setText(w.batch_->panelText(now));
    w.ProgressBar1->setValue(w.batch_->percent());
}

void set_downloaded_time(form1& w, qint64 utcSeconds)
{
    const QByteArray path = QFile::encodeName(drives::to_native(w.downloadPath_));
    const struct timespec times[2] = {{0, UTIME_OMIT}, {utcSeconds, 0}};
    ::utimensat(AT_FDCWD, path.constData(), times, 0);
}

bool ask_file_time(form1& w)
{
    // Only where the listing gave no exact time and the server can tell it.
    BatchFile* f = w.batch_ ? w.batch_->current() : nullptr;
    if (!f || f->modified >= 0 || f->timeAsked || !w.session_.lists(QStringLiteral("MDTM")))
        return false;
    f->timeAsked = true;
    w.sendLine(QStringLiteral("MDTM ") + w.Down_File);
    return true;
}

void next_download(form1& w)
{
    if (w.Down_Count != 0)
        w.Down_sele();
    else
        w.endDownloadBatch();
}

} // namespace folder_batch

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

namespace folder_batch {

void upload_confirmed(form1& w)
{
    BatchFile* f = w.batch_ ? w.batch_->current() : nullptr;
    // Every file is checked against what the server holds, where it can tell.
    if (f && f->size >= 0 && !f->sizeAsked && w.session_.lists(QStringLiteral("SIZE"))) {
        f->sizeAsked = true;
        w.sendLine(QStringLiteral("SIZE ") + w.Up_File);
        return;
    }
    if (f && !f->timeAsked) {
        w.batch_->fileDone();
        show_progress(w);
        // The server's copy takes the local file's time where it can be set.
        if (f->modified >= 0 && w.session_.lists(QStringLiteral("MFMT"))) {
            f->timeAsked = true;
            w.sendLine(QStringLiteral("MFMT ") +
                     QDateTime::fromSecsSinceEpoch(f->modified, Qt::UTC).toString(QStringLiteral("yyyyMMddHHmmss")) +
                     u' ' + w.Up_File);
            return;
        }
    }
    if (w.batch_ && w.batch_->remaining() > 0)
        w.Up_select();
    else
        end_upload(w);
}

void end_upload(form1& w, bool relist)
{
    const std::unique_ptr<TransferBatch> batch = std::move(w.batch_);
    if (batch)
        say_batch_ended(w, *batch);
    if (batch)
        report_problems(w, *batch);
    Form13::Over_write = false;
    w.ループ回数 = 0;   // no step of the batch is left for the listing's replies
    // The list shows what arrived; that listing ends the operation.
    if (!relist)
        w.endOperation();
    else if (w.busy())
        w.Send_pwd();
}

} // namespace folder_batch

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
