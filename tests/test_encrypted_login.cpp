// The log-in as one operation on an entry that requires TLS: the user acting
// while it runs, and 中断 at each of its stages. Nothing of the user's goes
// out in clear, and the next connection starts clean.
#include <QTemporaryDir>

#include "platform/list_view.h"
#include "servers/settings_keys.h"
#include "tests/fake_tree.h"
#include "tests/ftp_fixture.h"
#include "tests/test_certificate.h"

namespace {

class EncryptedLogin : public FtpFixture {
protected:
    void SetUp() override
    {
        FtpFixture::SetUp();
        ASSERT_NO_FATAL_FAILURE(presentTestCertificate());
        tree = std::make_unique<FakeTree>(server, QMap<QString, QByteArray>{
                                                      {"/", listing_line('-', 5, "a.txt") + listing_line('d', 0, "sub")}});
        answer(QStringLiteral("AUTH"), [](FakeFtpServer& s) { s.startTls(); });
        answer(QStringLiteral("PBSZ"), [](FakeFtpServer& s) { s.replyLine("200 PBSZ=0"); });
        answer(QStringLiteral("PROT"), [](FakeFtpServer& s) { s.replyLine("200 PROT now Private"); });
        record(keys::Tls, keys::TlsRequired);
        record(keys::TlsFp, cert.fingerprint);
    }
    void answer(const QString& verb, std::function<void(FakeFtpServer&)> reply)
    {
        server.onCommand(verb, [reply](FakeFtpServer& s, const QString&) { reply(s); });
    }
    // The command arrives and is left unanswered; then 中断.
    void abortAt(const QString& verb)
    {
        answer(verb, [](FakeFtpServer&) {});
        connectToFake();
        ASSERT_TRUE(server.waitForCommand(verb));
        const qsizetype sent = server.commands().size();
        w->Mabore_Click();
        EXPECT_TRUE(wait_until([&] { return !server.controlConnected() && !w->busy(); }));
        EXPECT_EQ(server.commands().size(), sent) << server.commands().join(u'|').toStdString();
        EXPECT_FALSE(w->controlShown_);
    }
    // A fresh connection logs in over TLS and lists the start folder.
    void expectCleanSession()
    {
        server.clearCommands();
        connectToFake();
        ASSERT_TRUE(wait_until([&] { return w->ListView1->count() == 2 && !w->busy(); })) << log().toStdString();
        EXPECT_EQ(commandsUntil(QStringLiteral("LIST")),
                  (QStringList{"AUTH TLS", "USER alice", "PASS secret word", "PBSZ 0", "PROT P", "FEAT", "PWD",
                               "TYPE A", server.commands().value(8), "LIST"}));
        EXPECT_TRUE(server.clearAfterAuth().isEmpty()) << server.clearAfterAuth().join(u'\n').toStdString();
    }

