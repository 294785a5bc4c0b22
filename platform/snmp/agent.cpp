// The SNMP agent over net-snmp's single-session API, on a worker thread of its
// own so that the window never waits for the router. Numeric OIDs only: no MIB
// file and no configuration file is read. Built as the module loader.cpp opens
// (module.h): only its entry points below are seen from outside.
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <malloc.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/snmp.h"
#include "platform/snmp/choice.h"
#include "platform/snmp/continuity.h"
#include "platform/snmp/module.h"
#include "platform/threaded/worker.h"
#include "runtime/clock.h"

namespace vx::platform {

namespace {

using Oid = std::vector<oid>;

const Oid kSysUpTime = {1, 3, 6, 1, 2, 1, 1, 3, 0};
const Oid kIfEntry = {1, 3, 6, 1, 2, 1, 2, 2, 1};       // ifTable's columns
const Oid kIfXEntry = {1, 3, 6, 1, 2, 1, 31, 1, 1, 1};  // ifXTable's columns
enum IfColumn : oid { ifDescr = 2, ifType = 3, ifSpeed = 5, ifOperStatus = 8, ifInOctets = 10, ifOutOctets = 16 };
enum IfXColumn : oid {
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
constexpr long kTimeoutMicroseconds = 1500000;
constexpr std::size_t kLongestText = 255;

Oid Column(const Oid& entry, oid column) {
    Oid o = entry;
    o.push_back(column);
    return o;
}

Oid Instance(const Oid& column, long index) {
    Oid o = column;
    o.push_back(static_cast<oid>(index));
    return o;
}

void InitOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        // Nothing from /usr/share/snmp, /etc/snmp or ~/.snmp, and nothing written there.
        netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_READ_CONFIGS, 1);
        netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_LOAD, 1);
        netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_SAVE, 1);
        netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_LOAD_HOST_FILES, 1);
        setenv("MIBS", "", 0);
        setenv("MIBDIRS", "", 0);
        snmp_disable_log();
        init_snmp("vxstat");
    });
}

// net-snmp keeps v3 users (and their keys) for the whole process, and a new
// session of a user it knows would keep the old keys: a pass phrase changed
// (or mistyped) would never be tried. Each session starts from its own.
void ForgetUser(const std::string& name) {
    static std::mutex users;
    std::lock_guard<std::mutex> lock(users);
    for (usmUser* u = usm_get_userList(); u;) {
        usmUser* next = u->next;
        if (u->name && name == u->name) usm_free_user(usm_remove_user(u));
        u = next;
    }
}

// A value the agent sent, as a whole number where it is one of the integer types.
std::optional<double> Number(const netsnmp_variable_list* v) {
    switch (v->type) {
    case ASN_COUNTER64:
        if (v->val_len < sizeof(counter64)) return std::nullopt;
        return static_cast<double>(v->val.counter64->high) * 4294967296.0 + static_cast<double>(v->val.counter64->low);
    case ASN_COUNTER:
    case ASN_GAUGE:
    case ASN_TIMETICKS:
    case ASN_UINTEGER:
        if (v->val_len < sizeof(long)) return std::nullopt;
        return static_cast<double>(static_cast<unsigned long>(*v->val.integer) & 0xffffffffUL);
    case ASN_INTEGER:
        if (v->val_len < sizeof(long)) return std::nullopt;
        return static_cast<double>(*v->val.integer);
    default: return std::nullopt;
    }
}

std::string Text(const netsnmp_variable_list* v) {
    if (v->type != ASN_OCTET_STR || !v->val.string) return {};
    std::string text(reinterpret_cast<const char*>(v->val.string), std::min<std::size_t>(v->val_len, kLongestText));
    // Only what a terminal and a box show as it is.
    for (char& c : text)
        if (static_cast<unsigned char>(c) < ' ' || static_cast<unsigned char>(c) >= 127) c = '?';
    while (!text.empty() && text.back() == '?') text.pop_back();  // a trailing NUL some agents send
    return text;
}

// One session to the agent; requests wait here, on the worker.
class Session {
public:
    explicit Session(const SnmpTarget& target) : target_(target) {}
    ~Session() { Close(); }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // A request's reply, or none with the failure set.
    struct Pdu {
        netsnmp_pdu* pdu = nullptr;
        ~Pdu() {
            if (pdu) snmp_free_pdu(pdu);
        }
    };

