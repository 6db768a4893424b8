// The address forms quick connect takes, and the ones it refuses.
#include <gtest/gtest.h>

#include "servers/quick_address.h"

namespace {

struct Case {
    const char* typed;
    const char* host;   // nullptr: refused
    int port;
    const char* user = "";
    const char* password = "";
    const char* folder = "";
};

class QuickAddressForms : public ::testing::TestWithParam<Case> {};

TEST_P(QuickAddressForms, ReadsOrRefuses)
{
    const Case& c = GetParam();
    const QuickAddress a = parse_quick_address(QString::fromUtf8(c.typed));
    if (!c.host) {
        EXPECT_FALSE(a.error.isEmpty()) << c.typed;
        return;
    }
    EXPECT_EQ(a.error, QString()) << c.typed;
    EXPECT_EQ(a.host, QString::fromUtf8(c.host));
    EXPECT_EQ(a.port, c.port);
    EXPECT_EQ(a.user, QString::fromUtf8(c.user));
    EXPECT_EQ(a.password, QString::fromUtf8(c.password));
    EXPECT_EQ(a.startFolder, QString::fromUtf8(c.folder));
}

INSTANTIATE_TEST_SUITE_P(
    All, QuickAddressForms,
    ::testing::Values(Case{"ftp.example.jp", "ftp.example.jp", 21}, Case{" 127.0.0.1:2124 ", "127.0.0.1", 2124},
                      Case{"[::1]:2121", "::1", 2121}, Case{"[2001:db8::1]", "2001:db8::1", 21},
                      Case{"2001:db8::1", "2001:db8::1", 21}, Case{"localhost:65535", "localhost", 65535},
                      Case{"ftp://ftp.example.jp", "ftp.example.jp", 21},
                      Case{"FTP://alice@host:2100/pub/日本語", "host", 2100, "alice", "", "/pub/日本語"},
                      Case{"ftp://bob:p%40ss%3Aw@[::1]:21/a%20b/", "::1", 21, "bob", "p@ss:w", "/a b/"},
                      // refused: ports out of range or not numbers, malformed addresses
                      Case{"host:0", nullptr, 0}, Case{"host:65536", nullptr, 0}, Case{"host:", nullptr, 0},
                      Case{"host:21x", nullptr, 0}, Case{"[::1]:99999", nullptr, 0},
                      Case{"ftp://host:70000/", nullptr, 0}, Case{"[::1", nullptr, 0},
                      Case{"[127.0.0.1]:21", nullptr, 0}, Case{"1:2:zz", nullptr, 0},
                      Case{"ho st", nullptr, 0}, Case{"", nullptr, 0}, Case{"ftp://", nullptr, 0},
                      Case{"user@host", nullptr, 0}, Case{"ftp://host/?x=1", nullptr, 0}));

} // namespace
