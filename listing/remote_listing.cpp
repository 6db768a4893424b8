#include "listing/remote_listing.h"

#include <QIODevice>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

constexpr qsizetype kSizeWidth = 8;
constexpr qsizetype kAttributeLength = 10;

// Only spaces separate the fields; a tab is part of a field.
QStringView trim_leading_spaces(QStringView s)
{
    qsizetype i = 0;
    while (i < s.size() && s[i] == u' ')
        ++i;
    return s.sliced(i);
}

QStringView trim_spaces(QStringView s)
{
    s = trim_leading_spaces(s);
    qsizetype n = s.size();
    while (n > 0 && s[n - 1] == u' ')
        --n;
    return s.first(n);
}

// The number a size field starts with (0 when it starts with none): an
// optional sign, digits and an optional fraction. Whole numbers are summed
// digit by digit, exact up to 2^53, far beyond any file size.
double leading_number(QStringView field)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < field.size() && (field[i] == u'+' || field[i] == u'-')) {
        negative = field[i] == u'-';
        ++i;
    }
    const qsizetype digitsFrom = i;
    double value = 0;
    while (i < field.size() && field[i] >= u'0' && field[i] <= u'9') {
        value = value * 10 + (field[i].unicode() - u'0');
        ++i;
    }
    if (i < field.size() && field[i] == u'.' && i + 1 < field.size() && field[i + 1] >= u'0'
        && field[i + 1] <= u'9') {
        qsizetype end = i + 1;
        while (end < field.size() && field[end] >= u'0' && field[end] <= u'9')
            ++end;
        bool ok = false;
        const double whole = field.sliced(digitsFrom, end - digitsFrom).toDouble(&ok);
        if (ok)
            value = whole;
    }
    return negative ? -value : value;
}

// A text of a few characters put together on the stack and allocated once.
class ShortText {
public:
    void add(char16_t c)
    {
        if (size_ < kCapacity)
            chars_[size_++] = c;
    }
    void add(QStringView s)
    {
        for (const QChar c : s)
            add(c.unicode());
    }
    QStringView view() const { return QStringView(chars_, size_); }
    QString text() const { return view().toString(); }
    qsizetype size() const { return size_; }

private:
    static constexpr qsizetype kCapacity = 32;
    char16_t chars_[kCapacity];
    qsizetype size_ = 0;
};

// "Jan" to "01" ... "Dec" to "12"; any other text stays as the server wrote it.
QStringView month_number(QStringView month)
{
    static const char16_t* const names[] = {u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun",
                                            u"Jul", u"Aug", u"Sep", u"Oct", u"Nov", u"Dec"};
    static const char16_t* const numbers[] = {u"01", u"02", u"03", u"04", u"05", u"06",
                                              u"07", u"08", u"09", u"10", u"11", u"12"};
    if (month.size() == 3) {
        for (int m = 0; m < 12; ++m)
            if (month == QStringView(names[m]))
                return QStringView(numbers[m]);
    }
    return month;
}

QString two_digits(int n)
{
    return QString::number(n).rightJustified(2, u'0');
}

} // namespace

QString remote_size_text(double bytes)
{
    // No file holds more bytes than a 64-bit count; a bigger size field is
    // no real one. Held below that, the size column's KB read back as bytes
    // (KB x 1000) still fit in 64 bits.
    constexpr double kMaxBytes = 9223372036854774784.0; // the largest double below 2^63
    if (std::isnan(bytes))
        bytes = 0;
    bytes = std::clamp(bytes, -kMaxBytes, kMaxBytes);
    ShortText digits;
    if (bytes >= 1 && bytes <= 999) {
        digits.add(u'1');
    } else if (bytes == 0) {
        // An empty file: "0B", the only text without "KB".
        ShortText text;
        for (qsizetype i = 2; i < kSizeWidth; ++i)
            text.add(u' ');
        text.add(u"0B");
        return text.text();
    } else if (bytes == std::floor(bytes)) {
        // Whole bytes: integer division keeps every digit of large sizes.
        const qint64 b = qint64(bytes);
        qint64 kb = b >= 0 ? b / 1000 : -((-b + 999) / 1000);
        if (kb < 0) {
            digits.add(u'-');
            kb = -kb;
        }
        char16_t reversed[20];
        int n = 0;
        do {
            reversed[n++] = char16_t(u'0' + kb % 10);
            kb /= 10;
        } while (kb > 0);
        while (n > 0)
            digits.add(reversed[--n]);
    } else {
        QString text = QString::number(std::floor(bytes / 1000), 'f', 0) + QStringLiteral("KB");
        return text.size() < kSizeWidth ? text.rightJustified(kSizeWidth, u' ') : text;
    }
    ShortText text;
    for (qsizetype i = digits.size() + 2; i < kSizeWidth; ++i)
        text.add(u' ');
    text.add(digits.view());
    text.add(u"KB");
    return text.text();
}

