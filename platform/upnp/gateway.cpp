// The UPnP gateway over miniupnpc (SSDP discovery, and parsing the device
// description) and our own HTTP session (fetching the descriptions and the
// SOAP calls, on one kept connection, each bounded in time), on a worker
// thread of its own so that the window never waits for the router.
//
// Any host on the local network may answer discovery and name any URL, so
// nothing is fetched from an address off the local network, and the calls go
// only to the host that served the description.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <miniupnpc/miniupnpc.h>
#include <miniupnpc/upnpcommands.h>

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/gateway.h"
#include "platform/threaded/worker.h"
#include "platform/upnp/http_session.h"
#include "runtime/clock.h"
#include "runtime/errors.h"
#include "runtime/numtext.h"

namespace vx::platform {

namespace {

constexpr int kDiscoveryMs = 2000;
// The descriptions that answered discovery are fetched one after another,
// each bounded by the session (2 s in all, however slowly it trickles); no
// new one is started once this much time has gone on them.
constexpr double kDescriptionsSeconds = 4;
// Descriptions that failed are tried last in later rounds, so that a few
// slow hosts cannot keep the gateway from being reached; a hostile host may
// name many, so only so many are remembered.
constexpr std::size_t kRememberedFailures = 64;

// ---- addresses on the local network -----------------------------------------

bool OnLocalNetwork(const sockaddr* address) {
    if (address->sa_family == AF_INET) {
        const std::uint32_t a = ntohl(reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr);
        return (a >> 24) == 10 || (a >> 20) == 0xAC1 || (a >> 16) == 0xC0A8  // 10/8, 172.16/12, 192.168/16
               || (a >> 16) == 0xA9FE || (a >> 24) == 127;                   // 169.254/16, 127/8
    }
    if (address->sa_family == AF_INET6) {
        const unsigned char* b = reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr.s6_addr;
        const bool loopback = std::all_of(b, b + 15, [](unsigned char c) { return c == 0; }) && b[15] == 1;
        return loopback || (b[0] == 0xfe && (b[1] & 0xc0) == 0x80)  // fe80::/10
               || (b[0] & 0xfe) == 0xfc;                            // fc00::/7
    }
    return false;
}

// An http URL rebuilt on the numeric address of its host, so that what was
// checked is what is connected to: no user-info, no name resolved again.
struct LocalUrl {
    std::string host;  // "192.168.1.1", "[fe80::1%252]"
    std::string url;   // "http://HOST:PORT/PATH"
};

struct AddressList {
    addrinfo* list = nullptr;
    ~AddressList() {
        if (list) freeaddrinfo(list);
    }
};

// The numeric host of `host` (as a URL writes it) when every address it has
// is on the local network. Names only where `names`: the user's own address.
std::optional<std::string> LocalHost(std::string host, bool names) {
    // An IPv6 zone is written "%25" in a URL.
    if (const std::size_t zone = host.find("%25"); zone != std::string::npos)
        host = host.substr(0, zone) + "%" + host.substr(zone + 3);
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = names ? 0 : AI_NUMERICHOST;
    AddressList found;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found.list) != 0 || !found.list) return std::nullopt;
    // An IPv4 address first: most gateways listen on nothing else.
    const addrinfo* chosen = found.list;
    for (const addrinfo* a = found.list; a; a = a->ai_next) {
        if (!a->ai_addr || !OnLocalNetwork(a->ai_addr)) return std::nullopt;
        if (a->ai_family == AF_INET && chosen->ai_family != AF_INET) chosen = a;
    }
    char text[NI_MAXHOST] = {};
    if (getnameinfo(chosen->ai_addr, static_cast<socklen_t>(chosen->ai_addrlen), text, sizeof text, nullptr, 0,
                    NI_NUMERICHOST) != 0)
        return std::nullopt;
    std::string numeric = text;
    if (chosen->ai_family != AF_INET6) return numeric;
    if (const std::size_t zone = numeric.find('%'); zone != std::string::npos)
        numeric = numeric.substr(0, zone) + "%25" + numeric.substr(zone + 1);
    return "[" + numeric + "]";
}

