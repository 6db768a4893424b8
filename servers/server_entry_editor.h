// The server entry editor: one server record, checked and saved into the
// settings store and server.lst.
#pragma once
#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class Form4;
class Form10;

class Form5 : public QDialog {
    Q_OBJECT
public:
    explicit Form5(Form4* manager, QWidget* parent = nullptr);

    QLineEdit *Text1 = nullptr, *Text2 = nullptr, *Text3 = nullptr, *Text4 = nullptr, *Text5 = nullptr,
              *Text6 = nullptr, *Text7 = nullptr, *Text8 = nullptr, *Text9 = nullptr;
    QCheckBox *Check1 = nullptr, *Check2 = nullptr;
    QCheckBox* Check3 = nullptr;   // passive data connections ("PASV")
    QComboBox* Combo1 = nullptr;   // encryption ("TLS")
    QComboBox* Combo2 = nullptr;   // code page ("CODEPAGE")
    QPushButton *Command1 = nullptr, *Command2 = nullptr, *Command3 = nullptr;

    // Sets both boxes without running their click handlers (the manager
    // fills the user and password boxes itself).
    void setChecksQuietly(bool anonymous, bool mail);
    void Check1_Click();
    void Check2_Click();
    void Command1_Click();   // save
    void Command3_Click();   // pick the local folder
    Form10* picker();        // the folder picker, created on first use

protected:
    void showEvent(QShowEvent* event) override;   // each opening starts at the first box

private:
    Form4* manager_;
    Form10* picker_ = nullptr;
};
