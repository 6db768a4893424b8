// The test servers themselves: the scripted fake (command log, script,
// split replies, active-mode data both ways, hostile input, reconnection)
// and the real pyftpdlib server the end-to-end tests start.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include "platform/winsock.h"
#include "tests/fake_ftp_server.h"
#include "tests/real_ftp_server.h"
#include "tests/test_support.h"

namespace {

// A control connection as the program holds it: a Winsock that reads every
// arrival and keeps each chunk as it came.
class Client {
public:
    Client()
    {
        QObject::connect(&w, &Winsock::DataArrival, &w, [this](qint64) {
            const QByteArray chunk = w.GetData();
            chunks << chunk;
            got += chunk;
        });
        QObject::connect(&w, &Winsock::CloseEvent, &w, [this] {
            got += w.GetData();
            closed = true;
        });
        QObject::connect(&w, &Winsock::SendComplete, &w, [this] { ++sendsDone; });
    }
    bool open(quint16 port)
    {
        closed = false;
        w.RemoteHost = QStringLiteral("127.0.0.1");
        w.RemotePort = port;
        w.Connect();
        return wait_until([&] { return w.State() == Winsock::sckConnected; });
    }
    // Sends and waits until the bytes have left, so the next send is a
    // separate TCP write.
    bool send(const QByteArray& bytes)
    {
        const int before = sendsDone;
        return w.SendData(bytes) && wait_until([&] { return sendsDone > before; });
    }
    bool waitFor(const QByteArray& text, int ms = 5000)
    {
        return wait_until([&] { return got.contains(text); }, ms);
    }
    Winsock w;
    QByteArray got;
    QList<QByteArray> chunks;
    bool closed = false;
    int sendsDone = 0;
};

QByteArray portCommand(int port)
{
    return QStringLiteral("PORT 127,0,0,1,%1,%2\r\n").arg(port / 256).arg(port % 256).toLatin1();
}

QByteArray payload(int size)
{
    QByteArray b(size, '\0');
    for (int i = 0; i < size; ++i)
        b[i] = char((i * 37 + (i >> 11)) & 0xff);
    return b;
}

} // namespace

TEST(FakeFtpServer, GreetsRecordsEveryCommandLineAndAnswersFromTheScript)
{
    FakeFtpServer server;
    ASSERT_NE(server.port(), 0);
    server.scriptLogin();
    // A later entry for the same command replaces the login script's.
    server.onCommand(QStringLiteral("pwd"), [](FakeFtpServer& s, const QString&) {
        s.replyLine(QStringLiteral("257 \"/home/ユーザー\" is current"));
    });
    Client c;
    ASSERT_TRUE(c.open(server.port()));
    ASSERT_TRUE(c.waitFor("220 fake ready\r\n"));
    ASSERT_TRUE(c.send("USER anonymous\r\nPASS a@b\r\n"));  // two commands, one write
    ASSERT_TRUE(c.send("PW"));                              // one command, three writes
    ASSERT_TRUE(c.send("D\r"));
    ASSERT_TRUE(c.send("\n"));
    ASSERT_TRUE(c.send("XMKD テスト\r\n"));                 // nothing scripted for it
    ASSERT_TRUE(server.waitForCommand(QStringLiteral("xmkd")));
    EXPECT_EQ(server.commands(), (QStringList{QStringLiteral("USER anonymous"), QStringLiteral("PASS a@b"),
                                              QStringLiteral("PWD"), QStringLiteral("XMKD テスト")}));
    EXPECT_EQ(server.rawCommands().at(3), QByteArray("XMKD \xe3\x83\x86\xe3\x82\xb9\xe3\x83\x88"));
    ASSERT_TRUE(c.waitFor("502"));
    EXPECT_EQ(c.got, QByteArray("220 fake ready\r\n"
                                "331 Password required.\r\n"
                                "230 Logged in.\r\n"
                                "257 \"/home/\xe3\x83\xa6\xe3\x83\xbc\xe3\x82\xb6\xe3\x83\xbc\" is current\r\n"
                                "502 Command not implemented.\r\n"));
    server.clearCommands();
    EXPECT_TRUE(server.commands().isEmpty());
}

TEST(FakeFtpServer, SplitReplyArrivesInSeparateChunksAndJoinedRepliesInOne)
{
    FakeFtpServer server;
    server.setGreeting(QByteArray());  // a silent server
    Client c;
    ASSERT_TRUE(c.open(server.port()));
    ASSERT_TRUE(wait_until([&] { return server.controlConnected(); }));
    server.replyInPieces("150 Opening\r\n226 Done\r\n", {3, 9, 5});
    ASSERT_TRUE(c.waitFor("226 Done\r\n"));
    EXPECT_EQ(c.chunks, (QList<QByteArray>{"150", " Opening\r", "\n226 ", "Done\r\n"}));
    c.chunks.clear();
    server.reply("331 a\r\n230 b\r\n");
    ASSERT_TRUE(c.waitFor("230 b\r\n"));
    EXPECT_EQ(c.chunks, QList<QByteArray>{"331 a\r\n230 b\r\n"});
}

