// The TCP client with non-blocking Winsock: connecting never blocks the
// timer-driven reader; text goes out and comes in in the ANSI code page.
#include "platform/win32/backend.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include "runtime/errors.h"

namespace vx::platform {

namespace {

void StartWinsock() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    (void)started;
}

[[noreturn]] void NotConnected() {
    throw RuntimeError(kErrSocketNotConnected,
                       "Wrong protocol or connection state for the requested transaction or request");
}

class WinsockClient : public TcpClient {
public:
    ~WinsockClient() override { Close(); }

    void Connect() override {
        Close();
        StartWinsock();
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_protocol = IPPROTO_TCP;
        hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
        std::string host = win32::ToAnsi(RemoteHost);
        std::string port = std::to_string(RemotePort);
        addrinfo* found = nullptr;
        // An address needs no lookup; only a name may wait for one.
        if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0) {
            hints.ai_flags = AI_NUMERICSERV;
            if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0) {
                state_ = SocketState::Error;
                return;
            }
        }
        state_ = SocketState::Error;
        for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
            socket_ = ::socket(a->ai_family, a->ai_socktype, a->ai_protocol);
            if (socket_ == INVALID_SOCKET) continue;
            u_long nonBlocking = 1;
            ioctlsocket(socket_, FIONBIO, &nonBlocking);
            if (::connect(socket_, a->ai_addr, static_cast<int>(a->ai_addrlen)) == 0) {
                state_ = SocketState::Connected;
                break;
            }
            if (WSAGetLastError() == WSAEWOULDBLOCK) {
                state_ = SocketState::Connecting;
                break;
            }
            closesocket(socket_);
            socket_ = INVALID_SOCKET;
        }
        freeaddrinfo(found);
    }

    void GetData(std::string& data) override {
        if (State() != SocketState::Connected) NotConnected();
        std::string received;
        char chunk[4096];
        for (;;) {
            int n = ::recv(socket_, chunk, sizeof chunk, 0);
            if (n > 0) {
                // What goes beyond the limit is read and dropped.
                std::size_t room = kMaxReceiveBytes - received.size();
                received.append(chunk, std::min(room, static_cast<std::size_t>(n)));
                continue;
            }
            if (n == 0) {
                state_ = SocketState::Closed;  // the router hung up; this text is the last
            } else if (WSAGetLastError() != WSAEWOULDBLOCK) {
                state_ = SocketState::Error;
            }
            break;
        }
        data = win32::FromAnsi(received);
    }

    void SendData(const std::string& data) override {
        if (State() != SocketState::Connected) NotConnected();
        unsent_ += win32::ToAnsi(data);
        flush();
        if (state_ != SocketState::Connected) NotConnected();
    }

    SocketState State() override {
        if (state_ == SocketState::Connecting) finishConnect();
        if (state_ == SocketState::Connected) flush();
        return state_;
    }

    void Close() override {
        if (socket_ != INVALID_SOCKET) closesocket(socket_);
        socket_ = INVALID_SOCKET;
        unsent_.clear();
        state_ = SocketState::Closed;
    }

private:
    void finishConnect() {
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(socket_, &writable);
        FD_SET(socket_, &failed);
        timeval now{0, 0};
        if (select(0, nullptr, &writable, &failed, &now) <= 0) return;  // still on its way
        int error = 0;
        int size = sizeof error;
        getsockopt(socket_, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size);
        state_ = FD_ISSET(socket_, &failed) || error != 0 ? SocketState::Error : SocketState::Connected;
    }

    // Sends what the socket takes now; the rest waits for the next call.
    void flush() {
        while (!unsent_.empty()) {
            int n = ::send(socket_, unsent_.data(), static_cast<int>(unsent_.size()), 0);
            if (n > 0) {
                unsent_.erase(0, static_cast<std::size_t>(n));
                continue;
            }
            if (WSAGetLastError() != WSAEWOULDBLOCK) state_ = SocketState::Error;
            break;
        }
    }

    SOCKET socket_ = INVALID_SOCKET;
    SocketState state_ = SocketState::Closed;
    std::string unsent_;
};

}  // namespace

std::unique_ptr<TcpClient> CreateTcpClient() { return std::make_unique<WinsockClient>(); }

}  // namespace vx::platform
