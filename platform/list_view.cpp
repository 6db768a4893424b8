#include "platform/list_view.h"

#include <QAbstractTableModel>
#include <QCollator>
#include <QHash>
#include <QSet>
#include <QContextMenuEvent>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QListView>
#include <QLocale>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QStackedLayout>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <numeric>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <vector>

#include "platform/image_list.h"

namespace {

struct ListRow {
    QString text;
    QStringList subItems; // sub-item k is subItems[k - 1]
    int smallIcon = 0;
    RowFacts facts;
};

// More sub-items than this per row are dropped: no list has nearly as many
// columns, and a wild index must not allocate without bound.
constexpr int kMaxSubItems = 255;
// Longer texts are cut on screen (the row keeps the whole text): a name of
// thousands of characters would otherwise make the list mode's column as wide
// as the name and cost a text layout of its full length on every paint.
constexpr int kMaxShownChars = 1024;

bool breaks_line(char16_t u)
{
    return u < 0x20 || u == 0x7f || u == 0x85 || u == 0x2028 || u == 0x2029;
}

// The text as the list paints it. Names may hold any character; control
// characters and line breaks would make a cell taller than a row or spill
// into the next line, so they are shown as their visible control pictures.
QString display_text(const QString& s)
{
    bool plain = s.size() <= kMaxShownChars;
    for (qsizetype i = 0; plain && i < s.size(); ++i)
        plain = !breaks_line(s[i].unicode());
    if (plain)
        return s;
    QString out = s.left(kMaxShownChars);
    if (out.size() < s.size() && !out.isEmpty() && out.back().isHighSurrogate())
        out.chop(1);
    for (QChar& c : out) {
        const char16_t u = c.unicode();
        if (u < 0x20)
            c = QChar(char16_t(0x2400 + u)); // the control picture of a C0 code
        else if (u == 0x7f)
            c = QChar(char16_t(0x2421));
        else if (breaks_line(u))
            c = QChar(char16_t(0x2424)); // the newline picture
    }
    if (out.size() < s.size())
        out += QChar(char16_t(0x2026));
    return out;
}

// The collation the lists sort by. Qt's C locale compares code units, where
// every upper-case letter sorts before every lower-case one; programs started
// without a locale get the neutral Unicode collation instead.
QLocale collation_locale()
{
    const QLocale locale;
    if (locale.language() == QLocale::C)
        return QLocale(QLocale::English, QLocale::UnitedStates);
    return locale;
}

// The sort key of a text as the lists compare them. Case-insensitive by
// folding the case first: the collator then still tells full-width from
// half-width and hiragana from katakana, which a weaker collation strength
// would also fold together.
QCollator list_collator()
{
    QCollator collator(collation_locale());
    collator.setCaseSensitivity(Qt::CaseSensitive);
    collator.setNumericMode(false);
    collator.setIgnorePunctuation(false); // spaces pad the size texts
    return collator;
}

// How often a bounded loop looks at the clock: rarely enough to cost
// nothing, often enough to stop within a fraction of a millisecond.
constexpr unsigned kClockEvery = 64;
// Lists this long hand the memory their sort used back to the system.
constexpr int kTrimFrom = 200000;

// A sort of positions 0..n-1 done a bounded piece at a time: short runs
// sorted first, then merged pairwise, each merge resumable at any element.
// less must be a strict total order (ties broken by position), so the
// result is the one stable order whatever the runs.
class StepSort {
public:
    void start(size_t n)
    {
        a_.resize(n);
        std::iota(a_.begin(), a_.end(), 0);
        b_.assign(n, 0);
        width_ = 0;
        lo_ = 0;
        merging_ = false;
    }
    const std::vector<int>& order() const { return a_; }

    template <class Less>
    bool run(const Less& less, const QDeadlineTimer& until)
    {
        const size_t n = a_.size();
        if (width_ == 0) {
            while (lo_ < n) {
                const size_t hi = std::min(n, lo_ + kRun);
                std::sort(a_.begin() + qsizetype(lo_), a_.begin() + qsizetype(hi), less);
                lo_ = hi;
                if (lo_ < n && until.hasExpired())
                    return false;
            }
            width_ = kRun;
            lo_ = 0;
        }
        unsigned tick = 0;
        while (width_ < n) {
            while (lo_ < n) {
                const size_t mid = std::min(n, lo_ + width_), hi = std::min(n, lo_ + 2 * width_);
                if (!merging_) {
                    i_ = lo_;
                    j_ = mid;
                    k_ = lo_;
                    merging_ = true;
                }
                while (i_ < mid && j_ < hi) {
                    b_[k_++] = less(a_[j_], a_[i_]) ? a_[j_++] : a_[i_++];
                    if (++tick % kClockEvery == 0 && until.hasExpired())
                        return false;
                }
                std::copy(a_.begin() + qsizetype(i_), a_.begin() + qsizetype(mid), b_.begin() + qsizetype(k_));
                k_ += mid - i_;
                std::copy(a_.begin() + qsizetype(j_), a_.begin() + qsizetype(hi), b_.begin() + qsizetype(k_));
                merging_ = false;
                lo_ = hi;
            }
            a_.swap(b_);
            width_ *= 2;
            lo_ = 0;
        }
        b_ = {};
        return true;
    }

private:
    static constexpr size_t kRun = 2048;
    std::vector<int> a_, b_;
    size_t width_ = 0;   // 0 while the runs are sorted, then the width of the runs merged
    size_t lo_ = 0;      // start of the run or pair being worked on
    size_t i_ = 0, j_ = 0, k_ = 0;
    bool merging_ = false;
};

} // namespace

