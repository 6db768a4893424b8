#include "app/drive_kind.h"

#include "platform/drive_view.h"

QString drive_kind_text(int type)
{
    switch (type) {
    case 0: return QStringLiteral("不明です。");
    case 1: return QStringLiteral("ありません。");
    case 2: return QStringLiteral("フロッピーディスクです。");
    case 3: return QStringLiteral("ハードディスクです。");
    case 4: return QStringLiteral("ネットワークドライブです。");
    case 5: return QStringLiteral("CD-ROM");
    case 6: return QStringLiteral("RAM ディスクです。");
    default: return QString();
    }
}

QString Drive_kind(const QString& letter)
{
    if (letter.isEmpty())
        return drive_kind_text(drives::kNoRoot);
    return drive_kind_text(drives::drive_type(letter[0]));
}
