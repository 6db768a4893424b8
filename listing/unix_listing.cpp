// Unix `ls -l` lines. Servers differ in the columns before the date (no
// group, owners holding spaces, a link count glued to the permissions) and
// in the date itself (the locale's month names, ISO styles, numeric forms),
// so the date is looked for, not counted to: the size is the number just
// before it and the name everything after it.
#include "listing/listing_readers.h"
#include "listing/listing_tokens.h"

using namespace listing_tokens;

namespace listing_readers {

namespace {

struct MonthName {
    QStringView text;
    int month;
};

// Month names as servers' `ls` writes them in the locales met in practice;
// letter case and a trailing "." or "," do not matter.
constexpr MonthName kMonthNames[] = {
    // English, short and long
    {u"jan", 1}, {u"feb", 2}, {u"mar", 3}, {u"apr", 4}, {u"may", 5}, {u"jun", 6},
    {u"jul", 7}, {u"aug", 8}, {u"sep", 9}, {u"oct", 10}, {u"nov", 11}, {u"dec", 12},
    {u"january", 1}, {u"february", 2}, {u"march", 3}, {u"april", 4}, {u"june", 6}, {u"july", 7},
    {u"august", 8}, {u"sept", 9}, {u"september", 9}, {u"october", 10}, {u"november", 11}, {u"december", 12},
    // German
    {u"mär", 3}, {u"mrz", 3}, {u"mai", 5}, {u"okt", 10}, {u"dez", 12},
    {u"januar", 1}, {u"februar", 2}, {u"märz", 3}, {u"juni", 6}, {u"juli", 7}, {u"oktober", 10}, {u"dezember", 12},
    // French
    {u"janv", 1}, {u"févr", 2}, {u"fév", 2}, {u"mars", 3}, {u"avr", 4}, {u"juin", 6}, {u"juil", 7}, {u"août", 8},
    {u"déc", 12}, {u"janvier", 1}, {u"février", 2}, {u"avril", 4}, {u"juillet", 7}, {u"septembre", 9},
    {u"octobre", 10}, {u"novembre", 11}, {u"décembre", 12},
    // Hungarian
    {u"febr", 2}, {u"márc", 3}, {u"ápr", 4}, {u"máj", 5}, {u"jún", 6}, {u"júl", 7}, {u"szept", 9},
};

// "12月" (Japanese, Chinese) and "12월" (Korean): the month's number and a sign.
const char16_t kMonthSigns[] = {u'月', u'월'};
// A day may carry its sign ("6日", "6일") or a dot ("26.").
const char16_t kDaySigns[] = {u'日', u'일', u'.', u','};
// A year may carry its sign ("1996年", "2019년") or a dot or comma.
const char16_t kYearSigns[] = {u'年', u'년', u'.', u','};

template <std::size_t N>
QStringView drop_sign(QStringView w, const char16_t (&signs)[N])
{
    if (!w.isEmpty())
        for (const char16_t s : signs)
            if (w.back() == QChar(s))
                return w.chopped(1);
    return w;
}

// The parts a date of a listing is made of.
enum class Part {
    MonthName,   // "Jan", "déc.", "12月"
    MonthNumber, // "3" (a month written as its number, month first)
    Day,         // "7", "07", "6日", "26."
    MonthDay,    // "11月12日", "09-26"
    TimeOrYear,  // "10:00", "9:05", "14時21分", "2019", "1996年"
    YearDot,     // "2019." (a year first, as Hungarian writes it)
    IsoDate,     // "2026-12-07"
    Clock,       // "11:59", "11:59:30.123456789"
    Zone,        // "+0900"
};

// The date forms, tried in this order at each place of a line. A longer form
// comes before a shorter one that begins the same way.
struct DateForm {
    Part parts[4];
    int count;
};
const DateForm kDateForms[] = {
    {{Part::MonthName, Part::Day, Part::TimeOrYear}, 3},      // Jan 12 12:34, 12月  7 10:00, déc.  7  2019
    {{Part::Day, Part::MonthName, Part::TimeOrYear}, 3},      // 26. Juli, 2010
    {{Part::MonthDay, Part::TimeOrYear}, 2},                  // 11月12日 1996年, 09-26 13:45
    {{Part::IsoDate, Part::Clock, Part::Zone}, 3},            // 2026-12-07 11:59:30.123456789 +0900
    {{Part::IsoDate, Part::Clock}, 2},                        // 2026-12-07 11:59
    {{Part::IsoDate}, 1},                                     // 2026-12-07
    {{Part::YearDot, Part::MonthName, Part::Day, Part::Clock}, 4}, // 2019. szept. 12. 10:00
    // Only with a time: "1 12 2020" may as well be an owner, a group and a size.
    {{Part::MonthNumber, Part::Day, Part::Clock}, 3},         // 3 29 03:26
};

struct Date {
    int year = -1, month = 0, day = 0, hour = -1, minute = 0, second = 0;
};

// "14時21分" and "14時21分30秒".
bool read_kanji_clock(QStringView w, Date& d)
{
    const qsizetype h = w.indexOf(u'時');
    if (h < 1 || (!w.endsWith(u'分') && !w.endsWith(u'秒')))
        return false;
    const qsizetype m = w.indexOf(u'分');
    if (m < h + 2)
        return false;
    const auto hour = small_number(w.first(h), 2);
    const auto minute = small_number(w.sliced(h + 1, m - h - 1), 2);
    if (!hour || !minute || *hour > 23 || *minute > 59)
        return false;
    d.hour = *hour;
    d.minute = *minute;
    return true;
}

bool read_day(QStringView w, Date& d)
{
    const auto day = small_number(drop_sign(w, kDaySigns), 2);
    if (!day || *day < 1 || *day > 31)
        return false;
    d.day = *day;
    return true;
}

bool read_year(QStringView w, Date& d)
{
    const auto year = small_number(drop_sign(w, kYearSigns), 4);
    if (!year || drop_sign(w, kYearSigns).size() != 4)
        return false;
    d.year = *year;
    return true;
}

bool read_part(Part part, QStringView w, Date& d)
{
    switch (part) {
    case Part::MonthName:
        d.month = month_of(w);
        return d.month != 0;
    case Part::MonthNumber: {
        const auto m = small_number(w, 2);
        d.month = m && *m >= 1 && *m <= 12 ? *m : 0;
        return d.month != 0;
    }
    case Part::Day:
        return read_day(w, d);
    case Part::MonthDay: {
        // "11月12日": a month with its sign, then a day.
        for (const char16_t sign : kMonthSigns) {
            const qsizetype at = w.indexOf(QChar(sign));
            if (at > 0 && at + 1 < w.size())
                return (d.month = month_of(w.first(at + 1))) != 0 && read_day(w.sliced(at + 1), d);
        }
        // "09-26"
        if (w.size() != 5 || w[2] != u'-')
            return false;
        const auto m = small_number(w.first(2), 2);
        const auto day = small_number(w.sliced(3), 2);
        if (!m || !day || !valid_date(*m, *day))
            return false;
        d.month = *m;
        d.day = *day;
        return true;
    }
    case Part::TimeOrYear:
        return read_clock(w, d.hour, d.minute, d.second) || read_kanji_clock(w, d) || read_year(w, d);
    case Part::YearDot:
        return w.endsWith(u'.') && read_year(w, d);
    case Part::IsoDate: {
        if (w.size() != 10 || w[4] != u'-' || w[7] != u'-')
            return false;
        const auto y = small_number(w.first(4), 4);
        const auto m = small_number(w.sliced(5, 2), 2);
        const auto day = small_number(w.sliced(8, 2), 2);
        if (!y || !m || !day || !valid_date(*m, *day))
            return false;
        d.year = *y;
        d.month = *m;
        d.day = *day;
        return true;
    }
    case Part::Clock:
        return read_clock(w, d.hour, d.minute, d.second);
    case Part::Zone:
        return w.size() == 5 && (w[0] == u'+' || w[0] == u'-') && all_digits(w.sliced(1));
    }
    return false;
}

// The date form that starts at word k, if any: its last word.
int date_at(const Words& words, int k, Date& d)
{
    for (const DateForm& form : kDateForms) {
        if (k + form.count > words.count)
            continue;
        Date found;
        int i = 0;
        while (i < form.count && read_part(form.parts[i], words.text(k + i), found))
            ++i;
        if (i == form.count && valid_date(found.month, found.day)) {
            d = found;
            return k + form.count - 1;
        }
    }
    return -1;
}

// The type and permissions word: a type letter and nine permission letters,
// then maybe an ACL or context mark ("+", "@", ".") and a link count glued
// to it.
bool is_mode_word(QStringView w)
{
    static const QStringView types = u"-dlcbpsDLnw?";
    static const QStringView perms = u"rwxsStTlL-";
    if (w.size() < 10 || !types.contains(w[0]))
        return false;
    for (int i = 1; i < 10; ++i)
        if (!perms.contains(w[i]))
            return false;
    for (qsizetype i = 10; i < w.size(); ++i)
        if (!is_digit(w[i]) && w[i] != u'+' && w[i] != u'@' && w[i] != u'.')
            return false;
    return true;
}

} // namespace

int month_of(QStringView word)
{
    QStringView w = word;
    if (w.endsWith(u'.') || w.endsWith(u','))
        w.chop(1);
    if (w.isEmpty())
        return 0;
    for (const char16_t sign : kMonthSigns) {
        if (w.back() == QChar(sign)) {
            const auto m = small_number(w.chopped(1), 2);
            return m && *m >= 1 && *m <= 12 ? *m : 0;
        }
    }
    if (w.size() < 3 || w.size() > 9 || is_digit(w.front()))
        return 0;
    for (const MonthName& m : kMonthNames)
        if (m.text.size() == w.size() && m.text.compare(w, Qt::CaseInsensitive) == 0)
            return m.month;
    return 0;
}

bool read_unix(QStringView line, ReadEntry& out)
{
    const Words words(line);
    if (words.count < 4 || !is_mode_word(words.text(0)))
        return false;
    // The leftmost date with a number before it that is not the mode word.
    for (int k = 2; k < words.count; ++k) {
        const QStringView sizeWord = words.text(k - 1);
        const QChar type = line.front();
        const bool device = (type == u'c' || type == u'b')
            && (sizeWord.contains(u',') || (k >= 3 && words.text(k - 2).endsWith(u',')));
        const auto size = byte_count(device ? sizeWord.sliced(sizeWord.indexOf(u',') + 1) : sizeWord);
        if (!size && !(device && all_digits(sizeWord.sliced(sizeWord.indexOf(u',') + 1))))
            continue;
        Date d;
        const int last = date_at(words, k, d);
        if (last < 0)
            continue;
        out.name = words.after(last);
        if (out.name.isEmpty())
            return false;
        // "name -> target": the target is not part of the name, spaces of the
        // name are. A link shown without its target is named by all of it.
        if (type == u'l' || type == u'L') {
            const qsizetype arrow = out.name.indexOf(u" -> ");
            if (arrow >= 0)
                out.name = out.name.first(arrow);
        }
        out.type = type == u'd' || type == u'D' ? ReadEntry::Type::Folder
            : type == u'l' || type == u'L'      ? ReadEntry::Type::Link
                                                : ReadEntry::Type::File;
        out.hasSize = out.type == ReadEntry::Type::File && !device;
        out.size = out.hasSize ? *size : 0;
        out.year = d.year;
        out.month = d.month;
        out.day = d.day;
        out.hour = d.hour;
        out.minute = d.minute;
        out.second = d.second;
        out.attributes = line.left(10);
        return true;
    }
    return false;
}

bool read_netware(QStringView line, ReadEntry& out)
{
    const Words words(line);
    if (words.count < 6 || words.text(0).size() != 1 || (line[0] != u'd' && line[0] != u'-'))
        return false;
    const QStringView rights = words.text(1);
    if (rights.size() < 3 || rights.front() != u'[' || rights.back() != u']')
        return false;
    for (int k = 3; k < words.count; ++k) {
        const auto size = byte_count(words.text(k - 1));
        Date d;
        const int last = size ? date_at(words, k, d) : -1;
        if (last < 0)
            continue;
        // The name column is padded: it starts after the spaces.
        out.name = words.afterSpaces(last);
        if (out.name.isEmpty())
            return false;
        out.type = line[0] == u'd' ? ReadEntry::Type::Folder : ReadEntry::Type::File;
        out.hasSize = out.type == ReadEntry::Type::File;
        out.size = *size;
        out.year = d.year;
        out.month = d.month;
        out.day = d.day;
        out.hour = d.hour;
        out.minute = d.minute;
        out.attributes = rights;
        return true;
    }
    return false;
}

bool is_header_line(QStringView line)
{
    // Prefixes of header and summary lines; the first two are `ls`'s total
    // line in English and Japanese as before any entry.
    static constexpr QStringView prefixes[] = {
        u"total", u"合計", u"总用量", u"합계", u"insgesamt", u"Directory ", u"Total of ", u"Volume Unit",
        u"Grand total of ",
    };
    for (const QStringView p : prefixes)
        if (line.startsWith(p))
            return true;
    // An MVS member list's header: " Name     VV.MM   Created ..."
    const QStringView trimmed = line.trimmed();
    return trimmed.startsWith(u"Name ") && trimmed.contains(u"VV.MM");
}

} // namespace listing_readers
