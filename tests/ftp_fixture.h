// A main window wired to the fake FTP server through a registered entry.
#pragma once
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "app/form1.h"
#include "app/log_pane.h"
#include "platform/drive_view.h"
#include "platform/program_folder.h"
#include "platform/settings_store.h"
#include "platform/winsock.h"
#include "servers/server_list_dialog.h"
#include "servers/settings_keys.h"
#include "tests/fake_ftp_server.h"
#include "tests/prompt_script.h"
#include "tests/test_certificate.h"
#include "tests/test_support.h"

class FtpFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        QFile list(program_folder::file(QStringLiteral("server.lst")));
        ASSERT_TRUE(list.open(QIODevice::WriteOnly));
        list.write("fake\r\n");
        list.close();
        record(QStringLiteral("s_adress"), QStringLiteral("127.0.0.1"));
        record(QStringLiteral("ポートNo"), QString::number(server.port()));
        record(QStringLiteral("s_user"), QStringLiteral("alice"));
        record(QStringLiteral("s_pass"), QStringLiteral("secret word"));
        // A fingerprint a test keeps is one trusted for this server.
        record(keys::TlsFpServer, QStringLiteral("127.0.0.1:") + QString::number(server.port()));
        // Connecting opens the test's own scratch folder on the local side,
        // so nothing a test downloads can land anywhere else.
        record(QStringLiteral("s_local_path"), drives::from_native(env.scratch()));
        w = std::make_unique<form1>();
        w->Form_Load();
        w->show();
    }
    void record(const QString& key, const QString& value)
    {
        settings::save(QStringLiteral("fake"), key, value);
    }
    void connectToFake()
    {
        Form4::接続サーバー = QStringLiteral("fake");
        w->Connect_server();
    }
    // The commands the server received, up to and including the first one
    // starting with last (waits for it).
    QStringList commandsUntil(const QString& last)
    {
        EXPECT_TRUE(server.waitForCommand(last)) << "never received " << last.toStdString() << "; got "
                                                 << server.commands().join(u'|').toStdString();
        QStringList out;
        for (const QString& c : server.commands()) {
            out << c;
            if (c.startsWith(last))
                break;
        }
        return out;
    }
    QString log() const { return w->Text1->text(); }
    // A certificate made for this test, which the fake server shows when it
    // starts TLS.
    void presentTestCertificate()
    {
        cert = make_test_certificate(certs.path());
        ASSERT_TRUE(cert.ok()) << cert.error.toStdString();
        server.setTlsCertificate(cert.certPem, cert.keyPem);
    }

    TestEnv env;
    PromptScript prompts;
    FakeFtpServer server;
    std::unique_ptr<form1> w;
    QTemporaryDir certs;
    TestCertificate cert;
};