struct ListRowKeys {
    static const QString& text(const ListRow& row, int key)
    {
        static const QString empty;
        if (key == 0)
            return row.text;
        return key - 1 < row.subItems.size() ? row.subItems[key - 1] : empty;
    }
};

// The collation rank of one key text of every row (equal texts, equal
// ranks), worked out a bounded piece at a time: each distinct text's
// collation key, a sort of those keys, then the ranks.
class KeyRanks {
public:
    // Names hardly ever repeat, so for them looking up every text first
    // would only add time; sizes, dates and kinds repeat a lot.
    void start(const std::vector<ListRow>& rows, int key)
    {
        key_ = key;
        phase_ = Phase::Distinct;
        next_ = 0;
        texts_.clear();
        textOf_.assign(rows.size(), 0);
        const size_t sample = std::min<size_t>(rows.size(), 256);
        QSet<QString> seen;
        for (size_t i = 0; i < sample; ++i)
            seen.insert(ListRowKeys::text(rows[i], key));
        everyRowDistinct_ = size_t(seen.size()) * 10 >= sample * 9;
        distinctOf_.clear();
    }

    bool run(const std::vector<ListRow>& rows, const QDeadlineTimer& until)
    {
        unsigned tick = 0;
        const auto late = [&] { return ++tick % kClockEvery == 0 && until.hasExpired(); };
        if (phase_ == Phase::Distinct) {
            texts_.reserve(everyRowDistinct_ ? rows.size() : 64);
            for (; next_ < rows.size(); ++next_) {
                if (late())
                    return false;
                const QString& text = ListRowKeys::text(rows[next_], key_);
                if (everyRowDistinct_) {
                    textOf_[next_] = int(texts_.size());
                    texts_.push_back(&text);
                    continue;
                }
                auto it = distinctOf_.constFind(text);
                if (it == distinctOf_.cend()) {
                    it = distinctOf_.insert(text, int(texts_.size()));
                    texts_.push_back(&text);
                }
                textOf_[next_] = it.value();
            }
            distinctOf_ = {};
            keys_.reserve(texts_.size());
            phase_ = Phase::Collate;
        }
        if (phase_ == Phase::Collate) {
            while (keys_.size() < texts_.size()) {
                if (late())
                    return false;
                keys_.push_back(collator_.sortKey(texts_[keys_.size()]->toCaseFolded()));
            }
            sort_.start(keys_.size());
            phase_ = Phase::Sort;
        }
        if (phase_ == Phase::Sort) {
            const auto less = [this](int a, int b) {
                const int c = keys_[size_t(a)].compare(keys_[size_t(b)]);
                return c != 0 ? c < 0 : a < b;
            };
            if (!sort_.run(less, until))
                return false;
            textRank_.assign(keys_.size(), 0);
            next_ = 0;
            rank_ = 0;
            phase_ = Phase::Rank;
        }
        if (phase_ == Phase::Rank) {
            const std::vector<int>& order = sort_.order();
            for (; next_ < order.size(); ++next_) {
                if (late())
                    return false;
                if (next_ > 0 && keys_[size_t(order[next_ - 1])].compare(keys_[size_t(order[next_])]) != 0)
                    ++rank_;
                textRank_[size_t(order[next_])] = rank_;
            }
            sort_ = {};
            texts_ = {};
            next_ = 0;
            phase_ = Phase::Free;
        }
        if (phase_ == Phase::Free) {
            // A million collation keys take as long to free as to sort.
            while (!keys_.empty()) {
                if (late())
                    return false;
                keys_.pop_back();
            }
            keys_ = {};
            for (; next_ < textOf_.size(); ++next_) {
                if (late())
                    return false;
                textOf_[next_] = textRank_[size_t(textOf_[next_])];
            }
            textRank_ = {};
            phase_ = Phase::Done;
        }
        return true;
    }

    // By row, once run() has returned true.
    const std::vector<int>& ranks() const { return textOf_; }
    int distinctRanks() const { return rank_ + 1; }

private:
    enum class Phase { Distinct, Collate, Sort, Rank, Free, Done };
    Phase phase_ = Phase::Done;
    int key_ = 0;
    size_t next_ = 0;
    bool everyRowDistinct_ = false;
    QCollator collator_ = list_collator();
    QHash<QString, int> distinctOf_;
    std::vector<const QString*> texts_;   // the distinct texts, in the rows
    std::vector<int> textOf_;             // by row: its distinct text, then its rank
    std::vector<QCollatorSortKey> keys_;
    StepSort sort_;
    std::vector<int> textRank_;
    int rank_ = 0;
};

