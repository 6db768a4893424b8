// Against a real FTP server on 127.0.0.1: log in, browse, download and
// upload, comparing what lands on disk byte for byte.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QTcpServer>

#include "app/form1.h"
#include "app/log_pane.h"
#include "platform/click_label.h"
#include "platform/list_view.h"
#include "platform/settings_store.h"
#include "platform/winsock.h"
#include "tests/end_to_end_fixture.h"
#include "tests/real_ftp_server.h"

namespace {

class EndToEnd : public EndToEndWindow {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.start()) << server.errorText().toStdString();
        ASSERT_NO_FATAL_FAILURE(openWindow(server.port(), server.user(), server.password()));
    }

    RealFtpServer server;
};

TEST_F(EndToEnd, LogsInAndBrowsesTheServer)
{
    ASSERT_TRUE(QDir(server.root()).mkpath(QStringLiteral("pub/deep")));
    write_file(server.root() + QStringLiteral("/pub/deep/leaf.txt"), "leaf");
    write_file(server.root() + QStringLiteral("/big.bin"), QByteArray(2500, 'b'));
    write_file(server.root() + QStringLiteral("/empty.txt"), QByteArray());
    login();
    EXPECT_TRUE(w->Text1->text().contains(QStringLiteral("257 \"/\"")));
    EXPECT_EQ(w->サーバーパス, QStringLiteral("/"));
    ASSERT_TRUE(listed([&] { return w->ListView1->count() == 3; }));
    EXPECT_EQ(remoteNames(), (QStringList{"pub", "big.bin", "empty.txt"}));
    EXPECT_EQ(w->ListView1->subItem(0, 1), QString());
    EXPECT_EQ(w->ListView1->subItem(0, 3), QStringLiteral("0"));
    EXPECT_EQ(w->ListView1->subItem(1, 1), QStringLiteral("     2KB"));
    EXPECT_EQ(w->ListView1->subItem(2, 1), QStringLiteral("      0B"));
    EXPECT_FALSE(w->CDUP->isEnabled());

    w->ListView1->setCurrentRow(0, true);
    w->ListView1_DblClick();
    ASSERT_TRUE(listed([&] { return remoteNames() == QStringList{"deep"}; }));
    EXPECT_EQ(w->サーバーパス, QStringLiteral("/pub"));
    w->ListView1->setCurrentRow(0, true);
    w->ListView1_DblClick();
    ASSERT_TRUE(listed([&] { return remoteNames() == QStringList{"leaf.txt"}; }));
    EXPECT_EQ(w->サーバーパス, QStringLiteral("/pub/deep"));
    EXPECT_TRUE(w->CDUP->isEnabled());

    w->CDUP_Click();
    ASSERT_TRUE(listed([&] { return remoteNames() == QStringList{"deep"}; }));
    EXPECT_EQ(w->サーバーパス, QStringLiteral("/pub"));

    const int root = w->Combo1->findText(QStringLiteral("127.0.0.1"));
    ASSERT_GE(root, 0);
    w->Combo1_Click(root);
    ASSERT_TRUE(listed([&] { return w->ListView1->count() == 3 && w->サーバーパス == QStringLiteral("/"); }));
}

