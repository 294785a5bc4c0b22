// HTTP with WinINet: synchronous GETs and POSTs with bounded time and body
// size, the URL's user-info sent as basic authentication. Each kept
// connection holds its own Internet session and a connection handle to the
// last host, so that WinINet reuses the open connection (HTTP/1.1 keep-alive)
// instead of opening a new one for every reading.
#include "platform/win32/backend.h"

#include <wininet.h>

#include <algorithm>
#include <mutex>
#include <utility>

#include "platform/upnp/http_session.h"
#include "platform/win32/url_parts.h"
#include "runtime/errors.h"

namespace vx::platform {

namespace {

// An unreachable or silent router costs a tick at most about this much.
constexpr DWORD kConnectTimeoutMs = 1000;
constexpr ULONGLONG kTotalTimeoutMs = 2000;

class InternetHandle {
public:
    InternetHandle() = default;
    explicit InternetHandle(HINTERNET handle) : h_(handle) {}
    ~InternetHandle() { reset(); }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    HINTERNET get() const { return h_; }
    void reset(HINTERNET handle = nullptr) {
        if (h_) InternetCloseHandle(h_);
        h_ = handle;
    }

private:
    HINTERNET h_ = nullptr;
};

[[noreturn]] void Fail(const std::string& what) {
    throw RuntimeError(kErrInternet, what + " (error " + std::to_string(GetLastError()) + ")");
}

void SetTimeout(HINTERNET h, DWORD option, DWORD milliseconds) {
    InternetSetOptionA(h, option, &milliseconds, sizeof milliseconds);
}

// What is left of a request's time, never zero (which WinINet reads as
// "no limit").
DWORD Remaining(ULONGLONG deadline) {
    const ULONGLONG now = GetTickCount64();
    return now >= deadline ? 1 : static_cast<DWORD>(deadline - now);
}

struct Request {
    const char* verb = "GET";
    std::string headers;                // whole lines, each ending in CRLF
    const std::string* body = nullptr;  // with a POST
    DWORD flags = 0;
    bool ansiBody = false;  // the reply is text in the system's code page
};

// One Internet session and the connection to the host last asked for; used
// by one thread at a time. The router is on the local network: never through
// a proxy set up for browsing, which would also be handed its password.
class KeptConnection {
public:
    UrlResponse send(const std::string& url, Request request) {
        const ULONGLONG deadline = GetTickCount64() + kTotalTimeoutMs;
        auto parts = win32::SplitHttpUrl(url);
        if (!parts) throw RuntimeError(kErrInternet, "The URL is not an http URL");
        if (parts->hasUserInfo)
            request.headers +=
                "Authorization: Basic " + win32::Base64(win32::ToAnsi(parts->user + ":" + parts->password)) + "\r\n";
        try {
            try {
                return exchange(*parts, request, deadline);
            } catch (const LostKeptConnection&) {
                // The router closed the kept connection as we sent (routers drop
                // idle ones when they like): once more on a new one, as HTTP
                // clients do with requests that change nothing.
                connection_.reset();
                return exchange(*parts, request, deadline);
            }
        } catch (...) {
            // Whatever state the connection is in, the next request starts afresh.
            connection_.reset();
            throw;
        }
    }

private:
    HINTERNET connect(const win32::UrlParts& parts) {
        if (!session_.get()) {
            session_.reset(InternetOpenA("vxstat", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
            if (!session_.get()) Fail("The Internet session could not be opened");
        }
        if (!connection_.get() || host_ != parts.host || port_ != parts.port) {
            connection_.reset(InternetConnectA(session_.get(), win32::ToAnsi(parts.host).c_str(),
                                               static_cast<INTERNET_PORT>(parts.port), nullptr, nullptr,
                                               INTERNET_SERVICE_HTTP, 0, 0));
            if (!connection_.get()) Fail("The router could not be reached");
            host_ = parts.host;
            port_ = parts.port;
        }
        return connection_.get();
    }

    // A request on a kept connection that the far end had closed, before any
    // answer came (a failed request like any other where it is not retried).
    struct LostKeptConnection : RuntimeError {
        using RuntimeError::RuntimeError;
    };

    UrlResponse exchange(const win32::UrlParts& parts, const Request& r, ULONGLONG deadline) {
        const bool kept = connection_.get() && host_ == parts.host && port_ == parts.port;
        HINTERNET connection = connect(parts);
        // No cache, no cookies, no dialogs, and no authentication of WinINet's
        // own: a 401 answer comes back with its page like any other.
        const DWORD flags = r.flags | INTERNET_FLAG_NO_AUTH | INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_COOKIES |
                            INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                            INTERNET_FLAG_KEEP_CONNECTION;
        InternetHandle request(HttpOpenRequestA(connection, r.verb, win32::ToAnsi(parts.path).c_str(), "HTTP/1.1",
                                                nullptr, nullptr, flags, 0));
        if (!request.get()) Fail("The request could not be made");
        // Set on the request itself: not every WinINet hands the session's down.
        SetTimeout(request.get(), INTERNET_OPTION_CONNECT_TIMEOUT, std::min(kConnectTimeoutMs, Remaining(deadline)));
        SetTimeout(request.get(), INTERNET_OPTION_SEND_TIMEOUT, Remaining(deadline));
        SetTimeout(request.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, Remaining(deadline));

        void* body = r.body ? const_cast<char*>(r.body->data()) : nullptr;
        const DWORD bodySize = r.body ? static_cast<DWORD>(r.body->size()) : 0;
        if (!HttpSendRequestA(request.get(), r.headers.empty() ? nullptr : r.headers.c_str(),
                              static_cast<DWORD>(r.headers.size()), body, bodySize)) {
            const DWORD error = GetLastError();
            if (kept && GetTickCount64() < deadline &&
                (error == ERROR_INTERNET_CONNECTION_ABORTED || error == ERROR_INTERNET_CONNECTION_RESET))
                throw LostKeptConnection(kErrInternet, "The request failed (error " + std::to_string(error) + ")");
            Fail("The request failed");
        }

        UrlResponse response;
        DWORD status = 0, size = sizeof status;
        if (HttpQueryInfoA(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
            response.status = static_cast<long>(status);

        char chunk[8192];
        for (;;) {
            if (GetTickCount64() >= deadline) throw RuntimeError(kErrInternet, "The page took too long to arrive");
            SetTimeout(request.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, Remaining(deadline));
            DWORD got = 0;
            if (!InternetReadFile(request.get(), chunk, sizeof chunk, &got)) Fail("The page could not be read");
            if (got == 0) break;
            if (response.body.size() + got > kMaxBodyBytes) throw RuntimeError(kErrInternet, "The page is too large");
            response.body.append(chunk, got);
        }
        // The page as text: the router's bytes are in the system's code page.
        if (r.ansiBody) response.body = win32::FromAnsi(response.body);
        return response;
    }

    InternetHandle session_;
    InternetHandle connection_;
    std::string host_;
    unsigned port_ = 0;
};

// A worker's own connection: the readings' fetch, the gateway's SOAP calls.
class WinInetSession : public HttpSession {
public:
    UrlResponse get(const std::string& url, const std::string& header) override {
        Request r;
        r.ansiBody = true;
        if (!header.empty()) {
            CheckHeaderLine(header);
            r.headers = header + "\r\n";
        }
        return kept_.send(url, std::move(r));
    }
    UrlResponse post(const std::string& url, const std::string& contentType, const std::string& header,
                     const std::string& body) override {
        CheckHeaderLine(header);
        Request r;
        r.verb = "POST";
        r.headers = "Content-Type: " + contentType + "\r\n" + (header.empty() ? "" : header + "\r\n");
        r.body = &body;
        // A POST redirected would come back as a GET.
        r.flags = INTERNET_FLAG_NO_AUTO_REDIRECT;
        return kept_.send(url, std::move(r));
    }

private:
    KeptConnection kept_;
};

}  // namespace

void CheckHeaderLine(const std::string& header) {
    if (header.find_first_of("\r\n") != std::string::npos)
        throw RuntimeError(kErrInternet, "A request header may not hold a line break");
}

UrlResponse OpenURL(const std::string& url) {
    // One kept connection for the program's readings. Never destroyed: it
    // must not be torn down at exit under a reading still on its way.
    static std::mutex guard;
    // NOLINTNEXTLINE(cppcoreguidelines-avoid-non-const-global-variables): used under the guard only
    static KeptConnection* const kept = new KeptConnection;
    std::lock_guard<std::mutex> lock(guard);
    Request r;
    r.ansiBody = true;
    return kept->send(url, std::move(r));
}

std::unique_ptr<HttpSession> CreateHttpSession() { return std::make_unique<WinInetSession>(); }

}  // namespace vx::platform
