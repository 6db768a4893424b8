// Program start: the application object and the main window.
#pragma once

int palu_main(int argc, char** argv);
