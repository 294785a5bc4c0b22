// Reading the WAN statistics page as the firmware writes it: a table whose
// header rows name the columns ("Received" › "Total" › "Bytes", ...), then one
// row per WAN connection.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vx {

struct TableCounters {
    double received = 0;
    double transmitted = 0;
    int rows = 0;  // how many WAN rows were added up
};

// The "Bytes" figures under "Received" and under "Transmitted" (the "Total"
// group's where there are several), added up over the WAN rows, or over the
// rows whose interface name or description is `interfaceName` when that is
// not empty (letter case ignored). Nothing when no table of the page has both
// columns, or no row gives both figures as whole numbers.
std::optional<TableCounters> ReadStatsTable(std::string_view page, std::string_view interfaceName = {});

}  // namespace vx
