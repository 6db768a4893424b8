// What the user does with the two lists and the local path controls:
// choosing the active list, sorting by a column, local navigation, the drive
// selector and the view mode.
#include <QAction>
#include <QComboBox>
#include <QPushButton>
#include <QTreeView>

#include "app/form1.h"
#include "platform/click_label.h"
#include "platform/list_view.h"
#include "platform/winsock.h"

namespace {
constexpr int NameColumn = 0, SizeColumn = 1, DateColumn = 2, KindColumn = 3;

// The folder-or-link test of both lists: their size text is blank.
bool is_folder_entry(const ListView* list, int row)
{
    return list->subItem(row, 1).trimmed().isEmpty();
}
} // namespace

bool form1::dataBusy() const
{
    // An established data connection means a transfer is running.
    return Winsock2->State() == Winsock::sckConnected;
}

void form1::wireListEvents()
{
    QObject::connect(ListView1, &ListView::clicked, this, [this] { activateList(true); });
    QObject::connect(ListView2, &ListView::clicked, this, [this] { activateList(false); });
    QObject::connect(Label1, &ClickLabel::clicked, this, [this] { activateList(true); });
    QObject::connect(Label4, &ClickLabel::clicked, this, [this] { activateList(false); });
    QObject::connect(ListView1, &ListView::columnClicked, this,
                     [this](int c) { sortByHeader(ListView1, c); });
    QObject::connect(ListView2, &ListView::columnClicked, this,
                     [this](int c) { sortByHeader(ListView2, c); });
    QObject::connect(ListView2, &ListView::doubleClicked, this, &form1::ListView2_DblClick);
    QObject::connect(ListView1, &ListView::keyPressed, this, [this](int key) { listKey(true, key); });
    QObject::connect(ListView2, &ListView::keyPressed, this, [this](int key) { listKey(false, key); });
    QObject::connect(Command2, &QPushButton::clicked, this, &form1::Command2_Click);
    QObject::connect(Drive1, &QComboBox::currentIndexChanged, this, &form1::Drive1_Change);
    for (int i : {0, 1})
        QObject::connect(Mview[i], &QAction::triggered, this, [this, i] { Mview_Click(i); });
}

void form1::activateList(bool remote)
{
    if (dataBusy())
        return;
    Select_view = remote ? 1 : 0;
    markActiveLabel(remote);
    mlist[1]->setChecked(remote);
    mlist[0]->setChecked(!remote);
    ListView* other = remote ? ListView2 : ListView1;
    if (other->count() > 0 && other->currentRow() >= 0)
        other->setSelected(other->currentRow(), false);
    updateCommandAvailability();
}

void form1::listKey(bool remote, int key)
{
    if (key != Qt::Key_F5 && key != Qt::Key_Delete && key != Qt::Key_F2 && key != Qt::Key_Backspace)
        return;
    // The key acts on the list that has it, as a click on it would.
    activateList(remote);
    if (Select_view != (remote ? 1 : 0))
        return;   // a transfer holds the lists
    // The keys are refused where their menu items are.
    QAction* item = key == Qt::Key_F5 ? Mnew : key == Qt::Key_Delete ? Mrmdir : key == Qt::Key_F2 ? Mrename : nullptr;
    if (item && !item->isEnabled()) {
        refuseWhileBusy();
        return;
    }
    if (key == Qt::Key_F5)
        Mnew_Click();
    else if (key == Qt::Key_Delete)
        Mrmdir_Click();
    else if (key == Qt::Key_F2)
        Mrename_Click();
    else if (QPushButton* up = remote ? CDUP : Command2; up->isEnabled())
        up->click();
}

void form1::sortByHeader(ListView* list, int column)
{
    const QString header = list->columnHeader(column);
    const auto nameThenKind = [list] {
        list->setSortKey(NameColumn);
        list->setSortKey(KindColumn);
    };
    list->setSorted(true);
    if (header == QStringLiteral("ﾌｧｲﾙ名")) {
        list->setSortOrder(colum_click == 0 ? Qt::DescendingOrder : Qt::AscendingOrder);
        nameThenKind();
    } else if (header == QStringLiteral("サイズ")) {
        if (colum_click == 0)
            list->setSortKey(SizeColumn);
        else
            nameThenKind();
    } else if (header == QStringLiteral("日付")) {
        if (colum_click == 0) {
            list->setSortKey(DateColumn);
            list->setSortKey(KindColumn);
        } else {
            nameThenKind();
        }
    } else {
        return;
    }
    colum_click = colum_click == 0 ? 1 : 0;
}

void form1::ListView2_DblClick()
{
    if (ListView2->count() == 0 || dataBusy())
        return;
    const int row = ListView2->currentRow();
    if (row < 0 || !is_folder_entry(ListView2, row))
        return;
    現在のローカルパス += QStringLiteral("\\") + ListView2->text(row);
    Local_list();
    ListView2->activeView()->setFocus();
}

void form1::Command2_Click()
{
    if (dataBusy())
        return;
    ListView2->activeView()->setFocus();
    const qsizetype cut = 現在のローカルパス.lastIndexOf(u'\\');
    現在のローカルパス = cut > 0 ? 現在のローカルパス.left(cut) : QString();
    Local_list();
    ListView2->activeView()->setFocus();
}

void form1::Drive1_Change()
{
    if (Q_mode != 0) {
        Q_mode = 0;
        return;
    }
    現在のローカルパス.clear();
    Local_list();
    ListView2->activeView()->setFocus();
}

void form1::Mview_Click(int index)
{
    // The menu has already toggled the clicked item; undo that to see the
    // marks as they were before the click.
    const bool wasDetail = index == 0 ? !Mview[0]->isChecked() : Mview[0]->isChecked();
    const bool detail = !wasDetail;
    // Whichever item was clicked, the two marks swap.
    Mview[0]->setChecked(detail);
    Mview[1]->setChecked(!detail);
    ListView* list = Select_view != 0 ? ListView1 : ListView2;
    list->setView(detail ? ListView::ReportMode : ListView::ListMode);
}
