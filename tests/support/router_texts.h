// What a router says, as text: its WAN statistics page and its console's
// "ifconfig" reply, with the counters a test chooses.
#pragma once

#include <string>

namespace vx::test {

// The statistics page as the simulated router (tools/simrouter.py) serves it:
// the received and transmitted octets in their cells, CR LF line ends.
std::string StatsPage(const std::string& in, const std::string& out);
std::string StatsPage(double in, double out);  // whole numbers

// An "ifconfig" reply: another interface first, then the PPP link with these
// figures, then one more, and the prompt.
std::string IfconfigReply(const std::string& rx, const std::string& tx);
std::string IfconfigReply(double rx, double tx);  // whole numbers

// A whole number as digits, without exponent (up to 2^64).
std::string Digits(double value);

}  // namespace vx::test
