// The SNMP agent over a manager of our own (platform/snmp/ber.h) and a UDP
// socket, on a worker thread so that the window never waits for the router;
// the same on Linux and Windows. The interface is chosen by name, default
// route, PPP or traffic; v2c with v1 where the agent never answered v2c; v3
// with the user-based security (platform/snmp/usm.h), whose cryptography is
// loaded only then; 64-bit counters where the agent has them.
#ifdef _WIN32
#include "platform/win32/backend.h"  // the program's headers before <windows.h>
// (a comment keeps the include order: winsock2.h before anything of windows.h)
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <malloc.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "platform/snmp.h"
#include "platform/snmp/ber.h"
#include "platform/snmp/choice.h"
#include "platform/snmp/continuity.h"
#include "platform/snmp/usm.h"
#include "platform/threaded/worker.h"
#include "runtime/clock.h"

namespace vx::platform {

namespace {

using snmp::Message;
using snmp::Oid;
using snmp::Value;

const Oid kSysUpTime = {1, 3, 6, 1, 2, 1, 1, 3, 0};
const Oid kIfEntry = {1, 3, 6, 1, 2, 1, 2, 2, 1};       // ifTable's columns
const Oid kIfXEntry = {1, 3, 6, 1, 2, 1, 31, 1, 1, 1};  // ifXTable's columns
enum IfColumn : std::uint32_t {
    ifDescr = 2,
    ifType = 3,
    ifSpeed = 5,
    ifOperStatus = 8,
    ifInOctets = 10,
    ifOutOctets = 16
};
enum IfXColumn : std::uint32_t {
    ifName = 1,
    ifHCInOctets = 6,
    ifHCOutOctets = 10,
    ifHighSpeed = 15,
    ifAlias = 18,
    ifCounterDiscontinuityTime = 19
};
const Oid kInetCidrRouteIfIndex = {1, 3, 6, 1, 2, 1, 4, 24, 7, 1, 7};
const Oid kIpCidrRouteIfIndex = {1, 3, 6, 1, 2, 1, 4, 4, 1, 5};
const Oid kIpRouteIfIndex = {1, 3, 6, 1, 2, 1, 4, 21, 1, 2};

// What a hostile or broken agent may make a walk of: so many rows, and no more.
constexpr std::size_t kMostRows = 2048;
constexpr double kTimeoutSeconds = 1.5;
constexpr int kRetries = 1;
constexpr std::size_t kLargestReply = 65535;

Oid Column(const Oid& entry, std::uint32_t column) {
    Oid o = entry;
    o.push_back(column);
    return o;
}

Oid Instance(const Oid& column, long index) {
    Oid o = column;
    o.push_back(static_cast<std::uint32_t>(index));
    return o;
}

// ---- a UDP socket connected to the agent -------------------------------------

#ifdef _WIN32
using Handle = SOCKET;
const Handle kNoSocket = INVALID_SOCKET;
using AddressLength = int;
using IoSize = int;
void OsStartup() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    (void)started;
}
void OsClose(Handle s) { closesocket(s); }
// Whether a datagram waits, up to `seconds`.
bool OsReadable(Handle s, double seconds) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    timeval wait{static_cast<long>(seconds), static_cast<long>((seconds - static_cast<long>(seconds)) * 1e6)};
    return ::select(0, &readable, nullptr, nullptr, &wait) > 0;
}
#else
using Handle = int;
const Handle kNoSocket = -1;
using AddressLength = socklen_t;
using IoSize = std::size_t;
void OsStartup() {}
void OsClose(Handle s) { ::close(s); }
bool OsReadable(Handle s, double seconds) {
    pollfd p{s, POLLIN, 0};
    return ::poll(&p, 1, static_cast<int>(seconds * 1000) + 1) > 0;
}
#endif

class Udp {
public:
    Udp() = default;
    ~Udp() { Close(); }
    Udp(const Udp&) = delete;
    Udp& operator=(const Udp&) = delete;

