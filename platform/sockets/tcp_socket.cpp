// The TCP client over a non-blocking socket. Nothing here waits: connecting
// finishes in the background and is checked with a zero time-out whenever
// the client is used; reads take what has arrived, writes queue what the
// kernel does not take at once.
//
// What differs between POSIX sockets and Winsock sits in the few Os* names at
// the top; everything below them is shared.
#include "platform/net.h"
#include "runtime/errors.h"

#ifdef _WIN32
#include "platform/win32/backend.h"  // the program's headers before <windows.h>

#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string>

namespace vx::platform {

namespace {

// ---- operating system --------------------------------------------------------

enum class Outcome { Pending, Connected, Failed };

#ifdef _WIN32

using Handle = SOCKET;
const Handle kNoSocket = INVALID_SOCKET;
using IoSize = int;
constexpr int kIoFlags = 0;

void OsStartup() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    (void)started;
}

Handle OsSocket(int family) {
    Handle s = ::socket(family, SOCK_STREAM, 0);
    u_long nonBlocking = 1;
    if (s != kNoSocket && ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
        closesocket(s);
        return kNoSocket;
    }
    return s;
}

bool OsInterrupted() { return false; }
bool OsWouldBlock() { return WSAGetLastError() == WSAEWOULDBLOCK; }
bool OsConnecting() { return OsWouldBlock(); }
void OsClose(Handle s) { closesocket(s); }

// Winsock reports a failed connection among the "exceptions".
Outcome OsConnectOutcome(Handle s) {
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    timeval now{0, 0};
    int ready = ::select(0, nullptr, &writable, &failed, &now);
    if (ready == 0) return Outcome::Pending;
    if (ready < 0 || FD_ISSET(s, &failed)) return Outcome::Failed;
    int error = 0;
    int length = sizeof error;
    if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0 || error != 0)
        return Outcome::Failed;
    return Outcome::Connected;
}

// Host names, and what goes to the router and comes from it, are in the
// ANSI code page.
std::string OsToWire(const std::string& text) { return win32::ToAnsi(text); }
void OsFromWire(std::string& bytes) { bytes = win32::FromAnsi(bytes); }

#else

using Handle = int;
constexpr Handle kNoSocket = -1;
using IoSize = std::size_t;
// MSG_NOSIGNAL: a closed peer is an error here, never SIGPIPE.
constexpr int kIoFlags = MSG_DONTWAIT | MSG_NOSIGNAL;

void OsStartup() {}
Handle OsSocket(int family) { return ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0); }
bool OsInterrupted() { return errno == EINTR; }
bool OsWouldBlock() { return errno == EAGAIN || errno == EWOULDBLOCK; }
bool OsConnecting() { return errno == EINPROGRESS; }
void OsClose(Handle s) { ::close(s); }

Outcome OsConnectOutcome(Handle s) {
    pollfd p{s, POLLOUT, 0};
    int ready = ::poll(&p, 1, 0);
    if (ready == 0 || (ready < 0 && errno == EINTR)) return Outcome::Pending;
    if (ready < 0) return Outcome::Failed;
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) return Outcome::Failed;
    return Outcome::Connected;
}

// The program's UTF-8 goes out as it is.
std::string OsToWire(const std::string& text) { return text; }
void OsFromWire(std::string&) {}

#endif

struct Address {
    sockaddr_storage storage{};
    socklen_t length = 0;
    int family = AF_UNSPEC;
};

// Address literals first: they never block. A host name falls back to the
// resolver, which may take as long as the system's resolver takes.
std::optional<Address> Resolve(const std::string& host, long port) {
    if (host.empty() || port < 1 || port > 65535) return std::nullopt;
    OsStartup();
    const std::string name = OsToWire(host);
    const std::string service = std::to_string(port);
    for (int flags : {AI_NUMERICHOST | AI_NUMERICSERV, AI_NUMERICSERV}) {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = flags;
        addrinfo* found = nullptr;
        if (::getaddrinfo(name.c_str(), service.c_str(), &hints, &found) != 0 || found == nullptr) continue;
        Address a;
        std::memcpy(&a.storage, found->ai_addr, found->ai_addrlen);
        a.length = static_cast<socklen_t>(found->ai_addrlen);
        a.family = found->ai_family;
        ::freeaddrinfo(found);
        return a;
    }
    return std::nullopt;
}

// Starts connecting; `pending` tells whether the connection is still under
// way. kNoSocket when it failed at once.
Handle StartConnect(const Address& a, bool& pending) {
    Handle s = OsSocket(a.family);
    if (s == kNoSocket) return kNoSocket;
    if (::connect(s, reinterpret_cast<const sockaddr*>(&a.storage), a.length) == 0) {
        pending = false;
        return s;
    }
    if (OsConnecting()) {
        pending = true;
        return s;
    }
    OsClose(s);
    return kNoSocket;
}

// Bytes moved (> 0); 0 when nothing can move now; -1 when the peer has
// closed (reads only); -2 on a failed connection.
constexpr long kPeerClosed = -1;
constexpr long kBroken = -2;

