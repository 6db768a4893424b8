// Reconnection after "421", abort, the raw command window, the end of the
// program, the toolbar and the menus, and the links to the desktop.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include "app/about_dialog.h"
#include "app/help_file.h"
#include "ftp/raw_command_dialog.h"
#include "ftp/retry_dialog.h"
#include "platform/drive_view.h"
#include "platform/errors.h"
#include "platform/launcher.h"
#include "platform/list_view.h"
#include "platform/screen_units.h"
#include "tests/fake_tree.h"
#include "tests/ftp_fixture.h"
#include "tests/list_helpers.h"

namespace {

int row_of(const ListView* l, const QString& name)
{
    for (int i = 0; i < l->count(); ++i)
        if (l->text(i) == name)
            return i;
    return -1;
}

QByteArray root_listing()
{
    return listing_line('-', 6000, "big.bin") + listing_line('d', 0, "pub") + listing_line('-', 20, "b.txt");
}

// A press and a release, as the mouse gives them.
void click_at(QWidget* widget, const QPoint& pos)
{
    const QPointF global = widget->mapToGlobal(QPointF(pos));
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(pos), global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(pos), global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

// Menu items as "caption" lines, separators as "-".
QStringList captions(const QMenu* menu)
{
    QStringList out;
    for (const QAction* a : menu->actions())
        out << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return out;
}

int count_of(const QString& text, const QString& part) { return int(text.count(part)); }

class ShellAndRetry : public FtpFixture {
protected:
    void SetUp() override
    {
        FtpFixture::SetUp();
        w->wireShellAndMenus();
        errors::set_end_hook([this](int code) { ended.append(code); });
        launcher::set_recorder([this](launcher::Kind k, const QString& p) { launched.append({k, p}); });
        Form12::TickMs = 3600 * 1000;   // the test gives the ticks itself
    }
    void TearDown() override
    {
        w.reset();
        Form12::TickMs = 1000;
        errors::set_end_hook({});
        launcher::set_recorder({});
    }

    // The local side shows a folder of its own with one file in it.
    QString useScratchFolder()
    {
        const QString drivePath = drives::from_native(env.scratch());
        record(QStringLiteral("s_local_path"), drivePath);
        QFile up(env.scratch() + QStringLiteral("/up.txt"));
        EXPECT_TRUE(up.open(QIODevice::WriteOnly));
        up.write("upload me\n");
        return drivePath;
    }
    void loginAndList(FakeTree& tree, int listings = 1)
    {
        connectToFake();
        ASSERT_TRUE(wait_until([&] {
            return tree.listings() >= listings && w->ListView1->count() > 0 &&
                   count_of(log(), QStringLiteral("226 ")) >= listings;
        })) << server.commands().join(u'|').toStdString();
    }
    // Every USER is refused with 421, and the server hangs up as real ones do.
    void refuseService()
    {
        server.onCommand(QStringLiteral("USER"), [](FakeFtpServer& s, const QString&) {
            s.reply("421 Too many users, try again later.\r\n");
            s.dropControl();
        });
    }
    // The client has seen the server hang up n times (a reconnection while
    // the old connection still looked open would ask first).
    void waitHungUp(int n)
    {
        ASSERT_TRUE(wait_until([&] { return count_of(log(), QStringLiteral("ｻｰﾊﾞｰから切断しました。")) >= n; }));
    }
    Form12* countdown() const { return w->findChild<Form12*>(); }
    bool counting() const { return countdown() && countdown()->isVisible(); }

    QList<int> ended;
    QList<QPair<launcher::Kind, QString>> launched;
};

// ---- reconnection countdown ------------------------------------------------

TEST(RetryCountdown, TextHasFullWidthLeadAndHalfWidthGap)
{
    EXPECT_EQ(countdown_text(10, 2), QStringLiteral("　　　　あと10秒   再試行回数2回"));
    EXPECT_EQ(countdown_text(1, 0), QStringLiteral("　　　　あと1秒   再試行回数0回"));
    EXPECT_EQ(countdown_text(-3, 1), QStringLiteral("　　　　あと-3秒   再試行回数1回"));
}

TEST_F(ShellAndRetry, OneAttemptLogsTheDisconnectAndDoesNotCountDown)
{
    record(QStringLiteral("リトライ回数"), QStringLiteral("1"));
    refuseService();
    connectToFake();
    ASSERT_TRUE(wait_until([&] { return log().contains(QStringLiteral("サーバーから切断されました。\r\n")); }));
    EXPECT_FALSE(counting());
    EXPECT_EQ(w->リトライ回数, 0);
    EXPECT_EQ(server.connectionCount(), 1);
    EXPECT_TRUE(wait_until([&] { return log().contains(QStringLiteral("ｻｰﾊﾞｰから切断しました。")); }));
    EXPECT_EQ(prompts.count(), 0);
}

TEST_F(ShellAndRetry, ThreeAttemptsWithACountdownBetweenEach)
{
    record(QStringLiteral("リトライ回数"), QStringLiteral("3"));
    record(QStringLiteral("リトライ間隔"), QStringLiteral("1"));
    refuseService();
    connectToFake();
    ASSERT_TRUE(wait_until([&] { return counting(); }));
    Form12* dialog = countdown();
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("リトライ"));
    EXPECT_EQ(dialog->Label1->text(), QStringLiteral("ｻｰﾊﾞｰに接続出来ませんでした。"));
    EXPECT_EQ(dialog->Label2->text(), QStringLiteral("再接続を試みます。"));
    EXPECT_EQ(dialog->Command1->text(), QStringLiteral("ｷｬﾝｾﾙ(&C)"));
    EXPECT_FALSE(dialog->isModal());
    EXPECT_TRUE(dialog->Timer1->isActive());
    EXPECT_TRUE(dialog->Label3->text().isEmpty());
    EXPECT_EQ(server.connectionCount(), 1);

    waitHungUp(1);
    dialog->Timer1_Timer();
    EXPECT_EQ(dialog->Label3->text(), QStringLiteral("　　　　あと1秒   再試行回数2回"));
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_FALSE(dialog->Timer1->isActive());
    // The server hung up and the entry was forgotten; the attempt still goes
    // to the same server with the same user.
    ASSERT_TRUE(server.waitForCommandCount(QStringLiteral("USER alice"), 2));
    ASSERT_TRUE(wait_until([&] { return counting(); }));
    EXPECT_EQ(server.connectionCount(), 2);

    waitHungUp(2);
    dialog->Timer1_Timer();
    EXPECT_EQ(dialog->Label3->text(), QStringLiteral("　　　　あと1秒   再試行回数1回"));
    ASSERT_TRUE(server.waitForCommandCount(QStringLiteral("USER alice"), 3));
    ASSERT_TRUE(wait_until([&] { return log().contains(QStringLiteral("サーバーから切断されました。")); }));
    EXPECT_FALSE(counting());
    EXPECT_EQ(server.connectionCount(), 3);
    EXPECT_EQ(count_of(log(), QStringLiteral("サーバーから切断されました。")), 1);
    EXPECT_EQ(prompts.count(), 0);
}

TEST_F(ShellAndRetry, CountdownShowsEachSecondAndConnectsAfterTheLast)
{
    record(QStringLiteral("リトライ回数"), QStringLiteral("2"));
    record(QStringLiteral("リトライ間隔"), QStringLiteral("3"));
    refuseService();
    connectToFake();
    ASSERT_TRUE(wait_until([&] { return counting(); }));
    Form12* dialog = countdown();
    waitHungUp(1);
    QStringList shown;
    for (int tick = 0; tick < 3; ++tick) {
        EXPECT_TRUE(dialog->isVisible()) << tick;
        EXPECT_EQ(server.connectionCount(), 1) << tick;
        dialog->Timer1_Timer();
        shown << dialog->Label3->text();
    }
    EXPECT_EQ(shown, (QStringList{"　　　　あと3秒   再試行回数1回", "　　　　あと2秒   再試行回数1回",
                                  "　　　　あと1秒   再試行回数1回"}));
    EXPECT_TRUE(wait_until([&] { return server.connectionCount() == 2; }));
    // The window is kept: the next countdown starts without the old text.
    ASSERT_TRUE(wait_until([&] { return log().contains(QStringLiteral("サーバーから切断されました。")); }));
    EXPECT_EQ(countdown(), dialog);
}

TEST_F(ShellAndRetry, CancelStopsTheCountdownAndTheNextConnectReloadsTheSettings)
{
    record(QStringLiteral("リトライ回数"), QStringLiteral("3"));
    record(QStringLiteral("リトライ間隔"), QStringLiteral("5"));
    refuseService();
    connectToFake();
    ASSERT_TRUE(wait_until([&] { return counting(); }));
    Form12* dialog = countdown();
    dialog->Timer1_Timer();
    EXPECT_EQ(w->リトライ間隔, 4);
    dialog->Command1->click();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_FALSE(dialog->Timer1->isActive());
    EXPECT_EQ(w->リトライ回数, 0);
    EXPECT_EQ(w->リトライ間隔, 0);
    EXPECT_EQ(server.connectionCount(), 1);

    // A manual connection starts from the record again: 3 attempts, 5 seconds.
    waitHungUp(1);
    connectToFake();
    ASSERT_TRUE(wait_until([&] { return counting(); }));
    EXPECT_TRUE(dialog->Label3->text().isEmpty());
    dialog->Timer1_Timer();
    EXPECT_EQ(dialog->Label3->text(), QStringLiteral("　　　　あと5秒   再試行回数2回"));

    // Closing the window (Esc, the close box) cancels too.
    dialog->reject();
    EXPECT_FALSE(dialog->Timer1->isActive());
    EXPECT_EQ(w->リトライ回数, 0);
    EXPECT_EQ(server.connectionCount(), 2);
}

TEST_F(ShellAndRetry, IntervalOfZeroOrLessConnectsAtTheFirstTick)
{
    record(QStringLiteral("リトライ回数"), QStringLiteral("2"));
    refuseService();
    int connections = 0;
    for (const char* interval : {"0", "-5"}) {
        SCOPED_TRACE(interval);
        record(QStringLiteral("リトライ間隔"), QString::fromLatin1(interval));
        connectToFake();
        ++connections;
        ASSERT_TRUE(wait_until([&] { return counting(); }));
        waitHungUp(connections);
        countdown()->Timer1_Timer();
        EXPECT_EQ(countdown()->Label3->text(),
                  QStringLiteral("　　　　あと") + QString::fromLatin1(interval) + QStringLiteral("秒   再試行回数1回"));
        EXPECT_FALSE(counting());
        ++connections;
        ASSERT_TRUE(wait_until([&] { return server.connectionCount() == connections; }));
        // The second refusal has no attempts left.
        ASSERT_TRUE(wait_until([&] {
            return count_of(log(), QStringLiteral("サーバーから切断されました。")) == connections / 2;
        }));
    }
}

// ---- abort -----------------------------------------------------------------

TEST_F(ShellAndRetry, AbortDuringADownloadEndsTheBatchAndKeepsTheListingClean)
{
    useScratchFolder();
    const QString target = env.scratch() + QStringLiteral("/big.bin");
    {
        QFile old(target);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old contents");
    }
    FakeTree tree(server, {{QStringLiteral("/"), root_listing()}});
    loginAndList(tree);

    const QByteArray head(3000, 'H');
    server.onCommand(QStringLiteral("RETR"), [&](FakeFtpServer& s, const QString&) {
        s.reply("150 Opening BINARY mode data connection.\r\n");
        ASSERT_TRUE(s.connectData());
        s.sendData(head, false);
    });
    server.onCommand(QStringLiteral("ABOR"), [](FakeFtpServer& s, const QString&) {
        // The rest of the file, still on its way when the abort arrives. It
        // looks like a listing line: taken for one, it would show in the list.
        s.sendData(listing_line('-', 1, "TAIL_OF_BIG_BIN"));
        s.waitDataClosed();
        s.reply("426 Connection closed; transfer aborted.\r\n");
        s.reply("226 ABOR command successful.\r\n");
    });
    // PWD is answered only when the test has looked at the state the abort left.
    bool pwdAsked = false;
    server.onCommand(QStringLiteral("PWD"), [&](FakeFtpServer&, const QString&) { pwdAsked = true; });

    // The first file of a batch of two is running.
    w->Down_File = QStringLiteral("big.bin");
    w->Down_Size = QStringLiteral("6000");
    w->Down_Count = 1;
    w->ループ回数 = 2;
    w->beginOperation(form1::Operation::Download);
    w->downloadPath_ = w->Local_Dir + w->Down_File;
    w->sendLine(QStringLiteral("TYPE I"));
    ASSERT_TRUE(server.waitForCommand(QStringLiteral("RETR big.bin")));
    ASSERT_TRUE(wait_until([&] { return w->fCount > 1; }));
    ASSERT_TRUE(w->downloadFile);

    server.clearCommands();
    w->Mabore_Click();
    EXPECT_EQ(w->statusText(), QStringLiteral("中断しました。"));
    EXPECT_EQ(w->Down_Count, 0);
    EXPECT_EQ(w->Up_Count, 0);
    EXPECT_EQ(w->ループ回数, 0);
    EXPECT_EQ(w->Gcount, 0);
    EXPECT_EQ(w->rCount, 0);
    EXPECT_FALSE(w->downloadFile);
    EXPECT_FALSE(w->ProgressBar1->isVisible());
    EXPECT_TRUE(log().contains(QStringLiteral(">ABOR\r\n")));

    // The rest of the file went nowhere: neither into the list nor into the
    // listing file.
    ASSERT_TRUE(wait_until([&] { return pwdAsked && log().contains(QStringLiteral("226 ABOR")); }));
    EXPECT_EQ(server.commands().mid(0, 2), (QStringList{"ABOR", "PWD"}));
    const QString shown = QStringLiteral("pub|b.txt|big.bin");
    EXPECT_EQ(list_names(w->ListView1).join(u'|'), shown);
    const auto listingFile = [] {
        QFile file(program_folder::file(QStringLiteral("temp.s")));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("unreadable");
    };
    EXPECT_EQ(listingFile(), root_listing());

    // The fresh listing of the same folder is read as a listing again.
    server.reply("257 \"/\" is current\r\n");
    ASSERT_TRUE(wait_until([&] { return tree.listings() == 2 && count_of(log(), QStringLiteral("226 ")) >= 3; }));
    ASSERT_TRUE(wait_until([&] { return w->Winsock2->State() == Winsock::sckListening; }));
    EXPECT_EQ(list_names(w->ListView1).join(u'|'), shown);
    EXPECT_EQ(listingFile(), root_listing());
    // The local file is as it was; no part of the download is left anywhere.
    QFile kept(target);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("old contents"));
    EXPECT_EQ(QDir(env.scratch()).entryList(QDir::Files), (QStringList{"big.bin", "up.txt"}));
    EXPECT_TRUE(w->toolbarButton(6)->isEnabled());
    EXPECT_EQ(prompts.count(), 0);
}

