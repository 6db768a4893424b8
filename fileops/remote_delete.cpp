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

bool form1::remoteBusy() const
{
    // A command sent now would take the place of the transfer's next step
    // in the reply dispatcher, and the selection keys are the transfer's.
    return dataBusy() || ループ回数 != 0;
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
        int count = 0;
        for (int row : rows)
            settings::save(Selection, QString::number(++count), ListView1->text(row));
        del_Count = qint16(count);
        const QString question = count == 1
            ? ListView1->text(rows.first()) + QStringLiteral("を削除してもいいですか？")
            : QStringLiteral("選択された") + QString::number(count) + QStringLiteral("個のファイルを削除していいですか？");
        if (prompts::Msg_box(question, QStringLiteral("削除確認"), prompts::vbQuestion, prompts::vbOKCancel) !=
            prompts::vbOK) {
            del_Count = 0;
            Tool_unlock();
            return;
        }
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
