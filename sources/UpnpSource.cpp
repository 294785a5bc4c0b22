#include "sources/UpnpSource.h"

#include "runtime/numtext.h"
#include "sources/RouterMessages.h"

namespace vx {

namespace {

// The line speeds and the uptime change seldom: asked for at the start and
// then once a minute.
constexpr int kRoundsBetweenDetails = 60;

}  // namespace

std::optional<std::string> UpnpLocation(const std::string& address) {
    std::string text = address;
    while (!text.empty() && text.back() == ' ') text.pop_back();
    while (!text.empty() && text.front() == ' ') text.erase(0, 1);
    if (text.size() == 4 && StartsWithNoCase(text, "upnp")) return std::string();
    if (StartsWithNoCase(text, "upnp://") && text.size() > 7) return "http://" + text.substr(7);
    return std::nullopt;
}

UpnpSource::UpnpSource(std::unique_ptr<platform::Gateway> gateway) : gateway_(std::move(gateway)) {}

std::optional<Reading> UpnpSource::poll() {
    std::optional<Reading> reading;
    std::string failure;
    if (std::optional<platform::GatewayAnswer> a = gateway_->answer()) {
        answered_ = true;
        if (a->linkDown && *a->linkDown > 0) speed_ = LineSpeed{*a->linkDown, a->linkUp.value_or(0)};
        if (a->uptime) uptime_ = a->uptime;
        if (a->failure.empty() && a->received && a->sent)
            reading = Reading{*a->received, *a->sent, a->at, uptime_};
        else
            failure = a->failure.empty() ? "the gateway gave no byte totals" : a->failure;
    }
    // The next round starts now, so that its answer is there by the next
    // tick; details at the start, until the speeds are known, and now and then.
    const bool details = roundsSinceDetails_ == 0 || !speed_;
    roundsSinceDetails_ = (roundsSinceDetails_ + 1) % kRoundsBetweenDetails;
    gateway_->request(details);
    // A failure is told once; the gateway is asked again every tick, quietly.
    if (reading) read_ = true;
    if (!failure.empty() && !told_) {
        told_ = true;
        tell(Problem::Kind::GatewayFailed, UpnpProblemMessage(failure));
    }
    return reading;
}

}  // namespace vx
