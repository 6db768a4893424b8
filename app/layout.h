// Where every control of the main window goes for a given window size.
// Pure arithmetic in twips so it can be checked without a window.
#pragma once

struct LayoutInput {
    double W = 0;          // outer width of the window
    double Ht = 0;         // outer height of the window
    double toolbarHeight = 0;
    double drive1Height = 0;
    double combo1Height = 0;
    double statusTop = 0;
    double statusHeight = 0;
};

struct Box {
    double left = 0, top = 0, width = 0, height = 0;
};

struct Layout {
    double X = 0;          // width of each pane and left edge of the remote pane
    double V = 0;          // height of each file list
    Box Label4, Drive1, Command2, ListView2;   // local pane
    Box Label1, Combo1, CDUP, ListView1;      // remote pane
    Box Text1, ProgressBar1;
    double statusPanelWidth = 0;
};

Layout compute_layout(const LayoutInput& in);
