#include "servers/server_entry_editor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QPushButton>
#include <QSignalBlocker>

#include "platform/errors.h"
#include "platform/prompts.h"
#include "platform/settings_store.h"
#include "servers/connection_choices.h"
#include "servers/entry_checks.h"
#include "servers/folder_picker_dialog.h"
#include "servers/password_store.h"
#include "servers/password_box.h"
#include "servers/server_list_dialog.h"
#include "servers/server_list_file.h"

namespace {
// The built-in mail addresses used for anonymous logins.
const QString PrimaryMail = QStringLiteral("palu_ftp@example.jp");
const QString SecondaryMail = QStringLiteral("guest@example.jp");

QString without_leading_blanks(const QString& s)
{
    qsizetype i = 0;
    while (i < s.size() && s.at(i) == u' ')
        ++i;
    return s.mid(i);
}
} // namespace

Form5::Form5(Form4* manager, QWidget* parent) : QDialog(parent), manager_(manager)
{
    setWindowTitle(QStringLiteral("ｻｰﾊﾞｰ設定"));
    auto* grid = new QGridLayout(this);
    int row = 0;
    const auto field = [&](const QString& label, QLineEdit*& edit, int span = 2) {
        edit = new QLineEdit(this);
        grid->addWidget(new QLabel(label, this), row, 0);
        grid->addWidget(edit, row, 1, 1, span);
        ++row;
    };
    field(QStringLiteral("ｻｰﾊﾞｰ名"), Text1);
    field(QStringLiteral("ｻｰﾊﾞｰｱﾄﾞﾚｽ"), Text2);
    field(QStringLiteral("ﾕｰｻﾞｰ名"), Text3);
    field(QStringLiteral("ﾊﾟｽﾜｰﾄﾞ"), Text4);
    mask_with_asterisks(Text4);
    Check1 = new QCheckBox(QStringLiteral("ａｎｏｎｙｍｏｕｓ"), this);
    Check2 = new QCheckBox(QStringLiteral("ﾒｰﾙｱﾄﾞﾚｽ"), this);
    grid->addWidget(Check1, row, 1);
    grid->addWidget(Check2, row, 2);
    ++row;
    field(QStringLiteral("接続時ﾛｰｶﾙﾌｫﾙﾀﾞ"), Text5, 1);
    Command3 = new QPushButton(QStringLiteral("..."), this);
    grid->addWidget(Command3, row - 1, 2);
    field(QStringLiteral("接続時ｻｰﾊﾞｰﾌｫﾙﾀﾞ"), Text6);
    field(QStringLiteral("ポート"), Text7);
    Text7->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,5}")), Text7));
    field(QStringLiteral("ﾘﾄﾗｲ回数"), Text8);
    field(QStringLiteral("ﾘﾄﾗｲ間隔"), Text9);
    Check3 = new QCheckBox(QStringLiteral("PASVモード(&V)"), this);
    grid->addWidget(Check3, row, 1, 1, 2);
    ++row;
    const auto choice = [&](const QString& label, QComboBox*& box, const QList<choices::Choice>& items) {
        box = choices::make_box(items, this);
        auto* caption = new QLabel(label, this);
        caption->setBuddy(box);
        grid->addWidget(caption, row, 0);
        grid->addWidget(box, row, 1, 1, 2);
        ++row;
    };
    choice(QStringLiteral("暗号化(&E)"), Combo1, choices::encryption());
    choice(QStringLiteral("文字コード(&K)"), Combo2, choices::codepages());
    Command1 = new QPushButton(QStringLiteral("登録((&S)"), this);
    Command2 = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ(&C)"), this);
    grid->addWidget(Command1, row, 1);
    grid->addWidget(Command2, row, 2);
    // Return in any box saves; otherwise the dialog would take the first
    // button in the tab order, "...", and open the folder picker.
    Command1->setDefault(true);

    connect(Check1, &QCheckBox::clicked, this, &Form5::Check1_Click);
    connect(Check2, &QCheckBox::clicked, this, &Form5::Check2_Click);
    connect(Command1, &QPushButton::clicked, this, &Form5::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &QDialog::hide);
    connect(Command3, &QPushButton::clicked, this, &Form5::Command3_Click);
}

Form10* Form5::picker()
{
    // Kept for the run: the next opening shows the drive and folder last shown.
    if (!picker_)
        picker_ = new Form10(Text5, this);
    return picker_;
}

void Form5::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    Text1->setFocus();
}

void Form5::Command3_Click() { prompts::show_modal(picker()); }

void Form5::setChecksQuietly(bool anonymous, bool mail)
{
    const QSignalBlocker a(Check1), b(Check2);
    Check1->setChecked(anonymous);
    Check2->setChecked(mail);
}

void Form5::Check1_Click()
{
    if (Check1->isChecked()) {
        Text3->setText(QStringLiteral("anonymous"));
        Text3->setEnabled(false);
    } else {
        Text3->clear();
        Text3->setEnabled(true);
    }
}

