#include "app/layout.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double LabelHeight = 250;
constexpr double UpButtonWidth = 400;
constexpr double LogBottomMargin = 900;

double non_negative(double v) { return std::max(0.0, v); }
} // namespace

Layout compute_layout(const LayoutInput& in)
{
    Layout l;
    // Round half to even, as the classic integer conversion does; a window too
    // narrow for two panes gets panes of width 0, never negative ones.
    l.X = non_negative(std::nearbyint(in.W / 2 - 45));
    l.V = non_negative(in.Ht / 2);
    const double X = l.X;

    l.Label4.left = l.ListView2.left = l.Text1.left = l.Drive1.left = 0;
    l.Label4.width = l.ListView2.width = X;
    l.Combo1.left = X;
    l.ListView1.left = X;
    l.ListView1.width = X;
    l.Label1.left = X;
    l.Label1.width = X;
    l.Command2.width = std::min(UpButtonWidth, X);
    l.Drive1.width = non_negative(X - l.Command2.width);
    l.CDUP.width = std::min(UpButtonWidth, X);
    l.Combo1.width = non_negative(X - l.CDUP.width);
    l.CDUP.left = X + l.Combo1.width;
    l.Command2.left = l.Drive1.width;
    l.Text1.width = 2 * X;
    l.statusPanelWidth = non_negative(in.W);

    l.Label1.top = l.Label4.top = in.toolbarHeight;
    l.Label1.height = l.Label4.height = LabelHeight;
    l.Drive1.top = l.Label4.top + l.Label4.height;
    l.Drive1.height = in.drive1Height;
    l.Combo1.top = l.Label1.top + l.Label1.height;
    l.Combo1.height = in.combo1Height;
    l.ListView2.top = l.Drive1.top + in.drive1Height;
    l.ListView1.top = l.Combo1.top + in.combo1Height;
    l.CDUP.top = l.Combo1.top;
    l.CDUP.height = in.combo1Height;
    l.Command2.top = l.Drive1.top;
    l.Command2.height = in.drive1Height;
    l.ListView1.height = l.ListView2.height = l.V;
    l.Text1.top = l.ListView1.top + l.V;
    l.Text1.height = non_negative(in.Ht - l.Text1.top - LogBottomMargin);
    // The log never reaches under the status bar, whatever the window frame
    // of the desktop adds to the outer height.
    if (in.statusTop > 0)
        l.Text1.height = std::min(l.Text1.height, non_negative(in.statusTop - l.Text1.top));

    l.ProgressBar1.top = in.statusTop;
    l.ProgressBar1.left = in.W * 3.5 / 5;
    l.ProgressBar1.width = non_negative(in.W / 5 - 100);
    l.ProgressBar1.height = in.statusHeight;
    return l;
}