TEST_F(ShellAndRetry, AbortWithoutAConnectionSendsNothing)
{
    const QString before = log();
    w->Mabore_Click();
    EXPECT_EQ(w->statusText(), QStringLiteral("中断しました。"));
    EXPECT_EQ(log(), before);

    // After the server has hung up the socket is not yet closed; still
    // nothing goes out and nothing is asked.
    FakeTree tree(server, {{QStringLiteral("/"), root_listing()}});
    loginAndList(tree);
    server.dropControl();
    ASSERT_TRUE(wait_until([&] { return log().contains(QStringLiteral("ｻｰﾊﾞｰから切断しました。")); }));
    w->setStatusText(QString());
    const QString after = log();
    w->Mabore_Click();
    EXPECT_EQ(w->statusText(), QStringLiteral("中断しました。"));
    EXPECT_EQ(log(), after);
    EXPECT_EQ(prompts.count(), 0);
}

// ---- raw command window -------------------------------------------------------

TEST_F(ShellAndRetry, RawCommandSendsTheLineAsTypedAndKeepsIt)
{
    FakeTree tree(server, {{QStringLiteral("/"), root_listing()}, {QStringLiteral("/pub"), listing_line('-', 5, "in_pub.txt")}});
    loginAndList(tree);
    w->Msend_Click();
    Form2* dialog = w->findChild<Form2*>();
    ASSERT_TRUE(dialog);
    ASSERT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("コマンド送信"));
    EXPECT_EQ(dialog->Command1->text(), QStringLiteral("送信(&G)"));
    EXPECT_EQ(dialog->Command2->text(), QStringLiteral("ｷｬﾝｾﾙ(&C)"));

    // An empty box sends an empty line, logged as ">" alone.
    server.clearCommands();
    dialog->Text1->clear();
    dialog->Command1->click();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_TRUE(log().endsWith(QStringLiteral(">\r\n")));
    ASSERT_TRUE(server.waitForCommand(QString()));
    EXPECT_EQ(server.rawCommands().value(0), QByteArray());

    // Trailing blanks go out as typed; a reply the program does not act on
    // is only logged.
    w->Msend_Click();
    dialog->Text1->setText(QStringLiteral("SYST  "));
    dialog->Command1->click();
    ASSERT_TRUE(server.waitForCommand(QStringLiteral("SYST")));
    EXPECT_TRUE(server.rawCommands().contains(QByteArray("SYST  ")));
    ASSERT_TRUE(wait_until([&] { return log().contains(QStringLiteral("215 UNIX")); }));

    // A change of folder is answered like the program's own: a fresh listing.
    w->Msend_Click();
    EXPECT_EQ(w->findChild<Form2*>(), dialog);
    EXPECT_EQ(dialog->Text1->text(), QStringLiteral("SYST  "));
    dialog->Text1->setText(QStringLiteral("CWD pub"));
    dialog->Command1->click();
    ASSERT_TRUE(wait_until([&] { return list_names(w->ListView1) == QStringList{"in_pub.txt"}; }));
    EXPECT_EQ(w->サーバーパス, QStringLiteral("/pub"));

    // Cancel hides the window and sends nothing; the line is still there.
    w->Msend_Click();
    EXPECT_EQ(dialog->Text1->text(), QStringLiteral("CWD pub"));
    const int sent = int(server.commands().size());
    dialog->Command2->click();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(server.commands().size(), sent);
    EXPECT_EQ(prompts.count(), 0);
}

