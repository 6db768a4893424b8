// Reading and selecting the rows of a list by their names.
#pragma once
#include <gtest/gtest.h>

#include <QByteArray>
#include <QStringList>

#include <ctime>

#include "platform/list_view.h"

inline QStringList list_names(const ListView* l)
{
    QStringList out;
    for (int i = 0; i < l->count(); ++i)
        out << l->text(i);
    return out;
}

// Selects the named rows (and only those); the last one becomes current.
inline void select_by_name(ListView* l, const QStringList& wanted)
{
    l->clearSelection();
    for (const QString& name : wanted) {
        const int row = int(list_names(l).indexOf(name));
        ASSERT_GE(row, 0) << name.toStdString();
        l->setCurrentRow(row, false);
        l->setSelected(row, true);
    }
}

// MLSD and EPLF times are UTC and shown in local time: tests read them in a
// zone nine hours ahead, whatever the machine's.
class InTokyoTime {
public:
    InTokyoTime() : old_(qgetenv("TZ")), wasSet_(qEnvironmentVariableIsSet("TZ")) { set("JST-9"); }
    ~InTokyoTime()
    {
        if (wasSet_)
            set(old_);
        else
            qunsetenv("TZ");
        tzset();
    }

private:
    static void set(const QByteArray& tz)
    {
        qputenv("TZ", tz);
        tzset();
    }
    QByteArray old_;
    bool wasSet_;
};
