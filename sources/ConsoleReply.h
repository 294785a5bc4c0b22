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

// The PPP interface's block starts at its "Point-Point Protocol" (older
// BusyBox) or "Point-to-Point Protocol" (1.2 and later) and ends at the first
// blank line. Both figures are taken from its "RX bytes" and "TX bytes", each
// from after the colon up to the next " (", whatever the column widths and
// indentation. Searches ignore letter case. A reply without such a block, or
// a figure without " (" after it, raises invalid procedure call (5). The texts
// are returned as they stand.
ConsoleCounterTexts ParseConsoleCounters(std::string_view reply);

}  // namespace vx