TEST_F(ShellAndRetry, RawCommandNeedsAConnection)
{
    prompts.expect(QStringLiteral("サーバーに接続されていません"));
    w->Msend_Click();
    ASSERT_EQ(prompts.count(), 1);
    EXPECT_EQ(prompts.seen().at(0).title, QStringLiteral("未接続"));
    EXPECT_EQ(prompts.seen().at(0).icon, prompts::vbCritical);
    EXPECT_FALSE(w->findChild<Form2*>() && w->findChild<Form2*>()->isVisible());

    // The window left open while the connection ended keeps itself open.
    Form2* dialog = w->rawCommandDialog();
    dialog->show();
    dialog->Text1->setText(QStringLiteral("SYST"));
    prompts.expect(QStringLiteral("ｻｰﾊﾞｰに接続していません"));
    dialog->Command1->click();
    ASSERT_EQ(prompts.count(), 2);
    EXPECT_EQ(prompts.seen().at(1).title, QStringLiteral("Palu_FTP エラー"));
    EXPECT_EQ(prompts.seen().at(1).icon, prompts::vbCritical);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(log().contains(QStringLiteral(">SYST")));
}

// ---- end of the program ------------------------------------------------------

TEST_F(ShellAndRetry, CloseWhileConnectedAndCancelKeepsWindowAndConnection)
{
    FakeTree tree(server, {{QStringLiteral("/"), root_listing()}});
    loginAndList(tree);
    prompts.expect(QStringLiteral("ｻｰﾊﾞｰに接続されています。切断して終了しますか？"), prompts::vbCancel);
    EXPECT_FALSE(w->close());
    ASSERT_EQ(prompts.count(), 1);
    EXPECT_EQ(prompts.seen().at(0).title, QStringLiteral("終了確認"));
    EXPECT_EQ(prompts.seen().at(0).icon, prompts::vbQuestion);
    EXPECT_EQ(prompts.seen().at(0).buttons, prompts::vbOKCancel);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->Winsock1->State(), Winsock::sckConnected);
    EXPECT_FALSE(log().contains(QStringLiteral(">QUIT")));
    EXPECT_TRUE(ended.isEmpty());

    // The exit command asks the same and stops the same way.
    prompts.expect(QStringLiteral("切断して終了しますか？"), prompts::vbCancel);
    w->Mend_Click();
    EXPECT_EQ(prompts.count(), 2);
    EXPECT_TRUE(ended.isEmpty());
    EXPECT_EQ(w->Winsock1->State(), Winsock::sckConnected);
}

