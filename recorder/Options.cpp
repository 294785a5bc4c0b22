#include "recorder/Options.h"

#include <arpa/inet.h>

#include <cstdlib>

#include "traffic/modFunctions.h"

namespace vx::recorder {

const char* const kUsage =
    "usage: vxstat-recorder --config DIR [--data DIR] [--listen ADDR:PORT]\n"
    "       vxstat-recorder --help | --version\n"
    "Records one router's WAN traffic with no window and serves it over HTTP:\n"
    "/metrics for Prometheus, /api/v1/now and /api/v1/history/{hours,days,months}\n"
    "as JSON, and a live page at /.\n"
    "  --config DIR   the folder of boot.ini (the same keys as vxstat's; Token= and\n"
    "                 Listen= in [Settings] too)\n"
    "  --data DIR     the folder of userstats.txt and history.db (default: DIR)\n"
    "  --listen A:P   the address and port to serve on (default 127.0.0.1:9788;\n"
    "                 IPv6 in brackets: [::1]:9788); any address but\n"
    "                 127.0.0.1 and ::1 needs Token= in boot.ini\n"
    "  --help         print this help\n"
    "  --version      print the version\n";

std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string& error) {
    Options options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help") {
            options.help = true;
            continue;
        }
        if (arg == "--version") {
            options.version = true;
            continue;
        }
        std::string* value = arg == "--config"   ? &options.config
                             : arg == "--data"   ? &options.data
                             : arg == "--listen" ? &options.listen
                                                 : nullptr;
        if (value == nullptr) {
            error = "unknown argument " + arg;
            return std::nullopt;
        }
        if (i + 1 >= args.size() || args[i + 1].empty()) {
            error = arg + " needs a value";
            return std::nullopt;
        }
        *value = args[++i];
    }
    if (options.help || options.version) return options;
    if (options.config.empty()) {
        error = "--config DIR is needed";
        return std::nullopt;
    }
    if (options.data.empty()) options.data = options.config;
    return options;
}

bool ListenAddress::loopback() const {
    if (ipv6) return IN6_IS_ADDR_LOOPBACK(&v6);
    in_addr local{};
    ::inet_pton(AF_INET, "127.0.0.1", &local);
    return v4.s_addr == local.s_addr;
}

bool ParseListen(const std::string& text, ListenAddress& address, std::uint16_t& port) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon + 1 >= text.size()) return false;
    ListenAddress parsed;
    const std::string host = text.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        parsed.ipv6 = true;
        if (::inet_pton(AF_INET6, host.substr(1, host.size() - 2).c_str(), &parsed.v6) != 1) return false;
    } else if (::inet_pton(AF_INET, host.c_str(), &parsed.v4) != 1) {
        return false;
    }
    const std::string digits = text.substr(colon + 1);
    if (digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos) return false;
    const long number = std::strtol(digits.c_str(), nullptr, 10);
    if (number < 1 || number > 65535) return false;
    address = parsed;
    port = static_cast<std::uint16_t>(number);
    return true;
}

bool ReadServerSettings(const Options& options, const std::string& bootIni, ServerSettings& out, std::string& error) {
    std::string listen = options.listen;
    if (listen.empty()) listen = ReadIniValue("Settings", "Listen", bootIni);
    if (listen.empty()) listen = "127.0.0.1:" + std::to_string(kDefaultPort);
    if (!ParseListen(listen, out.address, out.port)) {
        error = "cannot listen on \"" + listen +
                "\": give an address and a port, as 127.0.0.1:" + std::to_string(kDefaultPort) +
                " or [::1]:" + std::to_string(kDefaultPort);
        return false;
    }
    out.listen = listen;
    out.token = ReadIniValue("Settings", "Token", bootIni);
    // Plain characters only: the token goes in a header and a browser's cookie as it is.
    if (out.token.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_.~") !=
        std::string::npos) {
        error = "the Token= in " + bootIni + " may hold only letters, digits, '-', '_', '.' and '~'";
        return false;
    }
    if (!out.address.loopback() && out.token.size() < 16) {
        error = "not listening on " + listen + ": any address but 127.0.0.1 and ::1 can be reached by others, so " +
                bootIni + " must set Token= (at least 16 characters) in [Settings], which every request " +
                "then carries as \"Authorization: Bearer TOKEN\"";
        return false;
    }
    return true;
}

}  // namespace vx::recorder
