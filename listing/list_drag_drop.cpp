// Dragging between the two lists and from the desktop: rows dropped on the
// other list are transferred into the folder it shows, as the menu commands
// would transfer the selection (and are refused where those are).
#include <QMimeData>
#include <QSet>
#include <QSignalBlocker>
#include <QUrl>

#include "app/form1.h"
#include "platform/drive_view.h"
#include "platform/list_view.h"
#include "platform/prompts.h"

namespace {
// What a drag out of the remote list carries: the names, one per line. Only
// this program's local list takes it.
const QString RemoteNames = QStringLiteral("application/x-palu-ftp-remote-names");

// Dropped on the remote list.
void drop_on_remote_list(form1& w, const QMimeData* data, QObject* source)
{
    // From the local list: its selection, as the upload command takes it.
    if (source && source->parent() == w.ListView2) {
        w.Mupload_Click();
        return;
    }
    if (w.refuseWhileBusy() || w.dataBusy())
        return;
    // From another program: their folder becomes the local list's, with
    // them selected, as if picked there.
    QString folder;
    QStringList names;
    for (const QUrl& url : data->urls()) {
        const QString native = url.toLocalFile();
        const qsizetype cut = native.lastIndexOf(u'/');
        if (native.isEmpty() || cut < 0 || (!folder.isNull() && native.left(cut) != folder)) {
            prompts::Msg_box(QStringLiteral("ドロップできるのは、ひとつのフォルダーの中のファイルだけです。"),
                             QStringLiteral("選択エラー"), prompts::vbExclamation);
            return;
        }
        folder = native.left(cut);
        names << native.mid(cut + 1);
    }
    const QString drivePath = drives::from_native(folder.isEmpty() ? QStringLiteral("/") : folder);
    if (names.isEmpty() || drivePath.isEmpty())
        return;
    w.showLocalFolder(drivePath);
    w.ListView2->selectTexts(QSet<QString>(names.begin(), names.end()), names.last());
    w.activateList(false);
    w.Mupload_Click();
}
} // namespace

void form1::wireDragAndDrop()
{
    // Local rows travel as file addresses, so a file manager takes them too.
    ListView2->setDragData([this]() -> QMimeData* {
        QList<QUrl> urls;
        for (int row : ListView2->selectedRows()) {
            const QString native = drives::to_native(Local_Dir + ListView2->text(row));
            if (!native.isEmpty())
                urls << QUrl::fromLocalFile(native);
        }
        if (urls.isEmpty())
            return nullptr;
        auto* data = new QMimeData;
        data->setUrls(urls);
        return data;
    });
    ListView1->setDragData([this]() -> QMimeData* {
        QStringList names;
        for (int row : ListView1->selectedRows())
            names << ListView1->text(row);
        if (names.isEmpty())
            return nullptr;
        auto* data = new QMimeData;
        data->setData(RemoteNames, names.join(u'\n').toUtf8());
        return data;
    });
    ListView1->setDropFormats({QStringLiteral("text/uri-list")});
    ListView2->setDropFormats({RemoteNames});
    // The remote rows dragged are the remote list's selection.
    QObject::connect(ListView2, &ListView::dropped, this, [this] { MDOWN_Click(); });
    QObject::connect(ListView1, &ListView::dropped, this,
                     [this](const QMimeData* data, QObject* source) { drop_on_remote_list(*this, data, source); });
}
