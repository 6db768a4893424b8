// The readers of layouts other than Unix `ls -l`: MLSD facts, Windows/IIS,
// EPLF, VMS, OS/2, AS/400 and MVS.
#include "listing/listing_readers.h"
#include "listing/listing_tokens.h"

using namespace listing_tokens;

namespace listing_readers {

namespace {

// "YYYYMMDDHHMMSS" with an optional fraction: MLSD's time-val, always UTC.
bool read_time_val(QStringView v, ReadEntry& out)
{
    if (v.size() < 14)
        return false;
    const auto y = small_number(v.first(4), 4);
    const auto mo = small_number(v.sliced(4, 2), 2);
    const auto d = small_number(v.sliced(6, 2), 2);
    const auto h = small_number(v.sliced(8, 2), 2);
    const auto mi = small_number(v.sliced(10, 2), 2);
    const auto s = small_number(v.sliced(12, 2), 2);
    if (!y || !mo || !d || !h || !mi || !s || !valid_date(*mo, *d) || *h > 23 || *mi > 59 || *s > 60)
        return false;
    if (v.size() > 14 && (v[14] != u'.' || !all_digits(v.sliced(15))))
        return false;
    out.year = *y;
    out.month = *mo;
    out.day = *d;
    out.hour = *h;
    out.minute = *mi;
    out.second = *s;
    out.utc = true;
    return true;
}

// "0755" as "rwxr-xr-x" after the type letter, with the set-id and sticky bits.
QString mode_text(QChar type, QStringView octal)
{
    uint mode = 0;
    for (const QChar c : octal) {
        if (c < u'0' || c > u'7')
            return QString();
        mode = (mode << 3) | uint(c.unicode() - u'0');
    }
    QString t(10, u'-');
    t[0] = type;
    static const char16_t letters[] = u"rwx";
    for (int i = 0; i < 9; ++i)
        if (mode & (0400u >> i))
            t[1 + i] = QChar(letters[i % 3]);
    const auto special = [&](int at, uint bit, QChar on, QChar onNoX) {
        if (mode & bit)
            t[at] = t[at] == u'x' ? on : onNoX;
    };
    special(3, 04000, u's', u'S');
    special(6, 02000, u's', u'S');
    special(9, 01000, u't', u'T');
    return t;
}

// 12:34PM / 12:34AM / 13:08 / 12:34 PM (the mark as its own word).
bool read_windows_time(QStringView w, QStringView next, ReadEntry& out, bool& markWord)
{
    QStringView clock = w;
    QStringView mark;
    markWord = false;
    if (w.endsWith(u"AM", Qt::CaseInsensitive) || w.endsWith(u"PM", Qt::CaseInsensitive)) {
        clock = w.chopped(2);
        mark = w.last(2);
    } else if (next.compare(u"AM", Qt::CaseInsensitive) == 0 || next.compare(u"PM", Qt::CaseInsensitive) == 0) {
        mark = next;
        markWord = true;
    }
    int h = 0, m = 0, s = 0;
    if (!read_clock(clock, h, m, s))
        return false;
    if (!mark.isEmpty()) {
        if (h < 1 || h > 12)
            return false;
        h = h % 12 + (mark.compare(u"PM", Qt::CaseInsensitive) == 0 ? 12 : 0);
    }
    out.hour = h;
    out.minute = m;
    return true;
}

// "MM-DD-YY", "MM-DD-YYYY" (or with "/"): month first.
bool read_windows_date(QStringView w, ReadEntry& out)
{
    if ((w.size() != 8 && w.size() != 10) || w[2] != w[5] || (w[2] != u'-' && w[2] != u'/'))
        return false;
    const auto m = small_number(w.first(2), 2);
    const auto d = small_number(w.sliced(3, 2), 2);
    const auto y = small_number(w.sliced(6), 4);
    if (!m || !d || !y || !valid_date(*m, *d))
        return false;
    out.month = *m;
    out.day = *d;
    out.year = *y;
    return true;
}

bool is_dir_mark(QStringView w)
{
    return w.compare(u"<DIR>", Qt::CaseInsensitive) == 0;
}

} // namespace

bool read_mlsd(QStringView line, ReadEntry& out)
{
    // Facts ("name=value;" each) up to the one space before the name; no
    // fact holds a space, so the first space ends them.
    const qsizetype space = line.indexOf(u' ');
    if (space < 2 || line[space - 1] != u';' || space + 1 >= line.size())
        return false;
    const QStringView facts = line.first(space - 1);
    QStringView type, size, modify, unixMode, perm;
    qsizetype from = 0;
    while (from <= facts.size()) {
        qsizetype end = facts.indexOf(u';', from);
        if (end < 0)
            end = facts.size();
        const QStringView fact = facts.sliced(from, end - from);
        const qsizetype eq = fact.indexOf(u'=');
        if (eq < 1)
            return false;
        const QStringView name = fact.first(eq);
        const QStringView value = fact.sliced(eq + 1);
        if (name.compare(u"type", Qt::CaseInsensitive) == 0)
            type = value;
        else if (name.compare(u"size", Qt::CaseInsensitive) == 0)
            size = value;
        else if (name.compare(u"modify", Qt::CaseInsensitive) == 0)
            modify = value;
        else if (name.compare(u"UNIX.mode", Qt::CaseInsensitive) == 0)
            unixMode = value;
        else if (name.compare(u"perm", Qt::CaseInsensitive) == 0)
            perm = value;
        from = end + 1;
    }
    out.name = line.sliced(space + 1);
    out.hidden = type.compare(u"cdir", Qt::CaseInsensitive) == 0 || type.compare(u"pdir", Qt::CaseInsensitive) == 0;
    out.type = type.compare(u"dir", Qt::CaseInsensitive) == 0 ? ReadEntry::Type::Folder
        : type.startsWith(u"OS.unix=slink", Qt::CaseInsensitive)
            || type.compare(u"OS.unix=symlink", Qt::CaseInsensitive) == 0
        ? ReadEntry::Type::Link
        : ReadEntry::Type::File;
    if (out.hidden)
        out.type = ReadEntry::Type::Folder;
    const auto bytes = byte_count(size);
    out.hasSize = out.type == ReadEntry::Type::File && bytes.has_value();
    out.size = bytes.value_or(0);
    if (!modify.isEmpty() && !read_time_val(modify, out))
        out.month = 0;
    const QChar letter = out.type == ReadEntry::Type::Folder ? u'd' : out.type == ReadEntry::Type::Link ? u'l' : u'-';
    // The mode's last four digits: some servers write the file type bits too.
    out.builtAttributes = unixMode.isEmpty() ? QString() : mode_text(letter, unixMode.right(4));
    out.attributes = perm;
    return true;
}

bool read_windows(QStringView line, ReadEntry& out)
{
    const Words words(line);
    if (words.count < 4 || !read_windows_date(words.text(0), out))
        return false;
    bool markWord = false;
    if (!read_windows_time(words.text(1), words.text(2), out, markWord))
        return false;
    const int k = markWord ? 3 : 2;
    if (k + 1 >= words.count)
        return false;
    const QStringView what = words.text(k);
    if (is_dir_mark(what)) {
        out.type = ReadEntry::Type::Folder;
        // IIS puts every name at column 39: a name's own leading spaces
        // stay when the line keeps to that layout.
        const qsizetype column = 39;
        const Word w = words.at[k];
        const bool layout = line.size() > column && w.to <= column
            && line.sliced(w.to, column - w.to).count(u' ') == column - w.to;
        out.name = layout ? line.sliced(column) : words.afterSpaces(k);
    } else {
        const auto size = byte_count(what, true);
        if (!size)
            return false;
        out.type = ReadEntry::Type::File;
        out.hasSize = true;
        out.size = *size;
        out.name = words.after(k);
    }
    out.attributes = is_dir_mark(what) ? what : QStringView();
    return !out.name.isEmpty();
}

bool read_eplf(QStringView line, ReadEntry& out)
{
    const qsizetype tab = line.indexOf(u'\t');
    if (line.size() < 3 || line[0] != u'+' || tab < 2 || tab + 1 >= line.size())
        return false;
    const QStringView facts = line.sliced(1, tab - 1);
    bool known = false;
    for (const QStringView fact : facts.tokenize(u',', Qt::SkipEmptyParts)) {
        switch (fact[0].unicode()) {
        case u'/':
            out.type = ReadEntry::Type::Folder;
            known = true;
            break;
        case u'r':
            known = true;
            break;
        case u's':
            if (const auto s = byte_count(fact.sliced(1))) {
                out.hasSize = true;
                out.size = *s;
            }
            break;
        case u'm':
            if (const auto t = byte_count(fact.sliced(1)); t && *t < 253402300800ull) {
                // Seconds since 1970 in UTC.
                qint64 secs = qint64(*t);
                const qint64 days = secs / 86400;
                secs %= 86400;
                const QDate date = QDate(1970, 1, 1).addDays(days);
                out.year = date.year();
                out.month = date.month();
                out.day = date.day();
                out.hour = int(secs / 3600);
                out.minute = int(secs / 60 % 60);
                out.second = int(secs % 60);
                out.utc = true;
            }
            break;
        default:
            break;
        }
    }
    if (!known)
        return false;
    if (out.type == ReadEntry::Type::Folder)
        out.hasSize = false;
    out.name = line.sliced(tab + 1);
    return true;
}

bool is_vms_name_only(QStringView line)
{
    // Most lines end in a name: they are passed over at their last character.
    if (line.isEmpty() || !is_digit(line.back()))
        return false;
    const qsizetype semi = line.lastIndexOf(u';');
    return semi > 0 && !line.contains(u' ') && all_digits(line.sliced(semi + 1));
}

bool read_vms(QStringView line, ReadEntry& out)
{
    const Words words(line);
    if (words.count < 4)
        return false;
    const QStringView name = words.text(0);
    const qsizetype semi = name.lastIndexOf(u';');
    if (semi < 1 || !all_digits(name.sliced(semi + 1)))
        return false;
    // Blocks used, or used/allocated; a block holds 512 bytes.
    const QStringView blocks = words.text(1);
    const qsizetype slash = blocks.indexOf(u'/');
    const auto used = byte_count(slash < 0 ? blocks : blocks.first(slash));
    if (!used || (slash >= 0 && !byte_count(blocks.sliced(slash + 1))))
        return false;
    // "2-JUN-1998"
    const QStringView date = words.text(2);
    const qsizetype dash1 = date.indexOf(u'-');
    const qsizetype dash2 = date.lastIndexOf(u'-');
    if (dash1 < 1 || dash2 <= dash1)
        return false;
    const auto d = small_number(date.first(dash1), 2);
    const int m = month_of(date.sliced(dash1 + 1, dash2 - dash1 - 1));
    const auto y = small_number(date.sliced(dash2 + 1), 4);
    int h = 0, mi = 0, s = 0;
    if (!d || !m || !y || !valid_date(m, *d) || !read_clock(words.text(3), h, mi, s))
        return false;
    out.year = *y;
    out.month = m;
    out.day = *d;
    out.hour = h;
    out.minute = mi;
    const QStringView bare = name.first(semi);
    if (bare.endsWith(u".DIR", Qt::CaseInsensitive)) {
        out.type = ReadEntry::Type::Folder;
        out.name = bare.chopped(4);
    } else {
        out.type = ReadEntry::Type::File;
        out.hasSize = true;
        out.size = *used > (~quint64(0) / 512) ? ~quint64(0) : *used * 512;
        out.name = name;
    }
    // The protection "(RWED,RWED,RE,)" where the line gives it.
    for (int k = 4; k < words.count; ++k)
        if (words.text(k).startsWith(u'('))
            out.attributes = words.text(k);
    return !out.name.isEmpty();
}

bool read_os2(QStringView line, ReadEntry& out)
{
    const Words words(line);
    if (words.count < 4)
        return false;
    const auto size = byte_count(words.text(0));
    if (!size)
        return false;
    // Attribute words (DIR, A, R, H, S) up to the date.
    int k = 1;
    bool folder = false;
    while (k < words.count && k < 6) {
        const QStringView w = words.text(k);
        if (w.size() == 8 && w[2] == u'-' && w[5] == u'-')
            break;
        if (w == u"DIR")
            folder = true;
        else if (w.size() > 3 || w.isEmpty() || !QStringView(u"AHRS").contains(w[0]))
            return false;
        ++k;
    }
    if (k + 2 >= words.count || !read_windows_date(words.text(k), out))
        return false;
    int h = 0, m = 0, s = 0;
    if (!read_clock(words.text(k + 1), h, m, s))
        return false;
    out.hour = h;
    out.minute = m;
    out.type = folder ? ReadEntry::Type::Folder : ReadEntry::Type::File;
    out.hasSize = !folder;
    out.size = *size;
    if (k > 1)
        out.attributes = line.sliced(words.at[1].from, words.at[k - 1].to - words.at[1].from);
    out.name = words.afterSpaces(k + 1);
    return !out.name.isEmpty();
}

bool read_as400(QStringView line, ReadEntry& out)
{
    const Words words(line);
    const auto folder_type = [](QStringView t) {
        return t == u"*DIR" || t == u"*LIB" || t == u"*FLR";
    };
    // A member: "owner *MEM name", without size or date.
    if (words.count >= 3 && words.text(1) == u"*MEM") {
        out.type = ReadEntry::Type::File;
        out.attributes = words.text(1);
        out.name = words.afterSpaces(1);
        return true;
    }
    if (words.count < 6)
        return false;
    const QStringView type = words.text(4);
    if (type.size() < 2 || type[0] != u'*')
        return false;
    const auto size = byte_count(words.text(1));
    const QStringView date = words.text(2);
    if (!size || date.size() != 8 || (date[2] != u'/' && date[2] != u'.') || date[5] != date[2])
        return false;
    // Month first, as the system writes it by default; day first when the
    // first number cannot be a month.
    const auto a = small_number(date.first(2), 2);
    const auto b = small_number(date.sliced(3, 2), 2);
    const auto y = small_number(date.sliced(6, 2), 2);
    if (!a || !b || !y)
        return false;
    const bool dayFirst = *a > 12;
    out.month = dayFirst ? *b : *a;
    out.day = dayFirst ? *a : *b;
    out.year = *y;
    int h = 0, m = 0, s = 0;
    if (!valid_date(out.month, out.day) || !read_clock(words.text(3), h, m, s))
        return false;
    out.hour = h;
    out.minute = m;
    out.type = folder_type(type) ? ReadEntry::Type::Folder : ReadEntry::Type::File;
    out.hasSize = out.type == ReadEntry::Type::File;
    out.size = *size;
    out.attributes = type;
    out.name = words.afterSpaces(4);
    return !out.name.isEmpty();
}

bool read_mvs(QStringView line, ReadEntry& out)
{
    const Words words(line);
    if (words.count == Words::Capacity)
        return false;
    const auto iso_slash_date = [&](QStringView w) {
        if (w.size() != 10 || w[4] != u'/' || w[7] != u'/')
            return false;
        const auto y = small_number(w.first(4), 4);
        const auto m = small_number(w.sliced(5, 2), 2);
        const auto d = small_number(w.sliced(8, 2), 2);
        if (!y || !m || !d || !valid_date(*m, *d))
            return false;
        out.year = *y;
        out.month = *m;
        out.day = *d;
        return true;
    };
    // A data set moved to tape or other storage: its name only.
    if (words.count == 2 && words.text(0) == u"Migrated") {
        out.type = ReadEntry::Type::File;
        out.name = words.text(1);
        return true;
    }
    // A member of a partitioned data set:
    // "NAME  01.03 2002/09/12 2002/09/12 11:39   100    96     0 USER"
    if (words.count >= 6 && words.text(1).size() == 5 && words.text(1)[2] == u'.'
        && all_digits(words.text(1).first(2)) && all_digits(words.text(1).sliced(3))) {
        int h = 0, m = 0, s = 0;
        if (!iso_slash_date(words.text(2)) || !iso_slash_date(words.text(3)) || !read_clock(words.text(4), h, m, s))
            return false;
        out.hour = h;
        out.minute = m;
        out.type = ReadEntry::Type::File;
        out.name = words.text(0);
        return true;
    }
    // A data set: "Volume Unit Referred Ext Used Recfm Lrecl BlkSz Dsorg Dsname",
    // the organisation second to last and the name last. Partitioned data
    // sets (PO) hold members: they are entered like folders.
    static const char16_t* const organisations[] = {u"PO", u"PO-E", u"PS", u"DA", u"VS", u"IS", u"VSAM"};
    if (words.count < 6 || !iso_slash_date(words.text(2)))
        return false;
    const QStringView org = words.text(words.count - 2);
    bool known = false;
    for (const char16_t* o : organisations)
        known = known || org == QStringView(o);
    if (!known)
        return false;
    out.type = org.startsWith(u"PO") ? ReadEntry::Type::Folder : ReadEntry::Type::File;
    out.attributes = org;
    out.name = words.text(words.count - 1);
    return true;
}

} // namespace listing_readers
