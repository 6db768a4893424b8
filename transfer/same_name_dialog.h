// The same-name question asked before a download or upload overwrites a
// file. Modeless: the main window stays usable while it is open.
#pragma once
#include <QDialog>

class QLabel;
class QPushButton;
class form1;

class Form13 : public QDialog {
    Q_OBJECT
public:
    explicit Form13(form1* main, QWidget* parent = nullptr);

    // "すべて上書き" was chosen: the rest of the batch overwrites without asking.
    static inline bool Over_write = false;

    QLabel *Label1 = nullptr, *Label2 = nullptr;
    QPushButton *Command1 = nullptr, *Command2 = nullptr, *Command3 = nullptr, *Command4 = nullptr,
                *Command5 = nullptr;

    // Shows the question for this file; resumable: an upload whose file the
    // server holds less of, which can go on after what is there.
    void ask(const QString& fileName, bool resumable = false);
    void Command1_Click();   // 上書き
    void Command2_Click();   // すべて上書き
    void Command3_Click();   // ｷｬﾝｾﾙ
    void Command4_Click();   // スキップ
    void Command5_Click();   // 続きから

    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    form1* main_;
};
