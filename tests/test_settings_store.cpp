// Settings store: user-given names must round-trip and stay apart, values
// must come back as written, and the file must be private.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>
#include <csignal>
#include <functional>
#include <sys/resource.h>

#include "platform/program_folder.h"
#include "platform/settings_store.h"
#include "tests/test_support.h"

namespace {

// Names real users give servers, plus the ones that break INI files.
const QStringList kAwkwardNames = {
    QStringLiteral("a/b"), QStringLiteral("a\\b"), QStringLiteral("a%2Fb"), QStringLiteral("a%5Cb"),
    QStringLiteral("/lead"), QStringLiteral("trail/"), QStringLiteral("a//b"), QStringLiteral("\\\\srv\\share"),
    QStringLiteral("k=v"), QStringLiteral("[x]"), QStringLiteral("]"), QStringLiteral(";c"), QStringLiteral("#c"),
    QStringLiteral("%"), QStringLiteral("%%"), QStringLiteral("100%"), QStringLiteral(" sp "), QStringLiteral(" "),
    QStringLiteral("ftp サーバー"), QStringLiteral("ｻｰﾊﾞｰ"), QStringLiteral(""), QStringLiteral("General"),
    QStringLiteral("general"), QStringLiteral("GENERAL"), QStringLiteral("%General"), QStringLiteral("a\"b"),
    QStringLiteral("a,b"), QStringLiteral("@Variant(x)"), QStringLiteral("tab\there"), QStringLiteral("絵文字😀"),
};

// Writes pending changes and makes the store read the file afresh, so a
// test sees what a later run of the program would see.
void reopen()
{
    settings::flush();
    const QByteArray dir = qgetenv("XDG_CONFIG_HOME");
    QTemporaryDir away;
    qputenv("XDG_CONFIG_HOME", away.path().toUtf8());
    settings::get(QStringLiteral("s"), QStringLiteral("k"));
    qputenv("XDG_CONFIG_HOME", dir);
}

} // namespace

TEST(SettingsStoreNames, EscapeRoundTripsAndIsInjective)
{
    QSet<QString> stored;
    for (const QString& n : kAwkwardNames) {
        const QString e = settings::escape_name(n);
        EXPECT_FALSE(e.isEmpty()) << n.toStdString();
        EXPECT_FALSE(e.contains(QLatin1Char('/')) || e.contains(QLatin1Char('\\'))) << n.toStdString();
        EXPECT_EQ(settings::unescape_name(e), n) << n.toStdString();
        stored.insert(e);
    }
    EXPECT_EQ(stored.size(), kAwkwardNames.size());
}

TEST(SettingsStoreNames, EverySectionAndKeyKeepsItsOwnValue)
{
    TestEnv env;
    for (const QString& s : kAwkwardNames)
        for (const QString& k : kAwkwardNames)
            settings::save(s, k, s + QStringLiteral("|") + k);
    reopen();

    for (const QString& s : kAwkwardNames) {
        QStringList got = settings::keys(s);
        got.sort();
        QStringList want = kAwkwardNames;
        want.sort();
        EXPECT_EQ(got, want) << "section " << s.toStdString();
        for (const QString& k : kAwkwardNames)
            EXPECT_EQ(settings::get(s, k), s + QStringLiteral("|") + k)
                << "section [" << s.toStdString() << "] key [" << k.toStdString() << "]";
    }
}

TEST(SettingsStoreNames, SlashBackslashAndEscapedFormAreThreeSections)
{
    TestEnv env;
    settings::save(QStringLiteral("a/b"), QStringLiteral("Host"), QStringLiteral("one"));
    settings::save(QStringLiteral("a\\b"), QStringLiteral("Host"), QStringLiteral("two"));
    settings::save(QStringLiteral("a%2Fb"), QStringLiteral("Host"), QStringLiteral("three"));
    // "a/b" must not have made a section "a" holding "b/Host".
    settings::save(QStringLiteral("a"), QStringLiteral("Host"), QStringLiteral("four"));
    reopen();

    settings::delete_section(QStringLiteral("a/b"));
    EXPECT_EQ(settings::get(QStringLiteral("a/b"), QStringLiteral("Host"), QStringLiteral("gone")),
              QStringLiteral("gone"));
    EXPECT_EQ(settings::get(QStringLiteral("a\\b"), QStringLiteral("Host")), QStringLiteral("two"));
    EXPECT_EQ(settings::get(QStringLiteral("a%2Fb"), QStringLiteral("Host")), QStringLiteral("three"));
    EXPECT_EQ(settings::get(QStringLiteral("a"), QStringLiteral("Host")), QStringLiteral("four"));
    EXPECT_EQ(settings::keys(QStringLiteral("a")), QStringList{QStringLiteral("Host")});

    // Deleting the parent-looking section leaves the rest alone too.
    settings::delete_section(QStringLiteral("a"));
    reopen();
    EXPECT_EQ(settings::get(QStringLiteral("a\\b"), QStringLiteral("Host")), QStringLiteral("two"));
    EXPECT_EQ(settings::get(QStringLiteral("a%2Fb"), QStringLiteral("Host")), QStringLiteral("three"));
    EXPECT_EQ(settings::get(QStringLiteral("a"), QStringLiteral("Host"), QStringLiteral("gone")),
              QStringLiteral("gone"));
    EXPECT_EQ(settings::get(QStringLiteral("a/b"), QStringLiteral("Host"), QStringLiteral("gone")),
              QStringLiteral("gone"));
}

