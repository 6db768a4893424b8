#include "platform/prompts.h"

#include <QApplication>
#include <QDialog>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include "platform/outside_text.h"

namespace prompts {

namespace {
std::function<Reply(const Prompt&)>& script()
{
    static std::function<Reply(const Prompt&)> s;
    return s;
}

// Texts quote replies, paths and names: a box shows them as they are, never
// as markup (the format is set before the text ever reaches the box).
void show_plain(QMessageBox& box, const QString& text, const QString& title)
{
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    outside_text::set_title(&box, title);
}

QMessageBox::Icon to_qt_icon(int icon)
{
    switch (icon) {
    case vbCritical: return QMessageBox::Critical;
    case vbQuestion: return QMessageBox::Question;
    case vbExclamation: return QMessageBox::Warning;
    case vbInformation: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
    }
}
} // namespace

int Msg_box(const QString& text, const QString& title, int icon, int buttons)
{
    if (script())
        return script()({Prompt::Message, text, title, icon, buttons, {}, {}}).answer;

    QMessageBox box(to_qt_icon(icon), QString(), QString(), QMessageBox::NoButton, QApplication::activeWindow());
    show_plain(box, text, title);
    switch (buttons) {
    case vbOKCancel:
        box.addButton(QMessageBox::Ok)->setText(QStringLiteral("OK"));
        box.addButton(QMessageBox::Cancel)->setText(QStringLiteral("キャンセル"));
        break;
    case vbYesNoCancel:
        box.addButton(QMessageBox::Yes)->setText(QStringLiteral("はい(&Y)"));
        box.addButton(QMessageBox::No)->setText(QStringLiteral("いいえ(&N)"));
        box.addButton(QMessageBox::Cancel)->setText(QStringLiteral("キャンセル"));
        break;
    case vbYesNo:
        box.addButton(QMessageBox::Yes)->setText(QStringLiteral("はい(&Y)"));
        box.addButton(QMessageBox::No)->setText(QStringLiteral("いいえ(&N)"));
        break;
    default:
        box.addButton(QMessageBox::Ok)->setText(QStringLiteral("OK"));
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Ok: return vbOK;
    case QMessageBox::Yes: return vbYes;
    case QMessageBox::No: return vbNo;
    default:
        // Closing the box with the window button counts as its cancel choice.
        return buttons == vbYesNo ? vbNo : (buttons == vbOKOnly ? vbOK : vbCancel);
    }
}

int Choose(const QString& text, const QString& title, int icon, const QStringList& choices, int defaultChoice)
{
    if (script())
        return script()({Prompt::Choice, text, title, icon, vbOKOnly, {}, choices, defaultChoice}).answer;
    QMessageBox box(to_qt_icon(icon), QString(), QString(), QMessageBox::NoButton, QApplication::activeWindow());
    show_plain(box, text, title);
    QList<QAbstractButton*> buttons;
    for (const QString& c : choices)
        buttons.append(box.addButton(c, QMessageBox::AcceptRole));
    if (defaultChoice >= 0 && defaultChoice < buttons.size())
        box.setDefaultButton(qobject_cast<QPushButton*>(buttons[defaultChoice]));
    // Esc and the close box take the last choice's way out: none is pressed.
    box.setEscapeButton(static_cast<QAbstractButton*>(nullptr));
    box.exec();
    return int(buttons.indexOf(box.clickedButton()));
}

QString Input_box(const QString& prompt, const QString& title, const QString& defaultText)
{
    if (script())
        return script()({Prompt::Input, prompt, title, vbNoIcon, vbOKCancel, defaultText, {}}).text;
    QInputDialog box(QApplication::activeWindow());
    box.setInputMode(QInputDialog::TextInput);
    box.setWindowTitle(outside_text::title_text(title));
    // The prompt may quote a name: the label the dialog makes is made plain
    // before it holds the prompt.
    box.setLabelText(QString());
    for (QLabel* label : box.findChildren<QLabel*>())
        outside_text::make_plain(label);
    box.setLabelText(prompt);
    box.setTextValue(defaultText);
    return box.exec() == QDialog::Accepted ? box.textValue() : QString();
}

void show_modal(QDialog* dialog)
{
    if (script()) {
        dialog->setModal(false);
        dialog->show();
        return;
    }
    dialog->exec();
}

void set_script(std::function<Reply(const Prompt&)> s) { script() = std::move(s); }
bool scripted() { return bool(script()); }

} // namespace prompts
