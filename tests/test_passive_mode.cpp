// Passive data connections against the fake server: the address a "227"
// names is not followed, and a server that refuses both modes is told once.
#include <QTcpServer>
#include <QTcpSocket>

#include "platform/list_view.h"
#include "tests/fake_tree.h"
#include "tests/ftp_fixture.h"

namespace {

class PassiveMode : public FtpFixture {};

TEST_F(PassiveMode, TheAddressInTheReplyIsNotFollowed)
{
    record(QStringLiteral("PASV"), QStringLiteral("1"));
    QTcpServer data;
    ASSERT_TRUE(data.listen(QHostAddress::LocalHost, 0));
    server.scriptLogin();
    // A third host in the reply; the data listener is on the server's own address.
    const QByteArray reply = "227 Entering Passive Mode (10,9,8,7," + QByteArray::number(data.serverPort() / 256) + "," +
                             QByteArray::number(data.serverPort() % 256) + ").\r\n";
    server.onCommand(QStringLiteral("PASV"), [reply](FakeFtpServer& s, const QString&) { s.reply(reply); });
    server.onCommand(QStringLiteral("LIST"), [&data](FakeFtpServer& s, const QString&) {
        s.reply("150 Here comes the listing.\r\n");
        ASSERT_TRUE(wait_until([&] { return data.hasPendingConnections(); }));
        QTcpSocket* c = data.nextPendingConnection();
        c->write(listing_line('-', 3, "x.txt"));
        c->disconnectFromHost();
        wait_until([&] { return c->state() == QAbstractSocket::UnconnectedState; });
        s.reply("226 Transfer complete.\r\n");
    });
    connectToFake();
    ASSERT_TRUE(wait_until([&] { return w->ListView1->count() == 1 && !w->busy(); })) << log().toStdString();
    w->activateList(true);
    w->Mnew_Click();
    ASSERT_TRUE(server.waitForCommandCount(QStringLiteral("LIST"), 2));
    ASSERT_TRUE(wait_until([&] { return !w->busy(); }));
    EXPECT_EQ(log().count(QStringLiteral("PASV応答のアドレス 10.9.8.7 の代わりに接続先のアドレスを使います。")), 1);
    EXPECT_FALSE(server.commands().join(u'|').contains(QStringLiteral("PORT")));
}

TEST_F(PassiveMode, AServerThatRefusesBothModesIsToldOnceAndStaysUsable)
{
    server.scriptLogin();
    server.onCommand(QStringLiteral("PORT"), [](FakeFtpServer& s, const QString&) { s.reply("500 Illegal PORT command.\r\n"); });
    prompts.expect(QStringLiteral("ｻｰﾊﾞｰがPASVモードに対応していないため、データー接続を開けませんでした。"));
    connectToFake();
    ASSERT_TRUE(server.waitForCommand(QStringLiteral("EPSV")));
    ASSERT_TRUE(wait_until([&] { return prompts.allUsed() && !w->busy(); }));
    EXPECT_EQ(server.commands().mid(server.commands().indexOf(QStringLiteral("PWD"))),
              (QStringList{"PWD", "TYPE A", server.commands().at(server.commands().indexOf(QStringLiteral("TYPE A")) + 1),
                           "PASV", "EPSV"}));
    EXPECT_EQ(log().count(QStringLiteral("PORTが使えないため、PASVモードに切り替えます。")), 1);
    // Still connected: a typed command goes out and its answer is only logged.
    w->rawCommand_ = true;
    w->sendLine(QStringLiteral("NOOP"));
    EXPECT_TRUE(server.waitForCommand(QStringLiteral("NOOP")));
    EXPECT_TRUE(wait_until([&] { return log().endsWith(QStringLiteral("200 NOOP ok.\r\n")); }));
    EXPECT_EQ(server.commands().count(QStringLiteral("EPSV")), 1);
}

} // namespace
