// The main window against a real FTP server on 127.0.0.1 through a
// registered entry named "real": log-in, what the remote list shows, and a
// download and upload compared byte for byte on disk.
#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include <QTemporaryDir>

#include "app/form1.h"
#include "tests/prompt_script.h"
#include "tests/real_ftp_server.h"
#include "tests/test_certificate.h"
#include "tests/test_support.h"
#include "tests/vsftpd_server.h"

QByteArray random_bytes(qint64 size);
void write_file(const QString& path, const QByteArray& bytes);
QByteArray read_file(const QString& path);   // "<missing>" when it cannot be read

class EndToEndWindow : public ::testing::Test {
protected:
    // The window goes before the server a derived fixture holds.
    void TearDown() override { w.reset(); }
    // Registers the entry for the server and opens the main window.
    void openWindow(quint16 port, const QString& user, const QString& password);
    void saveEntry(const QString& key, const QString& value);
    void login();
    QStringList remoteNames() const;
    int remoteRow(const QString& name) const { return int(remoteNames().indexOf(name)); }
    bool idle() const;
    // Waits for the listing that follows a change on the server.
    bool listed(const std::function<bool()>& pred);
    // Logs in, where the start folder holds nothing but serverDir on the
    // server's disk; downloads get.bin from it and uploads it again as
    // put.bin, both arriving whole.
    void downloadAndUploadWhole(const QString& serverDir);

    TestEnv env;
    PromptScript prompts;
    QString local;
    std::unique_ptr<form1> w;
};

// The window against vsftpd or pyftpdlib in either data mode: an entry that
// requires TLS with the server's fingerprint trusted (no question is asked),
// or a plain one.
struct ServerCase {
    const char* name;
    bool vsftpd;     // else pyftpdlib
    bool maxTls12;   // vsftpd capped at TLS 1.2
    bool passive;
    bool plain = false;
};

class RealServerWindow : public EndToEndWindow, public ::testing::WithParamInterface<ServerCase> {
protected:
    void SetUp() override;
    std::string serverLog() const;

    QTemporaryDir certDir;
    TestCertificate cert;
    VsftpdServer vsftpd;
    RealFtpServer pyftpd;
    QString serverDir;   // the start folder on the server's disk
};
