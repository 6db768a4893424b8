#include "app/form1.h"

#include <QAction>
#include <QFile>
#include <QSaveFile>
#include <QComboBox>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>

#include "app/log_pane.h"
#include "app/splash_window.h"
#include "fileops/remote_tree_delete.h"
#include "transfer/remote_folder_walk.h"
#include "transfer/transfer_batch.h"
#include "platform/click_label.h"
#include "platform/list_view.h"
#include "platform/outside_text.h"
#include "platform/screen_units.h"
#include "platform/winsock.h"

form1::form1(QWidget* parent) : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("Palu_FTP"));
    createControls();
    createMenus();
    createToolbar();
    wireListEvents();
    wireControlSocket();
    wireControlTls();
    wireDataSocket();
    wireRemoteNavigation();
    wireFileOperations();
    wireShellAndMenus();
    wireDragAndDrop();
    // Below this the two panes cannot show their path rows.
    setMinimumSize(320, 240);
}

form1::~form1() = default;

void form1::createControls()
{
    // The client area is laid out by hand (Layout_controls); the toolbar and
    // the status line are its children too so that their heights and the
    // status line's top are read in the same coordinates.
    client_ = new QWidget(this);
    setCentralWidget(client_);

    Toolbar1 = new QToolBar(client_);
    Toolbar1->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    Toolbar1->setMovable(false);
    // Small icons keep the toolbar low, leaving the lists and the log room in
    // the default window size.
    Toolbar1->setIconSize(QSize(16, 16));

    Label4 = new ClickLabel(client_);
    Label1 = new ClickLabel(client_);
    Label4->setText(QStringLiteral("ﾛｰｶﾙﾊﾟｽ:"));

    Drive1 = new QComboBox(client_);
    fillDriveList();
    Command2 = new QPushButton(QStringLiteral("↑"), client_);
    Command2->setToolTip(QStringLiteral("一つ上のﾃﾞｨﾚｸﾄﾘｰへ"));
    Combo1 = new QComboBox(client_);
    Combo1->setEditable(true);
    Combo1->setInsertPolicy(QComboBox::NoInsert);
    CDUP = new QPushButton(QStringLiteral("↑"), client_);
    CDUP->setToolTip(QStringLiteral("一つ上のﾃﾞｨﾚｸﾄﾘｰへ"));

    ListView2 = new ListView(client_);
    ListView1 = new ListView(client_);
    // A wider window widens the names; sizes and dates keep their room.
    ListView1->setStretchColumn(0);
    ListView2->setStretchColumn(0);

    Text1 = new LogPane(client_);
    Text1->setFont(gothic_font(9));
    Text1->setToolTip(QStringLiteral("接続状態"));
    Text1->setText(QStringLiteral("PALU_FTP FTPｸﾗｲｱﾝﾄ　Ver2.0\r\n"));

    StatusBar1 = new QStatusBar(client_);
    StatusBar1->setSizeGripEnabled(false);
    StatusPanel1 = new QLabel(StatusBar1);
    StatusBar1->addWidget(StatusPanel1, 1);
    StatusPanel2 = new QLabel(StatusBar1);
    StatusBar1->addPermanentWidget(StatusPanel2);
    StatusPanel3 = new QLabel(StatusBar1);
    StatusBar1->addPermanentWidget(StatusPanel3);
    StatusPanel3->setVisible(false);
    // The status line names remote files and hosts.
    outside_text::make_plain(StatusPanel1);
    outside_text::make_plain(StatusPanel2);
    outside_text::make_plain(StatusPanel3);

    ProgressBar1 = new QProgressBar(client_);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setVisible(false);

    Winsock1 = new Winsock(this);
    Winsock2 = new Winsock(this);

    const QFont font = gothic_font(9);
    for (QWidget* w : std::initializer_list<QWidget*>{Label1, Label4, Drive1, Combo1, ListView1,
                                                      ListView2, StatusBar1})
        w->setFont(font);
}