// Rows gathered away from the views, and how far their sort has come.
struct StagedRows {
    std::vector<ListRow> rows;
    enum class Phase { Minor, Major, Rows, Arrange, Done };
    Phase phase = Phase::Minor;
    bool started = false;
    int minorKey = 0, majorKey = 0;
    Qt::SortOrder order = Qt::AscendingOrder;
    KeyRanks minor, major;
    std::vector<qint64> rowKey;   // by row: major rank, then minor rank, in one number
    StepSort sort;
    std::vector<ListRow> arranged;   // the rows in sorted order, as far as moved
    std::vector<qint64> arrangedKey;
};

// The rows of one list. Rows added one by one are only announced to the views
// in one batch (on the next query that needs them, or when control returns
// to the event loop): the views handle one insertion of many rows about ten
// times faster than as many insertions of one row.
class ListViewModel : public QAbstractTableModel {
public:
    explicit ListViewModel(QObject* parent) : QAbstractTableModel(parent) {}

    std::vector<ListRow> rows; // all rows, the announced ones first
    int shown = 0;             // rows the views know of
    QStringList headers;
    QList<Qt::Alignment> alignments;
    bool draggable = false;    // rows can be dragged out

    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : shown;
    }
    // Column 0 exists even before any header is added, so the list mode can
    // show names in a list that has no columns.
    int columnCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : std::max<int>(1, int(headers.size()));
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || index.row() >= shown)
            return {};
        const ListRow& row = rows[size_t(index.row())];
        const int column = index.column();
        switch (role) {
        case Qt::DisplayRole:
            return display_text(column == 0 ? row.text : row.subItems.value(column - 1));
        case Qt::DecorationRole:
            if (column == 0)
                return list_icon(row.smallIcon);
            return {};
        case Qt::TextAlignmentRole:
            return int(alignment(column));
        default:
            return {};
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal)
            return {};
        if (role == Qt::DisplayRole)
            return headers.value(section);
        if (role == Qt::TextAlignmentRole)
            return int(alignment(section));
        return {};
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override
    {
        if (!index.isValid())
            return Qt::NoItemFlags;
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren |
               (draggable ? Qt::ItemIsDragEnabled : Qt::NoItemFlags);
    }

    Qt::Alignment alignment(int column) const
    {
        return alignments.value(column, Qt::AlignLeft) | Qt::AlignVCenter;
    }

    int addHeader(const QString& header)
    {
        const int column = int(headers.size());
        if (column == 0) {
            // Column 0 exists already (see columnCount); it only gets its title.
            headers.append(header);
            alignments.append(Qt::AlignLeft);
            emit headerDataChanged(Qt::Horizontal, 0, 0);
        } else {
            beginInsertColumns({}, column, column);
            headers.append(header);
            alignments.append(Qt::AlignLeft);
            endInsertColumns();
        }
        return column;
    }

    void clearHeaders()
    {
        const int n = int(headers.size());
        if (n > 1) {
            beginRemoveColumns({}, 1, n - 1);
            headers.resize(1);
            alignments.resize(1);
            endRemoveColumns();
        }
        headers.clear();
        alignments.clear();
        emit headerDataChanged(Qt::Horizontal, 0, 0);
    }

    void setAlignment(int column, Qt::Alignment alignment)
    {
        alignments[column] = alignment;
        emit headerDataChanged(Qt::Horizontal, column, column);
        if (shown > 0)
            emit dataChanged(index(0, column), index(shown - 1, column), {Qt::TextAlignmentRole});
    }

    void append(ListRow&& row)
    {
        rows.push_back(std::move(row));
        if (!commitQueued_) {
            commitQueued_ = true;
            QMetaObject::invokeMethod(this, [this] {
                commitQueued_ = false;
                commit();
            }, Qt::QueuedConnection);
        }
    }

    // Announces the rows added since the last call.
    void commit()
    {
        const int total = int(rows.size());
        if (total == shown)
            return;
        beginInsertRows({}, shown, total - 1);
        shown = total;
        endInsertRows();
    }

    void clearRows()
    {
        rows.resize(size_t(shown)); // the views never saw the rest
        if (shown == 0)
            return;
        beginRemoveRows({}, 0, shown - 1);
        retire(std::move(rows));
        rows = {};
        shown = 0;
        endRemoveRows();
    }

    // These rows in place of the present ones, in one change for the views.
    void install(std::vector<ListRow>&& fresh)
    {
        commit();
        if (rows.empty()) {
            if (fresh.empty())
                return;
            beginInsertRows({}, 0, int(fresh.size()) - 1);
            rows = std::move(fresh);
            shown = int(rows.size());
            endInsertRows();
            return;
        }
        beginResetModel();
        retire(std::move(rows));
        rows = std::move(fresh);
        shown = int(rows.size());
        endResetModel();
    }

    // Freeing a million rows at once would hold the window up for longer
    // than a turn of the event loop may take: rows that leave the list are
    // freed a bounded piece per turn.
    void retire(std::vector<ListRow> old)
    {
        if (old.size() < kFreeAtOnce)
            return;
        retired_.push_back(std::move(old));
        if (!freeQueued_) {
            freeQueued_ = true;
            QTimer::singleShot(0, this, [this] { freeSome(); });
        }
    }

    void freeSome()
    {
        freeQueued_ = false;
        const QDeadlineTimer until(kFreeMs);
        unsigned tick = 0;
        while (!retired_.empty()) {
            std::vector<ListRow>& old = retired_.back();
            while (!old.empty()) {
                old.pop_back();
                if (++tick % kClockEvery == 0 && until.hasExpired()) {
                    freeQueued_ = true;
                    QTimer::singleShot(0, this, [this] { freeSome(); });
                    return;
                }
            }
            retired_.pop_back();
        }
    }

    void rowChanged(int row, int column)
    {
        if (row < shown && column < columnCount())
            emit dataChanged(index(row, column), index(row, column));
    }

    static const QString& keyText(const ListRow& row, int key) { return ListRowKeys::text(row, key); }

    // Whether the key texts of the first rows are nearly all different.
    bool mostlyDistinct(int key) const
    {
        const size_t sample = std::min<size_t>(rows.size(), 256);
        QSet<QString> seen;
        for (size_t i = 0; i < sample; ++i)
            seen.insert(keyText(rows[i], key));
        return size_t(seen.size()) * 10 >= sample * 9;
    }

    // The collation rank of each text: equal ranks for texts that compare
    // equal, so that the row sort can keep their order.
    static std::vector<int> rankTexts(const QList<QString>& texts)
    {
        QCollator collator = list_collator();
        std::vector<QCollatorSortKey> keys;
        keys.reserve(size_t(texts.size()));
        for (const QString& text : texts)
            keys.push_back(collator.sortKey(text.toCaseFolded()));
        std::vector<int> order(keys.size());
        std::iota(order.begin(), order.end(), 0);
        std::sort(order.begin(), order.end(),
                  [&](int a, int b) { return keys[size_t(a)].compare(keys[size_t(b)]) < 0; });
        std::vector<int> rank(keys.size());
        int r = 0;
        for (size_t i = 0; i < order.size(); ++i) {
            if (i > 0 && keys[size_t(order[i - 1])].compare(keys[size_t(order[i])]) != 0)
                ++r;
            rank[size_t(order[i])] = r;
        }
        return rank;
    }

    // Sorts the rows stably by one key. Persistent indexes (and with them the
    // current row and the selection) move with their rows.
    void sortRows(int key, Qt::SortOrder order)
    {
        commit();
        const size_t n = rows.size();
        if (n < 2)
            return;

        // Rank each distinct key text once, then sort the rows by rank:
        // comparing collation keys is what costs. Sizes, dates and kinds
        // repeat a lot; names hardly ever, and for them looking up every
        // text first would only add time.
        std::vector<int> rank(n);
        QList<QString> distinct;
        if (mostlyDistinct(key)) {
            distinct.reserve(qsizetype(n));
            for (size_t i = 0; i < n; ++i) {
                distinct.append(keyText(rows[i], key));
                rank[i] = int(i);
            }
        } else {
            QHash<QString, int> distinctOf;
            distinctOf.reserve(qsizetype(n));
            for (size_t i = 0; i < n; ++i) {
                const QString& text = keyText(rows[i], key);
                auto it = distinctOf.constFind(text);
                if (it == distinctOf.cend()) {
                    it = distinctOf.insert(text, int(distinct.size()));
                    distinct.append(text);
                }
                rank[i] = it.value();
            }
        }
        const std::vector<int> textRank = rankTexts(distinct);
        for (int& r : rank)
            r = textRank[size_t(r)];

        std::vector<int> perm(n);
        std::iota(perm.begin(), perm.end(), 0);
        if (order == Qt::AscendingOrder)
            std::stable_sort(perm.begin(), perm.end(),
                             [&](int a, int b) { return rank[size_t(a)] < rank[size_t(b)]; });
        else
            std::stable_sort(perm.begin(), perm.end(),
                             [&](int a, int b) { return rank[size_t(a)] > rank[size_t(b)]; });
        bool moved = false;
        for (size_t i = 0; i < n && !moved; ++i)
            moved = perm[i] != int(i);
        if (!moved)
            return;

        emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
        std::vector<ListRow> sorted;
        sorted.reserve(n);
        std::vector<int> newRow(n);
        for (size_t i = 0; i < n; ++i) {
            sorted.push_back(std::move(rows[size_t(perm[i])]));
            newRow[size_t(perm[i])] = int(i);
        }
        rows.swap(sorted);
        const QModelIndexList from = persistentIndexList();
        QModelIndexList to;
        to.reserve(from.size());
        for (const QModelIndex& index : from)
            to.append(this->index(newRow[size_t(index.row())], index.column()));
        changePersistentIndexList(from, to);
        emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    }