ListingParser::ListingParser(const QDate& today)
{
    const int yy = today.isValid() ? ((today.year() % 100) + 100) % 100 : 0;
    year_ = two_digits(yy);
    lastYear_ = two_digits((yy + 99) % 100);
    monthDay_ = today.isValid() ? two_digits(today.month()) + u'/' + two_digits(today.day()) : QString();
}

QString ListingParser::attributes(QStringView text)
{
    // A listing holds few distinct permission texts, mostly in runs.
    for (const QString& recent : recentAttributes_)
        if (recent.size() == text.size() && QStringView(recent) == text && !recent.isNull())
            return recent;
    QString fresh = text.toString();
    recentAttributes_[nextAttributes_] = fresh;
    nextAttributes_ = (nextAttributes_ + 1) % int(std::size(recentAttributes_));
    return fresh;
}

QString ListingParser::shared(QString text)
{
    if (text.isEmpty())
        return text;
    const auto it = texts_.constFind(text);
    if (it != texts_.cend())
        return *it;
    // Bounded: a listing of ever new texts only gains nothing from the set.
    if (texts_.size() >= 4096)
        texts_.clear();
    texts_.insert(text);
    return text;
}

LineResult ListingParser::parse(QStringView line, ListingEntry& out)
{
    static const QString kFolderKind = QStringLiteral("0");
    static const QString kFileKind = QStringLiteral("1");

    if (line.isEmpty() || line.startsWith(u"total"))
        return LineResult::Skipped;

    // Drop type and permissions, link count, owner and group. A line that
    // runs out of fields before that is no entry.
    QStringView rest = line;
    for (int field = 0; field < 4; ++field) {
        const qsizetype space = rest.indexOf(u' ');
        if (space < 0)
            return LineResult::Skipped;
        rest = trim_leading_spaces(rest.sliced(space + 1));
    }
    if (rest.isEmpty())
        return LineResult::Skipped;

    const QChar type = line.front();
    const bool folder = type == u'd' || type == u'D';
    const bool link = type == u'l' || type == u'L';

    QString sizeText;
    QString dateText;
    QStringView name;
    const qsizetype sizeEnd = rest.indexOf(u' ');
    if (sizeEnd <= 0) {
        // Nothing after the size field: all of it is the name, without a
        // size or a date.
        name = rest;
    } else {
        QStringView afterSize = rest.sliced(sizeEnd + 1);
        // A device shows its major and minor numbers ("1, 3") where others
        // show their size: two fields, and no byte count to show.
        const bool device = (type == u'c' || type == u'b') && rest[sizeEnd - 1] == u',';
        if (device) {
            afterSize = trim_leading_spaces(afterSize);
            const qsizetype minorEnd = afterSize.indexOf(u' ');
            afterSize = minorEnd < 0 ? QStringView() : afterSize.sliced(minorEnd + 1);
        } else if (!folder && !link) {
            sizeText = remote_size_text(leading_number(rest.first(sizeEnd)));
        }

        // Month, day and time or year, then the name. The name keeps any
        // spaces of its own, leading ones included.
        const QStringView dateAndName = trim_leading_spaces(afterSize);
        QStringView r = dateAndName;
        for (int field = 0; field < 3; ++field) {
            r = trim_leading_spaces(r);
            const qsizetype space = r.indexOf(u' ');
            if (space >= 0)
                r = r.sliced(space + 1);
        }
        const qsizetype dateLength = dateAndName.size() - r.size() - 1;
        if (dateLength < 0)
            return LineResult::Malformed; // no space at all after the size
        const QStringView d = dateAndName.first(dateLength);

        // Fixed positions of the standard spacing: "Mmm dd hh:mm" or "Mmm dd  yyyy".
        const QStringView month = month_number(d.left(3));
        const QStringView dayField = trim_spaces(d.mid(4, 2));
        ShortText day;
        if (dayField.size() == 1)
            day.add(u'0');
        day.add(dayField);
        QStringView year;
        QStringView time;
        if (d.size() >= 10 && d[9] == u':') {
            time = d.mid(7, 5);
            // A time instead of a year means within the last twelve months:
            // a month and day after today belong to last year.
            ShortText monthDay;
            monthDay.add(month);
            monthDay.add(u'/');
            monthDay.add(day.view());
            year = monthDay.view() > QStringView(monthDay_) ? QStringView(lastYear_) : QStringView(year_);
        } else {
            time = u"00:00";
            year = d.mid(10, 2);
        }
        ShortText date;
        date.add(year);
        date.add(u'/');
        date.add(month);
        date.add(u'/');
        date.add(day.view());
        date.add(u' ');
        date.add(time);
        dateText = date.text();
        name = r;
    }

    if (name.isEmpty())
        return LineResult::Skipped;
    if (link) {
        // "name -> target": the target is not part of the name, spaces of
        // the name are.
        const qsizetype arrow = name.indexOf(u" -> ");
        if (arrow < 0)
            return LineResult::Malformed;
        name = name.first(arrow);
        if (name.isEmpty())
            return LineResult::Skipped;
    }
    if (name == u"." || name == u"..")
        return LineResult::Skipped;
    // No entry of a directory holds '/': such a line is not a real entry, and
    // its name would reach outside the folder when used in a path.
    if (name.contains(u'/'))
        return LineResult::Skipped;

    out.name = name.toString();
    out.icon = folder ? 1 : link ? 4 : 2;
    out.sizeText = shared(std::move(sizeText));
    out.dateText = shared(std::move(dateText));
    out.kind = folder || link ? kFolderKind : kFileKind;
    out.attributes = attributes(line.left(kAttributeLength));
    return LineResult::Entry;
}

