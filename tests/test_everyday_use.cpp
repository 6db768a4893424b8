// What a user of any desktop file manager expects of the two lists: the
// keys, a name column that takes a wider window, a local list that follows
// the disk, and the local folder the program starts in and remembers.
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QMimeData>
#include <QTcpServer>
#include <QTcpSocket>

#include <sys/socket.h>
#include <QUrl>
#include <QLabel>

#include "fileops/rename_dialog.h"
#include "platform/click_label.h"
#include "platform/errors.h"
#include "platform/launcher.h"
#include "platform/list_view.h"
#include "servers/settings_keys.h"
#include "tests/fake_tree.h"
#include "tests/ftp_fixture.h"
#include "tests/list_helpers.h"

namespace {

void touch(const QString& path)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
}

void press(ListView* list, int key, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    list->activeView()->setFocus();
    QKeyEvent event(QEvent::KeyPress, key, mods);
    QApplication::sendEvent(list->activeView(), &event);
}

class EverydayUse : public FtpFixture {
protected:
    QString scratchPath() const { return drives::from_native(env.scratch()) + QStringLiteral("\\"); }
    void openScratch()
    {
        w->現在のローカルパス = drives::from_native(env.scratch()).mid(2);
        w->Local_list();
    }
};

TEST_F(EverydayUse, LocalListKeys)
{
    ASSERT_TRUE(QDir(env.scratch()).mkdir(QStringLiteral("sub")));
    touch(env.scratch() + QStringLiteral("/a.txt"));
    openScratch();
    EXPECT_EQ(w->Mrmdir->shortcut(), QKeySequence(Qt::Key_Delete));   // shown beside the item

    select_by_name(w->ListView2, {"a.txt"});
    prompts.expect(QStringLiteral("「a.txt」をごみ箱に移しますか？"), prompts::vbCancel);
    press(w->ListView2, Qt::Key_Delete);
    EXPECT_TRUE(prompts.allUsed());

    press(w->ListView2, Qt::Key_F2);
    ASSERT_TRUE(w->form6_ && w->form6_->isVisible());
    w->form6_->reject();

    press(w->ListView2, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(w->ListView2->selectedRows().size(), 2);

    select_by_name(w->ListView2, {"sub"});
    press(w->ListView2, Qt::Key_Return);
    EXPECT_EQ(w->Local_Dir, scratchPath() + QStringLiteral("sub\\"));
    press(w->ListView2, Qt::Key_Backspace);
    EXPECT_EQ(w->Local_Dir, scratchPath());

    touch(env.scratch() + QStringLiteral("/new.txt"));
    press(w->ListView2, Qt::Key_F5);
    EXPECT_TRUE(list_names(w->ListView2).contains(QStringLiteral("new.txt")));
    EXPECT_EQ(prompts.count(), 1);
}

TEST_F(EverydayUse, RemoteListKeys)
{
    FakeTree tree(server, {{QStringLiteral("/"), listing_line('d', 0, "pub") + listing_line('-', 20, "b.txt")},
                           {QStringLiteral("/pub"), listing_line('-', 5, "c.txt")}});
    connectToFake();
    ASSERT_TRUE(wait_until([&] { return w->ListView1->count() == 2 && !w->busy(); }));

    select_by_name(w->ListView1, {"b.txt"});
    prompts.expect(QStringLiteral("b.txtを削除してもいいですか？"), prompts::vbCancel);
    press(w->ListView1, Qt::Key_Delete);
    EXPECT_TRUE(prompts.allUsed());
    EXPECT_EQ(w->Select_view, 1);   // the key made its list the active one

    select_by_name(w->ListView1, {"pub"});
    press(w->ListView1, Qt::Key_Return);
    ASSERT_TRUE(wait_until([&] { return list_names(w->ListView1) == QStringList{"c.txt"} && !w->busy(); }));
    press(w->ListView1, Qt::Key_Backspace);
    ASSERT_TRUE(wait_until([&] { return w->ListView1->count() == 2 && !w->busy(); }));
    EXPECT_EQ(tree.cwd(), QStringLiteral("/"));
}

TEST_F(EverydayUse, WiderWindowWidensOnlyTheNames)
{
    const int names = w->ListView2->columnWidth(0), sizes = w->ListView2->columnWidth(1);
    const int dates = w->ListView2->columnWidth(2);
    w->ListView2->resize(w->ListView2->width() + 300, w->ListView2->height());
    EXPECT_EQ(w->ListView2->columnWidth(0), names + 300);
    EXPECT_EQ(w->ListView2->columnWidth(1), sizes);
    EXPECT_EQ(w->ListView2->columnWidth(2), dates);
}

TEST_F(EverydayUse, LocalListFollowsTheDiskAndKeepsTheSelection)
{
    for (const char* n : {"a.txt", "b.txt", "gone.txt"})
        touch(env.scratch() + u'/' + QString::fromUtf8(n));
    openScratch();
    select_by_name(w->ListView2, {"a.txt", "b.txt"});
    // Another program makes one file and removes another.
    touch(env.scratch() + QStringLiteral("/made.txt"));
    ASSERT_TRUE(QFile::remove(env.scratch() + QStringLiteral("/gone.txt")));
    ASSERT_TRUE(wait_until([&] { return list_names(w->ListView2).contains(QStringLiteral("made.txt")); }));
    EXPECT_FALSE(list_names(w->ListView2).contains(QStringLiteral("gone.txt")));
    QStringList selected;
    for (int row : w->ListView2->selectedRows())
        selected << w->ListView2->text(row);
    EXPECT_EQ(selected, (QStringList{"a.txt", "b.txt"}));
    EXPECT_EQ(w->ListView2->text(w->ListView2->currentRow()), QStringLiteral("b.txt"));
}

TEST_F(EverydayUse, StartsInTheLastFolderElseHome)
{
    // The fixture's window started without LAST_LOCAL: the home folder.
    EXPECT_EQ(w->Local_Dir, drives::from_native(QDir::homePath()) + QStringLiteral("\\"));
    openScratch();
    errors::set_end_hook([](int) {});
    w->Mend_Click();   // not connected: nothing is asked
    errors::set_end_hook({});
    EXPECT_EQ(settings::get(keys::Options, keys::LastLocal), scratchPath());

    w = std::make_unique<form1>();
    w->Form_Load();
    EXPECT_EQ(w->Local_Dir, scratchPath());
    EXPECT_EQ(w->Label4->text(), QStringLiteral("ﾛｰｶﾙﾊﾟｽ:") + scratchPath());
}

} // namespace

