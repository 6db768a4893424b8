#include "listing/remote_listing.h"

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
    } else if (bytes == std::floor(bytes) && std::fabs(bytes) < 9.0e18) {
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
        if (!folder && !link)
            sizeText = remote_size_text(leading_number(rest.first(sizeEnd)));

        // Month, day and time or year, then the name. The name keeps any
        // spaces of its own, leading ones included.
        const QStringView dateAndName = trim_leading_spaces(rest.sliced(sizeEnd + 1));
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
        // "name -> target": the target is not part of the name.
        const qsizetype arrow = name.indexOf(u' ');
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
    out.sizeText = std::move(sizeText);
    out.dateText = std::move(dateText);
    out.kind = folder || link ? kFolderKind : kFileKind;
    out.attributes = attributes(line.left(kAttributeLength));
    return LineResult::Entry;
}

LineResult parse_listing_line(const QString& line, const QDate& today, ListingEntry& out)
{
    return ListingParser(today).parse(line, out);
}

QList<QStringView> listing_line_views(QStringView text)
{
    QList<QStringView> lines;
    const qsizetype n = text.size();
    const QChar* data = text.data();
    qsizetype from = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = data[i];
        if (c != u'\r' && c != u'\n')
            continue;
        lines.append(text.sliced(from, i - from));
        if (c == u'\r' && i + 1 < n && data[i + 1] == u'\n')
            ++i;
        from = i + 1;
    }
    if (from < n)
        lines.append(text.sliced(from));
    return lines;
}

QStringList split_listing_lines(const QString& text)
{
    QStringList lines;
    for (const QStringView line : listing_line_views(text))
        lines.append(line.toString());
    return lines;
}
