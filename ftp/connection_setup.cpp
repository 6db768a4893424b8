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
#include "servers/password_store.h"
#include "servers/proxy_options.h"
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

void form1::Connect_server(bool fresh)
{
    const QString section = Form4::接続サーバー;
    // A password kept in the desktop's keyring comes asynchronously: this
    // starts over once it is there, and the window stays free meanwhile.
    const std::optional<QString> password = passwords::at_hand(section, this, [this, fresh] { Connect_server(fresh); });
    if (!password)
        return;
    // Every setting is checked before anything changes: a wrong entry
    // leaves the connection and both sides as they were.
    const bool proxy = settings::get(Options, QStringLiteral("PROXYON")) == QStringLiteral("1");
    const auto interval = number_setting(section, QStringLiteral("リトライ間隔"), QStringLiteral("10"), -32768, 32767);
    if (!interval)
        return;
    const proxy_options::Proxy firewall = proxy ? proxy_options::read() : proxy_options::Proxy{};
    if (!firewall.problem.isEmpty()) {
        prompts::Msg_box(firewall.problem, QStringLiteral("接続エラー"), prompts::vbExclamation);
        return;
    }
    const auto port = proxy ? std::optional<int>(firewall.port)
                            : number_setting(section, QStringLiteral("ポートNo"), QStringLiteral("21"), 1, 65535);
    if (!port)
        return;
    const auto count = number_setting(section, QStringLiteral("リトライ回数"), QStringLiteral("1"), -32768, 32767);
    if (!count)
        return;
    if (!confirmNewConnection())
        return;
    if (fresh) {
        Clear_all();
        markActiveLabel(false);
        mlist[0]->setChecked(true);
        mlist[1]->setChecked(false);
    }

    connectedEntry_ = section;
    ユーザー名 = settings::get(section, QStringLiteral("s_user"));
    パスワード = *password;
    サーバーパス = settings::get(section, QStringLiteral("Server_name_path"));
    リトライ間隔 = qint16(*interval);
    ポートNo = *port;
    if (proxy) {
        ホスト名 = firewall.host;
        ユーザー名 += QStringLiteral("@") + settings::get(section, QStringLiteral("s_adress"));
    } else {
        ホスト名 = settings::get(section, QStringLiteral("s_adress"));
    }
    if (リトライ回数 == 0)
        リトライ回数 = qint16(*count);
    if (リトライ回数 != 0)
        --リトライ回数;

    // Entries from before the choices existed keep the active mode and no
    // encryption.
    profile_ = ConnectionProfile::ofEntry(section, ホスト名, ポートNo);
    passive_ = profile_.passive;
    Wcount = 0;
    if (!サーバーパス.trimmed().isEmpty()) {
        if (サーバーパス.endsWith(u'/'))
            サーバーパス.chop(1);
        Wcount = -1;
    }

    // Without a start folder the local side stays where the user has it.
    const QString localStart = settings::get(section, QStringLiteral("s_local_path"));
    if (!localStart.trimmed().isEmpty()) {
        const QString native = drives::to_native(localStart);
        if (localStart.endsWith(u'\\'))
            現在のローカルパス = native.isEmpty() || !has_files(native) ? QString() : localStart.mid(2, localStart.size() - 3);
        else
            現在のローカルパス = native.isEmpty() || !QFileInfo(native).isDir() ? QString() : localStart.mid(2);
        // The drive change this causes is the program's own: the change
        // handler ignores it once. No change at all leaves nothing to ignore.
        Q_mode = -1;
        if (!selectDrive(localStart.left(2)))
            Q_mode = 0;
        Local_list();
    }
    Open_sockets();
}

void form1::Quick_connect(const QString& host, const QString& user, const QString& password, int port,
                          const QString& startFolder)
{
    if (!confirmNewConnection())
        return;
    // Only the connection parameters: a quick connection has no local start
    // folder, never goes through the proxy, and is not an entry the
    // countdown after "421" could connect to again. Its remote start folder
    // is the one its ftp:// address names, if any.
    connectedEntry_.clear();
    profile_ = ConnectionProfile::ofQuickConnection(host, port);
    passive_ = profile_.passive;
    ホスト名 = host;
    ユーザー名 = user;
    パスワード = password;
    ポートNo = port;
    if (!startFolder.isEmpty()) {
        サーバーパス = startFolder;
        if (サーバーパス.size() > 1 && サーバーパス.endsWith(u'/'))
            サーバーパス.chop(1);
        Wcount = -1;
    }
    Open_sockets();
}

void form1::Open_sockets()
{
    // Whatever ran on the old connection ends here, before anything of the
    // new one can arrive.
    if (busy())
        endOperation();
    Winsock1->Close();
    Winsock2->Close();
    // Nothing of an earlier conversation may reach the new one.
    replyFramer_.reset();
    startCodepage();
    replyQueue_.clear();
    sentCommands_.clear();
    epsvTried_ = false;
    pasvNoted_ = false;
    passiveFallback_ = false;
    resendStor_ = false;
    sessionSteps_.clear();
    // Nothing of a log-in that was cut short carries over.
    session_ = {};
    S_count = 0;
    Ucount = 0;
    Winsock2->SetTlsClient({}, QString(), QSslCertificate());
    Winsock1->RemoteHost = ホスト名;
    Winsock1->RemotePort = ポートNo;
    Winsock1->LocalPort = 0;
    Winsock1->Connect();
    Winsock2->RemoteHost = ホスト名;
    Winsock2->RemotePort = ポートNo;
    Winsock2->LocalPort = 0;
    Winsock2->LocalBindIP.clear();   // known once the control connection is up
    if (!Winsock2->Listen()) {
        Winsock1->Close();
        prompts::Msg_box(QStringLiteral("接続出来る状態にありません。"), QStringLiteral("接続エラー"),
                         prompts::vbExclamation);
        Clear_connect();
        return;
    }
    beginOperation(Operation::Login);
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

void form1::Winsock1_Connect()
{
    // The server is told this address for its data connections: each
    // listener made from now on waits there alone.
    Winsock2->LocalBindIP = Winsock1->LocalIP();
    Show_connected();
}

void form1::disconnect_Click()
{
    // Whatever runs ends first: its replies must not drive anything more.
    // A log-in under way is cut off without another word.
    if (operation_ == Operation::Login) {
        endLogin();
        return;
    }
    if (busy())
        endOperation();
    Send_quit();
}
