// Program entry: the guarded application object, then start-up, the hidden main window and the
// message loop (uMain). No command-line argument is read.
#include "ZTAppEvents.h"
#include "uMain.h"

int main(int argc, char *argv[])
{
    TZTGuardedApplication app(argc, argv);
    return VNTRRun();
}