std::optional<LocalUrl> Local(std::string_view url, bool names) {
    constexpr std::string_view scheme = "http://";
    if (url.size() <= scheme.size() || !StartsWithNoCase(url, scheme)) return std::nullopt;
    // Nothing a client might read another way than we do.
    if (std::any_of(url.begin(), url.end(), [](char c) { return c <= ' ' || c >= 127 || c == '\\'; }))
        return std::nullopt;
    std::string_view rest = url.substr(scheme.size());
    const std::size_t pathAt = rest.find_first_of("/?#");
    std::string_view authority = rest.substr(0, pathAt);
    std::string path = pathAt == std::string_view::npos ? "/" : std::string(rest.substr(pathAt));
    if (path.front() != '/') path = "/" + path;
    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) authority.remove_prefix(at + 1);
    std::string_view host = authority;
    std::string_view port;
    if (!authority.empty() && authority.front() == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        host = authority.substr(1, close - 1);
        if (close + 1 < authority.size()) {
            if (authority[close + 1] != ':') return std::nullopt;
            port = authority.substr(close + 2);
        }
    } else if (const std::size_t colon = authority.find(':'); colon != std::string_view::npos) {
        host = authority.substr(0, colon);
        port = authority.substr(colon + 1);
    }
    if (host.empty() || port.size() > 5 ||
        !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const int portNumber = port.empty() ? 80 : std::stoi(std::string(port));
    if (portNumber < 1 || portNumber > 65535) return std::nullopt;
    std::optional<std::string> numeric = LocalHost(std::string(host), names);
    if (!numeric) return std::nullopt;
    return LocalUrl{*numeric, "http://" + *numeric + ":" + std::to_string(portNumber) + path};
}

// ---- replies and descriptions ------------------------------------------------

// The text of the first element named exactly `name`, whatever its namespace
// prefix; with `depth`, only at that depth (1: the document's element).
std::optional<std::string> Element(std::string_view xml, std::string_view name, int depth = 0) {
    int level = 0;
    for (std::size_t at = xml.find('<'); at != std::string_view::npos; at = xml.find('<', at)) {
        if (xml.compare(at, 4, "<!--") == 0) {
            at = xml.find("-->", at);
            continue;
        }
        const std::size_t end = xml.find('>', at);
        if (end == std::string_view::npos) return std::nullopt;
        const bool closing = xml.compare(at, 2, "</") == 0;
        const bool other = xml.compare(at, 2, "<?") == 0 || xml.compare(at, 2, "<!") == 0;
        const bool empty = xml[end - 1] == '/';
        const std::size_t nameAt = at + (closing ? 2 : 1);
        std::string_view tag = xml.substr(nameAt, std::min(xml.find_first_of(" \t\r\n/>", nameAt), end) - nameAt);
        if (const std::size_t colon = tag.rfind(':'); colon != std::string_view::npos) tag.remove_prefix(colon + 1);
        at = end + 1;
        if (other) continue;
        if (closing) {
            --level;
            continue;
        }
        ++level;
        if (tag == name && (depth == 0 || level == depth)) {
            if (empty) return std::string();
            const std::size_t close = xml.find('<', at);
            if (close == std::string_view::npos) return std::nullopt;
            return std::string(xml.substr(at, close - at));
        }
        if (empty) --level;
    }
    return std::nullopt;
}

std::optional<double> WholeNumber(const std::optional<std::string>& text) {
    if (!text) return std::nullopt;
    const std::size_t b = text->find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return std::nullopt;
    return CounterValue(std::string_view(*text).substr(b, text->find_last_not_of(" \t\r\n") + 1 - b));
}

// Where the calls go, from the device description.
struct Services {
    std::string commonControl;  // WANCommonInterfaceConfig
    std::string commonType;
    std::string connectionControl;  // WANIPConnection or WANPPPConnection
    std::string connectionType;
    std::string identity;  // the root device's UDN, or else the description's URL
};

struct UrlsFreed {
    UPNPUrls urls{};
    ~UrlsFreed() { FreeUPNPUrls(&urls); }
};

bool Printable(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c > ' ' && c < 127; });
}

