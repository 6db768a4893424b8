// Text from outside the program — a server's greeting, replies and paths,
// file names, values from the settings store — is shown exactly as it is.
// Qt takes a label's text that looks like markup for rich text: a server
// path "<img src=/dev/zero>" would make the label read that file without
// end, and "&#47;" would show as "/". Every widget that shows such text gets
// it through here.
#pragma once
#include <QString>

class QLabel;
class QWidget;

namespace outside_text {

// Makes a label plain text for good, so a later setText cannot turn markup on.
void make_plain(QLabel* label);
// Sets the text of a label as plain text.
void set(QLabel* label, const QString& text);
// A window title shown as given: "[*]" would otherwise be taken for the
// "modified" mark and vanish.
void set_title(QWidget* window, const QString& title);
QString title_text(const QString& title);

} // namespace outside_text
