// Builds without an SNMP library: the agent is never reached, and says so.
#include "platform/snmp.h"

namespace vx::platform {

namespace {

constexpr const char* kUnavailable = "SNMP is not available in this build";

class NoSnmpAgent : public SnmpAgent {
public:
    void request() override { asked_ = true; }
    std::optional<SnmpAnswer> answer() override {
        if (!asked_) return std::nullopt;
        asked_ = false;
        SnmpAnswer a;
        a.failure = SnmpFailure::Unavailable;
        a.text = kUnavailable;
        return a;
    }

private:
    bool asked_ = false;
};

}  // namespace

std::unique_ptr<SnmpAgent> OpenSnmpAgent(const SnmpTarget&) { return std::make_unique<NoSnmpAgent>(); }

SnmpListing ListSnmpInterfaces(const SnmpTarget&) {
    SnmpListing l;
    l.failure = SnmpFailure::Unavailable;
    l.text = kUnavailable;
    return l;
}

}  // namespace vx::platform