    bool Open(const std::string& host, int port, std::string& error) {
        if (socket_ != kNoSocket) return true;
        OsStartup();
        addrinfo hints{};
        hints.ai_family = AF_INET;  // as net-snmp's "udp:" on Linux: a name's IPv6 address is not tried first
        hints.ai_socktype = SOCK_DGRAM;
        addrinfo* found = nullptr;
        if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || !found) {
            error = "the router's name " + host + " is not known";
            return false;
        }
        for (addrinfo* a = found; a && socket_ == kNoSocket; a = a->ai_next) {
            Handle s = ::socket(a->ai_family, a->ai_socktype, a->ai_protocol);
            if (s == kNoSocket) continue;
            // Connected: only the agent's datagrams come in.
            if (::connect(s, a->ai_addr, static_cast<AddressLength>(a->ai_addrlen)) == 0)
                socket_ = s;
            else
                OsClose(s);
        }
        freeaddrinfo(found);
        if (socket_ == kNoSocket) error = "no UDP socket to " + host + ":" + std::to_string(port);
        return socket_ != kNoSocket;
    }

    bool Send(const std::string& datagram) {
        return ::send(socket_, datagram.data(), static_cast<IoSize>(datagram.size()), 0) ==
               static_cast<long>(datagram.size());
    }

    // The next datagram before `deadline` (monotonic seconds); none when none
    // came in time or the agent's host refused it.
    std::optional<std::string> Receive(double deadline) {
        for (double now = MonotonicSeconds(); now < deadline; now = MonotonicSeconds()) {
            if (!OsReadable(socket_, deadline - now)) continue;
            const long n = ::recv(socket_, buffer_.data(), static_cast<IoSize>(buffer_.size()), 0);
            if (n < 0) return std::nullopt;  // an ICMP refusal: the agent is not there
            return std::string(buffer_.data(), static_cast<std::size_t>(n));
        }
        return std::nullopt;
    }

    void Close() {
        if (socket_ != kNoSocket) OsClose(socket_);
        socket_ = kNoSocket;
    }

private:
    Handle socket_ = kNoSocket;
    std::vector<char> buffer_ = std::vector<char>(kLargestReply);
};

// ---- requests ------------------------------------------------------------------

// One conversation with the agent; requests wait here, on the worker.
class Session {
public:
    explicit Session(const SnmpTarget& target)
        : target_(target),
          nextId_(static_cast<std::int32_t>(static_cast<long long>(MonotonicSeconds() * 1000) & 0x3fffffff)) {}

    bool Get(const std::vector<Oid>& oids, Message& reply, SnmpFailure& failure, std::string& text) {
        return Ask(snmp::kGetRequest, oids, 0, reply, failure, text);
    }

    // The rows of one column: index suffix -> value.
    bool Walk(const Oid& column, std::map<Oid, Value>& rows, SnmpFailure& failure, std::string& text) {
        Oid at = column;
        while (rows.size() < kMostRows) {
            Message reply;
            const bool v1 = version_ == snmp::kV1;
            if (!Ask(v1 ? snmp::kGetNextRequest : snmp::kGetBulkRequest, {at}, 32, reply, failure, text)) {
                // A v1 agent says the walk ran off its last object this way.
                if (v1 && refusal_ == 2) {
                    failure = SnmpFailure::None;
                    text.clear();
                    return true;
                }
                return false;
            }
            bool more = false;
            for (snmp::VarBind& b : reply.bindings) {
                const std::uint8_t t = b.value.type;
                if (t == snmp::kEndOfMibView || t == snmp::kNoSuchObject || t == snmp::kNoSuchInstance) break;
                const Oid& name = b.name;
                if (name.size() <= column.size() || !std::equal(column.begin(), column.end(), name.begin())) break;
                // An agent that goes back would walk for ever.
                if (!(at < name)) break;
                at = name;
                rows[Oid(name.begin() + static_cast<long>(column.size()), name.end())] = std::move(b.value);
                more = true;
                if (rows.size() >= kMostRows) break;
            }
            if (!more) break;
        }
        return true;
    }

