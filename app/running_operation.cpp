// What runs on the server: one operation at a time (log-in, listing, a batch,
// a delete chain, a rename, a text view), started by one command and ended
// by one path whatever ends it, so that nothing of it outlives it.
#include <QAction>
#include <QComboBox>
#include <QProgressBar>
#include <QPushButton>

#include "app/form1.h"
#include "fileops/remote_tree_delete.h"
#include "fileops/rename_dialog.h"
#include "transfer/remote_folder_walk.h"
#include "transfer/transfer_batch.h"
#include "ftp/retry_dialog.h"
#include "platform/mouse_pointer.h"
#include "platform/prompts.h"
#include "platform/settings_store.h"
#include "platform/winsock.h"
#include "transfer/same_name_dialog.h"

void form1::beginOperation(Operation op)
{
    operation_ = op;
    ++operationId_;
    updateCommandAvailability();
}

void form1::continueAs(Operation op)
{
    // Replies still owed belong to the same command: the id stays.
    if (operation_ == Operation::None) {
        beginOperation(op);
        return;
    }
    // The log-in runs on until the start folder is listed.
    if (operation_ == Operation::Login)
        return;
    operation_ = op;
}

void form1::endOperation()
{
    // Nothing half done is kept (an unfinished download never replaces a
    // file; an unfinished upload is cut off with a reset so the server sees
    // it fail), no batch goes on, and the listener is ready for the next one.
    const bool uploadCut = uploadFile != nullptr && Winsock2->State() == Winsock::sckConnected;
    closeAllFiles();
    stopWaiting();
    downloadDataDone_ = false;
    downloadConfirmed_ = false;
    storSent_ = false;
    storAccepted_ = false;
    transferEnd_ = {};
    if (uploadCut)
        Winsock2->Abort();
    Winsock2->Close();
    Winsock2->LocalPort = 0;
    Winsock2->Listen();
    ProgressBar1->setVisible(false);
    mouse_pointer::set(mouse_pointer::Default);
    Down_Count = 0;
    Up_Count = 0;
    del_Count = 0;
    ループ回数 = 0;
    Gcount = 0;
    Dcount = 0;
    fCount = 0;
    Y_Count = 0;
    Douitu = 0;
    Bytes_Total1 = 0;
    Form13::Over_write = false;
    if (form13_)
        form13_->hide();
    // A new name asked for a rename that has ended would go to a server no
    // longer waiting for it.
    if (form6_ && form6_->remote && form6_->isVisible())
        form6_->hide();
    if (batchStored_) {
        batchStored_ = false;
        settings::delete_section(QStringLiteral("FILE_SENTAKU"));
        settings::delete_section(QStringLiteral("FILE_SIZE"));
    }
    transferFolder_.clear();
    downloadPath_.clear();
    treeDelete_.reset();
    batch_.reset();
    folderWalk_.reset();
    StatusPanel3->setVisible(false);
    operation_ = Operation::None;
    ++operationId_;   // whatever it still owes the server is only logged
    Tool_unlock();
    updateCommandAvailability();
}

void form1::settleOperation()
{
    // A reply that answered the last owed command without sending another
    // (a server that skips a step, a refusal the program only notes) leaves
    // the operation waiting for nothing: it ends, instead of locking every
    // command until 中断.
    if (!busy())
        return;
    // The handshake and the certificate question owe no reply, yet the
    // log-in goes on after them.
    if (session_.tlsStarting || session_.certificateAsked)
        return;
    // A data command answered before its data came still waits for them.
    if (transferEnd_.dataOwedBy == operationId_)
        return;
    for (const SentCommand& c : sentCommands_)
        if (c.operation == operationId_)
            return;   // an answer is still owed
    const int data = Winsock2->State();
    // A data connection that failed is about to say so, and that ends it.
    if (data == Winsock::sckConnected || data == Winsock::sckClosing || data == Winsock::sckError ||
        transferWait_ != TransferWait::None)
        return;   // data are flowing or awaited
    if ((form13_ && form13_->isVisible()) || (form6_ && form6_->isVisible()))
        return;   // the user is being asked
    if (Gcount != 0 || Dcount != 0 || Douitu != 0)
        return;
    endOperation();
}

QString form1::operationName() const
{
    switch (operation_) {
    case Operation::Login: return QStringLiteral("ログイン");
    case Operation::Listing: return QStringLiteral("一覧の取得");
    case Operation::Download: return QStringLiteral("ダウンロード");
    case Operation::Upload: return QStringLiteral("アップロード");
    case Operation::Delete: return QStringLiteral("削除");
    case Operation::Rename: return QStringLiteral("名前の変更");
    case Operation::MakeFolder: return QStringLiteral("ﾃﾞｨﾚｸﾄﾘｰの作成");
    case Operation::TextView: return QStringLiteral("テキストビュー");
    case Operation::None: break;
    }
    return QString();
}

bool form1::refuseWhileBusy()
{
    if (!busy())
        return false;
    prompts::Msg_box(QStringLiteral("「") + operationName() +
                         QStringLiteral("」の実行中です。終わるまで待つか、「中断」してから操作してください。"),
                     QStringLiteral("実行中"), prompts::vbExclamation);
    return true;
}

void form1::updateCommandAvailability()
{
    // Everything that would send on the control connection, or change where
    // the running transfer reads or writes, waits for the operation's end.
    const bool free = !busy();
    const bool remoteFree = free || Select_view == 0;
    for (QAction* a : {Msend, MDOWN2, MMkdir3, Mdel2, Mrname2, Mtextview, Mup})
        a->setEnabled(free);
    for (QAction* a : {Mnew, MMkdir, Mrmdir, Mrename, Mtext})
        a->setEnabled(remoteFree);
    // These two follow the connection as well.
    const bool connected = controlShown_;
    MDOWN->setEnabled(free && connected);
    Mupload->setEnabled(free && connected);
    CDUP->setEnabled(free && connected && サーバーパス != QStringLiteral("/") && !サーバーパス.isEmpty());
    if (!free)
        Tool_lock();
}

bool form1::confirmNewConnection()
{
    // A countdown to an earlier entry must not connect over the new one.
    if (form12_)
        form12_->Form_Unload();
    if (Winsock1->State() == Winsock::sckConnected) {
        const int answer = prompts::Msg_box(QStringLiteral("ｻｰﾊﾞｰに接続中です。切断して接続しますか？"),
                                            QStringLiteral("接続中"), prompts::vbQuestion, prompts::vbOKCancel);
        if (answer != prompts::vbOK)
            return false;
        if (operation_ == Operation::Login) {
            endLogin();   // nothing more goes out on a half-made log-in
        } else {
            endOperation();
            Send_quit();
        }
        // The dropped connection's remaining attempts are not the new one's.
        リトライ回数 = 0;
        リトライ間隔 = 0;
    } else if (busy()) {
        endOperation();
    }
    return true;
}
