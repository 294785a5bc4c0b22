// HTTP over libcurl's easy interface: synchronous, bounded requests, the
// user-info sent as basic authentication. Each handle keeps its connection
// to the router between requests where the router allows it: a new
// connection every second costs more than the rest of a tick.
#include <curl/curl.h>

#include <memory>
#include <string>

#include "platform/net.h"
#include "platform/posix/url_userinfo.h"
#include "platform/upnp/http_session.h"
#include "runtime/errors.h"

namespace vx::platform {

UrlWithoutUserInfo SplitUserInfo(const std::string& url) {
    UrlWithoutUserInfo result;
    std::size_t scheme = url.find("://");
    std::size_t start = scheme == std::string::npos ? 0 : scheme + 3;
    std::size_t at = url.rfind('@');
    if (at == std::string::npos || at < start) {
        result.url = url;
        return result;
    }
    std::string userInfo = url.substr(start, at - start);
    std::size_t colon = userInfo.find(':');
    result.hasUserInfo = true;
    result.user = userInfo.substr(0, colon);
    if (colon != std::string::npos) result.password = userInfo.substr(colon + 1);
    result.url = url.substr(0, start) + url.substr(at + 1);
    return result;
}

namespace {

// An unreachable or silent router costs a tick at most this much.
constexpr long kConnectTimeoutMs = 1000;
constexpr long kTotalTimeoutMs = 2000;

void GlobalInit() {
    static const CURLcode init = curl_global_init(CURL_GLOBAL_DEFAULT);
    if (init != CURLE_OK) throw RuntimeError(kErrInternet, "The network library could not be set up");
}

struct Body {
    std::string text;
    bool tooLarge = false;
};

std::size_t Collect(char* data, std::size_t size, std::size_t count, void* user) {
    auto* body = static_cast<Body*>(user);
    std::size_t n = size * count;
    if (body->text.size() + n > kMaxBodyBytes) {
        body->tooLarge = true;
        return 0;  // aborts the transfer
    }
    body->text.append(data, n);
    return n;
}

struct EasyDeleter {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};

// Error texts are libcurl's generic ones: never the URL, which holds the
// password.
[[noreturn]] void Fail(const char* what) {
    throw RuntimeError(kErrInternet, std::string("The router's page could not be fetched: ") + what);
}

}  // namespace

namespace {

using Easy = std::unique_ptr<CURL, EasyDeleter>;

struct Request {
    std::string url;
    const char* contentType = nullptr;  // with a body: a POST
    const std::string* header = nullptr;
    const std::string* body = nullptr;
};

}  // namespace

void CheckHeaderLine(const std::string& header) {
    if (header.find_first_of("\r\n") != std::string::npos)
        throw RuntimeError(kErrInternet, "A request header may not hold a line break");
}

namespace {

UrlResponse Perform(CURL* h, const Request& request) {
    // Options go back to their defaults; the open connection stays.
    curl_easy_reset(h);
    const UrlWithoutUserInfo parts = SplitUserInfo(request.url);
    Body body;
    curl_easy_setopt(h, CURLOPT_URL, parts.url.c_str());
#if LIBCURL_VERSION_NUM >= 0x075500
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http");
#else
    curl_easy_setopt(h, CURLOPT_PROTOCOLS, static_cast<long>(CURLPROTO_HTTP));
#endif
    if (parts.hasUserInfo) {
        curl_easy_setopt(h, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
        curl_easy_setopt(h, CURLOPT_USERNAME, parts.user.c_str());
        curl_easy_setopt(h, CURLOPT_PASSWORD, parts.password.c_str());
    }
    curl_easy_setopt(h, CURLOPT_NOPROXY, "*");  // the router is on the local link
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, kTotalTimeoutMs);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxBodyBytes));
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &Collect);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(h, CURLOPT_USERAGENT, "vxstat");
    std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headers(nullptr, &curl_slist_free_all);
    if (request.body) {
        const std::string type = std::string("Content-Type: ") + request.contentType;
        headers.reset(curl_slist_append(nullptr, type.c_str()));
    }
    if (request.header && !request.header->empty()) {
        CheckHeaderLine(*request.header);
        headers.reset(curl_slist_append(headers.release(), request.header->c_str()));
    }
    if (headers) curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    if (request.body) {
        curl_easy_setopt(h, CURLOPT_POSTFIELDS, request.body->c_str());
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body->size()));
    }

    const CURLcode code = curl_easy_perform(h);
    if (body.tooLarge || code == CURLE_FILESIZE_EXCEEDED) Fail("the page is larger than 1 MiB");
    if (code != CURLE_OK) Fail(curl_easy_strerror(code));

    UrlResponse response;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &response.status);
    response.body = std::move(body.text);
    return response;
}

Easy NewHandle() {
    GlobalInit();
    Easy curl(curl_easy_init());
    if (!curl) Fail("no transfer handle");
    return curl;
}

class CurlSession : public HttpSession {
public:
    UrlResponse get(const std::string& url, const std::string& header) override {
        return Perform(curl_.get(), Request{url, nullptr, &header});
    }
    UrlResponse post(const std::string& url, const std::string& contentType, const std::string& header,
                     const std::string& body) override {
        return Perform(curl_.get(), Request{url, contentType.c_str(), &header, &body});
    }

private:
    Easy curl_ = NewHandle();
};

}  // namespace

UrlResponse OpenURL(const std::string& url) {
    // One handle for the program's life: it keeps the connection to the router.
    static Easy curl = NewHandle();
    return Perform(curl.get(), Request{url});
}

std::unique_ptr<HttpSession> CreateHttpSession() { return std::make_unique<CurlSession>(); }

}  // namespace vx::platform
