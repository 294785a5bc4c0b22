#include "sources/WebSource.h"

#include "platform/net.h"
#include "runtime/clock.h"
#include "runtime/errors.h"
#include "runtime/numtext.h"
#include "sources/RouterMessages.h"
#include "sources/StatsTable.h"
#include "sources/WebPage.h"

namespace vx {

WebSource::WebSource(std::string user, std::string password, std::string address, std::string interfaceName)
    // Sent as typed: the fetch takes the user-info apart itself.
    : url_("http://" + user + ":" + password + "@" + address + "/statswan.cmd"),
      interfaceName_(std::move(interfaceName)) {}

std::optional<Reading> WebSource::poll() {
    // The page the last request brought; then the next request. A request
    // that has not ended (a slow or silent router) is left to its time-out:
    // requests never pile up.
    std::optional<platform::FetchOutcome> outcome = fetch_->take();
    fetch_->start(url_);
    if (!outcome) outcome = fetch_->take();  // a page that came at once
    if (!outcome) return std::nullopt;
    if (!outcome->response) throw RuntimeError(kErrInternet, outcome->error);
    std::optional<Reading> reading = read(*outcome->response, MonotonicSeconds());
    if (reading) answered_ = true;
    return reading;
}

std::optional<Reading> WebSource::read(const platform::UrlResponse& response, double at) {
    switch (ClassifyWebPage(response.body, response.status)) {
    case WebPageVerdict::WrongDetails: tell(Problem::Kind::WrongDetails, kWrongDetailsMessage); return std::nullopt;
    case WebPageVerdict::Busy: tell(Problem::Kind::RouterBusy, kRouterBusyMessage); return std::nullopt;
    case WebPageVerdict::Counters: break;
    }

    // Router counters are unsigned and pass 2^31 after 2 GiB; whole numbers up
    // to 2^53 stay exact in a double, and so do their differences.
    // The page of the first routers held the counters at fixed places;
    // firmware today writes a table with headings and a row per connection.
    if (interfaceName_.empty()) {
        std::optional<Reading> fixed;
        ResumeNext([&] {
            const WebCounterTexts texts = ParseWebCounters(response.body);
            fixed = Reading{ParseCounter(texts.incoming), ParseCounter(texts.outgoing), at, std::nullopt};
        });
        if (fixed) return fixed;
    }
    if (const auto table = ReadStatsTable(response.body, interfaceName_))
        return Reading{table->received, table->transmitted, at, std::nullopt};
    return std::nullopt;
}

}  // namespace vx
