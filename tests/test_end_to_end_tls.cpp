// An entry that requires TLS against real servers that require it too:
// vsftpd, where every data connection must resume the control connection's
// session (under TLS 1.3 and capped at TLS 1.2), and pyftpdlib's TLS
// handler, each in both data modes. The trusted fingerprint is stored, so
// no question is asked.
#include <gtest/gtest.h>

#include "app/log_pane.h"
#include "platform/list_view.h"
#include "servers/settings_keys.h"
#include "tests/end_to_end_fixture.h"

namespace {

class TlsEndToEnd : public RealServerWindow {};

TEST_P(TlsEndToEnd, LogInAndFilesGoEncryptedAndArriveWhole)
{
    ASSERT_NO_FATAL_FAILURE(downloadAndUploadWhole(serverDir)) << "server:\n" << serverLog();
    const QString log = w->Text1->text();
    const qsizetype encrypted = log.indexOf(QStringLiteral("で暗号化しました。"));
    ASSERT_GE(encrypted, 0) << log.toStdString();
    // The line names the protocol the server agreed to.
    const QString line = log.left(encrypted).section(u'\n', -1);
    EXPECT_TRUE(line.contains(GetParam().maxTls12 ? QStringLiteral("TLS 1.2 (") : QStringLiteral("TLS 1.3 (")))
        << line.toStdString();
    // Neither the user name nor the password went out before encryption.
    EXPECT_GT(log.indexOf(QStringLiteral(">USER ")), encrypted) << log.toStdString();
    EXPECT_GT(log.indexOf(QStringLiteral(">PASS ")), encrypted) << log.toStdString();
}

// An empty file is confirmed like any other, and the batch goes on to the next.
TEST_P(TlsEndToEnd, AnEmptyFileUploadsAndTheBatchGoesOn)
{
    ASSERT_NO_FATAL_FAILURE(login());
    write_file(local + QStringLiteral("/empty.txt"), QByteArray());
    const QByteArray body = random_bytes(2000);
    write_file(local + QStringLiteral("/next.bin"), body);
    w->Local_list();
    w->ListView2->clearSelection();
    for (int i = 0; i < w->ListView2->count(); ++i)
        w->ListView2->setSelected(i, w->ListView2->text(i) == QStringLiteral("empty.txt") ||
                                         w->ListView2->text(i) == QStringLiteral("next.bin"));
    w->Mupload_Click();
    ASSERT_TRUE(listed([&] { return remoteNames().contains(QStringLiteral("next.bin")) && !w->busy(); }))
        << w->Text1->text().right(1500).toStdString() << "server:\n" << serverLog();
    EXPECT_EQ(read_file(serverDir + QStringLiteral("/empty.txt")), QByteArray());
    EXPECT_EQ(read_file(serverDir + QStringLiteral("/next.bin")), body);
}

INSTANTIATE_TEST_SUITE_P(Servers, TlsEndToEnd,
                         ::testing::Values(ServerCase{"vsftpd_active", true, false, false},
                                           ServerCase{"vsftpd_passive", true, false, true},
                                           ServerCase{"vsftpd_tls12_active", true, true, false},
                                           ServerCase{"vsftpd_tls12_passive", true, true, true},
                                           ServerCase{"pyftpdlib_active", false, false, false},
                                           ServerCase{"pyftpdlib_passive", false, false, true}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