    std::int32_t version() const { return version_; }

private:
    bool Ask(std::uint8_t command, const std::vector<Oid>& oids, std::int32_t repetitions, Message& reply,
             SnmpFailure& failure, std::string& text) {
        refusal_ = 0;
        std::string error;
        if (!udp_.Open(target_.host, target_.port, error)) {
            failure = SnmpFailure::Other;
            text = error;
            return false;
        }
        if (target_.version == 3) return AskV3(command, oids, repetitions, reply, failure, text);
        for (;;) {
            if (Exchange(command, oids, repetitions, reply)) {
                if (reply.errorStatus == 0) {
                    answered_ = true;
                    return true;
                }
                refusal_ = reply.errorStatus;
                failure = SnmpFailure::Other;
                text = "the agent refused the request: " + snmp::ErrorName(reply.errorStatus);
                return false;
            }
            // An agent that never answered v2c may speak v1 only: once, then v1 it is.
            if (!answered_ && version_ == snmp::kV2c && !triedV1_) {
                triedV1_ = true;
                version_ = snmp::kV1;
                if (command == snmp::kGetBulkRequest) command = snmp::kGetNextRequest;
                continue;
            }
            // Neither answered: v2c again next time, v1 after it.
            if (triedV1_ && !answered_) {
                version_ = snmp::kV2c;
                triedV1_ = false;
            }
            failure = SnmpFailure::NoAnswer;
            text = "no answer from the SNMP agent at " + target_.host + ":" + std::to_string(target_.port);
            return false;
        }
    }

    // One request, sent again once when no reply came in time; the reply is
    // the response to this request, in this version and community, or none.
    bool Exchange(std::uint8_t command, const std::vector<Oid>& oids, std::int32_t repetitions, Message& reply) {
        for (int attempt = 0; attempt <= kRetries; ++attempt) {
            const std::int32_t id = NextId();
            if (!udp_.Send(snmp::EncodeRequest(version_, target_.community, command, id, oids, repetitions))) {
                udp_.Close();  // a fresh socket next time (the route may come back)
                return false;
            }
            const double deadline = MonotonicSeconds() + kTimeoutSeconds;
            while (std::optional<std::string> datagram = udp_.Receive(deadline)) {
                std::optional<Message> m =
                    snmp::DecodeMessage(reinterpret_cast<const std::uint8_t*>(datagram->data()), datagram->size());
                // Late replies to earlier requests, and anything else, are passed over.
                if (m && m->pduType == snmp::kResponse && m->requestId == id && m->version == version_ &&
                    m->community == target_.community) {
                    reply = std::move(*m);
                    return true;
                }
            }
        }
        return false;
    }

    // ---- v3 ----

    // The user's keys from the pass phrase, once; false with the failure set
    // when the settings name what this build cannot do.
    bool Keys(SnmpFailure& failure, std::string& text) {
        if (!userKey_.empty()) return true;
        static const std::map<std::string, snmp::Hash> hashes = {
            {"MD5", snmp::Hash::MD5},        {"SHA", snmp::Hash::SHA1},       {"SHA-1", snmp::Hash::SHA1},
            {"SHA-224", snmp::Hash::SHA224}, {"SHA-256", snmp::Hash::SHA256}, {"SHA-384", snmp::Hash::SHA384},
            {"SHA-512", snmp::Hash::SHA512},
        };
        std::string auth = target_.auth, privacy = target_.privacy;
        for (char& c : auth) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        for (char& c : privacy) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        const auto h = hashes.find(auth);
        if (h == hashes.end()) {
            failure = SnmpFailure::Authentication;
            text = "boot.ini's SnmpAuth=" + target_.auth + " is none of MD5, SHA, SHA-224, SHA-256, SHA-384, SHA-512";
            return false;
        }
        if (const std::string missing = snmp::CryptoMissing(); !missing.empty()) {
            failure = SnmpFailure::Unavailable;
            text = missing;
            return false;
        }
        keys_.des = privacy == "DES";
        if (keys_.des && !snmp::HasDes()) {
            failure = SnmpFailure::Privacy;
            text = "boot.ini's SnmpPrivacy=DES is not available in this build; choose AES in the router and here";
            return false;
        }
        if (!keys_.des && privacy != "AES" && privacy != "AES-128" && privacy != "AES128") {
            failure = SnmpFailure::Privacy;
            text = "boot.ini's SnmpPrivacy=" + target_.privacy + " is neither AES nor DES";
            return false;
        }
        // USM keys come from pass phrases of eight characters at least.
        if (target_.passPhrase.size() < 8) {
            failure = SnmpFailure::Authentication;
            text = "the pass phrase (the password box) must have at least 8 characters";
            return false;
        }
        keys_.hash = h->second;
        keys_.macLength = snmp::MacLength(h->second);
        keys_.user = target_.user;
        userKey_ = snmp::PassphraseKey(h->second, target_.passPhrase);
        if (userKey_.empty()) {
            failure = SnmpFailure::Authentication;
            text = "boot.ini's SnmpAuth=" + target_.auth + " is not available in this build";
            return false;
        }
        return true;
    }

