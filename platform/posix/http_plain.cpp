// HTTP/1.1 over a plain POSIX socket: synchronous, bounded requests, the
// user-info sent as basic authentication. The router only ever speaks plain
// HTTP on the local network, so no TLS, proxy or name-service library is
// loaded for it (a general HTTP library brought several MiB of them into
// every process). A session keeps its connection to the host between
// requests where the server allows it, and makes a new one when the server
// has closed the kept one meanwhile.
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

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

using Clock = std::chrono::steady_clock;

// An unreachable or silent router costs a tick at most this much.
constexpr auto kConnectTimeout = std::chrono::milliseconds(1000);
constexpr auto kTotalTimeout = std::chrono::milliseconds(2000);
// A status line and headers longer than this are no router's.
constexpr std::size_t kMaxHeaderBytes = std::size_t{64} * 1024;

// Error texts never carry the URL, which holds the password.
[[noreturn]] void Fail(const std::string& what) {
    throw RuntimeError(kErrInternet, "The router's page could not be fetched: " + what);
}

[[noreturn]] void TooLarge() { Fail("the page is larger than 1 MiB"); }

// The server closed a kept connection before answering: the request may go
// again on a new one.
struct Stale {};

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

unsigned Byte(char c) { return static_cast<unsigned char>(c); }

std::string Base64(const std::string& in) {
    static const char* const digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::size_t i = 0;
    for (; i + 2 < in.size(); i += 3) {
        const unsigned v = Byte(in[i]) << 16 | Byte(in[i + 1]) << 8 | Byte(in[i + 2]);
        for (int shift : {18, 12, 6, 0}) out += digits[(v >> shift) & 63];
    }
    if (i < in.size()) {
        const bool two = i + 1 < in.size();
        const unsigned v = Byte(in[i]) << 16 | (two ? Byte(in[i + 1]) << 8 : 0U);
        out += digits[(v >> 18) & 63];
        out += digits[(v >> 12) & 63];
        out += two ? digits[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

struct Target {
    std::string host;  // without brackets
    std::string port;
    std::string hostHeader;
    std::string path;
    UrlWithoutUserInfo auth;
};

Target ParseUrl(const std::string& url) {
    Target t;
    t.auth = SplitUserInfo(url);
    const std::string& rest = t.auth.url;
    const std::size_t scheme = rest.find("://");
    if (scheme == std::string::npos || !EqualNoCase(std::string_view(rest).substr(0, scheme), "http"))
        Fail("only http:// is spoken");
    const std::size_t start = scheme + 3;
    const std::size_t end = rest.find_first_of("/?#", start);
    const std::string authority = rest.substr(start, end == std::string::npos ? std::string::npos : end - start);
    std::string path = end == std::string::npos ? "/" : rest.substr(end);
    path = path.substr(0, path.find('#'));
    if (path.empty() || path[0] != '/') path.insert(0, "/");
    for (char c : path)
        if (static_cast<unsigned char>(c) <= ' ' || c == 127) Fail("the address is not valid");
    t.path = path;

    std::string port;
    if (!authority.empty() && authority[0] == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string::npos) Fail("the address is not valid");
        t.host = authority.substr(1, close - 1);
        if (close + 1 < authority.size()) {
            if (authority[close + 1] != ':') Fail("the address is not valid");
            port = authority.substr(close + 2);
        }
    } else {
        const std::size_t colon = authority.rfind(':');
        t.host = authority.substr(0, colon);
        if (colon != std::string::npos) port = authority.substr(colon + 1);
    }
    if (t.host.empty()) Fail("no host in the address");
    for (char c : t.host)
        if (static_cast<unsigned char>(c) <= ' ' || c == 127) Fail("the host could not be found");
    if (port.empty()) port = "80";
    if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos || std::stoi(port) < 1 ||
        std::stoi(port) > 65535)
        Fail("the port is not valid");
    t.port = std::to_string(std::stoi(port));
    const std::string host = t.host.find(':') != std::string::npos ? "[" + t.host + "]" : t.host;
    t.hostHeader = t.port == "80" ? host : host + ":" + t.port;
    return t;
}

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Waits for `events` on `fd` until the deadline; false when it passed.
bool WaitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, MillisecondsLeft(deadline));
        if (n > 0) return true;
        if (n == 0) return false;
        if (errno != EINTR) Fail(std::generic_category().message(errno));
    }
}

