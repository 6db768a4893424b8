// The menu items of the file operations. Each group of items runs one
// command; the active list decides what it acts on.
#include <QAction>

#include "app/form1.h"

void form1::wireFileOperations()
{
    // Unique: wiring twice must not run a command twice.
    const auto wire = [this](std::initializer_list<QAction*> items, void (form1::*command)()) {
        for (QAction* a : items)
            QObject::connect(a, &QAction::triggered, this, command, Qt::UniqueConnection);
    };
    wire({Mrmdir, Mdel, Mdel2}, &form1::Mrmdir_Click);
    wire({MMkdir, MMkdir2, MMkdir3}, &form1::MMkdir_Click);
    wire({Mrename, Mrname, Mrname2}, &form1::Mrename_Click);
    wire({Mtext, Mtextview, Mopen}, &form1::Mtext_Click);
}
