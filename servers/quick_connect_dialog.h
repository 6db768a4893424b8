// Quick connect: a server that is not registered, reached by typing its
// host, user and password. The three texts are remembered for the next run.
#pragma once
#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;
class form1;

class Form3 : public QDialog {
    Q_OBJECT
public:
    // Fills the boxes from the store; that is the only time it is read.
    explicit Form3(form1* main, QWidget* parent = nullptr);

    QLineEdit *Text1 = nullptr, *Text2 = nullptr, *Text3 = nullptr;   // host, user, password
    QCheckBox *Check1 = nullptr, *Check2 = nullptr;                    // anonymous, mail address
    QPushButton *Command1 = nullptr, *Command2 = nullptr;              // connect, cancel

    void Check1_Click();
    void Check2_Click();
    void Command1_Click();   // remember the texts and connect

private:
    form1* main_;
};
