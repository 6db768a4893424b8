// Japanese names on servers in UTF-8, Shift_JIS and EUC-JP, with the code
// page found by the program and chosen in the entry: the list, a Japanese
// folder, download and upload, make folder, rename and delete, each checked
// on both disks byte for byte (local names are UTF-8, the server's in its
// own code page).
#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <filesystem>
#include <fstream>

#include "app/form1.h"
#include "app/log_pane.h"
#include "fileops/rename_dialog.h"
#include "platform/codepage.h"
#include "platform/drive_view.h"
#include "platform/list_view.h"
#include "platform/program_folder.h"
#include "platform/settings_store.h"
#include "platform/winsock.h"
#include "servers/server_list_dialog.h"
#include "servers/settings_keys.h"
#include "tests/fake_ftp_server.h"
#include "tests/ftp_fixture.h"
#include "tests/list_helpers.h"
#include "tests/prompt_script.h"
#include "tests/real_ftp_server.h"
#include "tests/test_support.h"
#include "transfer/same_name_dialog.h"

namespace {

namespace fs = std::filesystem;

struct Server {
    const char* name;
    const char* cp;          // the code page of the names on the server's disk
    const char* choice;      // the entry's CODEPAGE
    const char* label;       // as the log names the code page
    const char* upload;      // a name the code page holds
    const char* unsendable;  // a name it cannot hold; empty when none
};

void PrintTo(const Server& s, std::ostream* os)
{
    *os << s.name;
}

class ServerCodepages : public ::testing::TestWithParam<Server> {
protected:
    void SetUp() override
    {
        cp = GetParam().cp;
        server.setRawNames(cp != "UTF-8");
        ASSERT_TRUE(server.start()) << qPrintable(server.errorText());
        fs::create_directory(onServer({QStringLiteral("日本語フォルダ")}));
        write(onServer({QStringLiteral("日本語フォルダ"), QStringLiteral("テスト.txt")}), "テスト\r\n\x95\x5c\xff");
        write(onServer({QStringLiteral("表.txt")}), "x");
        local = env.scratch();

        QFile list(program_folder::file(QStringLiteral("server.lst")));
        ASSERT_TRUE(list.open(QIODevice::WriteOnly));
        list.write("jp\r\n");
        list.close();
        const auto rec = [](const QString& key, const QString& value) { settings::save(QStringLiteral("jp"), key, value); };
        rec(keys::SAdress, QStringLiteral("127.0.0.1"));
        rec(keys::PortNo, QString::number(server.port()));
        rec(keys::SUser, server.user());
        rec(keys::SPass, server.password());
        rec(keys::SLocalPath, drives::from_native(local));
        rec(keys::Codepage, QString::fromLatin1(GetParam().choice));
        w = std::make_unique<form1>();
        w->Form_Load();
        w->wireFileOperations();
        w->show();
        Form4::接続サーバー = QStringLiteral("jp");
        w->Connect_server();
        ASSERT_TRUE(shows({"日本語フォルダ", "表.txt"})) << qPrintable(w->Text1->text());
        w->activateList(true);
    }

    void TearDown() override
    {
        // The temporary root cannot remove names that are not UTF-8 itself.
        w.reset();
        server.stop();
        std::error_code ignored;
        for (const fs::directory_entry& e : fs::directory_iterator(server.root().toStdString(), ignored))
            fs::remove_all(e.path(), ignored);
    }

