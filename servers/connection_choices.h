// The encryption and code page choices of a server entry and of quick
// connections: what each combo box shows and the value it stores.
#pragma once
#include <QList>
#include <QString>

class QComboBox;
class QWidget;

namespace choices {

struct Choice {
    QString label;   // as the box shows it
    QString value;   // as the settings store keeps it
};

const QList<Choice>& encryption();   // なし / TLSが使えれば使う / TLSを必ず使う
const QList<Choice>& codepages();    // 自動 / UTF-8 / Shift_JIS / EUC-JP

QComboBox* make_box(const QList<Choice>& items, QWidget* parent);
// Shows the item of a stored value; a value the box does not offer shows
// the first item, which is also how the connection reads it.
void show_value(QComboBox* box, const QString& value);
QString value_of(const QComboBox* box);

} // namespace choices
