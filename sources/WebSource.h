// The router's web statistics page, fetched once a tick.
#pragma once

#include <string>

#include "sources/Source.h"

namespace vx {

class WebSource : public Source {
public:
    // `interfaceName` picks one WAN connection of a page that lists several
    // (its interface name or description); empty adds them all up.
    WebSource(std::string user, std::string password, std::string address, std::string interfaceName = {});
    std::optional<Reading> poll() override;

private:
    std::string url_;
    std::string interfaceName_;
};

}  // namespace vx
