// Options: the mail address sent as the anonymous password, the data mode
// encryption and code page of quick connections, and the firewall proxy of
// the user@host kind.
#pragma once
#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

class Form8 : public QDialog {
    Q_OBJECT
public:
    // Fills the fields from the store; that is the only time it is read.
    explicit Form8(QWidget* parent = nullptr);

    QLineEdit* Text1 = nullptr;     // mail address
    QCheckBox* Check2 = nullptr;    // quick connections use passive data connections
    QComboBox* Combo1 = nullptr;    // encryption of quick connections
    QComboBox* Combo2 = nullptr;    // code page of quick connections
    QCheckBox* Check1 = nullptr;    // use the firewall proxy
    QLineEdit* Text3 = nullptr;     // proxy host
    QLineEdit* Text5 = nullptr;     // proxy port
    QPushButton *Command1 = nullptr, *Command2 = nullptr;   // save, cancel

    void Command1_Click();   // save and close
};
