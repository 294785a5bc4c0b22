// The router's UPnP gateway: the WAN byte totals once a tick, the line speeds
// and the connection's uptime at the start and now and then.
#pragma once

#include <memory>
#include <string>

#include "platform/gateway.h"
#include "sources/Source.h"
#include "traffic/CounterRefresh.h"

namespace vx {

// "upnp" (find the gateway) or "upnp://HOST[:PORT]/PATH" (its description),
// letter case ignored: the gateway's location (empty: find it). Nothing for
// any other address.
std::optional<std::string> UpnpLocation(const std::string& address);

class UpnpSource : public Source {
public:
    explicit UpnpSource(std::unique_ptr<platform::Gateway> gateway);

    std::optional<Reading> poll() override;
    std::optional<LineSpeed> lineSpeed() const override { return speed_; }
    // "Connecting" until the gateway has given its byte totals.
    std::string status() const override { return read_ ? std::string() : std::string("Connecting"); }
    // Not while the first round (discovery included) is still under way, nor
    // while a round to a gateway that answered last time is under way and not
    // late: a slow gateway gives a reading every few ticks, and still answers.
    // Nor while its totals stand still within the gateway's refresh.
    bool expectsReadings() const override { return answered_ && !waiting_ && !holding_; }
    // The gateway found (its UDN, or its description's URL), once one is.
    std::optional<std::string> identity() const override { return identity_; }

private:
    std::unique_ptr<platform::Gateway> gateway_;
    CounterRefresh refresh_;  // some gateways refresh their totals only every few seconds
    bool holding_ = false;
    std::optional<LineSpeed> speed_;
    std::optional<double> uptime_;
    double uptimeAt_ = 0;  // when it came (monotonic seconds): asked for only now and then
    std::optional<std::string> identity_;
    int roundsSinceDetails_ = 0;
    bool told_ = false;  // the user has been told once what failed
    bool answered_ = false;
    bool read_ = false;
    bool healthy_ = false;                // the last answer had the byte totals
    std::optional<double> roundStarted_;  // a round under way since then (monotonic seconds)
    bool waiting_ = false;                // this tick found that round under way, not late
};

}  // namespace vx