namespace {

TEST_F(EverydayUse, ClosingDuringATransferSaysSo)
{
    FakeTree tree(server, {{QStringLiteral("/"), listing_line('-', 20, "b.txt")}});
    // The file never comes: the download runs on.
    tree.fault = [](FakeFtpServer&, const QString& line) { return line.startsWith(QStringLiteral("RETR")); };
    openScratch();
    connectToFake();
    ASSERT_TRUE(wait_until([&] { return w->ListView1->count() == 1 && !w->busy(); }));
    select_by_name(w->ListView1, {"b.txt"});
    w->activateList(true);
    w->MDOWN_Click();
    ASSERT_TRUE(server.waitForCommand(QStringLiteral("RETR")));
    prompts.expect(QStringLiteral("転送中です。中断して終了しますか？"), prompts::vbCancel);
    EXPECT_FALSE(w->close());
    EXPECT_TRUE(prompts.allUsed());
    EXPECT_EQ(w->operation_, form1::Operation::Download);
}

TEST_F(EverydayUse, FilesNoProgramOpensAreNamed)
{
    launcher::set_process_starter([](const QString&, const QStringList&) { return false; });
    prompts.expect(QStringLiteral("テキストエディターで開けませんでした。\n") + program_folder::file(QStringLiteral("temp.s")));
    w->mlist1_Click();
    prompts.expect(QStringLiteral("ヘルプを表示できませんでした。"));
    w->Msetumei_Click();
    launcher::set_process_starter({});
    EXPECT_TRUE(prompts.allUsed());
}

} // namespace

namespace {

// Drops data on a list as the window system delivers a drop: it enters the
// list (which takes or refuses it), then lands.
void drop_on(ListView* list, QMimeData* data)
{
    QWidget* viewport = list->activeView()->viewport();
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &drop);
}

class DragAndDrop : public EverydayUse {
protected:
    void SetUp() override
    {
        EverydayUse::SetUp();
        tree = std::make_unique<FakeTree>(server, QMap<QString, QByteArray>{
                                                      {QStringLiteral("/"), listing_line('-', 4, "r.txt")}});
        tree->files.insert(QStringLiteral("/r.txt"), "from");
        connectToFake();
        ASSERT_TRUE(wait_until([&] { return w->ListView1->count() == 1 && !w->busy(); }));
    }
    std::unique_ptr<FakeTree> tree;
};

