#include "platform/image_list.h"

#include <QApplication>
#include <QStyle>

QIcon list_icon(int index)
{
    // Without a widget application there is no style to take icons from
    // (plain console tools use the list code too).
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return QIcon();
    // Made once: the lists ask for an icon every time a row is painted.
    // Never freed, so no pixmap outlives the application at exit.
    static const QIcon* const icons = new QIcon[3]{
        QApplication::style()->standardIcon(QStyle::SP_DirIcon),
        QApplication::style()->standardIcon(QStyle::SP_FileIcon),
        QApplication::style()->standardIcon(QStyle::SP_FileLinkIcon),
    };
    switch (index) {
    case 1: return icons[0];
    case 2: case 3: return icons[1];
    case 4: return icons[2];
    default: return QIcon();
    }
}
