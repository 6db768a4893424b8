// Server refusals in the middle of an operation: nothing resumes out of place
// and the remote path stays true.
#include <QFile>

#include "platform/click_label.h"
#include "platform/launcher.h"
#include "platform/list_view.h"
#include "tests/fake_tree.h"
#include "tests/ftp_fixture.h"

namespace {

class Refusals : public FtpFixture {
protected:
    void SetUp() override
    {
        FtpFixture::SetUp();
        tree = std::make_unique<FakeTree>(
            server, QMap<QString, QByteArray>{{QStringLiteral("/"), listing_line('-', 10, "a.txt") +
                                                                       listing_line('-', 10, "b.txt")},
                                              {QStringLiteral("/sub"), listing_line('-', 1, "in_sub.txt")}});
        connectToFake();
        ASSERT_TRUE(wait_until([&] { return tree->listings() == 1 && w->ListView1->count() == 2; }));
    }
    void select(const QStringList& names)
    {
        w->ListView1->clearSelection();
        for (int i = 0; i < w->ListView1->count(); ++i)
            if (names.contains(w->ListView1->text(i)))
                w->ListView1->setSelected(i, true);
    }
    std::unique_ptr<FakeTree> tree;
};

TEST_F(Refusals, ADeleteRefusedWithAnotherCodeEndsTheBatch)
{
    server.onCommand(QStringLiteral("DELE"), [](FakeFtpServer& s, const QString&) { s.reply("450 File busy.\r\n"); });
    w->activateList(true);
    select({"a.txt", "b.txt"});
    prompts.expect(QStringLiteral("選択された2個"), prompts::vbOK);
    w->Mdel2->trigger();
    ASSERT_TRUE(server.waitForCommand(QStringLiteral("DELE b.txt")));
    ASSERT_TRUE(wait_until([&] { return w->del_Count == 0; }));
    // Entering a folder answers "250": it lists the folder, it deletes nothing.
    w->ListView1->setCurrentRow(0, true);
    w->ListView1->addItem(QStringLiteral("sub"), 1, {QString(), QString(), QStringLiteral("0")});
    w->ListView1->setCurrentRow(w->ListView1->count() - 1, true);
    w->ListView1_DblClick();
    ASSERT_TRUE(wait_until([&] { return tree->listings() >= 2 && w->サーバーパス == QStringLiteral("/sub"); }));
    EXPECT_EQ(server.commands().filter(QStringLiteral("DELE")), QStringList{"DELE b.txt"});
    EXPECT_TRUE(w->toolbarButton(6)->isEnabled());
}

TEST_F(Refusals, MakeFolderKeepsTheCurrentPath)
{
    server.onCommand(QStringLiteral("MKD"), [](FakeFtpServer& s, const QString&) {
        s.reply("257 \"/newdir\" created.\r\n");
    });
    w->Select_view = 1;
    prompts.expect(QString(), prompts::vbOK, QStringLiteral("newdir"));
    const int before = tree->listings();
    w->MMkdir->trigger();
    ASSERT_TRUE(server.waitForCommand(QStringLiteral("MKD newdir")));
    ASSERT_TRUE(wait_until([&] { return tree->listings() > before; }));
    EXPECT_EQ(w->サーバーパス, QStringLiteral("/"));
    EXPECT_EQ(w->Label1->text(), QStringLiteral("ｻｰﾊﾞｰﾊﾟｽ: /"));
    EXPECT_EQ(w->Server_Kyu, QStringLiteral("/"));
}

TEST_F(Refusals, ARefusedTextViewDoesNotCatchTheNextListing)
{
    QStringList opened;
    launcher::set_recorder([&](launcher::Kind, const QString& p) { opened << p; });
    select({"a.txt"});   // not in the tree's files: RETR gets 550
    prompts.expect(QStringLiteral("アクセスできませんでした。"));
    w->Y_Count = -1;
    w->MDOWN_Click();
    ASSERT_TRUE(wait_until([&] { return prompts.allUsed() && tree->listings() >= 2; }));
    launcher::set_recorder({});
    EXPECT_EQ(w->Y_Count, 0);
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_EQ(w->ListView1->count(), 2);
    EXPECT_FALSE(QFile::exists(program_folder::file(QStringLiteral("text.txt"))));
}

TEST_F(Refusals, ARefusedDataConnectionTriesPassiveModeOnceAndDoesNotRepeatTheRetrieve)
{
    server.onCommand(QStringLiteral("RETR"), [](FakeFtpServer& s, const QString&) {
        s.reply("425 Can't open data connection.\r\n");
    });
    select({"a.txt"});
    // Passive mode is tried once; refused too, it ends the download, and the
    // user is told which file.
    prompts.expect(QStringLiteral("PASVモードに対応していないため、データー接続を開けませんでした。\n「a.txt」のダウンロードは完了しませんでした。"));
    w->MDOWN_Click();
    ASSERT_TRUE(server.waitForCommand(QStringLiteral("RETR a.txt")));
    ASSERT_TRUE(wait_until([&] { return w->ループ回数 == 0 && w->toolbarButton(6)->isEnabled(); }));
    EXPECT_TRUE(prompts.allUsed());
    // A fresh listing now runs PORT and LIST, not RETR again.
    w->Send_pwd();
    ASSERT_TRUE(wait_until([&] { return tree->listings() >= 2; }));
    EXPECT_EQ(server.commands().filter(QStringLiteral("RETR")).size(), 1);
    EXPECT_EQ(server.commands().filter(QStringLiteral("EPSV")).size(), 1);
}

} // namespace