private:
    static constexpr size_t kFreeAtOnce = 20000;
    static constexpr int kFreeMs = 20;
    bool commitQueued_ = false;
    bool freeQueued_ = false;
    std::vector<std::vector<ListRow>> retired_;   // rows left to free
};

// The two views report mouse and key events to the list after handling them
// themselves, so a handler sees the selection the click made.
template <class Base>
class ListViewEvents : public Base {
public:
    explicit ListViewEvents(ListView* owner) : Base(owner), owner_(owner) {}

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        Base::mousePressEvent(event);
        owner_->viewMousePressed(this, event);
    }
    void mouseDoubleClickEvent(QMouseEvent* event) override
    {
        Base::mouseDoubleClickEvent(event);
        owner_->viewDoubleClicked(this, event);
    }
    void keyPressEvent(QKeyEvent* event) override
    {
        if (!owner_->viewKeyPressed(event))
            Base::keyPressEvent(event);
    }
    void contextMenuEvent(QContextMenuEvent* event) override
    {
        // A right press has already been reported; only the menu key is new.
        if (event->reason() != QContextMenuEvent::Mouse)
            owner_->viewMenuKey(this);
        event->accept();
    }
    void startDrag(Qt::DropActions) override { owner_->viewStartDrag(this); }
    // The list decides what it takes, not the model: rows are never moved.
    void dragEnterEvent(QDragEnterEvent* event) override { takeOrIgnore(event); }
    void dragMoveEvent(QDragMoveEvent* event) override { takeOrIgnore(event); }
    void dropEvent(QDropEvent* event) override
    {
        if (!owner_->viewTakesDrop(event->mimeData())) {
            event->ignore();
            return;
        }
        event->setDropAction(Qt::CopyAction);
        event->accept();
        emit owner_->dropped(event->mimeData(), event->source());
    }

