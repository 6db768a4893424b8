// The upload batch: the selected local files, one after the other, into the
// current remote folder, sent in 1024-byte blocks.
#include <QFile>
#include <QProgressBar>

#include "app/form1.h"
#include "platform/app_clock.h"
#include "platform/drive_view.h"
#include "platform/list_view.h"
#include "platform/prompts.h"
#include "platform/settings_store.h"
#include "platform/winsock.h"
#include "transfer/progress_text.h"
#include "transfer/same_name_dialog.h"

namespace {
const QString Selection = QStringLiteral("FILE_SENTAKU");
constexpr qint64 BlockSize = 1024;
} // namespace

Form13* form1::sameNameDialog()
{
    if (!form13_)
        form13_ = new Form13(this, this);
    return form13_;
}

void form1::Mupload_Click()
{
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
    // Every selected item, not only the focused one: a folder further down
    // would fail only when it is opened.
    for (int row : rows) {
        if (ListView2->subItem(row, 1).trimmed().isEmpty()) {
            prompts::Msg_box(QStringLiteral("ﾌｫﾙﾀﾞ丸ごとのダウンロードは、サポートしていません。ファイルを選択してください。"),
                             QStringLiteral("お詫び"), prompts::vbExclamation);
            Tool_unlock();
            return;
        }
    }
    if (rows.size() > std::numeric_limits<qint16>::max()) {
        prompts::Msg_box(QStringLiteral("一度にアップロードできるのは32767個までです。"), QStringLiteral("選択エラー"),
                         prompts::vbExclamation);
        Tool_unlock();
        return;
    }
    Up_Count = 0;
    int count = 0;
    for (int row : rows)
        settings::save(Selection, QString::number(++count), ListView2->text(row));
    Up_Count = qint16(count);
    Up_select();
}

void form1::Up_select()
{
    ループ回数 = 4;
    sendLine(QStringLiteral("TYPE I"));
}

void form1::Up_LoadA()
{
    Up_File = settings::get(Selection, QString::number(Up_Count));
    --Up_Count;
    if (!Form13::Over_write) {
        for (int i = 0; i < ListView1->count(); ++i) {
            if (ListView1->text(i) == Up_File) {
                Douitu = 1;
                break;
            }
        }
    }
    if (Douitu == 1) {
        sameNameDialog()->ask(Up_File);
        return;
    }
    Up_loadB();
}

void form1::Up_loadB()
{
    最初の送信 = 1;
    storSent_ = true;
    storAccepted_ = false;
    sendLine(QStringLiteral("STOR ") + Up_File);
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
        Up_File2 = Local_Dir + Up_File;
        uploadFile = std::make_unique<QFile>(drives::to_native(Up_File2));
        if (!uploadFile->open(QIODevice::ReadOnly)) {
            failTransfer(QStringLiteral("アップロードするファイルを開けませんでした。\n") + Up_File2 +
                         QStringLiteral("\n") + uploadFile->errorString());
            return;
        }
        Gcount = 1;
        if (uploadFile->size() == 0) {
            // Nothing to send means no send-complete event: finish at once.
            ProgressBar1->setVisible(true);
            ProgressBar1->setValue(100);
            setStatusText(upload_status_text(Up_File, 0, 0, 0));
            Gcount = 3;
            finishUploadFile();
            return;
        }
    }
    if (!uploadFile)
        return;
    const QByteArray block = uploadFile->read(BlockSize);
    if (block.isEmpty() && !uploadFile->atEnd()) {
        failTransfer(QStringLiteral("アップロードするファイルを読めませんでした。\n") + Up_File2 + QStringLiteral("\n") +
                     uploadFile->errorString());
        return;
    }
    Winsock2->SendData(block);
}

void form1::Winsock2_SendProgress(qint64 bytesSent, qint64)
{
    if (ループ回数 != 5 || Gcount == 0)
        return;
    ProgressBar1->setVisible(true);
    if (最初の送信 == 1) {
        Time_start = app_clock::now();
        最初の送信 = 0;
        Bytes_Total1 = 0;
    }
    const qint64 length = uploadLength();
    Bytes_Total1 = std::min(Bytes_Total1 + bytesSent, length);
    int percent = 0;
    setStatusText(upload_status_text(Up_File, Bytes_Total1, length,
                                     double(Time_start.secsTo(app_clock::now())), &percent));
    ProgressBar1->setValue(percent);
    if (Bytes_Total1 >= length)
        Gcount = 3;
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
    storSent_ = false;
    storAccepted_ = false;
    closeAllFiles();
    Winsock2->Close();
    Winsock2->LocalPort = 0;
    Winsock2->Listen();
    Bytes_Total1 = 0;
    ループ回数 = 0;
    if (Up_Count == 0)
        Form13::Over_write = false;
    setStatusText(QStringLiteral("転送終了しました。"));
    Newtext = QStringLiteral("ｱｯﾌﾟﾛｰﾄﾞ終了しました。\r\n");
    Text_plus();
}
