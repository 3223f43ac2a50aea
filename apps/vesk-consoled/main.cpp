// vesk-consoled: the console without a window, for service managers; it links no Qt.
#include "core/ConsoleMain.h"

int main(int argc, char** argv)
{
    return vesk::core::ConsoleMain(argc, argv, "vesk-consoled", nullptr);
}
