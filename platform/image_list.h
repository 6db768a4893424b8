// Small icons of the file lists, addressed by the index the lists store with
// each entry: 1 folder, 2 file, 3 (spare, drawn as a file), 4 symbolic link.
#pragma once
#include <QtGui/QIcon>

// The icon for an entry's small-icon index; an empty icon for any other index.
// Needs a running QApplication (the icons come from its style).
QIcon list_icon(int index);