    bool Get(const std::vector<Oid>& oids, Pdu& reply, SnmpFailure& failure, std::string& text) {
        return Ask(SNMP_MSG_GET, oids, 0, reply, failure, text);
    }

    // The rows of one column: index suffix -> value.
    bool Walk(const Oid& column, std::map<Oid, netsnmp_variable_list*>& rows, std::vector<std::unique_ptr<Pdu>>& keep,
              SnmpFailure& failure, std::string& text) {
        Oid at = column;
        while (rows.size() < kMostRows) {
            auto reply = std::make_unique<Pdu>();
            const SnmpFailure before = failure;
            const std::string said = text;
            if (!Ask(version_ == SNMP_VERSION_1 ? SNMP_MSG_GETNEXT : SNMP_MSG_GETBULK, {at}, 32, *reply, failure,
                     text)) {
                // A v1 agent ends every walk that reaches the end of its MIB with noSuchName.
                if (version_ != SNMP_VERSION_1 || !reply->pdu || reply->pdu->errstat != SNMP_ERR_NOSUCHNAME)
                    return false;
                failure = before;
                text = said;
                break;
            }
            bool more = false;
            for (netsnmp_variable_list* v = reply->pdu->variables; v; v = v->next_variable) {
                if (v->type == SNMP_ENDOFMIBVIEW || v->type == SNMP_NOSUCHOBJECT || v->type == SNMP_NOSUCHINSTANCE)
                    break;
                Oid name(v->name, v->name + v->name_length);
                if (name.size() <= column.size() || !std::equal(column.begin(), column.end(), name.begin())) break;
                // An agent that goes back would walk for ever.
                if (!(at < name)) break;
                at = name;
                rows[Oid(name.begin() + static_cast<long>(column.size()), name.end())] = v;
                more = true;
                if (rows.size() >= kMostRows) break;
            }
            keep.push_back(std::move(reply));
            if (!more) break;
        }
        return true;
    }

    long version() const { return version_; }

private:
    bool Open(SnmpFailure& failure, std::string& text) {
        if (session_) return true;
        InitOnce();
        netsnmp_session s;
        snmp_sess_init(&s);
        const std::string peer = "udp:" + target_.host + ":" + std::to_string(target_.port);
        std::vector<char> peerName(peer.begin(), peer.end());
        peerName.push_back('\0');
        s.peername = peerName.data();
        s.timeout = kTimeoutMicroseconds;
        s.retries = 1;
        std::vector<char> community(target_.community.begin(), target_.community.end());
        std::vector<char> user(target_.user.begin(), target_.user.end());
        user.push_back('\0');
        if (target_.version == 3) {
            s.version = SNMP_VERSION_3;
            s.securityName = user.data();
            s.securityNameLen = target_.user.size();
            s.securityLevel = SNMP_SEC_LEVEL_AUTHPRIV;
            if (!Keys(s, failure, text)) return false;
            ForgetUser(target_.user);
        } else {
            s.version = version_;
            s.community = reinterpret_cast<u_char*>(community.data());
            s.community_len = community.size();
        }
        session_ = snmp_sess_open(&s);
        if (!session_) {
            failure = SnmpFailure::Other;
            text = "the SNMP session to " + target_.host + " could not be opened";
            return false;
        }
        return true;
    }

