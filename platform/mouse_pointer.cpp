#include "platform/mouse_pointer.h"

#include <QApplication>

namespace mouse_pointer {

namespace {
int current = Default;
}

void set(int code)
{
    // One override at most, so a busy pointer set twice needs one reset only.
    if (code == Hourglass && current != Hourglass)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else if (code != Hourglass && current == Hourglass)
        QApplication::restoreOverrideCursor();
    current = code == Hourglass ? Hourglass : Default;
}

int get() { return current; }

} // namespace mouse_pointer