    // The agent's engine, its id and clock, from a report to a request
    // without security; the keys localised to it.
    bool Discover(SnmpFailure& failure, std::string& text) {
        for (int attempt = 0; attempt <= kRetries; ++attempt) {
            const std::int32_t id = NextId();
            if (!udp_.Send(snmp::EncodeV3(id, {}, nullptr, snmp::EncodePdu(snmp::kGetRequest, id, {}),
                                          MonotonicSeconds(), 0))) {
                udp_.Close();
                break;
            }
            const double deadline = MonotonicSeconds() + kTimeoutSeconds;
            while (std::optional<std::string> datagram = udp_.Receive(deadline)) {
                const auto r =
                    snmp::DecodeV3(reinterpret_cast<const std::uint8_t*>(datagram->data()), datagram->size(), nullptr);
                if (!r || r->messageId != id || r->engine.id.empty()) continue;
                engine_ = r->engine;
                engine_.at = MonotonicSeconds();
                keys_.authKey = snmp::LocalizedKey(keys_.hash, userKey_, engine_.id);
                keys_.privKey = keys_.authKey;  // one pass phrase for both
                return true;
            }
        }
        failure = SnmpFailure::NoAnswer;
        text = "no answer from the SNMP agent at " + target_.host + ":" + std::to_string(target_.port);
        return false;
    }

    bool AskV3(std::uint8_t command, const std::vector<Oid>& oids, std::int32_t repetitions, Message& reply,
               SnmpFailure& failure, std::string& text) {
        if (!Keys(failure, text)) return false;
        // A stale engine clock or a restarted agent costs a round each, no more.
        for (int round = 0; round < 3; ++round) {
            if (engine_.id.empty() && !Discover(failure, text)) return false;
            std::optional<snmp::V3Reply> r;
            for (int attempt = 0; attempt <= kRetries && !r; ++attempt) {
                const std::int32_t id = NextId();
                if (!udp_.Send(snmp::EncodeV3(id, engine_, &keys_, snmp::EncodePdu(command, id, oids, repetitions),
                                              MonotonicSeconds(), salt_++))) {
                    udp_.Close();
                    break;
                }
                const double deadline = MonotonicSeconds() + kTimeoutSeconds;
                while (std::optional<std::string> datagram = udp_.Receive(deadline)) {
                    r = snmp::DecodeV3(reinterpret_cast<const std::uint8_t*>(datagram->data()), datagram->size(),
                                       &keys_);
                    // A response counts only with its digest checked; a report may come without
                    // (and, when the agent could not read our PDU, without its request id).
                    if (r && r->messageId == id &&
                        ((r->message.pduType == snmp::kResponse && r->authenticated && r->message.requestId == id) ||
                         r->message.pduType == snmp::kReport))
                        break;
                    r.reset();
                }
            }
            if (!r) {
                engine_ = {};  // perhaps another agent now: discover it again
                failure = SnmpFailure::NoAnswer;
                text = "no answer from the SNMP agent at " + target_.host + ":" + std::to_string(target_.port);
                return false;
            }
            if (r->message.pduType == snmp::kResponse) {
                reply = std::move(r->message);
                if (reply.errorStatus == 0) return true;
                refusal_ = reply.errorStatus;
                failure = SnmpFailure::Other;
                text = "the agent refused the request: " + snmp::ErrorName(reply.errorStatus);
                return false;
            }
            switch (snmp::ReportReason(r->message)) {
            case snmp::UsmReport::NotInTime:
                // Only the agent's own engine may set our idea of its clock.
                if (r->engine.id == engine_.id) {
                    engine_.boots = r->engine.boots;
                    engine_.time = r->engine.time;
                    engine_.at = MonotonicSeconds();
                }
                continue;
            case snmp::UsmReport::UnknownEngine: engine_ = {}; continue;
            case snmp::UsmReport::UnknownUser:
                failure = SnmpFailure::Authentication;
                text = "the agent refused user " + target_.user + ": no such user";
                return false;
            case snmp::UsmReport::WrongDigest:
                failure = SnmpFailure::Authentication;
                text = "the agent refused user " + target_.user + ": wrong digest (pass phrase or SnmpAuth=)";
                return false;
            case snmp::UsmReport::UnsupportedLevel:
                failure = SnmpFailure::Authentication;
                text = "the agent refused user " + target_.user + ": it has no authentication and privacy for them";
                return false;
            case snmp::UsmReport::Decryption:
                failure = SnmpFailure::Privacy;
                text = "the agent could not decrypt the request";
                return false;
            case snmp::UsmReport::None: break;
            }
            failure = SnmpFailure::Other;
            text = "the agent answered with a report vxstat does not know";
            return false;
        }
        failure = SnmpFailure::Other;
        text = "the agent's engine clock could not be followed";
        return false;
    }

