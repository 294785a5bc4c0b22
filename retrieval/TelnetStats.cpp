#include "retrieval/TelnetStats.h"

#include "runtime/errors.h"

namespace vx {

void PollTelnetStats(const std::string&, const std::string&, const std::string&) {
    throw RuntimeError(kErrSocketNotConnected, "not built yet");
}

void ResetTelnetState() {}

}  // namespace vx
