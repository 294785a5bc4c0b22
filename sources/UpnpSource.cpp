#include "sources/UpnpSource.h"

#include "runtime/clock.h"
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
    const double now = MonotonicSeconds();
    std::optional<platform::GatewayAnswer> a = gateway_->answer();
    if (a) {
        answered_ = true;
        roundStarted_.reset();
        // A claim past what any home line carries is no speed: the line's stays unknown.
        if (a->linkDown && *a->linkDown > 0 && *a->linkDown <= kMaxLineBits) {
            const double up = a->linkUp.value_or(0);
            speed_ = LineSpeed{*a->linkDown, up > 0 && up <= kMaxLineBits ? up : 0};
        }
        if (a->uptime) {
            uptime_ = a->uptime;
            uptimeAt_ = a->at;
        }
        // Another gateway's counters are no continuation of the last one's.
        const bool otherGateway = a->found && !a->identity.empty() && identity_ && *identity_ != a->identity;
        if (a->found && !a->identity.empty()) identity_ = a->identity;
        healthy_ = a->failure.empty() && a->received && a->sent;
        holding_ = false;
        if (healthy_) {
            Reading r{*a->received, *a->sent, a->at, uptime_, otherGateway};
            r.uptimeAt = uptimeAt_;
            if (refresh_.pass(r))
                reading = r;
            else
                holding_ = true;
            read_ = true;
        } else {
            failure = a->failure.empty() ? "the gateway gave no byte totals" : a->failure;
        }
    }
    waiting_ = !a && healthy_ && roundStarted_ && now - *roundStarted_ <= platform::kGatewayRoundSeconds;
    // The next round starts now, so that its answer is there by the next
    // tick; details at the start, until the speeds are known, and now and then.
    if (!roundStarted_) {
        const bool details = roundsSinceDetails_ == 0 || !speed_;
        roundsSinceDetails_ = (roundsSinceDetails_ + 1) % kRoundsBetweenDetails;
        gateway_->request(details);
        roundStarted_ = now;
    }
    // A failure is told once; the gateway is asked again every tick, quietly.
    if (!failure.empty() && !told_) {
        told_ = true;
        tell(Problem::Kind::GatewayFailed, UpnpProblemMessage(failure));
    }
    return reading;
}

}  // namespace vx
