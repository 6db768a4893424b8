// Explicit TLS on the control connection against the fake server: the
// certificate question and its answers, a remembered certificate, servers
// that refuse AUTH, and handshakes that go wrong. No password in clear.
#include <QLabel>
#include <QSslSocket>
#include <QTemporaryDir>

#include "ftp/certificate_check.h"
#include "servers/settings_keys.h"
#include "platform/list_view.h"
#include "tests/fake_tree.h"
#include "tests/ftp_fixture.h"
#include "tests/test_certificate.h"

namespace {
const QString Title = QStringLiteral("証明書の確認");
enum { Always = certificate_check::AlwaysTrust, Once = certificate_check::TrustOnce,
       Refuse = certificate_check::DoNotConnect, Closed = -1 };
} // namespace

class Tls : public FtpFixture {
protected:
    void SetUp() override
    {
        FtpFixture::SetUp();
        ASSERT_NO_FATAL_FAILURE(presentTestCertificate());
        server.scriptLogin();
        server.onCommand(QStringLiteral("AUTH"), [](FakeFtpServer& s, const QString&) { s.startTls(); });
        for (const char* c : {"PBSZ", "PROT"})
            server.onCommand(QString::fromLatin1(c), [](FakeFtpServer& s, const QString&) { s.replyLine("200 OK"); });
        // Whether the password came over the encrypted connection.
        server.onCommand(QStringLiteral("PASS"), [this](FakeFtpServer& s, const QString&) {
            passEncrypted = s.controlEncrypted();
            s.replyLine(QStringLiteral("230 logged in"));
        });
        record(keys::Tls, keys::TlsRequired);
    }
    // Connected, logged in over TLS and listing the start folder.
    void expectEncryptedSession()
    {
        EXPECT_EQ(commandsUntil(QStringLiteral("PWD")),
                  (QStringList{"AUTH TLS", "USER alice", "PASS secret word", "PBSZ 0", "PROT P", "FEAT", "PWD"}));
        EXPECT_TRUE(passEncrypted);
        EXPECT_TRUE(log().contains(QStringLiteral(") で暗号化しました。"))) << log().toStdString();
        EXPECT_EQ(w->StatusPanel2->text(), QStringLiteral("TLS"));
    }
    // Ended with nothing but AUTH sent (and, where the server did not take
    // up TLS, the client's handshake bytes, which it records as lines).
    void expectOnlyAuthSent()
    {
        EXPECT_TRUE(wait_until([&] { return w->Winsock1->State() == Winsock::sckClosed && !w->busy(); }));
        EXPECT_EQ(server.commands().value(0), QStringLiteral("AUTH TLS"));
        for (const QString& c : server.commands())
            EXPECT_FALSE(c.startsWith(QStringLiteral("USER")) || c.startsWith(QStringLiteral("PASS"))) << c.toStdString();
        EXPECT_TRUE(w->StatusPanel2->text().isEmpty());
    }
    QString stored() const { return settings::get(QStringLiteral("fake"), keys::TlsFp); }

    bool passEncrypted = false;
};

TEST_F(Tls, EachAnswerToTheCertificateQuestion)
{
    struct Case { int answer; bool connects; bool remembered; };
    for (const Case c : {Case{Always, true, true}, Case{Once, true, false}, Case{Refuse, false, false},
                         Case{Closed, false, false}}) {
        SCOPED_TRACE(c.answer);
        settings::save(QStringLiteral("fake"), keys::TlsFp, QString());
        server.clearCommands();
        prompts.expect(QStringLiteral("自己署名の証明書です"), c.answer);
        QString panelWhileAsked = QStringLiteral("<not asked>");
        prompts.whileAsked = [&](const prompts::Prompt&) { panelWhileAsked = w->StatusPanel2->text(); };
        connectToFake();
        if (c.connects)
            expectEncryptedSession();
        else
            expectOnlyAuthSent();
        EXPECT_TRUE(prompts.allUsed());
        const prompts::Prompt& asked = prompts.seen().last();
        EXPECT_EQ(asked.title, Title);
        EXPECT_EQ(asked.choices, certificate_check::answers());
        // Two lines of 16 bytes, never split inside one; Enter refuses.
        QStringList bytes;
        for (int i = 0; i < 64; i += 2)
            bytes << cert.fingerprint.mid(i, 2);
        EXPECT_TRUE(asked.fixedText.startsWith(bytes.mid(0, 16).join(u':') + u'\n' + bytes.mid(16).join(u':') +
                                               QStringLiteral("\n\nサーバーの管理者から知らされた指紋と同じか確かめてください。")));
        EXPECT_EQ(asked.defaultChoice, int(certificate_check::DoNotConnect));
        EXPECT_EQ(panelWhileAsked, QString());   // nothing claimed either way while asked
        EXPECT_EQ(stored(), c.remembered ? cert.fingerprint : QString());
        if (c.connects) {
            w->disconnect_Click();
            EXPECT_TRUE(wait_until([&] { return w->Winsock1->State() == Winsock::sckClosed; }));
        }
    }
}