long Receive(Handle s, char* buffer, std::size_t size) {
    for (;;) {
        const auto n = ::recv(s, buffer, static_cast<IoSize>(size), kIoFlags);
        if (n > 0) return static_cast<long>(n);
        if (n == 0) return kPeerClosed;
        if (!OsInterrupted()) return OsWouldBlock() ? 0 : kBroken;
    }
}

long Send(Handle s, const char* data, std::size_t size) {
    for (;;) {
        const auto n = ::send(s, data, static_cast<IoSize>(size), kIoFlags);
        if (n >= 0) return static_cast<long>(n);
        if (!OsInterrupted()) return OsWouldBlock() ? 0 : kBroken;
    }
}

// ---- the client ----------------------------------------------------------------

constexpr int kErrConnectionReset = 10054;
constexpr int kErrNoBufferSpace = 10055;
// Unsent text a peer that stopped reading can make us hold.
constexpr std::size_t kMaxSendQueueBytes = std::size_t{1024} * 1024;
constexpr std::size_t kReadChunk = std::size_t{16} * 1024;

[[noreturn]] void NotConnected() {
    throw RuntimeError(kErrSocketNotConnected,
                       "Wrong protocol or connection state for the requested transaction or request");
}

class SocketClient : public TcpClient {
public:
    ~SocketClient() override { Close(); }

    // A client that is already open starts over.
    void Connect() override {
        Close();
        std::optional<Address> address = Resolve(RemoteHost, RemotePort);
        if (!address) {
            state_ = SocketState::Error;
            return;
        }
        bool pending = false;
        socket_ = StartConnect(*address, pending);
        if (socket_ == kNoSocket) {
            state_ = SocketState::Error;
            return;
        }
        state_ = pending ? SocketState::Connecting : SocketState::Connected;
    }

    // At most kMaxReceiveBytes a call, the oldest first; the rest waits in the
    // kernel (whose buffer is bounded, and TCP then holds the peer back), so a
    // flooding peer costs neither memory nor an endless loop, and nothing is
    // lost or reordered. When the peer has closed, what it sent before is
    // still returned; the client is closed from then on.
    void GetData(std::string& data) override {
        Settle();
        if (state_ != SocketState::Connected) NotConnected();
        data.clear();
        // Read through a small fixed buffer: a tick's reply is a few hundred
        // bytes, and growing the text by whole chunks would allocate and free
        // a large block every tick.
        char chunk[kReadChunk];
        while (data.size() < kMaxReceiveBytes) {
            std::size_t want = std::min(kReadChunk, kMaxReceiveBytes - data.size());
            long n = Receive(socket_, chunk, want);
            if (n > 0) data.append(chunk, static_cast<std::size_t>(n));
            if (n == 0) break;
            if (n == kPeerClosed) {
                Drop(SocketState::Closed);
                break;
            }
            if (n == kBroken) {
                Drop(SocketState::Error);
                break;
            }
        }
        if (state_ == SocketState::Connected && !unsent_.empty()) Flush();
        OsFromWire(data);
    }

    void SendData(const std::string& data) override {
        Settle();
        if (state_ != SocketState::Connected) NotConnected();
        const std::string wire = OsToWire(data);
        if (unsent_.size() + wire.size() > kMaxSendQueueBytes)
            throw RuntimeError(kErrNoBufferSpace, "No buffer space is available");
        unsent_ += wire;
        if (!Flush()) throw RuntimeError(kErrConnectionReset, "The connection is reset by remote side");
    }

    SocketState State() override {
        Settle();
        return state_;
    }

    void Close() override {
        if (socket_ != kNoSocket) OsClose(socket_);
        socket_ = kNoSocket;
        unsent_.clear();
        state_ = SocketState::Closed;
    }

private:
    // Finishes a connection that was under way, without waiting.
    void Settle() {
        if (state_ != SocketState::Connecting) return;
        switch (OsConnectOutcome(socket_)) {
        case Outcome::Pending: break;
        case Outcome::Connected: state_ = SocketState::Connected; break;
        case Outcome::Failed: Drop(SocketState::Error); break;
        }
    }

    // Hands the kernel what it takes now. False when the connection broke.
    bool Flush() {
        std::size_t done = 0;
        while (done < unsent_.size()) {
            long n = Send(socket_, unsent_.data() + done, unsent_.size() - done);
            if (n == kBroken) {
                Drop(SocketState::Error);
                return false;
            }
            if (n == 0) break;
            done += static_cast<std::size_t>(n);
        }
        unsent_.erase(0, done);
        return true;
    }

    void Drop(SocketState state) {
        Close();
        state_ = state;
    }

    Handle socket_ = kNoSocket;
    SocketState state_ = SocketState::Closed;
    std::string unsent_;
};

}  // namespace

std::unique_ptr<TcpClient> CreateTcpClient() { return std::make_unique<SocketClient>(); }

}  // namespace vx::platform
