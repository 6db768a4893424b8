#include "app/splash_window.h"

#include <QLabel>
#include <QVBoxLayout>

#include "platform/screen_units.h"

form11::form11(QWidget* parent) : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    setAttribute(Qt::WA_DeleteOnClose);
    Label1 = new QLabel(QStringLiteral("Ｐａｌｕ＿ＦＴＰ"), this);
    Label2 = new QLabel(QStringLiteral("Ｖｅｒ2.5"), this);
    Label1->setFont(gothic_font(24));
    Label2->setFont(gothic_font(12));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(40, 30, 40, 30);
    layout->addWidget(Label1, 0, Qt::AlignCenter);
    layout->addWidget(Label2, 0, Qt::AlignCenter);
    setFocusPolicy(Qt::StrongFocus);
}

void form11::keyPressEvent(QKeyEvent*)
{
    close();
}
