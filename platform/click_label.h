// A caption that reports clicks and carries a background colour.
#pragma once
#include <QLabel>

class ClickLabel : public QLabel {
    Q_OBJECT
public:
    explicit ClickLabel(QWidget* parent = nullptr);
    void setBackColor(const QColor& color);
    QColor backColor() const;

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
};
