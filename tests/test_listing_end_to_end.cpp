// Listings from real servers on 127.0.0.1: MLSD where FEAT lists MLST
// (pyftpdlib), LIST where it does not (vsftpd), and folders entered and left
// again and again on a server that ends each listing at once (pure-ftpd).
#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>

#include "app/log_pane.h"
#include "platform/click_label.h"
#include "platform/list_view.h"
#include "servers/settings_keys.h"
#include "tests/end_to_end_fixture.h"
#include "tests/list_helpers.h"
#include "tests/pure_ftpd_server.h"
#include "tests/real_ftp_server.h"
#include "tests/test_certificate.h"
#include "tests/vsftpd_server.h"

namespace {

bool set_modified(const QString& path, const QDateTime& when)
{
    QFile f(path);
    return f.open(QIODevice::ReadWrite) && f.setFileTime(when, QFileDevice::FileModificationTime);
}

class MlsdEndToEnd : public EndToEndWindow {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.start()) << server.errorText().toStdString();
        ASSERT_NO_FATAL_FAILURE(openWindow(server.port(), server.user(), server.password()));
    }
    RealFtpServer server;
};

TEST_F(MlsdEndToEnd, AServerThatListsMlstIsListedWithMlsdInLocalTime)
{
    const InTokyoTime tokyo;
    const QString file = server.root() + QStringLiteral("/a b;c.txt");
    write_file(file, QByteArray(2500, 'x'));
    ASSERT_TRUE(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    ASSERT_TRUE(set_modified(file, QDateTime(QDate(2025, 1, 2), QTime(3, 4, 5), QTimeZone::utc())));
    ASSERT_TRUE(QDir(server.root()).mkpath(QStringLiteral("sub dir")));
    write_file(server.root() + QStringLiteral("/sub dir/inner.txt"), "x");
    login();
    ASSERT_TRUE(listed([&] { return remoteNames() == QStringList{"sub dir", "a b;c.txt"}; }))
        << w->Text1->text().toStdString();
    const int row = remoteRow(QStringLiteral("a b;c.txt"));
    EXPECT_EQ(w->ListView1->subItem(row, 1), QStringLiteral("     2KB"));
    EXPECT_EQ(w->ListView1->subItem(row, 2), QStringLiteral("25/01/02 12:04"));
    // pyftpdlib gives no UNIX.mode unless asked: the rights it grants show.
    EXPECT_EQ(w->ListView1->subItem(row, 4), QStringLiteral("radfwMT"));
    EXPECT_EQ(w->ListView1->smallIcon(remoteRow(QStringLiteral("sub dir"))), 1);

    w->ListView1->setCurrentRow(remoteRow(QStringLiteral("sub dir")), true);
    w->ListView1_DblClick();
    ASSERT_TRUE(listed([&] { return remoteNames() == QStringList{"inner.txt"}; }));
    const QString log = w->Text1->text();
    EXPECT_EQ(log.count(QStringLiteral(">MLSD\r\n")), 2) << log.toStdString();
    EXPECT_FALSE(log.contains(QStringLiteral(">LIST"))) << log.toStdString();
    EXPECT_EQ(prompts.count(), 0);
}

// vsftpd lists no MLST: LIST, read in its own layout.
class VsftpdListing : public EndToEndWindow {
protected:
    void SetUp() override
    {
        if (!VsftpdServer::unusableReason().isEmpty())
            GTEST_SKIP() << VsftpdServer::unusableReason().toStdString();
        cert = make_test_certificate(certDir.path());
        ASSERT_TRUE(cert.ok()) << cert.error.toStdString();
        vsftpd.setCertificate(cert);
        ASSERT_TRUE(vsftpd.start()) << vsftpd.errorText().toStdString();
        ASSERT_NO_FATAL_FAILURE(openWindow(vsftpd.port(), vsftpd.user(), vsftpd.password()));
        saveEntry(QStringLiteral("Server_name_path"), QStringLiteral("/pub"));
        saveEntry(keys::Tls, keys::TlsRequired);
        saveEntry(keys::TlsFp, cert.fingerprint);
    }
    QTemporaryDir certDir;
    TestCertificate cert;
    VsftpdServer vsftpd;
};

TEST_F(VsftpdListing, AServerWithoutMlstIsListedWithList)
{
    ASSERT_TRUE(QDir(vsftpd.pub()).mkpath(QStringLiteral("sub dir")));
    ASSERT_TRUE(QDir(vsftpd.pub()).mkpath(QStringLiteral("日本語フォルダ")));
    write_file(vsftpd.pub() + QStringLiteral("/sub dir/inner file.txt"), QByteArray(1500, 'x'));
    write_file(vsftpd.pub() + QStringLiteral("/top.txt"), "x");
    login();
    ASSERT_TRUE(listed([&] { return remoteNames() == QStringList{"sub dir", "日本語フォルダ", "top.txt"}; }))
        << w->Text1->text().toStdString();
    w->ListView1->setCurrentRow(remoteRow(QStringLiteral("sub dir")), true);
    w->ListView1_DblClick();
    ASSERT_TRUE(listed([&] { return remoteNames() == QStringList{"inner file.txt"}; }));
    EXPECT_EQ(w->ListView1->subItem(0, 1), QStringLiteral("     1KB"));
    EXPECT_EQ(w->ListView1->subItem(0, 4), QStringLiteral("-rw-r--r--"));
    const QString log = w->Text1->text();
    EXPECT_TRUE(log.contains(QStringLiteral(">LIST\r\n")));
    EXPECT_FALSE(log.contains(QStringLiteral(">MLSD")));
    EXPECT_EQ(prompts.count(), 0);
}

class PureFtpdFolders : public EndToEndWindow {
protected:
    void SetUp() override
    {
        if (!PureFtpdServer::unusableReason().isEmpty())
            GTEST_SKIP() << PureFtpdServer::unusableReason().toStdString();
        ASSERT_TRUE(server.start()) << server.errorText().toStdString();
        ASSERT_NO_FATAL_FAILURE(openWindow(server.port(), server.user(), server.password()));
    }
    PureFtpdServer server;
};

// Each folder shows its own entries after every move, never the folder's
// before; a listing ended by the server's "226" before its data came would
// leave the old list on screen.
TEST_F(PureFtpdFolders, EnteringFoldersAndGoingUpShowsEachNewFolder)
{
    const QStringList folders = {QStringLiteral("sub dir"), QStringLiteral("日本語フォルダ")};
    for (const QString& f : folders) {
        ASSERT_TRUE(QDir(server.root()).mkpath(f));
        write_file(server.root() + u'/' + f + QStringLiteral("/in ") + f + QStringLiteral(".txt"), "x");
    }
    write_file(server.root() + QStringLiteral("/top.txt"), "x");
    const QStringList top = {folders[0], folders[1], QStringLiteral("top.txt")};
    login();
    const auto diagnose = [&] {
        return (QStringLiteral("shown in ") + w->サーバーパス + QStringLiteral(": ") + remoteNames().join(u'|')
                + (w->busy() ? QStringLiteral(" (busy)") : QString()) + u'\n' + w->Text1->text().right(3000))
            .toStdString();
    };
    ASSERT_TRUE(listed([&] { return remoteNames() == top && !w->busy(); })) << diagnose();
    for (int round = 0; round < 4; ++round) {
        for (const QString& f : folders) {
            w->ListView1->setCurrentRow(remoteRow(f), true);
            w->ListView1_DblClick();
            const QStringList inside = {QStringLiteral("in ") + f + QStringLiteral(".txt")};
            ASSERT_TRUE(listed([&] { return w->サーバーパス == u'/' + f && remoteNames() == inside && !w->busy(); }))
                << "round " << round << " into " << f.toStdString() << ":\n" << diagnose();
            w->CDUP_Click();
            ASSERT_TRUE(listed([&] { return w->サーバーパス == QStringLiteral("/") && remoteNames() == top && !w->busy(); }))
                << "round " << round << " up from " << f.toStdString() << ":\n" << diagnose();
        }
    }
    EXPECT_EQ(prompts.count(), 0);
}

} // namespace
