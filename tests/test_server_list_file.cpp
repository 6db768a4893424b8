// server.lst: reading, appending and the two rewrites.
#include <gtest/gtest.h>

#include <QFile>
#include <csignal>
#include <sys/resource.h>

#include "platform/errors.h"
#include "platform/settings_store.h"
#include "servers/server_list_file.h"
#include "tests/test_support.h"

namespace {

QByteArray file_bytes()
{
    QFile f(server_list::path());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void put_file(const QByteArray& bytes)
{
    QFile f(server_list::path());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

TEST(ServerListFile, LinesEndAtCrLfLoneCrOrLoneLf)
{
    EXPECT_EQ(server_list::parse(""), QStringList());
    EXPECT_EQ(server_list::parse("a\r\n\r\n b \r\nc"), (QStringList{"a", "", " b ", "c"}));
    EXPECT_EQ(server_list::parse("a\rb\nc\r\n"), (QStringList{"a", "b", "c"}));
    EXPECT_EQ(server_list::serialize({"x", "", "サーバー"}), QByteArray("x\r\n\r\nサーバー\r\n"));
}

TEST(ServerListFile, AppendKeepsOrderDuplicatesAndJapanese)
{
    TestEnv env;
    put_file("");
    server_list::append(QStringLiteral("本社 サーバー"));
    server_list::append(QStringLiteral("dup  "));
    server_list::append(QStringLiteral("dup  "));
    EXPECT_EQ(server_list::read(), (QStringList{"本社 サーバー", "dup  ", "dup  "}));
    EXPECT_EQ(file_bytes(), QByteArray("本社 サーバー\r\ndup  \r\ndup  \r\n"));
}

TEST(ServerListFile, RenameReplacesEveryEqualLineAndKeepsBlankLines)
{
    TestEnv env;
    put_file("a\r\n\r\nb\r\na\r\nA\r\n");
    EXPECT_EQ(server_list::rename(QStringLiteral("a"), QStringLiteral("z")), (QStringList{"z", "", "b", "z", "A"}));
    EXPECT_EQ(file_bytes(), QByteArray("z\r\n\r\nb\r\nz\r\nA\r\n"));
}

TEST(ServerListFile, RemoveDropsTheFirstMatchAndBlankLinesAndTheSection)
{
    TestEnv env;
    put_file("a\r\n\r\nb\r\na\r\n");
    settings::save(QStringLiteral("a"), QStringLiteral("s_adress"), QStringLiteral("ftp.a"));
    settings::save(QStringLiteral("b"), QStringLiteral("s_adress"), QStringLiteral("ftp.b"));
    EXPECT_EQ(server_list::remove(QStringLiteral("a")), (QStringList{"b", "a"}));
    EXPECT_EQ(settings::get(QStringLiteral("a"), QStringLiteral("s_adress"), QStringLiteral("gone")),
              QStringLiteral("gone"));
    EXPECT_EQ(settings::get(QStringLiteral("b"), QStringLiteral("s_adress")), QStringLiteral("ftp.b"));
    EXPECT_EQ(file_bytes(), QByteArray("b\r\na\r\n"));
}

TEST(ServerListFile, RewritesHaveNoLineLimit)
{
    TestEnv env;
    QByteArray bytes;
    for (int i = 0; i < 60; ++i)
        bytes += "server" + QByteArray::number(i) + "\r\n";
    put_file(bytes);
    const QStringList lines = server_list::rename(QStringLiteral("server55"), QStringLiteral("renamed"));
    ASSERT_EQ(lines.size(), 60);
    EXPECT_EQ(lines.at(55), QStringLiteral("renamed"));
    EXPECT_EQ(server_list::remove(QStringLiteral("server59")).size(), 59);
    EXPECT_EQ(server_list::read().size(), 59);
}

TEST(ServerListFile, MissingFileIsAnErrorNamingIt)
{
    TestEnv env;
    QFile::remove(server_list::path());
    try {
        server_list::read();
        FAIL() << "no error";
    } catch (const errors::RunError& e) {
        EXPECT_EQ(e.number(), errors::FileNotFound);
        EXPECT_TRUE(e.description().contains(server_list::path()));
    }
}

TEST(ServerListFile, AFailedRewriteLeavesTheOldFileIntact)
{
    TestEnv env;
    put_file("keep\r\nme\r\n");
    // A full disk, simulated by a file-size limit that the new text exceeds.
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 64;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool failed = false;
    try {
        server_list::rename(QStringLiteral("keep"), QString(200, u'x'));
    } catch (const errors::RunError& e) {
        failed = true;
        EXPECT_TRUE(e.description().contains(server_list::path()));
    }
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(failed);
    EXPECT_EQ(file_bytes(), QByteArray("keep\r\nme\r\n"));
}

} // namespace
