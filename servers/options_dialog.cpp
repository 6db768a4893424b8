#include "servers/options_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/form1.h"
#include "platform/prompts.h"
#include "platform/dialog_buttons.h"
#include "platform/settings_store.h"
#include "servers/connection_choices.h"
#include "servers/settings_keys.h"

Form8::Form8(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("オプション設定"));
    auto* layout = new QVBoxLayout(this);

    auto* mailRow = new QHBoxLayout;
    Text1 = new QLineEdit(this);
    mailRow->addWidget(new QLabel(QStringLiteral("ﾒｰﾙｱﾄﾞﾚｽ"), this));
    mailRow->addWidget(Text1, 1);
    layout->addLayout(mailRow);

    Check2 = new QCheckBox(QStringLiteral("ｸｲｯｸ接続でPASVモードを使う(&V)"), this);
    layout->addWidget(Check2);
    auto* choiceGrid = new QGridLayout;
    const auto choice = [&](int row, const QString& label, QComboBox*& box, const QList<choices::Choice>& items) {
        box = choices::make_box(items, this);
        auto* caption = new QLabel(label, this);
        caption->setBuddy(box);
        choiceGrid->addWidget(caption, row, 0);
        choiceGrid->addWidget(box, row, 1);
    };
    choice(0, QStringLiteral("暗号化(&E)"), Combo1, choices::encryption());
    choice(1, QStringLiteral("文字コード(&K)"), Combo2, choices::codepages());
    choiceGrid->setColumnStretch(1, 1);
    layout->addLayout(choiceGrid);

    auto* frame = new QGroupBox(QStringLiteral("ファイヤーウォール"), this);
    auto* grid = new QGridLayout(frame);
    Check1 = new QCheckBox(QStringLiteral("ファイヤーウォールを使用する。"), frame);
    Text3 = new QLineEdit(frame);
    Text5 = new QLineEdit(frame);
    grid->addWidget(Check1, 0, 0, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("ｻｰﾊﾞｰ名(IPｱﾄﾞﾚｽ)"), frame), 1, 0);
    grid->addWidget(Text3, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("ポート"), frame), 2, 0);
    grid->addWidget(Text5, 2, 1);
    grid->addWidget(new QLabel(QStringLiteral("\"ﾕｰｻﾞｰ名＠サーバー\"タイプのみに対応"), frame), 3, 0, 1, 2);
    layout->addWidget(frame);

    auto* buttons = confirm_cancel_row(this, QStringLiteral("設定(&S)"), Command1, Command2);
    layout->addLayout(buttons);
    resize(400, sizeHint().height());

    QString mail = settings::get(keys::Options, keys::Mail, QString());
    if (mail.trimmed().isEmpty())
        mail = keys::PrimaryMail;
    Text1->setText(mail);
    Text3->setText(settings::get(keys::Options, keys::ProxyServer, QString()));
    Text5->setText(settings::get(keys::Options, keys::ProxyPort, QString()));
    // Each box is ticked exactly when connection set-up goes through the
    // proxy or opens passive data connections, so a box never shows a choice
    // that is not used (or hides one that is); any hand-edited value other
    // than "1" reads as off.
    Check1->setChecked(settings::get(keys::Options, keys::ProxyOn, keys::ProxyOnDefault) == QStringLiteral("1"));
    Check2->setChecked(settings::get(keys::Options, keys::Pasv, keys::PasvDefault) == keys::PasvOn);
    choices::show_value(Combo1, settings::get(keys::Options, keys::Tls, keys::TlsIfOffered));
    choices::show_value(Combo2, settings::get(keys::Options, keys::Codepage, keys::CodepageAuto));

    connect(Command1, &QPushButton::clicked, this, &Form8::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &QDialog::hide);
}

void Form8::Command1_Click()
{
    // Stored as typed: connection set-up checks the port when it uses it.
    settings::save(keys::Options, keys::Mail, Text1->text());
    settings::save(keys::Options, keys::ProxyServer, Text3->text());
    settings::save(keys::Options, keys::ProxyPort, Text5->text());
    settings::save(keys::Options, keys::ProxyOn, Check1->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    settings::save(keys::Options, keys::Pasv, Check2->isChecked() ? keys::PasvOn : keys::PasvDefault);
    settings::save(keys::Options, keys::Tls, choices::value_of(Combo1));
    settings::save(keys::Options, keys::Codepage, choices::value_of(Combo2));
    // The dialog stays open with what was typed until the options are on disk.
    const QString failure = settings::commit();
    if (!failure.isEmpty()) {
        prompts::Msg_box(QStringLiteral("オプションの設定を保存できませんでした。\n") + failure,
                         QStringLiteral("オプション設定エラー"), prompts::vbExclamation);
        return;
    }
    hide();
}

void form1::Moption_Click()
{
    // Created once and only hidden afterwards: text typed before a cancel is
    // still there at the next opening, while the store keeps the old values.
    auto* dialog = findChild<Form8*>(QString(), Qt::FindDirectChildrenOnly);
    if (!dialog)
        dialog = new Form8(this);
    prompts::show_modal(dialog);
}
