// The data connection: listings arriving in blocks, empty folders, the
// listing file, foreign connections, and remote navigation on top of it.
#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QTcpSocket>

#include "platform/click_label.h"
#include "platform/launcher.h"
#include "platform/list_view.h"
#include "tests/fake_tree.h"
#include "tests/ftp_fixture.h"
#include "tests/list_helpers.h"

namespace {

QByteArray root_listing()
{
    return "total 3\r\n" + listing_line('-', 2000, "b.txt") + listing_line('d', 0, "pub") +
           listing_line('-', 0, "a.bin") + listing_line('l', 7, "www -> /var/www");
}

class DataChannel : public FtpFixture {
protected:
    // Logs in and waits until the first listing is shown.
    void loginAndList(FakeTree& tree)
    {
        connectToFake();
        ASSERT_TRUE(wait_until([&] { return tree.listings() >= 1 && w->ListView1->count() > 0; }))
            << server.commands().join(u'|').toStdString();
    }
};

TEST_F(DataChannel, ListingInSeveralBlocksFillsTheRemoteList)
{
    server.scriptLogin();
    const QByteArray listing = root_listing();
    server.onCommand(QStringLiteral("LIST"), [&](FakeFtpServer& s, const QString&) {
        s.reply("150 ok\r\n");
        ASSERT_TRUE(s.connectData());
        s.sendDataInPieces(listing, {5, 70, 1, 40});
        s.reply("226 done\r\n");
    });
    connectToFake();
    ASSERT_TRUE(wait_until([&] { return w->ListView1->count() == 4; }));
    EXPECT_EQ(list_names(w->ListView1), (QStringList{"pub", "www", "a.bin", "b.txt"}));
    EXPECT_EQ(w->ListView1->subItem(3, 1), QStringLiteral("     2KB"));
    EXPECT_EQ(w->ListView1->subItem(2, 1), QStringLiteral("      0B"));
    QFile file(program_folder::file(QStringLiteral("temp.s")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), listing);
    // The listener is armed again for the next transfer.
    EXPECT_EQ(w->Winsock2->State(), Winsock::sckListening);
    EXPECT_TRUE(w->toolbarButton(6)->isEnabled());
}

TEST_F(DataChannel, EmptyFolderEmptiesTheListAndDisablesCdupAtTheRoot)
{
    FakeTree tree(server, {{QStringLiteral("/"), QByteArray()}});
    w->ListView1->addItem(QStringLiteral("stale"), 2);
    connectToFake();
    ASSERT_TRUE(wait_until([&] { return tree.listings() == 1 && w->Label1->text() == QStringLiteral("ｻｰﾊﾞｰﾊﾟｽ: /"); }));
    EXPECT_EQ(w->ListView1->count(), 0);
    EXPECT_FALSE(w->CDUP->isEnabled());
}

TEST_F(DataChannel, EachListingReplacesTheListingFile)
{
    const QByteArray big = root_listing() + listing_line('-', 5, "extra.txt");
    FakeTree tree(server, {{QStringLiteral("/"), big}, {QStringLiteral("/pub"), listing_line('-', 1, "only.txt")}});
    loginAndList(tree);
    w->ListView1->setCurrentRow(0, true);   // "pub"
    w->ListView1_DblClick();
    ASSERT_TRUE(wait_until([&] { return list_names(w->ListView1) == QStringList{"only.txt"}; }));
    QFile file(program_folder::file(QStringLiteral("temp.s")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), listing_line('-', 1, "only.txt"));
}

TEST_F(DataChannel, ConnectionFromAnotherAddressIsRefusedAndLogged)
{
    FakeTree tree(server, {{QStringLiteral("/"), root_listing()}});
    loginAndList(tree);
    const int listed = w->ListView1->count();
    QTcpSocket intruder;
    ASSERT_TRUE(intruder.bind(QHostAddress(QStringLiteral("127.0.0.2"))));
    intruder.connectToHost(QHostAddress::LocalHost, quint16(w->Winsock2->LocalPort));
    intruder.write(listing_line('-', 1, "evil.sh"));   // sent once connected
    ASSERT_TRUE(wait_until([&] { return log().contains(QStringLiteral("127.0.0.2")); }));
    EXPECT_TRUE(wait_until([&] { return intruder.state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_EQ(w->Winsock2->State(), Winsock::sckListening);
    EXPECT_EQ(w->ListView1->count(), listed);
    // The real server's next transfer still gets through.
    w->Send_pwd();
    ASSERT_TRUE(wait_until([&] { return tree.listings() == 2; }));
}

TEST_F(DataChannel, EnterAFolderGoUpAndPickTheRootFromTheHistory)
{
    FakeTree tree(server, {{QStringLiteral("/"), root_listing()},
                           {QStringLiteral("/pub"), listing_line('d', 0, "incoming")},
                           {QStringLiteral("/pub/incoming"), listing_line('-', 10, "x.txt")}});
    loginAndList(tree);
    EXPECT_FALSE(w->CDUP->isEnabled());
    w->ListView1->setCurrentRow(0, true);   // pub
    w->ListView1_DblClick();
    EXPECT_EQ(w->サーバーパス, QStringLiteral("/pub"));
    EXPECT_TRUE(server.waitForCommand(QStringLiteral("CWD pub")));
    ASSERT_TRUE(wait_until([&] { return list_names(w->ListView1) == QStringList{"incoming"}; }));
    EXPECT_TRUE(w->CDUP->isEnabled());
    w->ListView1->setCurrentRow(0, true);
    w->ListView1_DblClick();
    EXPECT_TRUE(server.waitForCommand(QStringLiteral("CWD incoming")));
    ASSERT_TRUE(wait_until([&] { return list_names(w->ListView1) == QStringList{"x.txt"}; }));
    EXPECT_EQ(w->サーバーパス, QStringLiteral("/pub/incoming"));
    EXPECT_EQ(w->rCount, 2);
    // A double-click on a file sends nothing.
    const int sent = int(server.commands().size());
    w->ListView1->setCurrentRow(0, true);
    w->ListView1_DblClick();
    EXPECT_EQ(server.commands().size(), sent);

    w->CDUP_Click();
    EXPECT_FALSE(w->CDUP->isEnabled());
    EXPECT_EQ(w->Combo1->currentText(), QStringLiteral("pub"));
    ASSERT_TRUE(wait_until([&] { return list_names(w->ListView1) == QStringList{"incoming"}; }));
    EXPECT_EQ(w->サーバーパス, QStringLiteral("/pub"));

    // History: the host name stands for the root.
    const int hostIndex = w->Combo1->findText(QStringLiteral("127.0.0.1"));
    ASSERT_GE(hostIndex, 0);
    w->Combo1_Click(hostIndex);
    EXPECT_TRUE(server.waitForCommand(QStringLiteral("CWD /")));
    ASSERT_TRUE(wait_until([&] { return w->サーバーパス == QStringLiteral("/") && w->ListView1->count() == 4; }));
    w->Combo1_LostFocus();
    EXPECT_EQ(w->Combo1->currentText(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(w->Combo_Mode, 0);
}

TEST_F(DataChannel, HistoryPickRebuildsThePrefixes)
{
    FakeTree tree(server, {{QStringLiteral("/"), root_listing()}, {QStringLiteral("/a/b"), QByteArray()},
                           {QStringLiteral("/a"), QByteArray()}});
    loginAndList(tree);
    w->Combo1->addItem(QStringLiteral("/a/b"));
    w->Combo1_Click(w->Combo1->count() - 1);
    EXPECT_EQ(w->Combo1->count(), 3);
    EXPECT_EQ(w->Combo1->itemText(0), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(w->Combo1->itemText(1), QStringLiteral("/a"));
    EXPECT_EQ(w->Combo1->itemText(2), QStringLiteral("/a/b"));
    EXPECT_EQ(w->Combo_Name.toString(), QStringLiteral("b"));
    EXPECT_TRUE(server.waitForCommand(QStringLiteral("CWD /a/b")));
}

TEST_F(DataChannel, RefusedFolderRestoresThePath)
{
    FakeTree tree(server, {{QStringLiteral("/"), root_listing()}});
    loginAndList(tree);
    prompts.expect(QStringLiteral("アクセスできませんでした。"));
    w->ListView1->setCurrentRow(0, true);   // pub, not in the tree: 550
    w->ListView1_DblClick();
    ASSERT_TRUE(wait_until([&] { return prompts.allUsed(); }));
    EXPECT_EQ(w->サーバーパス, QStringLiteral("/"));
}

TEST_F(DataChannel, ActiveListMenuAndPopupsFollowTheConnection)
{
    FakeTree tree(server, {{QStringLiteral("/"), root_listing()}});
    loginAndList(tree);
    w->mlist[1]->trigger();
    EXPECT_EQ(w->Select_view, 1);
    EXPECT_TRUE(w->mlist[1]->isChecked());
    EXPECT_FALSE(w->mlist[0]->isChecked());
    EXPECT_EQ(w->Label1->backColor(), QColor(255, 255, 128));
    w->mlist[1]->trigger();   // the checked item swaps back too
    EXPECT_EQ(w->Select_view, 0);
    EXPECT_TRUE(w->mlist[0]->isChecked());
}

TEST_F(DataChannel, ListingFileOpensInTheTextEditor)
{
    QStringList opened;
    launcher::set_recorder([&](launcher::Kind k, const QString& p) {
        if (k == launcher::Kind::TextEditor)
            opened << p;
    });
    w->mlist1->trigger();
    launcher::set_recorder({});
    EXPECT_EQ(opened, QStringList{program_folder::file(QStringLiteral("temp.s"))});
}

} // namespace
