// The network pieces: a URL fetch (synchronous, and one on a worker for the
// readings) and a TCP client.
#pragma once

#include <any>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace vx::platform {

struct UrlResponse {
    long status = 0;   // HTTP status code
    std::string body;  // the whole body, also for error statuses
};

// Fetches the URL synchronously; user and password from its user-info go out
// as basic authentication. A transport failure, a time-out or a body over
// kMaxBodyBytes raises a run-time error.
inline constexpr std::size_t kMaxBodyBytes = std::size_t{1024} * 1024;
UrlResponse OpenURL(const std::string& url);

// What a fetch on the worker came to: the response, or the text of the
// run-time error OpenURL would have raised; and what the request's digest
// made of the response.
struct FetchOutcome {
    std::optional<UrlResponse> response;
    std::string error;
    std::any digest;  // empty without a digest or a response
};

// The readings' fetch: one request at a time on a worker of the backend's, so
// that a router that accepts and never answers cannot hold the window up.
// Each request ends or times out (as OpenURL's) before the next can start.
class UrlFetch {
public:
    // Turns a response into what its reader needs, on the worker, so that
    // making sense of a large page never holds the window up either. It must
    // be safe to run on another thread; what it throws fails the fetch.
    using Digest = std::function<std::any(const UrlResponse&)>;

    virtual ~UrlFetch() = default;
    // Starts fetching `url`, unless a fetch is under way; returns at once.
    // `digest` (may be empty) runs on the response where it was fetched.
    // `header` is one more request header line ("Name: value"), or empty; a
    // header with a line break fails the fetch rather than go out split.
    virtual void start(const std::string& url, Digest digest, const std::string& header = {}) = 0;
    // The fetch that has finished, once; nothing while one is under way.
    virtual std::optional<FetchOutcome> take() = 0;
};
std::unique_ptr<UrlFetch> CreateUrlFetch();

// A response with its digest run, as a UrlFetch hands it over.
inline FetchOutcome DigestResponse(UrlResponse response, const UrlFetch::Digest& digest) {
    FetchOutcome outcome;
    try {
        if (digest) outcome.digest = digest(response);
        outcome.response = std::move(response);
    } catch (const std::exception& e) {
        outcome.error = e.what();
    }
    return outcome;
}

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
inline constexpr std::size_t kMaxReceiveBytes = std::size_t{1024} * 1024;

std::unique_ptr<TcpClient> CreateTcpClient();

}  // namespace vx::platform
