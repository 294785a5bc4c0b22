// vxstat-recorder: one router's traffic recorded by an always-on process with
// no window, for Prometheus, browsers and scripts to read over HTTP.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/Monitor.h"
#include "platform/app.h"
#include "platform/profile.h"
#include "recorder/Options.h"
#include "recorder/Server.h"
#include "recorder/Snapshot.h"
#include "recorder/headless.h"
#include "runtime/clock.h"
#include "traffic/modFunctions.h"

namespace {

using vx::recorder::Options;
using vx::recorder::Snapshot;

const char* const kVersion = "vxstat-recorder " VXSTAT_VERSION
                             "\n"
                             "Copyright (c) 2026 The vxstat developers\n"
                             "License: MIT\n";

void Log(const std::string& line) {
    std::string text = line;
    for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
    std::fprintf(stderr, "vxstat-recorder: %s\n", text.c_str());
}

// The monitor's settings from boot.ini, with the totals from userstats.txt,
// as the desktop's start-up reads them.
vx::MonitorSettings ReadSettings(const std::string& bootIni, const std::string& stats) {
    vx::MonitorSettings settings;
    settings.user = "admin";
    settings.routerIP = vx::ReadIniValue("Settings", "IP", bootIni);
    settings.password = vx::ReadIniValue("Settings", "Password", bootIni);
    settings.speed = vx::ReadIniValue("Settings", "Speed", bootIni);
    settings.is9106 = vx::ReadIniValue("Settings", "9106router", bootIni) == "Yes";
    settings.interfaceName = vx::ReadIniValue("Settings", "Interface", bootIni);
    settings.monthStart = vx::ReadIniValue("Settings", "MonthStart", bootIni);
    settings.quota = vx::ReadIniValue("Settings", "Quota", bootIni);
    if (vx::ReadIniValue("TotalStats", "Enabled", stats) == "True") {
        settings.totals.in = vx::TotalFromText(vx::ReadIniValue("TotalStats", "Incoming", stats));
        settings.totals.out = vx::TotalFromText(vx::ReadIniValue("TotalStats", "OutGoing", stats));
    } else {
        vx::WriteIniValue("TotalStats", "Enabled", "True", stats);
        vx::WriteIniValue("TotalStats", "Date", vx::platform::DateText() + " " + vx::platform::TimeText(), stats);
        vx::WriteIniValue("TotalStats", "Incoming", "0", stats);
        vx::WriteIniValue("TotalStats", "OutGoing", "0", stats);
    }
    return settings;
}

// The monitor, stepped once a second, and what it came to for the server.
class Recorder {
public:
    Recorder(vx::MonitorSettings settings, vx::recorder::SnapshotBox& box) : monitor_(std::move(settings)), box_(box) {
        const vx::RouterKey key = monitor_.routerKey();
        snapshot_.router = key.address;
        snapshot_.source = key.source;
    }

    void start() {
        Tell(monitor_.start());
        snapshot_.summary = monitor_.summary();
        Publish();
    }

    void tick() {
        const vx::MonitorStep step = monitor_.step();
        Tell(step);
        ++snapshot_.ticks;
        if (step.taken) {
            snapshot_.lastReading = vx::MonotonicSeconds();
            switch (*step.taken) {
            case vx::Step::Wrapped: ++snapshot_.wraps; break;
            case vx::Step::Restarted: ++snapshot_.restarts; break;
            case vx::Step::Impossible: ++snapshot_.impossible; break;
            case vx::Step::Stuck: ++snapshot_.stuck; break;
            default: break;
            }
        } else {
            ++snapshot_.missed;
        }
        if (step.rates) snapshot_.rates = step.rates;
        if (step.silent) snapshot_.rates.reset();
        snapshot_.up = snapshot_.lastReading.has_value() && !step.silent;
        snapshot_.status = step.status;
        snapshot_.level = step.level;
        // The history's figures are a query: every few seconds is enough for
        // today's and the month's bytes.
        if (snapshot_.ticks % 5 == 0) snapshot_.summary = monitor_.summary();
        // With a history the core saves the totals at each flush; without
        // one they reach the file once a minute, so a crash loses at most that.
        if (!monitor_.history() && snapshot_.ticks % 60 == 0) monitor_.saveTotals();
        Publish();
    }

