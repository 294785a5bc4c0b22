// The router's web statistics page, fetched once a tick.
#pragma once

#include <string>

#include "sources/Source.h"

namespace vx {

class WebSource : public Source {
public:
    WebSource(std::string user, std::string password, std::string address);
    std::optional<Reading> poll() override;

private:
    std::string url_;
};

}  // namespace vx