private:
    void takeOrIgnore(QDropEvent* event)
    {
        if (owner_->viewTakesDrop(event->mimeData())) {
            event->setDropAction(Qt::CopyAction);
            event->accept();
        } else {
            event->ignore();
        }
    }
    ListView* owner_;
};

ListView::ListView(QWidget* parent)
    : QWidget(parent), model_(new ListViewModel(this))
{
    tree_ = new ListViewEvents<QTreeView>(this);
    list_ = new ListViewEvents<QListView>(this);

    tree_->setModel(model_);
    selection_ = tree_->selectionModel();
    list_->setModel(model_);
    QItemSelectionModel* own = list_->selectionModel();
    list_->setSelectionModel(selection_);
    delete own;

    for (QAbstractItemView* v : {static_cast<QAbstractItemView*>(tree_), static_cast<QAbstractItemView*>(list_)}) {
        v->setSelectionMode(QAbstractItemView::ExtendedSelection);
        v->setSelectionBehavior(QAbstractItemView::SelectRows);
        v->setEditTriggers(QAbstractItemView::NoEditTriggers);
        v->setDragEnabled(false);
        v->setTextElideMode(Qt::ElideRight);
    }

    tree_->setRootIsDecorated(false);
    tree_->setItemsExpandable(false);
    tree_->setUniformRowHeights(true);
    tree_->setAllColumnsShowFocus(true);
    tree_->setSortingEnabled(false); // the program decides what a header click sorts
    tree_->setWordWrap(false);
    QHeaderView* header = tree_->header();
    header->setSectionsClickable(true);
    header->setSectionsMovable(false);
    header->setStretchLastSection(false);
    header->setSortIndicatorShown(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    connect(header, &QHeaderView::sectionClicked, this, &ListView::columnClicked);

    list_->setViewMode(QListView::ListMode);
    list_->setFlow(QListView::TopToBottom);
    list_->setWrapping(true);
    list_->setResizeMode(QListView::Adjust);
    list_->setMovement(QListView::Static);
    list_->setWordWrap(false);
    list_->setModelColumn(0);
    // Laying out a long list in one pass would freeze the window.
    list_->setLayoutMode(QListView::Batched);
    list_->setBatchSize(2000);

    stack_ = new QStackedLayout(this);
    stack_->setContentsMargins(0, 0, 0, 0);
    stack_->addWidget(tree_);
    stack_->addWidget(list_);
    stack_->setCurrentWidget(tree_);
    setFocusProxy(tree_);
}

ListView::~ListView() = default;

// ---- view ----

void ListView::setView(int code)
{
    if (code < IconView || code > ReportMode)
        return;
    model_->commit();
    view_ = code;
    QAbstractItemView* next = code == ReportMode ? static_cast<QAbstractItemView*>(tree_)
                                                 : static_cast<QAbstractItemView*>(list_);
    QAbstractItemView* prev = activeView();
    if (next == prev)
        return;
    const bool hadFocus = prev->hasFocus();
    stack_->setCurrentWidget(next);
    setFocusProxy(next);
    if (hadFocus)
        next->setFocus();
    if (selection_->currentIndex().isValid())
        next->scrollTo(selection_->currentIndex());
}

int ListView::view() const
{
    return view_;
}

QAbstractItemView* ListView::activeView() const
{
    model_->commit();
    return static_cast<QAbstractItemView*>(stack_->currentWidget());
}

// ---- columns ----

void ListView::addColumn(const QString& header, int widthPx)
{
    const int column = model_->addHeader(header);
    setColumnWidth(column, widthPx);
}

int ListView::columnCount() const
{
    return int(model_->headers.size());
}

QString ListView::columnHeader(int column) const
{
    return model_->headers.value(column);
}

int ListView::columnWidth(int column) const
{
    if (column < 0 || column >= columnCount() || tree_->isColumnHidden(column))
        return 0;
    return tree_->header()->sectionSize(column);
}

void ListView::setColumnWidth(int column, int px)
{
    if (column < 0 || column >= columnCount() || px < 0)
        return;
    // A hidden section has no grip of its own, so the user cannot drag it
    // open: the program hides its sort-only column this way.
    if (px == 0) {
        tree_->setColumnHidden(column, true);
        return;
    }
    tree_->setColumnHidden(column, false);
    tree_->header()->resizeSection(column, px);
}

void ListView::setColumnAlignment(int column, Qt::Alignment alignment)
{
    if (column < 0 || column >= columnCount())
        return;
    model_->setAlignment(column, alignment & Qt::AlignHorizontal_Mask);
}

void ListView::clearColumns()
{
    model_->clearHeaders();
    tree_->setColumnHidden(0, false);
    tree_->header()->resizeSection(0, tree_->header()->defaultSectionSize());
}

void ListView::selectTexts(const QSet<QString>& texts, const QString& current)
{
    clearSelection();
    for (int row = 0; row < count(); ++row) {
        if (text(row) == current)
            setCurrentRow(row, false);
    }
    for (int row = 0; row < count(); ++row) {
        if (texts.contains(text(row)))
            setSelected(row, true);
    }
}

void ListView::setStretchColumn(int column) { stretchColumn_ = column; }

void ListView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const int gained = event->size().width() - event->oldSize().width();
    // The first size is the layout's, not a change the user made.
    if (event->oldSize().width() <= 0 || gained == 0 || columnWidth(stretchColumn_) == 0)
        return;
    constexpr int NarrowestPx = 40;
    setColumnWidth(stretchColumn_, std::max(NarrowestPx, columnWidth(stretchColumn_) + gained));
}

