// Filling the remote list from the listing file the data channel wrote.
#include <QFile>
#include <QPushButton>

#include "app/form1.h"
#include "listing/remote_listing.h"
#include "platform/app_clock.h"
#include "platform/click_label.h"
#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/list_view.h"
#include "platform/mouse_pointer.h"
#include "platform/program_folder.h"
#include "platform/prompts.h"

namespace {
constexpr int SortByName = 0;
constexpr int SortByKind = 3;

void report_error_number(int number)
{
    prompts::Msg_box(QStringLiteral("エラー番号") + QString::number(number) + QStringLiteral("のエラーです。"),
                     QStringLiteral("エラー"), prompts::vbInformation);
}

// The lines of the listing file, read and decoded a block at a time, so a
// listing of any size costs one block and one line of memory besides the
// list itself. Lines end at CR LF, a lone CR or a lone LF; a line longer
// than MaxLine is cut there and the rest of it dropped.
class ListingLines {
public:
    static constexpr qsizetype Block = 1 << 20;
    static constexpr qsizetype MaxLine = 64 * 1024;

    explicit ListingLines(QFile& file) : file_(file) {}
    bool failed() const { return file_.error() != QFileDevice::NoError; }

    // The next line as a view that holds until the next call; false at the end.
    bool next(QStringView& line)
    {
        for (;;) {
            const qsizetype end = findEnd();
            if (end >= 0 || atEnd_) {
                const qsizetype stop = end >= 0 ? end : text_.size();
                if (stop == pos_ && end < 0)
                    return false;
                line = QStringView(text_).sliced(pos_, std::min(stop - pos_, MaxLine));
                pos_ = stop;
                if (end >= 0) {
                    pos_ += text_.at(end) == u'\r' && end + 1 < text_.size() && text_.at(end + 1) == u'\n' ? 2 : 1;
                }
                return true;
            }
            if (text_.size() - pos_ > MaxLine) {
                // A line with no end in sight: keep only what will be shown.
                text_.remove(pos_ + MaxLine, text_.size() - pos_ - MaxLine);
                dropping_ = true;
            }
            fill();
        }
    }

private:
    // The end of the line at pos_, or -1 when more text must be read first
    // (no line end yet, or a CR that an LF may still follow).
    qsizetype findEnd()
    {
        for (qsizetype i = std::max(pos_, scanned_); i < text_.size(); ++i) {
            const QChar c = text_.at(i);
            if (c != u'\r' && c != u'\n')
                continue;
            if (c == u'\r' && i + 1 == text_.size() && !atEnd_) {
                scanned_ = i;
                return -1;
            }
            scanned_ = 0;
            return i;
        }
        scanned_ = text_.size();
        return -1;
    }
    void fill()
    {
        text_.remove(0, pos_);
        scanned_ = std::max<qsizetype>(0, scanned_ - pos_);
        pos_ = 0;
        const QByteArray bytes = file_.read(Block);
        if (bytes.isEmpty()) {
            atEnd_ = true;
            return;
        }
        QString more = decoder_.decode(bytes);
        if (dropping_) {
            // The rest of a cut line goes up to its line end.
            qsizetype i = 0;
            while (i < more.size() && more.at(i) != u'\r' && more.at(i) != u'\n')
                ++i;
            if (i == more.size())
                return;
            dropping_ = false;
            more.remove(0, i);
        }
        text_ += more;
    }

    QFile& file_;
    codepage::StreamDecoder decoder_;
    QString text_;
    qsizetype pos_ = 0;
    qsizetype scanned_ = 0;
    bool atEnd_ = false;
    bool dropping_ = false;
};
} // namespace

void form1::Remote_list()
{
    Label1->setText(QStringLiteral("ｻｰﾊﾞｰﾊﾟｽ: ") + サーバーパス);
    ListView1->hide();
    ListView1->clear();
    // The direction stays as the user last chose it with the name header.
    ListView1->setSorted(true);
    ListView1->setSortKey(SortByName);
    CDUP->setEnabled(サーバーパス != QStringLiteral("/"));

    QFile file(program_folder::file(QStringLiteral("temp.s")));
    if (!file.open(QIODevice::ReadOnly)) {
        prompts::Msg_box(QStringLiteral("サポートされていないリストタイプの為表示出来ません"),
                         QStringLiteral("リストタイプエラー"), prompts::vbInformation);
        report_error_number(errors::PathFileAccess);
        ListView1->show();
        mouse_pointer::set(mouse_pointer::Default);
        return;
    }

    ListingLines lines(file);
    ListingParser parser(app_clock::today());
    bool malformed = false;
    ListingEntry entry;
    QStringList subItems;
    QStringView line;
    while (lines.next(line)) {
        switch (parser.parse(line, entry)) {
        case LineResult::Entry:
            subItems = {entry.sizeText, entry.dateText, entry.kind, entry.attributes};
            ListView1->addItem(entry.name, entry.icon, subItems);
            break;
        case LineResult::Malformed:
            // Told once after the list is shown; the other lines still count.
            malformed = true;
            break;
        case LineResult::Skipped:
            break;
        }
    }

    const bool unreadable = lines.failed();
    if (ListView1->count() > 0)
        ListView1->setCurrentRow(0, false);
    ListView1->show();
    mouse_pointer::set(mouse_pointer::Default);
    // Names first, then the kind: both sorts are stable, so folders and
    // links end up grouped apart from files, each group ordered by name.
    ListView1->setSortKey(SortByName);
    ListView1->setSortKey(SortByKind);
    if (ListView1->count() > 0)
        ListView1->setCurrentRow(0, false);
    CDUP->setEnabled(サーバーパス != QStringLiteral("/"));

    if (unreadable) {
        prompts::Msg_box(QStringLiteral("サポートされていないリストタイプの為表示出来ません"),
                         QStringLiteral("リストタイプエラー"), prompts::vbInformation);
        report_error_number(errors::PathFileAccess);
    } else if (malformed) {
        report_error_number(errors::InvalidArgument);
    }
}
