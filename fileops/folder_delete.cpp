// Removing a local folder with everything below it.
#include "app/form1.h"
#include "fileops/local_files.h"
#include "platform/drive_view.h"
#include "platform/errors.h"
#include "platform/list_view.h"
#include "platform/prompts.h"

void form1::Folder_delete()
{
    errors::trap(QStringLiteral("エラー"), [this] {
        const int row = ListView2->selectedItem();
        if (row < 0)
            return;
        const QString name = ListView2->text(row);
        // "." or ".." would name this folder or its parent.
        if (!local_files::is_plain_name(name) || name == QStringLiteral(".") || name == QStringLiteral(".."))
            return;
        const QString path = Local_Dir + name;
        const QString native = drives::to_native(path);
        if (prompts::Msg_box(QStringLiteral("「") + name + QStringLiteral("」（ファイル ") +
                                 QString::number(native.isEmpty() ? 0 : local_files::count_files(native)) +
                                 QStringLiteral(" 個を含む）をごみ箱に移しますか？"),
                             QStringLiteral("削除確認"), prompts::vbExclamation, prompts::vbOKCancel) != prompts::vbOK)
            return;
        QList<local_files::Failure> failures;
        QString reason;
        if (native.isEmpty()) {
            failures.append({path, errors::description(errors::PathNotFound)});
        } else if (!local_files::move_to_trash(native, &reason)) {
            // Where no Trash takes it, the user agrees once more to losing it for good.
            if (prompts::Msg_box(QStringLiteral("「") + name + QStringLiteral("」はごみ箱に移せません。完全に削除しますか？（元に戻せません）\n") +
                                     reason,
                                 QStringLiteral("削除確認"), prompts::vbExclamation, prompts::vbOKCancel) != prompts::vbOK)
                return;
            failures = local_files::remove_tree(native);
        }
        for (local_files::Failure& f : failures) {
            const QString drivePath = drives::from_native(f.path);
            if (!drivePath.isEmpty())
                f.path = drivePath;
        }
        if (!failures.isEmpty())
            prompts::Msg_box(local_files::failure_text(path + QStringLiteral("の削除中に、次の項目を削除できませんでした。"),
                                                       failures),
                             QStringLiteral("削除エラー"), prompts::vbExclamation);
        Local_list();
    });
}