// ---- items ----

int ListView::addItem(const QString& text, int smallIcon, const QStringList& subItems)
{
    ListRow row;
    row.text = text;
    row.smallIcon = smallIcon;
    row.subItems = subItems.size() > kMaxSubItems ? subItems.mid(0, kMaxSubItems) : subItems;
    model_->append(std::move(row));
    return int(model_->rows.size()) - 1;
}

void ListView::clear()
{
    dropStaged();
    model_->clearRows();
}

int ListView::count() const
{
    return int(model_->rows.size());
}

bool ListView::validRow(int row) const
{
    return row >= 0 && size_t(row) < model_->rows.size();
}

QModelIndex ListView::indexOf(int row) const
{
    if (!validRow(row))
        return {};
    model_->commit();
    return model_->index(row, 0);
}

QString ListView::text(int row) const
{
    return validRow(row) ? model_->rows[size_t(row)].text : QString();
}

void ListView::setText(int row, const QString& text)
{
    if (!validRow(row))
        return;
    model_->rows[size_t(row)].text = text;
    model_->rowChanged(row, 0);
}

QString ListView::subItem(int row, int i) const
{
    if (!validRow(row) || i < 1)
        return {};
    return model_->rows[size_t(row)].subItems.value(i - 1);
}

void ListView::setSubItem(int row, int i, const QString& text)
{
    if (!validRow(row) || i < 1 || i > kMaxSubItems)
        return;
    QStringList& subs = model_->rows[size_t(row)].subItems;
    while (subs.size() < i)
        subs.append(QString());
    subs[i - 1] = text;
    model_->rowChanged(row, i);
}

int ListView::smallIcon(int row) const
{
    return validRow(row) ? model_->rows[size_t(row)].smallIcon : -1;
}

RowFacts ListView::facts(int row) const
{
    return validRow(row) ? model_->rows[size_t(row)].facts : RowFacts{};
}

// ---- sorting ----

void ListView::sortNow()
{
    if (sorted_)
        model_->sortRows(sortKey_, sortOrder_);
}

