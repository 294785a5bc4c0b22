// An SNMP agent (IF-MIB): one interface's byte counters, the agent's uptime
// and the interface's speed. The requests run on a worker of the backend's:
// nothing here ever blocks the caller.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vx::platform {

// Whom to ask, and how.
struct SnmpTarget {
    std::string host;
    int port = 161;
    int version = 2;               // 2: v2c (v1 where the agent does not answer it), 3: USM
    std::string community;         // v1/v2c
    std::string user;              // v3
    std::string passPhrase;        // v3: for both authentication and privacy
    std::string auth = "SHA-256";  // v3: MD5, SHA, SHA-224, SHA-256, SHA-384, SHA-512
    std::string privacy = "AES";   // v3: AES (128 bits) or DES
    std::string interfaceName;     // by ifName, ifDescr or ifAlias; empty: the WAN interface
};

enum class SnmpFailure {
    None,
    NoAnswer,          // nothing came back in time: agent off, wrong community, firewall
    Authentication,    // v3: unknown user, wrong pass phrase or digest
    Privacy,           // v3: the agent could not decrypt, or its privacy differs
    UnknownInterface,  // no interface by the name asked for
    NoIfMib,           // the agent answers but shows no interfaces
    Unavailable,       // this build has no SNMP
    Other,
};

struct SnmpAnswer {
    SnmpFailure failure = SnmpFailure::None;
    std::string text;  // what failed, for the user
    // The chosen interface's byte counters (64-bit where the agent has them).
    std::optional<double> received;
    std::optional<double> sent;
    bool counters64 = false;
    double at = 0;                 // when they came: seconds on the monotonic clock
    std::optional<double> uptime;  // sysUpTime, in seconds
    std::optional<double> speed;   // ifHighSpeed (or ifSpeed), bits a second
    std::string interfaceName;     // the chosen interface, by its name
    bool chosenAgain = false;      // another interface than last read, or its counters started again: a new baseline
};

// One interface as the agent shows it.
struct SnmpInterface {
    long index = 0;
    std::string name;         // ifName
    std::string description;  // ifDescr
    std::string alias;        // ifAlias
    long type = 0;            // ifType: 6 ethernet, 23 ppp, 24 loopback, ...
    double speed = 0;         // bits a second
    bool up = false;          // ifOperStatus
    bool counters64 = false;
    std::optional<double> received;
    std::optional<double> sent;
};

struct SnmpListing {
    SnmpFailure failure = SnmpFailure::None;
    std::string text;
    std::vector<SnmpInterface> interfaces;
    std::optional<long> chosen;  // the index vxstat would read
    std::string why;             // "by name", "the default route's", ...
};

class SnmpAgent {
public:
    virtual ~SnmpAgent() = default;
    // Starts one round unless one is under way: the interface is chosen first
    // (and again when it is gone), then one GET of its counters. Never blocks.
    virtual void request() = 0;
    // The answer of the last round once it has finished, once; until then nothing.
    virtual std::optional<SnmpAnswer> answer() = 0;
};

// How long a round may take: the interface's choice (a few walks) and the
// GET, each request bounded (and v2c tried again as v1 once).
inline constexpr double kSnmpRoundSeconds = 15;

std::unique_ptr<SnmpAgent> OpenSnmpAgent(const SnmpTarget& target);

// What the agent offers and which interface vxstat would take; waits for the
// agent (for the command line only).
SnmpListing ListSnmpInterfaces(const SnmpTarget& target);

}  // namespace vx::platform
