#include "transfer/local_names.h"

bool is_plain_local_name(const QString& name)
{
    if (name.isEmpty() || name == QStringLiteral(".") || name == QStringLiteral(".."))
        return false;
    // '/' would reach into another folder, '\' cannot be shown as a drive
    // path, NUL ends a name early; a name must also fit the file system.
    for (const QChar c : name)
        if (c == u'/' || c == u'\\' || c == QChar(0) || c == QChar(0xFFFD))
            return false;
    return name.toUtf8().size() <= 255;
}
