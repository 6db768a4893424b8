#include "app/about_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/form1.h"
#include "platform/prompts.h"
#include "platform/screen_units.h"

Form7::Form7(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("バージョン情報"));
    Label1 = new QLabel(QStringLiteral("Palu_FTP"), this);
    Label2 = new QLabel(QStringLiteral("FTPクライアント"), this);
    Label3 = new QLabel(QStringLiteral("Ver2.5"), this);
    Label4 = new QLabel(QStringLiteral("このソフトウェアはフリーソフトウェアです。\n"
                                       "ご使用によって生じたいかなる損害についても、\n"
                                       "作者は責任を負いません。"),
                        this);
    Command1 = new QPushButton(QStringLiteral("OK"), this);
    Command1->setDefault(true);
    Label1->setFont(gothic_font(16));
    for (QWidget* w : std::initializer_list<QWidget*>{Label2, Label3, Label4, Command1})
        w->setFont(gothic_font(9));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Command1);
    auto* layout = new QVBoxLayout(this);
    for (QLabel* l : {Label1, Label2, Label3, Label4})
        layout->addWidget(l);
    layout->addSpacing(8);
    layout->addLayout(buttons);

    QObject::connect(Command1, &QPushButton::clicked, this, &Form7::Command1_Click);
}

void Form7::Command1_Click() { hide(); }

Form7* form1::aboutDialog()
{
    if (!form7_)
        form7_ = new Form7(this);
    return form7_;
}

void form1::Mabout_Click() { prompts::show_modal(aboutDialog()); }
