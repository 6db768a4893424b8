// The senders of the login and listing conversation, the PORT builder, the
// step machine that each "200" reply advances, and QUIT.
#include "app/form1.h"
#include "transfer/transfer_batch.h"
#include "ftp/reply_texts.h"
#include "platform/errors.h"
#include "platform/prompts.h"
#include "platform/winsock.h"

namespace {
const QString CrLf = QStringLiteral("\r\n");
}

void form1::sendLine(const QString& line)
{
    送信文字列 = line + CrLf;
    Send_command();
}

void form1::connectionFailed()
{
    prompts::Msg_box(QStringLiteral("接続エラー"), QStringLiteral("接続エラー"), prompts::vbExclamation);
    if (busy())
        endOperation();
    Clear_connect();
}

void form1::Send_user() { sendLine(QStringLiteral("USER ") + ユーザー名); }
void form1::Send_pass() { sendLine(QStringLiteral("PASS ") + パスワード); }
void form1::Send_pwd()
{
    // Every change on the server ends in a fresh listing; until it has
    // arrived, that listing is what runs.
    continueAs(Operation::Listing);
    sendLine(QStringLiteral("PWD"));
}
void form1::Send_type() { sendLine(QStringLiteral("TYPE A")); }

bool form1::Make_port()
{
    const QString line = port_line(Winsock1->LocalIP(), Winsock2->LocalPort);
    if (line.isEmpty()) {
        connectionFailed();
        return false;
    }
    送信文字列 = line;
    return true;
}

void form1::Data_step()
{
    switch (ループ回数) {
    case 0:
        if (Send_data_address())
            ループ回数 = 1;
        break;
    case 1:
        // A folder walked for a batch or a deletion is listed with LIST: MLSD
        // shows some servers' links to folders as the folders themselves, and
        // a walk must never go through a link (a loop, or someone else's files).
        sendLine(session_.listsWithMlsd && !folderWalk_ && !treeDelete_ ? QStringLiteral("MLSD") : QStringLiteral("LIST"));
        ループ回数 = 0;
        break;
    case 2:
        if (batch_ && Y_Count == 0)
            batch_->binary = true;
        if (Send_data_address())
            ループ回数 = 3;
        break;
    case 3:
        sendTransferCommand();   // RETR, after REST when it goes on from a part
        break;
    case 4:
        if (batch_)
            batch_->binary = true;
        if (Send_data_address())
            ループ回数 = 5;
        break;
    case 5:
        Up_LoadA();
        break;
    default:
        break;
    }
}

bool form1::mlsdRefused(const QString& verb, const QString& code)
{
    if (verb != QStringLiteral("MLSD")
        || (code != QStringLiteral("500") && code != QStringLiteral("501") && code != QStringLiteral("502")))
        return false;
    // For the rest of this connection; the same listing goes again with LIST
    // on a fresh data connection.
    session_.listsWithMlsd = false;
    stopWaiting();
    ループ回数 = 0;
    Data_step();
    return true;
}

void form1::Send_quit()
{
    if (Winsock1->State() != Winsock::sckConnected) {
        prompts::Msg_box(QStringLiteral("ｻｰﾊﾞｰに接続されていません"), QStringLiteral("接続エラー"),
                         prompts::vbInformation);
        return;
    }
    sendLine(QStringLiteral("QUIT"));
}
