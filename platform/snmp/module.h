// The SNMP agent lives in a module of its own (libvxstat-snmp.so), loaded only
// when an snmp:// address is read: net-snmp and the crypto libraries it
// brings stay out of every other process. The module and the loader are
// built together; the number below changes whenever the types they share do,
// so a module of another build is refused rather than misread.
#pragma once

#include "platform/snmp.h"

#define VX_SNMP_MODULE_NAME "libvxstat-snmp.so"

namespace vx::platform {

inline constexpr int kSnmpModuleAbi = 1;

}  // namespace vx::platform

extern "C" {
using VxSnmpModuleAbiFn = int();
// A new agent, owned by the caller (deleted through SnmpAgent's virtual destructor).
using VxSnmpOpenFn = vx::platform::SnmpAgent*(const vx::platform::SnmpTarget*);
using VxSnmpListFn = void(const vx::platform::SnmpTarget*, vx::platform::SnmpListing*);
}
