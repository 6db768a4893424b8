// Making, renaming and deleting on a real FTP server (pyftpdlib), driven
// through the window's menu items: the remote list and the server's disk
// show each result.
#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>

#include "app/form1.h"
#include "app/log_pane.h"
#include "fileops/rename_dialog.h"
#include "platform/list_view.h"
#include "platform/program_folder.h"
#include "platform/settings_store.h"
#include "servers/server_list_dialog.h"
#include "tests/prompt_script.h"
#include "tests/real_ftp_server.h"
#include "tests/list_helpers.h"
#include "tests/test_support.h"

namespace {

class FileOpsEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(ftp.start()) << qPrintable(ftp.errorText());
        for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
            QFile f(ftp.root() + QStringLiteral("/") + QString::fromUtf8(name));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(QByteArray("content of ") + name);
        }
        QFile list(program_folder::file(QStringLiteral("server.lst")));
        ASSERT_TRUE(list.open(QIODevice::WriteOnly));
        list.write("real\r\n");
        list.close();
        const QString entry = QStringLiteral("real");
        settings::save(entry, QStringLiteral("s_adress"), QStringLiteral("127.0.0.1"));
        settings::save(entry, QStringLiteral("ポートNo"), QString::number(ftp.port()));
        settings::save(entry, QStringLiteral("s_user"), ftp.user());
        settings::save(entry, QStringLiteral("s_pass"), ftp.password());
        w = std::make_unique<form1>();
        w->Form_Load();
        w->wireFileOperations();
        w->show();
        Form4::接続サーバー = entry;
        w->Connect_server();
        ASSERT_TRUE(shows({"a.txt", "b.txt", "c.txt"})) << qPrintable(w->Text1->text());
        w->activateList(true);
    }
    // Waits until the remote list holds exactly these names and the listing
    // has ended.
    bool shows(const QStringList& wanted)
    {
        return wait_until([&] { return list_names(w->ListView1) == wanted && w->toolbarButton(6)->isEnabled(); },
                          15000);
    }
    QString onServer(const QString& name) const { return ftp.root() + QStringLiteral("/") + name; }

    TestEnv env;
    PromptScript prompts;
    RealFtpServer ftp;
    std::unique_ptr<form1> w;
};

TEST_F(FileOpsEndToEnd, MakeRenameAndDeleteShowInTheRemoteList)
{
    prompts.expect(QStringLiteral("作成する"), prompts::vbOK, QStringLiteral("new folder"));
    w->MMkdir3->trigger();
    ASSERT_TRUE(shows({"new folder", "a.txt", "b.txt", "c.txt"})) << qPrintable(w->Text1->text());
    EXPECT_TRUE(QFileInfo(onServer(QStringLiteral("new folder"))).isDir());

    select_by_name(w->ListView1, {"a.txt"});
    w->Mrname2->trigger();
    ASSERT_TRUE(wait_until([&] { return w->form6_ && w->form6_->isVisible(); }, 15000));
    EXPECT_EQ(w->form6_->Text1->text(), QStringLiteral("a.txt"));
    w->form6_->Text1->setText(QStringLiteral("renamed 名前.txt"));
    w->form6_->Command1->click();
    ASSERT_TRUE(shows({"new folder", "b.txt", "c.txt", "renamed 名前.txt"})) << qPrintable(w->Text1->text());
    QFile renamed(onServer(QStringLiteral("renamed 名前.txt")));
    ASSERT_TRUE(renamed.open(QIODevice::ReadOnly));
    EXPECT_EQ(renamed.readAll(), "content of a.txt");

    select_by_name(w->ListView1, {"b.txt", "c.txt"});
    prompts.expect(QStringLiteral("選択された2個のファイルを削除していいですか？"), prompts::vbOK);
    w->Mdel2->trigger();
    ASSERT_TRUE(shows({"new folder", "renamed 名前.txt"})) << qPrintable(w->Text1->text());
    EXPECT_FALSE(QFileInfo::exists(onServer(QStringLiteral("b.txt"))));
    EXPECT_FALSE(QFileInfo::exists(onServer(QStringLiteral("c.txt"))));

    // A folder goes with everything in it, after a question that counts it;
    // a link in it goes as itself, never what it leads to (the server's
    // MLSD shows it as the folder it leads to).
    ASSERT_TRUE(QDir().mkpath(onServer(QStringLiteral("new folder/sub 日本"))));
    QFile inside(onServer(QStringLiteral("new folder/sub 日本/inside.txt")));
    ASSERT_TRUE(inside.open(QIODevice::WriteOnly));
    inside.close();
    ASSERT_TRUE(QFile::link(QStringLiteral(".."), onServer(QStringLiteral("new folder/up"))));
    select_by_name(w->ListView1, {"new folder"});
    prompts.expect(QStringLiteral("new folderを削除してもいいですか？"), prompts::vbOK);
    prompts.expect(QStringLiteral("「new folder」の中のファイル 2 個とフォルダ 1 個も削除しますか？"), prompts::vbOK);
    w->Mrmdir->trigger();
    ASSERT_TRUE(shows({"renamed 名前.txt"})) << qPrintable(w->Text1->text());
    EXPECT_TRUE(prompts.allUsed());
    EXPECT_FALSE(QFileInfo::exists(onServer(QStringLiteral("new folder"))));
    EXPECT_EQ(w->del_Count, 0);
}

} // namespace
