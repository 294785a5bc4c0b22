// The UPnP gateway over miniupnpc (discovery and the device description) and
// our own HTTP session (the SOAP calls, on one kept connection), on a worker
// thread of its own so that the window never waits for the router.
#ifdef _WIN32
#include <winsock2.h>
#endif

#include <miniupnpc/miniupnpc.h>
#include <miniupnpc/upnpcommands.h>

#include <utility>

#include "platform/gateway.h"
#include "platform/threaded/worker.h"
#include "platform/upnp/http_session.h"
#include "runtime/clock.h"
#include "runtime/errors.h"
#include "runtime/numtext.h"

namespace vx::platform {

namespace {

constexpr int kDiscoveryMs = 2000;

// Where the calls go, from the device description.
struct Services {
    std::string commonControl;  // WANCommonInterfaceConfig
    std::string commonType;
    std::string connectionControl;  // WANIPConnection or WANPPPConnection
    std::string connectionType;
};

std::optional<Services> FromDescription(UPNPUrls& urls, const IGDdatas& data) {
    std::optional<Services> services;
    if (urls.controlURL_CIF && *urls.controlURL_CIF && data.CIF.servicetype[0])
        services = Services{urls.controlURL_CIF, data.CIF.servicetype, urls.controlURL ? urls.controlURL : "",
                            data.first.servicetype};
    FreeUPNPUrls(&urls);
    return services;
}

// Finds the gateway: at `location`, or whichever answers discovery first.
std::optional<Services> Find(const std::string& location, std::string& failure) {
    UPNPUrls urls{};
    IGDdatas data{};
    char lanAddress[64] = {};
    if (!location.empty()) {
        if (UPNP_GetIGDFromUrl(location.c_str(), &urls, &data, lanAddress, sizeof lanAddress) != 1) {
            failure = "no UPnP gateway description at " + location;
            return std::nullopt;
        }
    } else {
        int error = 0;
        UPNPDev* devices = upnpDiscover(kDiscoveryMs, nullptr, nullptr, UPNP_LOCAL_PORT_ANY, 0, 2, &error);
        if (!devices) {
            failure = "no UPnP gateway answered on the local network";
            return std::nullopt;
        }
#if MINIUPNPC_API_VERSION >= 18
        char wanAddress[64] = {};
        const int found =
            UPNP_GetValidIGD(devices, &urls, &data, lanAddress, sizeof lanAddress, wanAddress, sizeof wanAddress);
#else
        const int found = UPNP_GetValidIGD(devices, &urls, &data, lanAddress, sizeof lanAddress);
#endif
        freeUPNPDevlist(devices);
        if (found == 0) {
            failure = "no UPnP gateway answered on the local network";
            return std::nullopt;
        }
        if (found != 1 && found != 2) {
            FreeUPNPUrls(&urls);
            failure = "the UPnP device that answered is no Internet gateway";
            return std::nullopt;
        }
    }
    std::optional<Services> services = FromDescription(urls, data);
    if (!services) failure = "the gateway has no WANCommonInterfaceConfig service";
    return services;
}

// The text of <name>...</name> in a reply, whatever its namespace prefix.
std::optional<std::string> Element(const std::string& reply, const std::string& name) {
    for (std::size_t at = reply.find(name); at != std::string::npos; at = reply.find(name, at + 1)) {
        if (at == 0 || (reply[at - 1] != '<' && reply[at - 1] != ':')) continue;
        std::size_t open = reply.rfind('<', at);
        if (open == std::string::npos || reply.compare(open, 2, "</") == 0) continue;
        const std::size_t start = reply.find('>', at);
        if (start == std::string::npos) return std::nullopt;
        const std::size_t end = reply.find('<', start);
        if (end == std::string::npos) return std::nullopt;
        return reply.substr(start + 1, end - start - 1);
    }
    return std::nullopt;
}

std::optional<double> WholeNumber(const std::optional<std::string>& text) {
    if (!text) return std::nullopt;
    const std::size_t b = text->find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return std::nullopt;
    return CounterValue(std::string_view(*text).substr(b, text->find_last_not_of(" \t\r\n") + 1 - b));
}

// One SOAP call; the reply, or what failed. `unreachable` tells a gateway
// that did not answer (look for it again) from one that refused.
std::optional<std::string> Call(HttpSession& http, const std::string& control, const std::string& type,
                                const std::string& action, std::string& failure, bool& unreachable) {
    const std::string body =
        "<?xml version=\"1.0\"?>\r\n"
        "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
        "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body><u:" +
        action + " xmlns:u=\"" + type + "\"></u:" + action + "></s:Body></s:Envelope>\r\n";
    UrlResponse response;
    try {
        response =
            http.post(control, "text/xml; charset=\"utf-8\"", "SOAPAction: \"" + type + "#" + action + "\"", body);
    } catch (const RuntimeError&) {
        failure = "the gateway did not answer " + action;
        unreachable = true;
        return std::nullopt;
    }
    if (response.status != 200) {
        const std::optional<std::string> code = Element(response.body, "errorCode");
        failure = "the gateway refused " + action + (code ? " (UPnP error " + *code + ")" : "");
        return std::nullopt;
    }
    return response.body;
}

// miniupnpc's sockets need Winsock started; the gateway may be the program's
// first user of the network. The start is never undone: the worker may
// outlive everything else.
bool NetworkReady() {
#ifdef _WIN32
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
#else
    return true;
#endif
}

void Round(HttpSession& http, const std::string& location, std::optional<Services>& services, bool details,
           GatewayAnswer& a) {
    if (!NetworkReady()) {
        a.failure = "the network could not be set up";
        return;
    }
    if (!services) services = Find(location, a.failure);
    if (!services) return;
    a.found = true;
    bool unreachable = false;
    const std::optional<std::string> in =
        Call(http, services->commonControl, services->commonType, "GetTotalBytesReceived", a.failure, unreachable);
    const std::optional<std::string> out =
        in ? Call(http, services->commonControl, services->commonType, "GetTotalBytesSent", a.failure, unreachable)
           : std::nullopt;
    a.at = MonotonicSeconds();
    if (unreachable) services.reset();  // gone, or a new address: discovery again next round
    if (!in || !out) return;
    a.received = WholeNumber(Element(*in, "NewTotalBytesReceived"));
    a.sent = WholeNumber(Element(*out, "NewTotalBytesSent"));
    if (!a.received || !a.sent) a.failure = "the gateway's byte totals are no numbers";
    if (!details) return;
    // Speeds and uptime are a bonus: a gateway without them still gives readings.
    std::string ignored;
    if (const auto link = Call(http, services->commonControl, services->commonType, "GetCommonLinkProperties", ignored,
                               unreachable)) {
        a.linkDown = WholeNumber(Element(*link, "NewLayer1DownstreamMaxBitRate"));
        a.linkUp = WholeNumber(Element(*link, "NewLayer1UpstreamMaxBitRate"));
    }
    if (!services->connectionControl.empty())
        if (const auto status = Call(http, services->connectionControl, services->connectionType, "GetStatusInfo",
                                     ignored, unreachable))
            a.uptime = WholeNumber(Element(*status, "NewUptime"));
}

class MiniupnpGateway : public Gateway {
public:
    explicit MiniupnpGateway(const std::string& location)
        : worker_([location, state = std::make_shared<State>()](const bool& details) {
              GatewayAnswer a;
              try {
                  if (!state->http) state->http = CreateHttpSession();
                  Round(*state->http, location, state->services, details, a);
              } catch (const std::exception& e) {
                  a.failure = e.what();
              }
              return a;
          }) {}

    void request(bool details) override { worker_.start(details); }
    std::optional<GatewayAnswer> answer() override { return worker_.take(); }

private:
    // What the worker keeps between rounds: its connection and the gateway it found.
    struct State {
        std::unique_ptr<HttpSession> http;
        std::optional<Services> services;
    };
    Worker<bool, GatewayAnswer> worker_;
};

}  // namespace

std::unique_ptr<Gateway> OpenGateway(const std::string& location) {
    return std::make_unique<MiniupnpGateway>(location);
}

}  // namespace vx::platform
