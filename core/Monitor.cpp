#include "core/Monitor.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "runtime/clock.h"
#include "runtime/errors.h"
#include "sources/ConsoleSource.h"
#include "sources/RouterMessages.h"
#include "sources/SnmpSource.h"
#include "sources/UpnpSource.h"
#include "sources/WebSource.h"
#include "traffic/modFunctions.h"

namespace vx {

namespace {

// Ticks without a reading before the display stops showing the last rates.
constexpr int kTicksBeforeSilence = 3;

std::unique_ptr<Source> SourceFor(const MonitorSettings& s, const std::optional<std::string>& upnpLocation) {
    if (upnpLocation) return std::make_unique<UpnpSource>(platform::OpenGateway(*upnpLocation));
    if (auto snmp = SnmpTargetFromSettings(s.routerIP, s.password, s.interfaceName))
        return std::make_unique<SnmpSource>(platform::OpenSnmpAgent(*snmp), *snmp);
    if (s.is9106) return std::make_unique<ConsoleSource>(s.user, s.password, s.routerIP);
    return std::make_unique<WebSource>(s.user, s.password, s.routerIP, s.interfaceName);
}

}  // namespace

Problem WriteFailure(const std::string& file, const std::string& reason) {
    return Problem{Problem::Kind::FileNotWritten, "vxstat cannot write " + file + ":\n" + reason +
                                                      "\n\nMonitoring goes on, but what should be kept there is not."};
}

Monitor::Monitor(MonitorSettings settings, std::unique_ptr<Source> source, std::string tip)
    : settings_(std::move(settings)),
      upnpLocation_(UpnpLocation(settings_.routerIP)),
      routerKey_(KeyFor(settings_, upnpLocation_)),
      source_(std::move(source)),
      traffic_(settings_.totals),
      quotaWatch_(tip, MonthStartDay(settings_.monthStart), ParseQuota(settings_.quota)),
      baseTip_(std::move(tip)) {
    if (NamesRecorder(settings_.routerIP))
        recorderAddress_ = RecorderAddress(settings_.routerIP).value_or(settings_.routerIP.substr(9));
    // A speed with a unit is the line's: it scales the bars and tells a
    // counter's wrap from a restart.
    if (const std::optional<LineSpeed> speed = ParseLineSpeed(settings_.speed)) {
        speedFromBox_ = true;
        traffic_.setLineSpeed(*speed);
    }
    scales_ = ScalesFor(settings_.speed);
}

Monitor::~Monitor() = default;

// How this router's bytes are filed: its address and the way it is read.
RouterKey Monitor::KeyFor(const MonitorSettings& settings, const std::optional<std::string>& upnpLocation) {
    if (NamesRecorder(settings.routerIP))
        return RouterKey{RecorderAddress(settings.routerIP).value_or(settings.routerIP), "recorder"};
    const char* source = settings.is9106 ? "console" : "web";
    if (upnpLocation) source = "upnp";
    // An agent is its host and port, whatever community or user reads it.
    if (auto snmp = SnmpTargetFor(settings.routerIP, {}, {}))
        return RouterKey{snmp->host + ":" + std::to_string(snmp->port), "snmp"};
    return RouterKey{upnpLocation ? *upnpLocation : settings.routerIP, source};
}

MonitorStep Monitor::start() {
    MonitorStep out;
    if (recorderAddress_) {
        // The recorder keeps the history: none here, so nothing is counted twice.
        if (!RecorderAddress(settings_.routerIP))
            out.problems.push_back({Problem::Kind::WrongDetails,
                                    "\"" + settings_.routerIP +
                                        "\" is not a recorder's address. Type vxstat://HOST or vxstat://HOST:PORT "
                                        "in Router Details."});
        if (!source_) source_ = std::make_unique<RecorderSource>(*recorderAddress_, settings_.password);
        recorder_ = dynamic_cast<RecorderSource*>(source_.get());
        out.status = source_->status();
        return out;
    }
    // A gateway found by discovery is filed under its own identity, once it is known.
    if (!(upnpLocation_ && upnpLocation_->empty())) OpenHistory(routerKey_, out.problems);
    if (!source_) source_ = SourceFor(settings_, upnpLocation_);
    out.status = source_->status();
    return out;
}

MonitorStep Monitor::step() {
    if (recorderAddress_) return ClientStep();
    MonitorStep out;
    const std::int64_t now = UtcSeconds();
    std::optional<TrafficUpdate> update;
    std::optional<Reading> taken;
    // A reading that fails is no reading; the tick goes on.
    ResumeNext([&] {
        if (std::optional<Reading> reading = source_->poll()) {
            update = traffic_.take(*reading);
            taken = reading;
        }
    });
    out.problems = source_->takeProblems();
    FollowIdentity(out);
    bool read = false;
    if (update) {
        out.taken = update->step;
        // Only counted steps move bytes: a restart or an impossible jump adds nothing.
        if (update->moved && history_) history_->add(now, *update->moved);
        if (update->step == Step::Stuck) {
            if (!stuckTold_) out.problems.push_back({Problem::Kind::StuckCounter, kStuckCounterMessage, false});
            stuckTold_ = true;
        } else {
            read = true;
        }
    }
    // The totals are saved with each flush that succeeded, so the file's totals
    // and the history's last reading (where a gap is credited from) agree: a
    // crash then loses at most the minute since, and counts nothing twice.
    if (history_ && history_->flushDue(now) && Flush(out)) saveTotals();
    if (history_) {
        QuotaCheck quota = quotaWatch_.check(*history_, now);
        out.tip = std::move(quota.tip);
        if (quota.notice) out.notices.push_back(std::move(*quota.notice));
    }
    Follow(source_->lineSpeed(), out);
    // After the line's speed is known: it bounds what a gap may have carried.
    if (taken && update->step != Step::Stuck) Mark(*taken, now);

    // Old rates are not shown as current: after a few ticks without a
    // reading the display says so, until the next reading.
    if (read)
        missed_ = 0;
    else if (source_->expectsReadings())
        ++missed_;
    out.silent = missed_ >= kTicksBeforeSilence;
    out.status = out.silent ? std::string(kNoAnswerStatus) : source_->status();
    if (out.silent) {
        shownIn_ = 0;
    } else if (update && update->rates) {
        out.rates = update->rates;
        const auto in = static_cast<float>(update->rates->in);
        shownIn_ = std::min(scales_.incomingMax, in);
    }
    out.level = Level();
    return out;
}

// A recorder's client shows what the recorder said, as it said it: its rates
// (once per reading of its own), its bars' ends, its tray level, its totals
// and its history. Nothing is counted or kept here.
MonitorStep Monitor::ClientStep() {
    MonitorStep out;
    ResumeNext([&] { source_->poll(); });
    out.problems = source_->takeProblems();
    std::optional<RecorderNow> now = recorder_ ? recorder_->takeAnswer() : std::nullopt;
    if (now) {
        missed_ = 0;
        // The recorder ticks once a second, as this does: an answer from the
        // same tick of its is no new reading.
        const bool fresh = recorderTick_ != now->tick;
        recorderTick_ = now->tick;
        recorderUp_ = now->up;
        recorderStatus_ = now->status;
        recorderTotals_ = now->totals;
        recorderLevel_ = now->up ? now->level : 0;
        if (now->scales.incomingMax != scales_.incomingMax || now->scales.outgoingMax != scales_.outgoingMax ||
            now->scales.megabytes != scales_.megabytes) {
            scales_ = now->scales;
            out.scales = scales_;
        }
        if (fresh && now->up && now->rates) out.rates = now->rates;
        recorderSummary_ = std::move(now->summary);
        const std::string tip = recorderSummary_ ? QuotaTip(baseTip_, *recorderSummary_) : baseTip_;
        if (tip != recorderTip_) out.tip = tip;
        recorderTip_ = tip;
        // The quota's notices as the desktop shows its own, from the
        // recorder's figures; remembered while this runs.
        if (recorderSummary_ && recorderSummary_->quota) {
            if (recorderNoticeMonth_ != recorderSummary_->monthStart) recorderNoticeShown_ = 0;
            recorderNoticeMonth_ = recorderSummary_->monthStart;
            if (const int due = QuotaNoticeDue(QuotaPercent(*recorderSummary_), recorderNoticeShown_)) {
                recorderNoticeShown_ = due;
                out.notices.push_back(QuotaNotice(due, *recorderSummary_));
            }
        }
    } else if (source_->expectsReadings()) {
        ++missed_;
    }
    if (missed_ >= kTicksBeforeSilence) {
        out.silent = true;
        out.status = kRecorderNoAnswerStatus;
        recorderLevel_ = 0;
    } else if (!recorderTick_) {
        out.status = source_->status();
    } else {
        out.silent = !recorderUp_;
        out.status = recorderUp_ || !recorderStatus_.empty() ? recorderStatus_ : std::string(kNoAnswerStatus);
        if (out.silent) recorderLevel_ = 0;
    }
    out.level = recorderLevel_;
    return out;
}

int Monitor::Level() const {
    const float fill = shownIn_ / scales_.incomingMax;
    const int level = static_cast<int>(std::floor(fill * 8));
    return std::clamp(level, 0, 7);
}

void Monitor::OpenHistory(const RouterKey& key, std::vector<Problem>& out) {
    std::string error;
    history_ = History::Open(HistoryFile(), key, error, MonthStartDay(settings_.monthStart));
    historyKey_ = key;
    if (!history_) {
        TellWriteFailure(HistoryFile(), error, out);  // monitoring goes on without it
        return;
    }
    if (!historyBegun_) history_->keepBeforeHistory(settings_.totals);
    historyBegun_ = true;
    TakeHistoryNotice(out);
}

// The reading is kept as the history's mark; the first one of this run is held
// against the last run's mark, and what the router provably counted in
// between is credited as recovered.
void Monitor::Mark(const Reading& reading, std::int64_t now) {
    if (!history_) return;
    CounterMark mark{reading.bytesIn,    reading.bytesOut,       reading.uptime, now,
                     reading.counters64, source_->countersName()};
    // An uptime asked for now and then is carried forward to the counters' moment.
    if (mark.uptime && reading.uptimeAt > 0) *mark.uptime += std::max(0.0, reading.at - reading.uptimeAt);
    if (!gapLooked_) {
        gapLooked_ = true;
        if (const std::optional<CounterMark> before = history_->storedMark()) {
            gap_ = CreditGap(*before, mark, traffic_.lineSpeed());
            if (gap_->gap == Gap::Counted) {
                traffic_.credit(gap_->bytes);
                history_->addRecovered(before->utc, mark.utc, gap_->bytes);
            }
        }
    }
    history_->keepMark(mark);
}

void Monitor::FollowIdentity(MonitorStep& out) {
    const std::optional<std::string> identity = source_->identity();
    if (!identity || identity->empty()) return;
    const RouterKey key{*identity, routerKey_.source};
    if (historyKey_ && historyKey_->address == key.address) return;
    if (history_) Flush(out);
    history_.reset();
    OpenHistory(key, out.problems);
}

void Monitor::TakeHistoryNotice(std::vector<Problem>& out) {
    if (!history_) return;
    if (std::string notice = history_->takeNotice(); !notice.empty())
        out.push_back(Problem{Problem::Kind::HistoryDamaged, std::move(notice)});
}

void Monitor::Follow(const std::optional<LineSpeed>& speed, MonitorStep& out) {
    if (!speed || speed == routerSpeed_ || speed->down <= 0) return;
    routerSpeed_ = speed;
    if (speedFromBox_) return;
    traffic_.setLineSpeed(*speed);
    scales_ = ScalesFor(*speed);
    // A bar never holds more than its end.
    shownIn_ = std::min(shownIn_, scales_.incomingMax);
    out.scales = scales_;
}

bool Monitor::Flush(MonitorStep& out) {
    bool written = false;
    std::vector<Problem> problems = flushHistory(&written);
    out.problems.insert(out.problems.end(), problems.begin(), problems.end());
    return written;
}

std::vector<Problem> Monitor::flushHistory(bool* written) {
    std::vector<Problem> problems;
    if (!history_) return problems;
    std::string error;
    // The bytes stay in memory for the next try.
    const bool ok = history_->flush(error);
    if (!ok) TellWriteFailure(HistoryFile(), error, problems);
    if (written) *written = ok;
    TakeHistoryNotice(problems);
    return problems;
}

void Monitor::TellWriteFailure(const std::string& file, const std::string& reason, std::vector<Problem>& out) {
    if (!filesTold_.insert(file).second) return;
    std::fprintf(stderr, "vxstat: cannot write %s: %s\n", file.c_str(), reason.c_str());
    out.push_back(WriteFailure(file, reason));
}

void Monitor::saveTotals() const {
    // A recorder's client has no totals of its own to keep.
    if (!recorderAddress_) traffic_.save(StatisticsFile());
}

std::vector<Problem> Monitor::close() {
    if (source_) source_->close();
    saveTotals();
    return flushHistory();
}

std::optional<HistorySummary> Monitor::summary() const {
    if (recorderAddress_) return recorderSummary_;
    if (!history_) return std::nullopt;
    return history_->summary(UtcSeconds(), MonthStartDay(settings_.monthStart), ParseQuota(settings_.quota));
}

}  // namespace vx
