#include "recorder/Server.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>

#include <cerrno>
#include <cstring>

#include "recorder/Render.h"
#include "runtime/clock.h"

namespace vx::recorder {

namespace {

// Compares without leaving the length of the matching prefix in the time.
bool SameSecret(const std::string& given, const std::string& expected) {
    unsigned char differ = given.size() == expected.size() ? 0 : 1;
    for (std::size_t i = 0; i < given.size(); ++i)
        differ |= static_cast<unsigned char>(given[i] ^ expected[i % expected.size()]);
    return differ == 0;
}

MHD_Result Queue(MHD_Connection* connection, unsigned status, const std::string& body, const char* type,
                 bool askForToken = false) {
    MHD_Response* response =
        MHD_create_response_from_buffer(body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
    if (response == nullptr) return MHD_NO;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, type);
    MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
    MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
    MHD_add_response_header(response, "Content-Security-Policy",
                            "default-src 'none'; connect-src 'self'; script-src 'unsafe-inline'; "
                            "style-src 'unsafe-inline'; img-src 'self'");
    if (askForToken) MHD_add_response_header(response, MHD_HTTP_HEADER_WWW_AUTHENTICATE, "Bearer realm=\"vxstat\"");
    const MHD_Result queued = MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    return queued;
}

MHD_Result OnRequest(void* cls, MHD_Connection* connection, const char* url, const char* method, const char*,
                     const char*, size_t*, void**) {
    return static_cast<Server*>(cls)->answer(connection, url, method) != 0 ? MHD_YES : MHD_NO;
}

constexpr const char* kJson = "application/json";
constexpr const char* kText = "text/plain; charset=utf-8";

}  // namespace

Server::Server(const SnapshotBox& box, ServerSettings settings, HistorySettings history)
    : box_(box), settings_(std::move(settings)), history_(std::move(history)) {}

Server::~Server() { stop(); }

bool Server::start(std::string& error) {
    sockaddr_in v4{};
    v4.sin_family = AF_INET;
    v4.sin_port = htons(settings_.port);
    v4.sin_addr = settings_.address.v4;
    sockaddr_in6 v6{};
    v6.sin6_family = AF_INET6;
    v6.sin6_port = htons(settings_.port);
    v6.sin6_addr = settings_.address.v6;
    const bool ipv6 = settings_.address.ipv6;
    const void* address = ipv6 ? static_cast<const void*>(&v6) : static_cast<const void*>(&v4);
    errno = 0;
    daemon_ = MHD_start_daemon(MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_AUTO | (ipv6 ? MHD_USE_IPv6 : 0),
                               settings_.port, nullptr, nullptr, &OnRequest, this, MHD_OPTION_SOCK_ADDR, address,
                               MHD_OPTION_CONNECTION_LIMIT, kMaxConnections, MHD_OPTION_PER_IP_CONNECTION_LIMIT,
                               kMaxConnectionsPerAddress, MHD_OPTION_CONNECTION_TIMEOUT, kConnectionTimeoutSeconds,
                               MHD_OPTION_CONNECTION_MEMORY_LIMIT, kConnectionMemory, MHD_OPTION_END);
    if (daemon_ == nullptr) {
        error = "cannot listen on " + settings_.listen + (errno != 0 ? ": " + std::string(std::strerror(errno)) : "");
        return false;
    }
    return true;
}

void Server::stop() {
    if (daemon_ != nullptr) MHD_stop_daemon(daemon_);
    daemon_ = nullptr;
}

bool Server::authorized(MHD_Connection* connection) const {
    if (settings_.token.empty()) return true;
    const char* header = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_AUTHORIZATION);
    if (header != nullptr && std::strncmp(header, "Bearer ", 7) == 0 && SameSecret(header + 7, settings_.token))
        return true;
    // A browser keeps it as a cookie, set by the page that asks for it.
    const char* cookie = MHD_lookup_connection_value(connection, MHD_COOKIE_KIND, "vxstat_token");
    return cookie != nullptr && SameSecret(cookie, settings_.token);
}

int Server::answer(MHD_Connection* connection, const std::string& url, const std::string& method) {
    // Nothing here takes a body: anything but a read is refused before it is sent.
    if (method != "GET" && method != "HEAD") return Queue(connection, 405, "only GET and HEAD\n", kText);
    if (!authorized(connection)) {
        if (url == "/") return Queue(connection, 401, kTokenPage, "text/html; charset=utf-8", true);
        return Queue(connection, 401, "a token is needed: Authorization: Bearer TOKEN\n", kText, true);
    }
    if (url == "/metrics")
        return Queue(connection, 200, MetricsText(box_.get()), "text/plain; version=0.0.4; charset=utf-8");
    if (url == "/api/v1/now") return Queue(connection, 200, NowJson(box_.get()), kJson);
    const std::string history = "/api/v1/history/";
    if (url.compare(0, history.size(), history) == 0) {
        int status = 200;
        const std::optional<std::string> body = HistoryJson(url.substr(history.size()), history_.file, UtcSeconds(),
                                                            history_.monthStartDay, history_.quota, status);
        if (body) return Queue(connection, static_cast<unsigned>(status), *body, kJson);
    }
    if (url == "/") return Queue(connection, 200, kPage, "text/html; charset=utf-8");
    return Queue(connection, 404, "not found\n", kText);
}

}  // namespace vx::recorder
