// An entry that requires TLS against real servers that require it too:
// vsftpd, where every data connection must resume the control connection's
// session (under TLS 1.3 and capped at TLS 1.2), and pyftpdlib's TLS
// handler, each in both data modes. The trusted fingerprint is stored, so
// no question is asked.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "app/log_pane.h"
#include "platform/list_view.h"
#include "servers/settings_keys.h"
#include "tests/end_to_end_fixture.h"
#include "tests/real_ftp_server.h"
#include "tests/test_certificate.h"
#include "tests/vsftpd_server.h"

namespace {

struct TlsCase {
    const char* name;
    bool vsftpd;     // else pyftpdlib
    bool maxTls12;   // vsftpd capped at TLS 1.2
    bool passive;
};

class TlsEndToEnd : public EndToEndWindow, public ::testing::WithParamInterface<TlsCase> {
protected:
    void SetUp() override
    {
        if (GetParam().vsftpd && !VsftpdServer::unusableReason().isEmpty())
            GTEST_SKIP() << VsftpdServer::unusableReason().toStdString();
        cert = make_test_certificate(certDir.path());
        ASSERT_TRUE(cert.ok()) << cert.error.toStdString();
        if (GetParam().vsftpd) {
            vsftpd.setCertificate(cert);
            vsftpd.setMaxTls12(GetParam().maxTls12);
            ASSERT_TRUE(vsftpd.start()) << vsftpd.errorText().toStdString();
            ASSERT_NO_FATAL_FAILURE(openWindow(vsftpd.port(), vsftpd.user(), vsftpd.password()));
            saveEntry(QStringLiteral("Server_name_path"), QStringLiteral("/pub"));
            serverDir = vsftpd.pub();
        } else {
            pyftpd.setTls(cert);
            ASSERT_TRUE(pyftpd.start()) << pyftpd.errorText().toStdString();
            ASSERT_NO_FATAL_FAILURE(openWindow(pyftpd.port(), pyftpd.user(), pyftpd.password()));
            serverDir = pyftpd.root();
        }
        saveEntry(keys::Tls, keys::TlsRequired);
        saveEntry(keys::TlsFp, cert.fingerprint);
        saveEntry(keys::Pasv, GetParam().passive ? QStringLiteral("1") : QStringLiteral("0"));
    }
    std::string serverLog() const
    {
        return (GetParam().vsftpd ? vsftpd.output() : pyftpd.output()).right(3000).toStdString();
    }

    QTemporaryDir certDir;
    TestCertificate cert;
    VsftpdServer vsftpd;
    RealFtpServer pyftpd;
    QString serverDir;
};

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
                         ::testing::Values(TlsCase{"vsftpd_active", true, false, false},
                                           TlsCase{"vsftpd_passive", true, false, true},
                                           TlsCase{"vsftpd_tls12_active", true, true, false},
                                           TlsCase{"vsftpd_tls12_passive", true, true, true},
                                           TlsCase{"pyftpdlib_active", false, false, false},
                                           TlsCase{"pyftpdlib_passive", false, false, true}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