    std::int32_t NextId() {
        const std::int32_t id = nextId_;
        nextId_ = (nextId_ + 1) & 0x7fffffff;
        return id;
    }

    SnmpTarget target_;
    Udp udp_;
    snmp::Engine engine_;
    snmp::UsmKeys keys_;
    std::string userKey_;  // the pass phrase's key, before localisation
    std::uint64_t salt_ = static_cast<std::uint64_t>(MonotonicSeconds() * 1e6) * 2654435761u;
    std::int32_t version_ = snmp::kV2c;
    std::int32_t nextId_;
    std::int32_t refusal_ = 0;  // the last request's error-status
    bool answered_ = false;     // the agent has answered this session's version
    bool triedV1_ = false;
};

// ---- the interface ---------------------------------------------------------------

std::vector<SnmpInterface> Interfaces(Session& s, SnmpFailure& failure, std::string& text) {
    std::map<long, SnmpInterface> found;
    auto walk = [&](const Oid& entry, std::uint32_t column, auto&& set) {
        std::map<Oid, Value> rows;
        if (!s.Walk(Column(entry, column), rows, failure, text)) return false;
        for (const auto& [suffix, v] : rows) {
            if (suffix.size() != 1 || suffix[0] == 0 || suffix[0] > 0x7fffffff) continue;
            const long index = static_cast<long>(suffix[0]);
            if (found.size() >= kMostRows && !found.count(index)) continue;
            SnmpInterface& i = found[index];
            i.index = index;
            set(i, v);
        }
        return true;
    };
    auto number = [](const Value& v) { return snmp::Number(v).value_or(0); };
    if (!walk(kIfEntry, ifDescr, [](SnmpInterface& i, const Value& v) { i.description = snmp::Text(v); })) return {};
    if (found.empty()) {
        failure = SnmpFailure::NoIfMib;
        text = "the agent shows no interfaces (IF-MIB)";
        return {};
    }
    const bool ok =
        walk(kIfEntry, ifType, [&](SnmpInterface& i, const Value& v) { i.type = static_cast<long>(number(v)); }) &&
        walk(kIfEntry, ifSpeed, [&](SnmpInterface& i, const Value& v) { i.speed = number(v); }) &&
        walk(kIfEntry, ifOperStatus, [&](SnmpInterface& i, const Value& v) { i.up = number(v) == 1; }) &&
        walk(kIfEntry, ifInOctets, [&](SnmpInterface& i, const Value& v) { i.received = snmp::Number(v); }) &&
        walk(kIfEntry, ifOutOctets, [&](SnmpInterface& i, const Value& v) { i.sent = snmp::Number(v); });
    if (!ok) return {};
    // ifXTable is a bonus (v1 agents have no 64-bit counters).
    std::string ignored;
    SnmpFailure none = SnmpFailure::None;
    auto bonus = [&](std::uint32_t column, auto&& set) {
        std::map<Oid, Value> rows;
        if (!s.Walk(Column(kIfXEntry, column), rows, none, ignored)) return;
        for (const auto& [suffix, v] : rows)
            if (suffix.size() == 1 && found.count(static_cast<long>(suffix[0])))
                set(found[static_cast<long>(suffix[0])], v);
    };
    bonus(ifName, [](SnmpInterface& i, const Value& v) { i.name = snmp::Text(v); });
    bonus(ifAlias, [](SnmpInterface& i, const Value& v) { i.alias = snmp::Text(v); });
    bonus(ifHighSpeed, [&](SnmpInterface& i, const Value& v) {
        if (number(v) > 0) i.speed = std::max(i.speed, number(v) * 1e6);
    });
    std::map<long, std::optional<double>> hcIn;
    bonus(ifHCInOctets, [&](SnmpInterface& i, const Value& v) {
        if (v.type == snmp::kCounter64) hcIn[i.index] = snmp::Number(v);
    });
    bonus(ifHCOutOctets, [&](SnmpInterface& i, const Value& v) {
        if (v.type == snmp::kCounter64 && hcIn[i.index]) {
            i.counters64 = true;
            i.received = hcIn[i.index];
            i.sent = snmp::Number(v);
        }
    });
    std::vector<SnmpInterface> list;
    for (auto& [index, i] : found) list.push_back(std::move(i));
    return list;
}

