// The main window: start-up, the log pane and command echo, the display
// states and the resets.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QHelpEvent>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>

#include "app/form1.h"
#include "app/log_pane.h"
#include "app/splash_window.h"
#include "platform/click_label.h"
#include "platform/list_view.h"
#include "platform/program_folder.h"
#include "platform/screen_units.h"
#include "platform/settings_store.h"
#include "platform/winsock.h"
#include "servers/server_list_dialog.h"
#include "tests/fake_ftp_server.h"
#include "tests/prompt_script.h"
#include "tests/test_support.h"
#include "transfer/same_name_dialog.h"

namespace {

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Not the first start: no welcome box unless a test removes the list.
        QFile list(program_folder::file(QStringLiteral("server.lst")));
        ASSERT_TRUE(list.open(QIODevice::WriteOnly));
    }
    void load()
    {
        w = std::make_unique<form1>();
        w->Form_Load();
        w->show();
    }
    // Connects the control socket to the fake server and waits for it.
    void connectControl()
    {
        ASSERT_TRUE(server.port() != 0);
        server.setGreeting(QByteArray());   // no login: these tests drive the sender alone
        w->Winsock1->RemoteHost = QStringLiteral("127.0.0.1");
        w->Winsock1->RemotePort = server.port();
        w->Winsock1->Connect();
        ASSERT_TRUE(wait_until([&] { return w->Winsock1->State() == Winsock::sckConnected; }));
    }
    TestEnv env;
    PromptScript prompts;
    FakeFtpServer server;
    std::unique_ptr<form1> w;
};

TEST_F(MainWindow, StartsDisconnectedWithBothListsAndTheLog)
{
    load();
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Palu_FTP   未接続"));
    EXPECT_EQ(w->statusText(), QStringLiteral("Palu_FTP"));
    EXPECT_EQ(w->Label1->text(), QStringLiteral("未接続"));
    EXPECT_EQ(w->Text1->text(), QStringLiteral("PALU_FTP FTPｸﾗｲｱﾝﾄ　Ver2.0\r\n"));
    ASSERT_EQ(w->ListView2->columnCount(), 4);
    ASSERT_EQ(w->ListView1->columnCount(), 5);
    EXPECT_EQ(w->ListView2->columnHeader(0), QStringLiteral("ﾌｧｲﾙ名"));
    EXPECT_EQ(w->ListView1->columnHeader(4), QStringLiteral("属性"));
    EXPECT_EQ(w->ListView1->columnHeader(3), QString());
    EXPECT_EQ(w->ListView1->columnWidth(3), 0);
    EXPECT_EQ(w->ListView2->columnWidth(3), 0);
    EXPECT_GT(w->ListView2->columnWidth(0), w->ListView2->columnWidth(1));
    EXPECT_EQ(w->ListView1->view(), 3);
    // The local side is active and the connected-only commands are off.
    EXPECT_EQ(w->Label4->backColor(), QColor(255, 255, 128));
    EXPECT_EQ(w->Label1->backColor(), QColor(255, 255, 255));
    EXPECT_FALSE(w->MDOWN->isEnabled());
    EXPECT_FALSE(w->Mupload->isEnabled());
    EXPECT_FALSE(w->mlist[1]->isEnabled());
    EXPECT_TRUE(w->mlist[0]->isChecked());
    EXPECT_TRUE(w->Mview[0]->isChecked());
    EXPECT_FALSE(w->ListView1->isEnabled());
    EXPECT_FALSE(w->CDUP->isEnabled());
    for (int i : {3, 5, 6, 8})
        EXPECT_FALSE(w->toolbarButton(i)->isEnabled()) << i;
    for (int i : {2, 9})
        EXPECT_TRUE(w->toolbarButton(i)->isEnabled()) << i;
    EXPECT_FALSE(w->ProgressBar1->isVisible());
    EXPECT_EQ(prompts.count(), 0);
}

