// The same-name question asked before a download or upload overwrites a file.
#pragma once
#include <QDialog>

class Form13 : public QDialog {
    Q_OBJECT
public:
    // "すべて上書き" was chosen: the rest of the batch overwrites without asking.
    static inline bool Over_write = false;
};
