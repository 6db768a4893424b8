// Where the main window's controls go for a given window size.
#include <gtest/gtest.h>

#include "app/layout.h"

namespace {
LayoutInput window(double w, double h)
{
    LayoutInput in;
    in.W = w;
    in.Ht = h;
    in.toolbarHeight = 600;
    in.drive1Height = 300;
    in.combo1Height = 315;
    in.statusTop = h - 1200;
    in.statusHeight = 300;
    return in;
}
} // namespace

TEST(Layout, DefaultWindowOf7000By5000)
{
    const Layout l = compute_layout(window(7000, 5000));
    EXPECT_EQ(l.X, 3455);
    EXPECT_EQ(l.ListView1.height, 2500);
    EXPECT_EQ(l.ListView2.height, 2500);
    EXPECT_EQ(l.Drive1.width, 3055);
    EXPECT_EQ(l.Combo1.width, 3055);
    EXPECT_EQ(l.CDUP.left, 6510);
    EXPECT_EQ(l.Command2.left, 3055);
    EXPECT_EQ(l.ProgressBar1.left, 4900);
    EXPECT_EQ(l.ProgressBar1.width, 1300);
    EXPECT_EQ(l.Text1.width, 6910);
    EXPECT_EQ(l.statusPanelWidth, 7000);
    // Each list starts below its own path row.
    EXPECT_EQ(l.Label1.top, 600);
    EXPECT_EQ(l.Drive1.top, 850);
    EXPECT_EQ(l.ListView2.top, 1150);
    EXPECT_EQ(l.ListView1.top, 1165);
    EXPECT_EQ(l.Text1.top, 1165 + 2500);
    EXPECT_EQ(l.ProgressBar1.top, 3800);
    EXPECT_EQ(l.ProgressBar1.height, 300);
}

TEST(Layout, HalfwayPaneWidthRoundsToEven)
{
    // W/2 - 45 = 3455.5 rounds to 3456, 3456.5 to 3456.
    EXPECT_EQ(compute_layout(window(7001, 5000)).X, 3456);
    EXPECT_EQ(compute_layout(window(7003, 5000)).X, 3456);
}

TEST(Layout, TinyWindowNeverGivesNegativeSizes)
{
    for (double w : {0.0, 60.0, 500.0, 889.0, 890.0}) {
        for (double h : {0.0, 300.0, 1000.0}) {
            const Layout l = compute_layout(window(w, h));
            for (const Box& b : {l.Label4, l.Drive1, l.Command2, l.ListView2, l.Label1, l.Combo1,
                                 l.CDUP, l.ListView1, l.Text1, l.ProgressBar1}) {
                EXPECT_GE(b.width, 0) << w << "x" << h;
                EXPECT_GE(b.height, 0) << w << "x" << h;
            }
            EXPECT_GE(l.X, 0);
        }
    }
    // A low window: the log gets height 0 instead of a negative one.
    EXPECT_EQ(compute_layout(window(7000, 1500)).Text1.height, 0);
}

TEST(Layout, LogStopsAboveTheStatusLine)
{
    LayoutInput in = window(7000, 5000);
    in.statusTop = 3900;
    const Layout l = compute_layout(in);
    EXPECT_LE(l.Text1.top + l.Text1.height, 3900);
    in.statusTop = 0;   // unknown: only the bottom margin applies
    EXPECT_EQ(compute_layout(in).Text1.height, 5000 - (1165 + 2500) - 900);
}
