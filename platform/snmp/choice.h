// Which interface the SNMP manager (client.cpp) reads.
#pragma once

#include <algorithm>
#include <cctype>
#include <optional>
#include <string>
#include <vector>

#include "platform/snmp.h"

namespace vx::platform::snmp {

inline bool SameNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

inline bool Loopback(const SnmpInterface& i) { return i.type == 24 || i.name == "lo" || i.description == "lo"; }

inline bool Named(const SnmpInterface& i, const std::string& name) {
    return SameNoCase(i.name, name) || SameNoCase(i.description, name) ||
           (!i.alias.empty() && SameNoCase(i.alias, name));
}

// Which interface vxstat reads, and why; none with the failure set.
// `defaultRoute()` walks the agent's route table: only asked when no name is.
template <class Route>
std::optional<long> Choose(const std::vector<SnmpInterface>& list, const std::string& name, Route defaultRoute,
                           std::string& why, SnmpFailure& failure, std::string& text) {
    if (!name.empty()) {
        for (const SnmpInterface& i : list)
            if (Named(i, name)) {
                why = "named in boot.ini (Interface=" + name + ")";
                return i.index;
            }
        failure = SnmpFailure::UnknownInterface;
        std::string names;
        for (const SnmpInterface& i : list)
            names += (names.empty() ? "" : ", ") + (i.name.empty() ? i.description : i.name);
        text = "the router has no interface named \"" + name + "\"; it has " + names;
        return std::nullopt;
    }
    if (const std::optional<long> routed = defaultRoute())
        for (const SnmpInterface& i : list)
            if (i.index == *routed) {
                why = "the default route's interface";
                return i.index;
            }
    for (const SnmpInterface& i : list) {
        const std::string n = i.name.empty() ? i.description : i.name;
        if (i.type == 23 || n.rfind("ppp", 0) == 0 || n.rfind("pppoe", 0) == 0 || SameNoCase(n, "wan")) {
            why = "a PPP interface";
            return i.index;
        }
    }
    const SnmpInterface* busiest = nullptr;
    for (const SnmpInterface& i : list) {
        if (!i.up || Loopback(i)) continue;
        const double bytes = i.received.value_or(0) + i.sent.value_or(0);
        if (!busiest || bytes > busiest->received.value_or(0) + busiest->sent.value_or(0)) busiest = &i;
    }
    if (busiest) {
        why = "the busiest interface that is up";
        return busiest->index;
    }
    failure = SnmpFailure::NoIfMib;
    text = "the agent shows no interface that is up and not loopback; name one with Interface= in boot.ini";
    return std::nullopt;
}

}  // namespace vx::platform::snmp
