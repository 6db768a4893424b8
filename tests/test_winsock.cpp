// The socket control: state numbers, the order and delivery of its queued
// events, listening and accepting the classic way, sending, and what it does
// when used in the wrong state.
#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <memory>

#include "platform/winsock.h"
#include "tests/test_support.h"

namespace {

// Writes every event of a control into one ordered log.
class Recorder : public QObject {
public:
    explicit Recorder(Winsock& w)
    {
        connect(&w, &Winsock::ConnectEvent, this, [this] { log << QStringLiteral("connect"); });
        connect(&w, &Winsock::DataArrival, this, [this](qint64) { log << QStringLiteral("data"); });
        connect(&w, &Winsock::CloseEvent, this, [this] { log << QStringLiteral("close"); });
        connect(&w, &Winsock::Error, this, [this](int number, const QString& text) {
            log << QStringLiteral("error %1").arg(number);
            errorText = text;
        });
        connect(&w, &Winsock::ConnectionRequest, this, [this](int id) {
            log << QStringLiteral("request");
            requests << id;
        });
        connect(&w, &Winsock::SendProgress, this, [this](qint64 sent, qint64 remaining) {
            log << QStringLiteral("progress");
            progressSent += sent;
            lastRemaining = remaining;
        });
        connect(&w, &Winsock::SendComplete, this, [this] { log << QStringLiteral("complete"); });
    }
    bool saw(const QString& what) const { return log.contains(what); }
    QStringList log;
    QString errorText;
    QList<int> requests;
    qint64 progressSent = 0;
    qint64 lastRemaining = -1;
};

quint16 unusedPort()
{
    QTcpServer s;
    EXPECT_TRUE(s.listen(QHostAddress::LocalHost, 0));
    return s.serverPort();
}

QByteArray payload(int size)
{
    QByteArray b(size, '\0');
    for (int i = 0; i < size; ++i)
        b[i] = char((i * 131 + (i >> 9)) & 0xff);
    return b;
}

// A peer on 127.0.0.1 that a Winsock connects to; peer() is the accepted end.
class WinsockPeer : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(listener.listen(QHostAddress::LocalHost, 0)); }
    // Connects w to the listener and returns once both ends are up.
    void connectUp(Winsock& w, Recorder& ev)
    {
        w.RemoteHost = QStringLiteral("127.0.0.1");
        w.RemotePort = listener.serverPort();
        w.Connect();
        ASSERT_TRUE(wait_until([&] { return ev.saw(QStringLiteral("connect")) && listener.hasPendingConnections(); }));
        peerSocket.reset(listener.nextPendingConnection());
        peerSocket->setParent(nullptr);
        QObject::connect(peerSocket.get(), &QTcpSocket::readyRead, peerSocket.get(),
                         [this] { fromClient += peerSocket->readAll(); });
    }
    QTcpSocket* peer() { return peerSocket.get(); }
    QTcpServer listener;
    std::unique_ptr<QTcpSocket> peerSocket;
    QByteArray fromClient;
};

} // namespace

TEST(WinsockConnect, ConnectsByNameOverIPv4AndReportsTheLocalAddress)
{
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    Winsock w;
    Recorder ev(w);
    EXPECT_EQ(w.State(), Winsock::sckClosed);
    w.RemoteHost = QStringLiteral("localhost");
    w.RemotePort = server.serverPort();
    w.Connect();
    EXPECT_EQ(w.State(), Winsock::sckConnecting);  // never finished inside Connect()
    ASSERT_TRUE(wait_until([&] { return !ev.log.isEmpty(); }));
    EXPECT_EQ(ev.log, QStringList{QStringLiteral("connect")});
    EXPECT_EQ(w.State(), Winsock::sckConnected);
    EXPECT_EQ(w.LocalIP(), QStringLiteral("127.0.0.1"));  // usable in a PORT command
    w.Close();
    EXPECT_EQ(w.State(), Winsock::sckClosed);
    EXPECT_EQ(w.LocalIP(), QString());
}

