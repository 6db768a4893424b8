#include "servers/quick_connect_dialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/form1.h"
#include "platform/errors.h"
#include "platform/prompts.h"
#include "platform/dialog_buttons.h"
#include "platform/settings_store.h"
#include "servers/password_box.h"
#include "servers/password_store.h"
#include "servers/quick_address.h"
#include "servers/settings_keys.h"

Form3::Form3(form1* main, QWidget* parent) : QDialog(parent), main_(main)
{
    setWindowTitle(QStringLiteral("クイック接続"));
    auto* grid = new QGridLayout(this);
    const auto field = [&](int row, const QString& label, QLineEdit*& edit) {
        edit = new QLineEdit(this);
        grid->addWidget(new QLabel(label, this), row, 0);
        grid->addWidget(edit, row, 1);
    };
    field(0, QStringLiteral("サーバーアドレス"), Text1);
    field(1, QStringLiteral("ユーザー名"), Text2);
    field(2, QStringLiteral("パスワード"), Text3);
    mask_with_asterisks(Text3);
    Check1 = new QCheckBox(QStringLiteral("ａｎｏｎｙｍｏｕｓ"), this);
    Check2 = new QCheckBox(QStringLiteral("メールアドレス"), this);
    auto* checks = new QHBoxLayout;
    checks->addWidget(Check1);
    checks->addWidget(Check2);
    checks->addStretch();
    grid->addLayout(checks, 3, 1);
    auto* buttons = confirm_cancel_row(this, QStringLiteral("接続(&N)"), Command1, Command2);
    grid->addLayout(buttons, 4, 0, 1, 2);
    resize(380, sizeHint().height());

    Text1->setText(settings::get(keys::QuickHost, keys::QuickHost, keys::QuickHostDefault));
    Text2->setText(settings::get(keys::QuickUser, keys::QuickUser, keys::QuickUserDefault));
    // From the keyring the password comes later; connecting waits for it
    // unless the user types one meanwhile, which it then does not replace.
    Command1->setEnabled(false);
    connect(Text3, &QLineEdit::textEdited, Command1, [this] { Command1->setEnabled(true); });
    passwords::read_quick(this, [this](const std::optional<QString>& password) {
        if (password && !Command1->isEnabled())
            Text3->setText(*password);
        Command1->setEnabled(true);
    });

    // clicked, not toggled: only the user's own change fills the boxes.
    connect(Check1, &QCheckBox::clicked, this, &Form3::Check1_Click);
    connect(Check2, &QCheckBox::clicked, this, &Form3::Check2_Click);
    connect(Command1, &QPushButton::clicked, this, &Form3::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &QDialog::hide);
}

void Form3::Check1_Click()
{
    if (Check1->isChecked())
        Text2->setText(QStringLiteral("anonymous"));
    else
        Text2->clear();
}

void Form3::Check2_Click()
{
    if (Check2->isChecked()) {
        QString mail = settings::get(keys::Options, keys::Mail, keys::PrimaryMail);
        if (mail.trimmed().isEmpty())
            mail = keys::PrimaryMail;
        Text3->setText(mail);
    } else {
        Text3->clear();
    }
}

void Form3::Command1_Click()
{
    const QuickAddress address = parse_quick_address(Text1->text());
    if (!address.error.isEmpty()) {
        prompts::Msg_box(address.error, QStringLiteral("クイック接続"), prompts::vbExclamation);
        Text1->setFocus();
        return;
    }
    settings::save(keys::QuickHost, keys::QuickHost, Text1->text());
    settings::save(keys::QuickUser, keys::QuickUser, Text2->text());
    passwords::save_quick(Text3->text());
    // Remembering the texts is a convenience: say that it failed, then
    // connect all the same.
    const QString failure = settings::commit();
    if (!failure.isEmpty())
        prompts::Msg_box(QStringLiteral("入力した接続先を次回のために保存できませんでした。\n") + failure,
                         QStringLiteral("クイック接続"), prompts::vbExclamation);
    // An entry still waiting for its password is not connected after this.
    passwords::stop_waiting();
    // A user and password in the address serve this connection only.
    main_->Quick_connect(address.host, address.hasUser ? address.user : Text2->text(),
                         address.hasPassword ? address.password : Text3->text(), address.port, address.startFolder);
    hide();
}

void form1::connect_Click()
{
    errors::trap(QStringLiteral("エラー"), [this] {
        // Created once and only hidden afterwards, so the boxes keep what the
        // user last left in them for the rest of the run.
        auto* dialog = findChild<Form3*>(QString(), Qt::FindDirectChildrenOnly);
        if (!dialog)
            dialog = new Form3(this, this);
        prompts::show_modal(dialog);
    });
}
