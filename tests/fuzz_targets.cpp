#include "tests/fuzz_targets.h"

#include <QBuffer>
#include <QByteArray>
#include <QDate>
#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "ftp/reply_framer.h"
#include "ftp/reply_texts.h"
#include "listing/remote_listing.h"
#include "platform/codepage.h"
#include "platform/settings_store.h"
#include "servers/server_list_file.h"

const char* fuzz_current_input = nullptr;

namespace {

[[noreturn]] void invariant_broken(const char* what, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, what);
    if (fuzz_current_input)
        std::fprintf(stderr, "input: %s\n", fuzz_current_input);
    std::fflush(stderr);
    std::abort();
}

#define CHECK(cond)                                      \
    do {                                                 \
        if (!(cond))                                     \
            invariant_broken(#cond, __FILE__, __LINE__); \
    } while (0)

// Reads the leading control bytes of an input; past its end it gives zeros.
class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    uint16_t u16()
    {
        const uint16_t low = byte();
        return uint16_t(low | byte() << 8);
    }
    QByteArray rest()
    {
        const QByteArray r(reinterpret_cast<const char*>(data_ + pos_), qsizetype(size_ - pos_));
        pos_ = size_;
        return r;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

// The network decides where one read ends and the next begins. how == 0
// cuts after every byte (short inputs); an odd how cuts at 1 to 16 places
// drawn from a generator seeded by the input; an even how cuts after every
// byte equal to at, so a fuzzer can place cuts exactly.
QList<QByteArray> cut_into_reads(const QByteArray& bytes, uint8_t how, uint8_t at)
{
    QList<QByteArray> reads;
    const qsizetype n = bytes.size();
    if (n == 0)
        return reads;
    QList<qsizetype> cuts;
    if (how == 0 && n <= 4096) {
        for (qsizetype i = 1; i < n; ++i)
            cuts << i;
    } else if (how & 1) {
        uint32_t s = (how * 2654435761u) ^ (at * 40503u) ^ uint32_t(n) ^ 1u;
        const int count = 1 + (how >> 1) % 16;
        for (int k = 0; k < count; ++k) {
            s ^= s << 13;
            s ^= s >> 17;
            s ^= s << 5;
            cuts << qsizetype(s % uint32_t(n));
        }
        std::sort(cuts.begin(), cuts.end());
    } else {
        for (qsizetype i = 0; i < n; ++i)
            if (uchar(bytes[i]) == at)
                cuts << i + 1;
    }
    qsizetype from = 0;
    for (const qsizetype c : cuts) {
        if (c <= from || c >= n)
            continue;
        reads << bytes.mid(from, c - from);
        from = c;
    }
    reads << bytes.mid(from);
    return reads;
}

QByteArray pick_codepage(uint8_t selector, int choices)
{
    static const char* const names[] = {"UTF-8", "CP932", "EUC-JP"};
    return names[selector % choices];
}

// ---------------------------------------------------------------- listing

void check_size_text(double bytes)
{
    const QString s = remote_size_text(bytes);
    // Right-aligned in 8 characters; a longer text stays whole.
    CHECK(s.size() >= 8);
    CHECK(!s.endsWith(u' '));
    CHECK(s.endsWith(QStringLiteral("KB")) || s == QStringLiteral("      0B"));
    // Not a number is no size either.
    CHECK((s == QStringLiteral("      0B")) == (bytes == 0 || std::isnan(bytes)));
    // Bounded, so that its KB read back as bytes fit in 64 bits.
    CHECK(s.size() <= 20);
    // Whole bytes: whole KB of 1000 bytes, and 1 to 999 bytes show as 1KB.
    if (bytes > 0 && bytes < 1e15 && bytes == std::floor(bytes)) {
        const qint64 b = qint64(bytes);
        const qint64 kb = b < 1000 ? 1 : b / 1000;
        CHECK(s.trimmed() == QString::number(kb) + QStringLiteral("KB"));
    }
}

bool same_entry(const ListingEntry& a, const ListingEntry& b)
{
    return a.name == b.name && a.icon == b.icon && a.sizeText == b.sizeText && a.dateText == b.dateText
        && a.kind == b.kind && a.attributes == b.attributes;
}

// joined: the entry may take its name from the line before (VMS).
void check_entry(QStringView line, const ListingEntry& e, bool joined)
{
    CHECK(!e.name.isEmpty());
    CHECK(e.name != QStringLiteral(".") && e.name != QStringLiteral(".."));
    // A name is used in local paths and in commands.
    CHECK(!e.name.contains(u'/'));
    CHECK(!e.name.contains(u'\r') && !e.name.contains(u'\n'));
    if (!joined)
        CHECK(line.contains(e.name));
    CHECK(e.icon == 1 || e.icon == 2 || e.icon == 4);
    CHECK(e.kind == (e.icon == 2 ? QStringLiteral("1") : QStringLiteral("0")));
    // Taken from the line, or made from MLSD's UNIX.mode.
    CHECK(line.contains(e.attributes) || e.attributes.size() == 10);
    // A date text is "YY/MM/DD hh:mm" or none.
    if (!e.dateText.isEmpty()) {
        CHECK(e.dateText.size() == 14 && e.dateText[2] == u'/' && e.dateText[5] == u'/' && e.dateText[8] == u' '
              && e.dateText[11] == u':');
        const int month = e.dateText.mid(3, 2).toInt();
        const int day = e.dateText.mid(6, 2).toInt();
        CHECK(month >= 1 && month <= 12 && day >= 1 && day <= 31);
        CHECK(e.dateText.mid(9, 2).toInt() <= 23 && e.dateText.mid(12, 2).toInt() <= 59);
    }
    if (e.icon != 2)
        CHECK(e.sizeText.isEmpty());
    else if (!e.sizeText.isEmpty())
        CHECK(e.sizeText.size() >= 8 && (e.sizeText.endsWith(QStringLiteral("KB")) || e.sizeText.endsWith(QStringLiteral("0B"))));
    // Bounded memory per line: nothing grows beyond the line it came from.
    CHECK(e.dateText.size() <= 32);
    CHECK(joined || e.name.size() <= line.size());
}

} // namespace

int fuzz_listing(const uint8_t* data, size_t size)
{
    Input in(data, size);
    // Bit 0 code page, bits 1-2 no date, bit 3 a size text, bits 4-5 the
    // read block, bits 6-7 the longest line kept: small ones put block ends
    // and cuts anywhere in short inputs.
    const uint8_t mode = in.byte();
    const uint16_t days = in.u16();
    // A day between 1995 and 2049 or, rarely, no valid date at all.
    const QDate today = (mode & 6) == 6 ? QDate() : QDate(1995, 1, 1).addDays(days % 20000);
    if (mode & 8) {
        double d;
        uint8_t raw[sizeof d];
        for (uint8_t& b : raw)
            b = in.byte();
        std::memcpy(&d, raw, sizeof d);
        check_size_text(d);
    }
    static const qsizetype blocks[] = {ListingLines::DefaultBlock, 1, 2, 7};
    static const qsizetype maxLines[] = {ListingLines::DefaultMaxLine, 1, 4, 16};
    const qsizetype block = blocks[(mode >> 4) & 3];
    const qsizetype maxLine = maxLines[(mode >> 6) & 3];
    const QByteArray cp = pick_codepage(mode, 2);
    QByteArray bytes = in.rest();

    QBuffer file(&bytes);
    file.open(QIODevice::ReadOnly);
    ListingLines reader(file, cp, block, maxLine);
    QStringList lines;
    QStringView view;
    while (reader.next(view))
        lines << view.toString();

    // The lines and their ends make up the text exactly: a line ends at
    // CR LF, a lone CR or a lone LF, a long line is cut to maxLine, and
    // nothing else is dropped. A character cut off by the end of the file
    // is a bad one, as a line end after it would make it.
    QString text = codepage::to_text(bytes + '\n', cp);
    if (text.endsWith(u'\n'))
        text.chop(1);
    qsizetype pos = 0;
    for (const QString& line : lines) {
        // No empty line after a final line end.
        CHECK(pos < text.size());
        qsizetype end = pos;
        while (end < text.size() && text[end] != u'\r' && text[end] != u'\n')
            ++end;
        CHECK(line == QStringView(text).sliced(pos, std::min(end - pos, maxLine)));
        pos = end;
        if (pos < text.size())
            pos += text[pos] == u'\r' && pos + 1 < text.size() && text[pos + 1] == u'\n' ? 2 : 1;
    }
    CHECK(pos == text.size());
    // Decoded text read in pieces gives the same lines.
    CHECK(split_listing_lines(text, maxLine) == lines);

    // One parser for the whole listing gives what a fresh one gives per
    // line, except where it joins a line to the one before.
    ListingParser parser(today);
    for (const QString& line : lines) {
        ListingEntry shared, alone;
        const bool joined = parser.holding();
        const LineResult r = parser.parse(line, shared);
        const LineResult fresh = parse_listing_line(line, today, alone);
        if (!joined)
            CHECK(fresh == r);
        if (r == LineResult::Entry) {
            if (!joined)
                CHECK(same_entry(shared, alone));
            check_entry(line, shared, joined);
        }
    }
    return 0;
}

// ---------------------------------------------------------------- reply framer

namespace {

// "\xFE k" stands for (k + 1) * 256 copies of the byte before it, so short
// inputs reach the framer's length limit. The whole stays within four times
// that limit.
QByteArray expand_runs(const QByteArray& in)
{
    QByteArray out;
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (uchar(in[i]) == 0xFE && i + 1 < in.size()) {
            const qsizetype n = (qsizetype(uchar(in[i + 1])) + 1) * 256;
            if (out.size() + n <= 4 * ReplyFramer::MaxReplyLength)
                out.append(n, out.isEmpty() ? 'x' : out.back());
            ++i;
            continue;
        }
        out += in[i];
    }
    return out;
}

// Every lone LF as CR LF: what the replies hold when no line was cut.
QString with_crlf(const QString& text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n' && (i == 0 || text[i - 1] != u'\r'))
            out += u'\r';
        out += text[i];
    }
    return out;
}