TEST_F(MainWindow, ToolbarHasItsNineButtonsInOrder)
{
    load();
    const QStringList captions = {"", "接続", "切断", "", "ｱｯﾌﾟﾛｰﾄﾞ", "ﾀﾞｳﾝﾛｰﾄﾞ", "", "中断", "終了"};
    ASSERT_EQ(w->Toolbar1->actions().size(), 9);
    for (int i = 1; i <= 9; ++i) {
        EXPECT_EQ(w->toolbarButton(i)->isSeparator(), captions.at(i - 1).isEmpty()) << i;
        if (!captions.at(i - 1).isEmpty()) {
            EXPECT_EQ(w->toolbarButton(i)->text(), captions.at(i - 1)) << i;
        }
    }
    EXPECT_EQ(w->toolbarButton(0), nullptr);
    EXPECT_EQ(w->toolbarButton(10), nullptr);
}

TEST_F(MainWindow, FirstStartWelcomesOnceAndCreatesTheServerList)
{
    const QString list = program_folder::file(QStringLiteral("server.lst"));
    QFile::remove(list);
    prompts.expect(QStringLiteral("ようこそ Palu_FTP　へ"));
    load();
    ASSERT_EQ(prompts.count(), 1);
    EXPECT_EQ(prompts.seen().at(0).title, QStringLiteral("ようこそ"));
    EXPECT_EQ(prompts.seen().at(0).icon, prompts::vbInformation);
    ASSERT_TRUE(QFile::exists(list));
    EXPECT_EQ(QFileInfo(list).size(), 0);

    w.reset();
    load();   // the second start asks nothing
    EXPECT_EQ(prompts.count(), 1);
}

TEST_F(MainWindow, UncreatableServerListIsNamedAndStartUpStillFinishes)
{
    // A program folder below a plain file can be neither made nor written to.
    const QString blocker = env.scratch() + QStringLiteral("/blocker");
    ASSERT_TRUE(QFile(blocker).open(QIODevice::WriteOnly));
    qputenv("PALU_FTP_HOME", (blocker + QStringLiteral("/palu")).toLocal8Bit());
    prompts.expect(QStringLiteral("ようこそ Palu_FTP　へ"));
    prompts.expect(blocker + QStringLiteral("/palu に server.lst を作成できませんでした。"));
    load();
    ASSERT_EQ(prompts.count(), 2);
    EXPECT_FALSE(prompts.seen().at(1).text.contains(QStringLiteral("パス名が無効です。")));
    // The rest of the start-up ran: columns, the local listing, the splash gone.
    EXPECT_EQ(w->ListView2->columnCount(), 4);
    EXPECT_EQ(w->ListView1->columnCount(), 5);
    EXPECT_TRUE(w->Label4->text().startsWith(QStringLiteral("ﾛｰｶﾙﾊﾟｽ:c:\\")));
    for (QWidget* top : QApplication::topLevelWidgets())
        EXPECT_FALSE(qobject_cast<form11*>(top) && top->isVisible());
}

TEST_F(MainWindow, OnlyConnectDisconnectUploadAndDownloadShowTooltips)
{
    load();
    // Enabling the buttons hands the actions' tooltips to the buttons again.
    for (bool connected : {false, true}) {
        if (connected)
            w->Show_connected();
        for (int i : {2, 3, 5, 6, 8, 9}) {
            auto* button = qobject_cast<QToolButton*>(w->Toolbar1->widgetForAction(w->toolbarButton(i)));
            ASSERT_TRUE(button) << i;
            const QString want = i == 8 || i == 9 ? QString() : w->toolbarButton(i)->text();
            EXPECT_EQ(button->toolTip(), want) << i << " connected " << connected;
            // What hovering shows: the tooltip window with that text, or none.
            ASSERT_TRUE(wait_until([] { return !QToolTip::isVisible(); })) << i;
            const QPoint at = button->rect().center();
            QHelpEvent hover(QEvent::ToolTip, at, button->mapToGlobal(at));
            QApplication::sendEvent(button, &hover);
            EXPECT_EQ(QToolTip::isVisible() ? QToolTip::text() : QString(), want) << i;
            QToolTip::hideText();
        }
    }
}

TEST_F(MainWindow, WindowSizeComesFromTheStoreInTwips)
{
    settings::save(QStringLiteral("Form_Size"), QStringLiteral("Height"), QStringLiteral("6000"));
    settings::save(QStringLiteral("Form_Size"), QStringLiteral("Width"), QStringLiteral("9000"));
    load();
    const double tpp = screen_units::twips_per_pixel();
    EXPECT_NEAR(w->outerHeightTwips(), 6000, tpp);
    EXPECT_NEAR(w->outerWidthTwips(), 9000, tpp);
}