    void stop() {
        for (const vx::Problem& problem : monitor_.close()) Log(problem.text);
        Log("totals saved and history written");
    }

private:
    void Tell(const vx::MonitorStep& step) {
        for (const vx::Problem& problem : step.problems) Log(problem.text);
        for (const vx::Notice& notice : step.notices) Log(notice.title + ": " + notice.text);
        if (step.status != lastStatus_ && !step.status.empty()) Log("router: " + step.status);
        lastStatus_ = step.status;
    }

    void Publish() {
        snapshot_.utc = vx::UtcSeconds();
        snapshot_.monotonic = vx::MonotonicSeconds();
        snapshot_.totals = monitor_.traffic().totals();
        const vx::Scales& scales = monitor_.scales();
        snapshot_.lineSpeed = {scales.incomingMax, scales.outgoingMax};
        snapshot_.megabytes = scales.megabytes;
        box_.publish(snapshot_);
    }

    vx::Monitor monitor_;
    vx::recorder::SnapshotBox& box_;
    Snapshot snapshot_;
    std::string lastStatus_;
};

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    const std::optional<Options> parsed = vx::recorder::ParseOptions(args, error);
    if (!parsed) {
        std::fprintf(stderr, "vxstat-recorder: %s\n%s", error.c_str(), vx::recorder::kUsage);
        return 2;
    }
    const Options& options = *parsed;
    if (options.help || options.version) {
        std::fputs(options.help ? vx::recorder::kUsage : kVersion, stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }

    const std::string bootIni = options.config + "/boot.ini";
    if (!vx::platform::FileExists(bootIni)) {
        Log("no settings: " + bootIni + " does not exist (it takes the same keys as vxstat's boot.ini)");
        return 1;
    }
    vx::recorder::ServerSettings server;
    if (!vx::recorder::ReadServerSettings(options, bootIni, server, error)) {
        Log(error);
        return 1;
    }

    // Every file of the core's is found in the program's folder: here, the
    // data folder.
    if (!vx::platform::MakeFolder(options.data)) {
        Log("cannot make the data folder " + options.data + ": " + vx::platform::LastErrorText());
        return 1;
    }
    vx::platform::headless::SetDataFolder(options.data);
    const std::string stats = vx::StatisticsFile();
    // One recorder (or desktop vxstat) per data folder: the same lock the
    // desktop holds on its statistics file.
    bool heldElsewhere = false;
    const auto lock = vx::platform::LockFileSlot(stats + ".lock", 0, heldElsewhere);
    if (!lock) {
        Log(heldElsewhere ? "another vxstat or vxstat-recorder already keeps the files in " + options.data +
                                "; not starting a second one"
                          : "cannot lock " + stats + ".lock: " + vx::platform::LastErrorText());
        return 1;
    }
    vx::platform::RemoveStaleTemporaries(stats);

    vx::MonitorSettings settings = ReadSettings(bootIni, stats);
    if (settings.routerIP.empty()) {
        Log("no router: " + bootIni + " sets no IP in its [Settings]");
        return 1;
    }

    // Threads started from here on (the fetch, the server) leave the
    // shutdown signals to the event loop.
    vx::platform::headless::BlockShutdownSignals();
    vx::recorder::SnapshotBox box;
    Recorder recorder(std::move(settings), box);
    recorder.start();

    vx::recorder::HistorySettings history;
    history.file = vx::HistoryFile();
    history.monthStartDay = vx::MonthStartDay(vx::ReadIniValue("Settings", "MonthStart", bootIni));
    history.quota = vx::ParseQuota(vx::ReadIniValue("Settings", "Quota", bootIni));
    vx::recorder::Server http(box, server, history);
    if (!http.start(error)) {
        Log(error);
        recorder.stop();
        return 1;
    }
    Log("recording " + box.get().router + " (" + box.get().source + ") into " + options.data + "; serving on http://" +
        server.listen);
    vx::platform::headless::SetTick([&] { recorder.tick(); });
    vx::platform::headless::SetStop([&] { recorder.stop(); });
    const int status = vx::platform::RunEventLoop();
    http.stop();
    return status;
}
