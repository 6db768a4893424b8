// Deleting remote files one DELE per "250" reply, from the last selected to
// the first.
#include "app/form1.h"
#include "platform/errors.h"
#include "platform/list_view.h"
#include "platform/prompts.h"
#include "platform/settings_store.h"
#include "platform/winsock.h"

namespace {
const QString Selection = QStringLiteral("FILE_SENTAKU");
}

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
        for (int row : rows)
            names << ListView1->text(row);
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
