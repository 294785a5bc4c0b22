// The URL fetch over libcurl's easy interface: one synchronous, bounded
// request per call, the user-info sent as basic authentication.
#include <curl/curl.h>

#include <memory>
#include <string>

#include "platform/net.h"
#include "platform/posix/url_userinfo.h"
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

UrlResponse OpenURL(const std::string& url) {
    GlobalInit();
    // One handle for the program's life saves setting a transfer up anew each
    // second; every request still gets a connection of its own (below).
    static std::unique_ptr<CURL, EasyDeleter> curl(curl_easy_init());
    if (!curl) Fail("no transfer handle");
    curl_easy_reset(curl.get());

    const UrlWithoutUserInfo parts = SplitUserInfo(url);
    Body body;
    CURL* h = curl.get();
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
    curl_easy_setopt(h, CURLOPT_FORBID_REUSE, 1L);  // no connection is kept between readings

    const CURLcode code = curl_easy_perform(h);
    if (body.tooLarge || code == CURLE_FILESIZE_EXCEEDED) Fail("the page is larger than 1 MiB");
    if (code != CURLE_OK) Fail(curl_easy_strerror(code));

    UrlResponse response;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &response.status);
    response.body = std::move(body.text);
    return response;
}

}  // namespace vx::platform