TEST_F(DragAndDrop, FilesFromTheDesktopUploadFromTheirFolder)
{
    const QString folder = env.scratch() + QStringLiteral("/desk");
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/sub")));
    touch(folder + QStringLiteral("/a.txt"));
    touch(folder + QStringLiteral("/b.txt"));
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(folder + QStringLiteral("/a.txt")), QUrl::fromLocalFile(folder + QStringLiteral("/b.txt"))});
    drop_on(w->ListView1, &files);
    ASSERT_TRUE(wait_until([&] { return tree->stored.size() == 2 && !w->busy(); }));
    EXPECT_EQ(w->Local_Dir, drives::from_native(folder) + QStringLiteral("\\"));

    // A folder goes up whole, as from the menu; a drop while a transfer
    // runs is refused as the menu refuses it.
    QMimeData withFolder;
    withFolder.setUrls({QUrl::fromLocalFile(folder + QStringLiteral("/sub"))});
    drop_on(w->ListView1, &withFolder);
    ASSERT_TRUE(wait_until([&] { return tree->made == QStringList{"/sub"} && !w->busy(); })) << w->Text1->text().toStdString();
    tree->fault = [](FakeFtpServer&, const QString& line) { return line.startsWith(QStringLiteral("RETR")); };
    select_by_name(w->ListView1, {"r.txt"});
    w->MDOWN_Click();
    prompts.expect(QStringLiteral("」の実行中です。"));
    drop_on(w->ListView1, &files);
    EXPECT_TRUE(prompts.allUsed());
    EXPECT_EQ(tree->stored.size(), 2);
}

TEST_F(DragAndDrop, RemoteRowsDroppedOnTheLocalListDownloadThere)
{
    openScratch();
    select_by_name(w->ListView1, {"r.txt"});
    QMimeData rows;
    rows.setData(QStringLiteral("application/x-palu-ftp-remote-names"), "r.txt");
    drop_on(w->ListView2, &rows);
    ASSERT_TRUE(wait_until([&] { return QFileInfo::exists(env.scratch() + QStringLiteral("/r.txt")) && !w->busy(); }));
    // Something the lists do not take (text from an editor) does nothing.
    QMimeData text;
    text.setText(QStringLiteral("hello"));
    drop_on(w->ListView2, &text);
    drop_on(w->ListView1, &text);
    EXPECT_EQ(tree->retrieved.size(), 1);
    EXPECT_EQ(prompts.count(), 0);
}

} // namespace

namespace {

TEST_F(EverydayUse, FailedConnectionSaysWhy)
{
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    const int closedPort = probe.serverPort();
    probe.close();
    // A listener whose queue is full: the system answers nothing more.
    QTcpServer full;
    ASSERT_TRUE(full.listen(QHostAddress::LocalHost));
    full.pauseAccepting();
    ASSERT_EQ(::listen(int(full.socketDescriptor()), 0), 0);
    QTcpSocket queued;
    queued.connectToHost(QHostAddress::LocalHost, full.serverPort());
    ASSERT_TRUE(queued.waitForConnected(5000));
    const QString port = QString::number(full.serverPort());

    struct Case {
        QString host;
        int port;
        QString cause;
    };
    for (const Case& c : {Case{QStringLiteral("127.0.0.1"), closedPort,
                               QStringLiteral("127.0.0.1:") + QString::number(closedPort) + QStringLiteral(" に接続できません（接続を拒否されました）。")},
                          Case{QStringLiteral("nowhere.invalid"), 21, QStringLiteral("ホスト名 nowhere.invalid が見つかりません。")},
                          Case{QStringLiteral("127.0.0.1"), int(full.serverPort()),
                               QStringLiteral("127.0.0.1:") + port + QStringLiteral(" から応答がありません（タイムアウト）。")}}) {
        w->Winsock1->ConnectWaitMs = 500;
        prompts.expect(QStringLiteral("接続エラーが発生しました。\n") + c.cause);
        w->Quick_connect(c.host, QStringLiteral("u"), QStringLiteral("p"), c.port);
        ASSERT_TRUE(wait_until([&] { return prompts.allUsed(); }, 10000)) << c.cause.toStdString();
        EXPECT_TRUE(log().contains(c.cause));
    }
}

} // namespace