TEST_F(ShellAndRetry, CloseWhileConnectedAndOkSendsQuitClosesFilesAndSavesTheSize)
{
    useScratchFolder();
    FakeTree tree(server, {{QStringLiteral("/"), root_listing()}});
    loginAndList(tree);
    w->setOuterSizeTwips(8250, 5550);
    const double width = w->outerWidthTwips(), height = w->outerHeightTwips();

    // A download is being written when the program ends.
    const QString target = env.scratch() + QStringLiteral("/up.txt");
    w->downloadFile = std::make_unique<QSaveFile>(target);
    ASSERT_TRUE(w->downloadFile->open(QIODevice::WriteOnly));
    w->downloadFile->write("half a file");

    prompts.expect(QStringLiteral("切断して終了しますか？"), prompts::vbOK);
    w->close();
    EXPECT_TRUE(server.waitForCommand(QStringLiteral("QUIT")));
    ASSERT_TRUE(wait_until([&] { return !ended.isEmpty(); }));
    EXPECT_EQ(ended, QList<int>{0});
    EXPECT_FALSE(w->downloadFile);
    QFile kept(target);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("upload me\n"));
    EXPECT_EQ(QDir(env.scratch()).entryList(QDir::Files), QStringList{"up.txt"});
    EXPECT_NEAR(settings::get(QStringLiteral("Form_Size"), QStringLiteral("Width")).toDouble(), width, 0.01);
    EXPECT_NEAR(settings::get(QStringLiteral("Form_Size"), QStringLiteral("Height")).toDouble(), height, 0.01);

    // The next start opens with that size.
    w.reset();
    w = std::make_unique<form1>();
    w->Form_Load();
    const double tpp = screen_units::twips_per_pixel();
    EXPECT_NEAR(w->outerWidthTwips(), 8250, tpp);
    EXPECT_NEAR(w->outerHeightTwips(), 5550, tpp);
}

