#pragma once

#include <string>

namespace vx {

// Reads the router's web statistics page and leaves the bytes moved since the
// previous reading in the monitor's hand-over labels.
void FetchWebStats(const std::string& sUser, const std::string& sPassword, const std::string& sRouterIP);

}  // namespace vx