TEST_F(EndToEnd, DownloadsAndUploadsArriveByteForByte)
{
    const QList<qint64> sizes = {0, 1, 1024, 1025, 1 << 20, 64 << 20};
    QStringList names;
    for (qint64 size : sizes) {
        const QString name = QStringLiteral("dl_%1.bin").arg(size);
        write_file(server.root() + u'/' + name, random_bytes(size));
        names << name;
    }
    const QString japanese = QStringLiteral("日本語のファイル ｱｲｳ.txt");
    write_file(server.root() + u'/' + japanese, "こんにちは\r\n");
    names << japanese;
    login();
    ASSERT_TRUE(listed([&] { return w->ListView1->count() == names.size(); }));
    w->ListView1->clearSelection();
    for (const QString& n : names)
        w->ListView1->setSelected(remoteRow(n), true);
    w->MDOWN_Click();
    ASSERT_TRUE(wait_until([&] { return idle() && w->Down_Count == 0 && QFileInfo::exists(local + u'/' + japanese); }, 60000))
        << w->Text1->text().right(2000).toStdString();
    for (const QString& n : names)
        EXPECT_EQ(read_file(local + u'/' + n), read_file(server.root() + u'/' + n)) << n.toStdString();

    // Upload them again under new names and compare on the server.
    QDir serverRoot(server.root());
    for (const QString& n : names)
        ASSERT_TRUE(QFile::rename(local + u'/' + n, local + QStringLiteral("/up_") + n));
    w->Local_list();
    w->ListView2->clearSelection();
    for (int i = 0; i < w->ListView2->count(); ++i)
        if (w->ListView2->text(i).startsWith(QStringLiteral("up_")))
            w->ListView2->setSelected(i, true);
    ASSERT_EQ(w->ListView2->selectedRows().size(), names.size());
    w->Mupload_Click();
    ASSERT_TRUE(wait_until([&] {
        return idle() && w->Up_Count == 0 && w->Gcount == 0 && w->ListView1->count() == 2 * names.size();
    }, 240000)) << w->Text1->text().right(1500).toStdString() << " state=" << w->Winsock1->State()
                 << " data=" << w->Winsock2->State() << " up=" << w->Up_Count << " loop=" << w->ループ回数
                 << " g=" << w->Gcount << " remote=" << w->ListView1->count() << " status=" << w->statusText().toStdString() << " waiting=" << w->Winsock1->BytesReceived()
                 << "\nserver:\n" << server.output().right(3000).toStdString();
    for (const QString& n : names)
        EXPECT_EQ(read_file(server.root() + QStringLiteral("/up_") + n), read_file(server.root() + u'/' + n))
            << n.toStdString();
}

// Each way of opening the data connection carries a listing, a download
// and an upload byte for byte.
struct DataMode {
    const char* name;
    const char* address;   // where the server listens and the entry points
    bool passive;          // the entry's check box
    bool refuseActive;     // the server refuses PORT and EPRT
};

class DataModes : public EndToEnd, public ::testing::WithParamInterface<DataMode> {
protected:
    void SetUp() override
    {
        const QString address = QString::fromLatin1(GetParam().address);
        if (address.contains(u':')) {
            QTcpServer probe;
            if (!probe.listen(QHostAddress(address), 0))
                GTEST_SKIP() << "this machine has no IPv6 loopback (::1): " << probe.errorString().toStdString();
        }
        server.setAddress(address);
        server.setRefuseActive(GetParam().refuseActive);
        EndToEnd::SetUp();
        settings::save(QStringLiteral("real"), QStringLiteral("s_adress"), address);
        settings::save(QStringLiteral("real"), QStringLiteral("PASV"), GetParam().passive ? "1" : "0");
    }
};

TEST_P(DataModes, ListDownloadAndUploadArriveWhole)
{
    ASSERT_NO_FATAL_FAILURE(downloadAndUploadWhole(server.root()));
    // The switch is said once, and only where active mode was refused.
    const QString log = w->Text1->text();
    EXPECT_EQ(log.count(QStringLiteral("PORTが使えないため、PASVモードに切り替えます。")), GetParam().refuseActive ? 1 : 0);
    EXPECT_EQ(log.contains(QStringLiteral(">PASV")) || log.contains(QStringLiteral(">EPSV")),
              GetParam().passive || GetParam().refuseActive);
}

INSTANTIATE_TEST_SUITE_P(Modes, DataModes,
                         ::testing::Values(DataMode{"active", "127.0.0.1", false, false},
                                           DataMode{"passive", "127.0.0.1", true, false},
                                           DataMode{"fallback", "127.0.0.1", false, true},
                                           DataMode{"ipv6_active", "::1", false, false},
                                           DataMode{"ipv6_passive", "::1", true, false},
                                           DataMode{"ipv6_fallback", "::1", false, true}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
