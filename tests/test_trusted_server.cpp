// A certificate trusted always holds for the server it was trusted for.
#include <gtest/gtest.h>

#include "ftp/connection_profile.h"
#include "platform/settings_store.h"
#include "servers/settings_keys.h"
#include "tests/test_support.h"

namespace {
const QString Fp = QString(64, u'c');
}

TEST(TrustedServer, AFingerprintHoldsOnlyForTheHostAndPortItWasKeptFor)
{
    struct Case {
        const char* name;
        const char* keptFor;   // nullptr: kept before trust was tied to a server
        const char* host;
        int port;
        bool trusted;
    };
    for (const Case& c : {Case{"same server", "ftp.example.jp:2121", "ftp.example.jp", 2121, true},
                          Case{"address edited", "ftp.example.jp:2121", "ftp.other.jp", 2121, false},
                          Case{"port edited", "ftp.example.jp:2121", "ftp.example.jp", 21, false},
                          Case{"kept without its server", nullptr, "ftp.example.jp", 2121, false}}) {
        TestEnv env;
        settings::save(QStringLiteral("e"), keys::TlsFp, Fp);
        if (c.keptFor)
            settings::save(QStringLiteral("e"), keys::TlsFpServer, QString::fromUtf8(c.keptFor));
        const ConnectionProfile p = ConnectionProfile::ofEntry(QStringLiteral("e"), QString::fromUtf8(c.host), c.port);
        EXPECT_EQ(p.trustedFingerprint, c.trusted ? Fp : QString()) << c.name;
    }
}

TEST(TrustedServer, RememberingKeepsTheServerWithTheFingerprint)
{
    TestEnv env;
    ConnectionProfile entry = ConnectionProfile::ofEntry(QStringLiteral("e"), QStringLiteral("10.0.0.1"), 990);
    entry.rememberTrust(Fp);
    EXPECT_EQ(entry.trustedFingerprint, Fp);
    EXPECT_EQ(settings::get(QStringLiteral("e"), keys::TlsFp), Fp);
    EXPECT_EQ(ConnectionProfile::ofEntry(QStringLiteral("e"), QStringLiteral("10.0.0.1"), 990).trustedFingerprint, Fp);
    EXPECT_TRUE(ConnectionProfile::ofEntry(QStringLiteral("e"), QStringLiteral("10.0.0.2"), 990).trustedFingerprint.isEmpty());

    // Quick connections are kept by "host:port" already.
    ConnectionProfile quick = ConnectionProfile::ofQuickConnection(QStringLiteral("10.0.0.1"), 21);
    quick.rememberTrust(Fp);
    EXPECT_EQ(settings::get(keys::TlsTrust, QStringLiteral("10.0.0.1:21")), Fp);
    EXPECT_EQ(settings::keys(keys::TlsTrust), QStringList{QStringLiteral("10.0.0.1:21")});
    EXPECT_TRUE(ConnectionProfile::ofQuickConnection(QStringLiteral("10.0.0.2"), 21).trustedFingerprint.isEmpty());
}