// The interface of the default route, from whichever route table the agent has.
std::optional<long> DefaultRoute(Session& s) {
    SnmpFailure failure = SnmpFailure::None;
    std::string text;
    struct Table {
        const Oid& column;
        Oid defaultPrefix;  // the index of a route to 0.0.0.0/0
    };
    const Table tables[] = {
        {kInetCidrRouteIfIndex, {1, 4, 0, 0, 0, 0, 0}},   // ipv4, 4 bytes, 0.0.0.0, prefix 0
        {kIpCidrRouteIfIndex, {0, 0, 0, 0, 0, 0, 0, 0}},  // 0.0.0.0 mask 0.0.0.0
        {kIpRouteIfIndex, {0, 0, 0, 0}},
    };
    for (const Table& t : tables) {
        std::map<Oid, Value> rows;
        if (!s.Walk(t.column, rows, failure, text)) continue;
        for (const auto& [suffix, v] : rows)
            if (suffix.size() >= t.defaultPrefix.size() &&
                std::equal(t.defaultPrefix.begin(), t.defaultPrefix.end(), suffix.begin()))
                if (const std::optional<double> index = snmp::Number(v); index && *index > 0 && *index <= 0x7fffffff)
                    return static_cast<long>(*index);
    }
    return std::nullopt;
}

std::optional<long> Choose(Session& s, const std::vector<SnmpInterface>& list, const std::string& name,
                           std::string& why, SnmpFailure& failure, std::string& text) {
    return snmp::Choose(
        list, name, [&] { return DefaultRoute(s); }, why, failure, text);
}

// What the worker keeps between rounds.
struct State {
    explicit State(const SnmpTarget& t) : session(t) {}
    Session session;
    std::optional<long> index;
    std::string name;  // the chosen interface's ifName (or ifDescr), to know it again
    bool counters64 = false;
    snmp::Continuity continuity;  // whether a reading goes on from the last
};