// The addresses of a host: an address as typed at once; a name looked up on
// the resolver's own thread and waited for no longer than a connection may
// take. A lookup that outlasts its wait is kept, not started again, so a
// name server that never answers costs one lookup, not one a reading.
class Resolver {
public:
    Resolver() = default;
    ~Resolver() {
        // One still under way finishes on its own thread: its record must
        // outlive it.
        if (pending_ && ::gai_cancel(&pending_->request) == EAI_NOTCANCELED) static_cast<void>(pending_.release());
    }
    Resolver(const Resolver&) = delete;
    Resolver& operator=(const Resolver&) = delete;

    // The caller frees the list with freeaddrinfo.
    addrinfo* resolve(const Target& t, Clock::time_point deadline) {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
        addrinfo* found = nullptr;
        if (::getaddrinfo(t.host.c_str(), t.port.c_str(), &hints, &found) == 0 && found) return found;

        if (!pending_ || pending_->host != t.host || pending_->port != t.port) {
            abandon();
            auto lookup = std::make_unique<Lookup>();
            lookup->host = t.host;
            lookup->port = t.port;
            lookup->hints.ai_family = AF_UNSPEC;
            lookup->hints.ai_socktype = SOCK_STREAM;
            lookup->hints.ai_flags = AI_NUMERICSERV;
            lookup->request.ar_name = lookup->host.c_str();
            lookup->request.ar_service = lookup->port.c_str();
            lookup->request.ar_request = &lookup->hints;
            gaicb* list[] = {&lookup->request};
            if (::getaddrinfo_a(GAI_NOWAIT, list, 1, nullptr) != 0) Fail("the host could not be found");
            pending_ = std::move(lookup);
        }
        for (;;) {
            const int state = ::gai_error(&pending_->request);
            if (state == EAI_INPROGRESS) {
                const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - Clock::now());
                if (left.count() <= 0) Fail("the host could not be found in time");
                const timespec wait{static_cast<time_t>(left.count() / 1000000000),
                                    static_cast<long>(left.count() % 1000000000)};
                const gaicb* list[] = {&pending_->request};
                ::gai_suspend(list, 1, &wait);
                continue;
            }
            const std::unique_ptr<Lookup> done = std::move(pending_);
            if (state != 0 || !done->request.ar_result) Fail("the host could not be found");
            return done->request.ar_result;
        }
    }

private:
    struct Lookup {
        std::string host;
        std::string port;
        addrinfo hints{};
        gaicb request{};
    };

    void abandon() {
        if (!pending_) return;
        if (::gai_cancel(&pending_->request) == EAI_NOTCANCELED) {
            static_cast<void>(pending_.release());  // see the destructor
        } else if (::gai_error(&pending_->request) == 0 && pending_->request.ar_result) {
            ::freeaddrinfo(pending_->request.ar_result);
        }
        pending_.reset();
    }

    std::unique_ptr<Lookup> pending_;  // a lookup that outlasted its wait
};

class Connection {
public:
    Connection() = default;
    ~Connection() { close(); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool open() const { return fd_ >= 0; }
    const std::string& key() const { return key_; }
    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        key_.clear();
        buffer_.clear();
    }

    // A kept connection the server has closed (or sent something unasked on)
    // reads as ready while idle: it is of no more use.
    bool stillGood() const {
        pollfd p{fd_, POLLIN, 0};
        return ::poll(&p, 1, 0) == 0;
    }

