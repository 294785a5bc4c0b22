// Pages of the fetch's largest size made to keep a page reader busy or to
// make it hold a grid far beyond the page: for the tests and the benchmarks.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/net.h"

namespace vx::test {

inline std::vector<std::pair<std::string, std::string>> HostilePages() {
    auto fill = [](std::string page, const std::string& unit, std::size_t size = platform::kMaxBodyBytes) {
        while (page.size() + unit.size() <= size) page += unit;
        return page;
    };
    std::string heading = "<table><tr><td>Received</td><td>Transmitted</td></tr><tr>";
    for (int i = 0; i < 8; ++i) heading += "<td colspan=64>" + std::string(100000, 'x') + "</td>";
    std::string tableOf4096 = "<table><tr><td colspan=64>";
    for (int i = 1; i < 64; ++i) tableOf4096 += "<tr>";
    return {
        {"one wide row, then empty rows", fill(fill("<table><tr>", "<td colspan=64>", 512 * 1024), "<tr>")},
        {"rows of cells spanning 64 columns and 256 rows", fill("<table>", "<tr><td colspan=64 rowspan=256>")},
        {"a row of such cells", fill("<table><tr>", "<td colspan=64 rowspan=256>")},
        {"tables of 4096 cells each", fill("", tableOf4096 + "</table>")},
        {"tables within tables", fill("", "<table><tr><td colspan=64>5")},
        {"long headings over wide spans", heading},
    };
}

}  // namespace vx::test
