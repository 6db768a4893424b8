// The main window's links to the desktop (open a file, the help page, the
// version window) and the menu commands that only refresh or forward.
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include "app/form1.h"
#include "app/help_file.h"
#include "platform/drive_view.h"
#include "platform/errors.h"
#include "platform/launcher.h"
#include "platform/list_view.h"
#include "platform/prompts.h"
#include "servers/server_list_dialog.h"

namespace help_file {

QStringList folders()
{
    const QString exeDir = QCoreApplication::applicationDirPath();
    QStringList out{exeDir, QDir::cleanPath(exeDir + QStringLiteral("/../share/palu_ftp"))};
#ifdef PALU_SHARE_DIR
    out << QStringLiteral(PALU_SHARE_DIR);
#endif
    out.removeDuplicates();
    return out;
}

QString find(const QStringList& folders)
{
    for (const QString& folder : folders) {
        const QFileInfo info(QDir(folder).filePath(QString::fromLatin1(Name)));
        if (info.isFile() && info.isReadable())
            return info.absoluteFilePath();
    }
    return {};
}

} // namespace help_file

void form1::Shell_open(const QString& drivePath)
{
    errors::trap(QStringLiteral("Shellエラー"), [&drivePath] {
        const QString native = drives::to_native(drivePath);
        if (native.isEmpty())
            errors::raise(errors::PathNotFound, drivePath);
        // Whether a program is associated is not reported, as with any
        // desktop's "open".
        launcher::open_document(native);
    });
}

void form1::M_shell_Click()
{
    const int row = ListView2->selectedItem();
    if (row < 0)
        return;
    if (ListView2->subItem(row, 1).trimmed().isEmpty())
        return;   // a folder
    Shell_open(currentDrive() + 現在のローカルパス + QStringLiteral("\\") + ListView2->text(row));
}

void form1::Msetumei_Click()
{
    const QString path = help_file::find(help_file::folders());
    if (path.isEmpty()) {
        prompts::Msg_box(errors::description(errors::FileNotFound) + QStringLiteral("\nヘルプファイル: ") +
                             QString::fromLatin1(help_file::Name),
                         QStringLiteral("PALU_FTP"), prompts::vbNoIcon, prompts::vbOKOnly);
        return;
    }
    if (!launcher::show_help(path))
        prompts::Msg_box(QStringLiteral("ヘルプを表示できませんでした。\n") + path, QStringLiteral("PALU_FTP"),
                         prompts::vbNoIcon, prompts::vbOKOnly);
}

void form1::Mnew_Click()
{
    if (Select_view != 0) {
        if (!refuseWhileBusy())
            Send_pwd();
    } else
        Local_list();
}

void form1::Mserver_list_Click()
{
    errors::trap(QStringLiteral("Mconect1_clickエラー"), [this] {
        serverList()->Server_load();
        prompts::show_modal(serverList());
    });
}
