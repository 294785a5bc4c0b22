// The router's web statistics page, fetched and read once a tick on the
// backend's worker: a tick takes what the last request's page said, then
// asks again.
#pragma once

#include <memory>
#include <string>

#include "platform/net.h"
#include "sources/Source.h"
#include "sources/WebPage.h"

namespace vx {

class WebSource : public Source {
public:
    // `interfaceName` picks one WAN connection of a page that lists several
    // (its interface name or description); empty adds them all up.
    WebSource(std::string user, std::string password, std::string address, std::string interfaceName = {});
    std::optional<Reading> poll() override;
    // "Connecting" until the router's page has given a reading.
    std::string status() const override { return answered_ ? std::string() : std::string("Connecting"); }

private:
    std::optional<Reading> read(const WebPageReading& page, double at);

    std::string url_;
    std::string interfaceName_;
    // The page is read on the fetch's worker: a tick only takes the reading.
    platform::UrlFetch::Digest digest_;
    std::unique_ptr<platform::UrlFetch> fetch_ = platform::CreateUrlFetch();
    bool answered_ = false;
};

}  // namespace vx
