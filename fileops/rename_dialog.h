// The new-name window of the rename command.
#pragma once
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class form1;

class Form6 : public QDialog {
    Q_OBJECT
public:
    explicit Form6(form1* main, QWidget* parent = nullptr);

    QLabel* Label1 = nullptr;
    QLineEdit* Text1 = nullptr;          // the new name, prefilled with the old one
    QPushButton* Command1 = nullptr;     // OK
    QPushButton* Command2 = nullptr;     // cancel

    // Opened for the server's "350": OK answers with RNTO whichever list is
    // active by then. Otherwise OK renames oldName in the local folder.
    bool remote = false;
    QString oldName;
    // The name the last RNFR sent named, for the "350" that answers it; the
    // active list may show another side by then.
    QString remoteName;

    void Command1_Click();
    void Command2_Click();
    void reject() override;              // Esc and the close button cancel

private:
    // False (after saying why) for a name no file can have.
    bool acceptable(const QString& name);
    void renameLocal(const QString& name);
    form1* main_;
};
