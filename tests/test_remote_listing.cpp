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
    case LineResult::Unreadable:
        return "unreadable";
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

// One row of a layout's table: a raw line and what the list shows of it,
// "name|icon|size|date" (the size without its padding), or "skipped" or
// "unreadable".
struct Row {
    const char* line;
    const char* expected;
};

std::string brief(const QString& line)
{
    ListingEntry e;
    switch (parse_listing_line(line, kMidJune2025, e)) {
    case LineResult::Entry:
        return (e.name + u'|' + QString::number(e.icon) + u'|' + e.sizeText.trimmed() + u'|' + e.dateText)
            .toStdString();
    case LineResult::Skipped:
        return "skipped";
    case LineResult::Unreadable:
        return "unreadable";
    }
    return "?";
}

void check_table(const std::initializer_list<Row>& rows)
{
    for (const Row& r : rows)
        EXPECT_EQ(brief(QString::fromUtf8(r.line)), r.expected) << r.line;
}

// Read on 2025-06-15: a date without a year after June 16 is of 2024.
TEST(RemoteListingParse, UnixLinesAreFoundByTheirDate)
{
    check_table({
        {"drwxr-xr-x 2 user group 512 Jan 12 12:34 src", "src|1||25/01/12 12:34"},
        {"-rw-r--r-- 1 user group 2000 Dec 24  1999 a.txt", "a.txt|2|2KB|99/12/24 00:00"},
        // No group column; an owner or group holding spaces; numeric ids.
        {"-rw-r-----. 1 grp 36 Apr 20 19:13 newfile.txt", "newfile.txt|2|1KB|25/04/20 19:13"},
        {"drwxrwxr-x 1 robertja Domain Users 0 Nov 10 17:25 c++", "c++|1||24/11/10 17:25"},
        {"-rw-r--r-- 1 1000 1000 5000 Jun 16 08:00 tomorrow", "tomorrow|2|5KB|25/06/16 08:00"},
        // A link count glued to the permissions, marks after them, set-id bits.
        {"drwxr-x---+1464 chrism chrism 41472 Feb 25 13:17 20090225", "20090225|1||25/02/25 13:17"},
        {"-rw-r--r--@ 1 u g 1500 Jun  1 08:00 mac", "mac|2|1KB|25/06/01 08:00"},
        {"-rwsr-sr-T 1 u g 1500 Jun  1 08:00 setid", "setid|2|1KB|25/06/01 08:00"},
        // Any letter case, one or two spaces, one-digit hours.
        {"-rw-r--r-- 1 u g 1500 mar 17 2025 lower", "lower|2|1KB|25/03/17 00:00"},
        {"-rw-r--r-- 1 u g 1500 Nov 24 2018 one space", "one space|2|1KB|18/11/24 00:00"},
        {"-rw-r--r-- 1 u g 1500 Jan 5 9:05 early", "early|2|1KB|25/01/05 09:05"},
        // ISO styles and numeric month-first forms.
        {"drwxr-xr-x 2 root root 4096 2026-12-07 11:59 dir with space", "dir with space|1||26/12/07 11:59"},
        {"-rw-r--r-- 1 u g 10 2026-12-07 11:59:30.123456789 +0900 full.iso", "full.iso|2|1KB|26/12/07 11:59"},
        {"-rw-r--r-- 1 u g 10 2019-05-01 old.iso", "old.iso|2|1KB|19/05/01 00:00"},
        {"-rw-r--r-- 1 u g 10 09-26 13:45 recent.iso", "recent.iso|2|1KB|24/09/26 13:45"},
        {"-rw-r--r-- 1 u g 10 3 29 03:26 numeric", "numeric|2|1KB|25/03/29 03:26"},
        {"-rw-r--r-- 1 1 12 2020 Jan 12 12:34 ids", "ids|2|2KB|25/01/12 12:34"},
        // Sizes up to 2^63, every digit kept.
        {"-rw-r--r-- 1 u g 9223372036854775807 Jan  1  2020 huge", "huge|2|9223372036854775KB|20/01/01 00:00"},
        // A folder written with a trailing "/"; names keep their spaces.
        {"drwxr-xr-x 2 u g 4096 Jan 12 12:34 Linux/", "Linux|1||25/01/12 12:34"},
        {"-rw-r--r-- 1 u g 10 Feb  1 10:00   lead  and trail  ", "  lead  and trail  |2|1KB|25/02/01 10:00"},
        {"-rw-r--r-- 1 u g 5 Jun  1 08:00 tab\there", "tab\there|2|1KB|25/06/01 08:00"},
        {"lrwxrwxrwx 1 user group 11 Jan  5 10:00 www -> /var/www", "www|4||25/01/05 10:00"},
        {"lrwxrwxrwx 1 user group 11 Jan  5 10:00 no target", "no target|4||25/01/05 10:00"},
        // A device's major and minor numbers stand where the size does.
        {"crw-r--r-- 1 root root 1, 3 Dec  7 03:58 null0", "null0|2||24/12/07 03:58"},
        {"brw-rw---- 1 root disk 259,1 Jan  5  2024 my disk", "my disk|2||24/01/05 00:00"},
        // A name that another layout could read keeps its Unix reading; the
        // first date of the line is the date.
        {"-rw-r--r-- 1 u g 5 Jan 12 12:34 type=file;size=1; x", "type=file;size=1; x|2|1KB|25/01/12 12:34"},
        {"-rw-r--r-- 1 u g 5 Jan 12 12:34 Feb  1 10:00 y", "Feb  1 10:00 y|2|1KB|25/01/12 12:34"},
        {"-rw-r--r-- 1 u g 5 Jan 12 12:34 05-26-95  10:57AM  12 z", "05-26-95  10:57AM  12 z|2|1KB|25/01/12 12:34"},
    });
}