// Reply codes are ASCII digits.
bool code_digits(const QString& line)
{
    const auto digit = [](QChar c) { return c >= u'0' && c <= u'9'; };
    return line.size() >= 3 && digit(line[0]) && digit(line[1]) && digit(line[2]);
}

bool closes(const QString& line, QStringView code)
{
    return line.startsWith(code) && (line.size() == 3 || line[3] == u' ');
}

void check_reply(const QString& reply)
{
    constexpr qsizetype max = ReplyFramer::MaxReplyLength;
    CHECK(reply.endsWith(QStringLiteral("\r\n")));
    // Bounded memory: no line longer than the limit, no reply longer than
    // the limit and one more line.
    CHECK(reply.size() <= max + (max + 2) + 2);
    const QStringList lines = reply.chopped(2).split(QStringLiteral("\r\n"));
    for (const QString& line : lines)
        CHECK(line.size() <= max);
    if (lines.size() == 1)
        return;
    // Lines are joined only in a multi-line reply, "nnn-" up to "nnn " or
    // "nnn", and it ends where the server ends it, cut or not.
    CHECK(code_digits(lines.first()) && lines.first().size() >= 4 && lines.first()[3] == u'-');
    const QStringView code = QStringView(lines.first()).left(3);
    for (qsizetype i = 1; i + 1 < lines.size(); ++i)
        CHECK(!closes(lines[i], code));
    CHECK(closes(lines.last(), code));
}