    void connect(const Target& t, Clock::time_point deadline) {
        close();
        const auto connectBy = std::min(deadline, Clock::now() + kConnectTimeout);
        const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> addresses(resolver_.resolve(t, connectBy),
                                                                             &::freeaddrinfo);
        addrinfo* found = addresses.get();
        bool timedOut = false;
        for (const addrinfo* a = found; a; a = a->ai_next) {
            const int fd = ::socket(a->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
            if (fd < 0) continue;
            const int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            int error = ::connect(fd, a->ai_addr, a->ai_addrlen) == 0 ? 0 : errno;
            if (error == EINPROGRESS) {
                if (WaitFor(fd, POLLOUT, connectBy)) {
                    socklen_t length = sizeof error;
                    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
                } else {
                    error = ETIMEDOUT;
                    timedOut = true;
                }
            }
            if (error == 0) {
                fd_ = fd;
                key_ = t.host + " " + t.port;
                return;
            }
            ::close(fd);
            if (timedOut) break;
        }
        Fail(timedOut ? "the connection timed out" : "the router refused the connection");
    }

    void send(const std::string& data, Clock::time_point deadline) {
        std::size_t sent = 0;
        while (sent < data.size()) {
            const ssize_t n = ::send(fd_, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
            if (n > 0) {
                sent += static_cast<std::size_t>(n);
            } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                if (!WaitFor(fd_, POLLOUT, deadline)) Fail("the request timed out");
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else {
                throw Stale{};
            }
        }
    }

    // Reads more into the buffer; false at the end of the stream.
    bool fill(Clock::time_point deadline) {
        char chunk[16384];
        for (;;) {
            const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
            if (n > 0) {
                buffer_.append(chunk, static_cast<std::size_t>(n));
                started_ = true;
                return true;
            }
            if (n == 0) return false;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                if (!WaitFor(fd_, POLLIN, deadline)) Fail("the answer timed out");
            } else if (errno == ECONNRESET && !started_) {
                throw Stale{};
            } else if (errno != EINTR) {
                Fail(std::generic_category().message(errno));
            }
        }
    }

    // The response to the request just sent.
    UrlResponse response(Clock::time_point deadline, bool& keep) {
        started_ = false;
        // Nothing can have come yet: wait first rather than read in vain.
        if (!WaitFor(fd_, POLLIN, deadline)) Fail("the answer timed out");
        for (;;) {
            const std::size_t headerEnd = readHeaders(deadline);
            const std::string head = buffer_.substr(0, headerEnd);
            buffer_.erase(0, headerEnd + 4);
            UrlResponse r;
            bool http11 = false;
            bool chunked = false;
            bool close = false;
            long long length = -1;
            parseHead(head, r.status, http11, chunked, close, length);
            if (r.status >= 100 && r.status < 200) continue;  // an interim answer: the real one follows
            keep = http11 && !close;
            if (r.status == 204 || r.status == 304) return r;
            if (chunked) {
                r.body = readChunked(deadline);
            } else if (length >= 0) {
                if (static_cast<unsigned long long>(length) > kMaxBodyBytes) TooLarge();
                while (buffer_.size() < static_cast<std::size_t>(length))
                    if (!fill(deadline)) Fail("the connection ended early");
                r.body = buffer_.substr(0, static_cast<std::size_t>(length));
                buffer_.erase(0, static_cast<std::size_t>(length));
            } else {
                keep = false;  // the body ends with the connection
                while (fill(deadline))
                    if (buffer_.size() > kMaxBodyBytes) TooLarge();
                r.body = std::move(buffer_);
                buffer_.clear();
            }
            if (!buffer_.empty()) keep = false;  // more than was asked for
            return r;
        }
    }

private:
    std::size_t readHeaders(Clock::time_point deadline) {
        for (;;) {
            const std::size_t end = buffer_.find("\r\n\r\n");
            if (end != std::string::npos) return end;
            if (buffer_.size() > kMaxHeaderBytes) Fail("the answer's headers are too long");
            if (!fill(deadline)) {
                if (!started_) throw Stale{};
                Fail("the connection ended early");
            }
        }
    }

    static void parseHead(const std::string& head, long& status, bool& http11, bool& chunked, bool& close,
                          long long& length) {
        std::string_view rest(head);
        const std::size_t lineEnd = rest.find("\r\n");
        const std::string_view statusLine = rest.substr(0, lineEnd);
        rest.remove_prefix(lineEnd == std::string_view::npos ? rest.size() : lineEnd + 2);
        if (statusLine.size() < 12 || statusLine.substr(0, 7) != "HTTP/1." || statusLine[8] != ' ')
            Fail("the answer is not HTTP");
        http11 = statusLine[7] != '0';
        const std::string_view code = statusLine.substr(9, 3);
        if (code.find_first_not_of("0123456789") != std::string_view::npos) Fail("the answer is not HTTP");
        status = std::stol(std::string(code));
        close = !http11;
        while (!rest.empty()) {
            const std::size_t end = rest.find("\r\n");
            const std::string_view line = rest.substr(0, end);
            rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 2);
            const std::size_t colon = line.find(':');
            if (colon == std::string_view::npos) continue;
            const std::string_view name = Trim(line.substr(0, colon));
            const std::string_view value = Trim(line.substr(colon + 1));
            if (EqualNoCase(name, "content-length")) {
                if (value.empty() || value.size() > 18 || value.find_first_not_of("0123456789") != std::string::npos)
                    Fail("the answer's length is not valid");
                const long long n = std::stoll(std::string(value));
                if (length >= 0 && n != length) Fail("the answer's length is not valid");
                length = n;
            } else if (EqualNoCase(name, "transfer-encoding")) {
                chunked = value.size() >= 7 && EqualNoCase(value.substr(value.size() - 7), "chunked");
                if (!chunked) close = true;  // an encoding we do not take: read to the end
            } else if (EqualNoCase(name, "connection")) {
                if (EqualNoCase(value, "close")) close = true;
                if (EqualNoCase(value, "keep-alive")) close = false;
            }
        }
        if (chunked) length = -1;
    }

