// The recorder's HTTP server (libmicrohttpd on its own thread): answers from
// the last snapshot the tick published, so that no client can delay a tick.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "recorder/Options.h"
#include "recorder/Snapshot.h"

struct MHD_Daemon;
struct MHD_Connection;

namespace vx::recorder {

// Bounds on what clients may take.
inline constexpr unsigned kMaxConnections = 32;
inline constexpr unsigned kMaxConnectionsPerAddress = 8;
inline constexpr unsigned kConnectionTimeoutSeconds = 10;
inline constexpr std::size_t kConnectionMemory = std::size_t{32} * 1024;  // a request's headers must fit

struct HistorySettings {
    std::string file;  // history.db
    int monthStartDay = 1;
    std::optional<double> quota;
};

class Server {
public:
    Server(const SnapshotBox& box, ServerSettings settings, HistorySettings history);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Listens; false with `error` set when the address cannot be had.
    bool start(std::string& error);
    void stop();

    // One request; public for the library's callback.
    int answer(MHD_Connection* connection, const std::string& url, const std::string& method);

private:
    bool authorized(MHD_Connection* connection) const;

    const SnapshotBox& box_;
    ServerSettings settings_;
    HistorySettings history_;
    MHD_Daemon* daemon_ = nullptr;
};

// The page at "/", and the one that asks for the token.
extern const char* const kPage;
extern const char* const kTokenPage;

}  // namespace vx::recorder
