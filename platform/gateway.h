// A UPnP Internet Gateway Device: its WAN byte totals, line speeds and the
// connection's uptime. The calls run on a worker of the backend's: nothing
// here ever blocks the caller.
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace vx::platform {

struct GatewayAnswer {
    // Empty when the gateway answered; otherwise what failed, for the user:
    // "no UPnP gateway answered", "the gateway refused GetTotalBytesReceived", ...
    std::string failure;
    bool found = false;  // a gateway was found (a failure came later)
    // Which gateway, once found: the root device's UDN ("uuid:..."), or its
    // description's URL where it has none.
    std::string identity;
    // WANCommonInterfaceConfig: the byte totals (unsigned 32-bit on most routers).
    std::optional<double> received;
    std::optional<double> sent;
    double at = 0;  // when the totals came: seconds on the monotonic clock (runtime/clock.h)
    // With details: GetCommonLinkProperties (bits a second) and the connection
    // service's GetStatusInfo (seconds up).
    std::optional<double> linkDown;
    std::optional<double> linkUp;
    std::optional<double> uptime;
};

// How long a round of calls to a gateway already found may take: four calls
// at most, each bounded by the HTTP session (2 s). A round under way for
// longer is late.
inline constexpr double kGatewayRoundSeconds = 10;

class Gateway {
public:
    virtual ~Gateway() = default;
    // Starts one round of calls unless one is under way: discovery first when
    // no gateway is known yet (about two seconds), then both byte totals, and
    // with `details` the line speeds and the uptime. Never blocks.
    virtual void request(bool details) = 0;
    // The answer of the last round once it has finished, once; until then nothing.
    virtual std::optional<GatewayAnswer> answer() = 0;
};

// `location` is the gateway's description URL ("http://HOST:PORT/PATH"), or
// empty to find the gateway on the local network (SSDP). The description and
// the control URLs must be on the local network (private, link-local or
// loopback addresses), the control URLs on the description's host;
// otherwise it is no gateway. A name is resolved only in `location`.
std::unique_ptr<Gateway> OpenGateway(const std::string& location);

}  // namespace vx::platform
