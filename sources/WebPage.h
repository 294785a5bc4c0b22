// Cutting the two byte counters out of the router's WAN statistics page.
#pragma once

#include <optional>
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

struct WebCounters {
    double incoming = 0;
    double outgoing = 0;
};

// All a fetched page says, worked out where it was fetched: its verdict and,
// for a page of counters, the counters or none. A page whose tables name the
// bytes received and transmitted is read from them (ReadStatsTables), by
// `interfaceName` when that is not empty; a page without such a table from
// its fixed places, unless an interface is asked for. A page that is no page
// of either kind, or too large a grid, gives none.
struct WebPageReading {
    WebPageVerdict verdict = WebPageVerdict::Counters;
    std::optional<WebCounters> counters;
};
WebPageReading ReadWebPage(std::string_view page, long httpStatus, std::string_view interfaceName);

}  // namespace vx