TEST(RemoteListingParse, UnixLinesInOtherLocales)
{
    check_table({
        {"drwxr-xr-x 2 user group 4096 12月  7 10:00 資料", "資料|1||24/12/07 10:00"},
        {"-rw-r--r-- 1 user group 1500 7月 31  2019 古い.txt", "古い.txt|2|1KB|19/07/31 00:00"},
        {"-rw-r--r-- 1 user group 1500 11月 6日 14:21 a", "a|2|1KB|24/11/06 14:21"},
        {"-rw-r--r-- 1 user group 1500 11月 6日 14時21分 b", "b|2|1KB|24/11/06 14:21"},
        {"-rw-r--r-- 1 user group 1500 11月12日 1996年 c", "c|2|1KB|96/11/12 00:00"},
        {"-rw-r--r-- 1 user group 1500  1月 12 12:34 中文", "中文|2|1KB|25/01/12 12:34"},
        {"-rw-r--r-- 1 user group 1500  1월 12 12:34 한국어", "한국어|2|1KB|25/01/12 12:34"},
        {"-rw-r--r-- 1 user group 1500 Okt 12 12:34 de1", "de1|2|1KB|24/10/12 12:34"},
        {"-rw-r--r-- 1 user group 1500 Dez  7  2020 de2", "de2|2|1KB|20/12/07 00:00"},
        {"-rw-r--r-- 1 user group 1500 Mär  3 10:00 de3", "de3|2|1KB|25/03/03 10:00"},
        {"-rw-r--r-- 1 user group 1500 26. Juli, 2010 de4", "de4|2|1KB|10/07/26 00:00"},
        {"-rw-r--r-- 1 user group 1500 26. Jul 14:38 de5", "de5|2|1KB|24/07/26 14:38"},
        {"-rw-r--r-- 1 user group 1500 déc.  7 10:00 fr", "fr|2|1KB|24/12/07 10:00"},
        {"-rw-r--r-- 1 user group 1500 szept 26 13:45 hu", "hu|2|1KB|24/09/26 13:45"},
        {"-rw-r--r-- 1 user group 1500 2019. szept. 12. 10:00 hu2", "hu2|2|1KB|19/09/12 10:00"},
        {"合計 8", "skipped"},
        {"total 8", "skipped"},
    });
}