struct Framed {
    QString text;
    QStringList replies;
    int cut = 0;
};

Framed feed_all(ReplyFramer& framer, const QList<QByteArray>& reads, qsizetype from)
{
    Framed f;
    for (qsizetype i = from; i < reads.size(); ++i) {
        const ReplyFramer::Result r = framer.feed(reads[i]);
        f.text += r.text;
        f.replies += r.replies;
        f.cut += r.cut;
    }
    return f;
}

} // namespace

int fuzz_reply_framer(const uint8_t* data, size_t size)
{
    Input in(data, size);
    const uint8_t mode = in.byte();
    const uint8_t how = in.byte();
    const uint8_t at = in.byte();
    const QByteArray cp = pick_codepage(mode, 2);
    QByteArray stream = in.rest();
    if (mode & 2)
        stream = expand_runs(stream);
    QList<QByteArray> reads = cut_into_reads(stream, how, at);
    // The last line ends, so only an open multi-line reply may be left waiting.
    reads << QByteArrayLiteral("\r\n");

    // Half of the inputs go through a framer that is reset halfway: from then
    // on it must act as a fresh one.
    const qsizetype resetAt = (mode & 4) ? reads.size() / 2 : 0;
    ReplyFramer framer(cp);
    if (resetAt > 0) {
        feed_all(framer, reads.first(resetAt), 0);
        framer.reset();
    }
    const Framed got = feed_all(framer, reads, resetAt);
    QByteArray fed;
    for (qsizetype i = resetAt; i < reads.size(); ++i)
        fed += reads[i];

    // However TCP cuts the stream, the same replies come out of it.
    ReplyFramer oneRead(cp);
    const Framed whole = feed_all(oneRead, {fed}, 0);
    CHECK(got.replies == whole.replies);
    CHECK(got.cut == whole.cut);
    CHECK(framer.hasPartialReply() == oneRead.hasPartialReply());
    // The log shows exactly what arrived.
    CHECK(got.text == codepage::to_text(fed, cp));
    CHECK(got.cut <= got.replies.size());
    for (const QString& reply : got.replies)
        check_reply(reply);
    // While no cut is reported nothing is lost: the replies are the text with
    // CR LF line ends.
    if (got.cut == 0) {
        const QString expected = with_crlf(got.text);
        const QString joined = got.replies.join(QString());
        if (framer.hasPartialReply())
            CHECK(expected.startsWith(joined));
        else
            CHECK(joined == expected);
    }
    return 0;
}