TEST_F(MainWindow, UnusableStoredSizesFallBackToTheDefaults)
{
    for (const char* bad : {"abc", "", "-5", "1e9", "nan"}) {
        settings::save(QStringLiteral("Form_Size"), QStringLiteral("Height"), QString::fromLatin1(bad));
        settings::save(QStringLiteral("Form_Size"), QStringLiteral("Width"), QString::fromLatin1(bad));
        load();
        const double tpp = screen_units::twips_per_pixel();
        EXPECT_NEAR(w->outerHeightTwips(), 5000, tpp) << bad;
        EXPECT_NEAR(w->outerWidthTwips(), 7000, tpp) << bad;
        EXPECT_EQ(prompts.count(), 0);
    }
}

TEST_F(MainWindow, ResizeLaysOutAndHidesTheProgressBar)
{
    load();
    w->ProgressBar1->setVisible(true);
    w->setOuterSizeTwips(9000, 6000);
    EXPECT_FALSE(w->ProgressBar1->isVisible());
    // Both panes are equally wide and the remote pane starts where the local ends.
    EXPECT_EQ(w->ListView1->x(), w->ListView2->width());
    EXPECT_EQ(w->ListView1->width(), w->ListView2->width());
    EXPECT_EQ(w->CDUP->x() + w->CDUP->width(), w->ListView1->x() + w->ListView1->width());
    // The smallest window still has valid (non-negative) geometry everywhere.
    w->resize(1, 1);
    for (QWidget* c : std::initializer_list<QWidget*>{w->Drive1, w->Combo1, w->Text1, w->ListView1})
        EXPECT_GE(c->width(), 0);
}

TEST_F(MainWindow, SendCommandEchoesAndTrimsTheLogToItsLast2000Characters)
{
    load();
    connectControl();
    QString old;
    for (int i = 0; i < 2500; ++i)
        old += QChar(u'a' + i % 26);
    w->Text1->setText(old);
    w->送信文字列 = QStringLiteral("PWD\r\n");
    w->Send_command();
    EXPECT_EQ(w->Text1->text(), old.right(2000) + QStringLiteral(">PWD\r\n"));
    ASSERT_TRUE(server.waitForCommand(QStringLiteral("PWD")));
}

TEST_F(MainWindow, ReceivedTextIsNeverTrimmedOnlyTheNextCommandTrims)
{
    load();
    const QString big(3000, u'x');
    w->Newtext = big;
    w->Text_plus();
    EXPECT_TRUE(w->Text1->text().endsWith(big));
    EXPECT_GT(w->Text1->text().size(), 3000);
}

TEST_F(MainWindow, CommandWhileClosedIsNeitherSentNorLogged)
{
    load();
    const QString before = w->Text1->text();
    w->送信文字列 = QStringLiteral("PWD\r\n");
    w->Send_command();
    EXPECT_EQ(w->Text1->text(), before);
    EXPECT_FALSE(w->Text1->text().contains(u'>'));
    EXPECT_EQ(prompts.count(), 0);
}

TEST_F(MainWindow, CommandWhileConnectingIsRefusedWithAMessage)
{
    load();
    // A listener that never answers keeps nothing pending; a blackhole
    // address would need the network, so hold the connect in state 6 by
    // checking right after Connect() on loopback.
    w->Winsock1->RemoteHost = QStringLiteral("127.0.0.1");
    w->Winsock1->RemotePort = server.port();
    w->Winsock1->Connect();
    ASSERT_EQ(w->Winsock1->State(), Winsock::sckConnecting);
    prompts.expect(QStringLiteral("送信できませんでした"));
    w->送信文字列 = QStringLiteral("PASS secret\r\n");
    w->Send_command();
    ASSERT_EQ(prompts.count(), 1);
    EXPECT_FALSE(prompts.seen().at(0).text.contains(QStringLiteral("secret")));
    EXPECT_FALSE(w->Text1->text().contains(u'>'));
}

