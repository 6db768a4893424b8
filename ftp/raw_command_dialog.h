// The window that sends a command line the menus do not offer.
#pragma once
#include <QDialog>

class QLineEdit;
class QPushButton;
class form1;

class Form2 : public QDialog {
    Q_OBJECT
public:
    explicit Form2(form1* main, QWidget* parent = nullptr);

    QLineEdit* Text1 = nullptr;        // the command line, kept for the next use
    QPushButton* Command1 = nullptr;   // 送信
    QPushButton* Command2 = nullptr;   // ｷｬﾝｾﾙ

    void Command1_Click();
    void Command2_Click();

private:
    form1* main_;
};
