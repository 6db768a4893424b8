#include "platform/dialog_buttons.h"

#include <QHBoxLayout>
#include <QPushButton>

QHBoxLayout* confirm_cancel_row(QWidget* dialog, const QString& confirmCaption, QPushButton*& confirm,
                                QPushButton*& cancel)
{
    confirm = new QPushButton(confirmCaption, dialog);
    cancel = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ(&C)"), dialog);
    confirm->setDefault(true);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(confirm);
    row->addWidget(cancel);
    return row;
}
