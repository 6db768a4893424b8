#include "tests/end_to_end_fixture.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include "app/log_pane.h"
#include "platform/click_label.h"
#include "platform/drive_view.h"
#include "platform/list_view.h"
#include "platform/program_folder.h"
#include "platform/settings_store.h"
#include "platform/winsock.h"
#include "servers/server_list_dialog.h"
#include "servers/settings_keys.h"

QByteArray random_bytes(qint64 size)
{
    QByteArray b(size, Qt::Uninitialized);
    auto* words = reinterpret_cast<quint32*>(b.data());
    QRandomGenerator gen(quint32(size) * 2654435761u + 1);
    gen.fillRange(words, size / 4);
    for (qint64 i = size / 4 * 4; i < size; ++i)
        b[i] = char(gen.generate());
    return b;
}

void write_file(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QByteArray read_file(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void EndToEndWindow::saveEntry(const QString& key, const QString& value)
{
    settings::save(QStringLiteral("real"), key, value);
}

void EndToEndWindow::openWindow(quint16 port, const QString& user, const QString& password)
{
    QFile list(program_folder::file(QStringLiteral("server.lst")));
    ASSERT_TRUE(list.open(QIODevice::WriteOnly));
    list.write("real\r\n");
    list.close();
    local = env.scratch();
    saveEntry(QStringLiteral("s_adress"), QStringLiteral("127.0.0.1"));
    saveEntry(QStringLiteral("ポートNo"), QString::number(port));
    saveEntry(QStringLiteral("s_user"), user);
    saveEntry(QStringLiteral("s_pass"), password);
    saveEntry(keys::TlsFpServer, QStringLiteral("127.0.0.1:") + QString::number(port));
    saveEntry(QStringLiteral("s_local_path"), drives::from_native(local));
    w = std::make_unique<form1>();
    w->Form_Load();
    w->show();
}

void EndToEndWindow::login()
{
    Form4::接続サーバー = QStringLiteral("real");
    w->Connect_server();
    ASSERT_TRUE(wait_until([&] { return w->Label1->text().startsWith(QStringLiteral("ｻｰﾊﾞｰﾊﾟｽ: ")); }, 10000))
        << w->Text1->text().toStdString();
}

QStringList EndToEndWindow::remoteNames() const
{
    QStringList out;
    for (int i = 0; i < w->ListView1->count(); ++i)
        out << w->ListView1->text(i);
    return out;
}

bool EndToEndWindow::idle() const
{
    return w->ループ回数 == 0 && w->Winsock2->State() == Winsock::sckListening;
}

bool EndToEndWindow::listed(const std::function<bool()>& pred)
{
    return wait_until([&] { return idle() && pred(); }, 20000);
}

void EndToEndWindow::downloadAndUploadWhole(const QString& serverDir)
{
    const QByteArray body = random_bytes(300 * 1024 + 7);
    write_file(serverDir + QStringLiteral("/get.bin"), body);
    ASSERT_NO_FATAL_FAILURE(login());
    ASSERT_TRUE(listed([&] { return remoteNames() == QStringList{"get.bin"}; })) << w->Text1->text().toStdString();
    w->ListView1->setCurrentRow(0, true);
    w->MDOWN_Click();
    ASSERT_TRUE(wait_until([&] { return !w->busy() && QFileInfo::exists(local + QStringLiteral("/get.bin")); }, 20000))
        << w->Text1->text().right(1500).toStdString();
    EXPECT_EQ(read_file(local + QStringLiteral("/get.bin")), body);

    ASSERT_TRUE(QFile::rename(local + QStringLiteral("/get.bin"), local + QStringLiteral("/put.bin")));
    w->Local_list();
    w->ListView2->clearSelection();
    for (int i = 0; i < w->ListView2->count(); ++i)
        w->ListView2->setSelected(i, w->ListView2->text(i) == QStringLiteral("put.bin"));
    w->Mupload_Click();
    ASSERT_TRUE(listed([&] { return remoteNames().contains(QStringLiteral("put.bin")) && !w->busy(); }))
        << w->Text1->text().right(1500).toStdString();
    EXPECT_EQ(read_file(serverDir + QStringLiteral("/put.bin")), body);
}

void RealServerWindow::SetUp()
{
    const ServerCase c = GetParam();
    if (c.vsftpd && !VsftpdServer::unusableReason().isEmpty())
        GTEST_SKIP() << VsftpdServer::unusableReason().toStdString();
    if (!c.plain) {
        cert = make_test_certificate(certDir.path());
        ASSERT_TRUE(cert.ok()) << cert.error.toStdString();
    }
    if (c.vsftpd) {
        if (!c.plain)
            vsftpd.setCertificate(cert);
        vsftpd.setMaxTls12(c.maxTls12);
        ASSERT_TRUE(vsftpd.start()) << vsftpd.errorText().toStdString();
        ASSERT_NO_FATAL_FAILURE(openWindow(vsftpd.port(), vsftpd.user(), vsftpd.password()));
        saveEntry(QStringLiteral("Server_name_path"), QStringLiteral("/pub"));
        serverDir = vsftpd.pub();
    } else {
        if (!c.plain)
            pyftpd.setTls(cert);
        ASSERT_TRUE(pyftpd.start()) << pyftpd.errorText().toStdString();
        ASSERT_NO_FATAL_FAILURE(openWindow(pyftpd.port(), pyftpd.user(), pyftpd.password()));
        serverDir = pyftpd.root();
    }
    if (!c.plain) {
        saveEntry(keys::Tls, keys::TlsRequired);
        saveEntry(keys::TlsFp, cert.fingerprint);
    }
    saveEntry(keys::Pasv, c.passive ? QStringLiteral("1") : QStringLiteral("0"));
}

std::string RealServerWindow::serverLog() const
{
    return (GetParam().vsftpd ? vsftpd.output() : pyftpd.output()).right(3000).toStdString();
}
