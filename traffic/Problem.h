// What went wrong, as a value: the part that found it says what, the view
// decides how to tell it (a box on the desktop, a log line in a recorder).
#pragma once

#include <string>
#include <utility>

namespace vx {

struct Problem {
    enum class Kind {
        WrongDetails,    // the router refused the user name or password, or the page is wrong
        RouterBusy,      // another administrator session holds the router
        GatewayFailed,   // the UPnP gateway could not be read
        SnmpFailed,      // the SNMP agent could not be read
        StuckCounter,    // a counter reads 4294967295
        FileNotWritten,  // a file of the program's could not be written
        HistoryDamaged,  // the history file was damaged: set aside, and a new one started
    };
    Kind kind;
    std::string text;
    bool critical = true;  // told as a fault (the critical icon), else as information
};

}  // namespace vx