TEST_F(ShellAndRetry, ExitWithoutAConnectionAsksNothing)
{
    w->setOuterSizeTwips(6000, 9000);
    w->Mend_Click();
    EXPECT_EQ(ended, QList<int>{0});
    EXPECT_EQ(prompts.count(), 0);
    const double tpp = screen_units::twips_per_pixel();
    EXPECT_NEAR(settings::get(QStringLiteral("Form_Size"), QStringLiteral("Width")).toDouble(), 6000, tpp);
    EXPECT_NEAR(settings::get(QStringLiteral("Form_Size"), QStringLiteral("Height")).toDouble(), 9000, tpp);
    // Once on its way out, a close request does not start a second end.
    w->close();
    EXPECT_EQ(ended, QList<int>{0});
}

// ---- menus and toolbar --------------------------------------------------------

TEST_F(ShellAndRetry, MenuCaptionsInOrder)
{
    QStringList titles;
    for (const QAction* a : w->menuBar()->actions())
        titles << a->text();
    EXPECT_EQ(titles, (QStringList{"ｻｰﾊﾞｰ(&S)", "ファイル(&F)", "表示(&V)", "ツール(&T)", "ヘルプ(&H)"}));
    EXPECT_EQ(captions(w->server), (QStringList{"接続(&N)", "クイック接続(&C)", "サーバーリスト(&L)", "中断(&A)", "-",
                                                "切断(&D)", "-", "終了(&W)"}));
    EXPECT_EQ(captions(w->Mfile), (QStringList{"ﾃﾞｨﾚｸﾄﾘｰ作成(&M)", "削除(&D)", "名前変更(&N)", "-", "ダウンロード(&W)",
                                               "アップロード(&U)", "-", "テキスビュー(&O)"}));
    EXPECT_EQ(captions(w->Mview2), (QStringList{"ローカルリスト選択(&L)", "サーバーリスト選択(&P)", "-",
                                                "最新の情報を表示(&N)", "-", "詳細表示", "一覧表示"}));
    EXPECT_EQ(captions(w->Mtool),
              (QStringList{"コマンド送信(&A)", "サーバーのリストファイルを開く", "オプション(&O)"}));
    EXPECT_EQ(captions(w->Mhelp), (QStringList{"使用方法(&R)", "バージョン情報(&A)"}));
    EXPECT_EQ(w->Mright->title(), QStringLiteral("ﾛｰｶﾙ右クリック"));
    EXPECT_EQ(captions(w->Mright), (QStringList{"アップロード(&U)", "-", "ﾃﾞｨﾚｸﾄﾘｰ作成", "削除", "名前の変更", "-",
                                                "テキストビュー", "開く"}));
    EXPECT_EQ(w->server_right->title(), QStringLiteral("ｻｰﾊﾞｰ右クリック"));
    EXPECT_EQ(captions(w->server_right), (QStringList{"ダウンロード(&D)", "-", "ﾃﾞｨﾚｸﾄﾘｰの作成", "削除", "名前の変更",
                                                      "-", "テキストビュー"}));
}

