#include "servers/folder_picker_dialog.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "platform/drive_view.h"
#include "platform/prompts.h"

namespace folder_picker {

namespace {
const QString Title = QStringLiteral("ﾃﾞｨﾚｸﾄﾘｰ選択");
constexpr int PathRole = Qt::UserRole;
} // namespace

QStringList subfolders(const QString& native, bool* readable)
{
    const QFileInfo info(native);
    const bool ok = !native.isEmpty() && info.isDir() && info.isReadable() && info.isExecutable();
    if (readable)
        *readable = ok;
    if (!ok)
        return {};
    QStringList out;
    const QStringList names =
        QDir(native).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QString& name : names)
        if (drives::expressible(name))
            out += name;
    return out;
}

bool can_open(const QString& drive_path)
{
    const QString native = drives::to_native(drive_path);
    if (native.isEmpty())
        return false;
    const QFileInfo info(native);
    return info.isDir() && info.isReadable() && info.isExecutable();
}

QStringList chain(const QString& drive_path)
{
    if (drive_path.size() < 2)
        return {};
    QString at = drive_path.left(2) + QLatin1Char('\\');
    QStringList out{at};
    for (const QString& part : drive_path.mid(2).split(QLatin1Char('\\'), Qt::SkipEmptyParts)) {
        at = join(at, part);
        out += at;
    }
    return out;
}

QString join(const QString& drive_path, const QString& name)
{
    return drive_path.endsWith(QLatin1Char('\\')) ? drive_path + name : drive_path + QLatin1Char('\\') + name;
}

QString drive_current_folder(QChar letter)
{
    const QString work = drives::from_native(QDir::currentPath());
    if (!work.isEmpty() && work.at(0) == letter.toLower())
        return work;
    return QString(letter.toLower()) + QStringLiteral(":\\");
}

QChar current_drive()
{
    const QString work = drives::from_native(QDir::currentPath());
    return work.isEmpty() ? QLatin1Char('c') : work.at(0);
}

} // namespace folder_picker

using namespace folder_picker;

Form10::Form10(QLineEdit* target, QWidget* parent) : QDialog(parent), target_(target)
{
    setWindowTitle(Title);
    Drive1 = new QComboBox(this);
    Dir1 = new QTreeWidget(this);
    Dir1->setHeaderHidden(true);
    Dir1->setColumnCount(1);
    Dir1->setRootIsDecorated(false);
    Dir1->setIndentation(14);
    // The list always shows the whole way down: nothing folds away.
    Dir1->setItemsExpandable(false);
    Dir1->setExpandsOnDoubleClick(false);
    Dir1->installEventFilter(this);
    Command1 = new QPushButton(QStringLiteral("選択(&S)"), this);
    Command2 = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ(&C)"), this);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);
    buttons->addStretch();
    auto* lists = new QVBoxLayout;
    lists->addWidget(Dir1, 1);
    lists->addWidget(Drive1);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(lists, 1);
    layout->addLayout(buttons);
    resize(420, 320);

    fillDrives();
    // The folder list starts on the current drive's current folder; the
    // root when that folder cannot be read; the root is kept even then, so
    // there is always a path to hand back.
    const QChar drive = current_drive();
    if (!setPath(drive_current_folder(drive)) && !setPath(QString(drive) + QStringLiteral(":\\"))) {
        path_ = QString(drive) + QStringLiteral(":\\");
        showDriveOf(path_);
        fillList();
    }

    connect(Drive1, &QComboBox::currentIndexChanged, this, &Form10::Drive1_Change);
    // Opening rebuilds the list, which must not happen while the view is
    // still delivering the double-click of one of its items.
    connect(Dir1, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
        const QString target = item->data(0, PathRole).toString();
        QTimer::singleShot(0, this, [this, target] { openFolder(target); });
    });
    connect(Command1, &QPushButton::clicked, this, &Form10::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &QDialog::hide);
}