void form1::createMenus()
{
    QMenuBar* bar = menuBar();
    bar->setFont(gothic_font(9));

    server = bar->addMenu(QStringLiteral("ｻｰﾊﾞｰ(&S)"));
    Mconect1 = server->addAction(QStringLiteral("接続(&N)"));
    connect = server->addAction(QStringLiteral("クイック接続(&C)"));
    Mserver_list = server->addAction(QStringLiteral("サーバーリスト(&L)"));
    Mabore = server->addAction(QStringLiteral("中断(&A)"));
    server->addSeparator(); // Mbar77
    disconnect = server->addAction(QStringLiteral("切断(&D)"));
    server->addSeparator(); // Mbar9
    Mend = server->addAction(QStringLiteral("終了(&W)"));

    Mfile = bar->addMenu(QStringLiteral("ファイル(&F)"));
    MMkdir = Mfile->addAction(QStringLiteral("ﾃﾞｨﾚｸﾄﾘｰ作成(&M)"));
    Mrmdir = Mfile->addAction(QStringLiteral("削除(&D)"));
    Mrename = Mfile->addAction(QStringLiteral("名前変更(&N)"));
    Mfile->addSeparator(); // Msd
    MDOWN = Mfile->addAction(QStringLiteral("ダウンロード(&W)"));
    Mupload = Mfile->addAction(QStringLiteral("アップロード(&U)"));
    Mfile->addSeparator(); // Msf
    Mtext = Mfile->addAction(QStringLiteral("テキスビュー(&O)"));

    Mview2 = bar->addMenu(QStringLiteral("表示(&V)"));
    mlist[0] = Mview2->addAction(QStringLiteral("ローカルリスト選択(&L)"));
    mlist[1] = Mview2->addAction(QStringLiteral("サーバーリスト選択(&P)"));
    Mview2->addSeparator(); // Mbar6
    Mnew = Mview2->addAction(QStringLiteral("最新の情報を表示(&N)"));
    Mview2->addSeparator(); // Mbar24
    Mview[0] = Mview2->addAction(QStringLiteral("詳細表示"));
    Mview[1] = Mview2->addAction(QStringLiteral("一覧表示"));
    for (QAction* a : {mlist[0], mlist[1], Mview[0], Mview[1]})
        a->setCheckable(true);
    mlist[0]->setChecked(true);
    Mview[0]->setChecked(true);

    Mtool = bar->addMenu(QStringLiteral("ツール(&T)"));
    Msend = Mtool->addAction(QStringLiteral("コマンド送信(&A)"));
    mlist1 = Mtool->addAction(QStringLiteral("サーバーのリストファイルを開く"));
    Moption = Mtool->addAction(QStringLiteral("オプション(&O)"));

    Mhelp = bar->addMenu(QStringLiteral("ヘルプ(&H)"));
    Msetumei = Mhelp->addAction(QStringLiteral("使用方法(&R)"));
    Mabout = Mhelp->addAction(QStringLiteral("バージョン情報(&A)"));

    // The two popups are not on the menu bar; the lists show them.
    Mright = new QMenu(QStringLiteral("ﾛｰｶﾙ右クリック"), this);
    Mup = Mright->addAction(QStringLiteral("アップロード(&U)"));
    Mright->addSeparator(); // Mbar
    MMkdir2 = Mright->addAction(QStringLiteral("ﾃﾞｨﾚｸﾄﾘｰ作成"));
    Mdel = Mright->addAction(QStringLiteral("削除"));
    Mrname = Mright->addAction(QStringLiteral("名前の変更"));
    Mright->addSeparator(); // Mbar2
    Mopen = Mright->addAction(QStringLiteral("テキストビュー"));
    M_shell = Mright->addAction(QStringLiteral("開く"));

    server_right = new QMenu(QStringLiteral("ｻｰﾊﾞｰ右クリック"), this);
    MDOWN2 = server_right->addAction(QStringLiteral("ダウンロード(&D)"));
    server_right->addSeparator(); // mBAR3
    MMkdir3 = server_right->addAction(QStringLiteral("ﾃﾞｨﾚｸﾄﾘｰの作成"));
    Mdel2 = server_right->addAction(QStringLiteral("削除"));
    Mrname2 = server_right->addAction(QStringLiteral("名前の変更"));
    server_right->addSeparator(); // Mbar4
    Mtextview = server_right->addAction(QStringLiteral("テキストビュー"));

    for (QMenu* m : {Mright, server_right})
        m->setFont(gothic_font(9));

    // The keys are shown beside their items; the lists themselves act on
    // them (a window-wide Delete would reach the path box and the log too).
    const auto showKey = [](QAction* item, QKeySequence key) {
        item->setShortcut(key);
        item->setShortcutContext(Qt::WidgetShortcut);
    };
    for (QAction* item : {Mnew})
        showKey(item, QKeySequence(Qt::Key_F5));
    for (QAction* item : {Mrmdir, Mdel, Mdel2})
        showKey(item, QKeySequence(Qt::Key_Delete));
    for (QAction* item : {Mrename, Mrname, Mrname2})
        showKey(item, QKeySequence(Qt::Key_F2));
}

namespace {
// A tool button takes its action's tooltip, which falls back to the caption
// when empty, each time the action changes; a button meant to have none has
// it taken away again.
class NoToolTip : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::ToolTipChange) {
            auto* button = static_cast<QWidget*>(watched);
            if (!button->toolTip().isEmpty())
                button->setToolTip(QString());
        }
        return false;
    }
};
} // namespace

void form1::createToolbar()
{
    QStyle* st = style();
    struct Button {
        const char* caption;   // nullptr: separator
        QStyle::StandardPixmap icon;
        bool tooltip;
    };
    const Button buttons[] = {
        {nullptr, {}, false},
        {"接続", QStyle::SP_DriveNetIcon, true},
        {"切断", QStyle::SP_DialogCloseButton, true},
        {nullptr, {}, false},
        {"ｱｯﾌﾟﾛｰﾄﾞ", QStyle::SP_ArrowUp, true},
        {"ﾀﾞｳﾝﾛｰﾄﾞ", QStyle::SP_ArrowDown, true},
        {nullptr, {}, false},
        {"中断", QStyle::SP_BrowserStop, false},
        {"終了", QStyle::SP_DialogCancelButton, false},
    };
    for (const Button& b : buttons) {
        if (!b.caption) {
            Toolbar1->addSeparator();
            continue;
        }
        QAction* a = Toolbar1->addAction(st->standardIcon(b.icon), QString::fromUtf8(b.caption));
        if (!b.tooltip) {
            QWidget* button = Toolbar1->widgetForAction(a);
            button->installEventFilter(new NoToolTip(Toolbar1));
            button->setToolTip(QString());
        }
    }
    Toolbar1->setFont(gothic_font(9));
}

QAction* form1::toolbarButton(int index) const
{
    const QList<QAction*> all = Toolbar1->actions();
    return index >= 1 && index <= all.size() ? all.at(index - 1) : nullptr;
}
