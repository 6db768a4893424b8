#include "ftp/retry_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "app/form1.h"
#include "platform/errors.h"
#include "platform/screen_units.h"
#include "servers/server_list_dialog.h"

QString countdown_text(int seconds, int attemptsLeft)
{
    return QStringLiteral("　　　　あと") + QString::number(seconds) + QStringLiteral("秒") +
           QStringLiteral("   再試行回数") + QString::number(attemptsLeft) + QStringLiteral("回");
}

Form12::Form12(form1* main, QWidget* parent) : QDialog(parent), main_(main)
{
    setWindowTitle(QStringLiteral("リトライ"));
    setModal(false);
    Label1 = new QLabel(QStringLiteral("ｻｰﾊﾞｰに接続出来ませんでした。"), this);
    Label2 = new QLabel(QStringLiteral("再接続を試みます。"), this);
    Label3 = new QLabel(this);
    Command1 = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ(&C)"), this);
    for (QWidget* w : std::initializer_list<QWidget*>{Label1, Label2, Label3, Command1})
        w->setFont(gothic_font(9));
    // Room for the longest countdown so the window does not jump while counting.
    Label3->setMinimumWidth(Label3->fontMetrics().horizontalAdvance(countdown_text(-32768, 32767)));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Command1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(Label2);
    layout->addWidget(Label3);
    layout->addLayout(buttons);

    Timer1 = new QTimer(this);
    QObject::connect(Timer1, &QTimer::timeout, this, &Form12::Timer1_Timer);
    QObject::connect(Command1, &QPushButton::clicked, this, &Form12::Command1_Click);
}

void Form12::Form_Load()
{
    // The window is kept between uses: the text of an earlier countdown must
    // not show before the first tick of this one.
    Label3->clear();
    Timer1->start(TickMs);
    show();
    raise();
}

void Form12::Timer1_Timer()
{
    errors::trap(QStringLiteral("エラー"), [this] {
        Label3->setText(countdown_text(main_->リトライ間隔, main_->リトライ回数));
        Label3->repaint();
        // An interval of 0 or less has nothing to count down: it connects at
        // once instead of counting into negative seconds.
        const int left = int(main_->リトライ間隔) - 1;
        main_->リトライ間隔 = qint16(std::max(left, 0));
        if (left > 0)
            return;
        Form_Unload();
        // The entry that was refused, whatever the list shows now.
        Form4::接続サーバー = server;
        main_->Connect_server();
    });
}

void Form12::Command1_Click()
{
    main_->リトライ回数 = 0;
    main_->リトライ間隔 = 0;
    Form_Unload();
}

void Form12::Form_Unload()
{
    Timer1->stop();
    hide();
}

void Form12::reject() { Command1_Click(); }
