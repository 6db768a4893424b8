// Placing the controls of the main window for its current size.
#include <QComboBox>
#include <QLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QStatusBar>
#include <QTimer>
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

namespace {
// Until the desktop's window manager has put its frame around the window, Qt
// reports no frame, so an outer size applied before the window is shown comes
// out larger by the frame. This watcher applies the outer size again, and lays
// the controls out for it, once the frame is known; then it goes. A desktop
// that adds no frame never changes the margins, and the watcher gives up.
class FrameWatcher : public QObject {
public:
    static constexpr const char* Name = "frameWatcher";
    FrameWatcher(form1* window, double width, double height, QSize assumedFrame)
        : QObject(window), window_(window), width_(width), height_(height), assumed_(assumedFrame)
    {
        setObjectName(Name);
        window->installEventFilter(this);
        // The frame comes with the first mapping of the window; polling covers
        // window managers whose frame extents arrive without a move or resize.
        poll_.setInterval(50);
        QObject::connect(&poll_, &QTimer::timeout, this, &FrameWatcher::check);
        poll_.start();
        QTimer::singleShot(GiveUpMs, this, [this] { deleteLater(); });
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::Show:
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::WindowActivate:
            QTimer::singleShot(0, this, &FrameWatcher::check);
            break;
        default:
            break;
        }
        return false;
    }

private:
    static constexpr int GiveUpMs = 10000;

    void check()
    {
        if (done_ || !window_->isVisible())
            return;
        const QSize frame = window_->frameGeometry().size() - window_->geometry().size();
        if (frame == assumed_)
            return;
        done_ = true;
        poll_.stop();
        window_->removeEventFilter(this);
        window_->resize(std::max(window_->minimumWidth(), to_px(width_) - frame.width()),
                        std::max(window_->minimumHeight(), to_px(height_) - frame.height()));
        // The client size may not change (or not at once); the outer size the
        // layout reads has changed either way.
        window_->Layout_controls();
        deleteLater();
    }

    form1* window_;
    double width_, height_;
    QSize assumed_;
    QTimer poll_;
    bool done_ = false;
};
} // namespace

void form1::setOuterSizeTwips(double width, double height)
{
    // The frame the desktop adds is known once the native window exists
    // (on most desktops only once it is shown and framed; until then the
    // outer size is taken as the window's own size and put right later).
    winId();
    const int extraW = frameGeometry().width() - geometry().width();
    const int extraH = frameGeometry().height() - geometry().height();
    resize(std::max(minimumWidth(), to_px(width) - extraW),
           std::max(minimumHeight(), to_px(height) - extraH));
    // A later size replaces an earlier one still waiting for the frame.
    for (QObject* old : findChildren<QObject*>(QLatin1String(FrameWatcher::Name), Qt::FindDirectChildrenOnly))
        delete old;
    new FrameWatcher(this, width, height, QSize(extraW, extraH));
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
    // Pending changes of the toolbar and the status line (fonts and styles
    // applied when shown) settle their heights before they are read.
    for (QWidget* bar : {static_cast<QWidget*>(Toolbar1), static_cast<QWidget*>(StatusBar1)}) {
        bar->ensurePolished();
        if (bar->layout())
            bar->layout()->activate();
    }
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
