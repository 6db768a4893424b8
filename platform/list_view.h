// The list control of the two file lists (and of the server list): rows of a
// text, a small icon and sub-item texts, shown either as a report with column
// headers or as a list of names flowing in columns. It keeps the behaviour
// the program relies on: stable sorting by one key at a time, header clicks
// that only report, rows that can be current without being selected.
#pragma once
#include <QDeadlineTimer>
#include <QWidget>
#include <QSet>
#include <QStringList>

#include <functional>
#include <memory>

class QAbstractItemView;
class QItemSelectionModel;
class QListView;
class QMouseEvent;
class QKeyEvent;
class QResizeEvent;
class QModelIndex;
class QStackedLayout;
class QTreeView;
class ListViewModel;
struct StagedRows;
template <class> class ListViewEvents;

// What a row holds besides its texts: a file's exact size in bytes and
// its exact modification time in seconds since 1970 UTC, -1 when unknown.
struct RowFacts {
    qint64 bytes = -1;
    qint64 modified = -1;
};

class ListView : public QWidget {
    Q_OBJECT
public:
    // View codes as the program stores them. Icon and small-icon views are
    // shown as the list view: the file lists only ever use list and report.
    enum { IconView = 0, SmallIconView = 1, ListMode = 2, ReportMode = 3 };

    explicit ListView(QWidget* parent = nullptr);
    ~ListView() override;

    void setView(int code); // codes other than 0..3 are ignored
    int view() const;

    // Columns. Column 0 shows the item text, column k its sub-item k.
    // A column of width 0 is hidden and cannot be dragged open.
    void addColumn(const QString& header, int widthPx);
    int columnCount() const;
    QString columnHeader(int column) const;
    int columnWidth(int column) const; // 0 when hidden or absent
    void setColumnWidth(int column, int px);
    void setColumnAlignment(int column, Qt::Alignment alignment);
    void clearColumns();
    // The column that takes the width the list gains or loses when it is
    // resized; the others keep theirs. -1 (the default): none does.
    void setStretchColumn(int column);

    // Items. Rows are numbered from 0; any row or sub-item number out of
    // range reads as "" / -1 and is ignored by the setters.
    int addItem(const QString& text, int smallIcon, const QStringList& subItems = {});
    void clear();
    int count() const;
    QString text(int row) const;
    void setText(int row, const QString& text);
    QString subItem(int row, int i) const; // i from 1
    void setSubItem(int row, int i, const QString& text);
    int smallIcon(int row) const;
    RowFacts facts(int row) const;

    // Sorting. While sorted() is true, setSorted(true), setSortKey and
    // setSortOrder each sort the rows at once, stably (equal keys keep their
    // order), comparing texts case-insensitively in the locale's collation.
    // Key 0 is the item text, key k > 0 sub-item k. Adding items does not
    // re-sort. The current row and the selection stay with their items.
    void setSorted(bool on);
    bool sorted() const;
    void setSortKey(int key);
    int sortKey() const;
    void setSortOrder(Qt::SortOrder order);
    Qt::SortOrder sortOrder() const;

    // Filling a long list without a long pause: rows are staged away from
    // the views (count() does not see them), sorted there a bounded piece at
    // a time, then shown in one go. clear() drops staged rows too.
    void stageItem(const QString& text, int smallIcon, const QStringList& subItems, RowFacts facts = {});
    int stagedCount() const;
    // Sorts the staged rows as setSortKey(minorKey) and then
    // setSortKey(majorKey) would sort them, in the current direction, until
    // `until` has passed; true once they are sorted. A direction changed in
    // between makes the sort start over.
    bool sortStaged(int minorKey, int majorKey, QDeadlineTimer until);
    // The staged rows, sorted or not, replace the list's rows; a finished
    // sort leaves the list sorted by majorKey.
    void showStaged();
    void dropStaged();

    // Current row and selection.
    int currentRow() const; // -1 when none
    // Makes row current. select = true makes it the only selected row;
    // select = false leaves it current but not selected.
    void setCurrentRow(int row, bool select);
    QList<int> selectedRows() const; // ascending
    bool isSelected(int row) const;
    void setSelected(int row, bool on);
    void clearSelection();
    // Only the rows whose text is in texts are selected; the row whose text
    // is current becomes current (not selected for that alone).
    void selectTexts(const QSet<QString>& texts, const QString& current);
    // The current row when it is selected, else the first selected row, else -1.
    int selectedItem() const;

    // Dragging rows out: make returns what the drag carries, or nullptr for
    // no drag. Unset (the default): rows cannot be dragged.
    void setDragData(std::function<class QMimeData*()> make);
    // Drops that carry one of these formats are taken and reported by
    // dropped(); empty (the default): nothing can be dropped here.
    void setDropFormats(const QStringList& formats);

    // The view on screen (for focus and for tests).
    QAbstractItemView* activeView() const;
    QTreeView* reportView() const { return tree_; }
    QListView* listView() const { return list_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

signals:
    void clicked();                              // mouse pressed in the list area, any button
    void doubleClicked();                        // double-click on a row, or Enter
    void rightClicked(const QPoint& globalPos); // right button pressed (or the menu key)
    void columnClicked(int column);              // header clicked; nothing is sorted
    void keyPressed(int key);                    // before the list handles the key
    // Something was dropped on the list; source is the widget of this program
    // the drag started in, or nullptr when it came from another program.
    void dropped(const class QMimeData* data, QObject* source);

private:
    template <class> friend class ListViewEvents;
    void viewMousePressed(QAbstractItemView* view, QMouseEvent* event);
    void viewDoubleClicked(QAbstractItemView* view, QMouseEvent* event);
    bool viewKeyPressed(QKeyEvent* event); // true when consumed
    void viewMenuKey(QAbstractItemView* view);
    void viewStartDrag(QAbstractItemView* view);
    bool viewTakesDrop(const class QMimeData* data) const;
    std::function<class QMimeData*()> dragData_;
    QStringList dropFormats_;
    void sortNow();
    QModelIndex indexOf(int row) const;
    bool validRow(int row) const;

    ListViewModel* model_;
    std::unique_ptr<StagedRows> staged_;
    QItemSelectionModel* selection_;
    QTreeView* tree_;
    QListView* list_;
    QStackedLayout* stack_;
    int view_ = ReportMode;
    bool sorted_ = false;
    int sortKey_ = 0;
    int stretchColumn_ = -1;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
};
