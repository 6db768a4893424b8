// The download batch: the selected remote files, one after the other, into
// the current local folder.

#include "app/drive_kind.h"
#include "app/form1.h"
#include "fileops/local_files.h"
#include "platform/drive_view.h"
#include "platform/list_view.h"
#include "platform/prompts.h"
#include "platform/settings_store.h"
#include "platform/winsock.h"
#include "transfer/local_names.h"
#include "transfer/same_name_dialog.h"

namespace {
const QString Selection = QStringLiteral("FILE_SENTAKU");
const QString Sizes = QStringLiteral("FILE_SIZE");

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
    if (rows.size() > std::numeric_limits<qint16>::max()) {
        prompts::Msg_box(QStringLiteral("一度にダウンロードできるのは32767個までです。"), QStringLiteral("選択エラー"),
                         prompts::vbExclamation);
        Tool_unlock();
        return;
    }
    int count = 0;
    for (int row : rows) {
        ++count;
        if (ListView1->subItem(row, 1).trimmed().isEmpty()) {
            prompts::Msg_box(QStringLiteral("ﾌｫﾙﾀﾞ丸ごとのダウンロードは、サポートしていません。ファイルを選択してください。"),
                             QStringLiteral("お詫び"), prompts::vbExclamation);
            Tool_unlock();
            return;
        }
        settings::save(Selection, QString::number(count), ListView1->text(row));
        settings::save(Sizes, QString::number(count), QString::number(bytes_of_size_text(ListView1->subItem(row, 1))));
    }
    Down_Count = qint16(count);
    // The batch lands in the folder shown now, whatever the user browses
    // to while it runs.
    transferFolder_ = Local_Dir;
    batchStored_ = true;
    beginOperation(Y_Count != 0 ? Operation::TextView : Operation::Download);
    Down_sele();
}

void form1::Down_sele()
{
    for (;;) {
        Down_File = settings::get(Selection, QString::number(Down_Count));
        Down_Size = settings::get(Sizes, QString::number(Down_Count));
        --Down_Count;
        if (Down_Size.isEmpty()) {
            endDownloadBatch();
            return;
        }
        // A text view lands in text.txt; anything else must stay a plain name
        // inside the current local folder. A line end in the name would end
        // the RETR command early, so no such name is fetched either way.
        const bool lineEnd = Down_File.contains(u'\r') || Down_File.contains(u'\n');
        if (!lineEnd && (Y_Count != 0 || is_plain_local_name(Down_File)))
            break;
        prompts::Msg_box(QStringLiteral("「") + Down_File +
                             QStringLiteral("」はこのコンピューターのファイル名として使えないため、ダウンロードしません。"),
                         QStringLiteral("ダウンロード"), prompts::vbExclamation);
        if (Down_Count <= 0) {
            Down_Count = 0;
            endDownloadBatch();
            return;
        }
    }
    // The one path the question asks about and the file is written to.
    downloadPath_ = transferFolder_ + Down_File;
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
    sendLine(Y_Count != 0 ? QStringLiteral("TYPE A") : QStringLiteral("TYPE I"));
}
