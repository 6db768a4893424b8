#include "fileops/rename_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/form1.h"
#include "fileops/local_files.h"
#include "platform/drive_view.h"
#include "platform/prompts.h"

Form6::Form6(form1* main, QWidget* parent) : QDialog(parent), main_(main)
{
    setWindowTitle(QStringLiteral("新しい名前"));
    auto* layout = new QVBoxLayout(this);
    Label1 = new QLabel(QStringLiteral("新しい名前を入れてください。"), this);
    Text1 = new QLineEdit(this);
    Command1 = new QPushButton(QStringLiteral("OK(&O)"), this);
    Command2 = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ(&C)"), this);
    Command1->setDefault(true);
    layout->addWidget(Label1);
    layout->addWidget(Text1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);
    layout->addLayout(buttons);
    resize(360, sizeHint().height());

    connect(Command1, &QPushButton::clicked, this, &Form6::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form6::Command2_Click);
}

bool Form6::acceptable(const QString& name)
{
    if (name.isEmpty()) {
        prompts::Msg_box(QStringLiteral("新しい名前を入力してください。"), QStringLiteral("名前の変更"),
                         prompts::vbExclamation);
        return false;
    }
    if (!local_files::is_plain_name(name)) {
        prompts::Msg_box(QStringLiteral(R"(名前に「\」や「/」は使えません。)") + QStringLiteral("\n") + name,
                         QStringLiteral("名前の変更"), prompts::vbExclamation);
        return false;
    }
    return true;
}

void Form6::Command1_Click()
{
    const QString name = Text1->text();
    // The window stays open so that the name can be corrected.
    if (!acceptable(name))
        return;
    if (remote) {
        if (main_->refuseUnsendable(name, QStringLiteral("この名前には変更できません。"), QStringLiteral("名前の変更")))
            return;
        main_->送信文字列 = QStringLiteral("RNTO ") + name + QStringLiteral("\r\n");
        main_->Send_command();
        accept();
        return;
    }
    renameLocal(name);
}

void Form6::renameLocal(const QString& name)
{
    const QString base = main_->currentDrive() + main_->現在のローカルパス + QStringLiteral("\\");
    if (name == oldName) {
        accept();
        return;
    }
    const QString from = drives::to_native(base + oldName);
    const QString to = drives::to_native(base + name);
    QString reason;
    const local_files::RenameResult result = from.isEmpty() || to.isEmpty()
        ? local_files::RenameResult::Failed
        : local_files::rename_entry(from, to, &reason);
    if (result == local_files::RenameResult::TargetExists) {
        prompts::Msg_box(QStringLiteral("同じ名前のファイルまたはフォルダーがすでにあるため、名前を変更できません。\n") +
                             base + name,
                         QStringLiteral("名前の変更"), prompts::vbExclamation);
        return;
    }
    accept();
    if (result == local_files::RenameResult::Failed) {
        QString text = QStringLiteral("名前を変更できませんでした。\n") + base + oldName + QStringLiteral(" → ") + name;
        if (!reason.isEmpty())
            text += QStringLiteral("\n") + reason;
        prompts::Msg_box(text, QStringLiteral("名前の変更"), prompts::vbExclamation);
    }
    main_->Local_list();
}

void Form6::Command2_Click() { reject(); }

void Form6::reject()
{
    // The toolbar was locked for the RNFR; no RNTO follows, so no listing
    // will unlock it.
    if (remote)
        main_->Tool_unlock();
    QDialog::reject();
}