TEST(RemoteListingParse, WindowsLines)
{
    check_table({
        {"05-26-95  10:57AM               143712 $LDR$", "$LDR$|2|143KB|95/05/26 10:57"},
        {"05-26-95  10:57AM   143712 $LDR$", "$LDR$|2|143KB|95/05/26 10:57"},
        {"09-13-10  01:08PM       <DIR>          My Documents", "My Documents|1||10/09/13 13:08"},
        {"09-13-10  13:08  <DIR>  My Documents", "My Documents|1||10/09/13 13:08"},
        {"11-02-18  14:12  <DIR>  images", "images|1||18/11/02 14:12"},
        {"12-01-2019  12:05AM  9,730 a b.txt", "a b.txt|2|9KB|19/12/01 00:05"},
        {"04-27-00  09:09PM  100 12345", "12345|2|1KB|00/04/27 21:09"},
        {"04-27-00  12:00PM  1 　全角", "　全角|2|1KB|00/04/27 12:00"},
        // At IIS's own column 39 a name's leading spaces are its own.
        {"04-27-00  09:09PM       <DIR>            lead", "  lead|1||00/04/27 21:09"},
    });
}

TEST(RemoteListingParse, MlsdLines)
{
    const InTokyoTime tokyo;
    check_table({
        // RFC 3659's own example lines.
        {"Type=file;Size=25730;Modify=19940728095854;Perm=; capmux.tar.z", "capmux.tar.z|2|25KB|94/07/28 18:58"},
        {"Type=cdir;Modify=19981107085215;Perm=el; tmp", "skipped"},
        {"Type=pdir;Modify=19990112030508;Perm=el; ..", "skipped"},
        // As pyftpdlib writes them; a name may hold spaces and ";".
        {"type=file;size=1234;modify=20261207115930;unix.mode=0644;unix.uid=0;unix.gid=0;unique=803g2; a file.txt",
         "a file.txt|2|1KB|26/12/07 20:59"},
        {"type=dir;modify=20261207150000;perm=flcdmpe; sub; dir", "sub; dir|1||26/12/08 00:00"},
        {"type=OS.unix=symlink;modify=20250101000000; link", "link|4||25/01/01 09:00"},
        {"type=OS.unix=slink:/etc;modify=20250101000000; etc", "etc|4||25/01/01 09:00"},
        {"type=file;size=0;modify=19991231235959.123; new year", "new year|2|0B|00/01/01 08:59"},
        {"type=file;size=10; no date", "no date|2|1KB|"},
        // MLST's full path is no entry of the folder.
        {"Type=file;Size=1024990;Perm=r; /tmp/cap60.pl198.tar.gz", "skipped"},
    });
    ListingEntry e;
    ASSERT_EQ(parse_listing_line(QStringLiteral("type=dir;unix.mode=2755;perm=el; d"), kMidJune2025, e), LineResult::Entry);
    EXPECT_EQ(e.attributes, QStringLiteral("drwxr-sr-x"));
    ASSERT_EQ(parse_listing_line(QStringLiteral("type=file;perm=adfrw; f"), kMidJune2025, e), LineResult::Entry);
    EXPECT_EQ(e.attributes, QStringLiteral("adfrw"));
}

TEST(RemoteListingParse, EplfLines)
{
    const InTokyoTime tokyo;
    check_table({
        {"+i8388621.48594,m825718503,r,s280,\tdjb.html", "djb.html|2|1KB|96/03/02 07:15"},
        {"+i8388621.50690,m824255907,/,\t514", "514|1||96/02/14 08:58"},
        {"+i1,s5,\tneither file nor folder", "unreadable"},
    });
}

TEST(RemoteListingParse, VmsLines)
{
    check_table({
        {"DATA.DIR;1  1/9  2-JUN-1998 07:32:04 [GROUP,OWNER] (RWED,RWED,RWED,)", "DATA|1||98/06/02 07:32"},
        {"FILE.TXT;2  3/9  12-JAN-2001 17:05:00.00 [GROUP,OWNER] (RWED,RWED,RE,)", "FILE.TXT;2|2|1KB|01/01/12 17:05"},
        {"Directory DISK$USER:[ME]", "skipped"},
        {"Total of 2 files, 4/18 blocks.", "skipped"},
    });
}

TEST(RemoteListingParse, Os2Lines)
{
    check_table({
        {"     0           DIR   12-30-97   12:32  jbrekke", "jbrekke|1||97/12/30 12:32"},
        {"  2345  A  04-06-97  15:28  README.TXT", "README.TXT|2|2KB|97/04/06 15:28"},
    });
}

