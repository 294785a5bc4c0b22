// vxstat: the router's WAN traffic in a tiny window and a tray icon.
#include "dialogs/StartUp.h"
#include "platform/app.h"

int main(int argc, char** argv) {
    vx::platform::InitApplication(argc, argv);
    vx::StartProgram();
    return vx::platform::RunEventLoop();
}
