// The start-up window that shows the product name while the main window loads.
#pragma once
#include <QWidget>

class QLabel;

class form11 : public QWidget {
    Q_OBJECT
public:
    explicit form11(QWidget* parent = nullptr);
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;

protected:
    void keyPressEvent(QKeyEvent* event) override;
};
