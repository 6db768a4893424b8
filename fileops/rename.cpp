// Renaming the focused item of the active list: locally on the disk, or on
// the server with RNFR, the "350" reply, and RNTO from the new-name window.
#include <QLineEdit>

#include "app/form1.h"
#include "fileops/rename_dialog.h"
#include "platform/errors.h"
#include "platform/list_view.h"
#include "platform/prompts.h"
#include "platform/winsock.h"

Form6* form1::renameDialog()
{
    if (!form6_) {
        form6_ = new Form6(this, this);
        // No RNTO follows a cancelled name: the rename ends there.
        QObject::connect(form6_, &QDialog::rejected, this, [this] {
            if (operation_ == Operation::Rename)
                endOperation();
        });
    }
    return form6_;
}

namespace {
void ask(Form6* dialog)
{
    dialog->Text1->selectAll();
    dialog->Text1->setFocus();
    prompts::show_modal(dialog);
}
} // namespace

void form1::Mrename_Click()
{
    errors::trap(QStringLiteral("エラー"), [this] {
        if (Select_view == 0) {
            const int row = ListView2->selectedItem();
            if (row < 0)
                return;
            Form6* dialog = renameDialog();
            dialog->remote = false;
            dialog->oldName = ListView2->text(row);
            dialog->Text1->setText(dialog->oldName);
            ask(dialog);
            return;
        }
        if (refuseWhileBusy())
            return;
        Tool_lock();
        const int row = ListView1->selectedItem();
        if (row < 0 || ListView1->count() == 0) {
            Tool_unlock();
            return;
        }
        if (Winsock1->State() != Winsock::sckConnected) {
            prompts::Msg_box(QStringLiteral("サーバーに接続されていません"), QStringLiteral("エラー"),
                             prompts::vbCritical);
            return;
        }
        beginOperation(Operation::Rename);
        renameDialog()->remoteName = ListView1->text(row);
        sendLine(QStringLiteral("RNFR ") + ListView1->text(row));
    });
}

void form1::Rename_ready()
{
    Form6* dialog = renameDialog();
    if (dialog->isVisible())
        return;   // a repeated "350" while the name is being asked
    // The server waits for RNTO now, whichever list the name came from.
    dialog->remote = true;
    // Prefilled with the name the server was given, whichever list is active
    // now (none for an RNFR typed as a raw command).
    dialog->Text1->setText(dialog->remoteName);
    dialog->remoteName.clear();
    ask(dialog);
}
