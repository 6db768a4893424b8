// Turning a chosen server into an open control connection, directly or
// through the firewall proxy.
#include <QAction>
#include <QDirIterator>

#include "app/form1.h"
#include "platform/drive_view.h"
#include "platform/errors.h"
#include "platform/prompts.h"
#include "platform/settings_store.h"
#include "platform/winsock.h"
#include "servers/server_list_dialog.h"

namespace {
const QString Options = QStringLiteral("OPTIONS");

// A number setting of the record, or nullopt after telling the user which
// entry and which setting is wrong.
std::optional<int> number_setting(const QString& section, const QString& key, const QString& def,
                                  int low, int high)
{
    const QString text = settings::get(section, key, def).trimmed();
    bool ok = false;
    const int value = text.toInt(&ok);
    if (ok && value >= low && value <= high)
        return value;
    prompts::Msg_box(QStringLiteral("「") + section + QStringLiteral("」の設定「") + key +
                         QStringLiteral("」が正しくありません（") + QString::number(low) +
                         QStringLiteral("～") + QString::number(high) +
                         QStringLiteral("の数字を指定してください）。\n設定値: ") + text,
                     QStringLiteral("接続エラー"), prompts::vbExclamation);
    return std::nullopt;
}

// Whether a local folder holds at least one file (sub-folders not counted).
bool has_files(const QString& native)
{
    QDirIterator it(native, QDir::Files | QDir::System);
    return it.hasNext();
}
} // namespace

void form1::Connect_server()
{
    if (Winsock1->State() == Winsock::sckConnected) {
        const int answer = prompts::Msg_box(QStringLiteral("ｻｰﾊﾞｰに接続中です。切断して接続しますか？"),
                                            QStringLiteral("接続中"), prompts::vbQuestion, prompts::vbOKCancel);
        if (answer != prompts::vbOK)
            return;
        Send_quit();
        Clear_connect();
    }
    const QString section = Form4::接続サーバー;
    const bool proxy = settings::get(Options, QStringLiteral("PROXYON")) == QStringLiteral("1");
    ユーザー名 = settings::get(section, QStringLiteral("s_user"));
    パスワード = settings::get(section, QStringLiteral("s_pass"));
    現在のローカルパス = settings::get(section, QStringLiteral("s_local_path"));
    サーバーパス = settings::get(section, QStringLiteral("Server_name_path"));
    const QString localStart = 現在のローカルパス;

    const auto interval = number_setting(section, QStringLiteral("リトライ間隔"), QStringLiteral("10"), -32768, 32767);
    if (!interval)
        return;
    リトライ間隔 = qint16(*interval);

    if (proxy) {
        const auto port = number_setting(Options, QStringLiteral("PROXYPORT"), QString(), 1, 65535);
        if (!port)
            return;
        ホスト名 = settings::get(Options, QStringLiteral("PROXYSERVER"));
        ポートNo = *port;
        ユーザー名 += QStringLiteral("@") + settings::get(section, QStringLiteral("s_adress"));
    } else {
        const auto port = number_setting(section, QStringLiteral("ポートNo"), QStringLiteral("21"), 1, 65535);
        if (!port)
            return;
        ホスト名 = settings::get(section, QStringLiteral("s_adress"));
        ポートNo = *port;
    }

    if (リトライ回数 == 0) {
        const auto count = number_setting(section, QStringLiteral("リトライ回数"), QStringLiteral("1"), -32768, 32767);
        if (!count)
            return;
        リトライ回数 = qint16(*count);
    }
    if (リトライ回数 != 0)
        --リトライ回数;

    if (!サーバーパス.trimmed().isEmpty()) {
        if (サーバーパス.endsWith(u'/'))
            サーバーパス.chop(1);
        Wcount = -1;
    }

    if (!現在のローカルパス.trimmed().isEmpty()) {
        const QString native = drives::to_native(現在のローカルパス);
        if (現在のローカルパス.endsWith(u'\\')) {
            if (native.isEmpty() || !has_files(native))
                現在のローカルパス.clear();
            else
                現在のローカルパス = 現在のローカルパス.mid(2, 現在のローカルパス.size() - 3);
        } else {
            if (native.isEmpty() || !QFileInfo(native).isDir())
                現在のローカルパス.clear();
            else
                現在のローカルパス = 現在のローカルパス.mid(2);
        }
        // The drive change this causes is the program's own: the change
        // handler ignores it once. No change at all leaves nothing to ignore.
        Q_mode = -1;
        if (!selectDrive(localStart.left(2)))
            Q_mode = 0;
        Local_list();
    }
    Open_sockets();
}

void form1::Open_sockets()
{
    Winsock1->Close();
    Winsock2->Close();
    // Nothing of an earlier conversation may reach the new one.
    replyFramer_.reset();
    replyQueue_.clear();
    Winsock1->RemoteHost = ホスト名;
    Winsock1->RemotePort = ポートNo;
    Winsock1->LocalPort = 0;
    Winsock1->Connect();
    Winsock2->RemoteHost = ホスト名;
    Winsock2->RemotePort = ポートNo;
    Winsock2->LocalPort = 0;
    if (!Winsock2->Listen()) {
        Winsock1->Close();
        prompts::Msg_box(QStringLiteral("接続出来る状態にありません。"), QStringLiteral("接続エラー"),
                         prompts::vbExclamation);
        Clear_connect();
    }
}

Form4* form1::serverList()
{
    if (!form4_)
        form4_ = new Form4(this, this);
    return form4_;
}

void form1::Mconect1_Click()
{
    errors::trap(QStringLiteral("Mconect1_clickエラー"), [this] {
        serverList()->Server_load();
        prompts::show_modal(serverList());
    });
}

void form1::Winsock1_Connect() { Show_connected(); }

void form1::disconnect_Click() { Send_quit(); }
