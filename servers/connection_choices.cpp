#include "servers/connection_choices.h"

#include <QComboBox>

#include "servers/settings_keys.h"

namespace choices {

const QList<Choice>& encryption()
{
    static const QList<Choice> items{{QStringLiteral("なし"), keys::TlsNone},
                                     {QStringLiteral("TLSが使えれば使う"), keys::TlsIfOffered},
                                     {QStringLiteral("TLSを必ず使う"), keys::TlsRequired}};
    return items;
}

const QList<Choice>& codepages()
{
    static const QList<Choice> items{{QStringLiteral("自動"), keys::CodepageAuto},
                                     {QStringLiteral("UTF-8"), QStringLiteral("UTF-8")},
                                     {QStringLiteral("Shift_JIS"), QStringLiteral("CP932")},
                                     {QStringLiteral("EUC-JP"), QStringLiteral("EUC-JP")}};
    return items;
}

QComboBox* make_box(const QList<Choice>& items, QWidget* parent)
{
    auto* box = new QComboBox(parent);
    for (const Choice& c : items)
        box->addItem(c.label, c.value);
    return box;
}

void show_value(QComboBox* box, const QString& value)
{
    box->setCurrentIndex(std::max(0, box->findData(value)));
}

QString value_of(const QComboBox* box)
{
    return box->currentData().toString();
}

} // namespace choices
