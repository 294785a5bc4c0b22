// The recorder's command line and its own boot.ini keys.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vx::recorder {

// Not among the well-known exporters' ports (README).
inline constexpr std::uint16_t kDefaultPort = 9788;

extern const char* const kUsage;

struct Options {
    bool help = false, version = false;
    std::string config;  // boot.ini's folder
    std::string data;    // userstats.txt's and history.db's folder; by default the config folder
    std::string listen;  // ADDR:PORT from the command line; empty: boot.ini's Listen=, else 127.0.0.1
};

// None with `error` set for a command line that does not make sense.
std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string& error);

// An address to listen on: IPv4, or IPv6 written in brackets ("[::1]:9788").
struct ListenAddress {
    bool ipv6 = false;
    in_addr v4{};
    in6_addr v6{};
    // 127.0.0.1 or ::1: only this machine reaches it.
    bool loopback() const;
};

struct ServerSettings {
    std::string listen;  // as given, ADDR:PORT
    ListenAddress address;
    std::uint16_t port = kDefaultPort;
    std::string token;  // required of every request when not empty
};

// Where to listen and the token, from the command line and boot.ini's
// [Settings] Listen= and Token=. False with `error` set when an address
// other than 127.0.0.1 or ::1 is asked for without a token of at least 16
// characters, or the address does not read.
bool ReadServerSettings(const Options& options, const std::string& bootIni, ServerSettings& out, std::string& error);

// "ADDR:PORT" (IPv4) or "[ADDR]:PORT" (IPv6) as an address and a port.
bool ParseListen(const std::string& text, ListenAddress& address, std::uint16_t& port);

}  // namespace vx::recorder
