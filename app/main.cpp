// vxstat: the router's WAN traffic in a tiny window and a tray icon.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "dialogs/StartUp.h"
#include "history/HistoryCommand.h"
#include "platform/app.h"
#include "runtime/clock.h"
#include "traffic/modFunctions.h"

int main(int argc, char** argv) {
    // Answers on the terminal need no display and start no monitor.
    if (argc == 2 && std::strcmp(argv[1], "--paths") == 0) {
        vx::platform::AttachToTerminal();
        std::fputs(vx::PathsReport().c_str(), stdout);
        return 0;
    }
    // The traffic history, read-only: no display, no monitor, no file written.
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (vx::IsHistoryCommand(args)) {
        vx::platform::AttachToTerminal();
        std::string out, err;
        const int status =
            vx::RunHistoryCommand(args, vx::HistoryFile(), vx::SettingsFile(), vx::UtcSeconds(), out, err);
        std::fputs(out.c_str(), stdout);
        std::fputs(err.c_str(), stderr);
        return status;
    }
    vx::platform::InitApplication(argc, argv);
    vx::StartProgram();
    return vx::platform::RunEventLoop();
}
