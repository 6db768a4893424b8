#include "listing/remote_listing.h"

#include <QDateTime>

#include "listing/listing_readers.h"

#include <QIODevice>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

constexpr qsizetype kSizeWidth = 8;

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

ListingParser::ListingParser(const QDate& today) : today_(today)
{
    // A date without a year lies at most a day ahead (a server's clock may
    // run in a zone ahead of ours); one further ahead is last year's.
    const QDate tomorrow = today.isValid() ? today.addDays(1) : QDate();
    if (tomorrow.isValid() && tomorrow.year() == today.year())
        lastMonthDay_ = tomorrow.month() * 100 + tomorrow.day();
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

namespace {
constexpr qint64 kJulian1970 = 2440588;

// Seconds since 1970 of a UTC date and time; -1 when it is not a whole one.
qint64 utc_seconds(const ReadEntry& e)
{
    if (e.month == 0 || e.year < 1971 || !QDate(e.year, e.month, e.day).isValid())
        return -1;
    return (QDate(e.year, e.month, e.day).toJulianDay() - kJulian1970) * 86400 + qMax(e.hour, 0) * 3600
        + e.minute * 60 + e.second;
}
} // namespace

QString ListingParser::dateText(const ReadEntry& e)
{
    if (e.month == 0)
        return QString();
    int year = e.year, month = e.month, day = e.day, hour = e.hour, minute = e.minute;
    if (const qint64 utc = e.utc ? utc_seconds(e) : -1; utc >= 0) {
        // Shown in local time. The zone's offset changes at most a few
        // times a year: it is asked once per hour of time met.
        const qint64 hourKey = utc / 3600;
        auto it = utcOffsets_.constFind(hourKey);
        if (it == utcOffsets_.cend()) {
            if (utcOffsets_.size() >= 4096)
                utcOffsets_.clear();
            it = utcOffsets_.insert(hourKey, QDateTime::fromSecsSinceEpoch(utc).offsetFromUtc());
        }
        const qint64 local = utc + *it;
        const QDate date = QDate::fromJulianDay(local / 86400 + kJulian1970);
        year = date.year();
        month = date.month();
        day = date.day();
        hour = int(local % 86400 / 3600);
        minute = int(local % 3600 / 60);
    }
    if (year < 0) {
        year = today_.isValid() ? today_.year() : 0;
        if (month * 100 + day > lastMonthDay_)
            --year;
    }
    const auto two = [](ShortText& t, int n) {
        n = ((n % 100) + 100) % 100;
        t.add(char16_t(u'0' + n / 10));
        t.add(char16_t(u'0' + n % 10));
    };
    ShortText date;
    two(date, year);
    date.add(u'/');
    two(date, month);
    date.add(u'/');
    two(date, day);
    date.add(u' ');
    if (hour < 0) {
        date.add(u"00:00");
    } else {
        two(date, hour);
        date.add(u':');
        two(date, minute);
    }
    return date.text();
}

namespace {

// The size column's text of a byte count: as remote_size_text, with every
// digit of counts beyond what a double holds exactly.
QString byte_size_text(quint64 bytes)
{
    if (bytes < (quint64(1) << 53))
        return remote_size_text(double(bytes));
    ShortText text;
    char16_t reversed[20];
    int n = 0;
    quint64 kb = bytes / 1000;
    do {
        reversed[n++] = char16_t(u'0' + kb % 10);
        kb /= 10;
    } while (kb > 0);
    while (n > 0)
        text.add(reversed[--n]);
    text.add(u"KB");
    return text.text();
}

} // namespace

LineResult ListingParser::entry(ReadEntry& e, ListingEntry& out)
{
    static const QString kFolderKind = QStringLiteral("0");
    static const QString kFileKind = QStringLiteral("1");
    if (e.hidden)
        return LineResult::Skipped;
    QStringView name = e.name;
    const bool folder = e.type == ReadEntry::Type::Folder;
    // A folder written the way `ls -F` marks it ("Linux/") is that folder.
    if (folder && name.size() > 1 && name.endsWith(u'/'))
        name.chop(1);
    if (name.isEmpty() || name == u"." || name == u"..")
        return LineResult::Skipped;
    // No entry of a directory holds '/': such a line is not a real entry, and
    // its name would reach outside the folder when used in a path.
    if (name.contains(u'/'))
        return LineResult::Skipped;
    out.name = name.toString();
    out.icon = folder ? 1 : e.type == ReadEntry::Type::Link ? 4 : 2;
    out.sizeText = e.hasSize && e.type == ReadEntry::Type::File ? shared(byte_size_text(e.size)) : QString();
    out.dateText = shared(dateText(e));
    out.kind = e.type == ReadEntry::Type::File ? kFileKind : kFolderKind;
    out.attributes = e.builtAttributes.isEmpty() ? attributes(e.attributes) : attributes(e.builtAttributes);
    out.bytes = e.hasSize && e.type == ReadEntry::Type::File && e.size <= quint64(std::numeric_limits<qint64>::max())
        ? qint64(e.size) : -1;
    out.modifiedUtc = e.utc ? utc_seconds(e) : -1;
    return LineResult::Entry;
}

LineResult ListingParser::read(QStringView line, ListingEntry& out)
{
    using namespace listing_readers;
    // In this order: a line that could be read two ways keeps the reading
    // of the earlier reader, Unix first.
    using Reader = bool (*)(QStringView, ReadEntry&);
    static const Reader kReaders[] = {read_unix, read_mlsd, read_windows, read_eplf, read_vms,
                                      read_os2,  read_netware, read_as400, read_mvs};
    if (line.trimmed().isEmpty() || is_header_line(line))
        return LineResult::Skipped;
    for (const Reader reader : kReaders) {
        ReadEntry e;
        if (reader(line, e))
            return entry(e, out);
    }
    return LineResult::Unreadable;
}

LineResult ListingParser::parse(QStringView line, ListingEntry& out)
{
    // VMS writes a long name on a line of its own and the rest of its entry
    // on the next.
    if (!heldName_.isEmpty()) {
        QString joined = std::exchange(heldName_, QString());
        joined += u' ';
        joined += line.trimmed();
        ReadEntry e;
        if (listing_readers::read_vms(joined, e))
            return entry(e, out);
        // Not the rest of it: the held line was one no reader takes.
        const LineResult r = parse(line, out);
        return r == LineResult::Skipped ? LineResult::Unreadable : r;
    }
    if (listing_readers::is_vms_name_only(line)) {
        heldName_ = line.toString();
        return LineResult::Skipped;
    }
    return read(line, out);
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
