// The list control of the file lists: stable sorting, rows that keep their
// selection through a sort, header clicks that only report, hidden columns,
// the two views, mouse and key events, and large lists.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCollator>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QKeyEvent>
#include <QListView>
#include <QMouseEvent>
#include <QSet>
#include <QTreeView>
#include <QWindow>

#include <cstdio>
#include <random>

#include "platform/image_list.h"
#include "platform/list_view.h"
#include "tests/test_support.h"

namespace {

// Mouse and key input sent through the application object, the way the
// window system's arrives, so the views' own handlers and event filters all
// run. (The test program does not link Qt Test, whose helpers do the same.)
void send_mouse(QWidget* w, QEvent::Type type, Qt::MouseButton button, QPoint pos,
                Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::MouseButtons()
                                  : type == QEvent::MouseMove        ? Qt::MouseButtons(Qt::LeftButton)
                                                                     : Qt::MouseButtons(button);
    QMouseEvent event(type, QPointF(pos), QPointF(w->mapToGlobal(pos)), button, held, mods);
    QApplication::sendEvent(w, &event);
}

void click(QWidget* w, QPoint pos, Qt::MouseButton button = Qt::LeftButton,
           Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    send_mouse(w, QEvent::MouseButtonPress, button, pos, mods);
    send_mouse(w, QEvent::MouseButtonRelease, button, pos, mods);
}

// The sequence a real double-click produces: press, release, double-click, release.
void double_click(QWidget* w, QPoint pos)
{
    click(w, pos);
    send_mouse(w, QEvent::MouseButtonDblClick, Qt::LeftButton, pos);
    send_mouse(w, QEvent::MouseButtonRelease, Qt::LeftButton, pos);
}

void press_key(QWidget* w, int key)
{
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

// The local list's columns as the main window creates them.
void add_file_columns(ListView& lv)
{
    lv.addColumn("ﾌｧｲﾙ名", 160);
    lv.addColumn("サイズ", 80);
    lv.addColumn("日付", 160);
    lv.addColumn("", 0);
    lv.setColumnAlignment(1, Qt::AlignRight);
}

// An entry as the listings make it: folders have an empty size and kind 0.
int add_entry(ListView& lv, const QString& name, bool folder, const QString& size = {})
{
    return lv.addItem(name, folder ? 1 : 2,
                      {folder ? QString() : size, "2024/01/02 03:04", folder ? "0" : "1"});
}

// The item texts in row order, joined by "|" so a failure prints readably.
std::string names(const ListView& lv)
{
    QStringList out;
    for (int i = 0; i < lv.count(); ++i)
        out << lv.text(i);
    return out.join('|').toStdString();
}

[[nodiscard]] bool show_and_wait(QWidget& w)
{
    w.resize(640, 400);
    w.show();
    return wait_until([&] { return w.windowHandle() && w.windowHandle()->isExposed(); });
}

// Sorting by name and then by the hidden kind column, as the program does
// after every listing and on a name-header click.
void sort_name_then_kind(ListView& lv)
{
    lv.setSortKey(0);
    lv.setSortKey(3);
}

QPoint row_center(const ListView& lv, int row)
{
    QAbstractItemView* v = lv.activeView();
    return v->visualRect(v->model()->index(row, 0)).center();
}

} // namespace

// ---------------------------------------------------------------- sorting

TEST(ListViewSort, NameThenKindGroupsFoldersAndKeepsNameOrderBothWays)
{
    ListView lv;
    add_file_columns(lv);
    // Listing order; README and readme are equal ignoring case, so a stable
    // sort must keep them in the order it found them.
    add_entry(lv, "zeta", true);
    add_entry(lv, "README", false, "     1KB");
    add_entry(lv, "Alpha.txt", false, "     2KB");
    add_entry(lv, "beta", true);
    add_entry(lv, "readme", false, "     3KB");
    add_entry(lv, "Gamma", true);
    add_entry(lv, "delta.c", false, "     4KB");

    lv.setSortKey(0);
    lv.setSorted(true); // sorts at once by the name
    EXPECT_EQ(names(lv), "Alpha.txt|beta|delta.c|Gamma|README|readme|zeta");
    lv.setSortKey(3);
    const std::string ascending = "beta|Gamma|zeta|Alpha.txt|delta.c|README|readme";
    EXPECT_EQ(names(lv), ascending);

    // A name-header click: descending, then name, then kind. Files come
    // first, names descending inside each group.
    lv.setSortOrder(Qt::DescendingOrder);
    sort_name_then_kind(lv);
    EXPECT_EQ(names(lv), "README|readme|delta.c|Alpha.txt|zeta|Gamma|beta");

    lv.setSortOrder(Qt::AscendingOrder);
    sort_name_then_kind(lv);
    EXPECT_EQ(names(lv), ascending);

    // Sub-items and icons travel with their rows.
    const QHash<QString, QString> sizes{{"README", "     1KB"}, {"Alpha.txt", "     2KB"},
                                        {"readme", "     3KB"}, {"delta.c", "     4KB"}};
    for (int i = 0; i < lv.count(); ++i) {
        const bool folder = !sizes.contains(lv.text(i));
        EXPECT_EQ(lv.subItem(i, 1), sizes.value(lv.text(i))) << lv.text(i).toStdString();
        EXPECT_EQ(lv.subItem(i, 3), folder ? "0" : "1") << lv.text(i).toStdString();
        EXPECT_EQ(lv.smallIcon(i), folder ? 1 : 2) << lv.text(i).toStdString();
    }
}

TEST(ListViewSort, ManyEqualKeysKeepTheirOrderInBothDirections)
{
    // Hundreds of rows over a handful of dates: the date sort must not
    // shuffle the rows that share a date (a quicksort would).
    ListView lv;
    add_file_columns(lv);
    const QStringList dates{"2023/05/01 10:00", "2021/01/01 00:00", "2024/12/31 23:59", "2022/07/15 12:30"};
    for (int i = 0; i < 600; ++i)
        lv.addItem(QString("n%1").arg(i, 3, 10, QChar('0')), 2,
                   {"     1KB", dates[(i * 7 + i / 5) % dates.size()], "1"});
    for (Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
        lv.setSortOrder(order);
        lv.setSortKey(0);
        lv.setSorted(true); // back to name order
        lv.setSortKey(2);
        int bad = 0;
        for (int r = 1; r < lv.count(); ++r) {
            const QString d0 = lv.subItem(r - 1, 2), d1 = lv.subItem(r, 2);
            const bool dateOrder = order == Qt::AscendingOrder ? d0 <= d1 : d0 >= d1;
            const bool nameOrder = order == Qt::AscendingOrder ? lv.text(r - 1) < lv.text(r)
                                                               : lv.text(r - 1) > lv.text(r);
            if (!dateOrder || (d0 == d1 && !nameOrder))
                ++bad;
        }
        EXPECT_EQ(bad, 0) << (order == Qt::AscendingOrder ? "ascending" : "descending");
        lv.setSorted(false);
    }
}

TEST(ListViewSort, SortsOnlyWhileSortedAndOnEveryKeyOrOrderChange)
{
    ListView lv;
    add_file_columns(lv);
    for (const char* n : {"c", "a", "b"})
        add_entry(lv, n, false, "     1KB");
    lv.setSortKey(0);
    lv.setSortOrder(Qt::DescendingOrder);
    EXPECT_EQ(names(lv), "c|a|b") << "not sorted yet";
    lv.setSorted(true);
    EXPECT_EQ(names(lv), "c|b|a");
    add_entry(lv, "d", false, "     1KB");
    EXPECT_EQ(names(lv), "c|b|a|d") << "adding does not re-sort";
    lv.setSortKey(0); // the same key again still sorts
    EXPECT_EQ(names(lv), "d|c|b|a");
    lv.setSorted(false);
    lv.setSortOrder(Qt::AscendingOrder);
    EXPECT_EQ(names(lv), "d|c|b|a");
}

TEST(ListViewSort, CollationIgnoresCaseButNotSpacesOrPunctuationAndNotNumbers)
{
    ListView lv;
    lv.addColumn("ﾌｧｲﾙ名", 100);
    for (const char* n : {"file9", "B", "A", "ab", "C", "a b", "file10", "a_b", "b"})
        lv.addItem(n, 2);
    lv.setSorted(true);
    // Upper and lower case interleave (B and b stay in listing order); the
    // space and the underscore count; digits compare as characters.
    EXPECT_EQ(names(lv), "A|a b|a_b|ab|B|b|C|file10|file9");

    // Non-ASCII letters fold their case as well.
    lv.clear();
    for (const QString& n : {QString("Über"), QString("über2"), QString("ÜBER1")})
        lv.addItem(n, 2);
    lv.setSortKey(0);
    EXPECT_EQ(names(lv), "Über|ÜBER1|über2");
}

TEST(ListViewSort, SpacePaddedSizeTextsSortByValue)
{
    ListView lv;
    add_file_columns(lv);
    // Remote size texts (8 wide) and a folder with no size.
    const QStringList sizes{"  1234KB", "      0B", "    12KB", "", "   999KB", "     1KB", " 99999KB"};
    for (int i = 0; i < sizes.size(); ++i)
        add_entry(lv, QString("f%1").arg(i), sizes[i].isEmpty(), sizes[i]);
    lv.setSortKey(1);
    lv.setSorted(true);
    QStringList got;
    for (int i = 0; i < lv.count(); ++i)
        got << lv.subItem(i, 1);
    EXPECT_EQ(got, QStringList({"", "      0B", "     1KB", "    12KB", "   999KB", "  1234KB", " 99999KB"}));

    // Local size texts (10 wide), descending.
    lv.clear();
    for (const char* s : {"         0", "  123456KB", "       1KB", "      10KB"})
        add_entry(lv, s, false, s);
    lv.setSortOrder(Qt::DescendingOrder);
    got.clear();
    for (int i = 0; i < lv.count(); ++i)
        got << lv.subItem(i, 1);
    EXPECT_EQ(got, QStringList({"  123456KB", "      10KB", "       1KB", "         0"}));
}

// Rows staged and sorted a bounded piece at a time end up exactly where the
// two sorts of a filled list put them, ties in their order of arrival,
// whenever the direction changes while the steps run.
TEST(ListViewSort, StagedRowsSortedInStepsAsByNameThenKind)
{
    std::mt19937 rng(7);
    struct Entry {
        QString name;
        bool folder;
    };
    std::vector<Entry> entries;
    for (int i = 0; i < 3000; ++i) {
        // Few names, in both cases: many rows tie on the name.
        QString name = QString("n%1").arg(rng() % 700);
        entries.push_back({rng() % 2 ? name.toUpper() : name, rng() % 5 == 0});
    }
    // The arrival number in the date column tells tied rows apart.
    const auto fill = [&](ListView& lv, bool staged) {
        add_file_columns(lv);
        for (size_t i = 0; i < entries.size(); ++i) {
            const QStringList sub{entries[i].folder ? QString() : "1KB", QString::number(i), entries[i].folder ? "0" : "1"};
            if (staged)
                lv.stageItem(entries[i].name, entries[i].folder ? 1 : 2, sub);
            else
                lv.addItem(entries[i].name, entries[i].folder ? 1 : 2, sub);
        }
    };
    const auto rows = [](const ListView& lv) {
        QStringList out;
        for (int i = 0; i < lv.count(); ++i)
            out << lv.text(i) + u'#' + lv.subItem(i, 2);
        return out;
    };
    const auto other = [](Qt::SortOrder o) { return o == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder; };
    // Steps of a sort without a change of direction: where to change it.
    ListView probe;
    fill(probe, true);
    int total = 1;
    while (!probe.sortStaged(0, 3, QDeadlineTimer(0)))
        ++total;
    ASSERT_GT(total, 100) << "the sort did not run in steps";
    for (const Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
        ListView reference;
        fill(reference, false);
        reference.setSortOrder(order);
        reference.setSorted(true);
        sort_name_then_kind(reference);
        // -1: no change; total: after the sort had ended.
        for (const int changeAt : {-1, 1, total / 2, total - 2, total}) {
            ListView lv;
            fill(lv, true);
            lv.setSortOrder(changeAt < 0 ? order : other(order));
            bool done = false;
            for (int step = 1; !done || step <= changeAt; ++step) {
                done = lv.sortStaged(0, 3, QDeadlineTimer(0));
                if (step == changeAt) {
                    lv.setSortOrder(order);
                    done = false;
                }
            }
            EXPECT_EQ(lv.count(), 0) << "staged rows are not in the list yet";
            lv.showStaged();
            EXPECT_EQ(rows(lv), rows(reference)) << "direction " << order << ", changed at step " << changeAt;
            EXPECT_EQ(lv.sortKey(), 3);
            EXPECT_TRUE(lv.sorted());
        }
    }
    probe.clear();
    EXPECT_EQ(probe.stagedCount(), 0);
}

TEST(ListViewSort, CurrentRowAndSelectionStayWithTheirItems)
{
    ListView lv;
    add_file_columns(lv);
    for (const char* n : {"e", "c", "a", "d", "b"})
        add_entry(lv, n, false, "     1KB");
    lv.setSelected(1, true); // c
    lv.setSelected(2, true); // a
    lv.setCurrentRow(3, false); // d, current but not selected

    lv.setSorted(true);
    ASSERT_EQ(names(lv), "a|b|c|d|e");
    EXPECT_EQ(lv.selectedRows(), QList<int>({0, 2}));
    EXPECT_EQ(lv.currentRow(), 3);
    EXPECT_FALSE(lv.isSelected(3));
    EXPECT_EQ(lv.selectedItem(), 0);

    lv.setSortOrder(Qt::DescendingOrder);
    ASSERT_EQ(names(lv), "e|d|c|b|a");
    EXPECT_EQ(lv.selectedRows(), QList<int>({2, 4}));
    EXPECT_EQ(lv.currentRow(), 1);
    EXPECT_FALSE(lv.isSelected(1));

    // A selected current row moves with its item too.
    lv.setCurrentRow(3, true); // b
    lv.setSortOrder(Qt::AscendingOrder);
    EXPECT_EQ(lv.text(lv.currentRow()), "b");
    EXPECT_EQ(lv.selectedRows(), QList<int>({1}));
    EXPECT_EQ(lv.selectedItem(), 1);
}

// -------------------------------------------------------------- selection

TEST(ListViewSelection, CurrentButUnselected)
{
    ListView lv;
    add_file_columns(lv);
    for (const char* n : {"a", "b", "c"})
        add_entry(lv, n, true);
    EXPECT_EQ(lv.currentRow(), -1);
    EXPECT_EQ(lv.selectedItem(), -1);

    // Selected and at once deselected: current, not selected.
    lv.setCurrentRow(0, true);
    EXPECT_TRUE(lv.isSelected(0));
    lv.setCurrentRow(0, false);
    EXPECT_EQ(lv.currentRow(), 0);
    EXPECT_FALSE(lv.isSelected(0));
    EXPECT_TRUE(lv.selectedRows().isEmpty());
    EXPECT_EQ(lv.selectedItem(), -1);

    // Other selected rows are left alone; clearing keeps the current row.
    lv.setSelected(2, true);
    lv.setCurrentRow(0, false);
    EXPECT_EQ(lv.selectedRows(), QList<int>({2}));
    EXPECT_EQ(lv.selectedItem(), 2);
    lv.clearSelection();
    EXPECT_EQ(lv.selectedItem(), -1);
    EXPECT_EQ(lv.currentRow(), 0);

    // Making a row current and selected makes it the only selection.
    lv.setSelected(2, true);
    lv.setCurrentRow(1, true);
    EXPECT_EQ(lv.selectedRows(), QList<int>({1}));

    lv.clear();
    EXPECT_EQ(lv.currentRow(), -1);
    EXPECT_EQ(lv.selectedItem(), -1);
}

TEST(ListViewSelection, SelectedRowsAscendingFromCallsAndFromMouse)
{
    ListView lv;
    add_file_columns(lv);
    for (int i = 0; i < 10; ++i)
        add_entry(lv, QString("n%1").arg(i), false, "     1KB");
    for (int r : {7, 2, 5, 3, 4})
        lv.setSelected(r, true);
    EXPECT_EQ(lv.selectedRows(), QList<int>({2, 3, 4, 5, 7}));
    lv.setSelected(4, false);
    EXPECT_EQ(lv.selectedRows(), QList<int>({2, 3, 5, 7}));
    EXPECT_EQ(lv.selectedItem(), 2);

    ASSERT_TRUE(show_and_wait(lv));
    QWidget* vp = lv.activeView()->viewport();
    click(vp, row_center(lv, 9));
    click(vp, row_center(lv, 6), Qt::LeftButton, Qt::ShiftModifier);
    EXPECT_EQ(lv.selectedRows(), QList<int>({6, 7, 8, 9}));
    click(vp, row_center(lv, 1), Qt::LeftButton, Qt::ControlModifier);
    EXPECT_EQ(lv.selectedRows(), QList<int>({1, 6, 7, 8, 9}));
    EXPECT_EQ(lv.currentRow(), 1);
    EXPECT_EQ(lv.selectedItem(), 1);
    click(vp, row_center(lv, 7), Qt::LeftButton, Qt::ControlModifier); // off again
    EXPECT_EQ(lv.selectedRows(), QList<int>({1, 6, 8, 9}));
    EXPECT_EQ(lv.currentRow(), 7);
    EXPECT_EQ(lv.selectedItem(), 1) << "the current row is not selected";
}

// ---------------------------------------------------------------- columns

TEST(ListViewColumns, HeaderClickReportsTheColumnAndSortsNothing)
{
    ListView lv;
    add_file_columns(lv);
    for (const char* n : {"b", "c", "a"})
        add_entry(lv, n, false, "     1KB");
    lv.setSorted(true);
    lv.setSortOrder(Qt::DescendingOrder);
    const std::string before = names(lv);
    ASSERT_TRUE(show_and_wait(lv));

    QList<int> columns;
    int clicks = 0;
    QObject::connect(&lv, &ListView::columnClicked, [&](int c) { columns << c; });
    QObject::connect(&lv, &ListView::clicked, [&] { ++clicks; });
    QHeaderView* header = lv.reportView()->header();
    for (int c : {1, 0, 2}) {
        const QPoint at(header->sectionViewportPosition(c) + header->sectionSize(c) / 2, header->height() / 2);
        click(header->viewport(), at);
    }
    EXPECT_EQ(columns, QList<int>({1, 0, 2}));
    EXPECT_EQ(names(lv), before);
    EXPECT_EQ(clicks, 0) << "a header click is not a click in the list";
}

TEST(ListViewColumns, ZeroWidthColumnIsHiddenAndCannotBeDraggedOpen)
{
    ListView lv;
    // The remote list's columns: the kind column sits between date and attributes.
    lv.addColumn("ﾌｧｲﾙ名", 150);
    lv.addColumn("サイズ", 80);
    lv.addColumn("日付", 150);
    lv.addColumn("", 0);
    lv.addColumn("属性", 90);
    ASSERT_EQ(lv.columnCount(), 5);
    EXPECT_EQ(lv.columnHeader(4), "属性");
    EXPECT_EQ(lv.columnWidth(3), 0);
    EXPECT_EQ(lv.columnWidth(4), 90);
    add_entry(lv, "x", false, "     1KB");
    ASSERT_TRUE(show_and_wait(lv));

    QHeaderView* header = lv.reportView()->header();
    EXPECT_TRUE(header->isSectionHidden(3));
    // Grab the boundary after the date column from both sides and drag right.
    for (int side : {-1, 1}) {
        const int date = lv.columnWidth(2);
        const int x = header->sectionViewportPosition(2) + date + side;
        const int y = header->height() / 2;
        send_mouse(header->viewport(), QEvent::MouseButtonPress, Qt::LeftButton, {x, y});
        send_mouse(header->viewport(), QEvent::MouseMove, Qt::NoButton, {x + 30, y});
        send_mouse(header->viewport(), QEvent::MouseButtonRelease, Qt::LeftButton, {x + 30, y});
        EXPECT_EQ(lv.columnWidth(3), 0) << "grabbed at " << x;
        EXPECT_TRUE(header->isSectionHidden(3));
        EXPECT_EQ(lv.columnWidth(2), date + 30) << "the date column takes the drag";
        EXPECT_EQ(lv.columnWidth(4), 90);
    }

    lv.setColumnWidth(3, 40);
    EXPECT_EQ(lv.columnWidth(3), 40);
    EXPECT_FALSE(header->isSectionHidden(3));
    lv.setColumnWidth(3, 0);
    EXPECT_TRUE(header->isSectionHidden(3));

    // Sub-items show right-aligned in the size column only.
    const QAbstractItemModel* m = lv.reportView()->model();
    EXPECT_EQ(m->index(0, 1).data(Qt::TextAlignmentRole).toInt() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
    lv.setColumnAlignment(1, Qt::AlignRight);
    EXPECT_EQ(m->index(0, 1).data(Qt::TextAlignmentRole).toInt() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    EXPECT_EQ(m->index(0, 2).data(Qt::TextAlignmentRole).toInt() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);

    lv.clearColumns();
    EXPECT_EQ(lv.columnCount(), 0);
    EXPECT_EQ(lv.count(), 1) << "items stay";
    lv.addColumn("名前", 120);
    EXPECT_EQ(lv.columnWidth(0), 120);
}

// ------------------------------------------------------------------ views

TEST(ListViewMode, SwitchingViewsKeepsItemsSelectionAndCurrentRow)
{
    ListView lv;
    add_file_columns(lv);
    for (int i = 0; i < 30; ++i)
        add_entry(lv, QString("entry%1").arg(i, 2, 10, QChar('0')), i % 3 == 0, "     1KB");
    ASSERT_TRUE(show_and_wait(lv));
    lv.setSelected(1, true);
    lv.setSelected(3, true);
    lv.setCurrentRow(4, false);
    EXPECT_EQ(lv.view(), ListView::ReportMode);
    EXPECT_EQ(lv.activeView(), lv.reportView());

    lv.setView(ListView::ListMode);
    EXPECT_EQ(lv.view(), 2);
    EXPECT_EQ(lv.activeView(), lv.listView());
    EXPECT_TRUE(lv.listView()->isVisible());
    EXPECT_FALSE(lv.reportView()->isVisible());
    EXPECT_EQ(lv.count(), 30);
    EXPECT_EQ(lv.selectedRows(), QList<int>({1, 3}));
    EXPECT_EQ(lv.currentRow(), 4);

    // A click in the list view selects the whole entry.
    QWidget* vp = lv.listView()->viewport();
    ASSERT_TRUE(wait_until([&] { return lv.listView()->visualRect(lv.listView()->model()->index(7, 0)).isValid(); }));
    click(vp, row_center(lv, 7));
    EXPECT_EQ(lv.selectedRows(), QList<int>({7}));
    EXPECT_EQ(lv.selectedItem(), 7);

    lv.setView(ListView::ReportMode);
    EXPECT_EQ(lv.activeView(), lv.reportView());
    EXPECT_EQ(lv.selectedRows(), QList<int>({7}));
    EXPECT_TRUE(lv.reportView()->selectionModel()->isRowSelected(7, {}));

    lv.setView(ListView::IconView);
    EXPECT_EQ(lv.activeView(), lv.listView()) << "icon views show as the list";
    lv.setView(9);
    EXPECT_EQ(lv.view(), ListView::IconView) << "unknown codes are ignored";
}

// ----------------------------------------------------------------- events

TEST(ListViewEvents, ClicksDoubleClicksRightClicksAndKeys)
{
    ListView lv;
    add_file_columns(lv);
    for (const char* n : {"one", "two", "three"})
        add_entry(lv, n, true);
    ASSERT_TRUE(show_and_wait(lv));

    int clicks = 0, doubles = 0;
    QList<QPoint> rights;
    QList<int> keys;
    int selectedAtRightClick = -2;
    QObject::connect(&lv, &ListView::clicked, [&] { ++clicks; });
    QObject::connect(&lv, &ListView::doubleClicked, [&] { ++doubles; });
    QObject::connect(&lv, &ListView::rightClicked, [&](const QPoint& p) {
        rights << p;
        selectedAtRightClick = lv.selectedItem();
    });
    QObject::connect(&lv, &ListView::keyPressed, [&](int k) { keys << k; });

    QWidget* vp = lv.activeView()->viewport();
    const QPoint empty(vp->width() / 2, vp->height() - 5);
    ASSERT_FALSE(lv.activeView()->indexAt(empty).isValid());

    click(vp, empty);
    EXPECT_EQ(clicks, 1) << "a click on empty space counts";
    double_click(vp, empty);
    EXPECT_EQ(doubles, 0) << "no double-click without a row";

    doubles = 0;
    double_click(vp, row_center(lv, 1));
    EXPECT_EQ(doubles, 1);
    EXPECT_EQ(lv.currentRow(), 1);

    // Right press: reported with the screen position, after the row under
    // the mouse has been selected, so a popup acts on the right entry.
    clicks = 0;
    const QPoint onThree = row_center(lv, 2);
    send_mouse(vp, QEvent::MouseButtonPress, Qt::RightButton, onThree);
    send_mouse(vp, QEvent::MouseButtonRelease, Qt::RightButton, onThree);
    EXPECT_EQ(clicks, 1);
    ASSERT_EQ(rights.size(), 1);
    EXPECT_EQ(rights[0], vp->mapToGlobal(onThree));
    EXPECT_EQ(selectedAtRightClick, 2);
    double_click(vp, row_center(lv, 0)); // not a right click
    EXPECT_EQ(rights.size(), 1);
    // The menu key opens the popup at the current entry; the context-menu
    // event that follows a right press is not a second right click.
    QContextMenuEvent fromMouse(QContextMenuEvent::Mouse, onThree, vp->mapToGlobal(onThree));
    QApplication::sendEvent(vp, &fromMouse);
    EXPECT_EQ(rights.size(), 1);
    QContextMenuEvent fromKey(QContextMenuEvent::Keyboard, QPoint(0, 0), vp->mapToGlobal(QPoint(0, 0)));
    QApplication::sendEvent(vp, &fromKey);
    ASSERT_EQ(rights.size(), 2);
    EXPECT_TRUE(lv.activeView()->visualRect(lv.activeView()->model()->index(0, 0))
                    .contains(vp->mapFromGlobal(rights[1]) - QPoint(0, 1)))
        << "at the current entry";

    // Enter opens the current entry like a double-click.
    doubles = 0;
    lv.setCurrentRow(2, false);
    press_key(lv.activeView(), Qt::Key_Return);
    press_key(lv.activeView(), Qt::Key_Enter);
    EXPECT_EQ(doubles, 2);
    press_key(lv.activeView(), Qt::Key_Delete);
    EXPECT_EQ(keys, QList<int>({Qt::Key_Return, Qt::Key_Enter, Qt::Key_Delete}));
    lv.clear();
    press_key(lv.activeView(), Qt::Key_Return);
    EXPECT_EQ(doubles, 2) << "Enter on an empty list opens nothing";

    // The same in the list view.
    for (const char* n : {"one", "two"})
        add_entry(lv, n, true);
    lv.setView(ListView::ListMode);
    vp = lv.activeView()->viewport();
    ASSERT_TRUE(wait_until([&] { return lv.listView()->visualRect(lv.listView()->model()->index(1, 0)).isValid(); }));
    double_click(vp, row_center(lv, 1));
    EXPECT_EQ(doubles, 3);
    EXPECT_EQ(lv.currentRow(), 1);

    // A disabled list reports nothing and changes nothing.
    lv.setEnabled(false);
    clicks = 0;
    lv.clearSelection();
    click(vp, row_center(lv, 0));
    double_click(vp, row_center(lv, 0));
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(doubles, 3);
    EXPECT_TRUE(lv.selectedRows().isEmpty());
}

// ------------------------------------------------------------------- bulk

TEST(ListViewBulk, HundredThousandRowsFillAndSortCorrectly)
{
    constexpr int kRows = 100000;
    ListView lv;
    add_file_columns(lv);
    ASSERT_TRUE(show_and_wait(lv));

    std::mt19937 rng(12345);
    QStringList pool;
    pool.reserve(kRows);
    for (int i = 0; i < kRows; ++i) {
        QString name = QString("file_%1_%2.dat").arg(rng() % 100000).arg(i);
        if (rng() % 2)
            name = name.toUpper();
        pool << name;
    }

    QElapsedTimer timer;
    timer.start();
    lv.hide(); // the program fills its lists hidden
    lv.clear();
    lv.setSortKey(0);
    lv.setSorted(true);
    for (int i = 0; i < kRows; ++i) {
        const bool folder = i % 7 == 0;
        lv.addItem(pool[i], folder ? 1 : 2,
                   {folder ? QString() : QString("%1KB").arg(i % 5000, 8), "2024/01/02 03:04", folder ? "0" : "1"});
    }
    const qint64 fill = timer.elapsed();
    lv.show();
    lv.setCurrentRow(0, false);
    const qint64 shown = timer.elapsed();
    lv.setSortKey(0);
    const qint64 byName = timer.elapsed();
    lv.setSortKey(3);
    lv.setCurrentRow(0, false);
    const qint64 total = timer.elapsed();
    const QString firstName = lv.text(0);
    timer.restart();
    QCoreApplication::processEvents();
    const qint64 firstEvents = timer.elapsed();
    timer.restart();
    lv.setSortOrder(Qt::DescendingOrder);
    sort_name_then_kind(lv);
    const qint64 resort = timer.elapsed();
    std::printf("[ ListView ] %d rows: fill+sort %lld ms (add %lld, to the views %lld, by name %lld, by kind %lld); "
                "first event pass %lld ms; descending name+kind re-sort %lld ms\n",
                kRows, static_cast<long long>(total), static_cast<long long>(fill),
                static_cast<long long>(shown - fill), static_cast<long long>(byName - shown),
                static_cast<long long>(total - byName), static_cast<long long>(firstEvents),
                static_cast<long long>(resort));
    EXPECT_EQ(lv.text(lv.currentRow()), firstName) << "the current entry moved with the sort";

    ASSERT_EQ(lv.count(), kRows);
    ASSERT_EQ(lv.activeView()->model()->rowCount(), kRows);
    QCollator collator(QLocale(QLocale::English));
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    QSet<QString> seen;
    int violations = 0;
    for (int i = 0; i < kRows; ++i) {
        seen.insert(lv.text(i));
        if (i == 0)
            continue;
        // Descending: files (1) before folders (0), names descending within.
        const int k0 = lv.subItem(i - 1, 3).toInt(), k1 = lv.subItem(i, 3).toInt();
        if (k0 < k1 || (k0 == k1 && collator.compare(lv.text(i - 1), lv.text(i)) < 0))
            ++violations;
    }
    EXPECT_EQ(violations, 0);
    EXPECT_EQ(seen.size(), kRows) << "every row once";
    EXPECT_EQ(lv.subItem(0, 3), "1");
    EXPECT_EQ(lv.subItem(kRows - 1, 3), "0");

    timer.restart();
    lv.clear();
    std::printf("[ ListView ] clearing %d rows: %lld ms\n", kRows, static_cast<long long>(timer.elapsed()));
    EXPECT_EQ(lv.count(), 0);
    EXPECT_EQ(lv.activeView()->model()->rowCount(), 0);
}

// ------------------------------------------------------------- robustness

TEST(ListViewRobust, OutOfRangeAccessIsHarmless)
{
    ListView lv;
    EXPECT_EQ(lv.text(0), "");
    EXPECT_EQ(lv.columnHeader(0), "");
    EXPECT_EQ(lv.columnWidth(0), 0);
    lv.setColumnWidth(0, 50); // no such column yet
    lv.setColumnAlignment(3, Qt::AlignRight);
    lv.setSorted(true); // an empty list sorts
    EXPECT_EQ(lv.selectedItem(), -1);
    EXPECT_EQ(lv.smallIcon(0), -1);

    add_file_columns(lv);
    lv.addItem("only", 2); // no sub-items at all
    for (int row : {-1, 1, 1000, INT_MIN, INT_MAX}) {
        EXPECT_EQ(lv.text(row), "");
        EXPECT_EQ(lv.subItem(row, 1), "");
        EXPECT_EQ(lv.smallIcon(row), -1);
        EXPECT_FALSE(lv.isSelected(row));
        lv.setText(row, "x");
        lv.setSubItem(row, 1, "x");
        lv.setSelected(row, true);
        lv.setCurrentRow(row, true);
    }
    EXPECT_EQ(lv.count(), 1);
    EXPECT_EQ(lv.currentRow(), -1);
    EXPECT_TRUE(lv.selectedRows().isEmpty());
    for (int i : {-1, 0, 1, 4, 1000})
        EXPECT_EQ(lv.subItem(0, i), "") << i;
    lv.setSubItem(0, 0, "x");
    lv.setSubItem(0, -3, "x");
    lv.setSubItem(0, 1 << 30, "x");
    EXPECT_EQ(lv.text(0), "only");
    lv.setSubItem(0, 5, "beyond the columns");
    EXPECT_EQ(lv.subItem(0, 5), "beyond the columns");
    EXPECT_EQ(lv.subItem(0, 4), "");
    for (int c : {-1, 4, 99}) {
        EXPECT_EQ(lv.columnHeader(c), "");
        EXPECT_EQ(lv.columnWidth(c), 0);
        lv.setColumnWidth(c, 10);
    }
    EXPECT_EQ(lv.columnCount(), 4);

    // Sorting by a key that rows do not have, or an impossible key.
    lv.addItem("another", 1, {"a"});
    lv.setSortKey(9);
    lv.setSortKey(-1);
    EXPECT_EQ(lv.sortKey(), 9);
    EXPECT_EQ(names(lv), "only|another");
    lv.setSortKey(1);
    lv.setSortOrder(Qt::DescendingOrder); // "a" before a missing sub-item
    EXPECT_EQ(names(lv), "another|only");

    EXPECT_TRUE(list_icon(0).isNull());
    EXPECT_TRUE(list_icon(5).isNull());
    for (int i : {1, 2, 3, 4})
        EXPECT_FALSE(list_icon(i).isNull()) << i;
}

TEST(ListViewRobust, OddNamesKeepTheirTextAndOneLineOnScreen)
{
    ListView lv;
    add_file_columns(lv);
    const QString crlf = "line1\r\nline2";
    const QString tab = "a\tb";
    const QString longName(10000, QChar('x'));
    const QString rtl = QString(QChar(0x200F)) + "שלום.txt" + QChar(0x202E) + "gnp";
    const QString lineSep = QString("p1") + QChar(0x2029) + "p2";
    for (const QString& n : {QString("plain"), crlf, tab, longName, rtl, lineSep})
        add_entry(lv, n, false, "     1KB");
    ASSERT_TRUE(show_and_wait(lv));

    EXPECT_EQ(lv.text(1), crlf);
    EXPECT_EQ(lv.text(3), longName);
    EXPECT_EQ(lv.text(4), rtl);
    const QAbstractItemModel* m = lv.activeView()->model();
    for (int r = 0; r < lv.count(); ++r) {
        const QString shown = m->index(r, 0).data().toString();
        EXPECT_FALSE(shown.contains('\r') || shown.contains('\n') || shown.contains('\t')
                     || shown.contains(QChar(0x2029)))
            << "row " << r;
        EXPECT_LE(shown.size(), 1100) << "row " << r;
    }
    EXPECT_TRUE(m->index(1, 0).data().toString().startsWith("line1"));
    EXPECT_EQ(m->index(4, 0).data().toString(), rtl) << "bidi marks are shown as they are";

    // Every entry is one line high in the list view, and the long one does
    // not take the width of all its 10,000 characters.
    lv.setView(ListView::ListMode);
    QListView* list = lv.listView();
    ASSERT_TRUE(wait_until([&] { return list->visualRect(m->index(5, 0)).isValid(); }));
    const int height = list->visualRect(m->index(0, 0)).height();
    for (int r = 1; r < lv.count(); ++r)
        EXPECT_EQ(list->visualRect(m->index(r, 0)).height(), height) << "row " << r;
    EXPECT_LT(list->visualRect(m->index(3, 0)).width(), list->fontMetrics().horizontalAdvance(longName) / 4);

    // Sorting them is no problem either, and the texts stay whole.
    lv.setSorted(true);
    QStringList texts;
    for (int r = 0; r < lv.count(); ++r)
        texts << lv.text(r);
    EXPECT_TRUE(texts.contains(longName));
    EXPECT_TRUE(texts.contains(crlf));
}
