// The data connection's address in replies and commands, as servers write
// them and as hostile ones might.
#include <gtest/gtest.h>

#include "ftp/data_address.h"

namespace {

TEST(DataAddress, PassiveRepliesAreReadAsServersWriteThem)
{
    const struct {
        const char* reply;
        const char* host;   // nullptr: not usable
        int port;
    } cases[] = {
        {"227 Entering Passive Mode (127,0,0,1,195,80).\r\n", "127.0.0.1", 195 * 256 + 80},
        {"227 Entering Passive Mode 10,0,0,5,4,1\r\n", "10.0.0.5", 1025},
        {"227 =192, 168, 1, 2, 0, 21\r\n", "192.168.1.2", 21},
        {"227 Entering Passive Mode (127,0,0,1,0,0).\r\n", nullptr, 0},         // port 0
        {"227 Entering Passive Mode (127,0,0,1,273,16).\r\n", nullptr, 0},      // a byte over 255 (port 70000)
        {"227 Entering Passive Mode (127,0,0,1,195).\r\n", nullptr, 0},         // a number missing
        {"227 Entering Passive Mode (127,0,0,1,-1,80).\r\n", nullptr, 0},
        {"227 Entering Passive Mode (1270,0,0,1,1,1).\r\n", nullptr, 0},
        {"227 garbage\r\n", nullptr, 0},
    };
    for (const auto& c : cases) {
        const auto t = data_address::parse_227(QString::fromLatin1(c.reply));
        EXPECT_EQ(t.has_value(), c.host != nullptr) << c.reply;
        if (t && c.host) {
            EXPECT_EQ(t->host, QString::fromLatin1(c.host)) << c.reply;
            EXPECT_EQ(t->port, c.port) << c.reply;
        }
    }
}

TEST(DataAddress, ExtendedPassiveRepliesNameOnlyAPort)
{
    const struct {
        const char* reply;
        int port;   // 0: not usable
    } cases[] = {
        {"229 Entering Extended Passive Mode (|||6446|)\r\n", 6446},
        {"229 ok (!!!65535!)\r\n", 65535},
        {"229 Entering Extended Passive Mode (|||0|)\r\n", 0},
        {"229 Entering Extended Passive Mode (|||70000|)\r\n", 0},
        {"229 Entering Extended Passive Mode (|||6446)\r\n", 0},
        {"229 Entering Extended Passive Mode (||6446|)\r\n", 0},
        {"229 Entering Extended Passive Mode\r\n", 0},
    };
    for (const auto& c : cases) {
        const auto t = data_address::parse_229(QString::fromLatin1(c.reply));
        EXPECT_EQ(t ? t->port : 0, c.port) << c.reply;
        if (t) {
            EXPECT_TRUE(t->host.isEmpty());
        }
    }
}

TEST(DataAddress, AHugeReplyIsReadInBoundedTime)
{
    const QString huge = QStringLiteral("227 ") + QString(64 * 1024, u'1') + QStringLiteral(",2,3,4,5,6\r\n");
    EXPECT_FALSE(data_address::parse_227(huge).has_value());
    EXPECT_FALSE(data_address::parse_229(QStringLiteral("229 (") + QString(64 * 1024, u'|')).has_value());
}

TEST(DataAddress, EprtNamesTheFamily)
{
    EXPECT_EQ(data_address::eprt_line(QStringLiteral("::1"), 5282), QStringLiteral("EPRT |2|::1|5282|\r\n"));
    EXPECT_EQ(data_address::eprt_line(QStringLiteral("fe80::1%eth0"), 21), QStringLiteral("EPRT |2|fe80::1|21|\r\n"));
    EXPECT_EQ(data_address::eprt_line(QStringLiteral("127.0.0.1"), 21), QStringLiteral("EPRT |1|127.0.0.1|21|\r\n"));
    EXPECT_TRUE(data_address::eprt_line(QStringLiteral("::1\r\nDELE x"), 21).isEmpty());
    EXPECT_TRUE(data_address::eprt_line(QStringLiteral("::1"), 0).isEmpty());
}

} // namespace
