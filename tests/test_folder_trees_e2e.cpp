// Whole folders down and up, and transfers that go on after an
// interruption, against vsftpd and pyftpdlib, plain and encrypted.
#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QPushButton>
#include <QTimer>

#include "app/log_pane.h"
#include "platform/list_view.h"
#include "platform/replacing_file.h"
#include "platform/winsock.h"
#include "tests/end_to_end_fixture.h"
#include "transfer/same_name_dialog.h"

namespace {

// Relative path -> contents; a folder is its path and a trailing '/'.
using Tree = QMap<QString, QByteArray>;

Tree tree_of(const QString& root)
{
    Tree out;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString rel = QDir(root).relativeFilePath(path);
        out.insert(it.fileInfo().isDir() ? rel + u'/' : rel, it.fileInfo().isDir() ? QByteArray() : read_file(path));
    }
    return out;
}

// Three levels, empty folders, spaces and Japanese names.
Tree sample_tree()
{
    return {{QStringLiteral("a b.txt"), "a b"},
            {QStringLiteral("empty/"), {}},
            {QStringLiteral("日本語/"), {}},
            {QStringLiteral("日本語/ファイル 1.txt"), QStringLiteral("いろは").toUtf8()},
            {QStringLiteral("日本語/深い/"), {}},
            {QStringLiteral("日本語/深い/x.bin"), random_bytes(200 * 1024 + 3)},
            {QStringLiteral("日本語/深い/空/"), {}}};
}

void make_tree(const QString& root, const Tree& tree)
{
    ASSERT_TRUE(QDir().mkpath(root));
    for (auto it = tree.cbegin(); it != tree.cend(); ++it) {
        if (it.key().endsWith(u'/'))
            ASSERT_TRUE(QDir().mkpath(root + u'/' + it.key()));
        else
            ASSERT_NO_FATAL_FAILURE(write_file(root + u'/' + it.key(), it.value()));
    }
}

class FolderTrees : public RealServerWindow {
protected:
    void select(ListView* list, const QString& name)
    {
        list->clearSelection();
        for (int i = 0; i < list->count(); ++i)
            list->setSelected(i, list->text(i) == name);
    }
    bool ended(int ms = 60000)
    {
        return wait_until([&] { return !w->busy() && idle(); }, ms);
    }
    std::string trail() const { return w->Text1->text().right(2000).toStdString() + "\nserver:\n" + serverLog(); }
    Form13* question() { return w->findChild<Form13*>(); }
};

TEST_P(FolderTrees, ATreeGoesDownAndUpByteForByte)
{
    const Tree tree = sample_tree();
    ASSERT_NO_FATAL_FAILURE(make_tree(serverDir + QStringLiteral("/site"), tree));
    // A loop the walk must not go round: fetched as a file, refused, noted.
    ASSERT_TRUE(QFile::link(QStringLiteral(".."), serverDir + QStringLiteral("/site/loop")));
    prompts.expect(QStringLiteral("site/loop（フォルダーへのリンク"));
    ASSERT_NO_FATAL_FAILURE(login());
    ASSERT_TRUE(listed([&] { return remoteNames().contains(QStringLiteral("site")); })) << trail();
    select(w->ListView1, QStringLiteral("site"));
    w->MDOWN_Click();
    ASSERT_TRUE(ended()) << trail();
    EXPECT_EQ(tree_of(local + QStringLiteral("/site")), tree) << trail();
    EXPECT_EQ(w->statusText(), QStringLiteral("転送終了しました。"));

    ASSERT_TRUE(QDir(local).rename(QStringLiteral("site"), QStringLiteral("copy")));
    w->Local_list();
    select(w->ListView2, QStringLiteral("copy"));
    w->Mupload_Click();
    ASSERT_TRUE(listed([&] { return remoteNames().contains(QStringLiteral("copy")) && !w->busy(); })) << trail();
    EXPECT_EQ(tree_of(serverDir + QStringLiteral("/copy")), tree) << trail();
}

// 中断 about halfway keeps what arrived; the next download of the file asks
// the server for the rest only.
TEST_P(FolderTrees, AnInterruptedDownloadGoesOnWhereItStopped)
{
    const QByteArray body = random_bytes(48 << 20);
    ASSERT_NO_FATAL_FAILURE(write_file(serverDir + QStringLiteral("/big.bin"), body));
    ASSERT_NO_FATAL_FAILURE(login());
    ASSERT_TRUE(listed([&] { return remoteNames().contains(QStringLiteral("big.bin")); })) << trail();
    // 中断 as a click would come, once half has arrived.
    QMetaObject::Connection halfway = QObject::connect(w->Winsock2, &Winsock::DataArrival, w.get(), [&] {
        if (w->F_total * 1000 >= body.size() / 2) {
            QObject::disconnect(halfway);
            QTimer::singleShot(0, w.get(), [&] { w->Mabore_Click(); });
        }
    });
    select(w->ListView1, QStringLiteral("big.bin"));
    w->MDOWN_Click();
    ASSERT_TRUE(ended()) << trail();
    const QString target = local + QStringLiteral("/big.bin");
    const qint64 part = ReplacingFile::partLength(target);
    ASSERT_GT(part, 0) << trail();
    ASSERT_LT(part, body.size());
    EXPECT_FALSE(QFileInfo::exists(target));

    select(w->ListView1, QStringLiteral("big.bin"));
    w->MDOWN_Click();
    ASSERT_TRUE(ended()) << trail();
    EXPECT_TRUE(w->Text1->text().contains(QStringLiteral(">REST %1").arg(part))) << trail();
    EXPECT_TRUE(read_file(target) == body) << trail();
    EXPECT_EQ(ReplacingFile::partLength(target), -1);
}

// The server holds the start of the file: "続きから" sends the rest only.
TEST_P(FolderTrees, AnUploadGoesOnAfterWhatTheServerHas)
{
    const QByteArray body = random_bytes(1 << 20);
    ASSERT_NO_FATAL_FAILURE(write_file(serverDir + QStringLiteral("/up.bin"), body.left(300000)));
    // Another user of the server (vsftpd's anonymous one) may write it.
    QFile(serverDir + QStringLiteral("/up.bin")).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                                 QFileDevice::ReadOther | QFileDevice::WriteOther);
    ASSERT_NO_FATAL_FAILURE(write_file(local + QStringLiteral("/up.bin"), body));
    ASSERT_NO_FATAL_FAILURE(login());
    ASSERT_TRUE(listed([&] { return remoteNames().contains(QStringLiteral("up.bin")); })) << trail();
    w->Local_list();
    select(w->ListView2, QStringLiteral("up.bin"));
    w->Mupload_Click();
    ASSERT_TRUE(wait_until([&] { return question() && question()->isVisible(); })) << trail();
    ASSERT_TRUE(question()->Command5->isVisible());
    question()->Command5->click();
    ASSERT_TRUE(ended()) << trail();
    EXPECT_TRUE(read_file(serverDir + QStringLiteral("/up.bin")) == body) << trail();
    EXPECT_TRUE(w->Text1->text().contains(QStringLiteral("続きから再開します（300000 バイト）。")) ||
                w->Text1->text().contains(QStringLiteral(">APPE up.bin")))
        << trail();
}

INSTANTIATE_TEST_SUITE_P(Servers, FolderTrees,
                         ::testing::Values(ServerCase{"pyftpdlib_plain_active", false, false, false, true},
                                           ServerCase{"pyftpdlib_tls_passive", false, false, true},
                                           ServerCase{"vsftpd_plain_passive", true, false, true, true},
                                           ServerCase{"vsftpd_tls_active", true, false, false}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
