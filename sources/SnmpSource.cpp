#include "sources/SnmpSource.h"

#include <algorithm>
#include <cstdio>

#include "runtime/clock.h"
#include "runtime/numtext.h"
#include "traffic/modFunctions.h"

namespace vx {

using platform::SnmpFailure;
using platform::SnmpTarget;

namespace {

std::string Trimmed(std::string text) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    while (!text.empty() && text.front() == ' ') text.erase(0, 1);
    return text;
}

// HOST[:PORT] into the target; false when the port is no port.
bool HostAndPort(std::string rest, SnmpTarget& t) {
    while (!rest.empty() && rest.back() == '/') rest.pop_back();
    std::string port;
    if (!rest.empty() && rest.front() == '[') {
        const std::size_t close = rest.find(']');
        if (close == std::string::npos) return false;
        t.host = rest.substr(1, close - 1);
        if (close + 1 < rest.size()) {
            if (rest[close + 1] != ':') return false;
            port = rest.substr(close + 2);
        }
        t.host = "[" + t.host + "]";
    } else {
        const std::size_t colon = rest.find(':');
        t.host = rest.substr(0, colon);
        if (colon != std::string::npos) port = rest.substr(colon + 1);
    }
    if (t.host.empty() || t.host == "[]") return false;
    if (!port.empty()) {
        if (port.size() > 5 || !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return false;
        t.port = std::stoi(port);
        if (t.port < 1 || t.port > 65535) return false;
    }
    return true;
}

// (Appended, not "literal" + temporary: mingw's GCC takes that for an overlap.)
std::string Where(const SnmpTarget& t) {
    std::string where = t.host;
    if (t.port != 161) {
        where += ':';
        where += std::to_string(t.port);
    }
    return where;
}

std::string Column(std::string text, std::size_t width) {
    if (text.size() > width) text = text.substr(0, width - 1) + "~";
    return text + std::string(width + 1 - text.size(), ' ');
}

std::string Counter(const std::optional<double>& value) { return value ? NumText(*value) : "-"; }

}  // namespace

std::optional<SnmpTarget> SnmpTargetFor(const std::string& address, const std::string& password,
                                        const std::string& interfaceName, const std::string& auth,
                                        const std::string& privacy) {
    const std::string text = Trimmed(address);
    SnmpTarget t;
    std::string rest;
    if (StartsWithNoCase(text, "snmp://")) {
        rest = text.substr(7);
        t.version = 2;
        t.community = "public";
    } else if (StartsWithNoCase(text, "snmpv3://")) {
        rest = text.substr(9);
        t.version = 3;
        t.passPhrase = password;
        if (!Trimmed(auth).empty()) t.auth = Trimmed(auth);
        if (!Trimmed(privacy).empty()) t.privacy = Trimmed(privacy);
    } else {
        return std::nullopt;
    }
    // The community or the user is whatever stands before the last '@'.
    if (const std::size_t at = rest.rfind('@'); at != std::string::npos) {
        (t.version == 3 ? t.user : t.community) = rest.substr(0, at);
        rest = rest.substr(at + 1);
    }
    if (t.version == 2 && t.community.empty()) t.community = "public";
    if (!HostAndPort(rest, t)) return std::nullopt;
    t.interfaceName = Trimmed(interfaceName);
    return t;
}

std::optional<SnmpTarget> SnmpTargetFromSettings(const std::string& address, const std::string& password,
                                                 const std::string& interfaceName) {
    const std::string file = SettingsFile();
    return SnmpTargetFor(address, password, interfaceName, ReadIniValue("Settings", "SnmpAuth", file),
                         ReadIniValue("Settings", "SnmpPrivacy", file));
}

std::string SnmpProblemMessage(const SnmpTarget& t, SnmpFailure failure, const std::string& detail) {
    const std::string where = Where(t);
    switch (failure) {
    case SnmpFailure::NoAnswer:
        return "The SNMP agent at " + where + " does not answer.\r\n" +
               (t.version == 3 ? std::string("Check that SNMP v3 is switched on in the router's settings")
                               : std::string("Check that SNMP is switched on in the router's settings, that "
                                             "the community in the address (snmp://COMMUNITY@" +
                                             t.host + ") is its read community")) +
               ", and that no firewall blocks UDP port " + std::to_string(t.port) + "; vxstat keeps trying";
    case SnmpFailure::Authentication:
        return "The SNMP agent at " + where + " refused user \"" + t.user + "\" (" + detail +
               ").\r\nCheck the user in the address (snmpv3://USER@" + t.host +
               "), the pass phrase in the password box, and SnmpAuth= in boot.ini (now " + t.auth +
               "); vxstat keeps trying";
    case SnmpFailure::Privacy:
        return "The SNMP agent at " + where + " and vxstat do not agree on privacy (" + detail +
               ").\r\nCheck the pass phrase in the password box and SnmpPrivacy= in boot.ini (now " + t.privacy +
               "); vxstat keeps trying";
    case SnmpFailure::UnknownInterface:
        return "Reading the router over SNMP failed: " + detail +
               ".\r\nCorrect Interface= in boot.ini, or remove it to read the WAN interface; "
               "vxstat --interfaces lists them";
    case SnmpFailure::NoIfMib:
        return "The SNMP agent at " + where + " answers but " + detail +
               ".\r\nLet the community or user see the interface tables (IF-MIB) in the agent's settings; "
               "vxstat keeps trying";
    case SnmpFailure::Unavailable: return detail;
    case SnmpFailure::Other:
    case SnmpFailure::None: break;
    }
    return "Reading the router over SNMP failed: " + detail + "\r\nvxstat keeps trying";
}

std::string InterfacesReport(const platform::SnmpListing& l) {
    if (l.interfaces.empty())
        return std::string("vxstat: ") + (l.text.empty() ? "no interfaces" : l.text.c_str()) + "\n";
    std::string out = Column("index", 6) + Column("name", 16) + Column("description", 24) + Column("alias", 12) +
                      Column("type", 5) + Column("speed", 12) + Column("64-bit", 6) + Column("received", 20) + "sent\n";
    for (const platform::SnmpInterface& i : l.interfaces) {
        const bool chosen = l.chosen && *l.chosen == i.index;
        out += Column(std::to_string(i.index), 6) + Column(i.name, 16) + Column(i.description, 24) +
               Column(i.alias, 12) + Column(std::to_string(i.type), 5) + Column(NumText(i.speed), 12) +
               Column(i.counters64 ? "yes" : "no", 6) + Column(Counter(i.received), 20) + Counter(i.sent) +
               (chosen ? "  <- read" : "") + "\n";
    }
    if (l.chosen)
        for (const platform::SnmpInterface& i : l.interfaces)
            if (i.index == *l.chosen)
                out += "vxstat reads " + (i.name.empty() ? i.description : i.name) + ": " + l.why + "\n";
    if (!l.chosen) out += "vxstat reads none: " + l.why + "\n";
    return out;
}

SnmpSource::SnmpSource(std::unique_ptr<platform::SnmpAgent> agent, SnmpTarget target)
    : agent_(std::move(agent)), target_(std::move(target)) {}

std::optional<Reading> SnmpSource::poll() {
    std::optional<Reading> reading;
    const double now = MonotonicSeconds();
    if (std::optional<platform::SnmpAnswer> a = agent_->answer()) {
        answered_ = a->failure != SnmpFailure::NoAnswer || answered_;
        roundStarted_.reset();
        healthy_ = a->failure == SnmpFailure::None && a->received && a->sent;
        holding_ = false;
        if (healthy_) {
            answered_ = true;
            // A claim past what any home line carries is no speed.
            if (a->speed && *a->speed > 0 && *a->speed <= kMaxLineBits) speed_ = LineSpeed{*a->speed, *a->speed};
            Reading r{*a->received, *a->sent, a->at, a->uptime, a->chosenAgain};
            r.counters64 = a->counters64;
            r.uptimeProvesContinuity = a->uptime.has_value();
            interfaceName_ = a->interfaceName;
            if (refresh_.pass(r))
                reading = r;
            else
                holding_ = true;
            read_ = true;
        } else if (told_.insert(a->failure).second) {
            // Each kind of failure is told once; the agent is asked again every tick, quietly.
            tell(Problem::Kind::SnmpFailed, SnmpProblemMessage(target_, a->failure, a->text));
        }
    }
    waiting_ = !roundStarted_ ? false : healthy_ && now - *roundStarted_ <= platform::kSnmpRoundSeconds;
    if (!roundStarted_) {
        agent_->request();
        roundStarted_ = now;
    }
    return reading;
}

}  // namespace vx