    bool Keys(netsnmp_session& s, SnmpFailure& failure, std::string& text) {
        static const std::map<std::string, std::pair<const oid*, std::size_t>> auths = {
            {"MD5", {usmHMACMD5AuthProtocol, USM_AUTH_PROTO_MD5_LEN}},
            {"SHA", {usmHMACSHA1AuthProtocol, USM_AUTH_PROTO_SHA_LEN}},
            {"SHA-1", {usmHMACSHA1AuthProtocol, USM_AUTH_PROTO_SHA_LEN}},
            {"SHA-224", {usmHMAC128SHA224AuthProtocol, OID_LENGTH(usmHMAC128SHA224AuthProtocol)}},
            {"SHA-256", {usmHMAC192SHA256AuthProtocol, OID_LENGTH(usmHMAC192SHA256AuthProtocol)}},
            {"SHA-384", {usmHMAC256SHA384AuthProtocol, OID_LENGTH(usmHMAC256SHA384AuthProtocol)}},
            {"SHA-512", {usmHMAC384SHA512AuthProtocol, OID_LENGTH(usmHMAC384SHA512AuthProtocol)}},
        };
        std::string auth = target_.auth, privacy = target_.privacy;
        for (char& c : auth) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        for (char& c : privacy) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        const auto a = auths.find(auth);
        if (a == auths.end()) {
            failure = SnmpFailure::Authentication;
            text = "boot.ini's SnmpAuth=" + target_.auth + " is none of MD5, SHA, SHA-224, SHA-256, SHA-384, SHA-512";
            return false;
        }
        if (privacy == "AES" || privacy == "AES-128" || privacy == "AES128") {
            s.securityPrivProto = usmAESPrivProtocol;
            s.securityPrivProtoLen = USM_PRIV_PROTO_AES_LEN;
        } else if (privacy == "DES") {
            s.securityPrivProto = usmDESPrivProtocol;
            s.securityPrivProtoLen = USM_PRIV_PROTO_DES_LEN;
        } else {
            failure = SnmpFailure::Privacy;
            text = "boot.ini's SnmpPrivacy=" + target_.privacy + " is neither AES nor DES";
            return false;
        }
        s.securityAuthProto = const_cast<oid*>(a->second.first);
        s.securityAuthProtoLen = a->second.second;
        // USM keys come from pass phrases of eight characters at least.
        std::vector<u_char> phrase(target_.passPhrase.begin(), target_.passPhrase.end());
        s.securityAuthKeyLen = USM_AUTH_KU_LEN;
        s.securityPrivKeyLen = USM_PRIV_KU_LEN;
        if (phrase.size() < 8 ||
            generate_Ku(s.securityAuthProto, static_cast<u_int>(s.securityAuthProtoLen), phrase.data(), phrase.size(),
                        s.securityAuthKey, &s.securityAuthKeyLen) != SNMPERR_SUCCESS ||
            generate_Ku(s.securityAuthProto, static_cast<u_int>(s.securityAuthProtoLen), phrase.data(), phrase.size(),
                        s.securityPrivKey, &s.securityPrivKeyLen) != SNMPERR_SUCCESS) {
            failure = SnmpFailure::Authentication;
            text = "the pass phrase (the password box) must have at least 8 characters";
            return false;
        }
        return true;
    }

    void Close() {
        if (session_) snmp_sess_close(session_);
        session_ = nullptr;
    }

    bool Ask(int command, const std::vector<Oid>& oids, long repetitions, Pdu& reply, SnmpFailure& failure,
             std::string& text) {
        for (;;) {
            if (!Open(failure, text)) return false;
            netsnmp_pdu* request = snmp_pdu_create(command);
            if (command == SNMP_MSG_GETBULK) {
                request->non_repeaters = 0;
                request->max_repetitions = repetitions;
            }
            for (const Oid& o : oids) snmp_add_null_var(request, o.data(), o.size());
            netsnmp_pdu* response = nullptr;
            const int status = snmp_sess_synch_response(session_, request, &response);
            reply.pdu = response;
            if (status == STAT_SUCCESS && response) {
                if (response->errstat == SNMP_ERR_NOERROR) {
                    answered_ = true;
                    return true;
                }
                failure = SnmpFailure::Other;
                text = std::string("the agent refused the request: ") +
                       snmp_errstring(static_cast<int>(response->errstat));
                return false;
            }
            int error = 0, systemError = 0;
            char* message = nullptr;
            snmp_sess_error(session_, &systemError, &error, &message);
            const std::string said = message ? message : "";
            std::free(message);
            Close();
            // An agent that never answered v2c may speak v1 only: once, then v1 it is.
            if ((status == STAT_TIMEOUT || error == SNMPERR_TIMEOUT) && target_.version != 3 && !answered_ &&
                version_ == SNMP_VERSION_2c && !triedV1_) {
                triedV1_ = true;
                version_ = SNMP_VERSION_1;
                if (command == SNMP_MSG_GETBULK) command = SNMP_MSG_GETNEXT;
                continue;
            }
            // Neither answered: v2c again next time, v1 after it.
            if (triedV1_ && !answered_) {
                version_ = SNMP_VERSION_2c;
                triedV1_ = false;
            }
            if (status == STAT_TIMEOUT || error == SNMPERR_TIMEOUT) {
                failure = SnmpFailure::NoAnswer;
                text = "no answer from the SNMP agent at " + target_.host + ":" + std::to_string(target_.port);
            } else if (error == SNMPERR_DECRYPTION_ERR || error == SNMPERR_USM_DECRYPTIONERROR ||
                       error == SNMPERR_USM_ENCRYPTIONERROR) {
                failure = SnmpFailure::Privacy;
                text = "the agent could not decrypt the request (privacy): " + said;
            } else if (error == SNMPERR_AUTHENTICATION_FAILURE || error == SNMPERR_USM_AUTHENTICATIONFAILURE ||
                       error == SNMPERR_UNKNOWN_USER_NAME || error == SNMPERR_USM_UNKNOWNSECURITYNAME ||
                       error == SNMPERR_USM_UNSUPPORTEDSECURITYLEVEL) {
                failure = SnmpFailure::Authentication;
                text = "the agent refused user " + target_.user + ": " + said;
            } else {
                failure = SnmpFailure::Other;
                text = said.empty() ? "the SNMP request failed" : said;
            }
            return false;
        }
    }