TEST_F(MainWindow, CommandWithAnEmbeddedLineBreakIsNeverSent)
{
    load();
    connectControl();
    for (const QString& line : {QStringLiteral("CWD a\r\nDELE b\r\n"), QStringLiteral("RETR x\ny\r\n"),
                                QStringLiteral("RNTO a\rb\r\n"), QStringLiteral("PWD")}) {
        prompts.expect(QStringLiteral("送信しませんでした"));
        w->送信文字列 = line;
        w->Send_command();
    }
    EXPECT_TRUE(prompts.allUsed());
    EXPECT_FALSE(w->Text1->text().contains(u'>'));
    // Nothing reached the server: the next good command is the first it sees.
    w->送信文字列 = QStringLiteral("NOOP\r\n");
    w->Send_command();
    ASSERT_TRUE(server.waitForCommand(QStringLiteral("NOOP")));
    EXPECT_EQ(server.commands(), QStringList{QStringLiteral("NOOP")});
}

TEST_F(MainWindow, ConnectedAndDisconnectedStatesSwitchTheirControls)
{
    load();
    connectControl();
    w->ホスト名 = QStringLiteral("ftp.example.jp");
    const int before = w->Combo1->count();   // the connect event already showed it once
    w->Show_connected();
    EXPECT_EQ(w->windowTitle(), QStringLiteral(" Palu_FTP   'ftp.example.jp'"));
    EXPECT_EQ(w->statusText(), QStringLiteral("ｻｰﾊﾞｰ　127.0.0.1に接続"));
    EXPECT_EQ(w->Combo1->currentText(), QStringLiteral("ftp.example.jp"));
    for (int i : {3, 5, 6, 8})
        EXPECT_TRUE(w->toolbarButton(i)->isEnabled()) << i;
    EXPECT_TRUE(w->MDOWN->isEnabled());
    EXPECT_TRUE(w->mlist[1]->isEnabled());
    EXPECT_TRUE(w->ListView1->isEnabled());
    // The same host twice is listed twice in the history.
    w->Show_connected();
    EXPECT_EQ(w->Combo1->count(), before + 2);

    w->ListView1->addItem(QStringLiteral("pub"), 1, {QString(), QString(), QStringLiteral("0")});
    w->CDUP->setEnabled(true);
    w->Select_view = 1;
    w->Y_Count = -1; w->Down_Count = 2; w->Up_Count = 3; w->ループ回数 = 3; w->del_Count = 4;
    w->Gcount = 1; w->rCount = 5;
    Form4::接続サーバー = QStringLiteral("my server");
    w->Show_disconnected();
    EXPECT_EQ(w->Select_view, 0);
    EXPECT_EQ(w->ListView1->count(), 0);
    EXPECT_EQ(w->Combo1->count(), 0);
    EXPECT_FALSE(w->CDUP->isEnabled());
    for (qint16 v : {w->Y_Count, w->Down_Count, w->Up_Count, w->ループ回数, w->del_Count, w->Gcount, w->rCount})
        EXPECT_EQ(v, 0);
    EXPECT_TRUE(Form4::接続サーバー.isEmpty());
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Palu_FTP   未接続"));
    EXPECT_EQ(w->Label4->backColor(), QColor(255, 255, 128));
    for (int i : {3, 5, 6, 8})
        EXPECT_FALSE(w->toolbarButton(i)->isEnabled()) << i;
}

// Every state variable as text, to see exactly which ones a reset touched.
QMap<QString, QString> snapshot(const form1& f)
{
    QMap<QString, QString> m;
#define KEEP(v) m.insert(QStringLiteral(#v), QVariant::fromValue(f.v).toString())
    KEEP(colum_click); KEEP(Q_mode); KEEP(最初の送信); KEEP(S_count); KEEP(Douitu); KEEP(Local_Dir);
    KEEP(del_Count); KEEP(ポートNo); KEEP(Server_Kyu); KEEP(Newtext); KEEP(msg); KEEP(送信文字列);
    KEEP(Time_start); KEEP(Down_Size); KEEP(File_total); KEEP(F_total); KEEP(Y_Count); KEEP(Bytes_Total1);
    KEEP(Gcount); KEEP(Ucount); KEEP(Wcount); KEEP(Dcount); KEEP(Up_File2); KEEP(Up_File); KEEP(Up_Count);
    KEEP(Down_Count); KEEP(fCount); KEEP(Down_File); KEEP(rCount); KEEP(Select_view); KEEP(現在のローカルパス);
    KEEP(ホスト名); KEEP(ユーザー名); KEEP(パスワード); KEEP(サーバーパス); KEEP(ループ回数); KEEP(リトライ回数);
    KEEP(リトライ間隔); KEEP(Combo_Name); KEEP(Combo_Mode);
#undef KEEP
    m.insert(QStringLiteral("Over_write"), Form13::Over_write ? QStringLiteral("1") : QStringLiteral("0"));
    return m;
}

