// Commands that cross a running operation: they are refused while it runs,
// and nothing of an operation (its step, its overwrite choice, its same-name
// question, its target folder) outlives its end or moves with the user's
// browsing. Connecting anew goes ahead only when the user agrees.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>

#include <sys/stat.h>

#include "ftp/raw_command_dialog.h"
#include "ftp/retry_dialog.h"
#include "servers/quick_connect_dialog.h"
#include "tests/fake_tree.h"
#include "tests/ftp_fixture.h"
#include "tests/list_helpers.h"
#include "transfer/same_name_dialog.h"

namespace {

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// "a\b.txt" cannot be a local name; listed first, a batch fetches it last.
const QByteArray RootListing = listing_line('-', 3, "a\\b.txt") + listing_line('-', 60000, "a.bin") +
                               listing_line('-', 3, "c.txt") + listing_line('-', 1, "same.txt") +
                               listing_line('d', 0, "pub");
const QString Busy = QStringLiteral("」の実行中です。終わるまで待つか、「中断」してから操作してください。");
const QString NewConnection = QStringLiteral("ｻｰﾊﾞｰに接続中です。切断して接続しますか？");
const QString Finished = QStringLiteral("転送終了しました。");

class Crossing : public FtpFixture {
protected:
    void TearDown() override
    {
        Form13::Over_write = false;
        Form12::TickMs = 1000;
    }

