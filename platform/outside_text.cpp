#include "platform/outside_text.h"

#include <QLabel>
#include <QWidget>

namespace outside_text {

void make_plain(QLabel* label)
{
    label->setTextFormat(Qt::PlainText);
    // Plain text never holds links; nothing in it may open anything.
    label->setOpenExternalLinks(false);
}

void set(QLabel* label, const QString& text)
{
    make_plain(label);
    label->setText(text);
}

QString title_text(const QString& title)
{
    // "[*][*]" is how a title shows one literal "[*]".
    QString escaped = title;
    return escaped.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
}

void set_title(QWidget* window, const QString& title) { window->setWindowTitle(title_text(title)); }

} // namespace outside_text
