#include "listing/remote_listing.h"

#include <cmath>

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

QString month_number(QStringView month)
{
    static const char16_t* const names[] = {u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun",
                                            u"Jul", u"Aug", u"Sep", u"Oct", u"Nov", u"Dec"};
    static const QString numbers[] = {
        QStringLiteral("01"), QStringLiteral("02"), QStringLiteral("03"), QStringLiteral("04"),
        QStringLiteral("05"), QStringLiteral("06"), QStringLiteral("07"), QStringLiteral("08"),
        QStringLiteral("09"), QStringLiteral("10"), QStringLiteral("11"), QStringLiteral("12")};
    if (month.size() == 3) {
        for (int m = 0; m < 12; ++m)
            if (month == QStringView(names[m]))
                return numbers[m];
    }
    return month.toString(); // an unknown month stays as the server wrote it
}

QString two_digits(int n)
{
    return QString::number(n).rightJustified(2, u'0');
}

} // namespace

QString remote_size_text(double bytes)
{
    QString text;
    if (bytes >= 1 && bytes <= 999) {
        text = QStringLiteral("1KB");
    } else if (bytes == 0) {
        text = QStringLiteral("0B");
    } else if (bytes == std::floor(bytes) && std::fabs(bytes) < 9.0e18) {
        // Whole bytes: integer division keeps every digit of large sizes.
        const qint64 b = qint64(bytes);
        const qint64 kb = b >= 0 ? b / 1000 : -((-b + 999) / 1000);
        text = QString::number(kb) + QStringLiteral("KB");
    } else {
        text = QString::number(std::floor(bytes / 1000), 'f', 0) + QStringLiteral("KB");
    }
    return text.size() < kSizeWidth ? text.rightJustified(kSizeWidth, u' ') : text;
}

ListingParser::ListingParser(const QDate& today)
{
    const int yy = today.isValid() ? ((today.year() % 100) + 100) % 100 : 0;
    year_ = two_digits(yy);
    lastYear_ = two_digits((yy + 99) % 100);
    monthDay_ = today.isValid() ? two_digits(today.month()) + u'/' + two_digits(today.day()) : QString();
}

LineResult ListingParser::parse(QStringView line, ListingEntry& out) const
{
    static const QString kFolderKind = QStringLiteral("0");
    static const QString kFileKind = QStringLiteral("1");
    static const QString kMidnight = QStringLiteral("00:00");

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
        const QString month = month_number(d.left(3));
        QString day = trim_spaces(d.mid(4, 2)).toString();
        if (day.size() == 1)
            day.prepend(u'0');
        QStringView year;
        QString time;
        if (d.size() >= 10 && d[9] == u':') {
            time = d.mid(7, 5).toString();
            // A time instead of a year means within the last twelve months:
            // a month and day after today belong to last year.
            QString monthDay;
            monthDay.reserve(month.size() + 1 + day.size());
            monthDay += month;
            monthDay += u'/';
            monthDay += day;
            year = monthDay > monthDay_ ? lastYear_ : year_;
        } else {
            time = kMidnight;
            year = d.mid(10, 2);
        }
        dateText.reserve(year.size() + month.size() + day.size() + time.size() + 3);
        dateText += year;
        dateText += u'/';
        dateText += month;
        dateText += u'/';
        dateText += day;
        dateText += u' ';
        dateText += time;
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
    out.attributes = line.left(kAttributeLength).toString();
    return LineResult::Entry;
}

LineResult parse_listing_line(const QString& line, const QDate& today, ListingEntry& out)
{
    return ListingParser(today).parse(line, out);
}

QStringList split_listing_lines(const QString& text)
{
    QStringList lines;
    const qsizetype n = text.size();
    const QChar* data = text.constData();
    qsizetype from = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = data[i];
        if (c != u'\r' && c != u'\n')
            continue;
        lines.append(text.mid(from, i - from));
        if (c == u'\r' && i + 1 < n && data[i + 1] == u'\n')
            ++i;
        from = i + 1;
    }
    if (from < n)
        lines.append(text.mid(from));
    return lines;
}
