// The download batch: the selected remote files, and everything inside the
// selected remote folders, one after the other, into the current local
// folder.
#include <QDir>

#include "app/drive_kind.h"
#include "app/form1.h"
#include "fileops/local_files.h"
#include "platform/app_clock.h"
#include "platform/drive_view.h"
#include "platform/list_view.h"
#include "platform/prompts.h"
#include "platform/replacing_file.h"
#include "platform/winsock.h"
#include "transfer/folder_batch.h"
#include "transfer/local_names.h"
#include "transfer/remote_folder_walk.h"
#include "transfer/same_name_dialog.h"
#include "transfer/transfer_batch.h"

namespace {
// Bytes from the size column: "12KB" -> 12000, "1KB" -> 1000, "0B" -> 0.
qint64 bytes_of_size_text(const QString& text)
{
    const QString number = text.trimmed().chopped(std::min<qsizetype>(2, text.trimmed().size()));
    // A hostile size column must not overflow: held at the largest count.
    constexpr qint64 Max = std::numeric_limits<qint64>::max() / 1000;
    qint64 value = 0;
    for (const QChar c : number) {
        if (!c.isDigit())
            break;
        value = value > (Max - 9) / 10 ? Max : value * 10 + c.digitValue();
    }
    return value * 1000;
}
} // namespace

void form1::MDOWN_Click()
{
    if (refuseWhileBusy())
        return;
    Tool_lock();
    if (Drive_kind(currentDrive().left(1)) == QStringLiteral("CD-ROM")) {
        prompts::Msg_box(QStringLiteral("CD-ROMドライブにはダウンロードできません。"), QStringLiteral("エラー"),
                         prompts::vbCritical);
        Tool_unlock();
        return;
    }
    if (Winsock1->State() == Winsock::sckClosed) {
        prompts::Msg_box(QStringLiteral("サーバーに接続されていません"), QStringLiteral("エラー"), prompts::vbCritical);
        return;
    }
    Down_Count = 0;
    const QList<int> rows = ListView1->selectedRows();
    if (rows.isEmpty()) {
        prompts::Msg_box(QStringLiteral("ファイルが選択されていません"), QStringLiteral("選択エラー"),
                         prompts::vbExclamation);
        Tool_unlock();
        return;
    }
    // Last selected first, as batches have always gone; the folders'
    // contents follow as they are listed.
    auto batch = std::make_unique<TransferBatch>();
    auto walk = std::make_unique<RemoteFolderWalk>(サーバーパス);
    for (auto it = rows.crbegin(); it != rows.crend(); ++it) {
        const QString name = ListView1->text(*it);
        if (ListView1->smallIcon(*it) == 1) {
            walk->add(name);
            batch->addFolder(name);
            continue;
        }
        const RowFacts facts = ListView1->facts(*it);
        BatchFile file;
        file.path = name;
        file.size = facts.bytes;
        file.dateText = ListView1->subItem(*it, 2);
        file.modified = facts.modified;
        file.link = ListView1->smallIcon(*it) == 4;
        // Without an exact size the progress goes by the size column.
        file.roughSize = file.size >= 0 ? file.size : bytes_of_size_text(ListView1->subItem(*it, 1));
        batch->addFile(file);
    }
    // The batch lands in the folder shown now, whatever the user browses
    // to while it runs.
    transferFolder_ = Local_Dir;
    batch_ = std::move(batch);
    Down_Count = qint16(std::min(batch_->fileCount(), 32767));
    beginOperation(Y_Count != 0 ? Operation::TextView : Operation::Download);
    if (batch_->walksFolders()) {
        folderWalk_ = std::move(walk);
        folder_batch::walk_next(*this);
        return;
    }
    folder_batch::start_download_files(*this);
}

void form1::Down_sele()
{
    BatchFile* f = nullptr;
    for (;;) {
        f = batch_ ? batch_->takeNext() : nullptr;
        Down_Count = batch_ ? qint16(std::min(batch_->remaining(), 32767)) : 0;
        if (!f) {
            endDownloadBatch();
            return;
        }
        Down_File = f->path;
        Down_Size = QString::number(f->roughSize);
        // A text view lands in text.txt; anything else must stay a plain
        // name inside the current local folder (or its folders below). A
        // line end in the name would end the RETR command early, so no such
        // name is fetched either way.
        const bool lineEnd = Down_File.contains(u'\r') || Down_File.contains(u'\n');
        if (!lineEnd && (Y_Count != 0 || is_plain_relative_path(Down_File)))
            break;
        const QString why = QStringLiteral("このコンピューターのファイル名として使えないため、ダウンロードしません。");
        if (batch_->walksFolders()) {
            batch_->note(Down_File, why);
            continue;
        }
        prompts::Msg_box(QStringLiteral("「") + Down_File + QStringLiteral("」は") + why, QStringLiteral("ダウンロード"),
                         prompts::vbExclamation);
    }
    // The one path the question asks about and the file is written to.
    downloadPath_ = transferFolder_ + QString(Down_File).replace(u'/', u'\\');
    // A link counts as a file there, a dangling one too: the download never
    // writes through it without asking.
    if (!Form13::Over_write && Y_Count == 0 && local_files::entry_exists(drives::to_native(downloadPath_))) {
        Form13* dialog = sameNameDialog();
        dialog->ask(Down_File);
        return;
    }
    down_loadA();
}

void form1::down_loadA()
{
    // Each file is confirmed on its own: by its data close and by the
    // server's reply to its RETR.
    downloadDataDone_ = false;
    downloadConfirmed_ = false;
    fCount = 0;   // becomes 1 when RETR goes out
    ループ回数 = 2;
    // What arrived of this very file before continues, where the server can.
    if (BatchFile* f = batch_ ? batch_->current() : nullptr) {
        f->resumeFrom = 0;
        const QString native = drives::to_native(downloadPath_);
        const qint64 part = Y_Count == 0 && f->size > 0 && session_.mayRestart() ? ReplacingFile::partLength(native) : -1;
        if (part > 0 && part < f->size && !f->dateText.isEmpty() &&
            ReplacingFile::originOf(native) == part_origin(サーバーパス, *f))
            f->resumeFrom = part;
        else if (part > 0) {
            Newtext = QStringLiteral("「") + Down_File +
                QStringLiteral("」の途中までのファイルは、ｻｰﾊﾞｰのファイルと日付かサイズが合わないため使わず、最初から転送します。\r\n");
            Text_plus();
        }
    }
    // The batch's type holds from file to file: one command less each.
    if (batch_ && batch_->binary && Y_Count == 0)
        Data_step();
    else
        sendLine(Y_Count != 0 ? QStringLiteral("TYPE A") : QStringLiteral("TYPE I"));
}
