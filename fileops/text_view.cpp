// The selected file of the active list in the text editor: a remote file is
// fetched in text mode into text.txt first, a local one is opened in place.
#include "app/form1.h"
#include "platform/drive_view.h"
#include "platform/errors.h"
#include "platform/launcher.h"
#include "platform/list_view.h"
#include "platform/prompts.h"

void form1::Mtext_Click()
{
    errors::trap(QStringLiteral("エラー"), [this] {
        if (Select_view != 0 && refuseWhileBusy())
            return;   // the flag below would turn the running transfer into a text view
        Tool_lock();
        if (Select_view != 0) {
            const int row = ListView1->selectedItem();
            if (row < 0 || ListView1->subItem(row, 1).trimmed().isEmpty()) {
                Tool_unlock();
                return;
            }
            // One file is viewed: the download takes every selected one.
            ListView1->setCurrentRow(row, true);
            Y_Count = -1;
            MDOWN_Click();
            // The download refused (not connected, nothing to fetch): the
            // flag must not catch the next listing.
            if (ループ回数 != 2)
                Y_Count = 0;
            return;
        }
        const int row = ListView2->selectedItem();
        if (row < 0 || ListView2->subItem(row, 1).trimmed().isEmpty()) {
            Tool_unlock();
            return;
        }
        const QString path = currentDrive() + 現在のローカルパス + QStringLiteral("\\") + ListView2->text(row);
        const QString native = drives::to_native(path);
        if (native.isEmpty() || !launcher::open_text(native))
            prompts::Msg_box(QStringLiteral("テキストエディターで開けませんでした。\n") + path, QStringLiteral("エラー"),
                             prompts::vbExclamation);
        Tool_unlock();
    });
}
