// `vxstat --history [days|hours|months] [--csv]`: the traffic history on a
// terminal or for a script, without a display, the monitor or any file
// written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vx {

// The command line asks for the history instead of the program.
bool IsHistoryCommand(const std::vector<std::string>& args);

// Prints the history of `historyFile` as of `now` (UTC seconds), with the
// billing month and quota boot.ini (`settingsFile`) gives, into `out` (for
// standard output) and `err` (standard error). 0 when printed (an absent file
// included), 1 when the file cannot be read, 2 for bad arguments (the usage
// on `err`). `args` are the arguments after the program's name.
int RunHistoryCommand(const std::vector<std::string>& args, const std::string& historyFile,
                      const std::string& settingsFile, std::int64_t now, std::string& out, std::string& err);

}  // namespace vx