TEST(WinsockConnect, RefusedConnectionIsError10061InState9)
{
    Winsock w;
    Recorder ev(w);
    w.RemoteHost = QStringLiteral("127.0.0.1");
    w.RemotePort = unusedPort();
    w.Connect();
    ASSERT_TRUE(wait_until([&] { return !ev.log.isEmpty(); }));
    EXPECT_EQ(ev.log, QStringList{QStringLiteral("error 10061")});
    EXPECT_FALSE(ev.errorText.isEmpty());
    EXPECT_EQ(w.State(), Winsock::sckError);
    EXPECT_FALSE(w.SendData("x"));
    w.Close();
    EXPECT_EQ(w.State(), Winsock::sckClosed);
}

TEST(WinsockConnect, MissingHostOrBadPortIsAnErrorEventNotACrash)
{
    Winsock w;
    Recorder ev(w);
    w.RemoteHost = QStringLiteral("  ");
    w.RemotePort = 21;
    w.Connect();
    ASSERT_TRUE(wait_until([&] { return ev.log.size() == 1; }));
    EXPECT_EQ(ev.log.at(0), QStringLiteral("error 11001"));
    EXPECT_EQ(w.State(), Winsock::sckError);

    w.RemoteHost = QStringLiteral("127.0.0.1");
    for (int port : {0, 70000, -5}) {
        ev.log.clear();
        w.RemotePort = port;
        w.Connect();
        ASSERT_TRUE(wait_until([&] { return ev.log.size() == 1; })) << port;
        EXPECT_EQ(ev.log.at(0), QStringLiteral("error 10049")) << port;
        EXPECT_EQ(w.State(), Winsock::sckError);
    }
}

TEST(WinsockConnect, EventsOfAnAbandonedAttemptAreNeverDelivered)
{
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    Winsock w;
    Recorder ev(w);
    // The first attempt's error is already queued when the second starts.
    w.RemoteHost = QString();
    w.Connect();
    w.RemoteHost = QStringLiteral("127.0.0.1");
    w.RemotePort = server.serverPort();
    w.Connect();
    ASSERT_TRUE(wait_until([&] { return ev.saw(QStringLiteral("connect")); }));
    EXPECT_EQ(ev.log, QStringList{QStringLiteral("connect")});

    // A failed Listen queues its error; Close() before the loop turns drops it.
    QTcpServer holder;
    ASSERT_TRUE(holder.listen(QHostAddress::AnyIPv4, 0));
    ev.log.clear();
    w.LocalPort = holder.serverPort();
    EXPECT_FALSE(w.Listen());
    EXPECT_EQ(w.State(), Winsock::sckError);
    w.Close();
    // A marker queued after the Close comes out first if nothing stale is left.
    bool marker = false;
    QMetaObject::invokeMethod(&w, [&] { marker = true; }, Qt::QueuedConnection);
    ASSERT_TRUE(wait_until([&] { return marker; }));
    QCoreApplication::processEvents();
    EXPECT_TRUE(ev.log.isEmpty()) << qPrintable(ev.log.join(QLatin1Char(',')));
}

TEST_F(WinsockPeer, PeerCloseIsState8UntilClose)
{
    Winsock w;
    Recorder ev(w);
    connectUp(w, ev);
    peer()->disconnectFromHost();
    ASSERT_TRUE(wait_until([&] { return ev.saw(QStringLiteral("close")); }));
    EXPECT_EQ(ev.log, (QStringList{QStringLiteral("connect"), QStringLiteral("close")}));  // not an error
    EXPECT_EQ(w.State(), Winsock::sckClosing);
    EXPECT_FALSE(w.SendData("too late\r\n"));
    EXPECT_EQ(w.State(), Winsock::sckClosing);
    w.Close();
    EXPECT_EQ(w.State(), Winsock::sckClosed);
}

