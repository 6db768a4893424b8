// Filling the local list from the current local folder.
#include <QComboBox>
#include <QDirIterator>
#include <QSet>
#include <QPushButton>
#include <QSignalBlocker>

#include "app/form1.h"
#include "platform/click_label.h"
#include "platform/drive_view.h"
#include "platform/list_view.h"
#include "platform/mouse_pointer.h"
#include "platform/outside_text.h"
#include "platform/program_folder.h"
#include "platform/prompts.h"
#include "platform/settings_store.h"
#include "servers/settings_keys.h"
#include "listing/local_folder_watch.h"
#include "listing/size_text.h"

namespace {
constexpr int SortByName = 0;
constexpr int SortByKind = 3;

enum class ListResult { Listed, Unreadable };

// The two first characters of a drive entry: letter and colon.
QString drive_of(const QComboBox* drive1) { return drive1->currentText().left(2); }

// "yyyy/MM/dd HH:mm:ss". Written digit by digit: a folder of many files
// would otherwise have its format text parsed anew for every file.
QString date_text(const QDateTime& when)
{
    const QDate d = when.date();
    const QTime t = when.time();
    if (!d.isValid() || !t.isValid() || d.year() < 0 || d.year() > 9999)
        return when.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
    char16_t text[19];
    const auto put = [&text](int at, int value, int digits) {
        for (int i = digits - 1; i >= 0; --i, value /= 10)
            text[at + i] = char16_t(u'0' + value % 10);
    };
    put(0, d.year(), 4);
    text[4] = u'/';
    put(5, d.month(), 2);
    text[7] = u'/';
    put(8, d.day(), 2);
    text[10] = u' ';
    put(11, t.hour(), 2);
    text[13] = u':';
    put(14, t.minute(), 2);
    text[16] = u':';
    put(17, t.second(), 2);
    return QString(reinterpret_cast<const QChar*>(text), 19);
}
// Another program changed the folder shown: it is listed again, the
// selection kept where the names remain.
void refresh_keeping_selection(form1& w)
{
    // A batch reads and writes here and lists the folder when it ends.
    if (w.operation_ == form1::Operation::Download || w.operation_ == form1::Operation::Upload || w.dataBusy())
        return;
    ListView* list = w.ListView2;
    const int current = list->currentRow();
    const QString currentName = current >= 0 ? list->text(current) : QString();
    QSet<QString> selected;
    for (int row : list->selectedRows())
        selected.insert(list->text(row));
    w.Local_list();
    list->selectTexts(selected, currentName);
}
} // namespace

QString form1::currentDrive() const { return drive_of(Drive1); }

bool form1::selectDrive(const QString& letterColon)
{
    const QString wanted = letterColon.left(2).toLower();
    for (int i = 0; i < Drive1->count(); ++i) {
        if (Drive1->itemText(i).left(2).toLower() == wanted) {
            if (i == Drive1->currentIndex())
                return false;
            Drive1->setCurrentIndex(i);
            return true;
        }
    }
    return false;
}

void form1::fillLocalEntries(const QString& nativeDir)
{
    // Hidden entries (dot names) are left out; read-only and special files
    // are listed like any other file.
    const QString folderKind = QStringLiteral("0"), fileKind = QStringLiteral("1");
    QDirIterator it(nativeDir, QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        const QString name = info.fileName();
        if (!drives::expressible(name))
            continue;   // a '\' in the name cannot be written as a drive path
        const QString date = date_text(info.lastModified());
        // Staged: the list takes them in one go once they are sorted.
        if (info.isDir())
            ListView2->stageItem(name, 1, {QString(), date, folderKind});
        else
            ListView2->stageItem(name, 2, {local_size_text(info.size()), date, fileKind});
    }
}

bool form1::listLocalFolder()
{
    mouse_pointer::set(mouse_pointer::Hourglass);
    ListView2->hide();
    ListView2->clear();
    ListView2->setSorted(true);
    ListView2->setSortKey(SortByName);
    const QString drive = currentDrive();
    if (現在のローカルパス.isEmpty()) {
        Local_Dir = drive + QStringLiteral("\\");
        Command2->setEnabled(false);
    } else {
        Local_Dir = drive + 現在のローカルパス + QStringLiteral("\\");
        Command2->setEnabled(true);
    }
    outside_text::set(Label4, QStringLiteral("ﾛｰｶﾙﾊﾟｽ:") + Local_Dir);

    const QString native = drives::to_native(Local_Dir);
    const QFileInfo dir(native);
    const bool readable = !native.isEmpty() && dir.isDir() && dir.isReadable() && dir.isExecutable();
    if (!localWatch_) {
        localWatch_ = new LocalFolderWatch(this);
        QObject::connect(localWatch_, &LocalFolderWatch::changed, this, [this] { refresh_keeping_selection(*this); });
    }
    localWatch_->watch(readable ? native : QString());
    if (readable)
        fillLocalEntries(native);
    // By name and then by kind, both stable: folders apart from files, each
    // group ordered by name. Sorted before the list takes the rows, in one
    // pass over both keys.
    ListView2->sortStaged(SortByName, SortByKind, QDeadlineTimer(QDeadlineTimer::Forever));
    ListView2->showStaged();
    ListView2->show();
    mouse_pointer::set(mouse_pointer::Default);
    if (ListView2->count() > 0)
        ListView2->setCurrentRow(0, false);
    return readable;
}

void form1::Local_list()
{
    if (listLocalFolder())
        return;
    prompts::Msg_box(QStringLiteral("指定されフォルダーが読めません\n") + Local_Dir, QStringLiteral("エラー"),
                     prompts::vbCritical);
    // Fall back to the drive that holds the program's folder, once; then to
    // that drive's root; an unreadable root leaves the list empty.
    const QString programDrive = drives::from_native(program_folder::path()).left(2);
    {
        // The change handler would list again and could come back here.
        const QSignalBlocker quiet(Drive1);
        if (!programDrive.isEmpty() && selectDrive(programDrive))
            現在のローカルパス.clear();
    }
    if (listLocalFolder())
        return;
    現在のローカルパス.clear();
    listLocalFolder();
}

void form1::openLocalStartFolder()
{
    QString start = settings::get(keys::Options, keys::LastLocal).trimmed();
    const QString native = drives::to_native(start);
    if (native.isEmpty() || !QFileInfo(native).isDir())
        start = drives::from_native(QDir::homePath());
    // A home folder the drive view cannot show: the first drive's root.
    showLocalFolder(start.size() < 2 ? QString() : start);
}

void form1::showLocalFolder(const QString& drivePath)
{
    {
        // The drive's own change handler would list its root first.
        const QSignalBlocker quiet(Drive1);
        selectDrive(drivePath.left(2));
    }
    QString below = drivePath.mid(2);
    while (below.endsWith(u'\\'))
        below.chop(1);
    現在のローカルパス = below;
    Local_list();
}

void form1::fillDriveList()
{
    const QSignalBlocker quiet(Drive1);
    Drive1->clear();
    Drive1->addItems(drives::drive_list());
    Drive1->setCurrentIndex(0);
}
