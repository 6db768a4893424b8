// The three resets that put groups of the main window's state back to their
// initial values. They touch no control.
#include "app/form1.h"

#include "transfer/same_name_dialog.h"

void form1::Clear_connect()
{
    現在のローカルパス.clear();
    ポートNo = 0;
    ホスト名.clear();
    ユーザー名.clear();
    パスワード.clear();
    サーバーパス.clear();
    リトライ回数 = 0;
    リトライ間隔 = 0;
    ループ回数 = 0;
}

void form1::Clear_all()
{
    Q_mode = 0;
    最初の送信 = 0;
    S_count = 0;
    Douitu = 0;
    del_Count = 0;
    ポートNo = 0;
    Server_Kyu.clear();
    Newtext.clear();
    msg = 0;
    送信文字列.clear();
    Time_start = QDateTime();
    Down_Size.clear();
    File_total = 0;
    F_total = 0;
    Y_Count = 0;
    Bytes_Total1 = 0;
    Gcount = 0;
    Ucount = 0;
    Wcount = 0;
    Dcount = 0;
    Up_File2.clear();
    Up_File.clear();
    Up_Count = 0;
    Down_Count = 0;
    fCount = 0;
    Down_File.clear();
    rCount = 0;
    Select_view = 0;
    ホスト名.clear();
    ユーザー名.clear();
    パスワード.clear();
    サーバーパス.clear();
    ループ回数 = 0;
    リトライ回数 = 0;
    リトライ間隔 = 0;
    Combo_Name = 0;
    Combo_Mode = 0;
    Form13::Over_write = false;
}

void form1::Clear_transfer()
{
    closeAllFiles();
    Down_Count = 0;
    Up_Count = 0;
    ループ回数 = 0;
    Gcount = 0;
    rCount = 0;
}
