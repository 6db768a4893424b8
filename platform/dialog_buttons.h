// The right-aligned row of a dialog's confirm and "ｷｬﾝｾﾙ(&C)" buttons; the
// confirm button is the default one.
#pragma once
#include <QString>

class QHBoxLayout;
class QPushButton;
class QWidget;

QHBoxLayout* confirm_cancel_row(QWidget* dialog, const QString& confirmCaption, QPushButton*& confirm,
                                QPushButton*& cancel);
