// Placing the controls of the main window for its current size.
#include <QComboBox>
#include <QLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QStatusBar>
#include <QToolBar>

#include "app/form1.h"
#include "app/layout.h"
#include "app/log_pane.h"
#include "platform/click_label.h"
#include "platform/list_view.h"
#include "platform/screen_units.h"

using screen_units::to_px;
using screen_units::to_twips;

namespace {
void place(QWidget* w, const Box& b)
{
    w->setGeometry(to_px(b.left), to_px(b.top), to_px(b.width), to_px(b.height));
}
} // namespace

double form1::outerWidthTwips() const { return to_twips(frameGeometry().width()); }
double form1::outerHeightTwips() const { return to_twips(frameGeometry().height()); }

void form1::setOuterSizeTwips(double width, double height)
{
    // The frame the desktop adds is known once the native window exists
    // (on some desktops only once it is shown; until then the outer size is
    // taken as the window's own size).
    winId();
    const int extraW = frameGeometry().width() - geometry().width();
    const int extraH = frameGeometry().height() - geometry().height();
    resize(std::max(minimumWidth(), to_px(width) - extraW),
           std::max(minimumHeight(), to_px(height) - extraH));
    // A hidden window lays out its client area only when shown; the layout
    // of the controls needs it now.
    layout()->activate();
}

void form1::Layout_controls()
{
    // The toolbar and the status line sit along the client area's edges, as
    // the platform would place them.
    const int clientW = client_->width();
    const int clientH = client_->height();
    const int toolbarH = Toolbar1->sizeHint().height();
    const int statusH = StatusBar1->sizeHint().height();
    Toolbar1->setGeometry(0, 0, clientW, toolbarH);
    StatusBar1->setGeometry(0, std::max(0, clientH - statusH), clientW, statusH);

    LayoutInput in;
    in.W = outerWidthTwips();
    in.Ht = outerHeightTwips();
    in.toolbarHeight = to_twips(toolbarH);
    in.drive1Height = to_twips(Drive1->sizeHint().height());
    in.combo1Height = to_twips(Combo1->sizeHint().height());
    in.statusTop = to_twips(StatusBar1->y());
    in.statusHeight = to_twips(statusH);
    const Layout l = compute_layout(in);

    place(Label4, l.Label4);
    place(Drive1, l.Drive1);
    place(Command2, l.Command2);
    place(ListView2, l.ListView2);
    place(Label1, l.Label1);
    place(Combo1, l.Combo1);
    place(CDUP, l.CDUP);
    place(ListView1, l.ListView1);
    place(Text1, l.Text1);
    StatusPanel1->setMinimumWidth(0);
    StatusPanel1->setFixedWidth(std::min(to_px(l.statusPanelWidth), clientW));
    place(ProgressBar1, l.ProgressBar1);
    ProgressBar1->setVisible(false);
    ProgressBar1->raise();
}

void form1::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    Layout_controls();
}