TEST_F(WinsockPeer, BytesSentTogetherWithTheCloseAreAllDeliveredBeforeCloseEvent)
{
    const QByteArray sent = payload(300 * 1024);
    for (bool readOnArrival : {true, false}) {
        SCOPED_TRACE(readOnArrival ? "reads on arrival" : "reads only at close");
        Winsock w;
        Recorder ev(w);
        QByteArray got;
        qint64 waitingAtClose = -1;
        bool arrivalMatchedWaiting = true;
        QObject::connect(&w, &Winsock::DataArrival, &ev, [&](qint64 total) {
            arrivalMatchedWaiting = arrivalMatchedWaiting && total == w.BytesReceived();
            if (readOnArrival)
                got += w.GetData();
        });
        QObject::connect(&w, &Winsock::CloseEvent, &ev, [&] {
            waitingAtClose = w.BytesReceived();
            got += w.GetData();
        });
        connectUp(w, ev);
        peer()->write(sent);
        peer()->disconnectFromHost();  // at once: data and FIN back to back
        ASSERT_TRUE(wait_until([&] { return ev.saw(QStringLiteral("close")); }));
        QCoreApplication::processEvents();
        EXPECT_EQ(got.size(), sent.size());
        EXPECT_TRUE(got == sent);
        EXPECT_TRUE(arrivalMatchedWaiting);
        EXPECT_EQ(ev.log.count(QStringLiteral("close")), 1);
        EXPECT_EQ(ev.log.last(), QStringLiteral("close"));  // nothing after it
        EXPECT_GE(ev.log.count(QStringLiteral("data")), 1);
        if (!readOnArrival) {
            EXPECT_EQ(waitingAtClose, sent.size());
        }
        EXPECT_EQ(w.State(), Winsock::sckClosing);
        peerSocket.reset();
    }
}

TEST_F(WinsockPeer, HandlerRunningANestedLoopStillGetsLaterData)
{
    // A handler that opens a modal dialog runs a nested event loop; data that
    // comes meanwhile must still be announced.
    Winsock w;
    Recorder ev(w);
    connectUp(w, ev);
    QByteArray got;
    int calls = 0;
    QEventLoop* nested = nullptr;
    bool sawSecondInside = false;
    QObject::connect(&w, &Winsock::DataArrival, &ev, [&](qint64) {
        ++calls;
        got += w.GetData();
        if (nested) {
            nested->quit();
            return;
        }
        if (calls != 1)
            return;
        QEventLoop loop;
        QTimer bound;
        bound.setSingleShot(true);
        QObject::connect(&bound, &QTimer::timeout, &loop, &QEventLoop::quit);
        bound.start(5000);
        QTimer::singleShot(0, peer(), [this] {
            peer()->write("second");
            peer()->flush();
        });
        nested = &loop;
        loop.exec();
        nested = nullptr;
        sawSecondInside = got.endsWith("second");
    });
    peer()->write("first");
    ASSERT_TRUE(wait_until([&] { return calls >= 2; }));
    EXPECT_TRUE(sawSecondInside);
    EXPECT_EQ(got, QByteArray("firstsecond"));
    // And the conversation goes on after the dialog closed.
    peer()->write("third");
    ASSERT_TRUE(wait_until([&] { return got.endsWith("third"); }));
    EXPECT_EQ(got, QByteArray("firstsecondthird"));
}

TEST_F(WinsockPeer, NothingIsDeliveredAfterClose)
{
    Winsock w;
    Recorder ev(w);
    connectUp(w, ev);
    // The handler lets the socket run (one pass at a time, so what it posts
    // stays queued) until the peer's close is known, then closes: the
    // CloseEvent already waiting in the queue must not come out.
    qsizetype logAtClose = -1;
    bool inside = false;
    QObject::connect(&w, &Winsock::DataArrival, &ev, [&](qint64) {
        if (inside || logAtClose >= 0)
            return;
        inside = true;
        QDeadlineTimer bound(5000);
        while (w.State() != Winsock::sckClosing && !bound.hasExpired())
            QCoreApplication::processEvents();
        inside = false;
        logAtClose = ev.log.size();
        w.Close();
    });
    peer()->write(payload(200 * 1024));
    peer()->disconnectFromHost();
    ASSERT_TRUE(wait_until([&] { return logAtClose >= 0; }));
    ASSERT_TRUE(wait_until([&] { return peer()->state() == QAbstractSocket::UnconnectedState; }));
    bool marker = false;
    QMetaObject::invokeMethod(&w, [&] { marker = true; }, Qt::QueuedConnection);
    ASSERT_TRUE(wait_until([&] { return marker; }));
    EXPECT_EQ(ev.log.size(), logAtClose) << qPrintable(ev.log.join(QLatin1Char(',')));
    EXPECT_FALSE(ev.saw(QStringLiteral("close")));
    EXPECT_EQ(w.State(), Winsock::sckClosed);
    EXPECT_EQ(w.BytesReceived(), 0);
    EXPECT_TRUE(w.GetData().isEmpty());
}