// ---------------------------------------------------------------- 257 and PORT

namespace {

QString quoted(QString path)
{
    return u'"' + path.replace(u'"', QStringLiteral("\"\"")) + u'"';
}

// Four dotted numbers of 1 to 3 ASCII digits up to 255.
bool strict_ipv4(const QString& text, int (&parts)[4])
{
    const QStringList p = text.split(u'.');
    if (p.size() != 4)
        return false;
    for (int i = 0; i < 4; ++i) {
        if (p[i].isEmpty() || p[i].size() > 3)
            return false;
        int v = 0;
        for (const QChar c : p[i]) {
            if (c < u'0' || c > u'9')
                return false;
            v = v * 10 + (c.unicode() - u'0');
        }
        if (v > 255)
            return false;
        parts[i] = v;
    }
    return true;
}

// "PORT a,b,c,d,h,l" and CR LF with six plain numbers up to 255; fills them.
bool well_formed_port_line(const QString& line, int (&numbers)[6])
{
    if (!line.startsWith(QStringLiteral("PORT ")) || !line.endsWith(QStringLiteral("\r\n")))
        return false;
    const QStringList p = line.mid(5, line.size() - 7).split(u',');
    if (p.size() != 6)
        return false;
    for (int i = 0; i < 6; ++i) {
        if (p[i].isEmpty() || p[i].size() > 3)
            return false;
        int v = 0;
        for (const QChar c : p[i]) {
            if (c < u'0' || c > u'9')
                return false;
            v = v * 10 + (c.unicode() - u'0');
        }
        if (v > 255 || QString::number(v) != p[i])
            return false;
        numbers[i] = v;
    }
    return true;
}

} // namespace