TEST(FakeFtpServer, ActiveModeDataFlowsBothWaysThroughAWinsockListener)
{
    FakeFtpServer server;
    server.scriptLogin();
    const QByteArray download = payload(700 * 1024 + 3);
    server.onCommand(QStringLiteral("RETR"), [&](FakeFtpServer& s, const QString&) {
        s.replyLine(QStringLiteral("150 Opening BINARY mode data connection"));
        if (!s.connectData()) {
            s.replyLine(QStringLiteral("425 Can't open data connection"));
            return;
        }
        s.sendDataInPieces(download, {100, 4000});
        s.waitDataClosed();
        s.replyLine(QStringLiteral("226 Transfer complete"));
    });
    server.onCommand(QStringLiteral("STOR"), [](FakeFtpServer& s, const QString&) {
        s.replyLine(QStringLiteral("150 Ok to send data"));
        if (!s.connectData()) {
            s.replyLine(QStringLiteral("425 Can't open data connection"));
            return;
        }
        s.waitDataClosed(15000);
        s.replyLine(QStringLiteral("226 Transfer complete"));
    });

    Client ctl;
    ASSERT_TRUE(ctl.open(server.port()));
    ASSERT_TRUE(ctl.waitFor("220"));

    // The data side as the program drives it.
    Winsock data;
    QByteArray downloaded, upload;
    bool dataClosed = false;
    QObject::connect(&data, &Winsock::ConnectionRequest, &data, [&](int id) {
        data.Close();
        data.Accept(id);
        if (!upload.isEmpty())
            data.SendData(upload);
    });
    QObject::connect(&data, &Winsock::DataArrival, &data, [&](qint64) { downloaded += data.GetData(); });
    QObject::connect(&data, &Winsock::CloseEvent, &data, [&] {
        downloaded += data.GetData();
        dataClosed = true;
        data.Close();
    });
    QObject::connect(&data, &Winsock::SendComplete, &data, [&] { data.Close(); });

    data.LocalPort = 0;
    ASSERT_TRUE(data.Listen());
    ASSERT_TRUE(ctl.send(portCommand(data.LocalPort) + "RETR big.bin\r\n"));
    ASSERT_TRUE(ctl.waitFor("226 Transfer complete\r\n", 15000));
    EXPECT_EQ(server.dataHost(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(server.dataPort(), data.LocalPort);
    ASSERT_TRUE(wait_until([&] { return dataClosed; }));
    EXPECT_EQ(downloaded.size(), download.size());
    EXPECT_TRUE(downloaded == download);

    upload = payload(300 * 1024 + 11);
    ctl.got.clear();
    data.LocalPort = 0;
    ASSERT_TRUE(data.Listen());
    ASSERT_TRUE(ctl.send(portCommand(data.LocalPort) + "STOR up.bin\r\n"));
    ASSERT_TRUE(ctl.waitFor("226 Transfer complete\r\n", 15000));
    EXPECT_EQ(server.receivedData().size(), upload.size());
    EXPECT_TRUE(server.receivedData() == upload);
    EXPECT_EQ(server.commands().last(), QStringLiteral("STOR up.bin"));
}

TEST(FakeFtpServer, ConnectDataNeedsAUsablePortCommand)
{
    FakeFtpServer server;
    server.scriptLogin();
    EXPECT_FALSE(server.connectData(1000));  // no PORT yet
    Client c;
    ASSERT_TRUE(c.open(server.port()));
    ASSERT_TRUE(c.send("PORT 127,0,0,1,300,1\r\n"));  // a byte out of range
    ASSERT_TRUE(server.waitForCommand(QStringLiteral("PORT")));
    EXPECT_EQ(server.dataPort(), 0);
    EXPECT_FALSE(server.connectData(1000));
    // A well-formed PORT naming a port nobody listens on.
    QTcpServer gone;
    ASSERT_TRUE(gone.listen(QHostAddress::LocalHost, 0));
    const quint16 port = gone.serverPort();
    gone.close();
    ASSERT_TRUE(c.send(portCommand(port)));
    ASSERT_TRUE(server.waitForCommandCount(QStringLiteral("PORT"), 2));
    EXPECT_EQ(server.dataPort(), port);
    EXPECT_FALSE(server.connectData(3000));
}

TEST(FakeFtpServer, SurvivesAHugeLineAndKeepsServing)
{
    FakeFtpServer server;
    server.scriptLogin();
    Client c;
    ASSERT_TRUE(c.open(server.port()));
    ASSERT_TRUE(c.waitFor("220"));
    ASSERT_TRUE(c.send(QByteArray(1024 * 1024, 'A')));  // no line end for a long while
    ASSERT_TRUE(c.send("\r\nNOOP\r\n"));
    ASSERT_TRUE(server.waitForCommand(QStringLiteral("NOOP")));
    ASSERT_EQ(server.commands().size(), 2);
    EXPECT_EQ(server.rawCommands().at(0), QByteArray(FakeFtpServer::kMaxLine, 'A'));
    EXPECT_EQ(server.commands().at(1), QStringLiteral("NOOP"));
    ASSERT_TRUE(c.waitFor("200 NOOP ok.\r\n"));
    EXPECT_TRUE(server.controlConnected());
}

TEST(FakeFtpServer, AcceptsAReconnectionAfterDroppingTheControlConnection)
{
    FakeFtpServer server;
    server.scriptLogin();
    server.setGreeting("220-first line\r\n220 second line\r\n");
    Client c;
    ASSERT_TRUE(c.open(server.port()));
    ASSERT_TRUE(c.waitFor("220 second line\r\n"));
    server.reply("421 Timeout.\r\n");
    server.dropControl();
    ASSERT_TRUE(wait_until([&] { return c.closed; }));
    EXPECT_TRUE(c.got.endsWith("421 Timeout.\r\n"));  // replies written before the drop arrive
    EXPECT_FALSE(server.controlConnected());
    c.w.Close();
    c.got.clear();
    ASSERT_TRUE(c.open(server.port()));
    ASSERT_TRUE(c.waitFor("220 second line\r\n"));
    EXPECT_EQ(server.connectionCount(), 2);
    ASSERT_TRUE(c.send("QUIT\r\n"));
    ASSERT_TRUE(wait_until([&] { return c.closed; }));
    EXPECT_TRUE(c.got.endsWith("221 Goodbye.\r\n"));
}

TEST(RealFtpServer, StartsAndGreetsAWinsockThatCanLogIn)
{
    RealFtpServer ftp;
    ASSERT_TRUE(ftp.start()) << qPrintable(ftp.errorText());
    EXPECT_TRUE(QFileInfo(ftp.root()).isDir());
    EXPECT_TRUE(ftp.errorText().isEmpty());
    Client c;
    ASSERT_TRUE(c.open(ftp.port()));
    ASSERT_TRUE(c.waitFor("\r\n"));
    EXPECT_TRUE(c.got.startsWith("220")) << c.got.constData();
    ASSERT_TRUE(c.send("USER " + ftp.user().toUtf8() + "\r\n"));
    ASSERT_TRUE(c.waitFor("331"));
    ASSERT_TRUE(c.send("PASS " + ftp.password().toUtf8() + "\r\n"));
    ASSERT_TRUE(c.waitFor("230")) << c.got.constData();
    // Its root is the temporary folder: a file put there is listed by size.
    QFile f(ftp.root() + QStringLiteral("/hello.txt"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("12345");
    f.close();
    ASSERT_TRUE(c.send("TYPE I\r\nSIZE hello.txt\r\n"));
    ASSERT_TRUE(c.waitFor("213 5\r\n")) << c.got.constData();

    const quint16 port = ftp.port();
    ftp.stop();
    EXPECT_FALSE(ftp.running());
    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(wait_until([&] { return probe.state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_EQ(probe.error(), QAbstractSocket::ConnectionRefusedError);
}

TEST(RealFtpServer, ExplainsWhyItCannotStart)
{
    RealFtpServer missing;
    missing.setInterpreter(QStringLiteral("/nonexistent/python3"));
    EXPECT_FALSE(missing.start());
    EXPECT_TRUE(missing.errorText().contains(QLatin1String("/nonexistent/python3")));

    // An interpreter that cannot see the module (no site packages), like a
    // machine without python3-pyftpdlib.
    QTemporaryDir bin;
    ASSERT_TRUE(bin.isValid());
    const QString script = bin.filePath(QStringLiteral("python3"));
    QFile f(script);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("#!/bin/sh\nexec /usr/bin/python3 -S \"$@\"\n");
    f.close();
    ASSERT_TRUE(f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    RealFtpServer noModule;
    noModule.setInterpreter(script);
    EXPECT_FALSE(noModule.start(10000));
    EXPECT_TRUE(noModule.errorText().contains(QLatin1String("python3-pyftpdlib"))) << qPrintable(noModule.errorText());
    EXPECT_FALSE(noModule.running());
}