void Round(State& state, const SnmpTarget& target, SnmpAnswer& a) {
    Session& s = state.session;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!state.index) {
            const std::vector<SnmpInterface> list = Interfaces(s, a.failure, a.text);
            if (list.empty()) return;
            std::string why;
            state.index = Choose(s, list, target.interfaceName, why, a.failure, a.text);
            if (!state.index) return;
            for (const SnmpInterface& i : list)
                if (i.index == *state.index) {
                    state.name = i.name.empty() ? i.description : i.name;
                    state.counters64 = i.counters64;
                }
        }
        const long i = *state.index;
        std::vector<Oid> oids = {
            kSysUpTime,
            Instance(Column(kIfEntry, ifDescr), i),
            Instance(Column(kIfEntry, ifSpeed), i),
            Instance(state.counters64 ? Column(kIfXEntry, ifHCInOctets) : Column(kIfEntry, ifInOctets), i),
            Instance(state.counters64 ? Column(kIfXEntry, ifHCOutOctets) : Column(kIfEntry, ifOutOctets), i),
        };
        // A v1 agent refuses a whole GET for one object it lacks, and many
        // have no ifXTable: only ifTable's objects are asked there.
        const bool extended = s.version() != snmp::kV1;
        if (extended)
            for (const std::uint32_t column : {ifName, ifHighSpeed, ifCounterDiscontinuityTime})
                oids.push_back(Instance(Column(kIfXEntry, column), i));
        Message reply;
        if (!s.Get(oids, reply, a.failure, a.text)) {
            // v1 agents refuse a whole GET for one missing object: choose again.
            if (a.failure == SnmpFailure::Other && s.version() == snmp::kV1) state.index.reset();
            return;
        }
        a.at = MonotonicSeconds();
        const std::vector<snmp::VarBind>& v = reply.bindings;
        bool matches = v.size() == oids.size();
        for (std::size_t k = 0; matches && k < v.size(); ++k) matches = v[k].name == oids[k];
        if (!matches) {
            a.failure = SnmpFailure::Other;
            a.text = "the agent's reply does not match the request";
            return;
        }
        // The same index with another name: the router renumbered its interfaces.
        const std::string name =
            extended && !snmp::Text(v[5].value).empty() ? snmp::Text(v[5].value) : snmp::Text(v[1].value);
        if (name != state.name) {
            state.index.reset();
            continue;
        }
        if (v[0].value.type == snmp::kTimeTicks) a.uptime = static_cast<double>(v[0].value.number) / 100;
        // ifHighSpeed in Mbit/s, where ifSpeed's 32 bits are too few.
        const double high = extended ? snmp::Number(v[6].value).value_or(0) : 0;
        const std::optional<double> low = snmp::Number(v[2].value);
        if (high > 0 && (!low || *low >= 4294967295.0))
            a.speed = high * 1e6;
        else if (low && *low > 0)
            a.speed = *low;
        const std::uint8_t counterType = state.counters64 ? snmp::kCounter64 : snmp::kCounter32;
        if (v[3].value.type == counterType && v[4].value.type == counterType) {
            a.received = snmp::Number(v[3].value);
            a.sent = snmp::Number(v[4].value);
        }
        a.counters64 = state.counters64;
        a.interfaceName = state.name;
        if (!a.received || !a.sent) {
            a.failure = SnmpFailure::Other;
            a.text = "the agent gave no byte counters for " + state.name;
            state.index.reset();
            return;
        }
        std::optional<double> discontinuity;
        if (extended && v[7].value.type == snmp::kTimeTicks) discontinuity = snmp::Number(v[7].value);
        a.chosenAgain = state.continuity.NewBaseline(i, state.name, discontinuity);
        return;
    }
}

class OwnSnmpAgent : public SnmpAgent {
public:
    explicit OwnSnmpAgent(const SnmpTarget& target)
        : worker_([target, state = std::make_shared<State>(target), trimmed = false](const bool&) mutable {
              SnmpAnswer a;
              try {
                  Round(*state, target, a);
              } catch (const std::exception& e) {
                  a.failure = SnmpFailure::Other;
                  a.text = e.what();
              }
#ifdef __GLIBC__
              // The first round walks the interfaces (and for v3 starts the
              // cryptography); what only that needed goes back to the system
              // rather than staying in this thread's heap.
              if (!trimmed) {
                  malloc_trim(0);
                  trimmed = true;
              }
#endif
              return a;
          }) {
    }

    void request() override { worker_.start(true); }
    std::optional<SnmpAnswer> answer() override { return worker_.take(); }

private:
    Worker<bool, SnmpAnswer> worker_;
};

}  // namespace

std::unique_ptr<SnmpAgent> OpenSnmpAgent(const SnmpTarget& target) { return std::make_unique<OwnSnmpAgent>(target); }

SnmpListing ListSnmpInterfaces(const SnmpTarget& target) {
    SnmpListing l;
    Session s(target);
    l.interfaces = Interfaces(s, l.failure, l.text);
    if (l.interfaces.empty()) return l;
    SnmpFailure failure = SnmpFailure::None;
    std::string text;
    l.chosen = Choose(s, l.interfaces, target.interfaceName, l.why, failure, text);
    if (!l.chosen) l.why = text;
    return l;
}

}  // namespace vx::platform
