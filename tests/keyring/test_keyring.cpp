// Passwords in a real Secret Service. run_keyring_tests.sh runs each test in
// its own process, on its own session bus, with its own GNOME Keyring
// unlocked in a fresh home folder.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QLineEdit>
#include <QPushButton>

#include <qt6keychain/keychain.h>

#include "platform/list_view.h"
#include "servers/password_store.h"
#include "servers/quick_connect_dialog.h"
#include "servers/server_entry_editor.h"
#include "servers/settings_keys.h"
#include "tests/ftp_fixture.h"

namespace {

// What the Secret Service itself holds for an item of the program's
// service, asked with secret-tool past the program and its library
// (QtKeychain's items carry the service as "server" and the name as "user").
std::optional<QString> in_secret_service(const QString& name)
{
    QProcess tool;
    tool.start(QStringLiteral("secret-tool"),
               {QStringLiteral("lookup"), QStringLiteral("server"), QStringLiteral("palu_ftp"), QStringLiteral("user"), name});
    if (!tool.waitForFinished(10000) || tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0)
        return std::nullopt;
    return QString::fromUtf8(tool.readAllStandardOutput());
}

// Waits (bounded) for the keyring to hold expected for the item, nothing
// when nullopt: the program's keyring jobs run while the event loop turns.
bool keyring_holds(const QString& name, const std::optional<QString>& expected)
{
    return wait_until([&] { return in_secret_service(name) == expected; }, 10000);
}

void put_in_keyring(const QString& name, const QString& password)
{
    bool done = false;
    auto* job = new QKeychain::WritePasswordJob(QStringLiteral("palu_ftp"));
    job->setKey(name);
    job->setTextData(password);
    QObject::connect(job, &QKeychain::Job::finished, job, [&done, job] {
        EXPECT_EQ(job->error(), QKeychain::NoError) << job->errorString().toStdString();
        done = true;
    });
    job->start();
    ASSERT_TRUE(wait_until([&] { return done; }, 10000));
}

QByteArray settings_text()
{
    settings::flush();
    QFile f(settings::file_path());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

const QString NoKeyring = QStringLiteral("パスワードを保存できる鍵束がないため、設定ファイルに保存します。");

class Keyring : public FtpFixture {
protected:
    void startKeyring()
    {
        passwords::start_up([this](const QString& line) { logged << line; });
        ASSERT_TRUE(wait_until([] { return passwords::store() != passwords::Store::Probing; }, 10000));
        ASSERT_EQ(passwords::store(), passwords::Store::Keyring) << logged.join(u'|').toStdString();
    }
    bool inKeyring(const QString& section) const
    {
        return settings::get(section, keys::PassStore) == keys::PassStoreKeyring &&
               settings::get(section, keys::SPass, QStringLiteral("<absent>")).isEmpty();
    }
    void select(Form4* manager, const QString& name)
    {
        manager->Server_load();
        for (int i = 0; i < manager->ListView1->count(); ++i)
            if (manager->ListView1->text(i) == name)
                return manager->ListView1->setCurrentRow(i, true);
        ADD_FAILURE() << "not listed: " << name.toStdString();
    }
    // Saves the editor and waits for the keyring to take the password.
    void save(Form5* e)
    {
        e->Command1->click();
        ASSERT_TRUE(wait_until([e] { return !e->isVisible(); }, 10000));
    }
    QStringList logged;
};

} // namespace

TEST_F(Keyring, AnOldStoreMovesOnceAndTheEntryStillConnects)
{
    // "fake" holds its password in the file, as every entry did before; so
    // do quick connect and a section an old rename left behind.
    settings::save(keys::QuickPass, keys::QuickPass, QStringLiteral("quick pw"));
    settings::save(QStringLiteral("left behind"), keys::SPass, QStringLiteral("stale pw"));
    startKeyring();
    ASSERT_TRUE(wait_until([&] { return !logged.isEmpty(); }, 10000));
    EXPECT_EQ(logged, QStringList{QStringLiteral("設定ファイルにあったパスワード（3件）を鍵束に移しました。")});
    EXPECT_TRUE(keyring_holds(QStringLiteral("fake"), QStringLiteral("secret word")));
    EXPECT_TRUE(keyring_holds(passwords::quick_item(), QStringLiteral("quick pw")));
    EXPECT_TRUE(keyring_holds(QStringLiteral("left behind"), QStringLiteral("stale pw")));
    EXPECT_TRUE(inKeyring(QStringLiteral("fake")));
    EXPECT_EQ(settings::get(keys::QuickPass, keys::PassStore), keys::PassStoreKeyring);
    const QByteArray file = settings_text();
    for (const char* secret : {"secret word", "quick pw", "stale pw"})
        EXPECT_FALSE(file.contains(secret)) << secret << "\n" << file.toStdString();

    server.scriptLogin();
    connectToFake();
    EXPECT_TRUE(commandsUntil(QStringLiteral("PWD")).contains(QStringLiteral("PASS secret word"))) << log().toStdString();
}

TEST_F(Keyring, ConnectingWaitsForThePasswordWithoutHoldingTheWindow)
{
    record(keys::SPass, QString());
    record(keys::PassStore, keys::PassStoreKeyring);
    put_in_keyring(QStringLiteral("fake"), QStringLiteral("from the keyring"));
    startKeyring();
    server.scriptLogin();
    connectToFake();
    // Back at once: the password is still on its way.
    EXPECT_EQ(w->Winsock1->State(), Winsock::sckClosed);
    EXPECT_TRUE(commandsUntil(QStringLiteral("PWD")).contains(QStringLiteral("PASS from the keyring")));
    EXPECT_TRUE(logged.isEmpty()) << logged.join(u'|').toStdString();
}

TEST_F(Keyring, TheEditorAndQuickConnectOpenWithThePasswordOnceTheKeyringGivesIt)
{
    record(keys::SPass, QString());
    record(keys::PassStore, keys::PassStoreKeyring);
    settings::save(keys::QuickPass, keys::QuickPass, QString());
    settings::save(keys::QuickPass, keys::PassStore, keys::PassStoreKeyring);
    put_in_keyring(QStringLiteral("fake"), QStringLiteral("entry pw"));
    put_in_keyring(passwords::quick_item(), QStringLiteral("quick pw"));
    startKeyring();

    Form4* manager = w->serverList();
    select(manager, QStringLiteral("fake"));
    manager->Command4_Click();
    Form5* e = manager->editor();
    EXPECT_FALSE(e->isVisible());   // not with an empty password box
    ASSERT_TRUE(wait_until([e] { return e->isVisible(); }, 10000));
    EXPECT_EQ(e->Text4->text(), QStringLiteral("entry pw"));

    Form3 quick(w.get());
    EXPECT_FALSE(quick.Command1->isEnabled());
    EXPECT_TRUE(wait_until([&] { return quick.Command1->isEnabled(); }, 10000));
    EXPECT_EQ(quick.Text3->text(), QStringLiteral("quick pw"));
}

TEST_F(Keyring, SavingAndEditingKeepThePasswordOutOfTheFile)
{
    startKeyring();
    Form4* manager = w->serverList();
    manager->Command3_Click();
    Form5* e = manager->editor();
    e->Text1->setText(QStringLiteral("srv"));
    e->Text2->setText(QStringLiteral("127.0.0.1"));
    e->Text3->setText(QStringLiteral("bob"));
    e->Text4->setText(QStringLiteral("pw one"));
    save(e);
    EXPECT_TRUE(keyring_holds(QStringLiteral("srv"), QStringLiteral("pw one")));
    EXPECT_TRUE(inKeyring(QStringLiteral("srv")));

    select(manager, QStringLiteral("srv"));
    manager->Command4_Click();
    ASSERT_TRUE(wait_until([e] { return e->isVisible(); }, 10000));
    EXPECT_EQ(e->Text4->text(), QStringLiteral("pw one"));
    e->Text4->setText(QStringLiteral("pw two"));
    save(e);
    EXPECT_TRUE(keyring_holds(QStringLiteral("srv"), QStringLiteral("pw two")));
    EXPECT_TRUE(inKeyring(QStringLiteral("srv")));
    const QByteArray file = settings_text();
    EXPECT_FALSE(file.contains("pw one") || file.contains("pw two")) << file.toStdString();
}

TEST_F(Keyring, RenamingAndDeletingTakeTheKeyringItemAlong)
{
    startKeyring();
    ASSERT_TRUE(wait_until([&] { return inKeyring(QStringLiteral("fake")); }, 10000));
    Form4* manager = w->serverList();
    select(manager, QStringLiteral("fake"));
    manager->Command4_Click();
    Form5* e = manager->editor();
    ASSERT_TRUE(wait_until([e] { return e->isVisible(); }, 10000));
    EXPECT_EQ(e->Text4->text(), QStringLiteral("secret word"));
    e->Text1->setText(QStringLiteral("renamed"));
    save(e);
    EXPECT_TRUE(keyring_holds(QStringLiteral("renamed"), QStringLiteral("secret word")));
    EXPECT_TRUE(keyring_holds(QStringLiteral("fake"), std::nullopt));
    EXPECT_TRUE(inKeyring(QStringLiteral("renamed")));
    EXPECT_TRUE(settings::keys(QStringLiteral("fake")).isEmpty());

    select(manager, QStringLiteral("renamed"));
    prompts.expect(QStringLiteral("'renamed' の登録を削除します。"), prompts::vbOK);
    manager->Item_del_Click();
    EXPECT_TRUE(keyring_holds(QStringLiteral("renamed"), std::nullopt));
    EXPECT_TRUE(settings::keys(QStringLiteral("renamed")).isEmpty());
    EXPECT_FALSE(settings_text().contains("secret word"));
}

// Without a session bus nothing answers: the passwords stay where they were,
// in the file only its owner can read, and the log says so once.
TEST(KeyringAbsent, WithoutASessionBusPasswordsStayInThePrivateSettingsFile)
{
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/palu_ftp_bus");
    qunsetenv("DISPLAY");
    TestEnv env;
    settings::save(QStringLiteral("old"), keys::SPass, QStringLiteral("kept pw"));
    QStringList logged;
    passwords::start_up([&logged](const QString& line) { logged << line; });
    ASSERT_TRUE(wait_until([] { return passwords::store() != passwords::Store::Probing; }, 10000));
    EXPECT_EQ(passwords::store(), passwords::Store::SettingsFile);
    EXPECT_EQ(settings::get(QStringLiteral("old"), keys::SPass), QStringLiteral("kept pw"));

    QString failure = QStringLiteral("<not done>");
    QObject context;
    passwords::save(QStringLiteral("old"), QStringLiteral("new pw"), &context, [&failure](const QString& f) { failure = f; });
    EXPECT_TRUE(failure.isEmpty()) << failure.toStdString();
    std::optional<QString> read;
    passwords::read(QStringLiteral("old"), &context, [&read](const std::optional<QString>& p) { read = p; });
    EXPECT_EQ(read, QStringLiteral("new pw"));
    EXPECT_TRUE(settings_text().contains("new pw"));
    EXPECT_EQ(settings::get(QStringLiteral("old"), keys::PassStore, QStringLiteral("<absent>")), QStringLiteral("<absent>"));
    const QFile::Permissions mode = QFile::permissions(settings::file_path());
    EXPECT_TRUE(mode.testFlags(QFile::ReadOwner | QFile::WriteOwner));
    EXPECT_FALSE(mode & (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther));
    EXPECT_EQ(logged, QStringList{NoKeyring});
}

// A keyring that stays locked refuses the first writing: the passwords stay
// in the file, none is lost, and the log says so once.
TEST(KeyringLocked, PasswordsStayInTheFileWhenTheKeyringIsNotUnlocked)
{
    TestEnv env;
    settings::save(QStringLiteral("old"), keys::SPass, QStringLiteral("kept pw"));
    QStringList logged;
    passwords::start_up([&logged](const QString& line) { logged << line; });
    ASSERT_TRUE(wait_until([] { return passwords::store() == passwords::Store::SettingsFile; }, 30000));
    EXPECT_EQ(settings::get(QStringLiteral("old"), keys::SPass), QStringLiteral("kept pw"));
    EXPECT_EQ(settings::get(QStringLiteral("old"), keys::PassStore, QStringLiteral("<absent>")), QStringLiteral("<absent>"));
    EXPECT_TRUE(settings_text().contains("kept pw"));
    EXPECT_EQ(logged, QStringList{NoKeyring});
}
