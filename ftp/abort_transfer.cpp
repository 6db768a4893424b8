// Abort of the running transfer.
#include <QProgressBar>

#include "app/form1.h"
#include "platform/errors.h"
#include "platform/mouse_pointer.h"
#include "platform/winsock.h"
#include "fileops/remote_tree_delete.h"
#include "transfer/same_name_dialog.h"

void form1::Mabore_Click()
{
    errors::trap(QStringLiteral("ABORエラー"), [this] {
        // The log-in is not left half done: the connection ends, and
        // nothing more is sent on it (before the handshake has finished,
        // nothing may go out in clear).
        if (operation_ == Operation::Login) {
            endLogin();
            setStatusText(QStringLiteral("中断しました。"));
            return;
        }
        // A download is written beside its target and only moved over it when
        // complete: dropping it leaves the local file as it was. The data
        // connection ends here too, so whatever the server still sends for the
        // aborted transfer is not taken for the next listing.
        // A folder walk of a deletion or a batch left the server in another folder.
        const bool wandered = treeDelete_ != nullptr || folderWalk_ != nullptr;
        endOperation();
        setStatusText(QStringLiteral("中断しました。"));
        rCount = 0;
        if (Winsock1->State() == Winsock::sckConnected) {
            sendLine(QStringLiteral("ABOR"));
            // The remote side may hold part of an upload: list it afresh
            // (after going back to the folder shown, whose "250" lists it).
            if (wandered)
                sendLine(QStringLiteral("CWD ") + (サーバーパス.isEmpty() ? QStringLiteral("/") : サーバーパス));
            else
                Send_pwd();
        }
    });
}
