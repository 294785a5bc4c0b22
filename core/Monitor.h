// The monitoring core: one router's source, the counter rules, the totals, the
// history and the quota, with no window. Each tick is one step(), and the step
// says everything a view needs to show; nothing here opens a box.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/QuotaWatch.h"
#include "core/RecorderSource.h"
#include "history/History.h"
#include "sources/Source.h"
#include "traffic/LineSpeed.h"
#include "traffic/Problem.h"
#include "traffic/Traffic.h"

namespace vx {

// What the router details dialog (or a recorder's settings) hands to the core.
struct MonitorSettings {
    std::string user;
    std::string password;
    std::string routerIP;
    std::string speed;  // "512" is the small scale; a speed with a unit is the line's
    bool is9106 = false;
    std::string interfaceName;  // one WAN connection of the statistics page; empty: all of them
    ByteCounts totals;          // the stored totals, to grow from
    std::string monthStart;     // boot.ini "MonthStart": the billing month's first day, as written
    std::string quota;          // boot.ini "Quota": what a billing month may use ("500G"), as written
};

// The caption's word while the router does not answer.
inline constexpr const char* kNoAnswerStatus = "The router does not answer";
// The same, where the address names a vxstat recorder.
inline constexpr const char* kRecorderNoAnswerStatus = "The recorder does not answer";

// What one tick came to.
struct MonitorStep {
    // The rates to show now, bytes per second; none: what is shown stays.
    std::optional<ByteCounts> rates;
    // No reading for a few ticks: the display shows no figures, empty bars, level 0.
    bool silent = false;
    // The caption's status: "Connecting", "Sent User", kNoAnswerStatus, ...; empty when all is well.
    std::string status;
    // The tray picture's level, 0..7: the incoming rate shown, in eighths of its scale.
    int level = 0;
    // New scales for the bars: the router told its line speed.
    std::optional<Scales> scales;
    // The tray tip, when it changed.
    std::optional<std::string> tip;
    // What the user should be told, and notices for the tray.
    std::vector<Problem> problems;
    std::vector<Notice> notices;
    // What the reading of this tick was taken as; none without one.
    std::optional<Step> taken;
};

class Monitor {
public:
    // `source` reads the router; none: the one the settings name (UPnP, the
    // console or the statistics page). `tip` is the tray tip without a quota.
    explicit Monitor(MonitorSettings settings, std::unique_ptr<Source> source = nullptr, std::string tip = "vxStats");
    ~Monitor();
    Monitor(const Monitor&) = delete;
    Monitor& operator=(const Monitor&) = delete;

    // Opens the history and starts reading. The step holds what could not be
    // opened and the first status; no reading yet.
    MonitorStep start();
    // One tick: takes what the source read, counts it, files it, and says
    // what to show.
    MonitorStep step();
    // Lets go of the router, saves the totals and writes the history.
    std::vector<Problem> close();

    // Writes the totals into the statistics file.
    void saveTotals() const;
    // Writes the history's bytes not yet in its file.
    std::vector<Problem> flushHistory(bool* written = nullptr);

    const MonitorSettings& settings() const { return settings_; }
    const Traffic& traffic() const { return traffic_; }
    // The running totals shown: this monitor's own, or the recorder's.
    ByteCounts totals() const { return recorderAddress_ ? recorderTotals_ : traffic_.totals(); }
    const Scales& scales() const { return scales_; }
    // The traffic history; null when its file could not be opened.
    History* history() const { return history_.get(); }
    // What the history window shows, as of now; none without a history.
    std::optional<HistorySummary> summary() const;
    // How this router's bytes are filed: its address and the way it is read.
    const RouterKey& routerKey() const { return routerKey_; }
    // What the first reading found of the time since the last run's: the
    // bytes recovered, or why none; none before that reading (or without a
    // last run's).
    const std::optional<GapCredit>& gap() const { return gap_; }

private:
    void OpenHistory(const RouterKey& key, std::vector<Problem>& out);
    void FollowIdentity(MonitorStep& out);
    void TakeHistoryNotice(std::vector<Problem>& out);
    void Follow(const std::optional<LineSpeed>& speed, MonitorStep& out);
    MonitorStep ClientStep();
    bool Flush(MonitorStep& out);
    void Mark(const Reading& reading, std::int64_t now);
    void TellWriteFailure(const std::string& file, const std::string& reason, std::vector<Problem>& out);
    int Level() const;

    MonitorSettings settings_;
    static RouterKey KeyFor(const MonitorSettings& settings, const std::optional<std::string>& upnpLocation);

    std::optional<std::string> upnpLocation_;  // the address names a UPnP gateway
    RouterKey routerKey_;
    std::unique_ptr<Source> source_;
    Traffic traffic_;
    std::unique_ptr<History> history_;
    std::optional<RouterKey> historyKey_;  // whose bytes the history file keeps
    bool historyBegun_ = false;            // the stored totals were handed to a history
    QuotaWatch quotaWatch_;
    Scales scales_;
    bool speedFromBox_ = false;  // the speed box named a line speed: the router's does not change it
    std::optional<LineSpeed> routerSpeed_;
    float shownIn_ = 0;  // the incoming rate the display shows, up to its scale
    int missed_ = 0;     // ticks in a row without a reading, where one was due
    bool stuckTold_ = false;
    bool gapLooked_ = false;  // the first reading was held against the last run's
    std::optional<GapCredit> gap_;
    std::set<std::string> filesTold_;  // each file that could not be written is told once

    // Reading a recorder: what it said last.
    std::optional<std::string> recorderAddress_;
    RecorderSource* recorder_ = nullptr;  // source_, as the recorder's client
    std::string baseTip_;
    std::optional<std::uint64_t> recorderTick_;
    bool recorderUp_ = true;
    std::string recorderStatus_;
    std::optional<HistorySummary> recorderSummary_;
    ByteCounts recorderTotals_;
    int recorderLevel_ = 0;
    std::string recorderTip_;
    std::int64_t recorderNoticeMonth_ = 0;  // the billing month the notices below were shown in
    int recorderNoticeShown_ = 0;           // 0, 80 or 100: once each per month while this runs
};

// A problem in the words of the file that could not be written.
Problem WriteFailure(const std::string& file, const std::string& reason);

}  // namespace vx
