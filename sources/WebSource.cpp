#include "sources/WebSource.h"

#include "platform/net.h"
#include "runtime/clock.h"
#include "runtime/errors.h"
#include "sources/RouterMessages.h"
#include "sources/WebPage.h"

namespace vx {

WebSource::WebSource(std::string user, std::string password, std::string address, std::string interfaceName)
    // Sent as typed: the fetch takes the user-info apart itself.
    : url_("http://" + user + ":" + password + "@" + address + "/statswan.cmd"),
      interfaceName_(std::move(interfaceName)),
      digest_([name = interfaceName_](const platform::UrlResponse& response) -> std::any {
          return ReadWebPage(response.body, response.status, name);
      }) {}

std::optional<Reading> WebSource::poll() {
    // The page the last request brought; then the next request. A request
    // that has not ended (a slow or silent router) is left to its time-out:
    // requests never pile up.
    std::optional<platform::FetchOutcome> outcome = fetch_->take();
    fetch_->start(url_, digest_);
    if (!outcome) outcome = fetch_->take();  // a page that came at once
    if (!outcome) return std::nullopt;
    if (!outcome->response) throw RuntimeError(kErrInternet, outcome->error);
    const auto* page = std::any_cast<WebPageReading>(&outcome->digest);
    if (!page) return std::nullopt;
    std::optional<Reading> reading = read(*page, MonotonicSeconds());
    if (reading) answered_ = true;
    return reading;
}

std::optional<Reading> WebSource::read(const WebPageReading& page, double at) {
    switch (page.verdict) {
    case WebPageVerdict::WrongDetails: tell(Problem::Kind::WrongDetails, kWrongDetailsMessage); return std::nullopt;
    case WebPageVerdict::Busy: tell(Problem::Kind::RouterBusy, kRouterBusyMessage); return std::nullopt;
    case WebPageVerdict::Counters: break;
    }
    if (!page.counters) return std::nullopt;
    return Reading{page.counters->incoming, page.counters->outgoing, at, std::nullopt};
}

}  // namespace vx
