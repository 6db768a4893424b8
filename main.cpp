#include "app/startup.h"

int main(int argc, char** argv)
{
    return palu_main(argc, argv);
}