TEST(RemoteListingParse, NetWareLines)
{
    check_table({
        {"d [R----F--] supervisor            512       Jan 16 18:53    login", "login|1||25/01/16 18:53"},
        {"- [R----F--] rhesus             214059       Oct 20 15:27    cx.exe", "cx.exe|2|214KB|24/10/20 15:27"},
    });
}

TEST(RemoteListingParse, As400Lines)
{
    check_table({
        {"PEP             4019 04/03/18 18:58:16 *STMF       bb.txt", "bb.txt|2|4KB|18/04/03 18:58"},
        {"QSYS           77824 02/23/00 15:09:55 *DIR       QOpenSys/", "QOpenSys|1||00/02/23 15:09"},
        {"PEP                                    *MEM       FILE1.MBR", "FILE1.MBR|2||"},
    });
}

TEST(RemoteListingParse, MvsLines)
{
    check_table({
        {"Volume Unit    Referred Ext Used Recfm Lrecl BlkSz Dsorg Dsname", "skipped"},
        {"WYOSPT 3420   2003/03/18  1   15  FB    80  6160  PO  WYOSPT.DATA", "WYOSPT.DATA|1||03/03/18 00:00"},
        {"SMS001 3390   2002/09/12  1   15  FB    80 27920  PS  USER.TEXT", "USER.TEXT|2||02/09/12 00:00"},
        {"Migrated                                                USER.OLD", "USER.OLD|2||"},
        {" Name     VV.MM   Created       Changed      Size  Init   Mod   Id", "skipped"},
        {"MEMBER1   01.03 2002/09/12 2002/09/12 11:39   100    96     0 USER", "MEMBER1|2||02/09/12 11:39"},
    });
}

TEST(RemoteListingParse, AVmsEntrySplitOverTwoLinesIsJoined)
{
    ListingParser parser(kMidJune2025);
    ListingEntry e;
    EXPECT_EQ(parser.parse(u"A_VERY_LONG_FILE_NAME.TXT;12", e), LineResult::Skipped);
    ASSERT_EQ(parser.parse(u"                    4/6  3-MAR-2020 10:00:00 [GROUP,OWNER] (RWED,RWED,,)", e),
              LineResult::Entry);
    EXPECT_EQ(show(e), "A_VERY_LONG_FILE_NAME.TXT;12|2|     2KB|20/03/03 10:00|1|(RWED,RWED,,)");
    // A held name that nothing completes is a line not read.
    EXPECT_EQ(parser.parse(u"LONELY.TXT;1", e), LineResult::Skipped);
    EXPECT_EQ(parser.parse(u"", e), LineResult::Unreadable);
}

TEST(RemoteListingParse, LinesThatGiveNoEntry)
{
    check_table({
        {"", "skipped"},
        {"          ", "skipped"},
        {"total 1234", "skipped"},
        {"drwxr-xr-x 2 user group 4096 Jan 12 12:34 .", "skipped"},
        {"drwxr-xr-x 2 user group 4096 Jan 12 12:34 ..", "skipped"},
        // A name with '/' does not come from a directory; a link's target may hold it.
        {"-rw-r--r-- 1 user group 5 Jan 12 12:34 ../../etc/passwd", "skipped"},
        {"lrwxrwxrwx 1 user group 5 Jan 12 12:34 up -> ../../x", "up|4||25/01/12 12:34"},
        // Lines no layout reads.
        {"garbage", "unreadable"},
        {"drwxr-xr-x 2 user group", "unreadable"},
        {"-rw-r--r-- 1 user group 512 Jan", "unreadable"},
        {"-rw-r--r-- 1 user group lonely.txt", "unreadable"},
        {"-rw-r--r-- 1 user group 5 Jan 12 12:34 ", "unreadable"},
        {"-rw-r--r-- 1 user group 5 Foo  1 09:00 f", "unreadable"},
        {"%RMS-E-PRV, insufficient privilege", "unreadable"},
    });
}