void fill_everything(form1& f)
{
    f.colum_click = 1; f.Q_mode = -1; f.最初の送信 = 1; f.S_count = 1; f.Douitu = 1;
    f.Local_Dir = QStringLiteral("c:\\x\\"); f.del_Count = 2; f.ポートNo = 21; f.Server_Kyu = QStringLiteral("/a");
    f.Newtext = QStringLiteral("n"); f.msg = 6; f.送信文字列 = QStringLiteral("PWD\r\n");
    f.Time_start = QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5)); f.Down_Size = QStringLiteral("10");
    f.File_total = 7; f.F_total = 8; f.Y_Count = -1; f.Bytes_Total1 = 9; f.Gcount = 3; f.Ucount = -1;
    f.Wcount = -1; f.Dcount = 1; f.Up_File2 = QStringLiteral("c:\\u"); f.Up_File = QStringLiteral("u");
    f.Up_Count = 4; f.Down_Count = 5; f.fCount = 6; f.Down_File = QStringLiteral("d"); f.rCount = 7;
    f.Select_view = 1; f.現在のローカルパス = QStringLiteral("\\x"); f.ホスト名 = QStringLiteral("h");
    f.ユーザー名 = QStringLiteral("u"); f.パスワード = QStringLiteral("p"); f.サーバーパス = QStringLiteral("/s");
    f.ループ回数 = 3; f.リトライ回数 = 2; f.リトライ間隔 = 10; f.Combo_Name = QStringLiteral("c"); f.Combo_Mode = 1;
    Form13::Over_write = true;
}

QStringList changed(const QMap<QString, QString>& before, const QMap<QString, QString>& after)
{
    QStringList out;
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        if (after.value(it.key()) != it.value())
            out << it.key();
    out.sort();
    return out;
}

TEST_F(MainWindow, EachResetChangesExactlyItsVariables)
{
    load();
    fill_everything(*w);
    auto before = snapshot(*w);
    w->Clear_connect();
    QStringList expected = {"現在のローカルパス", "ポートNo", "ホスト名", "ユーザー名", "パスワード", "サーバーパス",
                            "リトライ回数", "リトライ間隔", "ループ回数"};
    expected.sort();
    EXPECT_EQ(changed(before, snapshot(*w)), expected);

    fill_everything(*w);
    before = snapshot(*w);
    w->Clear_transfer();
    expected = QStringList{"Down_Count", "Up_Count", "ループ回数", "Gcount", "rCount"};
    expected.sort();
    EXPECT_EQ(changed(before, snapshot(*w)), expected);

    fill_everything(*w);
    before = snapshot(*w);
    w->Clear_all();
    const auto after = snapshot(*w);
    expected = before.keys();
    expected.removeAll(QStringLiteral("colum_click"));
    expected.removeAll(QStringLiteral("Local_Dir"));
    expected.removeAll(QStringLiteral("現在のローカルパス"));
    expected.sort();
    EXPECT_EQ(changed(before, after), expected);
    EXPECT_EQ(w->Combo_Name, QVariant(0));
    EXPECT_FALSE(w->Time_start.isValid());
}

TEST_F(MainWindow, ClearTransferClosesOpenFilesSoTheyCanBeOpenedAgain)
{
    load();
    const QString path = env.scratch() + QStringLiteral("/part.bin");
    w->listingFile = std::make_unique<QFile>(path);
    ASSERT_TRUE(w->listingFile->open(QIODevice::WriteOnly));
    w->listingFile->write("abc");
    w->Clear_transfer();
    EXPECT_FALSE(w->listingFile);
    QFile again(path);
    ASSERT_TRUE(again.open(QIODevice::ReadOnly));
    EXPECT_EQ(again.readAll(), QByteArray("abc"));
}

} // namespace