    SnmpTarget target_;
    void* session_ = nullptr;
    long version_ = SNMP_VERSION_2c;
    bool answered_ = false;  // the agent has answered this session's version
    bool triedV1_ = false;
};

std::vector<SnmpInterface> Interfaces(Session& s, SnmpFailure& failure, std::string& text) {
    std::vector<std::unique_ptr<Session::Pdu>> keep;
    std::map<long, SnmpInterface> found;
    auto walk = [&](const Oid& entry, oid column, auto&& set) {
        std::map<Oid, netsnmp_variable_list*> rows;
        if (!s.Walk(Column(entry, column), rows, keep, failure, text)) return false;
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
    auto number = [](const netsnmp_variable_list* v) { return Number(v).value_or(0); };
    if (!walk(kIfEntry, ifDescr, [](SnmpInterface& i, auto* v) { i.description = Text(v); })) return {};
    if (found.empty()) {
        failure = SnmpFailure::NoIfMib;
        text = "the agent shows no interfaces (IF-MIB)";
        return {};
    }
    const bool ok = walk(kIfEntry, ifType, [&](SnmpInterface& i, auto* v) { i.type = static_cast<long>(number(v)); }) &&
                    walk(kIfEntry, ifSpeed, [&](SnmpInterface& i, auto* v) { i.speed = number(v); }) &&
                    walk(kIfEntry, ifOperStatus, [&](SnmpInterface& i, auto* v) { i.up = number(v) == 1; }) &&
                    walk(kIfEntry, ifInOctets, [&](SnmpInterface& i, auto* v) { i.received = Number(v); }) &&
                    walk(kIfEntry, ifOutOctets, [&](SnmpInterface& i, auto* v) { i.sent = Number(v); });
    if (!ok) return {};
    // ifXTable is a bonus (v1 agents have no 64-bit counters).
    std::string ignored;
    SnmpFailure none = SnmpFailure::None;
    auto bonus = [&](oid column, auto&& set) {
        std::map<Oid, netsnmp_variable_list*> rows;
        if (!s.Walk(Column(kIfXEntry, column), rows, keep, none, ignored)) return;
        for (const auto& [suffix, v] : rows)
            if (suffix.size() == 1 && found.count(static_cast<long>(suffix[0])))
                set(found[static_cast<long>(suffix[0])], v);
    };
    bonus(ifName, [](SnmpInterface& i, auto* v) { i.name = Text(v); });
    bonus(ifAlias, [](SnmpInterface& i, auto* v) { i.alias = Text(v); });
    bonus(ifHighSpeed, [&](SnmpInterface& i, auto* v) {
        if (number(v) > 0) i.speed = std::max(i.speed, number(v) * 1e6);
    });
    std::map<long, std::optional<double>> hcIn;
    bonus(ifHCInOctets, [&](SnmpInterface& i, auto* v) { hcIn[i.index] = Number(v); });
    bonus(ifHCOutOctets, [&](SnmpInterface& i, auto* v) {
        if (Number(v) && hcIn[i.index] && v->type == ASN_COUNTER64) {
            i.counters64 = true;
            i.received = hcIn[i.index];
            i.sent = Number(v);
        }
    });
    std::vector<SnmpInterface> list;
    for (auto& [index, i] : found) list.push_back(std::move(i));
    return list;
}

// The interface of the default route, from whichever route table the agent has.
std::optional<long> DefaultRoute(Session& s) {
    std::vector<std::unique_ptr<Session::Pdu>> keep;
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
        std::map<Oid, netsnmp_variable_list*> rows;
        if (!s.Walk(t.column, rows, keep, failure, text)) continue;
        for (const auto& [suffix, v] : rows)
            if (suffix.size() >= t.defaultPrefix.size() &&
                std::equal(t.defaultPrefix.begin(), t.defaultPrefix.end(), suffix.begin()))
                if (const std::optional<double> index = Number(v); index && *index > 0)
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
        const bool extended = s.version() != SNMP_VERSION_1;
        if (extended)
            for (const oid column : {ifName, ifHighSpeed, ifCounterDiscontinuityTime})
                oids.push_back(Instance(Column(kIfXEntry, column), i));
        Session::Pdu reply;
        if (!s.Get(oids, reply, a.failure, a.text)) {
            // v1 agents refuse a whole GET for one missing object: choose again.
            if (a.failure == SnmpFailure::Other && s.version() == SNMP_VERSION_1) state.index.reset();
            return;
        }
        a.at = MonotonicSeconds();
        std::vector<netsnmp_variable_list*> v;
        for (netsnmp_variable_list* x = reply.pdu->variables; x; x = x->next_variable) v.push_back(x);
        if (v.size() != oids.size()) {
            a.failure = SnmpFailure::Other;
            a.text = "the agent's reply does not match the request";
            return;
        }
        // The same index with another name: the router renumbered its interfaces.
        const std::string name = extended && !Text(v[5]).empty() ? Text(v[5]) : Text(v[1]);
        if (name != state.name) {
            state.index.reset();
            continue;
        }
        if (const std::optional<double> ticks = Number(v[0]); ticks && v[0]->type == ASN_TIMETICKS)
            a.uptime = *ticks / 100;
        const std::optional<double> high = extended ? Number(v[6]) : std::nullopt;
        const std::optional<double> low = Number(v[2]);
        if (high && *high > 0 && (!low || *low >= 4294967295.0))
            a.speed = *high * 1e6;
        else if (low && *low > 0)
            a.speed = *low;
        const int counterType = state.counters64 ? ASN_COUNTER64 : ASN_COUNTER;
        if (v[3]->type == counterType && v[4]->type == counterType) {
            a.received = Number(v[3]);
            a.sent = Number(v[4]);
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
        if (extended && v[7]->type == ASN_TIMETICKS) discontinuity = Number(v[7]);
        a.chosenAgain = state.continuity.NewBaseline(i, state.name, discontinuity);
        return;
    }
}

class NetSnmpAgent : public SnmpAgent {
public:
    explicit NetSnmpAgent(const SnmpTarget& target)
        : worker_([target, state = std::make_shared<State>(target), trimmed = false](const bool&) mutable {
              SnmpAnswer a;
              try {
                  Round(*state, target, a);
              } catch (const std::exception& e) {
                  a.failure = SnmpFailure::Other;
                  a.text = e.what();
              }
              // The first round starts net-snmp and OpenSSL and walks the
              // interfaces; what only that needed goes back to the system
              // rather than staying in this thread's heap (about 0.6 MiB).
              if (!trimmed) {
                  malloc_trim(0);
                  trimmed = true;
              }
              return a;
          }) {}

    void request() override { worker_.start(true); }
    std::optional<SnmpAnswer> answer() override { return worker_.take(); }

private:
    Worker<bool, SnmpAnswer> worker_;
};

SnmpListing ListInterfaces(const SnmpTarget& target) {
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

}  // namespace

}  // namespace vx::platform

#define VX_EXPORT __attribute__((visibility("default")))

extern "C" VX_EXPORT int vx_snmp_module_abi() { return vx::platform::kSnmpModuleAbi; }

// No exception crosses into the loader: a failure is an answer.
extern "C" VX_EXPORT vx::platform::SnmpAgent* vx_snmp_open(const vx::platform::SnmpTarget* target) {
    try {
        return new vx::platform::NetSnmpAgent(*target);
    } catch (const std::exception&) {
        return nullptr;
    }
}

extern "C" VX_EXPORT void vx_snmp_list(const vx::platform::SnmpTarget* target, vx::platform::SnmpListing* listing) {
    try {
        *listing = vx::platform::ListInterfaces(*target);
    } catch (const std::exception& e) {
        *listing = {};
        listing->failure = vx::platform::SnmpFailure::Other;
        listing->text = e.what();
    }
}
