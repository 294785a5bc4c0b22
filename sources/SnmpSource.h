// A router's SNMP agent (IF-MIB): one interface's byte counters each tick,
// with the agent's uptime and the interface's speed.
#pragma once

#include <memory>
#include <optional>
#include <set>
#include <string>

#include "platform/snmp.h"
#include "sources/Source.h"
#include "traffic/CounterRefresh.h"

namespace vx {

// "snmp://[COMMUNITY@]HOST[:PORT]" (v2c, community "public" by default) or
// "snmpv3://USER@HOST[:PORT]", letter case of the scheme ignored: whom to ask.
// `password` is v3's pass phrase; `interfaceName`, `auth` and `privacy` are
// boot.ini's Interface=, SnmpAuth= and SnmpPrivacy= (empty: the defaults).
// Nothing for any other address.
std::optional<platform::SnmpTarget> SnmpTargetFor(const std::string& address, const std::string& password,
                                                  const std::string& interfaceName, const std::string& auth = {},
                                                  const std::string& privacy = {});

// The same, with boot.ini's SnmpAuth= and SnmpPrivacy= read from the settings file.
std::optional<platform::SnmpTarget> SnmpTargetFromSettings(const std::string& address, const std::string& password,
                                                           const std::string& interfaceName);

// What `vxstat --interfaces` prints: each interface, and the one vxstat would read.
std::string InterfacesReport(const platform::SnmpListing& listing);

// The "Problem" box's text for what failed, saying what to fix.
std::string SnmpProblemMessage(const platform::SnmpTarget& target, platform::SnmpFailure failure,
                               const std::string& detail);

class SnmpSource : public Source {
public:
    SnmpSource(std::unique_ptr<platform::SnmpAgent> agent, platform::SnmpTarget target);

    std::optional<Reading> poll() override;
    std::optional<LineSpeed> lineSpeed() const override { return speed_; }
    std::string status() const override { return read_ ? std::string() : std::string("Connecting"); }
    // Not before the agent first answered, nor while a round is under way and
    // not late, nor while the counters stand still within the agent's refresh.
    bool expectsReadings() const override { return answered_ && !waiting_ && !holding_; }
    std::string countersName() const override { return interfaceName_; }

private:
    std::unique_ptr<platform::SnmpAgent> agent_;
    platform::SnmpTarget target_;
    CounterRefresh refresh_;
    std::optional<LineSpeed> speed_;
    std::string interfaceName_;             // the interface the counters are of
    std::set<platform::SnmpFailure> told_;  // each kind of failure is told once
    bool answered_ = false;
    bool read_ = false;
    bool healthy_ = false;
    bool holding_ = false;
    bool waiting_ = false;
    std::optional<double> roundStarted_;
};

}  // namespace vx
