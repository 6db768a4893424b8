// Abort of the running transfer.
#include <QProgressBar>

#include "app/form1.h"
#include "platform/errors.h"
#include "platform/mouse_pointer.h"
#include "platform/winsock.h"
#include "transfer/same_name_dialog.h"

void form1::Mabore_Click()
{
    errors::trap(QStringLiteral("ABORエラー"), [this] {
        // A download is written beside its target and only moved over it when
        // complete: closing drops the part, so the local file stays as it was.
        closeAllFiles();
        setStatusText(QStringLiteral("中断しました。"));
        Down_Count = 0;
        Up_Count = 0;
        ループ回数 = 0;
        Gcount = 0;
        rCount = 0;
        // The receiving modes too, or the next listing would be taken for the
        // rest of a text view or land after the part of an aborted one.
        Dcount = 0;
        fCount = 0;
        Y_Count = 0;
        Form13::Over_write = false;
        Douitu = 0;
        if (Form13* question = findChild<Form13*>(); question && question->isVisible())
            question->hide();
        ProgressBar1->setVisible(false);
        mouse_pointer::set(mouse_pointer::Default);
        if (Winsock1->State() == Winsock::sckConnected) {
            // End the data connection here: whatever the server still sends
            // for the aborted transfer is dropped instead of arriving in
            // listing mode. The listener is ready for the next command.
            Winsock2->Close();
            Winsock2->LocalPort = 0;
            Winsock2->Listen();
            sendLine(QStringLiteral("ABOR"));
            // The remote side may hold part of an upload: list it afresh.
            Send_pwd();
        }
        Tool_unlock();
    });
}