TEST(RemoteListingParse, TypeLettersAndAttributes)
{
    EXPECT_EQ(parse("Drwxr-xr-x 2 user group 512 Jan 12 12:34 big"), "big|1||25/01/12 12:34|0|Drwxr-xr-x");
    EXPECT_EQ(parse("Lrwxrwxrwx 1 user group 3 Jan 12 12:34 l -> t"), "l|4||25/01/12 12:34|0|Lrwxrwxrwx");
    EXPECT_EQ(parse("-rw-r--r--+ 1 user group 1000 Jun 15 08:00 acl.txt"),
              "acl.txt|2|     1KB|25/06/15 08:00|1|-rw-r--r--");
    // Everything else is a plain file, whatever the letter.
    for (const char* type : {"-", "c", "b", "p", "s"}) {
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
        {"a->b", "a->b|4||25/01/12 12:34|0|lrwxrwxrwx"},
        // A link named "." or nothing at all is no entry.
        {". -> x", "skipped"},
        {" -> x", "skipped"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parse(QStringLiteral("lrwxrwxrwx 1 user group 5 Jan 12 12:34 ") + QLatin1String(c.nameAndTarget)),
                  c.expected)
            << c.nameAndTarget;
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
    EXPECT_EQ(remote_size_text(std::numeric_limits<double>::infinity()), QStringLiteral("9223372036854774KB"));
    EXPECT_EQ(remote_size_text(std::numeric_limits<double>::quiet_NaN()), QStringLiteral("      0B"));

    const auto size_of = [](const QString& field) {
        ListingEntry e;
        const QString line = QStringLiteral("-rw-r--r-- 1 u g ") + field + QStringLiteral(" Jan 12 12:34 f");
        EXPECT_EQ(parse_listing_line(line, kMidJune2025, e), LineResult::Entry) << field.toStdString();
        return e.sizeText.toStdString();
    };
    EXPECT_EQ(size_of("0"), "      0B");
    EXPECT_EQ(size_of("999"), "     1KB");
    EXPECT_EQ(size_of("123456789"), "123456KB");
    EXPECT_EQ(size_of("9876543210"), "9876543KB");
    EXPECT_EQ(size_of("18446744073709551615"), "18446744073709551KB");
    // Beyond any 64-bit count: held at the largest.
    EXPECT_EQ(size_of(QString(400, u'9')), "18446744073709551KB");
}

TEST(RemoteListingParse, ADateWithoutYearIsLastYearsOnlyWhenMoreThanADayAhead)
{
    const struct {
        QDate today;
        const char* monthDay;
        const char* expected;
    } cases[] = {
        {QDate(1998, 1, 4), "Jan  4", "98/01/04 10:00"},
        {QDate(1998, 1, 4), "Jan  5", "98/01/05 10:00"},   // a server's clock a zone ahead
        {QDate(1998, 1, 4), "Jan 06", "97/01/06 10:00"},
        {QDate(1998, 1, 4), "Dec 31", "97/12/31 10:00"},
        {QDate(2000, 3, 1), "Mar  2", "00/03/02 10:00"},
        {QDate(2000, 3, 1), "Mar  3", "99/03/03 10:00"},
        {QDate(2000, 2, 28), "Feb 29", "00/02/29 10:00"},
        {QDate(2000, 2, 28), "Mar  1", "99/03/01 10:00"},
        // On the year's last day tomorrow is next year's: nothing is ahead.
        {QDate(2009, 12, 31), "Dec 31", "09/12/31 10:00"},
        {QDate(2009, 12, 31), "Jan  1", "09/01/01 10:00"},
        // Numbers are compared, not texts.
        {QDate(2025, 9, 29), "10月  1", "24/10/01 10:00"},
        {QDate(2025, 9, 30), "10月  1", "25/10/01 10:00"},
        {QDate(2025, 10, 1), "9月 30", "25/09/30 10:00"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(date_of(QStringLiteral("-rw-r--r-- 1 u g 1 ") + QString::fromUtf8(c.monthDay)
                              + QStringLiteral(" 10:00 f"),
                          c.today),
                  c.expected)
            << c.monthDay << " on " << c.today.toString(Qt::ISODate).toStdString();
    // A year in the line is taken as it stands.
    EXPECT_EQ(date_of("-rw-r--r-- 1 u g 1 Dec 24  2031 f", QDate(2000, 3, 1)), "31/12/24 00:00");
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
    EXPECT_EQ(parse(QStringLiteral("-rw-r--r-- 1 u g 5 Jan 12 12:34 😀.png")),
              (QStringLiteral("😀.png|2|     1KB|25/01/12 12:34|1|-rw-r--r--")).toStdString());
    // A line of more words than are split off still finds its date early.
    QString many = QStringLiteral("-rw-r--r-- 1 u g 5 Jan 12 12:34");
    for (int i = 0; i < 40; ++i)
        many += QStringLiteral(" w");
    ASSERT_EQ(parse_listing_line(many, kMidJune2025, e), LineResult::Entry);
    EXPECT_EQ(e.name.size(), 40 * 2 - 1);
}

TEST(RemoteListingParse, JapaneseTextsInBothCodePages)
{
    // "表示.txt" in CP932: the second byte of 表 is 0x5C, the backslash.
    const QByteArray cp932 = QByteArray("-rw-r--r-- 1 user group 1500 Jan 12 12:34 ")
        + QByteArray("\x95\x5c\x8e\xa6.txt") + " \xb6\xc5";
    ListingEntry e;
    ASSERT_EQ(parse_listing_line(codepage::to_text(cp932, "CP932"), kMidJune2025, e), LineResult::Entry);
    EXPECT_EQ(e.name, QStringLiteral("表示.txt ｶﾅ"));
    EXPECT_EQ(e.sizeText, QStringLiteral("     1KB"));

    // Month texts are read once decoded, whichever code page carried them.
    const QString line = QStringLiteral("drwxr-xr-x 2 ユーザー グループ 512 12月  7 10:00 資料 フォルダ");
    for (const char* cp : {"UTF-8", "CP932", "EUC-JP"}) {
        ASSERT_EQ(parse_listing_line(codepage::to_text(codepage::from_text(line, cp), cp), kMidJune2025, e),
                  LineResult::Entry)
            << cp;
        EXPECT_EQ(e.name, QStringLiteral("資料 フォルダ"));
        EXPECT_EQ(e.dateText, QStringLiteral("24/12/07 10:00"));
        EXPECT_EQ(e.icon, 1);
    }
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

TEST_F(RemoteList, UnreadLinesAreCountedInTheLogOnceAndTheRestIsListed)
{
    writeListing("drwxr-xr-x 2 u g 512 Jan 12 12:34 before\n"
                 "-rw-r--r-- 1 u g 512 Jan\n"
                 "garbage\n"
                 "05-26-95  10:57AM   143712 $LDR$\n"
                 "type=file;size=5;modify=20250101000000; mlsd.txt\n"
                 "-rw-r--r-- 1 u g 5 Jan 12 12:34 after.txt\n");
    mouse_pointer::set(mouse_pointer::Hourglass);
    list();
    EXPECT_EQ(prompts.count(), 0);
    EXPECT_EQ(names(), (QStringList{"before", "$LDR$", "after.txt", "mlsd.txt"}));
    EXPECT_EQ(w->Text1->text().count(QStringLiteral("一覧の 2 行を読めなかったため、表示していません。\r\n")), 1);
    EXPECT_FALSE(w->ListView1->isHidden());
    EXPECT_EQ(mouse_pointer::get(), int(mouse_pointer::Default));
    expectFirstRowCurrentOnly();

    // A listing read whole says nothing.
    writeListing(kMixedListing);
    list();
    EXPECT_EQ(w->Text1->text().count(QStringLiteral("行を読めなかった")), 1);
}

TEST_F(RemoteList, TheYearRuleFollowsTheClock)
{
    app_clock::set_fixed(QDateTime(QDate(1998, 1, 4), QTime(9, 0)));
    writeListing("-rw-r--r-- 1 u g 5 Jan  6 10:00 next_day\n"
                 "-rw-r--r-- 1 u g 5 Jan  4 10:00 today\n");
    list();
    EXPECT_EQ(w->ListView1->subItem(row(QStringLiteral("next_day")), 2), QStringLiteral("97/01/06 10:00"));
    EXPECT_EQ(w->ListView1->subItem(row(QStringLiteral("today")), 2), QStringLiteral("98/01/04 10:00"));

    app_clock::set_fixed(QDateTime(QDate(2000, 3, 1), QTime(9, 0)));
    writeListing("-rw-r--r-- 1 u g 5 Mar  3 10:00 next_day\n"
                 "-rw-r--r-- 1 u g 5 Mar  1 10:00 today\n");
    list();
    EXPECT_EQ(w->ListView1->subItem(row(QStringLiteral("next_day")), 2), QStringLiteral("99/03/03 10:00"));
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

namespace {

// Features of a server that lists with MLSD.
void offer_mlst(FakeFtpServer& server)
{
    server.onCommand(QStringLiteral("FEAT"), [](FakeFtpServer& s, const QString&) {
        s.reply("211-Features:\r\n MLST type*;size*;modify*;perm*;\r\n SIZE\r\n211 End\r\n");
    });
}

int count_of(const QStringList& commands, const QString& verb)
{
    int n = 0;
    for (const QString& c : commands)
        n += c.section(u' ', 0, 0).compare(verb, Qt::CaseInsensitive) == 0;
    return n;
}

} // namespace

using RemoteListingCommands = FtpFixture;

TEST_F(RemoteListingCommands, AServerThatListsMlstIsListedWithMlsd)
{
    FakeTree tree(server, {{QStringLiteral("/"), QByteArray()}});
    offer_mlst(server);
    server.onCommand(QStringLiteral("MLSD"), [](FakeFtpServer& s, const QString&) {
        s.reply("150 Here comes the listing.\r\n");
        if (!s.connectData())
            return;
        s.sendData("type=cdir;modify=20250101000000; /\r\n"
                   "type=dir;modify=20250101000000;unix.mode=0755; a folder\r\n"
                   "type=file;size=2000;modify=20250101000000;unix.mode=0600; b;c.txt\r\n");
        s.waitDataClosed();
        s.reply("226 Transfer complete.\r\n");
    });
    connectToFake();
    ASSERT_TRUE(wait_until([&] { return w->ListView1->count() == 2 && !w->busy(); }));
    EXPECT_EQ(list_names(w->ListView1), (QStringList{QStringLiteral("a folder"), QStringLiteral("b;c.txt")}));
    EXPECT_EQ(w->ListView1->subItem(1, 1), QStringLiteral("     2KB"));
    EXPECT_EQ(w->ListView1->subItem(1, 4), QStringLiteral("-rw-------"));
    EXPECT_EQ(count_of(server.commands(), QStringLiteral("LIST")), 0);
    EXPECT_TRUE(log().contains(QStringLiteral(">MLSD\r\n")));
    EXPECT_EQ(prompts.count(), 0);
}

TEST_F(RemoteListingCommands, AnMlsdRefusedGoesBackToListForTheRestOfTheConnection)
{
    FakeTree tree(server, {{QStringLiteral("/"), listing_line('d', 0, "sub")},
                           {QStringLiteral("/sub"), listing_line('-', 1, "in.txt")}});
    offer_mlst(server);
    // MLSD gets the server's answer to any command it does not know: 502.
    connectToFake();
    ASSERT_TRUE(wait_until([&] { return list_names(w->ListView1) == QStringList{QStringLiteral("sub")} && !w->busy(); }));
    w->ListView1->setCurrentRow(0, true);
    w->ListView1_DblClick();
    ASSERT_TRUE(wait_until([&] { return list_names(w->ListView1) == QStringList{QStringLiteral("in.txt")} && !w->busy(); }));
    const QStringList commands = server.commands();
    EXPECT_EQ(count_of(commands, QStringLiteral("MLSD")), 1);
    EXPECT_EQ(count_of(commands, QStringLiteral("LIST")), 2);
    EXPECT_LT(commands.indexOf(QStringLiteral("MLSD")), commands.indexOf(QStringLiteral("LIST")));
    EXPECT_EQ(prompts.count(), 0);
}

TEST_F(RemoteListingCommands, AShiftJisWindowsListingShows)
{
    const QString listing = QStringLiteral("05-26-95  10:57AM               143712 表示.txt\r\n"
                                           "09-13-10  01:08PM       <DIR>          マイ ドキュメント\r\n");
    FakeTree tree(server, {{QStringLiteral("/"), codepage::from_text(listing, "CP932")}});
    connectToFake();
    ASSERT_TRUE(wait_until([&] { return w->ListView1->count() == 2 && !w->busy(); }));
    EXPECT_EQ(list_names(w->ListView1), (QStringList{QStringLiteral("マイ ドキュメント"), QStringLiteral("表示.txt")}));
    EXPECT_EQ(w->ListView1->subItem(1, 2), QStringLiteral("95/05/26 10:57"));
    EXPECT_EQ(prompts.count(), 0);
}