    std::string readLine(Clock::time_point deadline) {
        for (;;) {
            const std::size_t end = buffer_.find("\r\n");
            if (end != std::string::npos) {
                std::string line = buffer_.substr(0, end);
                buffer_.erase(0, end + 2);
                return line;
            }
            if (buffer_.size() > kMaxHeaderBytes) Fail("the answer is not valid");
            if (!fill(deadline)) Fail("the connection ended early");
        }
    }

    std::string readChunked(Clock::time_point deadline) {
        std::string body;
        for (;;) {
            const std::string line = readLine(deadline);
            const std::string digits = line.substr(0, line.find(';'));
            const std::string_view size = Trim(digits);
            if (size.empty() || size.size() > 8 ||
                size.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
                Fail("the answer is not valid");
            const std::size_t n = std::stoul(std::string(size), nullptr, 16);
            if (n == 0) break;
            if (body.size() + n > kMaxBodyBytes) TooLarge();
            while (buffer_.size() < n + 2)
                if (!fill(deadline)) Fail("the connection ended early");
            body.append(buffer_, 0, n);
            buffer_.erase(0, n + 2);
        }
        while (!readLine(deadline).empty()) {
        }  // trailers
        return body;
    }

    Resolver resolver_;
    int fd_ = -1;
    std::string key_;       // host and port connected to
    std::string buffer_;    // received and not yet used
    bool started_ = false;  // some of the answer has come
};

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

std::string RequestText(const Target& t, const Request& request) {
    if (request.header) CheckHeaderLine(*request.header);
    std::string text = request.body ? "POST " : "GET ";
    text += t.path + " HTTP/1.1\r\nHost: " + t.hostHeader + "\r\nUser-Agent: vxstat\r\nAccept: */*\r\n";
    if (t.auth.hasUserInfo) text += "Authorization: Basic " + Base64(t.auth.user + ":" + t.auth.password) + "\r\n";
    if (request.header && !request.header->empty()) text += *request.header + "\r\n";
    if (request.body) {
        text += std::string("Content-Type: ") + request.contentType + "\r\n";
        text += "Content-Length: " + std::to_string(request.body->size()) + "\r\n\r\n" + *request.body;
    } else {
        text += "\r\n";
    }
    return text;
}

UrlResponse Perform(Connection& connection, const Request& request) {
    const auto deadline = Clock::now() + kTotalTimeout;
    const Target t = ParseUrl(request.url);
    const std::string text = RequestText(t, request);
    const std::string key = t.host + " " + t.port;
    bool reused = connection.open() && connection.key() == key && connection.stillGood();
    if (!reused) connection.connect(t, deadline);
    for (;;) {
        try {
            bool keep = false;
            connection.send(text, deadline);
            UrlResponse response = connection.response(deadline, keep);
            if (!keep) connection.close();
            return response;
        } catch (const Stale&) {
            connection.close();
            if (!reused) Fail("the connection was reset");
            reused = false;  // the server let the kept one go: once more on a new one
            connection.connect(t, deadline);
        } catch (...) {
            connection.close();
            throw;
        }
    }
}

class PlainSession : public HttpSession {
public:
    UrlResponse get(const std::string& url, const std::string& header) override {
        return Perform(connection_, Request{url, nullptr, &header});
    }
    UrlResponse post(const std::string& url, const std::string& contentType, const std::string& header,
                     const std::string& body) override {
        return Perform(connection_, Request{url, contentType.c_str(), &header, &body});
    }

private:
    Connection connection_;
};

}  // namespace

UrlResponse OpenURL(const std::string& url) {
    // One connection for the program's life, kept where the router allows.
    static Connection connection;
    return Perform(connection, Request{url});
}

std::unique_ptr<HttpSession> CreateHttpSession() { return std::make_unique<PlainSession>(); }

}  // namespace vx::platform
