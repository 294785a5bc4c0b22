// Cutting the PPP interface's byte counters out of the console's "ifconfig"
// reply.
#pragma once

#include <string>
#include <string_view>

namespace vx {

struct ConsoleCounterTexts {
    std::string rx;
    std::string tx;
};

// Both figures are taken from the first "RX bytes" and "TX bytes" after the
// first "Point-Point Protocol", each up to the next " (". Searches ignore
// letter case. A reply without "Point-Point Protocol", or without " (" after
// a figure, raises invalid procedure call (5). The texts are returned as
// they stand.
ConsoleCounterTexts ParseConsoleCounters(std::string_view reply);

}  // namespace vx
