// The URL fetch with WinINet: one synchronous GET, basic authentication from
// the URL's user-info, bounded time-outs and body size.
#include "platform/win32/backend.h"

#include <wininet.h>

#include "platform/win32/url_parts.h"
#include "runtime/errors.h"

namespace vx::platform {

namespace {

constexpr DWORD kTimeoutMs = 2000;

struct InternetHandle {
    HINTERNET h;
    explicit InternetHandle(HINTERNET handle) : h(handle) {}
    ~InternetHandle() {
        if (h) InternetCloseHandle(h);
    }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
};

void SetTimeouts(HINTERNET h) {
    DWORD timeout = kTimeoutMs;
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT})
        InternetSetOptionA(h, option, &timeout, sizeof timeout);
}

[[noreturn]] void Fail(const std::string& what) {
    throw RuntimeError(kErrInternet, what + " (error " + std::to_string(GetLastError()) + ")");
}

}  // namespace

UrlResponse OpenURL(const std::string& url) {
    auto parts = win32::SplitHttpUrl(url);
    if (!parts) throw RuntimeError(kErrInternet, "The URL is not an http URL");

    InternetHandle session(InternetOpenA("vxstat", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session.h) Fail("The Internet session could not be opened");
    SetTimeouts(session.h);

    InternetHandle connection(InternetConnectA(session.h, win32::ToAnsi(parts->host).c_str(),
                                               static_cast<INTERNET_PORT>(parts->port), nullptr, nullptr,
                                               INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection.h) Fail("The router could not be reached");

    // No cache, no cookies, no dialogs, and no authentication of WinINet's own:
    // a 401 answer comes back with its page like any other.
    const DWORD flags = INTERNET_FLAG_NO_AUTH | INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_RELOAD |
                          INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE;
    InternetHandle request(HttpOpenRequestA(connection.h, "GET", win32::ToAnsi(parts->path).c_str(), nullptr, nullptr,
                                            nullptr, flags, 0));
    if (!request.h) Fail("The request could not be made");
    SetTimeouts(request.h);  // not every WinINet hands the session's down

    std::string headers;
    if (parts->hasUserInfo)
        headers = "Authorization: Basic " + win32::Base64(win32::ToAnsi(parts->user + ":" + parts->password)) + "\r\n";
    if (!HttpSendRequestA(request.h, headers.empty() ? nullptr : headers.c_str(), static_cast<DWORD>(headers.size()),
                          nullptr, 0))
        Fail("The request failed");

    UrlResponse response;
    DWORD status = 0, size = sizeof status;
    if (HttpQueryInfoA(request.h, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
        response.status = static_cast<long>(status);

    const ULONGLONG deadline = GetTickCount64() + 2 * kTimeoutMs;
    char chunk[8192];
    for (;;) {
        DWORD got = 0;
        if (!InternetReadFile(request.h, chunk, sizeof chunk, &got)) Fail("The page could not be read");
        if (got == 0) break;
        if (response.body.size() + got > kMaxBodyBytes) throw RuntimeError(kErrInternet, "The page is too large");
        response.body.append(chunk, got);
        if (GetTickCount64() > deadline) throw RuntimeError(kErrInternet, "The page took too long to arrive");
    }
    // The page as text: the router's bytes are in the system's code page.
    response.body = win32::FromAnsi(response.body);
    return response;
}

}  // namespace vx::platform
