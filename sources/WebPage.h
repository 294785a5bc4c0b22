// Cutting the two byte counters out of the router's WAN statistics page.
#pragma once

#include <string>
#include <string_view>

namespace vx {

struct WebCounterTexts {
    std::string incoming;
    std::string outgoing;
};

// The counters sit at fixed places: the incoming one 89 + 7 characters after
// the 21st "<TD", the outgoing one 1 character after the 28th; each ends at
// the next "</td>". Tags match in any letter case. A page too short for these
// positions raises invalid procedure call (5). The texts are returned as they
// stand; whether they are numbers is the caller's business.
WebCounterTexts ParseWebCounters(std::string_view page);

// What the error markers of a page say. Markers match with exact case.
enum class WebPageVerdict { Counters, WrongDetails, Busy };
WebPageVerdict ClassifyWebPage(std::string_view page, long httpStatus);

}  // namespace vx