TEST_F(Tls, ARememberedCertificateConnectsSilentlyAChangedOneWarns)
{
    record(keys::TlsFp, cert.fingerprint);
    connectToFake();
    expectEncryptedSession();
    EXPECT_EQ(prompts.count(), 0);

    w->disconnect_Click();
    ASSERT_TRUE(wait_until([&] { return w->Winsock1->State() == Winsock::sckClosed; }));
    server.clearCommands();
    record(keys::TlsFp, QString(64, u'a'));
    prompts.expect(QStringLiteral("信頼すると保存した証明書から変わっています"), Refuse);
    connectToFake();
    expectOnlyAuthSent();
    EXPECT_EQ(stored(), QString(64, u'a'));
}

TEST_F(Tls, RefusedAuthGoesOnInClearOnlyWhenTlsIsNotRequired)
{
    server.onCommand(QStringLiteral("AUTH"), [](FakeFtpServer& s, const QString&) {
        s.replyLine(QStringLiteral("502 not implemented"));
    });
    prompts.expect(QStringLiteral("TLSに対応していないため、接続を中止しました"));
    connectToFake();
    expectOnlyAuthSent();

    server.clearCommands();
    record(keys::Tls, keys::TlsIfOffered);
    connectToFake();
    EXPECT_EQ(commandsUntil(QStringLiteral("PWD")), (QStringList{"AUTH TLS", "USER alice", "PASS secret word", "FEAT", "PWD"}));
    EXPECT_TRUE(log().contains(QStringLiteral("サーバーがTLSに対応していないため、暗号化せずに接続します。")));
    EXPECT_EQ(w->StatusPanel2->text(), QStringLiteral("暗号化なし"));
}

TEST_F(Tls, AHandshakeThatGoesWrongEndsWithAMessageAndNoPassword)
{
    using Script = std::function<void(FakeFtpServer&)>;
    const std::pair<const char*, Script> cases[] = {
        {"plain text after 234", [](FakeFtpServer& s) { s.reply("234 go ahead\r\n220 still plain\r\n"); }},
        {"closed after 234", [](FakeFtpServer& s) { s.reply("234 go ahead\r\n"); s.dropControl(); }},
        {"silent after 234", [](FakeFtpServer& s) { s.reply("234 go ahead\r\n"); }},
    };
    w->tlsHandshakeWaitMs = 500;
    for (const auto& [name, script] : cases) {
        SCOPED_TRACE(name);
        server.clearCommands();
        server.onCommand(QStringLiteral("AUTH"), [script](FakeFtpServer& s, const QString&) { script(s); });
        prompts.expect(QStringLiteral("とTLSで接続できませんでした。"));
        connectToFake();
        expectOnlyAuthSent();
        EXPECT_TRUE(prompts.allUsed());
    }
}

TEST_F(Tls, PlainBytesOnAnEncryptedDataConnectionAreNeverTakenForTheListing)
{
    record(keys::TlsFp, cert.fingerprint);
    server.setPlainData(true);
    server.onCommand(QStringLiteral("LIST"), [](FakeFtpServer& s, const QString&) {
        s.reply("150 Here it comes.\r\n");
        ASSERT_TRUE(s.connectData());
        s.sendData(listing_line('-', 5, "plain.txt"));
        s.reply("226 Done.\r\n");
    });
    // Whether the failed handshake or the server's 226 is seen first, the
    // plain listing never becomes the list, and the user is told.
    prompts.expect(QStringLiteral("データー接続でエラーが発生しました。"));
    connectToFake();
    ASSERT_TRUE(server.waitForCommand(QStringLiteral("LIST")));
    ASSERT_TRUE(wait_until([&] { return prompts.allUsed() && !w->busy(); })) << log().toStdString();
    EXPECT_EQ(w->ListView1->count(), 0);
}

