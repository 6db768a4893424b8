// The upload batch: the selected local files, one after the other, into the
// current remote folder, sent in 1024-byte blocks.
#include <QElapsedTimer>
#include <QFile>
#include <QProgressBar>
#include <QTimer>

#include "app/form1.h"
#include "platform/app_clock.h"
#include "platform/codepage.h"
#include "platform/drive_view.h"
#include "platform/list_view.h"
#include "platform/prompts.h"
#include "platform/settings_store.h"
#include "platform/winsock.h"
#include "transfer/local_names.h"
#include "transfer/progress_text.h"
#include "transfer/folder_batch.h"
#include "transfer/local_folder_walk.h"
#include "transfer/remote_folder_walk.h"
#include "transfer/same_name_dialog.h"
#include "transfer/transfer_batch.h"

namespace {
constexpr qint64 BlockSize = 1024;
// The status line changes with every block; drawing it that often would
// cost far more than sending the block. It is drawn at most once a frame.
constexpr int StatusFrameMs = 33;
// Longest run of blocks sent within one event, and how many blocks go
// between two looks at the clock.
constexpr qint64 BurstMs = 4;
constexpr int BurstCheckBlocks = 16;

// Milliseconds of the date and time as they read (no time-zone lookup).
qint64 wall_ms(const QDateTime& t)
{
    return t.date().toJulianDay() * 86'400'000 + t.time().msecsSinceStartOfDay();
}

qint64 floor_div(qint64 a, qint64 b)
{
    return a / b - (a % b < 0 ? 1 : 0);
}
} // namespace

Form13* form1::sameNameDialog()
{
    if (!form13_)
        form13_ = new Form13(this, this);
    return form13_;
}

void form1::Mupload_Click()
{
    if (refuseWhileBusy())
        return;
    Tool_lock();
    if (Winsock1->State() == Winsock::sckClosed) {
        prompts::Msg_box(QStringLiteral("サーバーに接続されていません"), QStringLiteral("エラー"), prompts::vbCritical);
        return;
    }
    const QList<int> rows = ListView2->selectedRows();
    if (rows.isEmpty()) {
        prompts::Msg_box(QStringLiteral("ファイルが選択されていません"), QStringLiteral("選択エラー"), prompts::vbCritical);
        Tool_unlock();
        return;
    }
    // Only plain files are sent: a pipe or a device would never end, and
    // opening a pipe waits for a writer. A name the server's code page
    // cannot hold would arrive as another name.
    for (int row : rows) {
        const QString name = ListView2->text(row);
        if (ListView2->smallIcon(row) == 1)
            continue;
        if (!is_regular_file(drives::to_native(Local_Dir + name))) {
            prompts::Msg_box(QStringLiteral("「") + name +
                                 QStringLiteral("」は通常のファイルではないため、アップロードできません。"),
                             QStringLiteral("アップロード"), prompts::vbExclamation);
            Tool_unlock();
            return;
        }
        if (refuseUnsendable(name, QStringLiteral("アップロードできません。"), QStringLiteral("アップロード"))) {
            Tool_unlock();
            return;
        }
    }
    // What the remote list shows: the same names are asked about, folders
    // there are looked into before anything is sent.
    QHash<QString, int> remoteRows;
    for (int i = 0; i < ListView1->count(); ++i)
        remoteRows.insert(ListView1->text(i), i);
    const QByteArray cp = wireCodepage();
    const auto sendable = [&](const QString& name) { return codepage::encodable(name, cp); };
    auto batch = std::make_unique<TransferBatch>();
    auto walk = std::make_unique<RemoteFolderWalk>(サーバーパス);
    // Last selected first, as batches have always gone.
    for (auto it = rows.crbegin(); it != rows.crend(); ++it) {
        const QString name = ListView2->text(*it);
        const QString native = drives::to_native(Local_Dir + name);
        const int remote = remoteRows.value(name, -1);
        if (ListView2->smallIcon(*it) == 1) {
            if (QFileInfo(native).isSymLink()) {
                batch->note(name, QStringLiteral("フォルダーへのリンクのため、たどりませんでした。"));
                continue;
            }
            if (!sendable(name) || !is_plain_relative_path(name)) {
                batch->note(name, QStringLiteral("ｻｰﾊﾞｰの文字コードで表せない文字が含まれているため、送信しませんでした。"));
                continue;
            }
            add_local_folder(*batch, native, name, sendable);
            if (remote >= 0 && ListView1->smallIcon(remote) == 1) {
                batch->foundOnServer(name, true, -1);
                walk->add(name);
            }
            continue;
        }
        BatchFile file;
        file.path = name;
        const QFileInfo info(native);
        file.size = info.size();
        file.modified = info.lastModified().toSecsSinceEpoch();
        file.onServer = remote >= 0;
        file.remoteSize = remote >= 0 ? ListView1->facts(remote).bytes : -1;
        batch->addFile(file);
    }
    // Read from the folder shown now, whatever the user browses to meanwhile.
    transferFolder_ = Local_Dir;
    batch_ = std::move(batch);
    Up_Count = qint16(std::min(batch_->fileCount(), 32767));
    beginOperation(Operation::Upload);
    // The folders the server has already are looked into first, for the
    // files in them that the same-name question is about.
    walk->enters = [batch = batch_.get()](const QString& path) { return batch->hasFolder(path); };
    folderWalk_ = std::move(walk);
    folder_batch::walk_next(*this);
}

