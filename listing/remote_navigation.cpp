// Remote navigation: entering a folder, going up, the path history, the
// active-list menu, the popups and the raw listing file.
#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QEvent>
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>

#include "app/form1.h"
#include "platform/launcher.h"
#include "platform/list_view.h"
#include "platform/mouse_pointer.h"
#include "platform/program_folder.h"
#include "platform/prompts.h"
#include "platform/winsock.h"

namespace {
QString last_component(const QString& path)
{
    return path.mid(path.lastIndexOf(u'/') + 1);
}
} // namespace

void form1::wireRemoteNavigation()
{
    QObject::connect(ListView1, &ListView::doubleClicked, this, &form1::ListView1_DblClick);
    QObject::connect(ListView1, &ListView::rightClicked, this,
                     [this](const QPoint& at) { showPopup(true, at); });
    QObject::connect(ListView2, &ListView::rightClicked, this,
                     [this](const QPoint& at) { showPopup(false, at); });
    QObject::connect(CDUP, &QPushButton::clicked, this, &form1::CDUP_Click);
    QObject::connect(Combo1, &QComboBox::activated, this, &form1::Combo1_Click);
    Combo1->installEventFilter(this);
    for (int i : {0, 1})
        QObject::connect(mlist[i], &QAction::triggered, this, [this, i] { mlist_Click(i); });
    QObject::connect(mlist1, &QAction::triggered, this, &form1::mlist1_Click);
}

bool form1::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Combo1 && event->type() == QEvent::FocusOut)
        Combo1_LostFocus();
    return QMainWindow::eventFilter(watched, event);
}

void form1::showPopup(bool remote, const QPoint& globalPos)
{
    if (dataBusy())
        return;
    activateList(remote);
    (remote ? server_right : Mright)->popup(globalPos);
}

void form1::ListView1_DblClick()
{
    if (ListView1->count() == 0 || dataBusy())
        return;
    const int row = ListView1->currentRow();
    if (row < 0)
        return;
    Server_Kyu = サーバーパス;
    if (!ListView1->subItem(row, 1).trimmed().isEmpty())
        return;   // a file
    if (refuseWhileBusy())
        return;
    beginOperation(Operation::Listing);
    const QString name = ListView1->text(row);
    mouse_pointer::set(mouse_pointer::Hourglass);
    サーバーパス = サーバーパス == QStringLiteral("/") ? QStringLiteral("/") + name
                                                  : サーバーパス + QStringLiteral("/") + name;
    送信文字列 = QStringLiteral("CWD ") + name + QStringLiteral("\r\n");
    ループ回数 = 0;
    Combo1->addItem(サーバーパス);
    Send_command();
    Combo1->setEditText(name);
    if (rCount < std::numeric_limits<qint16>::max())
        ++rCount;
    ListView1->activeView()->setFocus();
}

void form1::CDUP_Click()
{
    if (refuseWhileBusy())
        return;
    CDUP->setEnabled(false);
    beginOperation(Operation::Listing);
    if (Combo1->count() >= 2)
        Combo1->removeItem(Combo1->count() - 1);
    mouse_pointer::set(mouse_pointer::Hourglass);
    const qsizetype cut = サーバーパス.lastIndexOf(u'/');
    サーバーパス = cut > 0 ? サーバーパス.left(cut) : QString();
    if (サーバーパス.isEmpty())
        サーバーパス = QStringLiteral("/");
    const QString shown = last_component(サーバーパス);
    Combo1->setEditText(shown.isEmpty() ? ホスト名 : shown);
    sendLine(QStringLiteral("CDUP"));
    ListView1->activeView()->setFocus();
}

void form1::Combo1_Click(int index)
{
    QString picked = Combo1->itemText(index);
    if (picked.isEmpty() || refuseWhileBusy())
        return;
    beginOperation(Operation::Listing);
    {
        const QSignalBlocker quiet(Combo1);
        Combo1->clear();
        const QString withSlash = picked + QStringLiteral("/");
        for (qsizetype i = withSlash.indexOf(u'/'); i >= 0; i = withSlash.indexOf(u'/', i + 1)) {
            const QString prefix = picked.left(i);
            Combo1->addItem(prefix.isEmpty() ? ホスト名 : prefix);
        }
    }
    const QString last = last_component(picked);
    Combo_Name = last.isEmpty() ? ホスト名 : last;
    Combo_Mode = 1;
    if (picked == ホスト名)
        picked = QStringLiteral("/");
    sendLine(QStringLiteral("CWD ") + picked);
    ListView1->activeView()->setFocus();
}

void form1::Combo1_LostFocus()
{
    if (Combo_Mode != 1)
        return;
    Combo1->setEditText(Combo_Name.toString());
    Combo_Mode = 0;
}

void form1::mlist_Click(int index)
{
    if (Winsock1->State() == Winsock::sckClosed) {
        // The menu toggled the clicked mark itself; nothing may change.
        mlist[index]->setChecked(!mlist[index]->isChecked());
        return;
    }
    // The clicked mark is already toggled: recover the marks before the click
    // and swap them.
    const bool localWasChecked = index == 0 ? !mlist[0]->isChecked() : mlist[0]->isChecked();
    const bool local = !localWasChecked;
    mlist[0]->setChecked(local);
    mlist[1]->setChecked(!local);
    Select_view = local ? 0 : 1;
    markActiveLabel(!local);
    updateCommandAvailability();
}

void form1::mlist1_Click()
{
    const QString path = program_folder::file(QStringLiteral("temp.s"));
    if (!launcher::open_text(path))
        prompts::Msg_box(QStringLiteral("テキストエディターで開けませんでした。\n") + path, QStringLiteral("エラー"),
                         prompts::vbExclamation);
}