TEST_F(ShellAndRetry, ToolbarRoutesByCaptionWhileDisconnected)
{
    auto press = [&](int index) {
        auto* button = qobject_cast<QToolButton*>(w->Toolbar1->widgetForAction(w->toolbarButton(index)));
        ASSERT_TRUE(button) << index;
        button->click();
    };
    // 接続: the server list.
    press(2);
    Form4* list = w->findChild<Form4*>();
    ASSERT_TRUE(list);
    EXPECT_TRUE(list->isVisible());
    list->hide();

    // 切断 is disabled now; clicked anyway it reports the missing connection.
    EXPECT_FALSE(w->toolbarButton(3)->isEnabled());
    prompts.expect(QStringLiteral("ｻｰﾊﾞｰに接続されていません"));
    w->Toolbar1_ButtonClick(w->toolbarButton(3));
    ASSERT_EQ(prompts.count(), 1);
    EXPECT_EQ(prompts.seen().at(0).title, QStringLiteral("接続エラー"));

    // Separators do nothing.
    const QString status = w->statusText(), before = log();
    for (int separator : {1, 4, 7})
        w->Toolbar1_ButtonClick(w->toolbarButton(separator));
    EXPECT_EQ(w->statusText(), status);
    EXPECT_EQ(log(), before);
    EXPECT_EQ(prompts.count(), 1);

    // 中断 while disconnected: the note only.
    w->Toolbar1_ButtonClick(w->toolbarButton(8));
    EXPECT_EQ(w->statusText(), QStringLiteral("中断しました。"));
    EXPECT_EQ(log(), before);

    // 終了: nothing to ask, the program ends.
    press(9);
    EXPECT_EQ(ended, QList<int>{0});
    EXPECT_EQ(prompts.count(), 1);
}

TEST_F(ShellAndRetry, ToolbarRoutesTransferButtonsWhileConnected)
{
    useScratchFolder();
    FakeTree tree(server, {{QStringLiteral("/"), root_listing()}});
    loginAndList(tree);
    auto press = [&](int index) {
        auto* button = qobject_cast<QToolButton*>(w->Toolbar1->widgetForAction(w->toolbarButton(index)));
        ASSERT_TRUE(button && button->isEnabled()) << index;
        button->click();
    };

    // 中断 with nothing running still tells the server; the list is read again.
    press(8);
    EXPECT_EQ(w->statusText(), QStringLiteral("中断しました。"));
    EXPECT_TRUE(server.waitForCommand(QStringLiteral("ABOR")));
    ASSERT_TRUE(wait_until([&] { return tree.listings() == 2 && count_of(log(), QStringLiteral("226 ")) >= 2; }));

    // A local file is selected, no remote one: the download complains, the
    // upload starts.
    const int local = row_of(w->ListView2, QStringLiteral("up.txt"));
    ASSERT_GE(local, 0);
    w->ListView1->clearSelection();
    w->ListView2->setCurrentRow(local, true);
    prompts.expect(QStringLiteral("ファイルが選択されていません"));
    press(6);
    EXPECT_EQ(prompts.count(), 1);
    EXPECT_FALSE(log().contains(QStringLiteral(">TYPE I")));

    // 切断 sends QUIT (this server keeps the line open afterwards).
    server.onCommand(QStringLiteral("QUIT"), [](FakeFtpServer&, const QString&) {});
    press(3);
    EXPECT_TRUE(server.waitForCommand(QStringLiteral("QUIT")));

    press(5);
    EXPECT_EQ(prompts.count(), 1);
    EXPECT_TRUE(log().contains(QStringLiteral(">TYPE I")));
    EXPECT_EQ(w->Up_Count, 1);
}