TEST(SettingsStoreNames, KeyCannotReachIntoAnotherSection)
{
    TestEnv env;
    settings::save(QStringLiteral("srv"), QStringLiteral("x/Password"), QStringLiteral("p1"));
    settings::save(QStringLiteral("srv/x"), QStringLiteral("Password"), QStringLiteral("p2"));
    settings::save(QStringLiteral("srv]\n[x"), QStringLiteral("Password"), QStringLiteral("p3"));
    reopen();
    EXPECT_EQ(settings::get(QStringLiteral("srv"), QStringLiteral("x/Password")), QStringLiteral("p1"));
    EXPECT_EQ(settings::get(QStringLiteral("srv/x"), QStringLiteral("Password")), QStringLiteral("p2"));
    EXPECT_EQ(settings::get(QStringLiteral("x"), QStringLiteral("Password"), QStringLiteral("none")),
              QStringLiteral("none"));
    EXPECT_EQ(settings::keys(QStringLiteral("srv")), QStringList{QStringLiteral("x/Password")});
}

TEST(SettingsStoreValues, RoundTripThroughTheFile)
{
    const QStringList values = {
        QStringLiteral(""), QStringLiteral(" lead and trail "), QStringLiteral("a, b"), QStringLiteral("a,b,c"),
        QStringLiteral("@Variant(x)"), QStringLiteral("@"), QStringLiteral("\"quoted\""), QStringLiteral("'"),
        QStringLiteral("line1\r\nline2\n"), QStringLiteral("tab\tx"), QStringLiteral("c:\\home\\u\\"),
        QStringLiteral("日本語のパスワード"), QStringLiteral("ｻｰﾊﾞｰ"), QStringLiteral("; not a comment"),
        QStringLiteral("# nor this"), QStringLiteral("=x="), QStringLiteral("true"), QStringLiteral("0"),
        QStringLiteral("%41"), QStringLiteral("😀"),
    };
    TestEnv env;
    for (int i = 0; i < values.size(); ++i)
        settings::save(QStringLiteral("v"), QString::number(i), values[i]);
    reopen();

    for (int i = 0; i < values.size(); ++i)
        EXPECT_EQ(settings::get(QStringLiteral("v"), QString::number(i), QStringLiteral("DEFAULT")), values[i])
            << i;
}

TEST(SettingsStoreValues, MissingGivesDefaultAndEmptyIsNotMissing)
{
    TestEnv env;
    EXPECT_EQ(settings::get(QStringLiteral("none"), QStringLiteral("k"), QStringLiteral("def")),
              QStringLiteral("def"));
    EXPECT_TRUE(settings::get(QStringLiteral("none"), QStringLiteral("k")).isNull());
    settings::save(QStringLiteral("s"), QStringLiteral("k"), QStringLiteral("v"));
    EXPECT_EQ(settings::get(QStringLiteral("s"), QStringLiteral("other"), QStringLiteral("def")),
              QStringLiteral("def"));
    settings::save(QStringLiteral("s"), QStringLiteral("empty"), QString());
    reopen();
    EXPECT_EQ(settings::get(QStringLiteral("s"), QStringLiteral("empty"), QStringLiteral("def")), QString());
    EXPECT_TRUE(settings::keys(QStringLiteral("none")).isEmpty());
}

TEST(SettingsStoreValues, HandEditedListIsJoined)
{
    TestEnv env;
    const QString path = settings::file_path();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[Options]\nDirs=a, b\nPlain=just text\n");
    f.close();
    EXPECT_EQ(settings::get(QStringLiteral("Options"), QStringLiteral("Dirs")), QStringLiteral("a, b"));
    EXPECT_EQ(settings::get(QStringLiteral("Options"), QStringLiteral("Plain")), QStringLiteral("just text"));
}