    std::unique_ptr<FakeTree> tree;
};

TEST_F(EncryptedLogin, RunsUntilTheStartFolderIsListed)
{
    QStringList seen;
    // What the user could start while each step is on its way.
    const auto note = [&](const QString& step) {
        if (!w->busy() || w->Mupload->isEnabled() || w->MMkdir3->isEnabled() || w->Mdel2->isEnabled())
            seen << step;
    };
    server.onCommand(QStringLiteral("USER"), [&](FakeFtpServer& s, const QString&) {
        note(QStringLiteral("USER"));
        s.replyLine("331 Password required.");
    });
    server.onCommand(QStringLiteral("PASS"), [&](FakeFtpServer& s, const QString&) {
        note(QStringLiteral("PASS"));
        s.replyLine("230 Logged in.");
    });
    answer(QStringLiteral("PROT"), [&](FakeFtpServer& s) {
        note(QStringLiteral("PROT"));
        s.replyLine("200 PROT now Private");
    });
    connectToFake();
    ASSERT_TRUE(wait_until([&] { return w->ListView1->count() == 2 && !w->busy(); })) << log().toStdString();
    EXPECT_TRUE(seen.isEmpty()) << seen.join(u',').toStdString();
    EXPECT_TRUE(w->Mupload->isEnabled());
}

TEST_F(EncryptedLogin, AbortBeforeTheHandshakeSendsNothingMore)
{
    abortAt(QStringLiteral("AUTH"));
    EXPECT_EQ(server.commands(), QStringList{"AUTH TLS"});
    answer(QStringLiteral("AUTH"), [](FakeFtpServer& s) { s.startTls(); });
    expectCleanSession();
}

TEST_F(EncryptedLogin, AbortDuringTheLogInLeavesNothingToListInClear)
{
    abortAt(QStringLiteral("PASS"));
    // The user asks for the list again: there is no connection to send on.
    w->activateList(true);
    w->Mnew_Click();
    EXPECT_FALSE(server.waitForCommand(QStringLiteral("LIST"), 300));
    EXPECT_TRUE(server.clearAfterAuth().isEmpty()) << server.clearAfterAuth().join(u'\n').toStdString();
    server.onCommand(QStringLiteral("PASS"), [](FakeFtpServer& s, const QString&) { s.replyLine("230 Logged in."); });
    expectCleanSession();
}

TEST_F(EncryptedLogin, AbortWhileProtIsAnsweredThenTheNextConnectionLists)
{
    abortAt(QStringLiteral("PROT"));
    answer(QStringLiteral("PROT"), [](FakeFtpServer& s) { s.replyLine("200 PROT now Private"); });
    expectCleanSession();
}

TEST_F(EncryptedLogin, AnUploadDuringTheLogInIsRefused)
{
    QFile local(env.scratch() + QStringLiteral("/u.txt"));
    ASSERT_TRUE(local.open(QIODevice::WriteOnly));
    local.write("upload");
    local.close();
    bool offered = true;
    server.onCommand(QStringLiteral("PASS"), [&](FakeFtpServer& s, const QString&) {
        offered = w->Mupload->isEnabled() || w->Mup->isEnabled();
        for (int i = 0; i < w->ListView2->count(); ++i)
            w->ListView2->setSelected(i, w->ListView2->text(i) == QStringLiteral("u.txt"));
        w->Mupload_Click();
        s.replyLine("230 Logged in.");
    });
    prompts.expect(QStringLiteral("「ログイン」の実行中です。"));
    connectToFake();
    ASSERT_TRUE(wait_until([&] { return w->ListView1->count() == 2 && !w->busy(); })) << log().toStdString();
    EXPECT_TRUE(prompts.allUsed());
    EXPECT_FALSE(offered);
    EXPECT_FALSE(server.commands().join(u'|').contains(QStringLiteral("STOR")));
    EXPECT_TRUE(server.clearAfterAuth().isEmpty()) << server.clearAfterAuth().join(u'\n').toStdString();
}

TEST_F(EncryptedLogin, ARefusedProtEndsTheConnectionWhetherTlsWasRequiredOrOnlyAccepted)
{
    answer(QStringLiteral("PROT"), [](FakeFtpServer& s) { s.replyLine("534 PROT P refused"); });
    for (const QString& tls : {keys::TlsRequired, keys::TlsIfOffered}) {
        SCOPED_TRACE(tls.toStdString());
        record(keys::Tls, tls);
        server.clearCommands();
        prompts.expect(QStringLiteral("サーバーがデーター接続の暗号化を受け付けないため、接続を中止しました。"));
        connectToFake();
        ASSERT_TRUE(wait_until([&] { return prompts.allUsed() && !w->busy() && !server.controlConnected(); }));
        EXPECT_EQ(server.commands().last(), QStringLiteral("PROT P"));
        EXPECT_TRUE(server.clearAfterAuth().isEmpty()) << server.clearAfterAuth().join(u'\n').toStdString();
    }
}

} // namespace
