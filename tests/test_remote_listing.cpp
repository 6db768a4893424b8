// The remote list: LIST lines into entries (fields, size and date texts, the
// year of entries that show a time, links, odd lines) and the list filled
// from the listing file.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QPushButton>

#include <limits>

#include "app/form1.h"
#include "listing/remote_listing.h"
#include "platform/app_clock.h"
#include "platform/click_label.h"
#include "platform/codepage.h"
#include "platform/list_view.h"
#include "platform/mouse_pointer.h"
#include "platform/program_folder.h"
#include "tests/fake_tree.h"
#include "tests/ftp_fixture.h"
#include "tests/list_helpers.h"
#include "tests/prompt_script.h"
#include "tests/test_support.h"

namespace {

const QDate kMidJune2025(2025, 6, 15);

// An entry as one readable text: name|icon|size|date|kind|attributes.
std::string show(const ListingEntry& e)
{
    const QChar bar(u'|');
    return (e.name + bar + QString::number(e.icon) + bar + e.sizeText + bar + e.dateText + bar + e.kind + bar
            + e.attributes)
        .toStdString();
}

std::string parse(const QString& line, const QDate& today = kMidJune2025)
{
    ListingEntry e;
    switch (parse_listing_line(line, today, e)) {
    case LineResult::Entry:
        return show(e);
    case LineResult::Skipped:
        return "skipped";
    case LineResult::Malformed:
        return "malformed";
    }
    return "?";
}

std::string date_of(const QString& line, const QDate& today)
{
    ListingEntry e;
    if (parse_listing_line(line, today, e) != LineResult::Entry)
        return "no entry";
    return e.dateText.toStdString();
}

TEST(RemoteListingParse, LinesOfARealListing)
{
    EXPECT_EQ(parse("drwxr-xr-x 2 user group 512 Jan 12 12:34 src"),
              "src|1||25/01/12 12:34|0|drwxr-xr-x");
    EXPECT_EQ(parse("-rw-r--r-- 1 user group 2000 Dec 24  1999 a.txt"),
              "a.txt|2|     2KB|99/12/24 00:00|1|-rw-r--r--");
    EXPECT_EQ(parse("lrwxrwxrwx 1 user group 11 Jan  5 10:00 www -> /var/www"),
              "www|4||25/01/05 10:00|0|lrwxrwxrwx");
    // Inner spaces of a name stay, so do trailing ones.
    EXPECT_EQ(parse("-rw-r--r-- 1 user group 10 Feb  1 10:00 my file.txt"),
              "my file.txt|2|     1KB|25/02/01 10:00|1|-rw-r--r--");
    EXPECT_EQ(parse("-rw-r--r-- 1 user group 10 Feb  1 10:00 two  spaces "),
              "two  spaces |2|     1KB|25/02/01 10:00|1|-rw-r--r--");
    // Wide columns (big link counts, long owners) are padded with more spaces.
    EXPECT_EQ(parse("-rw-r--r--    1 ftp      ftp        123456 Mar 03 09:05 data.csv"),
              "data.csv|2|   123KB|25/03/03 09:05|1|-rw-r--r--");
    // An ACL marker after the permissions is part of the attribute field only.
    EXPECT_EQ(parse("-rw-r--r--+ 1 user group 1000 Jun 15 08:00 acl.txt"),
              "acl.txt|2|     1KB|25/06/15 08:00|1|-rw-r--r--");
    // A tab is no separator.
    EXPECT_EQ(parse("-rw-r--r-- 1 user group 5 Jun  1 08:00 tab\there"),
              "tab\there|2|     1KB|25/06/01 08:00|1|-rw-r--r--");
}

TEST(RemoteListingParse, LinesThatGiveNoEntry)
{
    EXPECT_EQ(parse(""), "skipped");
    EXPECT_EQ(parse("total 1234"), "skipped");
    EXPECT_EQ(parse("total"), "skipped");
    EXPECT_EQ(parse("drwxr-xr-x 2 user group 4096 Jan 12 12:34 ."), "skipped");
    EXPECT_EQ(parse("drwxr-xr-x 2 user group 4096 Jan 12 12:34 .."), "skipped");
    // Four fields or fewer.
    EXPECT_EQ(parse("drwxr-xr-x 2 user group"), "skipped");
    EXPECT_EQ(parse("-rw-r--r-- 1 user"), "skipped");
    EXPECT_EQ(parse("garbage"), "skipped");
    EXPECT_EQ(parse("          "), "skipped");
    EXPECT_EQ(parse("drwxr-xr-x 2 user group "), "skipped");
    // Nothing after the date.
    EXPECT_EQ(parse("-rw-r--r-- 1 user group 5 Jan 12 12:34 "), "skipped");
    // A name with '/' does not come from a directory.
    EXPECT_EQ(parse("-rw-r--r-- 1 user group 5 Jan 12 12:34 ../../etc/passwd"), "skipped");
    EXPECT_EQ(parse("drwxr-xr-x 2 user group 5 Jan 12 12:34 a/b"), "skipped");
    // ... but a link's target may hold it.
    EXPECT_EQ(parse("lrwxrwxrwx 1 user group 5 Jan 12 12:34 up -> ../../x"),
              "up|4||25/01/12 12:34|0|lrwxrwxrwx");
}

TEST(RemoteListingParse, TypeLetters)
{
    EXPECT_EQ(parse("Drwxr-xr-x 2 user group 512 Jan 12 12:34 big"), "big|1||25/01/12 12:34|0|Drwxr-xr-x");
    EXPECT_EQ(parse("Lrwxrwxrwx 1 user group 3 Jan 12 12:34 l -> t"), "l|4||25/01/12 12:34|0|Lrwxrwxrwx");
    // Everything else is a plain file, whatever the letter.
    for (const char* type : {"-", "c", "b", "p", "s", "x"}) {
        const QString line = QLatin1String(type) + QStringLiteral("rw-rw-rw- 1 root root 1500 Jan 12 12:34 n");
        EXPECT_EQ(parse(line), "n|2|     1KB|25/01/12 12:34|1|" + line.left(10).toStdString()) << type;
    }
    // A folder's size never shows.
    EXPECT_EQ(parse("drwxr-xr-x 2 user group 4096000 Jan 12 12:34 d"), "d|1||25/01/12 12:34|0|drwxr-xr-x");
}

TEST(RemoteListingParse, LinkNamesEndAtTheArrow)
{
    const struct {
        const char* nameAndTarget;
        std::string expected;
    } cases[] = {
        {"a b -> my file.txt", "a b|4||25/01/12 12:34|0|lrwxrwxrwx"},
        {"a  b c  -> x", "a  b c |4||25/01/12 12:34|0|lrwxrwxrwx"},
        {"a -> b -> c", "a|4||25/01/12 12:34|0|lrwxrwxrwx"},
        // A link shown without its target cannot be cut.
        {"lonely", "malformed"},
        {"a b", "malformed"},
        {"a->b", "malformed"},
        // A link named "." or nothing at all is no entry.
        {". -> x", "skipped"},
        {" -> x", "skipped"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parse(QStringLiteral("lrwxrwxrwx 1 user group 5 Jan 12 12:34 ") + QLatin1String(c.nameAndTarget)),
                  c.expected)
            << c.nameAndTarget;
}

TEST(RemoteListingParse, DeviceNumbersTakeTheSizeField)
{
    const struct {
        const char* line;
        std::string expected;
    } cases[] = {
        {"crw-r--r-- 1 root root 1, 3 Dec  7 03:58 null0", "null0|2||24/12/07 03:58|1|crw-r--r--"},
        {"crw-r--r-- 1 root root   1,   3 Dec  7 03:58 null0", "null0|2||24/12/07 03:58|1|crw-r--r--"},
        {"brw-rw---- 1 root disk 259, 1 Jan  5  2024 my disk", "my disk|2||24/01/05 00:00|1|brw-rw----"},
        // A plain number stays a size, as does a comma on any other type.
        {"crw-r--r-- 1 root root 1500 Jan 12 12:34 n", "n|2|     1KB|25/01/12 12:34|1|crw-r--r--"},
        {"-rw-r--r-- 1 u g 2000, Jan 12 12:34 f", "f|2|     2KB|25/01/12 12:34|1|-rw-r--r--"},
        // Nothing after the two numbers.
        {"crw-r--r-- 1 root root 1, 3", "malformed"},
        {"crw-r--r-- 1 root root 1, ", "malformed"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parse(QLatin1String(c.line)), c.expected) << c.line;
}

TEST(RemoteListingParse, SizeTexts)
{
    EXPECT_EQ(remote_size_text(0), QStringLiteral("      0B"));
    EXPECT_EQ(remote_size_text(1), QStringLiteral("     1KB"));
    EXPECT_EQ(remote_size_text(999), QStringLiteral("     1KB"));
    EXPECT_EQ(remote_size_text(1000), QStringLiteral("     1KB"));
    EXPECT_EQ(remote_size_text(1999), QStringLiteral("     1KB"));
    EXPECT_EQ(remote_size_text(2000), QStringLiteral("     2KB"));
    EXPECT_EQ(remote_size_text(999999999), QStringLiteral("999999KB"));
    // Longer texts stay whole; past 2^32 and near 10^10 every digit counts.
    EXPECT_EQ(remote_size_text(4294967296.0), QStringLiteral("4294967KB"));
    EXPECT_EQ(remote_size_text(9999999999.0), QStringLiteral("9999999KB"));
    EXPECT_EQ(remote_size_text(123456789012345.0), QStringLiteral("123456789012KB"));
    // A fraction below one byte is not "1KB" and not "0B".
    EXPECT_EQ(remote_size_text(0.5), QStringLiteral("     0KB"));

    const auto size_of = [](const QString& field) {
        ListingEntry e;
        const QString line = QStringLiteral("-rw-r--r-- 1 u g ") + field + QStringLiteral(" Jan 12 12:34 f");
        EXPECT_EQ(parse_listing_line(line, kMidJune2025, e), LineResult::Entry) << field.toStdString();
        return e.sizeText.toStdString();
    };
    EXPECT_EQ(size_of("0"), "      0B");
    EXPECT_EQ(size_of("1"), "     1KB");
    EXPECT_EQ(size_of("999"), "     1KB");
    EXPECT_EQ(size_of("1000"), "     1KB");
    EXPECT_EQ(size_of("1999"), "     1KB");
    EXPECT_EQ(size_of("123456789"), "123456KB");
    EXPECT_EQ(size_of("987654321"), "987654KB");
    EXPECT_EQ(size_of("123456"), "   123KB");
    EXPECT_EQ(size_of("4294967295"), "4294967KB");
    EXPECT_EQ(size_of("9876543210"), "9876543KB");
    // The leading number of the field counts; no number is 0.
    EXPECT_EQ(size_of("2048x"), "     2KB");
    EXPECT_EQ(size_of("n/a"), "      0B");
    EXPECT_EQ(size_of("1500.5"), "     1KB");
    // Beyond any 64-bit byte count: held there, so that the KB read back as
    // bytes still fit in 64 bits.
    const QString most = QStringLiteral("9223372036854774KB");
    EXPECT_EQ(size_of("99999999999999999999999999"), most.toStdString());
    EXPECT_EQ(size_of(QString(400, u'9')), most.toStdString());
    EXPECT_EQ(size_of(QStringLiteral("-") + QString(400, u'9')), "-9223372036854775KB");
    EXPECT_EQ(remote_size_text(std::numeric_limits<double>::infinity()), most);
    EXPECT_EQ(remote_size_text(std::numeric_limits<double>::quiet_NaN()), QStringLiteral("      0B"));
}

TEST(RemoteListingParse, YearOfEntriesThatShowATime)
{
    const QDate jan4of98(1998, 1, 4);
    EXPECT_EQ(date_of("-rw-r--r-- 1 u g 1 Jan  5 10:00 f", jan4of98), "97/01/05 10:00");
    EXPECT_EQ(date_of("-rw-r--r-- 1 u g 1 Jan  4 10:00 f", jan4of98), "98/01/04 10:00");
    EXPECT_EQ(date_of("-rw-r--r-- 1 u g 1 Jan  3 23:59 f", jan4of98), "98/01/03 23:59");
    EXPECT_EQ(date_of("-rw-r--r-- 1 u g 1 Dec 31 00:00 f", jan4of98), "97/12/31 00:00");
    // Zero-padded days as some servers write them compare the same way.
    EXPECT_EQ(date_of("-rw-r--r-- 1 u g 1 Jan 05 10:00 f", jan4of98), "97/01/05 10:00");

    const QDate march1of2000(2000, 3, 1);
    EXPECT_EQ(date_of("-rw-r--r-- 1 u g 1 Mar  2 09:00 f", march1of2000), "99/03/02 09:00");
    EXPECT_EQ(date_of("-rw-r--r-- 1 u g 1 Mar  1 09:00 f", march1of2000), "00/03/01 09:00");
    EXPECT_EQ(date_of("-rw-r--r-- 1 u g 1 Feb 29 09:00 f", march1of2000), "00/02/29 09:00");
    // A year in the line is taken as it stands.
    EXPECT_EQ(date_of("-rw-r--r-- 1 u g 1 Dec 24  1999 f", march1of2000), "99/12/24 00:00");
    EXPECT_EQ(date_of("-rw-r--r-- 1 u g 1 Dec 24  2031 f", march1of2000), "31/12/24 00:00");

    const QDate dec31of2009(2009, 12, 31);
    EXPECT_EQ(date_of("-rw-r--r-- 1 u g 1 Dec 31 09:00 f", dec31of2009), "09/12/31 09:00");
    EXPECT_EQ(date_of("-rw-r--r-- 1 u g 1 Jan  1 09:00 f", dec31of2009), "09/01/01 09:00");
    // An unknown month stays as written and is compared as text.
    EXPECT_EQ(date_of("-rw-r--r-- 1 u g 1 Foo  1 09:00 f", dec31of2009), "08/Foo/01 09:00");
}

TEST(RemoteListingParse, FixedDatePositionsMisreadSingleSpacing)
{
    // With one space before a one-digit day the time lands on the wrong
    // characters and is taken for a year.
    EXPECT_EQ(date_of("-rw-r--r-- 1 u g 1 Jan 5 10:00 f", kMidJune2025), "0/01/05 00:00");
    EXPECT_EQ(date_of("-rw-r--r-- 1 u g 1 Dec 24 1999 f", kMidJune2025), "9/12/24 00:00");
}

TEST(RemoteListingParse, NoSpaceAfterTheSizeFieldMakesItTheName)
{
    // The name shows without size and date; the type letter still decides the kind.
    EXPECT_EQ(parse("-rw-r--r-- 1 user group lonely.txt"), "lonely.txt|2|||1|-rw-r--r--");
    EXPECT_EQ(parse("drwxr-xr-x 1 user group dir"), "dir|1|||0|drwxr-xr-x");
}

TEST(RemoteListingParse, NoSpaceAfterTheSizeIsMalformed)
{
    EXPECT_EQ(parse("-rw-r--r-- 1 user group 512 Jan"), "malformed");
    EXPECT_EQ(parse("-rw-r--r-- 1 user group 512 "), "malformed");
    // One space is enough for some entry, read from the wrong places.
    EXPECT_EQ(parse("-rw-r--r-- 1 user group 512 Jan 12"), "12|2|     1KB|/01/ 00:00|1|-rw-r--r--");
}

TEST(RemoteListingParse, NamesNoServerShouldSendDoNotBreakIt)
{
    ListingEntry e;
    const QString longName(10000, u'x');
    ASSERT_EQ(parse_listing_line(QStringLiteral("-rw-r--r-- 1 u g 5 Jan 12 12:34 ") + longName, kMidJune2025, e),
              LineResult::Entry);
    EXPECT_EQ(e.name, longName);
    // Bytes that are not UTF-8 arrive as replacement characters.
    const QString bad = codepage::to_text(QByteArray("-rw-r--r-- 1 u g 5 Jan 12 12:34 a\xff\xfe" "b.txt"), "UTF-8");
    ASSERT_EQ(parse_listing_line(bad, kMidJune2025, e), LineResult::Entry);
    const QChar replacement(0xFFFD);
    EXPECT_EQ(e.name, QStringLiteral("a") + replacement + replacement + QStringLiteral("b.txt"));
    // Characters outside the basic plane and short lines.
    EXPECT_EQ(parse(QStringLiteral("-rw-r--r-- 1 u g 5 Jan 12 12:34 😀.png")),
              (QStringLiteral("😀.png|2|     1KB|25/01/12 12:34|1|-rw-r--r--")).toStdString());
    EXPECT_EQ(parse("d 1 u g x"), "x|1|||0|d 1 u g x");
    EXPECT_EQ(parse("- 1 u g 5 J 1 1 n"), "n|2|     1KB|/J 1/01 00:00|1|- 1 u g 5 ");
}

TEST(RemoteListingParse, JapaneseNamesInBothCodePages)
{
    // "表示.txt" in CP932: the second byte of 表 is 0x5C, the backslash.
    const QByteArray cp932 = QByteArray("-rw-r--r-- 1 user group 1500 Jan 12 12:34 ")
        + QByteArray("\x95\x5c\x8e\xa6.txt") + " \xb6\xc5";
    ListingEntry e;
    ASSERT_EQ(parse_listing_line(codepage::to_text(cp932, "CP932"), kMidJune2025, e), LineResult::Entry);
    EXPECT_EQ(e.name, QStringLiteral("表示.txt ｶﾅ"));
    EXPECT_EQ(e.sizeText, QStringLiteral("     1KB"));

    const QByteArray utf8 = QStringLiteral("drwxr-xr-x 2 ユーザー グループ 512 Jan 12 12:34 資料 フォルダ").toUtf8();
    ASSERT_EQ(parse_listing_line(codepage::to_text(utf8, "UTF-8"), kMidJune2025, e), LineResult::Entry);
    EXPECT_EQ(e.name, QStringLiteral("資料 フォルダ"));
    EXPECT_EQ(e.icon, 1);
}

// The lines ListingLines gives for bytes read in blocks of `block` bytes.
QStringList lines_read(const QByteArray& bytes, qsizetype block, qsizetype maxLine)
{
    QBuffer file;
    file.setData(bytes);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    ListingLines reader(file, "UTF-8", block, maxLine);
    QStringList out;
    QStringView line;
    while (reader.next(line))
        out << line.toString();
    return out;
}

TEST(RemoteListingParse, LineEndsAndLongLinesInAnyBlocks)
{
    const struct {
        const char* bytes;
        qsizetype maxLine;
        QStringList expected;
    } cases[] = {
        {"a\r\nb\rc\nd", 100, {"a", "b", "c", "d"}},
        {"a\r\n", 100, {"a"}},
        {"a\r", 100, {"a"}},
        {"a\n\nb\r\n\r\nc", 100, {"a", "", "b", "", "c"}},
        // LF CR is two line ends.
        {"a\n\rb", 100, {"a", "", "b"}},
        {"", 100, {}},
        {"\r\n", 100, {""}},
        // Long lines are cut, whatever ends them and wherever a block ends.
        {"abcdef\r\nxy\rlonger\nabcd\r\nz", 3, {"abc", "xy", "lon", "abc", "z"}},
        {"abcdefgh\rij\r\n", 3, {"abc", "ij"}},
        {"abcdefgh", 3, {"abc"}},
        {"abc\r\r\n", 3, {"abc", ""}},
        // A character cut off by the end of the file shows as a bad one.
        {"ok\n\xe3", 100, {"ok", QString(QChar(0xFFFD))}},
    };
    for (const auto& c : cases) {
        for (const qsizetype block : {qsizetype(1), qsizetype(2), qsizetype(3), qsizetype(5), ListingLines::DefaultBlock})
            EXPECT_EQ(lines_read(QByteArray(c.bytes), block, c.maxLine), c.expected)
                << c.bytes << " in blocks of " << block;
        EXPECT_EQ(split_listing_lines(QString::fromUtf8(c.bytes), c.maxLine), c.expected) << c.bytes;
    }
}

// ---- the remote list in the main window ----------------------------------

class RemoteList : public ::testing::Test {
protected:
    void SetUp() override
    {
        QFile list(program_folder::file(QStringLiteral("server.lst")));
        ASSERT_TRUE(list.open(QIODevice::WriteOnly));
        app_clock::set_fixed(QDateTime(kMidJune2025, QTime(12, 0)));
        w = std::make_unique<form1>();
        w->Form_Load();
        w->show();
        w->サーバーパス = QStringLiteral("/pub");
    }
    void TearDown() override { app_clock::clear_fixed(); }

    void writeListing(const QByteArray& bytes)
    {
        QFile f(program_folder::file(QStringLiteral("temp.s")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }
    QStringList names() const
    {
        QStringList out;
        for (int i = 0; i < w->ListView1->count(); ++i)
            out << w->ListView1->text(i);
        return out;
    }
    int row(const QString& name) const { return int(names().indexOf(name)); }
    // Lists the listing file and waits for the list to be complete.
    void list()
    {
        w->Remote_list();
        ASSERT_TRUE(wait_until([&] { return !w->remoteListJob_; }));
    }
    // Current but not selected, as a fresh list should be.
    void expectFirstRowCurrentOnly() const
    {
        EXPECT_EQ(w->ListView1->currentRow(), 0);
        EXPECT_TRUE(w->ListView1->selectedRows().isEmpty());
    }

    TestEnv env;
    PromptScript prompts;
    std::unique_ptr<form1> w;
};

const QByteArray kMixedListing =
    "total 48\r\n"
    "-rw-r--r-- 1 user group 2000 Dec 24  1999 b.txt\r\n"
    "drwxr-xr-x 2 user group 512 Jan 12 12:34 src\r\n"
    "drwxr-xr-x 2 user group 512 Jun 14 12:34 .\r\n"
    "drwxr-xr-x 9 user group 512 Jun 14 12:34 ..\r\n"
    "-rw-r--r-- 1 user group 0 Jul  1 08:00 A.txt\r\n"
    "lrwxrwxrwx 1 user group 11 Jan  5 10:00 www -> /var/www\r\n"
    "drwxr-xr-x 2 user group 512 Feb  3  2020 Archive\r\n"
    "\r\n"
    "-rw-r--r-- 1 user group 1234567890 Mar  3 09:05 c.iso\r\n";

TEST_F(RemoteList, FoldersAndLinksFirstThenFilesEachByName)
{
    writeListing(kMixedListing);
    mouse_pointer::set(mouse_pointer::Hourglass);
    list();
    EXPECT_EQ(names(), (QStringList{"Archive", "src", "www", "A.txt", "b.txt", "c.iso"}));
    ListView* l = w->ListView1;
    const int a = row(QStringLiteral("A.txt"));
    EXPECT_EQ(l->smallIcon(a), 2);
    EXPECT_EQ(l->subItem(a, 1), QStringLiteral("      0B"));
    // July lies after mid-June: last year.
    EXPECT_EQ(l->subItem(a, 2), QStringLiteral("24/07/01 08:00"));
    EXPECT_EQ(l->subItem(a, 3), QStringLiteral("1"));
    EXPECT_EQ(l->subItem(a, 4), QStringLiteral("-rw-r--r--"));
    const int www = row(QStringLiteral("www"));
    EXPECT_EQ(l->smallIcon(www), 4);
    EXPECT_EQ(l->subItem(www, 1), QString());
    EXPECT_EQ(l->subItem(www, 2), QStringLiteral("25/01/05 10:00"));
    EXPECT_EQ(l->subItem(www, 3), QStringLiteral("0"));
    EXPECT_EQ(l->subItem(row(QStringLiteral("c.iso")), 1), QStringLiteral("1234567KB"));
    EXPECT_EQ(l->smallIcon(row(QStringLiteral("Archive"))), 1);

    expectFirstRowCurrentOnly();
    EXPECT_FALSE(l->isHidden());
    EXPECT_EQ(mouse_pointer::get(), int(mouse_pointer::Default));
    EXPECT_EQ(w->Label1->text(), QStringLiteral("ｻｰﾊﾞｰﾊﾟｽ: /pub"));
    EXPECT_TRUE(w->CDUP->isEnabled());
    EXPECT_EQ(l->sortKey(), 3);
    EXPECT_EQ(prompts.count(), 0);
}

TEST_F(RemoteList, DescendingDirectionPutsFilesFirstAndStays)
{
    writeListing(kMixedListing);
    w->ListView1->setSortOrder(Qt::DescendingOrder);
    list();
    EXPECT_EQ(names(), (QStringList{"c.iso", "b.txt", "A.txt", "www", "src", "Archive"}));
    EXPECT_EQ(w->ListView1->sortOrder(), Qt::DescendingOrder);
    expectFirstRowCurrentOnly();
}

TEST_F(RemoteList, RootDisablesGoingUpAndANewListingReplacesTheOld)
{
    writeListing(kMixedListing);
    list();
    w->ListView1->setCurrentRow(2, true);
    w->サーバーパス = QStringLiteral("/");
    writeListing("drwxr-xr-x 2 user group 512 Jan 12 12:34 home\n"
                 "-rw-r--r-- 1 user group 5 Jan 12 12:34 README\n");
    list();
    EXPECT_EQ(names(), (QStringList{"home", "README"}));
    EXPECT_FALSE(w->CDUP->isEnabled());
    EXPECT_EQ(w->Label1->text(), QStringLiteral("ｻｰﾊﾞｰﾊﾟｽ: /"));
    expectFirstRowCurrentOnly();

    // An empty listing file gives an empty list, without a message.
    writeListing(QByteArray());
    list();
    EXPECT_EQ(w->ListView1->count(), 0);
    EXPECT_EQ(w->ListView1->currentRow(), -1);
    EXPECT_EQ(prompts.count(), 0);
}

TEST_F(RemoteList, EveryKindOfLineEnd)
{
    writeListing("-rw-r--r-- 1 u g 5 Jan 12 12:34 crlf\r\n"
                 "-rw-r--r-- 1 u g 5 Jan 12 12:34 cr\r"
                 "-rw-r--r-- 1 u g 5 Jan 12 12:34 lf\n"
                 "-rw-r--r-- 1 u g 5 Jan 12 12:34 last");
    list();
    EXPECT_EQ(names(), (QStringList{"cr", "crlf", "last", "lf"}));
}

TEST_F(RemoteList, ALongLineAcrossAReadBlockLosesNothingAfterIt)
{
    // Lines of 64 bytes up to a long line that starts more than the longest
    // shown line before the end of the first block and ends after it.
    const QByteArray prefix = "-rw-r--r-- 1 u g 5 Jan 12 12:34 ";
    const int before = int((ListingLines::DefaultBlock - ListingLines::DefaultMaxLine - 100) / 64);
    QByteArray listing;
    for (int i = 0; i < before; ++i)
        listing += prefix + QByteArray::number(i).rightJustified(31, 'b') + '\n';
    listing += prefix + QByteArray(100000, 'x') + '\n';
    ASSERT_GT(listing.size(), ListingLines::DefaultBlock);
    const int after = 3000;
    for (int i = 0; i < after; ++i)
        listing += prefix + "a" + QByteArray::number(i) + "\r\n";
    writeListing(listing);
    list();
    EXPECT_EQ(w->ListView1->count(), before + 1 + after);
    EXPECT_GE(row(QStringLiteral("a0")), 0);
    EXPECT_GE(row(QStringLiteral("a2999")), 0);
    EXPECT_GE(row(QString(ListingLines::DefaultMaxLine - prefix.size(), u'x')), 0);
    EXPECT_EQ(prompts.count(), 0);
}

TEST_F(RemoteList, MalformedLinesAreToldOnceAndTheRestIsListed)
{
    writeListing("drwxr-xr-x 2 u g 512 Jan 12 12:34 before\n"
                 "lrwxrwxrwx 1 u g 5 Jan 12 12:34 broken\n"
                 "-rw-r--r-- 1 u g 512 Jan\n"
                 "-rw-r--r-- 1 u g 5 Jan 12 12:34 after.txt\n");
    prompts.expect(QStringLiteral("エラー番号5のエラーです。"));
    mouse_pointer::set(mouse_pointer::Hourglass);
    list();
    ASSERT_EQ(prompts.count(), 1);
    EXPECT_EQ(prompts.seen().at(0).text, QStringLiteral("エラー番号5のエラーです。"));
    EXPECT_EQ(prompts.seen().at(0).title, QStringLiteral("エラー"));
    EXPECT_EQ(prompts.seen().at(0).icon, int(prompts::vbInformation));
    EXPECT_EQ(names(), (QStringList{"before", "after.txt"}));
    EXPECT_FALSE(w->ListView1->isHidden());
    EXPECT_EQ(mouse_pointer::get(), int(mouse_pointer::Default));
    expectFirstRowCurrentOnly();
}

TEST_F(RemoteList, ALineWithoutSizeAndDateTakesNothingFromTheLineBefore)
{
    writeListing("-rw-r--r-- 1 u g 5000 Jan 12 12:34 a.txt\n"
                 "-rw-r--r-- 1 u g b.txt\n");
    list();
    const int b = row(QStringLiteral("b.txt"));
    ASSERT_GE(b, 0);
    EXPECT_EQ(w->ListView1->subItem(b, 1), QString());
    EXPECT_EQ(w->ListView1->subItem(b, 2), QString());
    EXPECT_EQ(w->ListView1->subItem(b, 3), QStringLiteral("1"));
    EXPECT_EQ(w->ListView1->subItem(row(QStringLiteral("a.txt")), 1), QStringLiteral("     5KB"));
}

TEST_F(RemoteList, TheYearRuleFollowsTheClock)
{
    app_clock::set_fixed(QDateTime(QDate(1998, 1, 4), QTime(9, 0)));
    writeListing("-rw-r--r-- 1 u g 5 Jan  5 10:00 next_day\n"
                 "-rw-r--r-- 1 u g 5 Jan  4 10:00 today\n");
    list();
    EXPECT_EQ(w->ListView1->subItem(row(QStringLiteral("next_day")), 2), QStringLiteral("97/01/05 10:00"));
    EXPECT_EQ(w->ListView1->subItem(row(QStringLiteral("today")), 2), QStringLiteral("98/01/04 10:00"));

    app_clock::set_fixed(QDateTime(QDate(2000, 3, 1), QTime(9, 0)));
    writeListing("-rw-r--r-- 1 u g 5 Mar  2 10:00 next_day\n"
                 "-rw-r--r-- 1 u g 5 Mar  1 10:00 today\n");
    list();
    EXPECT_EQ(w->ListView1->subItem(row(QStringLiteral("next_day")), 2), QStringLiteral("99/03/02 10:00"));
    EXPECT_EQ(w->ListView1->subItem(row(QStringLiteral("today")), 2), QStringLiteral("00/03/01 10:00"));
}

TEST_F(RemoteList, JapaneseNamesInTheSystemCodePage)
{
    const QString listing = QStringLiteral("drwxr-xr-x 2 u g 512 Jan 12 12:34 資料\r\n"
                                           "-rw-r--r-- 1 u g 5 Jan 12 12:34 ｻｰﾊﾞｰ 一覧.txt\r\n"
                                           "-rw-r--r-- 1 u g 5 Jan 12 12:34 a/b\r\n");
    writeListing(codepage::from_text(listing));
    list();
    EXPECT_EQ(names(), (QStringList{"資料", "ｻｰﾊﾞｰ 一覧.txt"}));
}

TEST_F(RemoteList, AMissingOrUnreadableListingFileIsToldAndTheListStays)
{
    w->サーバーパス = QStringLiteral("/");
    QFile::remove(program_folder::file(QStringLiteral("temp.s")));
    prompts.expect(QStringLiteral("サポートされていないリストタイプの為表示出来ません"));
    prompts.expect(QStringLiteral("エラー番号75のエラーです。"));
    w->ListView1->addItem(QStringLiteral("stale"), 2, {QString(), QString(), QStringLiteral("1"), QString()});
    mouse_pointer::set(mouse_pointer::Hourglass);
    list();
    EXPECT_TRUE(prompts.allUsed());
    ASSERT_EQ(prompts.count(), 2);
    EXPECT_EQ(prompts.seen().at(0).title, QStringLiteral("リストタイプエラー"));
    EXPECT_EQ(prompts.seen().at(0).icon, int(prompts::vbInformation));
    EXPECT_EQ(prompts.seen().at(1).title, QStringLiteral("エラー"));
    EXPECT_EQ(prompts.seen().at(1).icon, int(prompts::vbInformation));
    EXPECT_EQ(w->ListView1->count(), 0);
    EXPECT_FALSE(w->ListView1->isHidden());
    EXPECT_FALSE(w->CDUP->isEnabled());
    EXPECT_EQ(w->Label1->text(), QStringLiteral("ｻｰﾊﾞｰﾊﾟｽ: /"));
    EXPECT_EQ(mouse_pointer::get(), int(mouse_pointer::Default));

    // A folder in place of the file is just as unreadable.
    ASSERT_TRUE(QDir().mkpath(program_folder::file(QStringLiteral("temp.s"))));
    prompts.expect(QStringLiteral("サポートされていないリストタイプの為表示出来ません"));
    prompts.expect(QStringLiteral("エラー番号75のエラーです。"));
    list();
    EXPECT_TRUE(prompts.allUsed());
    EXPECT_EQ(prompts.count(), 4);
}

// A long listing is parsed and sorted over many turns of the event loop: its
// operation lasts until the list is complete, and an abort in between stops
// the work and leaves an empty list on screen.
TEST_F(RemoteList, ALongListingEndsItsOperationOnlyOnceSortedAndStopsWhenAborted)
{
    constexpr int lines = 100000;
    QByteArray listing;
    for (int i = lines - 1; i >= 0; --i)
        listing += listing_line(i % 10 == 0 ? 'd' : '-', i, "e" + QByteArray::number(i).rightJustified(6, '0'));
    writeListing(listing);
    for (const bool abort : {false, true}) {
        w->beginOperation(form1::Operation::Listing);
        w->Remote_list();
        ASSERT_TRUE(w->remoteListJob_) << "done in one go";
        if (abort)
            w->endOperation();
        bool endedEarly = false;
        ASSERT_TRUE(wait_until([&] {
            endedEarly = endedEarly || (w->remoteListJob_ && (!w->busy() || w->ListView1->count() != 0));
            return !w->remoteListJob_;
        }, 120000));
        EXPECT_EQ(endedEarly, abort);
        EXPECT_FALSE(w->busy());
        EXPECT_FALSE(w->ListView1->isHidden());
        if (abort) {
            EXPECT_EQ(w->ListView1->count(), 0);
            EXPECT_EQ(w->ListView1->stagedCount(), 0);
            continue;
        }
        ASSERT_EQ(w->ListView1->count(), lines);
        EXPECT_EQ(w->ListView1->text(0), QStringLiteral("e000000"));
        EXPECT_EQ(w->ListView1->text(lines / 10), QStringLiteral("e000001"));
        EXPECT_EQ(w->ListView1->text(lines - 1), QStringLiteral("e099999"));
        expectFirstRowCurrentOnly();
    }
}

// A link whose name holds spaces is entered by its whole name.
using RemoteLinks = FtpFixture;

TEST_F(RemoteLinks, ALinkNamedWithSpacesIsEnteredByItsWholeName)
{
    FakeTree tree(server, {{QStringLiteral("/"), listing_line('l', 11, "a b -> my dir")},
                           {QStringLiteral("/a b"), listing_line('-', 1, "inside.txt")}});
    connectToFake();
    ASSERT_TRUE(wait_until([&] { return tree.listings() >= 1 && w->ListView1->count() > 0; }));
    EXPECT_EQ(list_names(w->ListView1), QStringList{QStringLiteral("a b")});
    w->ListView1->setCurrentRow(0, true);
    w->ListView1_DblClick();
    EXPECT_TRUE(server.waitForCommand(QStringLiteral("CWD a b")));
    ASSERT_TRUE(wait_until([&] { return list_names(w->ListView1) == QStringList{QStringLiteral("inside.txt")}; }));
    EXPECT_EQ(w->サーバーパス, QStringLiteral("/a b"));
}

} // namespace