TEST_F(WinsockPeer, MegabyteArrivesIntactAndSendCompleteFollowsTheLastProgressOnce)
{
    Winsock w;
    Recorder ev(w);
    connectUp(w, ev);
    // Two sends queued back to back: one completion, after both.
    const QByteArray sent = payload(1024 * 1024);
    ASSERT_TRUE(w.SendData(sent.left(300 * 1024)));
    ASSERT_TRUE(w.SendData(sent.mid(300 * 1024)));
    ASSERT_TRUE(wait_until([&] { return ev.saw(QStringLiteral("complete")) && fromClient.size() >= sent.size(); }, 15000));
    QCoreApplication::processEvents();
    EXPECT_TRUE(fromClient == sent);
    EXPECT_EQ(ev.log.count(QStringLiteral("complete")), 1);
    EXPECT_EQ(ev.log.last(), QStringLiteral("complete"));
    EXPECT_GE(ev.log.count(QStringLiteral("progress")), 1);
    EXPECT_EQ(ev.progressSent, sent.size());
    EXPECT_EQ(ev.lastRemaining, 0);
    // An empty send owes a completion too, or a caller waiting for it hangs.
    ev.log.clear();
    ASSERT_TRUE(w.SendData(QByteArray()));
    ASSERT_TRUE(wait_until([&] { return ev.saw(QStringLiteral("complete")); }));
}

// A sender of small blocks that the system takes at once pays one event
// per turn of the event loop, not one per block.
TEST_F(WinsockPeer, BlocksTakenAtOnceAreReportedTogetherInTheNextTurn)
{
    Winsock w;
    Recorder ev(w);
    connectUp(w, ev);
    const QByteArray sent = payload(32 * 1024);
    for (int at = 0; at < sent.size(); at += 1024) {
        ASSERT_TRUE(w.SendData(sent.mid(at, 1024)));
        ASSERT_EQ(w.BytesToSend(), 0);   // taken by the system already
    }
    const qsizetype before = ev.log.size();
    ASSERT_TRUE(wait_until([&] { return ev.saw(QStringLiteral("complete")) && fromClient.size() == sent.size(); }));
    EXPECT_EQ(ev.log.mid(before), (QStringList{"progress", "complete"}));
    EXPECT_EQ(ev.progressSent, sent.size());
    EXPECT_TRUE(fromClient == sent);
}

TEST_F(WinsockPeer, CloseRightAfterSendDataStillDeliversEveryByteThenTheClose)
{
    // An upload that closes as soon as it has queued the last block.
    Winsock w;
    Recorder ev(w);
    connectUp(w, ev);
    const QByteArray sent = payload(2 * 1024 * 1024 + 17);
    ASSERT_TRUE(w.SendData(sent));
    w.Close();
    EXPECT_EQ(w.State(), Winsock::sckClosed);
    ASSERT_TRUE(wait_until([&] { return peer()->state() == QAbstractSocket::UnconnectedState; }, 15000));
    fromClient += peer()->readAll();
    EXPECT_EQ(fromClient.size(), sent.size());
    EXPECT_TRUE(fromClient == sent);
    EXPECT_EQ(ev.log, QStringList{QStringLiteral("connect")});  // no progress after Close
}

TEST(WinsockListen, SystemChosenPortAndTheClassicCloseThenAcceptKeepTheConnection)
{
    Winsock w;
    Recorder ev(w);
    w.LocalPort = 0;
    ASSERT_TRUE(w.Listen());
    EXPECT_EQ(w.State(), Winsock::sckListening);
    ASSERT_GT(w.LocalPort, 0);
    int stateInHandler = -1;
    QObject::connect(&w, &Winsock::ConnectionRequest, &ev, [&](int id) {
        stateInHandler = w.State();
        if (w.State() != Winsock::sckClosed)
            w.Close();
        w.Accept(id);
    });
    QByteArray got;
    QObject::connect(&w, &Winsock::DataArrival, &ev, [&](qint64) { got += w.GetData(); });

    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, quint16(w.LocalPort));
    ASSERT_TRUE(wait_until([&] { return ev.saw(QStringLiteral("request")); }));
    EXPECT_EQ(stateInHandler, Winsock::sckListening);
    EXPECT_EQ(w.State(), Winsock::sckConnected);
    EXPECT_EQ(w.LocalIP(), QStringLiteral("127.0.0.1"));
    client.write("hello");
    ASSERT_TRUE(wait_until([&] { return got == "hello"; }));
    ASSERT_TRUE(w.SendData("back"));
    ASSERT_TRUE(wait_until([&] { return client.bytesAvailable() >= 4; }));
    EXPECT_EQ(client.readAll(), QByteArray("back"));
    EXPECT_FALSE(ev.saw(QStringLiteral("connect")));  // accepting is not connecting
    EXPECT_FALSE(ev.log.join(QLatin1Char(',')).contains(QLatin1String("error")));
}

