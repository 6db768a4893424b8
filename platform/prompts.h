// Every message box, input box and modal window goes through here so tests
// can script the answers and record what the user would have seen.
#pragma once
#include <QString>
#include <QStringList>
#include <functional>

class QDialog;

namespace prompts {

enum Icon { vbNoIcon = 0, vbCritical = 16, vbQuestion = 32, vbExclamation = 48, vbInformation = 64 };
enum Buttons { vbOKOnly = 0, vbOKCancel = 1, vbYesNoCancel = 3, vbYesNo = 4 };
enum Answer { vbOK = 1, vbCancel = 2, vbYes = 6, vbNo = 7 };

struct Prompt {
    enum Kind { Message, Input, Choice } kind = Message;
    QString text;
    QString title;
    int icon = vbNoIcon;
    int buttons = vbOKOnly;
    QString defaultText;   // input boxes only
    QStringList choices;   // the buttons of a choice, in order
    int defaultChoice = -1; // the choice Enter presses; -1 = none
};

// What a script gives back: the pressed button for a message box (for a
// choice, its index; -1 = closed), the typed text (empty = cancelled) for an
// input box.
struct Reply {
    int answer = vbOK;
    QString text;
};

int Msg_box(const QString& text, const QString& title, int icon = vbNoIcon, int buttons = vbOKOnly);
// A question answered by one of the named buttons: the index of the one
// pressed, -1 when the box was closed without one (Esc, the close box).
// defaultChoice is the one Enter presses (-1: the box's own choice).
int Choose(const QString& text, const QString& title, int icon, const QStringList& choices, int defaultChoice = -1);
// Returns the typed text; empty when the user cancels.
QString Input_box(const QString& prompt, const QString& title, const QString& defaultText = QString());

// Shows a modal window: exec() in the program, a plain non-blocking show()
// while a script is installed, so tests can press its buttons.
void show_modal(QDialog* dialog);

// Installs a script (tests); an empty function restores the real boxes.
void set_script(std::function<Reply(const Prompt&)> script);
bool scripted();

} // namespace prompts
