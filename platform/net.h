// The two network pieces: a synchronous URL fetch (the Internet transfer
// control's open-URL) and a TCP client (the Winsock control).
#pragma once

#include <memory>
#include <string>

namespace vx::platform {

struct UrlResponse {
    long status = 0;   // HTTP status code
    std::string body;  // the whole body, also for error statuses
};

// Fetches the URL synchronously; user and password from its user-info go out
// as basic authentication. A transport failure, a time-out or a body over
// kMaxBodyBytes raises a run-time error.
inline constexpr std::size_t kMaxBodyBytes = 1024 * 1024;
UrlResponse OpenURL(const std::string& url);

enum class SocketState { Closed = 0, Connecting = 6, Connected = 7, Error = 9 };

class TcpClient {
public:
    virtual ~TcpClient() = default;
    std::string RemoteHost;
    long RemotePort = 0;
    // Starts connecting to RemoteHost:RemotePort; never blocks.
    virtual void Connect() = 0;
    // Everything received since the last call; an error when not connected.
    virtual void GetData(std::string& data) = 0;
    // Queues text to send; an error when not connected.
    virtual void SendData(const std::string& data) = 0;
    virtual SocketState State() = 0;
    virtual void Close() = 0;
};

// At most this much received text is taken by one read; the rest waits for the
// next one.
inline constexpr std::size_t kMaxReceiveBytes = 1024 * 1024;

std::unique_ptr<TcpClient> CreateTcpClient();

}  // namespace vx::platform
