#include "servers/server_list_dialog.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/form1.h"
#include "platform/errors.h"
#include "platform/list_view.h"
#include "platform/prompts.h"
#include "platform/settings_store.h"
#include "servers/connection_choices.h"
#include "servers/password_store.h"
#include "servers/server_entry_editor.h"
#include "servers/server_list_file.h"
#include "servers/settings_keys.h"

Form4::Form4(form1* main, QWidget* parent) : QDialog(parent), main_(main)
{
    setWindowTitle(QStringLiteral("Palu_FTP ｻｰﾊﾞｰ接続"));
    ListView1 = new ListView(this);
    ListView1->addColumn(QStringLiteral("ｻｰﾊﾞｰ名"), 260);
    ListView1->setView(ListView::ListMode);
    Command1 = new QPushButton(QStringLiteral("接続(&N)"), this);
    Command3 = new QPushButton(QStringLiteral("新規登録(&W)"), this);
    Command4 = new QPushButton(QStringLiteral("編集(&E)"), this);
    Item_del = new QPushButton(QStringLiteral("削除(&D)"), this);
    Command2 = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ(&C)"), this);
    Command1->setDefault(true);

    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {Command1, Command3, Command4, Item_del, Command2})
        buttons->addWidget(b);
    buttons->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(ListView1, 1);
    layout->addLayout(buttons);
    resize(480, 300);

    connect(Command1, &QPushButton::clicked, this, &Form4::Command1_Click);
    connect(ListView1, &ListView::doubleClicked, this, &Form4::Command1_Click);
    connect(Command3, &QPushButton::clicked, this, &Form4::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &Form4::Command4_Click);
    connect(Item_del, &QPushButton::clicked, this, &Form4::Item_del_Click);
    connect(Command2, &QPushButton::clicked, this, &QDialog::hide);
}

void Form4::showList(const QStringList& names)
{
    ListView1->clear();
    for (const QString& name : names)
        ListView1->addItem(name, 1);
}

void Form4::Server_load() { showList(server_list::read()); }

void Form4::selectEntry(const QString& name)
{
    for (int row = 0; row < ListView1->count(); ++row) {
        if (ListView1->text(row) == name) {
            ListView1->setCurrentRow(row, true);
            return;
        }
    }
}

QString Form4::selectedName() const
{
    const int row = ListView1->selectedItem();
    return row >= 0 ? ListView1->text(row) : QString();
}

bool Form4::checkSelection()
{
    if (!ListView1->selectedRows().isEmpty())
        return true;
    prompts::Msg_box(QStringLiteral("ｻｰﾊﾞｰが選択されていません。ｻｰﾊﾞｰを選択してください。"),
                     QStringLiteral("ｻｰﾊﾞｰ選択エラー"), prompts::vbExclamation, prompts::vbOKOnly);
    return false;
}

void Form4::Command1_Click()
{
    if (!checkSelection())
        return;
    // The state is reset only once the user has agreed to drop a running
    // connection, after the entry has been checked.
    接続サーバー = selectedName();
    main_->Connect_server(true);
    hide();
}

Form5* Form4::editor()
{
    if (!editor_)
        editor_ = new Form5(this, this);
    return editor_;
}

void Form4::Command3_Click()
{
    ++editRequest_;   // an entry's editor still waiting for its password does not open
    Edit = 0;
    Form5* e = editor();
    for (QLineEdit* t : {e->Text1, e->Text2, e->Text3, e->Text4, e->Text5, e->Text6})
        t->clear();
    e->Text7->setText(QStringLiteral("21"));
    e->Text8->setText(QStringLiteral("1"));
    e->Text9->setText(QStringLiteral("10"));
    e->setChecksQuietly(false, false);
    e->Check3->setChecked(false);
    choices::show_value(e->Combo1, keys::TlsIfOffered);
    choices::show_value(e->Combo2, keys::CodepageAuto);
    e->Text3->setEnabled(true);
    e->Text4->setEnabled(true);
    prompts::show_modal(e);
}

void Form4::Command4_Click()
{
    if (!checkSelection())
        return;
    Edit = 1;
    L_server = selectedName();
    Form5* e = editor();
    const auto get = [this](const char* key, const QString& def = QString()) {
        return settings::get(L_server, QString::fromUtf8(key), def);
    };
    e->Text1->setText(L_server);
    e->Text2->setText(get("s_adress"));
    e->Text3->setText(get("s_user"));
    e->Text4->clear();
    e->Text5->setText(get("s_local_path", QStringLiteral("c:\\")));
    e->Text6->setText(get("Server_name_path"));
    // A flag that is not a number reads as not ticked.
    const bool anonymous = get("Anony_Name", QStringLiteral("0")).trimmed().toInt() != 0;
    const bool mail = get("Anony_Mail", QStringLiteral("0")).trimmed().toInt() != 0;
    e->setChecksQuietly(anonymous, mail);
    // Ticked exactly when connection set-up opens passive data connections.
    e->Check3->setChecked(get("PASV", QStringLiteral("0")) == QStringLiteral("1"));
    choices::show_value(e->Combo1, get("TLS", keys::TlsNone));
    choices::show_value(e->Combo2, get("CODEPAGE", keys::CodepageAuto));
    e->Text7->setText(get("ポートNo", QStringLiteral("21")));
    e->Text8->setText(get("リトライ回数", QStringLiteral("1")));
    e->Text9->setText(get("リトライ間隔", QStringLiteral("10")));
    e->Text3->setEnabled(!anonymous);
    e->Text4->setEnabled(!mail);
    // The password may come from the keyring later: the editor opens then,
    // for the latest entry asked for. One that cannot be read (the user has
    // been told) leaves the box empty, and saving asks about that.
    const quint64 request = ++editRequest_;
    passwords::read(L_server, this, [this, e, request](const std::optional<QString>& password) {
        if (request != editRequest_)
            return;
        e->Text4->setText(password.value_or(QString()));
        prompts::show_modal(e);
    });
}

void Form4::Item_del_Click()
{
    errors::trap(QStringLiteral("エラー"), [this] {
        if (!checkSelection())
            return;
        const QString name = selectedName();
        const int answer = prompts::Msg_box(QStringLiteral("'") + name + QStringLiteral("' の登録を削除します。よろしいですか？"),
                                            QStringLiteral("削除確認"), prompts::vbExclamation, prompts::vbOKCancel);
        if (answer != prompts::vbOK)
            return;
        showList(server_list::remove(name));
        Edit = 0;
    });
}
