// The delete command and the deletion of the selected local files.
#include "app/drive_kind.h"
#include "app/form1.h"
#include "fileops/local_files.h"
#include "platform/drive_view.h"
#include "platform/errors.h"
#include "platform/list_view.h"
#include "platform/prompts.h"

namespace {
// Folders and links to folders have a blank size.
bool is_folder_row(const ListView* list, int row) { return list->subItem(row, 1).trimmed().isEmpty(); }
} // namespace

void form1::Mrmdir_Click()
{
    errors::trap(QStringLiteral("エラー"), [this] {
        if (Select_view == 1) {
            if (ListView1->count() == 0 || refuseWhileBusy())
                return;
            Tool_lock();
            Remote_delete();
            return;
        }
        if (Drive_kind(currentDrive().left(1)) == QStringLiteral("CD-ROM")) {
            prompts::Msg_box(QStringLiteral("CD-ROMドライブなので削除できません。"), QStringLiteral("エラー"),
                             prompts::vbCritical);
            return;
        }
        const QList<int> rows = ListView2->selectedRows();
        if (rows.isEmpty() || ListView2->count() == 0)
            return;
        // A folder is removed on its own; once files are selected too, the
        // files are deleted and the folders left alone.
        const bool anyFile = std::any_of(rows.begin(), rows.end(),
                                         [this](int row) { return !is_folder_row(ListView2, row); });
        if (anyFile)
            Local_delete();
        else
            Folder_delete();
    });
}

void form1::Local_delete()
{
    errors::trap(QStringLiteral("削除エラー"), [this] {
        QStringList files, folders;
        for (int row : ListView2->selectedRows())
            (is_folder_row(ListView2, row) ? folders : files).append(ListView2->text(row));
        if (!folders.isEmpty()) {
            QList<local_files::Failure> left;
            for (const QString& name : folders)
                left.append({Local_Dir + name, QString()});
            prompts::Msg_box(local_files::failure_text(
                                 QStringLiteral("フォルダーはファイルと一緒には削除しません。次のフォルダーはそのまま残ります。"), left),
                             QStringLiteral("削除確認"), prompts::vbInformation);
        }
        if (files.isEmpty())
            return;
        const QString question = files.size() == 1
            ? QStringLiteral("「") + files.first() + QStringLiteral("」をごみ箱に移しますか？")
            : QStringLiteral("選択された") + QString::number(files.size()) + QStringLiteral("個のファイルをごみ箱に移しますか？");
        if (prompts::Msg_box(question, QStringLiteral("削除確認"), prompts::vbQuestion, prompts::vbOKCancel) !=
            prompts::vbOK)
            return;

        QList<local_files::Failure> failures, untrashable;
        for (const QString& name : files) {
            const QString path = Local_Dir + name;
            const QString native = drives::to_native(path);
            if (native.isEmpty() || !local_files::entry_exists(native)) {
                failures.append({path, errors::description(native.isEmpty() ? errors::PathNotFound : errors::FileNotFound)});
                continue;
            }
            if (local_files::is_read_only(native) &&
                prompts::Msg_box(path + QStringLiteral("は読み取り専用ですが、削除しますか？"), QStringLiteral("確認"),
                                 prompts::vbQuestion, prompts::vbOKCancel) != prompts::vbOK)
                continue;
            QString reason;
            if (!local_files::move_to_trash(native, &reason))
                untrashable.append({path, reason});
        }
        // Where no Trash takes them, the user agrees once more to losing them for good.
        if (!untrashable.isEmpty() &&
            prompts::Msg_box(local_files::failure_text(
                                 QStringLiteral("次のファイルはごみ箱に移せません。完全に削除しますか？（元に戻せません）"), untrashable),
                             QStringLiteral("削除確認"), prompts::vbExclamation, prompts::vbOKCancel) == prompts::vbOK) {
            for (const local_files::Failure& f : untrashable) {
                const QString native = drives::to_native(f.path);
                // Deleting needs only the folder's permission; the user has
                // agreed, so a file we may not change is still deleted.
                if (local_files::is_read_only(native))
                    local_files::clear_read_only(native);
                QString reason;
                if (!local_files::remove_file(native, &reason))
                    failures.append({f.path, reason});
            }
        }
        if (!failures.isEmpty())
            prompts::Msg_box(local_files::failure_text(QStringLiteral("次のファイルを削除できませんでした。"), failures),
                             QStringLiteral("削除エラー"), prompts::vbExclamation);
        Local_list();
    });
}
