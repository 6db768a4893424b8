// Deleting remote files one DELE per "250" reply, from the last selected to
// the first.

#include "app/form1.h"
#include "ftp/data_commands.h"
#include "fileops/remote_tree_delete.h"
#include "ftp/reply_texts.h"
#include "fileops/remote_delete.h"
#include "transfer/folder_batch.h"
#include "transfer/remote_folder_walk.h"
#include "platform/program_folder.h"
#include "platform/errors.h"
#include "platform/list_view.h"
#include "platform/prompts.h"
#include "platform/settings_store.h"
#include "platform/winsock.h"

namespace {
const QString Selection = QStringLiteral("FILE_SENTAKU");

// The deletion is over: the list again, and what the server refused.
void end_tree_delete(form1& w)
{
    const QList<RemoteTreeDelete::Refusal> refusals = w.treeDelete_->refusals();
    w.treeDelete_.reset();
    w.Send_pwd();
    if (refusals.isEmpty())
        return;
    QString text = QStringLiteral("次の項目を削除できませんでした。");
    for (const RemoteTreeDelete::Refusal& r : refusals)
        text += u'\n' + r.path + QStringLiteral("（") + r.reply + QStringLiteral("）");
    w.Newtext = text + QStringLiteral("\r\n");
    w.Text_plus();
    prompts::Msg_box(text, QStringLiteral("削除エラー"), prompts::vbExclamation);
}
} // namespace

void form1::Remote_delete()
{
    errors::trap(QStringLiteral("削除エラー"), [this] {
        const QList<int> rows = ListView1->selectedRows();
        if (rows.isEmpty()) {
            Tool_unlock();
            return;
        }
        if (rows.size() > std::numeric_limits<qint16>::max()) {
            prompts::Msg_box(QStringLiteral("一度に削除できるのは32767個までです。"), QStringLiteral("選択エラー"),
                             prompts::vbExclamation);
            Tool_unlock();
            return;
        }
        QStringList names;
        QList<bool> folders;
        for (int row : rows) {
            names << ListView1->text(row);
            folders << (ListView1->smallIcon(row) == 1);
        }
        const int count = int(names.size());
        const QString question = count == 1
            ? names.first() + QStringLiteral("を削除してもいいですか？")
            : QStringLiteral("選択された") + QString::number(count) + QStringLiteral("個のファイルを削除していいですか？");
        if (prompts::Msg_box(question, QStringLiteral("削除確認"), prompts::vbQuestion, prompts::vbOKCancel) !=
            prompts::vbOK) {
            Tool_unlock();
            return;
        }
        // The question waited on its own event loop: the list may have
        // changed under it, and the selection keys are the batch's only now.
        if (refuseWhileBusy())
            return;
        // Folders are listed first, everything in them goes before them.
        if (folders.contains(true)) {
            beginOperation(Operation::Delete);
            treeDelete_ = std::make_unique<RemoteTreeDelete>(サーバーパス.isEmpty() ? QStringLiteral("/") : サーバーパス);
            for (int i = 0; i < count; ++i) {
                if (folders.at(i))
                    treeDelete_->addFolder(names.at(i));
                else
                    treeDelete_->addFile(names.at(i));
            }
            tree_delete::next(*this);
            return;
        }
        for (int i = 0; i < count; ++i)
            settings::save(Selection, QString::number(i + 1), names.at(i));
        batchStored_ = true;
        beginOperation(Operation::Delete);
        del_Count = qint16(count);
        Dele_next();
    });
}

void form1::Dele_next()
{
    if (del_Count == 0)
        return;
    if (Winsock1->State() != Winsock::sckConnected) {
        del_Count = 0;
        connectionFailed();
        return;
    }
    const QString name = settings::get(Selection, QString::number(del_Count));
    --del_Count;
    if (name.isEmpty() || name.contains(u'\r') || name.contains(u'\n')) {
        // Send_command refuses such a line and no reply would come; a
        // later "250" must not pick up the rest of this batch.
        if (!name.isEmpty())
            sendLine(QStringLiteral("DELE ") + name);
        del_Count = 0;
        Send_pwd();
        return;
    }
    sendLine(QStringLiteral("DELE ") + name);
}

namespace tree_delete {

void next(form1& w)
{
    RemoteTreeDelete& tree = *w.treeDelete_;
    if (tree.phase() == RemoteTreeDelete::Phase::Walking) {
        const QString folder = tree.nextToList();
        if (!folder.isEmpty()) {
            w.sendLine(QStringLiteral("CWD ") + folder);
            return;
        }
        // Everything is known: a folder that holds anything is asked about.
        const QList<RemoteTreeDelete::Top> tops = tree.tops();
        const quint64 operation = w.operationId_;
        for (const RemoteTreeDelete::Top& top : tops) {
            if (top.files.isEmpty() && top.folders.isEmpty())
                continue;
            const QString name = top.path.mid(top.path.lastIndexOf(u'/') + 1);
            const int answer = prompts::Msg_box(QStringLiteral("「") + name + QStringLiteral("」の中のファイル ") +
                                                    QString::number(top.files.size()) + QStringLiteral(" 個とフォルダ ") +
                                                    QString::number(top.folders.size()) + QStringLiteral(" 個も削除しますか？"),
                                                QStringLiteral("削除確認"), prompts::vbExclamation, prompts::vbOKCancel);
            if (operation != w.operationId_)
                return;   // 中断 or a lost connection while asked
            if (answer != prompts::vbOK)
                w.treeDelete_->keep(top.path);
        }
        // The walk left the server in another folder: back first, so the
        // list afterwards is the folder the user deleted in.
        w.treeDelete_->startReturning();
        w.sendLine(QStringLiteral("CWD ") + (w.サーバーパス.isEmpty() ? QStringLiteral("/") : w.サーバーパス));
        return;
    }
    if (tree.phase() == RemoteTreeDelete::Phase::ReturningHome)
        tree.startDeleting();
    const RemoteTreeDelete::Step step = tree.next();
    if (!step.verb.isEmpty()) {
        w.sendLine(step.verb + u' ' + step.path);
        return;
    }
    end_tree_delete(w);
}

void listed(form1& w, bool anything)
{
    w.treeDelete_->listed(folder_batch::listed_entries(w, anything));
    next(w);
}

bool take_reply(form1& w, const QString& verb, const QString& code, const QString& reply)
{
    if (!w.treeDelete_ || code == QStringLiteral("421"))
        return false;
    const bool refused = code.startsWith(u'4') || code.startsWith(u'5');
    const RemoteTreeDelete::Phase phase = w.treeDelete_->phase();
    if (verb == QStringLiteral("CWD") && phase == RemoteTreeDelete::Phase::Walking) {
        if (refused) {
            w.treeDelete_->refuseListing(first_line(reply));
            next(w);
        } else {
            w.Send_type();   // then the listing of the folder entered
        }
        return true;
    }
    if (verb == QStringLiteral("CWD") && phase == RemoteTreeDelete::Phase::ReturningHome) {
        next(w);
        return true;
    }
    if ((verb == QStringLiteral("DELE") || verb == QStringLiteral("RMD")) && phase == RemoteTreeDelete::Phase::Deleting) {
        if (refused)
            w.treeDelete_->refuse(first_line(reply));
        next(w);
        return true;
    }
    if (is_listing_command(verb) && refused && phase == RemoteTreeDelete::Phase::Walking) {
        w.treeDelete_->refuseListing(first_line(reply));
        w.stopWaiting();
        w.ループ回数 = 0;
        next(w);
        return true;
    }
    return false;
}

} // namespace tree_delete
