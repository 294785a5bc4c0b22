// vxstat: the router's WAN traffic in a tiny window and a tray icon.
#include <cstdio>
#include <string>
#include <vector>

#include "dialogs/StartUp.h"
#include "history/HistoryCommand.h"
#include "platform/app.h"
#include "platform/snmp.h"
#include "runtime/clock.h"
#include "sources/SnmpSource.h"
#include "traffic/modFunctions.h"

namespace {

const char* const kHelp =
    "usage: vxstat [/STATS]\n"
    "       vxstat --history [days|hours|months] [--csv]\n"
    "       vxstat --interfaces snmp://[COMMUNITY@]HOST[:PORT] | snmpv3://USER@HOST[:PORT]\n"
    "       vxstat --paths | --help | --version\n"
    "Shows a home router's WAN traffic in a tiny window and a tray icon.\n"
    "  /STATS     only the \"Logged Statistics\" window, without monitoring\n"
    "  --history  print the traffic history: the last 30 days (the default), the last\n"
    "             24 hours or every billing month; --csv for scripts\n"
    "  --interfaces  print the interfaces the router's SNMP agent offers and the one\n"
    "             vxstat would read (boot.ini: Interface=, SnmpAuth=, SnmpPrivacy=;\n"
    "             v3's pass phrase: Password=)\n"
    "  --paths    print the folders of boot.ini, userstats.txt and history.db\n"
    "  --help     print this help\n"
    "  --version  print the version\n";

const char* const kVersion = "vxstat " VXSTAT_VERSION
                             "\n"
                             "Copyright (c) 2026 The vxstat developers\n"
                             "License: MIT\n";

}  // namespace

int main(int argc, char** argv) {
    // Answers on the terminal need no display and start no monitor.
    if (argc == 2) {
        const std::string arg = argv[1];
        std::string answer;
        if (arg == "--help") answer = kHelp;
        if (arg == "--version") answer = kVersion;
        if (arg == "--paths") answer = vx::PathsReport();
        if (!answer.empty()) {
            vx::platform::AttachToTerminal();
            std::fputs(answer.c_str(), stdout);
            // A full disk or a closed pipe is a failure, not a printed answer.
            return std::fflush(stdout) == 0 ? 0 : 1;
        }
    }
    // What the router's SNMP agent offers: no display, no monitor.
    if (argc == 3 && std::string(argv[1]) == "--interfaces") {
        vx::platform::AttachToTerminal();
        const std::string settings = vx::SettingsFile();
        const auto target = vx::SnmpTargetFromSettings(argv[2], vx::ReadIniValue("Settings", "Password", settings),
                                                       vx::ReadIniValue("Settings", "Interface", settings));
        if (!target) {
            std::fputs("vxstat: --interfaces takes snmp://[COMMUNITY@]HOST[:PORT] or snmpv3://USER@HOST[:PORT]\n",
                       stderr);
            return 2;
        }
        const vx::platform::SnmpListing listing = vx::platform::ListSnmpInterfaces(*target);
        const std::string report = vx::InterfacesReport(listing);
        std::fputs(report.c_str(), listing.interfaces.empty() ? stderr : stdout);
        if (listing.interfaces.empty()) return 1;
        return std::fflush(stdout) == 0 ? 0 : 1;
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
    // Another copy already runs over these files: it came to the front.
    if (!vx::StartProgram()) return 0;
    return vx::platform::RunEventLoop();
}