TEST(SettingsStoreFile, PrivateFromTheStartAndAfterSaves)
{
    TestEnv env;
    const QString path = settings::file_path();
    EXPECT_EQ(path, env.config() + QStringLiteral("/PALU_FTP/PALU_FTP.ini"));
    const auto owner_rw = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser
        | QFileDevice::WriteUser;

    // Touching the store creates the file before any password is in it.
    settings::get(QStringLiteral("s"), QStringLiteral("k"));
    ASSERT_TRUE(QFileInfo::exists(path));
    EXPECT_EQ(QFileInfo(path).permissions(), owner_rw);

    settings::save(QStringLiteral("srv"), QStringLiteral("Password"), QStringLiteral("secret"));
    settings::flush();
    EXPECT_EQ(QFileInfo(path).permissions(), owner_rw);
    settings::save(QStringLiteral("srv"), QStringLiteral("Password"), QStringLiteral("secret2"));
    settings::flush();
    EXPECT_EQ(QFileInfo(path).permissions(), owner_rw);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().contains("secret2"));
}

TEST(SettingsStoreFile, ExistingWorldReadableFileIsTightened)
{
    TestEnv env;
    const QString path = settings::file_path();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[s]\nk=old\n");
    f.close();
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                | QFileDevice::ReadGroup | QFileDevice::ReadOther));
    EXPECT_EQ(settings::get(QStringLiteral("s"), QStringLiteral("k")), QStringLiteral("old"));
    EXPECT_FALSE(QFileInfo(path).permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther));
}

TEST(SettingsStoreFile, GarbageFileGivesDefaults)
{
    TestEnv env;
    const QString path = settings::file_path();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    QByteArray junk;
    for (int i = 0; i < 4096; ++i)
        junk += char((i * 7919 + 13) & 0xff);
    junk += "\n[unterminated\n=\n[]\n\\\\\\=\x00\xff\xfe";
    f.write(junk);
    f.close();
    EXPECT_EQ(settings::get(QStringLiteral("Options"), QStringLiteral("k"), QStringLiteral("def")),
              QStringLiteral("def"));
    settings::save(QStringLiteral("Options"), QStringLiteral("k"), QStringLiteral("v"));
    settings::flush();
    settings::keys(QStringLiteral("Options"));
}

TEST(SettingsStoreFile, UnreadablePlaceGivesDefaults)
{
    TestEnv env;
    // A folder where the file should be: nothing can be read or written.
    ASSERT_TRUE(QDir().mkpath(settings::file_path()));
    EXPECT_EQ(settings::get(QStringLiteral("s"), QStringLiteral("k"), QStringLiteral("def")),
              QStringLiteral("def"));
    settings::save(QStringLiteral("s"), QStringLiteral("k"), QStringLiteral("v"));
    settings::flush();
    EXPECT_TRUE(QFileInfo(settings::file_path()).isDir());
}

TEST(SettingsStoreFile, FollowsTheConfigFolderAndPersists)
{
    TestEnv env;
    const QString first = env.config();
    settings::save(QStringLiteral("s"), QStringLiteral("k"), QStringLiteral("first"));

    // Switching folders writes out what the first one had pending.
    QTemporaryDir other;
    qputenv("XDG_CONFIG_HOME", other.path().toUtf8());
    EXPECT_EQ(settings::file_path(), other.path() + QStringLiteral("/PALU_FTP/PALU_FTP.ini"));
    EXPECT_EQ(settings::get(QStringLiteral("s"), QStringLiteral("k"), QStringLiteral("none")),
              QStringLiteral("none"));
    settings::save(QStringLiteral("s"), QStringLiteral("k"), QStringLiteral("second"));
    settings::flush();

    QFile f(first + QStringLiteral("/PALU_FTP/PALU_FTP.ini"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().contains("first"));

    qputenv("XDG_CONFIG_HOME", first.toUtf8());
    EXPECT_EQ(settings::get(QStringLiteral("s"), QStringLiteral("k")), QStringLiteral("first"));
    qputenv("XDG_CONFIG_HOME", other.path().toUtf8());
    EXPECT_EQ(settings::get(QStringLiteral("s"), QStringLiteral("k")), QStringLiteral("second"));
    qputenv("XDG_CONFIG_HOME", first.toUtf8());
}

TEST(SettingsStoreFile, ManySavesAreWrittenOnceFromTheEventLoop)
{
    TestEnv env;
    for (int i = 0; i < 3000; ++i)
        settings::save(QStringLiteral("bulk"), QStringLiteral("k%1").arg(i), QString::number(i));
    // Not flushed: the store writes itself shortly after, from the event loop.
    const QString path = settings::file_path();
    EXPECT_TRUE(wait_until([&] {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) && f.readAll().contains("k2999=2999");
    }));
}