int fuzz_reply_texts(const uint8_t* data, size_t size)
{
    Input in(data, size);
    const uint8_t mode = in.byte();
    const uint16_t low = in.u16();
    const QString text = QString::fromUtf8(in.rest());

    // The path of "257": it is sent back in CWD commands, so it never holds a
    // line end, and quoting it again gives the text it was read from.
    const std::optional<QString> path = path_of_257(text);
    const qsizetype open = text.indexOf(u'"');
    if (open < 0)
        CHECK(!path);
    if (path) {
        CHECK(!path->contains(u'\r') && !path->contains(u'\n'));
        const QString q = quoted(*path);
        CHECK(QStringView(text).mid(open, q.size()) == q);
        CHECK(open + q.size() == text.size() || text[open + q.size()] != u'"');
        CHECK(path_of_257(QStringLiteral("257 ") + q + QStringLiteral(" is the current directory")) == *path);
    }

    // The PORT line for the same text as an address.
    int port = low;
    switch (mode & 3) {
    case 1: port = 65536 + low; break;
    case 2: port = -1 - low; break;
    case 3: port = std::numeric_limits<int>::min() + low; break;
    }
    const QString line = port_line(text, port);
    int address[4];
    int numbers[6];
    if (strict_ipv4(text, address) && port >= 0 && port <= 65535) {
        CHECK(well_formed_port_line(line, numbers));
        for (int i = 0; i < 4; ++i)
            CHECK(numbers[i] == address[i]);
    }
    if (!line.isEmpty()) {
        // Anything else is refused or comes out as a clean command.
        CHECK(port >= 0 && port <= 65535);
        CHECK(well_formed_port_line(line, numbers));
        CHECK(numbers[4] * 256 + numbers[5] == port);
    }
    return 0;
}

// ---------------------------------------------------------------- server.lst

int fuzz_server_list(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QStringList lines = server_list::parse(bytes);
    for (const QString& line : lines)
        CHECK(!line.contains(u'\r') && !line.contains(u'\n'));
    // The same line rule as a listing.
    CHECK(lines == split_listing_lines(codepage::to_text(bytes), std::numeric_limits<qsizetype>::max()));
    // Written back and read again, every name stays as it was read.
    const QByteArray written = server_list::serialize(lines);
    CHECK(server_list::parse(written) == lines);
    CHECK(server_list::serialize(server_list::parse(written)) == written);
    // A file the program wrote itself is rewritten byte for byte.
    const QString text = codepage::to_text(bytes);
    if (codepage::from_text(text) == bytes && (bytes.isEmpty() || bytes.endsWith("\r\n"))
        && text.count(u'\r') == text.count(QStringLiteral("\r\n"))
        && text.count(u'\n') == text.count(QStringLiteral("\r\n")))
        CHECK(written == bytes);
    return 0;
}

// ---------------------------------------------------------------- settings names

namespace {

void check_name(const QString& name)
{
    const QString e = settings::escape_name(name);
    CHECK(!e.isEmpty());
    // '/' would open a group, and QSettings writes '\' as '/' in the file.
    CHECK(!e.contains(u'/') && !e.contains(u'\\'));
    // QSettings folds any spelling of "general" into its top-level section.
    CHECK(e.compare(QLatin1String("general"), Qt::CaseInsensitive) != 0);
    CHECK(settings::unescape_name(e) == name);
}

struct ConfigFolders {
    QTemporaryDir a, b;
};

ConfigFolders& config_folders()
{
    static ConfigFolders f;
    return f;
}

// Two values saved under the names, read back from the file as the next
// start of the program would, then the first section deleted.
void check_through_file(const QString& s1, const QString& k1, const QString& s2, const QString& k2)
{
    const bool wasSet = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    const QByteArray old = qgetenv("XDG_CONFIG_HOME");
    ConfigFolders& f = config_folders();
    const QByteArray a = f.a.path().toUtf8();
    const QByteArray b = f.b.path().toUtf8();
    const QString probe = QStringLiteral("probe");
    // The store lets go of a file when the folder changes: move away, start
    // from no file, write, move away again and come back to read.
    qputenv("XDG_CONFIG_HOME", b);
    settings::get(probe, probe);
    QFile::remove(f.a.path() + QStringLiteral("/PALU_FTP/PALU_FTP.ini"));
    qputenv("XDG_CONFIG_HOME", a);
    settings::save(s1, k1, QStringLiteral("first"));
    settings::save(s2, k2, QStringLiteral("second"));
    qputenv("XDG_CONFIG_HOME", b);
    settings::get(probe, probe);
    qputenv("XDG_CONFIG_HOME", a);

    const bool sameSection = s1 == s2;
    const bool same = sameSection && k1 == k2;
    CHECK(settings::get(s1, k1) == (same ? QStringLiteral("second") : QStringLiteral("first")));
    CHECK(settings::get(s2, k2) == QStringLiteral("second"));
    QStringList keys1 = settings::keys(s1);
    keys1.sort();
    QStringList expected = {k1};
    if (sameSection && !same)
        expected << k2;
    expected.sort();
    CHECK(keys1 == expected);
    if (!sameSection)
        CHECK(settings::keys(s2) == QStringList{k2});
    // No name reaches into another section.
    settings::delete_section(s1);
    const QString none = QStringLiteral("none");
    CHECK(settings::get(s1, k1, none) == none);
    CHECK(settings::get(s2, k2, none) == (sameSection ? none : QStringLiteral("second")));

    if (wasSet)
        qputenv("XDG_CONFIG_HOME", old);
    else
        qunsetenv("XDG_CONFIG_HOME");
}

} // namespace

