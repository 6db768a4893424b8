#include "platform/click_label.h"

#include <QMouseEvent>

#include "platform/outside_text.h"

ClickLabel::ClickLabel(QWidget* parent) : QLabel(parent)
{
    // The captions show paths from the server and the disk.
    outside_text::make_plain(this);
    setAutoFillBackground(true);
    // Long paths must not widen the window: the caption is clipped instead.
    setMinimumWidth(0);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

void ClickLabel::setBackColor(const QColor& color)
{
    QPalette p = palette();
    p.setColor(QPalette::Window, color);
    setPalette(p);
}

QColor ClickLabel::backColor() const { return palette().color(QPalette::Window); }

void ClickLabel::mousePressEvent(QMouseEvent* event)
{
    QLabel::mousePressEvent(event);
    if (event->button() == Qt::LeftButton)
        emit clicked();
}