TEST(WinsockListen, ConnectionThatSentAndClosedBeforeAcceptDeliversItsBytes)
{
    // A server sends a short listing over the data connection and closes it
    // before the client has even accepted.
    Winsock w;
    Recorder ev(w);
    ASSERT_TRUE(w.Listen());
    QTcpSocket client;
    QByteArray got;
    QObject::connect(&w, &Winsock::ConnectionRequest, &ev, [&](int id) {
        wait_until([&] { return client.state() == QAbstractSocket::UnconnectedState; }, 3000);
        w.Close();
        w.Accept(id);
    });
    QObject::connect(&w, &Winsock::DataArrival, &ev, [&](qint64) { got += w.GetData(); });
    QObject::connect(&w, &Winsock::CloseEvent, &ev, [&] { got += w.GetData(); });
    QObject::connect(&client, &QTcpSocket::connected, &client, [&] {
        client.write("drwxr-xr-x 2 u g 4096 Dec 07 10:00 pub\r\n");
        client.disconnectFromHost();
    });
    client.connectToHost(QHostAddress::LocalHost, quint16(w.LocalPort));
    ASSERT_TRUE(wait_until([&] { return ev.saw(QStringLiteral("close")); }));
    EXPECT_EQ(got, QByteArray("drwxr-xr-x 2 u g 4096 Dec 07 10:00 pub\r\n"));
    EXPECT_EQ(ev.log, (QStringList{QStringLiteral("request"), QStringLiteral("data"), QStringLiteral("close")}));
    EXPECT_EQ(w.State(), Winsock::sckClosing);
}

