// Reading the WAN statistics page as the firmware writes it: a table whose
// header rows name the columns ("Received" › "Total" › "Bytes", ...), then one
// row per WAN connection.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vx {

struct TableCounters {
    double received = 0;
    double transmitted = 0;
    int rows = 0;  // how many WAN rows were added up
};

// A table's grid is its rows times its columns once the spans are laid out
// (colspan up to 64, rowspan up to 256 and to the table's last row), at least
// one of each. A statistics table has a few hundred cells: a page with a grid
// over kMaxTableCells, or with grids over kMaxPageTableCells together, is no
// statistics page and is not read at all. This keeps reading any page within
// a bounded time and memory.
inline constexpr std::size_t kMaxTableCells = 4096;
inline constexpr std::size_t kMaxPageTableCells = 16384;

// What the tables of a page say.
struct StatsTableReading {
    // A table's headings name the bytes received and the bytes transmitted:
    // this is a statistics page of the firmware's kind, whatever its rows hold.
    bool found = false;
    bool tooLarge = false;  // the grids are over the limits: not read
    std::optional<TableCounters> counters;
};

// Each table's headings are its first rows, down to the first row after which
// a column is headed "Bytes" under "Received" and another "Bytes" under
// "Transmitted" (the "Total" group's where there are several); the rows below
// are the WAN rows. The reading adds up their figures in those two columns,
// passing over rows whose figures are not both whole numbers ("-", empty,
// "N/A"), or takes only the rows whose "Interface" or "Description" is
// `interfaceName` when that is not empty (letter case ignored). The first
// table with such rows gives the counters.
StatsTableReading ReadStatsTables(std::string_view page, std::string_view interfaceName = {});

// The counters alone: nothing when no table gives them.
std::optional<TableCounters> ReadStatsTable(std::string_view page, std::string_view interfaceName = {});

}  // namespace vx
