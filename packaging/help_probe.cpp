// Prints the help page the program would open, looked up exactly as the
// program does: from the folder this executable sits in. The install check
// copies it beside an installed palu_ftp, so it answers for that install.
#include <QCoreApplication>
#include <cstdio>

#include "app/help_file.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString path = help_file::find(help_file::folders());
    if (path.isEmpty())
        return 1;
    std::printf("%s\n", path.toLocal8Bit().constData());
    return 0;
}
