#include "sources/WebPage.h"

#include "runtime/errors.h"
#include "runtime/numtext.h"
#include "sources/StatsTable.h"

namespace vx {

namespace {

// Takes `cells` steps, each dropping everything up to and including the
// first "<TD". When there is none the position is 0 and the same step drops
// the first two characters: the walk never stops early, it just runs off the
// end of the page. What is left then holds no "<TD" either, so the remaining
// steps drop two characters each without searching again.
void SkipCells(std::string_view& s, int cells) {
    for (int n = 0; n < cells; ++n) {
        std::size_t i = InStrNoCase(s, "<TD");
        std::size_t drop = i == 0 ? 2 * static_cast<std::size_t>(cells - n) : i + 2;  // Mid$(s, i + 3)
        s.remove_prefix(drop < s.size() ? drop : s.size());
        if (i == 0) break;
    }
}

[[noreturn]] void BadCall() { throw RuntimeError(kErrInvalidProcedureCall, "Invalid procedure call or argument"); }

// Mid$(s, start, length) over a view, raising as Mid$ does.
std::string_view MidView(std::string_view s, long long start, long long length) {
    if (start < 1 || length < 0) BadCall();
    std::size_t from = static_cast<std::size_t>(start - 1);
    if (from >= s.size()) return {};
    return s.substr(from, static_cast<std::size_t>(length));
}

}  // namespace

WebCounterTexts ParseWebCounters(std::string_view page) {
    WebCounterTexts result;

    std::string_view s = page;
    SkipCells(s, 21);
    s.remove_prefix(89 < s.size() ? 89 : s.size());
    long long j = static_cast<long long>(InStrNoCase(s, "</td>"));
    result.incoming = std::string(MidView(s, 8, j - 8));

    s = page;
    SkipCells(s, 28);
    j = static_cast<long long>(InStrNoCase(s, "</td>"));
    result.outgoing = std::string(MidView(s, 2, j - 2));
    return result;
}

WebPageVerdict ClassifyWebPage(std::string_view page, long httpStatus) {
    bool notFound = InStr(page, "Error 404") > 0;
    bool authFailed = InStr(page, "System Authentication Failed") > 0;
    bool busy = InStr(page, "Server Busy") > 0;
    // A bare 401 is the router refusing the details just as much as its
    // marker page is.
    if (notFound || authFailed || httpStatus == 401) return WebPageVerdict::WrongDetails;
    if (busy) return WebPageVerdict::Busy;
    return WebPageVerdict::Counters;
}

WebPageReading ReadWebPage(std::string_view page, long httpStatus, std::string_view interfaceName) {
    WebPageReading reading;
    reading.verdict = ClassifyWebPage(page, httpStatus);
    if (reading.verdict != WebPageVerdict::Counters) return reading;

    // Router counters are unsigned and pass 2^31 after 2 GiB; whole numbers up
    // to 2^53 stay exact in a double, and so do their differences.
    // The page of the first routers held the counters at fixed places;
    // firmware today writes a table with headings and a row per connection,
    // whose other figures may well sit at those places.
    const StatsTableReading tables = ReadStatsTables(page, interfaceName);
    if (tables.counters) {
        reading.counters = WebCounters{tables.counters->received, tables.counters->transmitted};
    } else if (!tables.found && !tables.tooLarge && interfaceName.empty()) {
        ResumeNext([&] {
            const WebCounterTexts texts = ParseWebCounters(page);
            reading.counters = WebCounters{ParseCounter(texts.incoming), ParseCounter(texts.outgoing)};
        });
    }
    return reading;
}

}  // namespace vx