TEST(WinsockListen, AcceptTakesOneWaitingConnectionAndTurnsTheOthersAway)
{
    Winsock w;
    Recorder ev(w);
    ASSERT_TRUE(w.Listen());
    QTcpSocket first, second;
    first.connectToHost(QHostAddress::LocalHost, quint16(w.LocalPort));
    ASSERT_TRUE(wait_until([&] { return ev.requests.size() == 1; }));
    second.connectToHost(QHostAddress::LocalHost, quint16(w.LocalPort));
    ASSERT_TRUE(wait_until([&] { return ev.requests.size() == 2; }));
    w.Close();
    w.Accept(ev.requests.at(0));
    EXPECT_EQ(w.State(), Winsock::sckConnected);
    ASSERT_TRUE(wait_until([&] { return second.state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_EQ(first.state(), QAbstractSocket::ConnectedState);
    ASSERT_TRUE(w.SendData("ok"));
    ASSERT_TRUE(wait_until([&] { return first.bytesAvailable() >= 2; }));
    EXPECT_EQ(first.readAll(), QByteArray("ok"));
    // The one turned away can no longer be taken.
    Winsock other;
    Recorder otherEv(other);
    other.Accept(ev.requests.at(1));
    ASSERT_TRUE(wait_until([&] { return !otherEv.log.isEmpty(); }));
    EXPECT_EQ(otherEv.log, QStringList{QStringLiteral("error 40006")});
}

TEST(WinsockListen, DeclinedConnectionIsClosedForThePeer)
{
    Winsock w;
    Recorder ev(w);
    ASSERT_TRUE(w.Listen());
    int declined = 0;
    QObject::connect(&w, &Winsock::ConnectionRequest, &ev, [&](int id) {
        declined = id;
        w.Close();  // no Accept: the transfer was cancelled
    });
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, quint16(w.LocalPort));
    ASSERT_TRUE(wait_until([&] { return declined != 0; }));
    ASSERT_TRUE(wait_until([&] { return client.state() == QAbstractSocket::UnconnectedState; }));
    // Too late to take it now.
    ev.log.clear();
    w.Accept(declined);
    ASSERT_TRUE(wait_until([&] { return !ev.log.isEmpty(); }));
    EXPECT_EQ(ev.log, QStringList{QStringLiteral("error 40006")});
    EXPECT_EQ(w.State(), Winsock::sckError);
}

TEST(WinsockListen, PortInUseIsError10048AndTheControlRecovers)
{
    QTcpServer holder;
    ASSERT_TRUE(holder.listen(QHostAddress::AnyIPv4, 0));
    Winsock w;
    Recorder ev(w);
    w.LocalPort = holder.serverPort();
    EXPECT_FALSE(w.Listen());
    EXPECT_EQ(w.State(), Winsock::sckError);
    ASSERT_TRUE(wait_until([&] { return !ev.log.isEmpty(); }));
    EXPECT_EQ(ev.log, QStringList{QStringLiteral("error 10048")});
    EXPECT_FALSE(ev.errorText.isEmpty());
    w.Close();
    w.LocalPort = 0;
    EXPECT_TRUE(w.Listen());
    EXPECT_EQ(w.State(), Winsock::sckListening);
    EXPECT_NE(w.LocalPort, int(holder.serverPort()));
}

TEST(WinsockRobustness, EveryOperationIsHarmlessInTheWrongState)
{
    auto w = std::make_unique<Winsock>();
    Recorder ev(*w);
    EXPECT_EQ(w->State(), Winsock::sckClosed);
    EXPECT_TRUE(w->GetData().isEmpty());
    EXPECT_FALSE(w->SendData("x"));
    EXPECT_EQ(w->BytesReceived(), 0);
    EXPECT_EQ(w->LocalIP(), QString());
    w->Close();
    w->Close();
    EXPECT_EQ(w->State(), Winsock::sckClosed);

    w->Accept(4711);
    ASSERT_TRUE(wait_until([&] { return !ev.log.isEmpty(); }));
    EXPECT_EQ(ev.log, QStringList{QStringLiteral("error 40006")});
    EXPECT_EQ(w->State(), Winsock::sckError);

    // Listening is not connected; connecting drops the listener.
    w->LocalPort = 0;
    ASSERT_TRUE(w->Listen());
    const quint16 listened = quint16(w->LocalPort);
    EXPECT_FALSE(w->SendData("x"));
    EXPECT_TRUE(w->GetData().isEmpty());
    w->RemoteHost = QStringLiteral("127.0.0.1");
    w->RemotePort = unusedPort();
    w->Connect();
    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, listened);
    ASSERT_TRUE(wait_until([&] { return probe.state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_EQ(probe.error(), QAbstractSocket::ConnectionRefusedError);

    // Destroyed with an event still queued.
    w->RemoteHost.clear();
    w->Connect();
    w.reset();
    bool marker = false;
    QTimer::singleShot(0, [&] { marker = true; });
    EXPECT_TRUE(wait_until([&] { return marker; }));
}

TEST(WinsockErrors, QtErrorsMapToTheClassicNumbers)
{
    using S = QAbstractSocket;
    EXPECT_EQ(Winsock::errorNumber(S::ConnectionRefusedError, QString()), 10061);
    EXPECT_EQ(Winsock::errorNumber(S::HostNotFoundError, QStringLiteral("Host not found")), 11001);
    EXPECT_EQ(Winsock::errorNumber(S::SocketTimeoutError, QStringLiteral("Connection timed out")), 10060);
    EXPECT_EQ(Winsock::errorNumber(S::AddressInUseError, QString()), 10048);
    EXPECT_EQ(Winsock::errorNumber(S::SocketAccessError, QString()), 10013);
    // Qt folds these system errors into NetworkError; only the text tells.
    EXPECT_EQ(Winsock::errorNumber(S::NetworkError, QStringLiteral("Connection timed out")), 10060);
    EXPECT_EQ(Winsock::errorNumber(S::NetworkError, QStringLiteral("Host unreachable")), 10065);
    EXPECT_EQ(Winsock::errorNumber(S::NetworkError, QStringLiteral("Network unreachable")), 10051);
    EXPECT_EQ(Winsock::errorNumber(S::NetworkError, QStringLiteral("The bound address is already in use")), 10048);
    EXPECT_EQ(Winsock::errorNumber(S::NetworkError, QStringLiteral("something else")), 10053);
}