    // A path on the server's disk: its root, then each name in the server's
    // code page.
    fs::path onServer(const QStringList& names) const
    {
        std::string path = server.root().toStdString();
        for (const QString& n : names)
            path += '/' + codepage::from_text(n, cp).toStdString();
        return path;
    }
    static void write(const fs::path& path, const QByteArray& bytes)
    {
        std::ofstream(path, std::ios::binary).write(bytes.constData(), bytes.size());
    }
    static QByteArray read(const fs::path& path)
    {
        std::ifstream in(path, std::ios::binary);
        return in ? QByteArray::fromStdString(std::string(std::istreambuf_iterator<char>(in), {})) : "<missing>";
    }
    // The remote list holds exactly these names and nothing runs.
    bool shows(QStringList wanted)
    {
        wanted.sort();
        return wait_until([&] {
            QStringList names = list_names(w->ListView1);
            names.sort();
            return names == wanted && !w->busy();
        }, 15000);
    }
    // The same-name question is open for this name.
    bool asked(const QString& name)
    {
        return wait_until([&] {
            const Form13* q = w->findChild<Form13*>();
            return q && q->isVisible() && q->Label2->text() == name;
        }, 15000);
    }
    void putLocal(const QString& name, const QByteArray& bytes)
    {
        QFile f(local + u'/' + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        w->Local_list();
        select_by_name(w->ListView2, {name});
    }

    TestEnv env;
    PromptScript prompts;
    RealFtpServer server;
    QByteArray cp;
    QString local;
    std::unique_ptr<form1> w;
};

TEST_P(ServerCodepages, JapaneseNamesBrowseTransferAndChange)
{
    const Server& s = GetParam();
    const QString log = w->Text1->text();
    const bool automatic = QByteArray(s.choice) == "0";
    EXPECT_EQ(log.count(QStringLiteral("文字コードを ") + QString::fromLatin1(s.label) + QStringLiteral(" と判断しました。")),
              automatic ? 1 : 0) << qPrintable(log);
    EXPECT_EQ(log.contains(QStringLiteral(">FEAT")), automatic);
    EXPECT_EQ(log.contains(QStringLiteral(">OPTS UTF8 ON")), automatic && cp == "UTF-8");

    w->ListView1->setCurrentRow(int(list_names(w->ListView1).indexOf(QStringLiteral("日本語フォルダ"))), true);
    w->ListView1_DblClick();
    ASSERT_TRUE(shows({"テスト.txt"})) << qPrintable(w->Text1->text());
    EXPECT_EQ(w->サーバーパス, QStringLiteral("/日本語フォルダ"));

    select_by_name(w->ListView1, {"テスト.txt"});
    w->MDOWN_Click();
    ASSERT_TRUE(wait_until([&] { return !w->busy() && QFile::exists(local + QStringLiteral("/テスト.txt")); }, 15000))
        << qPrintable(w->Text1->text());
    QFile got(local + QStringLiteral("/テスト.txt"));
    ASSERT_TRUE(got.open(QIODevice::ReadOnly));
    EXPECT_EQ(got.readAll(), read(onServer({QStringLiteral("日本語フォルダ"), QStringLiteral("テスト.txt")})));
    // The same name again is asked about by its name, both ways.
    select_by_name(w->ListView1, {"テスト.txt"});
    w->MDOWN_Click();
    ASSERT_TRUE(asked(QStringLiteral("テスト.txt")));
    w->findChild<Form13*>()->Command4->click();   // スキップ
    ASSERT_TRUE(wait_until([&] { return !w->busy(); }));

    const QString upload = QString::fromUtf8(s.upload);
    putLocal(upload, "up\x95\x5c");
    w->Mupload_Click();
    ASSERT_TRUE(shows({"テスト.txt", upload})) << qPrintable(w->Text1->text());
    EXPECT_EQ(read(onServer({QStringLiteral("日本語フォルダ"), upload})), "up\x95\x5c");
    putLocal(upload, "again");
    w->Mupload_Click();
    ASSERT_TRUE(asked(upload));
    w->findChild<Form13*>()->Command1->click();   // 上書き
    ASSERT_TRUE(wait_until([&] { return !w->busy() && read(onServer({QStringLiteral("日本語フォルダ"), upload})) == "again"; }, 15000))
        << qPrintable(w->Text1->text());

    // A name the server's code page cannot hold is refused, never sent.
    const QString unsendable = QString::fromUtf8(s.unsendable);
    const auto refused = [&](const QString& what) {
        prompts.expect(QStringLiteral("「") + unsendable + QStringLiteral("」にはサーバーの文字コード（") +
                       QString::fromLatin1(s.label) + QStringLiteral("）で表せない文字が含まれているため、") + what);
    };
    if (!unsendable.isEmpty()) {
        putLocal(unsendable, "never sent");
        refused(QStringLiteral("アップロードできません。"));
        w->Mupload_Click();
        prompts.expect(QStringLiteral("作成する"), prompts::vbOK, unsendable);
        refused(QStringLiteral("ﾃﾞｨﾚｸﾄﾘｰを作成できません。"));
        w->MMkdir3->trigger();
        EXPECT_TRUE(prompts.allUsed());
        EXPECT_FALSE(w->busy());
    }

    prompts.expect(QStringLiteral("作成する"), prompts::vbOK, QStringLiteral("新しいフォルダ"));
    w->MMkdir3->trigger();
    ASSERT_TRUE(shows({"新しいフォルダ", "テスト.txt", upload})) << qPrintable(w->Text1->text());
    EXPECT_TRUE(fs::is_directory(onServer({QStringLiteral("日本語フォルダ"), QStringLiteral("新しいフォルダ")})));

    select_by_name(w->ListView1, {"テスト.txt"});
    w->Mrname2->trigger();
    ASSERT_TRUE(wait_until([&] { return w->form6_ && w->form6_->isVisible(); }, 15000));
    if (!unsendable.isEmpty()) {
        refused(QStringLiteral("この名前には変更できません。"));
        w->form6_->Text1->setText(unsendable);
        w->form6_->Command1->click();
        EXPECT_TRUE(prompts.allUsed());
        EXPECT_TRUE(w->form6_->isVisible());   // to correct the name
    }
    w->form6_->Text1->setText(QStringLiteral("名前変更.txt"));
    w->form6_->Command1->click();
    ASSERT_TRUE(shows({"新しいフォルダ", "名前変更.txt", upload})) << qPrintable(w->Text1->text());
    EXPECT_EQ(read(onServer({QStringLiteral("日本語フォルダ"), QStringLiteral("名前変更.txt")})), "テスト\r\n\x95\x5c\xff");

    select_by_name(w->ListView1, {upload});
    prompts.expect(upload + QStringLiteral("を削除してもいいですか？"), prompts::vbOK);
    w->Mdel2->trigger();
    ASSERT_TRUE(shows({"新しいフォルダ", "名前変更.txt"})) << qPrintable(w->Text1->text());
    EXPECT_FALSE(fs::exists(onServer({QStringLiteral("日本語フォルダ"), upload})));
    if (!unsendable.isEmpty()) {
        EXPECT_FALSE(w->Text1->text().contains(unsendable)) << qPrintable(w->Text1->text());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Servers, ServerCodepages,
    ::testing::Values(Server{"utf8_found", "UTF-8", "0", "UTF-8", "送信😀.txt", ""},
                      Server{"utf8_chosen", "UTF-8", "UTF-8", "UTF-8", "送信😀.txt", ""},
                      Server{"sjis_found", "CP932", "0", "Shift_JIS", "送信①.txt", "絵文字😀.txt"},
                      Server{"sjis_chosen", "CP932", "CP932", "Shift_JIS", "送信①.txt", "絵文字😀.txt"},
                      Server{"eucjp_found", "EUC-JP", "0", "EUC-JP", "送信.txt", "絵文字😀.txt"},
                      Server{"eucjp_chosen", "EUC-JP", "EUC-JP", "EUC-JP", "送信.txt", "絵文字😀.txt"}),
    [](const auto& info) { return std::string(info.param.name); });

// A reply whose Shift_JIS character is cut between two network reads still
// tells the code page, and reads whole.
using ServerCodepage = FtpFixture;

TEST_F(ServerCodepage, ReplyCutInsideACharacterDecidesWhole)
{
    const QByteArray welcome = codepage::from_text(QStringLiteral("220 表示テスト\r\n"), "CP932");
    server.setGreeting(QByteArray());
    server.scriptLogin();
    connectToFake();
    ASSERT_TRUE(wait_until([&] { return server.controlConnected(); }));
    // Cut after the lead byte of 表 (0x95 0x5C).
    server.replyInPieces(welcome, {5});
    ASSERT_TRUE(server.waitForCommand(QStringLiteral("FEAT")));
    EXPECT_TRUE(log().contains(QStringLiteral("文字コードを Shift_JIS と判断しました。\r\n220 表示テスト\r\n"))) << qPrintable(log());
    EXPECT_EQ(w->wireCodepage(), QByteArray("CP932"));
}

// A second connection to an entry whose first found Shift_JIS starts in
// it: a start folder of ASCII names alone does not send a Japanese name in
// the system's code page.
TEST_F(ServerCodepage, WhatTheLastConnectionFoundIsUsedUntilTheServerSaysOtherwise)
{
    server.scriptLogin();
    const QByteArray sjisName = codepage::from_text(QStringLiteral("日本"), "CP932");
    QByteArray listing = "-rw-r--r-- 1 u g 1 Mar 15  2024 " + sjisName + ".txt\r\n";
    server.onCommand(QStringLiteral("LIST"), [&listing](FakeFtpServer& s, const QString&) {
        s.reply("150 Here it comes.\r\n");
        if (!s.connectData())
            return;
        s.sendData(listing);
        s.waitDataClosed();
        s.reply("226 Done.\r\n");
    });
    w->wireFileOperations();
    for (int run = 0; run < 2; ++run) {
        connectToFake();
        ASSERT_TRUE(wait_until([&] { return w->ListView1->count() == 1 && !w->busy(); }));
        if (run == 0) {
            EXPECT_EQ(settings::get(QStringLiteral("fake"), keys::CodepageFound), QStringLiteral("CP932"));
            w->disconnect_Click();
            ASSERT_TRUE(wait_until([&] { return w->Winsock1->State() == Winsock::sckClosed; }));
            listing = "-rw-r--r-- 1 u g 1 Mar 15  2024 ascii.txt\r\n";
        }
    }
    w->activateList(true);
    prompts.expect(QStringLiteral("作成するﾃﾞｨﾚｸﾄﾘｰ名を入力してください"), prompts::vbOK, QStringLiteral("日本"));
    w->MMkdir_Click();
    ASSERT_TRUE(server.waitForCommand(QStringLiteral("MKD")));
    EXPECT_EQ(server.rawCommands().last(), "MKD " + sjisName);
}

} // namespace