// Every item of every menu and popup, clicked the way the mouse does, in a
// fresh connected window: each must reach a command (something the user
// could see or the server could receive changes) and nothing may crash.
TEST_F(ShellAndRetry, EveryMenuOpensAndEveryItemReachesItsCommand)
{
    prompts.allowAny(true);
    const QString localPath = useScratchFolder();
    FakeTree tree(server, {{QStringLiteral("/"), root_listing()}, {QStringLiteral("/pub"), QByteArray()}});
    server.onCommand(QStringLiteral("QUIT"), [](FakeFtpServer&, const QString&) {});   // stay connected

    struct Snapshot {
        int prompts, launches, ends, selectView, view;
        QString log, status;
        QStringList windows;
        bool operator==(const Snapshot&) const = default;
    };
    auto snapshot = [&] {
        QStringList windows;
        for (QWidget* t : QApplication::topLevelWidgets())
            if (t->isVisible() && !qobject_cast<QMenu*>(t) && t != w.get())
                windows << QString::fromLatin1(t->metaObject()->className()) + u':' + t->windowTitle();
        windows.sort();
        return Snapshot{prompts.count(), int(launched.size()), int(ended.size()), w->Select_view,
                        w->ListView1->view(), log(), w->statusText(), windows};
    };

    int listed = 0;
    auto fresh = [&] {
        w.reset();
        w = std::make_unique<form1>();
        w->Form_Load();
        w->show();
        w->wireShellAndMenus();
        w->wireFileOperations();
        connectToFake();
        ++listed;
        ASSERT_TRUE(wait_until([&] {
            return tree.listings() >= listed && w->ListView1->count() == 3 &&
                   log().contains(QStringLiteral("226 "));
        }));
        ASSERT_GE(row_of(w->ListView2, QStringLiteral("up.txt")), 0) << localPath.toStdString();
        // Activating a list drops the other's selection: select afterwards.
        w->activateList(true);
        w->ListView2->setCurrentRow(row_of(w->ListView2, QStringLiteral("up.txt")), true);
        w->ListView1->setCurrentRow(row_of(w->ListView1, QStringLiteral("b.txt")), true);
    };

    // Opens the menu as the user does and clicks the item; returns whether
    // the menu opened.
    auto clickItem = [&](QMenu* menu, QAction* item, bool popup, bool remotePopup, Snapshot& before) {
        if (popup) {
            w->showPopup(remotePopup, w->mapToGlobal(QPoint(40, 80)));
        } else {
            QMenuBar* bar = w->menuBar();
            click_at(bar, bar->actionGeometry(menu->menuAction()).center());
        }
        if (!wait_until([&] { return menu->isVisible(); }, 2000))
            return false;
        before = snapshot();
        click_at(menu, menu->actionGeometry(item).center());
        return true;
    };

    // Menus by position (five on the bar, then the local and the remote
    // popup) and their item counts, read before the windows are rebuilt.
    auto menuAt = [&](int m) {
        return m < 5 ? w->menuBar()->actions().at(m)->menu() : (m == 5 ? w->Mright : w->server_right);
    };
    ASSERT_EQ(w->menuBar()->actions().size(), 5);
    QList<int> itemCounts;
    for (int m = 0; m < 7; ++m)
        itemCounts << int(menuAt(m)->actions().size());

    int walked = 0;
    for (int m = 0; m < 7; ++m) {
        for (int i = 0; i < itemCounts.at(m); ++i) {
            fresh();
            if (HasFatalFailure())
                return;
            QMenu* menu = menuAt(m);
            QAction* item = menu->actions().at(i);
            if (item->isSeparator())
                continue;
            SCOPED_TRACE(menu->title().toStdString() + " / " + item->text().toStdString());
            // Items that switch a state start from the other state.
            if (item == w->mlist[1])
                w->activateList(false);
            if (item == w->Mview[0])
                w->Mview_Click(1);
            EXPECT_TRUE(item->isEnabled());
            Snapshot before{};
            ASSERT_TRUE(clickItem(menu, item, m >= 5, m == 6, before)) << "menu did not open";
            EXPECT_FALSE(menu->isVisible());
            EXPECT_FALSE(snapshot() == before) << "no command ran";
            ++walked;
        }
    }
    EXPECT_EQ(walked, 22 + 6 + 5);
}

// ---- desktop links ---------------------------------------------------------------

TEST_F(ShellAndRetry, OpenPassesTheSelectedLocalFileAndIgnoresFolders)
{
    const QString drivePath = useScratchFolder();
    QDir(env.scratch()).mkdir(QStringLiteral("sub dir"));
    w->現在のローカルパス = drivePath.mid(2);
    w->Local_list();

    // A folder: nothing.
    w->ListView2->setCurrentRow(row_of(w->ListView2, QStringLiteral("sub dir")), true);
    w->M_shell_Click();
    EXPECT_TRUE(launched.isEmpty());
    // No selection: nothing.
    w->ListView2->clearSelection();
    w->M_shell_Click();
    EXPECT_TRUE(launched.isEmpty());
    // A file: opened where it is.
    w->ListView2->setCurrentRow(row_of(w->ListView2, QStringLiteral("up.txt")), true);
    w->M_shell_Click();
    ASSERT_EQ(launched.size(), 1);
    EXPECT_EQ(launched.at(0).first, launcher::Kind::Document);
    EXPECT_EQ(QFileInfo(launched.at(0).second).canonicalFilePath(),
              QFileInfo(env.scratch() + QStringLiteral("/up.txt")).canonicalFilePath());
    EXPECT_EQ(prompts.count(), 0);
}