void Form5::Check2_Click()
{
    if (Check2->isChecked()) {
        QString mail = settings::get(QStringLiteral("OPTIONS"), QStringLiteral("MAIL"), SecondaryMail);
        if (mail.trimmed().isEmpty())
            mail = PrimaryMail;
        Text4->setText(mail);
        Text4->setEnabled(false);
    } else {
        Text4->clear();
        Text4->setEnabled(true);
    }
}

void Form5::Command1_Click()
{
    const QString title = QStringLiteral("登録エラー");
    if (Text1->text().trimmed().isEmpty() || Text2->text().trimmed().isEmpty() ||
        Text3->text().trimmed().isEmpty()) {
        prompts::Msg_box(QStringLiteral("必要最小限の情報が不足しています。"), title, prompts::vbExclamation);
        return;
    }
    // Refused before any question: the name must be one that server.lst and
    // the store can keep apart from everything else.
    const QString name = without_leading_blanks(Text1->text());
    const QString refused = entry_checks::problem(name, Text2->text(), Text3->text());
    if (!refused.isEmpty()) {
        prompts::Msg_box(refused, title, prompts::vbExclamation);
        return;
    }
    if (Text4->text().trimmed().isEmpty() &&
        prompts::Msg_box(QStringLiteral("パスワードが設定されていません。このまま登録しますか？"), title,
                         prompts::vbNoIcon, prompts::vbYesNo) != prompts::vbYes)
        return;
    const int port = without_leading_blanks(Text7->text()).toInt();
    if (port < 1 || port > 65535) {
        prompts::Msg_box(QStringLiteral("ポート番号は 1 から 65535 の数字で指定してください。"), title, prompts::vbExclamation);
        Text7->setFocus();
        return;
    }
    const QString local = without_leading_blanks(Text5->text());
    if (!local.trimmed().isEmpty() && (local.size() < 2 || local.at(1) != u':')) {
        prompts::Msg_box(QStringLiteral("ローカルパスの設定が正しくありません（例 C:\\FTP)"), title,
                         prompts::vbExclamation);
        return;
    }
    errors::trap(QStringLiteral("エラー"), [&] {
        const bool editing = manager_->Edit == 1;
        const QString old = manager_->L_server;
        const bool renamed = editing && old != name;
        // A record under a name new to it starts empty, so it never inherits
        // the password or trusted certificate of whatever had the name
        // before; a renamed one takes its own keys along.
        if (!editing || renamed)
            settings::delete_section(name);
        if (renamed)
            server_list::copy_record(old, name);
        const QStringList keys = {"s_adress", "s_user", "s_local_path", "Server_name_path",
                                  "ポートNo", "リトライ回数", "リトライ間隔", "Anony_Name", "Anony_Mail", "PASV", "TLS", "CODEPAGE"};
        const QStringList values = {without_leading_blanks(Text2->text()), without_leading_blanks(Text3->text()),
                                    local,
                                    without_leading_blanks(Text6->text()), without_leading_blanks(Text7->text()),
                                    Text8->text(), Text9->text(),
                                    Check1->isChecked() ? QStringLiteral("1") : QStringLiteral("0"),
                                    Check2->isChecked() ? QStringLiteral("1") : QStringLiteral("0"),
                                    Check3->isChecked() ? QStringLiteral("1") : QStringLiteral("0"),
                                    choices::value_of(Combo1), choices::value_of(Combo2)};
        for (int i = 0; i < keys.size(); ++i)
            settings::save(name, keys.at(i), values.at(i));
        // The password may go to the keyring, which answers later: the
        // dialog waits with its save button off, the window stays free.
        Command1->setEnabled(false);
        passwords::save(name, without_leading_blanks(Text4->text()), this,
                        [this, name, old, editing, renamed, title](const QString& failure) {
            Command1->setEnabled(true);
            errors::trap(QStringLiteral("エラー"), [&] {
                // Listed only once the record is on disk: the dialog stays
                // open with what was typed so the user can save again when
                // the cause is gone.
                if (!failure.isEmpty()) {
                    prompts::Msg_box(QStringLiteral("ｻｰﾊﾞｰ「") + name + QStringLiteral("」の設定を保存できませんでした。\n") + failure,
                                     title, prompts::vbExclamation);
                    return;
                }
                if (renamed) {
                    // The new record holds everything now; the old one goes.
                    settings::delete_section(old);
                    passwords::forget(old);
                    settings::commit();
                }
                if (editing) {
                    manager_->showList(server_list::rename(old, name));
                } else {
                    server_list::append(name);
                    manager_->Server_load();
                }
                // The entry just saved is the one to connect to.
                manager_->selectEntry(name);
                manager_->Edit = 0;
                hide();
            });
        });
    });
}