TEST(CertificateProblems, EachFaultOfACertificateIsNamed)
{
    QTemporaryDir dir;
    struct Case { const char* name; int from, to; const char* problem; };
    for (const Case c : {Case{"localhost", -10, -1, "有効期限が切れています"},
                         Case{"localhost", 2, 10, "有効期間がまだ始まっていません"},
                         Case{"other.example", -1, 10, "このホスト名のものではありません"},
                         Case{"localhost", -1, 10, "自己署名の証明書です"}}) {
        const TestCertificate made = make_test_certificate(dir.path(), QString::fromLatin1(c.name), c.from, c.to);
        ASSERT_TRUE(made.ok()) << made.error.toStdString();
        const QSslCertificate cert(made.certPem);
        const QStringList found =
            certificate_check::problems(QSslCertificate::verify({cert}, QStringLiteral("localhost")));
        EXPECT_TRUE(found.join(u'|').contains(QString::fromUtf8(c.problem))) << c.name << ": " << found.join(u'|').toStdString();
        EXPECT_EQ(certificate_check::fingerprint(cert), made.fingerprint);
    }
}

TEST(ConnectionProfileRead, OldEntriesStayPlainQuickConnectionsTryTls)
{
    TestEnv env;
    settings::save(QStringLiteral("old"), keys::SAdress, QStringLiteral("h"));
    settings::save(keys::TlsTrust, QStringLiteral("ftp.example:21"), QStringLiteral("ab"));
    const ConnectionProfile entry = ConnectionProfile::ofEntry(QStringLiteral("old"), QStringLiteral("h"), 21);
    EXPECT_EQ(entry.tls, ConnectionProfile::Tls::None);
    EXPECT_TRUE(entry.codepage.isEmpty());
    const ConnectionProfile quick = ConnectionProfile::ofQuickConnection(QStringLiteral("ftp.example"), 21);
    EXPECT_EQ(quick.tls, ConnectionProfile::Tls::IfOffered);
    EXPECT_EQ(quick.trustedFingerprint, QStringLiteral("ab"));
    // A value the boxes do not offer reads as they show it: the first item.
    settings::save(keys::Options, keys::Tls, QStringLiteral("9"));
    settings::save(keys::Options, keys::Codepage, QStringLiteral("latin1"));
    const ConnectionProfile odd = ConnectionProfile::ofQuickConnection(QStringLiteral("x"), 21);
    EXPECT_EQ(odd.tls, ConnectionProfile::Tls::None);
    EXPECT_TRUE(odd.codepage.isEmpty());
}

// The fingerprint was trusted for this entry at another port (the address
// was edited since): the certificate is asked about afresh, and the answer
// is kept for the server connected to now.
TEST_F(Tls, ATrustedCertificateIsAskedAboutAgainAtAnotherServer)
{
    record(keys::TlsFp, cert.fingerprint);
    record(keys::TlsFpServer, QStringLiteral("127.0.0.1:1"));
    prompts.expect(QStringLiteral("自己署名の証明書です"), Always);
    connectToFake();
    expectEncryptedSession();
    EXPECT_TRUE(prompts.allUsed());
    EXPECT_EQ(settings::get(QStringLiteral("fake"), keys::TlsFpServer),
              QStringLiteral("127.0.0.1:") + QString::number(server.port()));
}

// ------------------------------------------------------------ less encryption than before or than asked

TEST_F(Tls, AServerThatDidTlsBeforeIsAskedAboutBeforeAnythingGoesInClear)
{
    server.onCommand(QStringLiteral("AUTH"), [](FakeFtpServer& s, const QString&) {
        s.replyLine(QStringLiteral("502 not implemented"));
    });
    record(keys::Tls, keys::TlsIfOffered);
    record(keys::TlsFp, cert.fingerprint);
    enum { Connect, DoNotConnect };
    for (const int answer : {int(Connect), int(DoNotConnect), int(Closed)}) {
        SCOPED_TRACE(answer);
        server.clearCommands();
        prompts.expect(QStringLiteral("前回TLSで暗号化していました"), answer);
        connectToFake();
        if (answer == Connect) {
            EXPECT_EQ(commandsUntil(QStringLiteral("PWD")),
                      (QStringList{"AUTH TLS", "USER alice", "PASS secret word", "FEAT", "PWD"}));
            EXPECT_EQ(w->StatusPanel2->text(), QStringLiteral("暗号化なし"));
            w->disconnect_Click();
            ASSERT_TRUE(wait_until([&] { return w->Winsock1->State() == Winsock::sckClosed; }));
        } else {
            expectOnlyAuthSent();
            EXPECT_EQ(server.commands(), QStringList{"AUTH TLS"});
        }
        ASSERT_TRUE(prompts.allUsed());
        const prompts::Prompt& asked = prompts.seen().last();
        EXPECT_EQ(asked.text, QStringLiteral("このサーバーは前回TLSで暗号化していましたが、今回はTLSを使えません。"
                                             "暗号化せずに接続しますか？（パスワードは暗号化されずに送られます）"));
        EXPECT_EQ(asked.choices, (QStringList{"接続する", "接続しない"}));
        EXPECT_EQ(asked.defaultChoice, int(DoNotConnect));
    }
}