TEST_F(ShellAndRetry, RefreshListsTheActiveSide)
{
    const QString drivePath = useScratchFolder();
    w->現在のローカルパス = drivePath.mid(2);
    w->Local_list();
    ASSERT_EQ(list_names(w->ListView2), QStringList{"up.txt"});
    // The local side works without a connection.
    QFile(env.scratch() + QStringLiteral("/new.txt")).open(QIODevice::WriteOnly);
    w->Mnew_Click();
    EXPECT_TRUE(list_names(w->ListView2).contains(QStringLiteral("new.txt")));

    FakeTree tree(server, {{QStringLiteral("/"), root_listing()}});
    loginAndList(tree);
    w->activateList(true);
    w->Mnew_Click();
    EXPECT_TRUE(wait_until([&] { return tree.listings() == 2; }));
    EXPECT_EQ(prompts.count(), 0);
}

TEST_F(ShellAndRetry, AboutWindowIsKeptBetweenUses)
{
    w->Mabout_Click();
    Form7* about = w->findChild<Form7*>();
    ASSERT_TRUE(about);
    EXPECT_TRUE(about->isVisible());
    EXPECT_EQ(about->windowTitle(), QStringLiteral("バージョン情報"));
    EXPECT_EQ(about->Label1->text(), QStringLiteral("Palu_FTP"));
    EXPECT_EQ(about->Label2->text(), QStringLiteral("FTPクライアント"));
    EXPECT_EQ(about->Label3->text(), QStringLiteral("Ver2.5"));
    EXPECT_FALSE(about->Label4->text().isEmpty());
    about->Command1->click();
    EXPECT_FALSE(about->isVisible());
    w->Mabout_Click();
    EXPECT_EQ(w->findChild<Form7*>(), about);
    EXPECT_TRUE(about->isVisible());
}

TEST_F(ShellAndRetry, HelpOpensThePageOrSaysItIsMissing)
{
    w->Msetumei_Click();
    ASSERT_EQ(launched.size(), 1);
    EXPECT_EQ(launched.at(0).first, launcher::Kind::Help);
    EXPECT_TRUE(launched.at(0).second.endsWith(QStringLiteral("/palu_ftp.html")));
    EXPECT_TRUE(QFileInfo(launched.at(0).second).isFile());

    // The first folder that holds the page wins; none holding it gives "".
    QDir scratch(env.scratch());
    scratch.mkdir(QStringLiteral("a"));
    scratch.mkdir(QStringLiteral("b"));
    QFile(scratch.filePath(QStringLiteral("b/palu_ftp.html"))).open(QIODevice::WriteOnly);
    EXPECT_EQ(help_file::find({scratch.filePath(QStringLiteral("a")), scratch.filePath(QStringLiteral("b"))}),
              scratch.filePath(QStringLiteral("b/palu_ftp.html")));
    EXPECT_EQ(help_file::find({scratch.filePath(QStringLiteral("a")), scratch.filePath(QStringLiteral("missing"))}),
              QString());
}

// The shipped page explains every window and every command by the names the
// user sees.
TEST_F(ShellAndRetry, HelpPageNamesEveryWindowAndCommand)
{
    const QString path = help_file::find(help_file::folders());
    ASSERT_FALSE(path.isEmpty());
    QFile page(path);
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(page.readAll());
    EXPECT_TRUE(html.contains(QStringLiteral("charset=\"UTF-8\"")));

    QStringList wanted;
    const QRegularExpression accelerator(QStringLiteral("\\(&.\\)$"));
    QList<QMenu*> all{w->Mright, w->server_right};
    for (QAction* a : w->menuBar()->actions())
        all << a->menu();
    for (QMenu* menu : all)
        for (const QAction* a : menu->actions())
            if (!a->isSeparator())
                wanted << QString(a->text()).remove(accelerator);
    for (int i = 1; i <= 9; ++i)
        if (!w->toolbarButton(i)->isSeparator())
            wanted << w->toolbarButton(i)->text();
    wanted << QStringLiteral("Palu_FTP ｻｰﾊﾞｰ接続") << QStringLiteral("ｻｰﾊﾞｰ設定") << QStringLiteral("クイック接続")
           << QStringLiteral("オプション設定") << QStringLiteral("ﾃﾞｨﾚｸﾄﾘｰ選択") << QStringLiteral("新しい名前")
           << QStringLiteral("問い合わせ") << QStringLiteral("コマンド送信") << QStringLiteral("リトライ")
           << QStringLiteral("バージョン情報");
    for (const QString& name : std::as_const(wanted))
        EXPECT_TRUE(html.contains(name)) << name.toStdString();
}

} // namespace