void Form10::fillDrives()
{
    const QSignalBlocker block(Drive1);
    Drive1->clear();
    Drive1->addItems(drives::drive_list());
}

// Shows the drive of drive_path in the drive list without running the
// change handler.
void Form10::showDriveOf(const QString& drive_path)
{
    const QSignalBlocker block(Drive1);
    for (int i = 0; i < Drive1->count(); ++i) {
        if (Drive1->itemText(i).left(2).compare(drive_path.left(2), Qt::CaseInsensitive) == 0) {
            Drive1->setCurrentIndex(i);
            return;
        }
    }
}

bool Form10::setPath(const QString& drive_path)
{
    if (!can_open(drive_path))
        return false;
    // One spelling for a folder however it was reached: drive letter in
    // lower case, no trailing '\' except at the root.
    QString p = drive_path;
    p[0] = p[0].toLower();
    while (p.size() > 3 && p.endsWith(QLatin1Char('\\')))
        p.chop(1);
    if (p.size() == 2)
        p += QLatin1Char('\\');
    path_ = p;
    showDriveOf(path_);
    fillList();
    return true;
}

// The folders from the drive root down to the current folder, then the
// folders inside it, one level further in; the current folder is
// highlighted.
void Form10::fillList()
{
    Dir1->clear();
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
    QTreeWidgetItem* parent = nullptr;
    const QStringList steps = chain(path_);
    for (const QString& step : steps) {
        const QString label = parent ? step.section(QLatin1Char('\\'), -1) : step;
        auto* item = parent ? new QTreeWidgetItem(parent, QStringList{label})
                            : new QTreeWidgetItem(Dir1, QStringList{label});
        item->setIcon(0, open);
        item->setData(0, PathRole, step);
        item->setExpanded(true);
        parent = item;
    }
    if (!parent)
        return;
    for (const QString& name : subfolders(drives::to_native(path_))) {
        auto* item = new QTreeWidgetItem(parent, QStringList{name});
        item->setIcon(0, closed);
        item->setData(0, PathRole, join(path_, name));
    }
    Dir1->expandAll();
    Dir1->setCurrentItem(parent);
}

void Form10::Drive1_Change()
{
    const QString letter = Drive1->currentText().left(2);
    if (letter.size() == 2 && setPath(drive_current_folder(letter.at(0))))
        return;
    // A drive that cannot be read (no medium, gone, no permission): keep the
    // folder shown and go back to its drive.
    const QString entry = Drive1->currentText();
    showDriveOf(path_);
    prompts::Msg_box(QStringLiteral("ドライブ ") + entry + QStringLiteral(" を読み取れません。"), Title,
                     prompts::vbExclamation);
}

void Form10::Dir1_Open()
{
    if (const QTreeWidgetItem* item = Dir1->currentItem())
        openFolder(item->data(0, PathRole).toString());
}

void Form10::openFolder(const QString& target)
{
    if (target.isEmpty() || target == path_)
        return;
    if (!setPath(target)) {
        prompts::Msg_box(QStringLiteral("フォルダ ") + target + QStringLiteral(" を開けません。"), Title,
                         prompts::vbExclamation);
        fillList();   // it may have been removed: show what is there now
    }
}

void Form10::Command1_Click()
{
    target_->setText(path_);
    hide();
}

void Form10::showEvent(QShowEvent* event)
{
    // Mounts may have come and gone since the last opening; the folder last
    // shown stays unless it can no longer be opened.
    fillDrives();
    if (!setPath(path_)) {
        const QChar drive = current_drive();
        if (!setPath(drive_current_folder(drive)) && !setPath(QString(drive) + QStringLiteral(":\\"))) {
            showDriveOf(path_);
            fillList();
        }
    }
    QDialog::showEvent(event);
}

bool Form10::eventFilter(QObject* watched, QEvent* event)
{
    // Enter opens the highlighted folder, as a double-click does, instead
    // of picking the current one through the dialog's default button.
    if (watched == Dir1 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            Dir1_Open();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
