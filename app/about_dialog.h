// The version window of the help menu.
#pragma once
#include <QDialog>

class QLabel;
class QPushButton;

class Form7 : public QDialog {
    Q_OBJECT
public:
    explicit Form7(QWidget* parent = nullptr);

    QLabel *Label1 = nullptr, *Label2 = nullptr, *Label3 = nullptr, *Label4 = nullptr;
    QPushButton* Command1 = nullptr;   // OK: hides the window, which is kept

    void Command1_Click();
};
