#include "transfer/same_name_dialog.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/form1.h"
#include "platform/outside_text.h"
#include "transfer/folder_batch.h"

Form13::Form13(form1* main, QWidget* parent) : QDialog(parent), main_(main)
{
    setWindowTitle(QStringLiteral("問い合わせ"));
    setModal(false);
    Label2 = new QLabel(this);
    Label1 = new QLabel(this);
    outside_text::make_plain(Label2);
    Label2->setWordWrap(true);
    Command1 = new QPushButton(QStringLiteral("上書き"), this);
    Command2 = new QPushButton(QStringLiteral("すべて上書き"), this);
    Command3 = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
    Command4 = new QPushButton(QStringLiteral("スキップ"), this);
    Command5 = new QPushButton(QStringLiteral("続きから(&R)"), this);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {Command1, Command2, Command5, Command4, Command3})
        buttons->addWidget(b);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label2);
    layout->addWidget(Label1);
    layout->addLayout(buttons);
    connect(Command1, &QPushButton::clicked, this, &Form13::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form13::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form13::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &Form13::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &Form13::Command5_Click);
}

void Form13::ask(const QString& fileName, bool resumable)
{
    Command5->setVisible(resumable);
    show();
    Label1->setText(QStringLiteral("は、転送先に同一名のファイルが存在します。"));
    outside_text::set(Label2, fileName);
    raise();
    activateWindow();
}

void Form13::Command1_Click()
{
    hide();
    if (main_->Douitu == 1) {
        main_->Douitu = 0;
        main_->Up_loadB();
    } else {
        main_->down_loadA();
    }
}

void Form13::Command2_Click()
{
    hide();
    Over_write = true;
    if (main_->Douitu == 1) {
        main_->Douitu = 0;
        main_->Up_loadB();
    } else {
        main_->down_loadA();
    }
}

void Form13::Command3_Click()
{
    // The whole batch ends here: nothing of it may be sent or written later.
    hide();
    main_->endOperation();
}

void Form13::Command4_Click()
{
    hide();
    if (main_->Douitu == 1) {
        main_->Douitu = 0;
        if (main_->Up_Count != 0)
            main_->Up_select();
        else
            folder_batch::end_upload(*main_, false);
    } else {
        if (main_->Down_Count != 0)
            main_->Down_sele();
        else
            main_->endDownloadBatch();
    }
}

void Form13::Command5_Click()
{
    hide();
    main_->Douitu = 0;
    folder_batch::resume_upload(*main_);
}

void Form13::reject()
{
    // Esc answers like the cancel button too.
    Command3_Click();
}

void Form13::closeEvent(QCloseEvent* event)
{
    // Closing the window answers like its cancel button.
    event->ignore();
    Command3_Click();
}
