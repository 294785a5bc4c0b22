// Opens the SNMP module the first time an agent is asked for and keeps it for
// the life of the process: its worker threads may outlive the agents that
// started them, so it is never unloaded. Found by the program's own library
// path (the build folder, or ../lib/vxstat beside the installed program).
#include <dlfcn.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "platform/snmp.h"
#include "platform/snmp/module.h"

namespace vx::platform {

namespace {

struct Module {
    VxSnmpOpenFn* open = nullptr;
    VxSnmpListFn* list = nullptr;
    std::string error;  // why it could not be loaded
};

const Module& Loaded() {
    static Module module;
    static std::once_flag once;
    std::call_once(once, [] {
        void* handle = dlopen(VX_SNMP_MODULE_NAME, RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* why = dlerror();
            module.error = std::string("SNMP is not available: ") + (why ? why : VX_SNMP_MODULE_NAME " is missing");
            return;
        }
        auto* abi = reinterpret_cast<VxSnmpModuleAbiFn*>(dlsym(handle, "vx_snmp_module_abi"));
        auto* open = reinterpret_cast<VxSnmpOpenFn*>(dlsym(handle, "vx_snmp_open"));
        auto* list = reinterpret_cast<VxSnmpListFn*>(dlsym(handle, "vx_snmp_list"));
        if (!abi || !open || !list || abi() != kSnmpModuleAbi) {
            module.error = "SNMP is not available: " VX_SNMP_MODULE_NAME " belongs to another build of vxstat";
            return;
        }
        module.open = open;
        module.list = list;
    });
    return module;
}

// An agent that only says why there is none, once per request.
class MissingAgent : public SnmpAgent {
public:
    explicit MissingAgent(std::string why) : why_(std::move(why)) {}
    void request() override { asked_ = true; }
    std::optional<SnmpAnswer> answer() override {
        if (!asked_) return std::nullopt;
        asked_ = false;
        SnmpAnswer a;
        a.failure = SnmpFailure::Unavailable;
        a.text = why_;
        return a;
    }

private:
    std::string why_;
    bool asked_ = false;
};

}  // namespace

std::unique_ptr<SnmpAgent> OpenSnmpAgent(const SnmpTarget& target) {
    const Module& m = Loaded();
    if (!m.open) return std::make_unique<MissingAgent>(m.error);
    std::unique_ptr<SnmpAgent> agent(m.open(&target));
    if (!agent) return std::make_unique<MissingAgent>("The SNMP agent could not be started");
    return agent;
}

SnmpListing ListSnmpInterfaces(const SnmpTarget& target) {
    const Module& m = Loaded();
    SnmpListing l;
    if (!m.list) {
        l.failure = SnmpFailure::Unavailable;
        l.text = m.error;
        return l;
    }
    m.list(&target, &l);
    return l;
}

}  // namespace vx::platform