LineResult parse_listing_line(const QString& line, const QDate& today, ListingEntry& out)
{
    return ListingParser(today).parse(line, out);
}

ListingLines::ListingLines(QIODevice& file, const QByteArray& cp, qsizetype block, qsizetype maxLine)
    : file_(&file), decoder_(cp), block_(std::max<qsizetype>(1, block)), maxLine_(std::max<qsizetype>(0, maxLine))
{
}

ListingLines::ListingLines(QStringView text, qsizetype block, qsizetype maxLine)
    : source_(text), block_(std::max<qsizetype>(1, block)), maxLine_(std::max<qsizetype>(0, maxLine))
{
}

bool ListingLines::next(QStringView& line)
{
    for (;;) {
        qsizetype end = scanned_;
        while (end < text_.size() && text_.at(end) != u'\r' && text_.at(end) != u'\n')
            ++end;
        if (end - pos_ > maxLine_) {
            // Keep only what will be shown. When the line's end is not read
            // yet, what still comes of it is dropped as it arrives.
            text_.remove(pos_ + maxLine_, end - pos_ - maxLine_);
            end = pos_ + maxLine_;
            dropping_ = end == text_.size();
        }
        scanned_ = end;
        // A CR at the end of what has been read may be the first half of CR LF.
        const bool found = end < text_.size() && (atEnd_ || end + 1 < text_.size() || text_.at(end) == u'\n');
        if (found || (atEnd_ && pos_ < text_.size())) {
            line = QStringView(text_).sliced(pos_, end - pos_);
            pos_ = end;
            if (found)
                pos_ += text_.at(end) == u'\r' && end + 1 < text_.size() && text_.at(end + 1) == u'\n' ? 2 : 1;
            scanned_ = pos_;
            return true;
        }
        if (atEnd_)
            return false;
        fill();
    }
}

// The next piece of the listing; false when none is left (piece then holds
// whatever the decoder still kept back).
bool ListingLines::more(QString& piece)
{
    if (!file_) {
        piece = source_.first(std::min(block_, source_.size())).toString();
        source_ = source_.sliced(piece.size());
        return !piece.isEmpty();
    }
    const QByteArray bytes = file_->read(block_);
    if (!bytes.isEmpty()) {
        piece = decoder_.decode(bytes);
        return true;
    }
    // A character cut off by the end of the file comes out as a bad one,
    // as it does when the whole file is decoded at once.
    piece = decoder_.decode(QByteArrayLiteral("\n"));
    if (piece.endsWith(u'\n'))
        piece.chop(1);
    return false;
}

void ListingLines::fill()
{
    text_.remove(0, pos_);
    scanned_ -= pos_;
    pos_ = 0;
    QString piece;
    atEnd_ = !more(piece);
    if (dropping_) {
        qsizetype i = 0;
        while (i < piece.size() && piece.at(i) != u'\r' && piece.at(i) != u'\n')
            ++i;
        if (i == piece.size())
            return;
        dropping_ = false;
        piece.remove(0, i);
    }
    text_ += piece;
}

QStringList split_listing_lines(QStringView text, qsizetype maxLine)
{
    QStringList lines;
    ListingLines reader(text, ListingLines::DefaultBlock, maxLine);
    QStringView line;
    while (reader.next(line))
        lines.append(line.toString());
    return lines;
}
