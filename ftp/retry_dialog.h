// The reconnection countdown shown after the server refused service ("421"):
// it counts the retry interval down once a second and then connects again.
#pragma once
#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;
class QTimer;
class form1;

// "　　　　あと10秒   再試行回数2回"
QString countdown_text(int seconds, int attemptsLeft);

class Form12 : public QDialog {
    Q_OBJECT
public:
    explicit Form12(form1* main, QWidget* parent = nullptr);

    QLabel *Label1 = nullptr, *Label2 = nullptr, *Label3 = nullptr;
    QPushButton* Command1 = nullptr;   // ｷｬﾝｾﾙ
    QTimer* Timer1 = nullptr;

    // Milliseconds between ticks. Tests set it far out and call
    // Timer1_Timer() themselves instead of waiting real seconds.
    static inline int TickMs = 1000;

    // The server entry to connect to again; the disconnect that follows a
    // "421" clears the chosen entry of the server list.
    QString server;

    void Form_Load();        // shows the window and starts the countdown
    void Timer1_Timer();     // one second has passed
    void Command1_Click();   // cancel: no reconnection
    void Form_Unload();      // stops the countdown and hides the window
    void reject() override;  // Esc or the window's close box cancel as well

private:
    form1* main_;
};