// A write that does not reach the file is reported with the file and the
// cause, stays in effect, and reaches the file once the cause is gone.
TEST(SettingsStoreFile, FailedWriteIsReportedAndWrittenOnceTheCauseIsGone)
{
    struct Case {
        const char* name;
        std::function<std::function<void()>()> block;   // gives the undo
        const char* why;
    };
    const auto folderInPlace = [] {
        const QString path = settings::file_path();
        QFile::remove(path);
        QDir().mkpath(path);
        return std::function<void()>([path] { QDir(path).removeRecursively(); });
    };
    const auto fileInPlaceOfTheFolder = [] {
        const QString dir = QFileInfo(settings::file_path()).absolutePath();
        QDir(dir).removeRecursively();
        QFile(dir).open(QIODevice::WriteOnly);
        return std::function<void()>([dir] { QFile::remove(dir); });
    };
    // A full disk, as far as this process can tell.
    const auto sizeLimit = [] {
        struct rlimit old {};
        getrlimit(RLIMIT_FSIZE, &old);
        const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = old;
        small.rlim_cur = 64;
        setrlimit(RLIMIT_FSIZE, &small);
        return std::function<void()>([old, oldHandler] {
            setrlimit(RLIMIT_FSIZE, &old);
            signal(SIGXFSZ, oldHandler);
        });
    };
    const Case cases[] = {
        {"folder in place of the file", folderInPlace, "同じ名前のフォルダがあります。"},
        {"file in place of the folder", fileInPlaceOfTheFolder, "」を作成できません。"},
        {"file size limit", sizeLimit, "書き込み中にエラーが発生しました。"},
    };
    for (const Case& c : cases) {
        TestEnv env;
        settings::save(QStringLiteral("s"), QStringLiteral("before"), QStringLiteral("1"));
        ASSERT_EQ(settings::commit(), QString()) << c.name;
        const auto undo = c.block();
        const QString value(200, u'v');
        settings::save(QStringLiteral("s"), QStringLiteral("k"), value);
        const QString failure = settings::commit();
        EXPECT_TRUE(failure.contains(QStringLiteral("設定ファイル「") + settings::file_path() +
                                     QStringLiteral("」に書き込めませんでした。")))
            << c.name << ": " << failure.toStdString();
        EXPECT_TRUE(failure.contains(QString::fromUtf8(c.why))) << c.name << ": " << failure.toStdString();
        EXPECT_EQ(settings::get(QStringLiteral("s"), QStringLiteral("k")), value) << c.name;
        // Still failing: said again.
        EXPECT_NE(settings::commit(), QString()) << c.name;
        undo();
        EXPECT_EQ(settings::commit(), QString()) << c.name;
        QFile f(settings::file_path());
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << c.name;
        EXPECT_TRUE(f.readAll().contains(value.toLatin1())) << c.name;
    }
}

TEST(ProgramFolder, FromEnvironmentAndCreated)
{
    TestEnv env;
    const QString home = env.home() + QStringLiteral("/sub/palu");
    qputenv("PALU_FTP_HOME", (home + QStringLiteral("/")).toUtf8());
    EXPECT_EQ(program_folder::path(), home);
    EXPECT_TRUE(QFileInfo(home).isDir());
    EXPECT_EQ(program_folder::file(QStringLiteral("server.lst")), home + QStringLiteral("/server.lst"));

    // Unset or empty: the XDG data folder.
    const QByteArray old_data = qgetenv("XDG_DATA_HOME");
    qputenv("PALU_FTP_HOME", QByteArray());
    qputenv("XDG_DATA_HOME", env.scratch().toUtf8());
    EXPECT_EQ(program_folder::path(), env.scratch() + QStringLiteral("/palu_ftp"));
    EXPECT_TRUE(QFileInfo(env.scratch() + QStringLiteral("/palu_ftp")).isDir());
    // Neither: under the home folder (a private one here, not the user's).
    const QByteArray old_home = qgetenv("HOME");
    qunsetenv("XDG_DATA_HOME");
    qputenv("HOME", (env.scratch() + QStringLiteral("/h")).toUtf8());
    EXPECT_EQ(program_folder::path(), env.scratch() + QStringLiteral("/h/.local/share/palu_ftp"));
    qputenv("HOME", old_home);
    if (old_data.isNull())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", old_data);
}