void ListView::setSorted(bool on)
{
    sorted_ = on;
    sortNow();
}

bool ListView::sorted() const
{
    return sorted_;
}

void ListView::setSortKey(int key)
{
    if (key < 0 || key > kMaxSubItems)
        return;
    sortKey_ = key;
    sortNow();
}

int ListView::sortKey() const
{
    return sortKey_;
}

void ListView::setSortOrder(Qt::SortOrder order)
{
    sortOrder_ = order;
    sortNow();
}

Qt::SortOrder ListView::sortOrder() const
{
    return sortOrder_;
}

// ---- staged rows ----

void ListView::stageItem(const QString& text, int smallIcon, const QStringList& subItems, RowFacts facts)
{
    if (!staged_)
        staged_ = std::make_unique<StagedRows>();
    ListRow row;
    row.text = text;
    row.smallIcon = smallIcon;
    row.facts = facts;
    row.subItems = subItems.size() > kMaxSubItems ? subItems.mid(0, kMaxSubItems) : subItems;
    staged_->rows.push_back(std::move(row));
    staged_->started = false;
}

int ListView::stagedCount() const
{
    return staged_ ? int(staged_->rows.size()) : 0;
}

bool ListView::sortStaged(int minorKey, int majorKey, QDeadlineTimer until)
{
    if (!staged_)
        staged_ = std::make_unique<StagedRows>();
    StagedRows& s = *staged_;
    if (s.rows.size() < 2) {
        s.started = false;
        s.minorKey = minorKey;
        s.majorKey = majorKey;
        s.sort.start(s.rows.size());
        s.phase = StagedRows::Phase::Done;
        return true;
    }
    if (!s.started || s.minorKey != minorKey || s.majorKey != majorKey) {
        s.started = true;
        s.minorKey = minorKey;
        s.majorKey = majorKey;
        s.phase = StagedRows::Phase::Minor;
        s.minor.start(s.rows, minorKey);
        s.major.start(s.rows, majorKey);
    }
    if ((s.phase == StagedRows::Phase::Arrange || s.phase == StagedRows::Phase::Done) && s.order != sortOrder_) {
        // The other direction: the ranks still hold. Rows half moved are
        // put back first.
        if (s.phase == StagedRows::Phase::Arrange) {
            const std::vector<int>& order = s.sort.order();
            for (size_t i = 0; i < s.arranged.size(); ++i)
                s.rows[size_t(order[i])] = std::move(s.arranged[i]);
            s.arranged = {};
            s.arrangedKey = {};
        }
        s.phase = StagedRows::Phase::Rows;
        s.sort.start(0);
    }
    if (s.phase == StagedRows::Phase::Minor) {
        if (!s.minor.run(s.rows, until))
            return false;
        s.phase = StagedRows::Phase::Major;
    }
    if (s.phase == StagedRows::Phase::Major) {
        if (!s.major.run(s.rows, until))
            return false;
        const std::vector<int>& minor = s.minor.ranks();
        const std::vector<int>& major = s.major.ranks();
        const qint64 span = s.minor.distinctRanks();
        s.rowKey.resize(s.rows.size());
        for (size_t i = 0; i < s.rowKey.size(); ++i)
            s.rowKey[i] = major[i] * span + minor[i];
        s.phase = StagedRows::Phase::Rows;
        s.sort.start(0);
    }
    if (s.phase == StagedRows::Phase::Rows) {
        if (s.order != sortOrder_ || s.sort.order().size() != s.rows.size()) {
            s.order = sortOrder_;
            s.sort.start(s.rows.size());
        }
        // Both sorts stable: rows of equal keys keep the order they came in.
        const std::vector<qint64>& key = s.rowKey;
        const bool done = s.order == Qt::AscendingOrder
            ? s.sort.run([&key](int a, int b) { return key[size_t(a)] != key[size_t(b)] ? key[size_t(a)] < key[size_t(b)] : a < b; }, until)
            : s.sort.run([&key](int a, int b) { return key[size_t(a)] != key[size_t(b)] ? key[size_t(a)] > key[size_t(b)] : a < b; }, until);
        if (!done)
            return false;
        s.arranged.clear();
        s.arranged.reserve(s.rows.size());
        s.arrangedKey.clear();
        s.arrangedKey.reserve(s.rows.size());
        s.phase = StagedRows::Phase::Arrange;
    }
    if (s.phase == StagedRows::Phase::Arrange) {
        // Moving a million rows is itself worth a few steps.
        const std::vector<int>& order = s.sort.order();
        unsigned tick = 0;
        while (s.arranged.size() < order.size()) {
            if (++tick % kClockEvery == 0 && until.hasExpired())
                return false;
            const size_t from = size_t(order[s.arranged.size()]);
            s.arranged.push_back(std::move(s.rows[from]));
            s.arrangedKey.push_back(s.rowKey[from]);
        }
        // Rows now stand in sorted order; a sort the other way round keeps
        // equal ones in this order, which is still the order they came in.
        s.rows.swap(s.arranged);
        s.rowKey.swap(s.arrangedKey);
        s.arranged = {};
        s.arrangedKey = {};
        s.sort = {};
        s.phase = StagedRows::Phase::Done;
    }
    return true;
}