void form1::Up_select()
{
    ループ回数 = 4;
    // The batch's type holds from file to file: one command less each.
    if (batch_ && batch_->binary)
        Data_step();
    else
        sendLine(QStringLiteral("TYPE I"));
}

void form1::Up_LoadA()
{
    BatchFile* f = batch_ ? batch_->takeNext() : nullptr;
    Up_Count = batch_ ? qint16(std::min(batch_->remaining(), 32767)) : 0;
    if (!f) {
        folder_batch::end_upload(*this);   // no file left: never a bare STOR
        return;
    }
    Up_File = f->path;
    // The code page may have been found since the batch was checked.
    if (!codepage::encodable(Up_File, wireCodepage())) {
        failNamedTransfer(QStringLiteral("「") + Up_File + QStringLiteral("」のアップロードは完了しませんでした。"),
                          QStringLiteral("サーバーの文字コードで表せない文字が含まれているため、送信しませんでした。"));
        return;
    }
    if (!Form13::Over_write && f->onServer)
        Douitu = 1;
    if (Douitu == 1) {
        // Only a file the server holds less of can be continued.
        const qint64 local = QFileInfo(drives::to_native(transferFolder_ + QString(Up_File).replace(u'/', u'\\'))).size();
        const bool shorter = f->remoteSize >= 0 && f->remoteSize < local;
        sameNameDialog()->ask(Up_File, shorter);
        return;
    }
    Up_loadB();
}

void form1::Up_loadB()
{
    sendTransferCommand();   // STOR, or REST and STOR when it goes on
}

void form1::uploadMayStart()
{
    // Some servers connect back as soon as PORT is acknowledged. Data sent on
    // that connection (or its close, for an empty file) before the server has
    // taken up STOR is lost, so the first block waits for both the connection
    // and the "1xx" reply to STOR, in whichever order they come.
    if (!storSent_ || ループ回数 != 5)
        return;
    storAccepted_ = true;
    if (Gcount == 0 && Winsock2->State() == Winsock::sckConnected)
        Up_next();
}

qint64 form1::uploadLength() const
{
    return QFileInfo(drives::to_native(Up_File2)).size();
}

void form1::Up_next()
{
    if (Gcount == 0) {
        Up_File2 = transferFolder_ + QString(Up_File).replace(u'/', u'\\');
        QString why;
        uploadFile = open_regular_file(drives::to_native(Up_File2), &why);
        if (!uploadFile) {
            failUpload(QStringLiteral("アップロードするファイルを開けませんでした。\n") + Up_File2 +
                       QStringLiteral("\n") + why);
            return;
        }
        Gcount = 1;
        // Going on after what the server has: from there.
        const BatchFile* f = batch_ ? batch_->current() : nullptr;
        if (f && f->resumeFrom > 0 && !uploadFile->seek(f->resumeFrom)) {
            failUpload(QStringLiteral("アップロードするファイルを読めませんでした。\n") + Up_File2 + QStringLiteral("\n") +
                       uploadFile->errorString());
            return;
        }
        if (uploadFile->size() == 0) {
            // Nothing to send: the empty send completes once the connection
            // could carry data (an encrypted one after its handshake, which
            // closing earlier would cut, and the server never confirm).
            ProgressBar1->setVisible(true);
            ProgressBar1->setValue(100);
            setStatusText(upload_status_text(Up_File, 0, 0, 0));
            Gcount = 3;
            Winsock2->SendData(QByteArray());
            return;
        }
    }
    if (!uploadFile)
        return;
    // A block the system takes at once is complete when it is taken: the
    // next one follows within this event. Back to the event loop when the
    // system takes a block only in part (its completion comes as an event),
    // at the end of the file, or after a few milliseconds, so the window
    // stays live; the socket then reports the progress of all of them.
    QElapsedTimer burst;
    burst.start();
    char buffer[BlockSize];
    for (int blocks = 1;; ++blocks) {
        const qint64 got = uploadFile->read(buffer, BlockSize);
        // The block is handed to the socket without a copy of its own.
        const QByteArray block = QByteArray::fromRawData(buffer, std::max<qint64>(got, 0));
        if (got < 0 || (got == 0 && !uploadFile->atEnd())) {
            failUpload(QStringLiteral("アップロードするファイルを読めませんでした。\n") + Up_File2 + QStringLiteral("\n") +
                       uploadFile->errorString());
            return;
        }
        // The end of a file whose length is a multiple of the block: the
        // blocks sent before complete it.
        if (block.isEmpty() && blocks > 1)
            return;
        if (!Winsock2->SendData(block))
            return;   // the connection is gone; its close or error ends the upload
        if (block.size() < BlockSize || Winsock2->BytesToSend() != 0)
            return;
        if (blocks % BurstCheckBlocks == 0 && burst.elapsed() >= BurstMs)
            return;
    }
}

