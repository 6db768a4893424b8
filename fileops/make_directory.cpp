// Making a folder in the active list: on the local disk, or with MKD.
#include "app/drive_kind.h"
#include "app/form1.h"
#include "fileops/local_files.h"
#include "platform/drive_view.h"
#include "platform/errors.h"
#include "platform/prompts.h"
#include "platform/winsock.h"

void form1::MMkdir_Click()
{
    errors::trap(QStringLiteral("エラー"), [this] {
        const bool remote = Select_view != 0;
        if (remote && refuseWhileBusy())
            return;
        const QString name = prompts::Input_box(QStringLiteral("作成するﾃﾞｨﾚｸﾄﾘｰ名を入力してください"),
                                                QStringLiteral("ﾃﾞｨﾚｸﾄﾘｰの作成"));
        if (name.isEmpty())
            return;
        if (remote) {
            if (refuseWhileBusy())
                return;   // started while the name was being asked
            if (Winsock1->State() != Winsock::sckConnected) {
                prompts::Msg_box(QStringLiteral("サーバーに接続されていません"), QStringLiteral("エラー"),
                                 prompts::vbCritical);
                return;
            }
            if (refuseUnsendable(name, QStringLiteral("ﾃﾞｨﾚｸﾄﾘｰを作成できません。"), QStringLiteral("ﾃﾞｨﾚｸﾄﾘｰの作成")))
                return;
            beginOperation(Operation::MakeFolder);
            sendLine(QStringLiteral("MKD ") + name);
            return;
        }
        if (Drive_kind(currentDrive().left(1)) == QStringLiteral("CD-ROM")) {
            prompts::Msg_box(QStringLiteral("CD-ROMドライブには作成できません。"), QStringLiteral("エラー"),
                             prompts::vbCritical);
            return;
        }
        if (!local_files::is_plain_name(name)) {
            prompts::Msg_box(QStringLiteral(R"(ﾃﾞｨﾚｸﾄﾘｰ名に「\」や「/」は使えません。)") + QStringLiteral("\n") + name,
                             QStringLiteral("ﾃﾞｨﾚｸﾄﾘｰ作成エラー"), prompts::vbExclamation);
            return;
        }
        const QString drive = currentDrive();
        const QString path = 現在のローカルパス.trimmed().isEmpty()
            ? drive + QStringLiteral("\\") + name
            : drive + 現在のローカルパス + QStringLiteral("\\") + name;
        const QString native = drives::to_native(path);
        const local_files::MakeResult made =
            native.isEmpty() ? local_files::MakeResult::Failed : local_files::make_folder(native);
        if (made == local_files::MakeResult::Exists)
            prompts::Msg_box(QStringLiteral("同一名のﾃﾞｨﾚｸﾄﾘｰがすでに存在します。"), QStringLiteral("ﾃﾞｨﾚｸﾄﾘｰ作成エラー"),
                             prompts::vbCritical);
        else if (made == local_files::MakeResult::Failed)
            prompts::Msg_box(QStringLiteral("エラーが発生しました。\n") + path + QStringLiteral("を作成できませんでした。"),
                             QStringLiteral("エラー"), prompts::vbExclamation);
        Local_list();
    });
}