// The check a client makes of a server, with a test authority trusted for
// the duration of the test.
class TrustedAuthority {
public:
    explicit TrustedAuthority(const QByteArray& caPem) : saved_(QSslConfiguration::defaultConfiguration())
    {
        QSslConfiguration c = saved_;
        c.setCaCertificates(QSslCertificate::fromData(caPem));
        QSslConfiguration::setDefaultConfiguration(c);
    }
    ~TrustedAuthority() { QSslConfiguration::setDefaultConfiguration(saved_); }

private:
    QSslConfiguration saved_;
};

TEST_F(Tls, WhatTheHandshakeWouldRefuseIsAskedAbout)
{
    struct Case { const char* name; QStringList names; bool forServer; const char* problem; };
    const Case cases[] = {
        {"127.0.0.1", {"127.0.0.1"}, true, nullptr},
        {"127.0.0.1", {"127.0.0.1"}, false, "サーバー用のものではありません"},
        {"127.0.0.1", {"other.example", "10.0.0.1"}, true, "このホスト名のものではありません"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.problem ? c.problem : "fit");
        const TestCertificate issued =
            make_issued_certificate(certs.path(), QString::fromLatin1(c.name), c.names, c.forServer);
        ASSERT_TRUE(issued.ok()) << issued.error.toStdString();
        const TrustedAuthority authority(issued.caPem);
        server.setTlsCertificate(issued.certPem, issued.keyPem);
        server.clearCommands();
        const int before = prompts.count();
        if (!c.problem) {
            connectToFake();
            expectEncryptedSession();
            EXPECT_EQ(prompts.count(), before);
            w->disconnect_Click();
            ASSERT_TRUE(wait_until([&] { return w->Winsock1->State() == Winsock::sckClosed; }));
            continue;
        }
        prompts.expect(QString::fromUtf8(c.problem), Refuse);
        connectToFake();
        expectOnlyAuthSent();
        EXPECT_TRUE(prompts.allUsed());
        EXPECT_EQ(prompts.count(), before + 1);
    }
}

TEST(CertificateNames, AlternativeNamesWhenListedElseTheCommonName)
{
    QTemporaryDir dir;
    struct Case { const char* common; QStringList names; const char* host; bool matches; };
    for (const Case& c : {Case{"localhost", {"other.example"}, "localhost", false},
                          Case{"other.example", {"*.example.jp", "localhost"}, "localhost", true},
                          Case{"localhost", {}, "localhost", true},
                          Case{"*.example.jp", {}, "ftp.example.jp", true},
                          Case{"*.example.jp", {}, "a.b.example.jp", false},
                          Case{"*.jp", {}, "example.jp", false}}) {
        SCOPED_TRACE(std::string(c.common) + " " + c.names.join(u',').toStdString() + " " + c.host);
        const TestCertificate made =
            make_issued_certificate(dir.path(), QString::fromLatin1(c.common), c.names, true);
        ASSERT_TRUE(made.ok()) << made.error.toStdString();
        const TrustedAuthority authority(made.caPem);
        const QList<QSslError> errors =
            certificate_check::verify(QSslCertificate::fromData(made.certPem), QString::fromLatin1(c.host));
        EXPECT_EQ(errors.isEmpty(), c.matches) << certificate_check::problems(errors).join(u'|').toStdString();
    }
}

TEST(DataConnectionPeer, OnlyTheControlConnectionsReadableCertificateIsTaken)
{
    QTemporaryDir dir;
    const TestCertificate a = make_test_certificate(dir.path(), QStringLiteral("a.example"));
    const TestCertificate b = make_test_certificate(dir.path(), QStringLiteral("b.example"));
    ASSERT_TRUE(a.ok() && b.ok());
    const QSslCertificate ca(a.certPem), cb(b.certPem), none;
    struct Case { QSslCertificate expected, shown; bool taken; };
    for (const Case& c : {Case{ca, ca, true}, Case{ca, cb, false}, Case{ca, none, false}, Case{none, none, false},
                          Case{none, ca, true}})
        EXPECT_EQ(Winsock::acceptsPeer(c.expected, c.shown), c.taken)
            << c.expected.subjectDisplayName().toStdString() << " / " << c.shown.subjectDisplayName().toStdString();
}