void form1::Winsock2_SendProgress(qint64 bytesSent, qint64)
{
    if (ループ回数 != 5 || Gcount == 0)
        return;
    ProgressBar1->setVisible(true);
    const QDateTime now = app_clock::now();
    if (最初の送信 == 1) {
        Time_start = now;
        uploadStartMs_ = Time_start.toMSecsSinceEpoch();
        uploadStartWallMs_ = wall_ms(Time_start);
        uploadWallSeconds_ = -1;
        最初の送信 = 0;
        const BatchFile* f = batch_ ? batch_->current() : nullptr;
        Bytes_Total1 = f ? f->resumeFrom : 0;
    }
    // The length as the file system has it now: asked through the open
    // file (one fstat), not by its path.
    const qint64 length = uploadFile ? uploadFile->size() : uploadLength();
    uploadLength_ = length;
    const qint64 before = Bytes_Total1;
    Bytes_Total1 = std::min(Bytes_Total1 + bytesSent, length);
    if (batch_)
        batch_->moved(Bytes_Total1 - before);
    countUploadSeconds(now);
    if (!batch_ || batch_->fileCount() < 2)
        ProgressBar1->setValue(upload_percent(Bytes_Total1, length));
    if (Bytes_Total1 >= length)
        Gcount = 3;
    // The text is written from these figures when it is put on the status
    // line; the last block's at once, as the next event is the end (in a
    // batch of several files the next file's text follows within a frame).
    showTransferStatus(Gcount == 3 && (!batch_ || batch_->fileCount() < 2));
}

void form1::countUploadSeconds(const QDateTime& now)
{
    // Whole seconds from Time_start to now, as QDateTime::secsTo counts them.
    // Turning a local time into a moment costs a time-zone lookup, too much
    // for every block: the count is redone only when the wall-clock
    // difference enters another second. Between two such moments the
    // count cannot change: a change of the offset from UTC (daylight
    // saving) moves the wall-clock difference as well.
    const qint64 wallSeconds = floor_div(wall_ms(now) - uploadStartWallMs_, 1000);
    if (wallSeconds != uploadWallSeconds_) {
        uploadWallSeconds_ = wallSeconds;
        uploadElapsed_ = (now.toMSecsSinceEpoch() - uploadStartMs_) / 1000;
    }
}

void form1::showTransferStatus(bool now)
{
    if (!statusPace_) {
        statusPace_ = new QTimer(this);
        statusPace_->setSingleShot(true);
        statusPace_->setInterval(StatusFrameMs);
        QObject::connect(statusPace_, &QTimer::timeout, this, [this] {
            // Only while a transfer is still running: its end has put its
            // own text on the status line.
            const bool running = (ループ回数 == 5 && Gcount != 0) || (ループ回数 == 3 && downloadFile);
            if (transferStatusPending_ && running)
                showTransferStatus(false);
        });
    }
    transferStatusPending_ = true;
    if (!now && statusPace_->isActive())
        return;   // the frame timer shows the latest text
    if (ループ回数 == 5)
        write_upload_status_text(transferStatus_, Up_File, Bytes_Total1, uploadLength_, double(uploadElapsed_));
    setStatusText(transferStatus_);
    folder_batch::show_progress(*this);
    transferStatusPending_ = false;
    if (now)
        statusPace_->stop();
    else
        statusPace_->start();
}

void form1::Winsock2_SendComplete()
{
    if (ループ回数 != 5 || Gcount == 0)
        return;
    if (Gcount == 3)
        finishUploadFile();
    else
        Up_next();
}

void form1::finishUploadFile()
{
    transferStatusPending_ = false;
    storSent_ = false;
    storAccepted_ = false;
    // The length that went, for the check against what the server holds.
    if (BatchFile* f = batch_ ? batch_->current() : nullptr; f && uploadFile)
        f->size = uploadFile->size();
    closeAllFiles();
    Winsock2->Close();
    Winsock2->LocalPort = 0;
    Winsock2->Listen();
    Bytes_Total1 = 0;
    ループ回数 = 0;
    if (Up_Count == 0)
        Form13::Over_write = false;
    if (!batch_ || batch_->fileCount() < 2)
        setStatusText(QStringLiteral("転送終了しました。"));
    // A folder batch says so once, at its end.
    if (!batch_ || !batch_->walksFolders()) {
        Newtext = QStringLiteral("ｱｯﾌﾟﾛｰﾄﾞ終了しました。\r\n");
        Text_plus();
    }
    transferEnd_.dataOwedBy = 0;
    // The server's word that the file arrived is awaited, within a bound,
    // unless it came already.
    if (std::exchange(transferEnd_.uploadConfirmed, false))
        reply226();
    else
        waitFor(TransferWait::UploadEnd, uploadEndWaitMs);
}
