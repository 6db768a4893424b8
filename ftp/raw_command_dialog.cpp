#include "ftp/raw_command_dialog.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/form1.h"
#include "platform/errors.h"
#include "platform/prompts.h"
#include "platform/screen_units.h"
#include "platform/winsock.h"

Form2::Form2(form1* main, QWidget* parent) : QDialog(parent), main_(main)
{
    setWindowTitle(QStringLiteral("コマンド送信"));
    Text1 = new QLineEdit(this);
    Text1->setFont(gothic_font(9));
    Text1->setMinimumWidth(Text1->fontMetrics().horizontalAdvance(QLatin1Char('M')) * 40);
    Command1 = new QPushButton(QStringLiteral("送信(&G)"), this);
    Command2 = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ(&C)"), this);
    Command1->setDefault(true);   // Enter in the text box sends

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Text1);
    layout->addLayout(buttons);

    QObject::connect(Command1, &QPushButton::clicked, this, &Form2::Command1_Click);
    QObject::connect(Command2, &QPushButton::clicked, this, &Form2::Command2_Click);
}

void Form2::Command1_Click()
{
    if (main_->Winsock1->State() == Winsock::sckClosed) {
        prompts::Msg_box(QStringLiteral("ｻｰﾊﾞｰに接続していません"), QStringLiteral("Palu_FTP エラー"),
                         prompts::vbCritical);
        return;
    }
    // The window may have been open while an operation started.
    if (main_->refuseWhileBusy())
        return;
    hide();
    // Sent exactly as typed, trailing blanks included; an empty box sends an
    // empty line. Its answer is the user's to read, not the program's.
    main_->送信文字列 = Text1->text() + QStringLiteral("\r\n");
    main_->rawCommand_ = true;
    main_->Send_command();
}

void Form2::Command2_Click() { hide(); }

Form2* form1::rawCommandDialog()
{
    if (!form2_)
        form2_ = new Form2(this, this);
    return form2_;
}

void form1::Msend_Click()
{
    errors::trap(QStringLiteral("Msend_clickエラー"), [this] {
        if (refuseWhileBusy())
            return;
        if (Winsock1->State() != Winsock::sckClosed) {
            prompts::show_modal(rawCommandDialog());
            return;
        }
        prompts::Msg_box(QStringLiteral("サーバーに接続されていません"), QStringLiteral("未接続"),
                         prompts::vbCritical);
    });
}