void ListView::showStaged()
{
    if (!staged_)
        return;
    std::unique_ptr<StagedRows> s = std::move(staged_);
    if (s->phase == StagedRows::Phase::Arrange) {
        const std::vector<int>& order = s->sort.order();
        for (size_t i = 0; i < s->arranged.size(); ++i)
            s->rows[size_t(order[i])] = std::move(s->arranged[i]);
    } else if (s->phase == StagedRows::Phase::Done) {
        sorted_ = true;
        sortKey_ = s->majorKey;
    }
    model_->install(std::move(s->rows));
    s.reset();
#ifdef __GLIBC__
    // The sort's working memory (a collation key per row) is free again but
    // spread between the rows; the C library keeps such pages unless asked.
    if (count() >= kTrimFrom)
        malloc_trim(0);
#endif
}

void ListView::dropStaged()
{
    if (staged_)
        model_->retire(std::move(staged_->rows));
    staged_.reset();
}

// ---- current row and selection ----

int ListView::currentRow() const
{
    const QModelIndex current = selection_->currentIndex();
    return current.isValid() ? current.row() : -1;
}

void ListView::setCurrentRow(int row, bool select)
{
    const QModelIndex index = indexOf(row);
    if (!index.isValid())
        return;
    if (select) {
        selection_->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    } else {
        selection_->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
        selection_->select(index, QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    }
}

QList<int> ListView::selectedRows() const
{
    // From the ranges, not from selectedIndexes(): that lists every cell.
    QList<int> rows;
    for (const QItemSelectionRange& range : selection_->selection())
        for (int r = range.top(); r <= range.bottom(); ++r)
            rows.append(r);
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

bool ListView::isSelected(int row) const
{
    const QModelIndex index = indexOf(row);
    return index.isValid() && selection_->isSelected(index);
}

void ListView::setSelected(int row, bool on)
{
    const QModelIndex index = indexOf(row);
    if (!index.isValid())
        return;
    selection_->select(index, (on ? QItemSelectionModel::Select : QItemSelectionModel::Deselect)
                                  | QItemSelectionModel::Rows);
}

void ListView::clearSelection()
{
    selection_->clearSelection();
}

int ListView::selectedItem() const
{
    const int current = currentRow();
    if (current >= 0 && isSelected(current))
        return current;
    const QList<int> rows = selectedRows();
    return rows.isEmpty() ? -1 : rows.first();
}

// ---- events from the views ----

void ListView::viewMousePressed(QAbstractItemView*, QMouseEvent* event)
{
    emit clicked();
    if (event->button() == Qt::RightButton)
        emit rightClicked(event->globalPosition().toPoint());
}

void ListView::viewDoubleClicked(QAbstractItemView* view, QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && view->indexAt(event->position().toPoint()).isValid())
        emit doubleClicked();
}

bool ListView::viewKeyPressed(QKeyEvent* event)
{
    emit keyPressed(event->key());
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter)
        return false;
    if (currentRow() < 0)
        return false; // nothing to open: let a dialog's default button have it
    event->accept();
    emit doubleClicked();
    return true;
}

void ListView::setDragData(std::function<QMimeData*()> make)
{
    dragData_ = std::move(make);
    model_->draggable = bool(dragData_);
    for (QAbstractItemView* v : {static_cast<QAbstractItemView*>(tree_), static_cast<QAbstractItemView*>(list_)})
        v->setDragEnabled(model_->draggable);
}

void ListView::setDropFormats(const QStringList& formats)
{
    dropFormats_ = formats;
    for (QAbstractItemView* v : {static_cast<QAbstractItemView*>(tree_), static_cast<QAbstractItemView*>(list_)})
        v->viewport()->setAcceptDrops(!formats.isEmpty());
}

bool ListView::viewTakesDrop(const QMimeData* data) const
{
    if (!data)
        return false;
    return std::any_of(dropFormats_.begin(), dropFormats_.end(),
                       [data](const QString& format) { return data->hasFormat(format); });
}

void ListView::viewStartDrag(QAbstractItemView* view)
{
    QMimeData* data = dragData_ ? dragData_() : nullptr;
    if (!data)
        return;
    auto* drag = new QDrag(view);
    drag->setMimeData(data);
    drag->exec(Qt::CopyAction);
}

void ListView::viewMenuKey(QAbstractItemView* view)
{
    QPoint at(0, 0);
    const QModelIndex current = selection_->currentIndex();
    if (current.isValid()) {
        const QRect rect = view->visualRect(current);
        if (rect.intersects(view->viewport()->rect()))
            at = rect.bottomLeft();
    }
    emit rightClicked(view->viewport()->mapToGlobal(at));
}