int fuzz_settings_names(const uint8_t* data, size_t size)
{
    Input in(data, size);
    const uint8_t mode = in.byte();
    // Up to four names parted by 0xFF, which UTF-8 never holds.
    const QList<QByteArray> parts = in.rest().split('\xff');
    QStringList names;
    for (int i = 0; i < 4; ++i) {
        const QByteArray p = parts.value(i);
        // UTF-16 lets a name hold any code unit, lone surrogates included.
        names << ((mode & 1) ? QString::fromUtf16(reinterpret_cast<const char16_t*>(p.constData()), p.size() / 2)
                             : QString::fromUtf8(p));
    }
    for (const QString& n : names)
        check_name(n);
    // Different names are kept apart.
    for (int i = 0; i < 4; ++i)
        for (int j = i + 1; j < 4; ++j)
            CHECK((settings::escape_name(names[i]) == settings::escape_name(names[j])) == (names[i] == names[j]));
    // Whatever a hand-edited file holds reads as some name.
    for (const QString& n : names)
        settings::unescape_name(n);
    if ((mode & 3) == 2)
        check_through_file(names[0], names[1], names[2], names[3]);
    return 0;
}

// ---------------------------------------------------------------- code pages

int fuzz_codepage_stream(const uint8_t* data, size_t size)
{
    Input in(data, size);
    const uint8_t mode = in.byte();
    const uint8_t how = in.byte();
    const uint8_t at = in.byte();
    const QByteArray cp = pick_codepage(mode, 3);
    const QByteArray bytes = in.rest();

    codepage::StreamDecoder decoder(cp);
    QString streamed;
    for (const QByteArray& read : cut_into_reads(bytes, how, at))
        streamed += decoder.decode(read);
    // All at once the same, except that the stream still holds back what
    // may be a cut-off last character: at most four bytes, and two more
    // inside the converter.
    const QString whole = codepage::to_text(bytes, cp);
    CHECK(whole.startsWith(streamed));
    CHECK(whole.size() - streamed.size() <= 6);
    // A line end pushes it out.
    streamed += decoder.decode(QByteArrayLiteral("\n"));
    CHECK(streamed == codepage::to_text(bytes + '\n', cp));
    // After a reset nothing of the old stream is left.
    decoder.decode(bytes.left(bytes.size() / 2 + 1));
    decoder.reset();
    codepage::StreamDecoder fresh(cp);
    CHECK(decoder.decode(bytes) == fresh.decode(bytes));

    // Text without bad characters goes back to bytes and comes back
    // unchanged, so a name read from a file can be written back. ICU's
    // EUC-JP table also reads a few bytes outside the code page one way
    // (0x8E 0xE1 as "£"); there encodable() must say so.
    if (!whole.contains(QChar(0xFFFD))) {
        const bool kept = codepage::to_text(codepage::from_text(whole, cp), cp) == whole;
        CHECK(codepage::encodable(whole, cp) == kept);
        if (cp != "EUC-JP")
            CHECK(kept);
    }
    return 0;
}

const FuzzTarget kFuzzTargets[] = {
    {"listing", fuzz_listing},
    {"reply_framer", fuzz_reply_framer},
    {"reply_texts", fuzz_reply_texts},
    {"server_list", fuzz_server_list},
    {"settings_names", fuzz_settings_names},
    {"codepage_stream", fuzz_codepage_stream},
};
const size_t kFuzzTargetCount = sizeof kFuzzTargets / sizeof kFuzzTargets[0];
