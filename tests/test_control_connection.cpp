// The control conversation against the fake server: login, proxy, the
// replies that end or redirect it, and reply framing.
#include <QComboBox>
#include <QTcpServer>

#include "ftp/reply_framer.h"
#include "ftp/reply_texts.h"
#include "platform/click_label.h"
#include "tests/ftp_fixture.h"

namespace {

// The code page is left to the program: FEAT asks for it, and the fake's
// "502" leaves it to be found later.
const QStringList LoginToList = {"USER alice", "PASS secret word", "FEAT", "PWD", "TYPE A", "PORT", "LIST"};

QStringList prefixes(const QStringList& got, int n)
{
    // PORT carries the address; compare its command word only.
    QStringList out;
    for (const QString& c : got.mid(0, n))
        out << (c.startsWith(QStringLiteral("PORT ")) ? QStringLiteral("PORT") : c);
    return out;
}

using ControlConnection = FtpFixture;

TEST_F(ControlConnection, LoginWithoutStartPathListsTheLoginFolder)
{
    server.scriptLogin(QStringLiteral("/home/alice"));
    connectToFake();
    const QStringList got = commandsUntil(QStringLiteral("LIST"));
    EXPECT_EQ(prefixes(got, 7), LoginToList);
    EXPECT_EQ(w->サーバーパス, QStringLiteral("/home/alice"));
    EXPECT_EQ(w->Server_Kyu, QStringLiteral("/home/alice"));
    EXPECT_EQ(w->Label1->text(), QStringLiteral("ｻｰﾊﾞｰﾊﾟｽ:/home/alice"));
    EXPECT_EQ(w->windowTitle(), QStringLiteral(" Palu_FTP   '127.0.0.1'"));
    EXPECT_TRUE(log().contains(QStringLiteral(">USER alice\r\n")));
    EXPECT_TRUE(log().contains(QStringLiteral("230 Logged in.\r\n")));
}

TEST_F(ControlConnection, StartPathIsEnteredAfterLoginWithoutItsTrailingSlash)
{
    record(QStringLiteral("Server_name_path"), QStringLiteral("/pub/"));
    server.scriptLogin(QStringLiteral("/pub"));
    connectToFake();
    const QStringList got = commandsUntil(QStringLiteral("LIST"));
    EXPECT_EQ(prefixes(got, 8),
              (QStringList{"USER alice", "PASS secret word", "FEAT", "CWD /pub", "PWD", "TYPE A", "PORT", "LIST"}));
    EXPECT_EQ(w->Ucount, 0);
    EXPECT_EQ(w->Wcount, 0);
}

TEST_F(ControlConnection, PortLineNamesTheControlAddressAndTheListener)
{
    server.scriptLogin();
    server.setDefaultReply(QByteArray());   // LIST unanswered: the listener stays as announced
    server.onCommand(QStringLiteral("FEAT"), [](FakeFtpServer& s, const QString&) { s.reply("502 No.\r\n"); });
    connectToFake();
    const QStringList got = commandsUntil(QStringLiteral("PORT"));
    const int port = w->Winsock2->LocalPort;
    EXPECT_EQ(got.last(), QStringLiteral("PORT 127,0,0,1,%1,%2").arg(port / 256).arg(port % 256));
}

TEST(PortLine, PortPairsAndBadAddresses)
{
    EXPECT_EQ(port_line(QStringLiteral("192.0.2.7"), 1282), QStringLiteral("PORT 192,0,2,7,5,2\r\n"));
    EXPECT_EQ(port_line(QStringLiteral("10.0.0.1"), 1280), QStringLiteral("PORT 10,0,0,1,5,0\r\n"));
    EXPECT_EQ(port_line(QStringLiteral("10.0.0.1"), 255), QStringLiteral("PORT 10,0,0,1,0,255\r\n"));
    EXPECT_EQ(port_line(QStringLiteral("10.0.0.1"), 65535), QStringLiteral("PORT 10,0,0,1,255,255\r\n"));
    EXPECT_EQ(port_line(QStringLiteral("::1"), 21), QString());
    EXPECT_EQ(port_line(QStringLiteral("1.2.3"), 21), QString());
    EXPECT_EQ(port_line(QStringLiteral("1.2.3.256"), 21), QString());
    EXPECT_EQ(port_line(QString(), 21), QString());
}

TEST_F(ControlConnection, ProxyTakesUserAtServerAndItsOwnHostAndPort)
{
    settings::save(QStringLiteral("OPTIONS"), QStringLiteral("PROXYON"), QStringLiteral("1"));
    settings::save(QStringLiteral("OPTIONS"), QStringLiteral("PROXYSERVER"), QStringLiteral("127.0.0.1"));
    settings::save(QStringLiteral("OPTIONS"), QStringLiteral("PROXYPORT"), QString::number(server.port()));
    record(QStringLiteral("s_adress"), QStringLiteral("ftp.example.jp"));
    record(QStringLiteral("ポートNo"), QStringLiteral("1"));   // not used through the proxy
    server.scriptLogin();
    connectToFake();
    const QStringList got = commandsUntil(QStringLiteral("USER"));
    EXPECT_EQ(got.last(), QStringLiteral("USER alice@ftp.example.jp"));
    EXPECT_EQ(w->ホスト名, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(w->ポートNo, server.port());
}

TEST_F(ControlConnection, ProxyOffOrMissingUsesTheServerItself)
{
    settings::save(QStringLiteral("OPTIONS"), QStringLiteral("PROXYON"), QStringLiteral("0"));
    settings::save(QStringLiteral("OPTIONS"), QStringLiteral("PROXYSERVER"), QStringLiteral("10.9.9.9"));
    server.scriptLogin();
    connectToFake();
    EXPECT_EQ(commandsUntil(QStringLiteral("USER")).last(), QStringLiteral("USER alice"));
}

TEST_F(ControlConnection, BadNumbersInTheRecordAreReportedAndNothingConnects)
{
    struct Case {
        const char* key;
        const char* value;
    };
    for (const Case c : {Case{"ポートNo", "abc"}, Case{"ポートNo", "70000"}, Case{"ポートNo", "0"},
                         Case{"ポートNo", ""}, Case{"リトライ回数", "x"}, Case{"リトライ間隔", "99999"}}) {
        record(QString::fromUtf8(c.key), QString::fromUtf8(c.value));
        prompts.expect(QStringLiteral("「fake」の設定「") + QString::fromUtf8(c.key));
        connectToFake();
        EXPECT_TRUE(prompts.allUsed()) << c.key << "=" << c.value;
        EXPECT_EQ(w->Winsock1->State(), Winsock::sckClosed) << c.key << "=" << c.value;
        record(QString::fromUtf8(c.key), QString::fromUtf8(c.key) == QStringLiteral("ポートNo")
                                             ? QString::number(server.port())
                                             : QStringLiteral("1"));
    }
    // A port above 32767 is a port like any other.
    record(QStringLiteral("ポートNo"), QStringLiteral("40000"));
    record(QStringLiteral("s_adress"), QStringLiteral("127.0.0.1"));
    connectToFake();
    EXPECT_EQ(w->ポートNo, 40000);
    prompts.allowAny(true);   // the refused connection reports its error
}

TEST_F(ControlConnection, LoginWithout331StopsAfter230)
{
    server.onCommand(QStringLiteral("USER"), [](FakeFtpServer& s, const QString&) { s.reply("230 Welcome\r\n"); });
    connectToFake();
    ASSERT_TRUE(wait_until([&] { return log().contains(QStringLiteral("230 Welcome")); }));
    server.reply("200 nudge\r\n");   // something to wait for after the 230
    ASSERT_TRUE(wait_until([&] { return log().contains(QStringLiteral("200 nudge")); }));
    // The stray 200 answers no command: it is noted, nothing is sent for it.
    EXPECT_TRUE(log().contains(QStringLiteral("(要求していない応答を受信しました。無視します。)")));
    EXPECT_EQ(server.commands().size(), 1);
    EXPECT_EQ(server.commands().first(), QStringLiteral("USER alice"));
    EXPECT_FALSE(server.commands().contains(QStringLiteral("PWD")));
}

TEST_F(ControlConnection, RefusedLoginIsReportedAndQuits)
{
    server.onCommand(QStringLiteral("USER"), [](FakeFtpServer& s, const QString&) { s.reply("331 pw\r\n"); });
    server.onCommand(QStringLiteral("PASS"), [](FakeFtpServer& s, const QString&) { s.reply("530 Login incorrect.\r\n"); });
    prompts.expect(QStringLiteral("ｻｰﾊﾞｰから認証されませんでした。"));
    connectToFake();
    EXPECT_EQ(commandsUntil(QStringLiteral("QUIT")), (QStringList{"USER alice", "PASS secret word", "QUIT"}));
    EXPECT_EQ(prompts.seen().at(0).title, QStringLiteral("認証エラー"));
    EXPECT_EQ(prompts.seen().at(0).icon, prompts::vbInformation);
}

TEST_F(ControlConnection, RefusedStartPathRestoresThePreviousPathAndListsTheLoginFolder)
{
    record(QStringLiteral("Server_name_path"), QStringLiteral("/secret"));
    server.scriptLogin(QStringLiteral("/home/alice"));
    server.onCommand(QStringLiteral("CWD"), [](FakeFtpServer& s, const QString&) { s.reply("550 No access.\r\n"); });
    prompts.expect(QStringLiteral("アクセスできませんでした。権限がないのかもしれません。"));
    connectToFake();
    const QStringList got = commandsUntil(QStringLiteral("LIST"));
    EXPECT_EQ(prefixes(got, 8),
              (QStringList{"USER alice", "PASS secret word", "FEAT", "CWD /secret", "PWD", "TYPE A", "PORT", "LIST"}));
    EXPECT_EQ(w->サーバーパス, QStringLiteral("/home/alice"));
}

// A refused PWD is answered by asking for the folder again only when
// something else was refused; asking after PWD itself would loop for ever.
TEST_F(ControlConnection, RefusedPwdIsToldOnceAndNotAskedAgain)
{
    server.scriptLogin();
    server.onCommand(QStringLiteral("PWD"), [](FakeFtpServer& s, const QString&) { s.reply("550 Not allowed.\r\n"); });
    prompts.expect(QStringLiteral("アクセスできませんでした。権限がないのかもしれません。"));
    connectToFake();
    ASSERT_TRUE(server.waitForCommand(QStringLiteral("PWD")));
    ASSERT_TRUE(wait_until([&] { return log().contains(QStringLiteral("一覧を更新できませんでした。")); }));
    // Still connected and answering: the next command the user gives goes out.
    w->Send_quit();
    const QStringList got = commandsUntil(QStringLiteral("QUIT"));
    EXPECT_EQ(got.count(QStringLiteral("PWD")), 1) << got.join(u'|').toStdString();
    EXPECT_EQ(prompts.seen().size(), 1);
}

TEST_F(ControlConnection, StartPathRefusedWith501IsNotedAndListedOnce)
{
    record(QStringLiteral("Server_name_path"), QStringLiteral("/bad"));
    server.scriptLogin();
    server.onCommand(QStringLiteral("CWD"), [](FakeFtpServer& s, const QString&) { s.reply("501 Bad path.\r\n"); });
    connectToFake();
    commandsUntil(QStringLiteral("LIST"));
    // A second PWD would start a second listing across the first.
    EXPECT_EQ(server.commands().count(QStringLiteral("PWD")), 1);
    EXPECT_TRUE(log().contains(QStringLiteral("設定されたｻｰﾊﾞｰﾊﾟｽにアクセスできません\r\n")));
    EXPECT_EQ(w->Ucount, 0);
}

TEST_F(ControlConnection, Reply221DisconnectsAndSaysFromWhichServerOnALineOfItsOwn)
{
    server.scriptLogin();
    connectToFake();
    commandsUntil(QStringLiteral("LIST"));
    w->Send_quit();
    ASSERT_TRUE(wait_until([&] { return log().endsWith(QStringLiteral("サーバー127.0.0.1から切断しました。\r\n")); }));
    EXPECT_EQ(w->Winsock1->State(), Winsock::sckClosed);
    EXPECT_EQ(w->Winsock2->State(), Winsock::sckClosed);
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Palu_FTP   未接続"));
    // The next greeting starts a line of its own.
    connectToFake();
    ASSERT_TRUE(wait_until([&] { return log().contains(QStringLiteral("から切断しました。\r\n220 fake ready")); }));
}

TEST_F(ControlConnection, ServerClosingTheConnectionIsLogged)
{
    connectToFake();
    ASSERT_TRUE(server.waitForCommand(QStringLiteral("USER")));
    server.dropControl();
    ASSERT_TRUE(wait_until([&] { return log().endsWith(QStringLiteral("ｻｰﾊﾞｰから切断しました。\r\n")); }));
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Palu_FTP   未接続"));
}

TEST_F(ControlConnection, ConnectionErrorIsReported)
{
    QTcpServer probe;   // a port that nothing listens on once the probe is closed
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    const quint16 closedPort = probe.serverPort();
    probe.close();
    record(QStringLiteral("ポートNo"), QString::number(closedPort));
    prompts.expect(QStringLiteral("接続エラーが発生しました。"));
    connectToFake();
    ASSERT_TRUE(wait_until([&] { return prompts.allUsed(); }));
    EXPECT_EQ(prompts.seen().at(0).icon, prompts::vbCritical);
}

TEST_F(ControlConnection, GreetingSplitOverThreeWritesSendsUserOnce)
{
    server.setGreeting(QByteArray());
    server.scriptLogin();
    connectToFake();
    ASSERT_TRUE(wait_until([&] { return server.controlConnected(); }));
    server.replyInPieces("220 Welcome to the fake server\r\n", {3, 10, 19});
    commandsUntil(QStringLiteral("LIST"));
    EXPECT_EQ(server.commands().count(QStringLiteral("USER alice")), 1);
}

TEST_F(ControlConnection, MultiLineGreetingSendsUserOnce)
{
    QByteArray greeting;
    for (int i = 0; i < 6; ++i)
        greeting += "220-line " + QByteArray::number(i) + "\r\n";
    greeting += "220 ready\r\n";
    server.setGreeting(QByteArray());
    server.scriptLogin();
    connectToFake();
    ASSERT_TRUE(wait_until([&] { return server.controlConnected(); }));
    server.replyInPieces(greeting, {9, 30, 40});
    commandsUntil(QStringLiteral("LIST"));
    EXPECT_EQ(server.commands().count(QStringLiteral("USER alice")), 1);
    EXPECT_TRUE(log().contains(QString::fromUtf8(greeting)));
}

TEST_F(ControlConnection, ConnectingAgainAsksFirstAndCancelKeepsTheConnection)
{
    server.scriptLogin();
    connectToFake();
    commandsUntil(QStringLiteral("LIST"));
    prompts.expect(QStringLiteral("ｻｰﾊﾞｰに接続中です。切断して接続しますか？"), prompts::vbCancel);
    connectToFake();
    EXPECT_EQ(w->Winsock1->State(), Winsock::sckConnected);
    EXPECT_FALSE(server.commands().contains(QStringLiteral("QUIT")));
    EXPECT_EQ(prompts.seen().at(0).title, QStringLiteral("接続中"));
}

TEST_F(ControlConnection, SendQuitWhileOnlyConnectingSendsNothing)
{
    w->Winsock1->RemoteHost = QStringLiteral("127.0.0.1");
    w->Winsock1->RemotePort = server.port();
    w->Winsock1->Connect();
    prompts.expect(QStringLiteral("ｻｰﾊﾞｰに接続されていません"));
    w->Send_quit();
    EXPECT_TRUE(prompts.allUsed());
    EXPECT_EQ(prompts.seen().at(0).icon, prompts::vbInformation);
}

TEST(ReplyFramer, RepliesSplitJoinedAndMultiLine)
{
    ReplyFramer f("UTF-8");
    auto r = f.feed("150 Opening\r\n226 Done\r\n");
    EXPECT_EQ(r.replies, (QStringList{"150 Opening\r\n", "226 Done\r\n"}));
    EXPECT_EQ(r.text, QStringLiteral("150 Opening\r\n226 Done\r\n"));
    r = f.feed("22");
    EXPECT_TRUE(r.replies.isEmpty());
    r = f.feed("6 ok\n");   // a bare LF ends a line too
    EXPECT_EQ(r.replies, QStringList{"226 ok\r\n"});
    r = f.feed("226-first\r\n 226 inside is not the end\r\n226-still not\r\n");
    EXPECT_TRUE(r.replies.isEmpty());
    r = f.feed("226 last\r\n");
    ASSERT_EQ(r.replies.size(), 1);
    EXPECT_TRUE(r.replies.at(0).startsWith(QStringLiteral("226-first\r\n")));
    EXPECT_TRUE(r.replies.at(0).endsWith(QStringLiteral("226 last\r\n")));
    // A code that is not three digits is a one-line reply of its own.
    EXPECT_EQ(f.feed("ab-c\r\n").replies, QStringList{"ab-c\r\n"});
}

TEST(ReplyFramer, ShiftJisCharacterSplitAcrossReads)
{
    ReplyFramer f("CP932");
    const QByteArray sjis = QByteArray("257 \"/") + QByteArray::fromHex("93fa967b") + "\"\r\n";   // 日本
    auto r1 = f.feed(sjis.left(7));   // ends inside the first character
    auto r2 = f.feed(sjis.mid(7));
    ASSERT_EQ(r2.replies.size(), 1);
    EXPECT_EQ(r2.replies.at(0), QStringLiteral("257 \"/日本\"\r\n"));
    EXPECT_EQ(r1.text + r2.text, QStringLiteral("257 \"/日本\"\r\n"));
}

TEST(ReplyFramer, EndlessLineIsCutInsteadOfGrowing)
{
    ReplyFramer f("UTF-8");
    int replies = 0;
    for (int i = 0; i < 40; ++i)
        replies += int(f.feed(QByteArray(4096, 'x')).replies.size());
    EXPECT_GE(replies, 1);
    EXPECT_LT(f.feed("\r\n").replies.size() + replies, 4);
}

TEST(Path257, QuotesAndDoubledQuotes)
{
    EXPECT_EQ(path_of_257(QStringLiteral("257 \"/pub\" is current")), QStringLiteral("/pub"));
    EXPECT_EQ(path_of_257(QStringLiteral("257 \"/a\"\"b\" ok")), QStringLiteral("/a\"b"));
    EXPECT_EQ(path_of_257(QStringLiteral("257 \"\"")), QString());
    EXPECT_EQ(path_of_257(QStringLiteral("257 \"/open")), std::nullopt);
    EXPECT_EQ(path_of_257(QStringLiteral("257 no quotes")), std::nullopt);
}

TEST_F(ControlConnection, Path257WithoutClosingQuoteKeepsThePathAndGoesOn)
{
    server.scriptLogin();
    server.onCommand(QStringLiteral("PWD"), [](FakeFtpServer& s, const QString&) { s.reply("257 \"/broken\r\n"); });
    connectToFake();
    EXPECT_EQ(commandsUntil(QStringLiteral("TYPE")).last(), QStringLiteral("TYPE A"));
    EXPECT_TRUE(w->サーバーパス.isEmpty());
}

TEST_F(ControlConnection, TwoRepliesInOneWriteAreBothHandled)
{
    server.scriptLogin();
    server.onCommand(QStringLiteral("PWD"), [](FakeFtpServer& s, const QString&) {
        s.reply("257 \"/x\"\r\n200 extra\r\n");
    });
    connectToFake();
    // 257 sends TYPE A; the joined 200 then sends PORT, before TYPE's own 200 arrives.
    const QStringList got = commandsUntil(QStringLiteral("LIST"));
    EXPECT_EQ(prefixes(got, 6), (QStringList{"USER alice", "PASS secret word", "FEAT", "PWD", "TYPE A", "PORT"}));
}

} // namespace