// The gateway described at `location`: the one the user gave (a name is
// resolved), or one that answered discovery. Its control URLs must be on the
// description's own host.
std::optional<Services> Describe(HttpSession& http, const std::string& location, bool discovered,
                                 std::string& failure) {
    // The user's own address is named in a failure; not what any host may send.
    const std::string device = discovered ? "the UPnP device that answered" : "the UPnP device at " + location;
    const std::optional<LocalUrl> description = Local(location, !discovered);
    if (!description) {
        failure = device + " is not on the local network";
        return std::nullopt;
    }
    UrlResponse page;
    try {
        page = http.get(description->url);
    } catch (const RuntimeError&) {
        page.status = 0;
    }
    if (page.status != 200) {
        failure = discovered ? device + " gave no description" : "no UPnP gateway description at " + location;
        return std::nullopt;
    }
    IGDdatas data{};
    parserootdesc(page.body.data(), static_cast<int>(page.body.size()), &data);
    UrlsFreed built;
    GetUPNPUrls(&built.urls, &data, description->url.c_str(), 0);
    const UPNPUrls& urls = built.urls;
    if (!urls.controlURL_CIF || !*urls.controlURL_CIF || !data.CIF.servicetype[0]) {
        failure = device + " is no Internet gateway";
        return std::nullopt;
    }
    auto onItsHost = [&](const char* url) -> std::optional<std::string> {
        const std::optional<LocalUrl> control = Local(url, false);
        if (!control || control->host != description->host) return std::nullopt;
        return control->url;
    };
    Services services;
    services.commonType = data.CIF.servicetype;
    services.connectionType = data.first.servicetype;
    const std::optional<std::string> common = onItsHost(urls.controlURL_CIF);
    const bool connection = urls.controlURL && *urls.controlURL && data.first.servicetype[0];
    const std::optional<std::string> connectionControl =
        connection ? onItsHost(urls.controlURL) : std::optional<std::string>("");
    if (!common || !connectionControl) {
        failure = device + " sends its calls to another host";
        return std::nullopt;
    }
    services.commonControl = *common;
    services.connectionControl = *connectionControl;
    // <root><device><UDN>
    const std::optional<std::string> udn = Element(page.body, "UDN", 3);
    services.identity = udn && !udn->empty() && udn->size() <= 128 && Printable(*udn) ? *udn : description->url;
    return services;
}

struct DevicesFreed {
    UPNPDev* list = nullptr;
    ~DevicesFreed() { freeUPNPDevlist(list); }
};

// Finds the gateway: at `location`, or among those that answer discovery.
std::optional<Services> Find(HttpSession& http, const std::string& location, std::vector<std::string>& failed,
                             std::string& failure) {
    if (!location.empty()) return Describe(http, location, false, failure);
    int error = 0;
    DevicesFreed devices{upnpDiscover(kDiscoveryMs, nullptr, nullptr, UPNP_LOCAL_PORT_ANY, 0, 2, &error)};
    std::vector<std::string> answers;
    for (const UPNPDev* d = devices.list; d; d = d->pNext)
        if (d->descURL && std::find(answers.begin(), answers.end(), d->descURL) == answers.end())
            answers.emplace_back(d->descURL);
    std::stable_partition(answers.begin(), answers.end(), [&](const std::string& answer) {
        return std::find(failed.begin(), failed.end(), answer) == failed.end();
    });
    failure = "no UPnP gateway answered on the local network";
    const double start = MonotonicSeconds();
    for (const std::string& answer : answers) {
        if (MonotonicSeconds() - start >= kDescriptionsSeconds) break;
        if (std::optional<Services> services = Describe(http, answer, true, failure)) return services;
        if (std::find(failed.begin(), failed.end(), answer) == failed.end()) {
            if (failed.size() >= kRememberedFailures) failed.erase(failed.begin());
            failed.push_back(answer);
        }
    }
    return std::nullopt;
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
        const std::optional<double> code = WholeNumber(Element(response.body, "errorCode"));
        failure = "the gateway refused " + action + (code ? " (UPnP error " + NumText(*code) + ")" : "");
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

// What the worker keeps between rounds: its connection, the gateway it
// found, and the descriptions that failed.
struct State {
    std::unique_ptr<HttpSession> http;
    std::optional<Services> services;
    std::vector<std::string> failed;
};

void Round(State& state, const std::string& location, bool details, GatewayAnswer& a) {
    if (!NetworkReady()) {
        a.failure = "the network could not be set up";
        return;
    }
    HttpSession& http = *state.http;
    std::optional<Services>& services = state.services;
    if (!services) services = Find(http, location, state.failed, a.failure);
    if (!services) return;
    a.failure.clear();
    a.found = true;
    a.identity = services->identity;
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
                  Round(*state, location, details, a);
              } catch (const std::exception& e) {
                  a.failure = e.what();
              }
              return a;
          }) {}

    void request(bool details) override { worker_.start(details); }
    std::optional<GatewayAnswer> answer() override { return worker_.take(); }

private:
    Worker<bool, GatewayAnswer> worker_;
};

}  // namespace

std::unique_ptr<Gateway> OpenGateway(const std::string& location) {
    return std::make_unique<MiniupnpGateway>(location);
}

}  // namespace vx::platform