    // Logged in to the tree with the scratch folder on the local side.
    void start()
    {
        tree = std::make_unique<FakeTree>(
            server, QMap<QString, QByteArray>{{QStringLiteral("/"), RootListing},
                                              {QStringLiteral("/pub"), listing_line('-', 1, "same.txt")}});
        tree->files.insert(QStringLiteral("/a.bin"), content);
        tree->files.insert(QStringLiteral("/c.txt"), "new");
        connectToFake();
        ASSERT_TRUE(wait_until([&] { return tree->listings() >= 1 && w->ListView1->count() > 0 && usable(); }))
            << server.commands().join(u'|').toStdString();
    }
    // Connected, nothing running, ready for the next command.
    bool usable()
    {
        return w->Winsock1->State() == Winsock::sckConnected && !w->busy() && w->ループ回数 == 0 &&
               w->Winsock2->State() == Winsock::sckListening && w->toolbarButton(6)->isEnabled();
    }
    void writeLocal(const QString& name, const QByteArray& bytes)
    {
        QFile f(local + u'/' + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    // The local side shows this folder below the scratch folder.
    void showLocal(const QString& sub)
    {
        ASSERT_TRUE(QDir(local).mkpath(sub));
        w->現在のローカルパス = drives::from_native(local + u'/' + sub).mid(2);
        w->Local_list();
    }
    Form13* question() { return w->findChild<Form13*>(); }
    bool asking() { return question() && question()->isVisible(); }
    qsizetype sent(const QString& prefix) { return server.commands().filter(QRegularExpression(u'^' + prefix)).size(); }
    // The file (written unless it exists) alone selected in the local list.
    void pickLocal(const QString& name, const QByteArray& bytes = "u")
    {
        if (!QFileInfo::exists(local + u'/' + name))
            writeLocal(name, bytes);
        w->Local_list();
        select_by_name(w->ListView2, {name});
    }
    // The same-name question for an upload of same.txt, or a download of c.txt.
    void askAboutUpload()
    {
        pickLocal(QStringLiteral("same.txt"));
        w->Mupload_Click();
        ASSERT_TRUE(wait_until([&] { return asking(); }));
    }
    void askAboutDownload()
    {
        writeLocal(QStringLiteral("c.txt"), "mine");
        select_by_name(w->ListView1, {QStringLiteral("c.txt")});
        w->MDOWN_Click();
        ASSERT_TRUE(wait_until([&] { return asking(); }));
    }
    bool downloaded() { return wait_until([&] { return log().contains(Finished) && usable(); }); }

    // a.bin starts to arrive and stops halfway with its data connection open.
    void startHeldDownload()
    {
        server.onCommand(QStringLiteral("RETR"), [this](FakeFtpServer& s, const QString&) {
            s.reply("150 Opening BINARY mode data connection.\r\n");
            ASSERT_TRUE(s.connectData());
            s.sendData(content.left(30000), false);
        });
        select_by_name(w->ListView1, {QStringLiteral("a.bin")});
        w->MDOWN_Click();
        ASSERT_TRUE(wait_until([&] { return w->fCount > 1; }));   // its first block has arrived
    }
    void finishHeldDownload()
    {
        server.sendData(content.mid(30000));
        ASSERT_TRUE(server.waitDataClosed());
        server.reply("226 Transfer complete.\r\n");
        ASSERT_TRUE(downloaded());
        EXPECT_EQ(contents(local + QStringLiteral("/a.bin")), content);
    }
    // Asks the quick-connect window for the server at port.
    void quickConnect(quint16 port, bool asked = true)
    {
        w->connect_Click();
        Form3* f = w->findChild<Form3*>();
        ASSERT_TRUE(f);
        f->Text1->setText(QStringLiteral("127.0.0.1:") + QString::number(port));
        f->Text2->setText(QStringLiteral("bob"));
        f->Text3->setText(QStringLiteral("pw"));
        if (asked)
            prompts.expect(NewConnection, prompts::vbOK);
        f->Command1->click();
    }

    std::unique_ptr<FakeTree> tree;
    const QString local = env.scratch();
    const QByteArray content = QByteArray(59997, 'x') + "end";
};

TEST_F(Crossing, OverwriteAllEndsWithABatchWhoseLastNameIsRefused)
{
    start();
    writeLocal(QStringLiteral("c.txt"), "mine");
    select_by_name(w->ListView1, {QStringLiteral("a\\b.txt"), QStringLiteral("c.txt")});
    w->MDOWN_Click();
    ASSERT_TRUE(wait_until([&] { return asking(); }));
    prompts.expect(QStringLiteral("「a\\b.txt」はこのコンピューターのファイル名として使えないため"));
    question()->Command2->click();
    ASSERT_TRUE(wait_until([&] { return prompts.allUsed() && usable(); }));
    ASSERT_EQ(contents(local + QStringLiteral("/c.txt")), QByteArray("new"));

    // The next batch asks again before it replaces anything.
    askAboutDownload();
    question()->Command3->click();
    EXPECT_EQ(contents(local + QStringLiteral("/c.txt")), QByteArray("mine"));
}

struct LeftQuestion {
    const char* name;
    QPushButton* Form13::*button;
    void (form1::*then)();
};

class CrossingLeftQuestion : public Crossing, public ::testing::WithParamInterface<LeftQuestion> {};

// An upload left at its same-name question (cancelled, or the last file
// skipped) leaves no step behind for the next listing's "200" to resume.
TEST_P(CrossingLeftQuestion, NoStorReachesTheServerAfterwards)
{
    record(QStringLiteral("Server_name_path"), QStringLiteral("/pub"));
    start();
    askAboutUpload();
    (question()->*GetParam().button)->click();
    EXPECT_TRUE(usable());
    w->activateList(true);
    const int before = tree->listings();
    (w.get()->*GetParam().then)();
    EXPECT_TRUE(wait_until([&] { return tree->listings() > before && usable(); }));
    EXPECT_EQ(sent(QStringLiteral("STOR")), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Crossing, CrossingLeftQuestion,
    ::testing::Values(LeftQuestion{"CancelThenRefresh", &Form13::Command3, &form1::Mnew_Click},
                      LeftQuestion{"CancelThenUp", &Form13::Command3, &form1::CDUP_Click},
                      LeftQuestion{"SkipLastThenRefresh", &Form13::Command4, &form1::Mnew_Click},
                      LeftQuestion{"SkipLastThenUp", &Form13::Command4, &form1::CDUP_Click}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Crossing, EscOnTheUploadQuestionCancelsItForGood)
{
    start();
    askAboutUpload();
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(question(), &esc);
    EXPECT_FALSE(asking());
    EXPECT_EQ(w->Douitu, 0);
    EXPECT_TRUE(usable());

    // A later download's question answers for the download alone.
    askAboutDownload();
    question()->Command1->click();
    EXPECT_TRUE(downloaded());
    EXPECT_EQ(contents(local + QStringLiteral("/c.txt")), QByteArray("new"));
    EXPECT_EQ(sent(QStringLiteral("STOR")), 0);
}

TEST_F(Crossing, BrowsingTheLocalSideDuringTheQuestionDoesNotMoveTheDownload)
{
    start();
    ASSERT_TRUE(QDir(local).mkdir(QStringLiteral("other")));
    writeLocal(QStringLiteral("other/c.txt"), "other's");
    w->Local_list();
    askAboutDownload();
    select_by_name(w->ListView2, {QStringLiteral("other")});
    w->ListView2_DblClick();
    ASSERT_TRUE(w->Local_Dir.endsWith(QStringLiteral("\\other\\")));
    question()->Command1->click();
    EXPECT_TRUE(downloaded());
    EXPECT_EQ(contents(local + QStringLiteral("/c.txt")), QByteArray("new"));
    EXPECT_EQ(contents(local + QStringLiteral("/other/c.txt")), QByteArray("other's"));
}

class CrossingListConnect : public Crossing, public ::testing::WithParamInterface<bool> {};

// The server list's connect button during a download, with no entry chosen
// (false) or with the drop of the connection declined (true).
TEST_P(CrossingListConnect, ThatDoesNotGoAheadLeavesAllAsItWas)
{
    start();
    w->activateList(true);
    const qint16 retries = w->リトライ回数;
    startHeldDownload();
    Form4* list = w->serverList();
    list->Server_load();
    if (GetParam()) {
        select_by_name(list->ListView1, {QStringLiteral("fake")});
        prompts.expect(NewConnection, prompts::vbCancel);
    } else {
        list->ListView1->clearSelection();
        prompts.expect(QStringLiteral("ｻｰﾊﾞｰが選択されていません。"));
    }
    list->Command1_Click();
    EXPECT_TRUE(prompts.allUsed());
    EXPECT_EQ(w->ホスト名, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(w->サーバーパス, QStringLiteral("/"));
    EXPECT_EQ(w->リトライ回数, retries);
    EXPECT_EQ(w->Select_view, 1);
    EXPECT_TRUE(w->mlist[1]->isChecked());
    finishHeldDownload();
    EXPECT_EQ(server.connectionCount(), 1);
}

INSTANTIATE_TEST_SUITE_P(Crossing, CrossingListConnect, ::testing::Bool());

TEST_F(Crossing, AnEntryWithoutALocalFolderKeepsTheFolderShownForDownloads)
{
    showLocal(QStringLiteral("shown"));
    const QString shown = w->Local_Dir;
    record(QStringLiteral("s_local_path"), QString());
    start();
    // Checked before anything is downloaded: the drive root is no place for it.
    ASSERT_EQ(w->Local_Dir, shown);
    ASSERT_EQ(w->現在のローカルパス, shown.mid(2).chopped(1));
    select_by_name(w->ListView1, {QStringLiteral("c.txt")});
    w->MDOWN_Click();
    EXPECT_TRUE(downloaded());
    EXPECT_EQ(contents(local + QStringLiteral("/shown/c.txt")), QByteArray("new"));
}

TEST_F(Crossing, AnEntryWithABadNumberIsReportedAndChangesNothing)
{
    showLocal(QStringLiteral("shown"));
    ASSERT_TRUE(QDir(local).mkdir(QStringLiteral("elsewhere")));
    record(QStringLiteral("s_local_path"), drives::from_native(local + QStringLiteral("/elsewhere")));
    record(QStringLiteral("Server_name_path"), QStringLiteral("/pub"));
    const QString shown = w->現在のローカルパス;
    const struct {
        const char* key;
        QString good;
    } numbers[] = {{"ポートNo", QString::number(server.port())}, {"リトライ回数", "1"}, {"リトライ間隔", "10"}};
    for (const auto& n : numbers)
        record(QString::fromUtf8(n.key), n.good);
    for (const auto& n : numbers) {
        SCOPED_TRACE(n.key);
        const QString key = QString::fromUtf8(n.key);
        record(key, QStringLiteral("abc"));
        prompts.expect(QStringLiteral("「fake」の設定「") + key + QStringLiteral("」が正しくありません"));
        connectToFake();
        EXPECT_TRUE(prompts.allUsed());
        EXPECT_EQ(w->現在のローカルパス, shown);
        EXPECT_TRUE(w->Local_Dir.endsWith(QStringLiteral("\\shown\\")));
        EXPECT_TRUE(w->ユーザー名.isEmpty());
        EXPECT_TRUE(w->サーバーパス.isEmpty());
        record(key, n.good);
    }
    EXPECT_EQ(server.connectionCount(), 0);
}

TEST_F(Crossing, QuickConnectDuringADownloadLogsInToTheNewServer)
{
    FakeFtpServer other;
    FakeTree otherTree(other, {{QStringLiteral("/"), listing_line('-', 5, "other.txt")}});
    start();
    startHeldDownload();
    quickConnect(other.port());
    EXPECT_TRUE(prompts.allUsed());
    EXPECT_TRUE(wait_until([&] { return list_names(w->ListView1) == QStringList{"other.txt"} && usable(); }));
    EXPECT_TRUE(other.commands().contains(QStringLiteral("USER bob")));
}

void refuse_with_421(FakeFtpServer& s)
{
    s.onCommand(QStringLiteral("USER"), [](FakeFtpServer& f, const QString&) {
        f.reply("421 Too many users.\r\n");
        f.dropControl();
    });
}

// The registered entry is counting down to its next attempt when the user
// connects quickly elsewhere; that server refuses too.
TEST_F(Crossing, AQuickConnectionRefusedWith421IsNeverRetriedAsTheRegisteredServer)
{
    FakeFtpServer other;
    refuse_with_421(other);
    Form12::TickMs = 3600 * 1000;   // the test gives the ticks itself
    record(QStringLiteral("リトライ回数"), QStringLiteral("3"));
    record(QStringLiteral("リトライ間隔"), QStringLiteral("2"));
    refuse_with_421(server);
    connectToFake();
    Form12* countdown = nullptr;
    ASSERT_TRUE(wait_until([&] { return (countdown = w->findChild<Form12*>()) && countdown->isVisible(); }));
    EXPECT_EQ(countdown->server, QStringLiteral("fake"));
    ASSERT_TRUE(wait_until([&] { return w->Winsock1->State() != Winsock::sckConnected; }));
    quickConnect(other.port(), false);
    EXPECT_TRUE(wait_until([&] { return other.connectionCount() == 1 && w->Winsock1->State() != Winsock::sckConnected; }));
    for (int tick = 0; tick < 3 && countdown->isVisible(); ++tick)
        countdown->Timer1_Timer();
    EXPECT_FALSE(countdown->isVisible());
    EXPECT_FALSE(wait_until([&] { return server.connectionCount() > 1; }, 500));
}

class CrossingListing : public Crossing, public ::testing::WithParamInterface<bool> {};

// A download (false) or an upload (true) asked for while a listing arrives.
TEST_P(CrossingListing, TransfersAreRefusedAndTheListingArrives)
{
    start();
    pickLocal(QStringLiteral("up.txt"));
    select_by_name(w->ListView1, {QStringLiteral("c.txt")});
    const qsizetype firstLine = RootListing.indexOf('\n') + 1;
    server.onCommand(QStringLiteral("LIST"), [&](FakeFtpServer& s, const QString&) {
        s.reply("150 Here comes the listing.\r\n");
        ASSERT_TRUE(s.connectData());
        s.sendData(RootListing.left(firstLine), false);
    });
    w->activateList(true);
    w->Mnew_Click();
    ASSERT_TRUE(wait_until([&] { return w->Dcount == 1; }));
    prompts.expect(QStringLiteral("「一覧の取得") + Busy);
    GetParam() ? w->Mupload_Click() : w->MDOWN_Click();
    EXPECT_TRUE(prompts.allUsed());
    server.sendData(RootListing.mid(firstLine));
    ASSERT_TRUE(server.waitDataClosed());
    server.reply("226 Transfer complete.\r\n");
    EXPECT_TRUE(wait_until([&] { return w->ListView1->count() == RootListing.count('\n') && usable(); }));
    EXPECT_EQ(sent(QStringLiteral("TYPE I")), 0);
}

INSTANTIATE_TEST_SUITE_P(Crossing, CrossingListing, ::testing::Bool());

TEST_F(Crossing, RawCommandsWaitForTheOperationAndTheirRefusalsDisturbNothing)
{
    start();
    startHeldDownload();
    prompts.expect(QStringLiteral("「ダウンロード") + Busy);
    w->Msend_Click();
    Form2* raw = w->rawCommandDialog();
    EXPECT_FALSE(raw->isVisible());
    // A window left open from before is refused as well.
    raw->show();
    raw->Text1->setText(QStringLiteral("FOO"));
    prompts.expect(QStringLiteral("「ダウンロード") + Busy);
    raw->Command1->click();
    EXPECT_TRUE(prompts.allUsed());
    EXPECT_EQ(sent(QStringLiteral("FOO")), 0);
    finishHeldDownload();

    // Idle, the server refuses the typed line; the next download is untouched.
    server.onCommand(QStringLiteral("FOO"), [](FakeFtpServer& s, const QString&) { s.reply("500 FOO not understood.\r\n"); });
    raw->Command1->click();
    ASSERT_TRUE(wait_until([&] { return log().contains(QStringLiteral("500 FOO")); }));
    ASSERT_TRUE(QFile::remove(local + QStringLiteral("/a.bin")));
    startHeldDownload();
    finishHeldDownload();
}

struct UploadEnd {
    const char* name;
    const char* reply;   // the server's refusal; none: the data connection just closes
    enum When { AtStor, AfterTheData, MidData } when;
};

class CrossingUploadEnd : public Crossing, public ::testing::WithParamInterface<UploadEnd> {};

TEST_P(CrossingUploadEnd, IsReportedAndLeavesTheClientAtRest)
{
    const UploadEnd c = GetParam();
    start();
    // Large enough, in the middle case, that the client is still sending.
    pickLocal(QStringLiteral("up.bin"), QByteArray(c.when == UploadEnd::MidData ? 64 << 20 : 3000, 'u'));
    server.onCommand(QStringLiteral("STOR"), [&](FakeFtpServer& s, const QString&) {
        if (c.when != UploadEnd::AtStor) {
            s.reply("150 Ok to send data.\r\n");
            ASSERT_TRUE(s.connectData());
            if (c.when == UploadEnd::MidData) {
                ASSERT_TRUE(wait_until([&] { return !s.receivedData().isEmpty(); }));
                s.closeData();
                return;
            }
            ASSERT_TRUE(s.waitDataClosed());
        }
        s.reply(QByteArray(c.reply) + " Refused.\r\n");
    });
    prompts.expect(QStringLiteral("「up.bin」のアップロードは完了しませんでした。"));
    w->Mupload_Click();
    EXPECT_TRUE(wait_until([&] { return prompts.count() > 0 && usable(); }));
    ASSERT_TRUE(prompts.allUsed());
    EXPECT_EQ(prompts.seen().at(0).title, QStringLiteral("転送エラー"));
    EXPECT_TRUE(prompts.seen().at(0).text.contains(QString::fromLatin1(c.reply)));
}

INSTANTIATE_TEST_SUITE_P(
    Crossing, CrossingUploadEnd,
    ::testing::Values(UploadEnd{"Aborted426AfterTheData", "426", UploadEnd::AfterTheData},
                      UploadEnd{"Local451AtStor", "451", UploadEnd::AtStor},
                      UploadEnd{"NoRoom452AfterTheData", "452", UploadEnd::AfterTheData},
                      UploadEnd{"Quota552AfterTheData", "552", UploadEnd::AfterTheData},
                      UploadEnd{"Name553AtStor", "553", UploadEnd::AtStor},
                      UploadEnd{"EarlyDataClose", "", UploadEnd::MidData}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Crossing, TwoGreetingLinesStillLeadToTheListing)
{
    server.setGreeting("220 first\r\n220 second\r\n");
    start();
    EXPECT_EQ(sent(QStringLiteral("USER")), 1);
}

TEST_F(Crossing, TransferStepRefusesTheRemoteFileCommands)
{
    start();
    w->activateList(true);
    startHeldDownload();
    const struct {
        const char* name;
        void (form1::*handler)();
    } handlers[] = {{"delete", &form1::Mrmdir_Click},
                    {"make folder", &form1::MMkdir_Click},
                    {"rename", &form1::Mrename_Click},
                    {"text view", &form1::Mtext_Click}};
    for (const auto& h : handlers) {
        prompts.expect(QStringLiteral("「ダウンロード") + Busy);
        (w.get()->*h.handler)();
        EXPECT_TRUE(prompts.allUsed()) << h.name;
    }
    EXPECT_EQ(w->Y_Count, 0);   // the download has not become a text view
    finishHeldDownload();
    for (const char* verb : {"DELE", "MKD", "RNFR"})
        EXPECT_EQ(sent(QString::fromLatin1(verb)), 0) << verb;
}

TEST_F(Crossing, ANamedPipeIsRefusedBeforeTheUploadAndTheClientStaysUsable)
{
    start();
    ASSERT_EQ(::mkfifo(QFile::encodeName(local + QStringLiteral("/pipe")).constData(), 0600), 0);
    pickLocal(QStringLiteral("pipe"));
    prompts.expect(QStringLiteral("「pipe」は通常のファイルではないため、アップロードできません。"));
    w->Mupload_Click();
    EXPECT_TRUE(prompts.allUsed());
    EXPECT_EQ(sent(QStringLiteral("TYPE I")), 0);
    EXPECT_TRUE(usable());
    pickLocal(QStringLiteral("up.txt"));
    w->Mupload_Click();
    EXPECT_TRUE(wait_until([&] { return tree->stored == QStringList{"/up.txt"} && usable(); }));
}

} // namespace
