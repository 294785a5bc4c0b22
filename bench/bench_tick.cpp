// One whole tick of the monitor over the headless backend: the reading (the
// simulated router's page or "ifconfig" reply, handed over without a network
// wait), the bars, the figures and the tray level.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "dialogs/StartUp.h"
#include "monitor/frmMain.h"
#include "platform/fake/fake.h"
#include "forms/form.h"
#include "sim_samples.h"

namespace {

using namespace vx;

// The sample with its counter moved on by `step` bytes a tick; the digits keep
// their count, so the page's layout stays as the router serves it.
class MovingSample {
public:
    MovingSample(std::string text, unsigned long long counter, unsigned long long step)
        : text_(std::move(text)), digits_(std::to_string(counter)), counter_(counter), step_(step) {
        at_ = text_.find(digits_);
    }
    const std::string& next() {
        counter_ += step_;
        std::string now = std::to_string(counter_);
        text_.replace(at_, digits_.size(), now);
        digits_ = now;
        return text_;
    }

private:
    std::string text_;
    std::string digits_;
    unsigned long long counter_;
    unsigned long long step_;
    std::size_t at_;
};

frmMain& StartMonitor(bool console) {
    std::string pattern = (std::filesystem::temp_directory_path() / "vxstat-bench-XXXXXX").string();
    const std::string folder = ::mkdtemp(pattern.data());
    fake::Reset();
    fake::S().appPath = folder;
    std::ofstream(folder + "/boot.ini") << "[Settings]\nEnabled=True\nIP=127.0.0.1\nSpeed=2meg\n9106router="
                                        << (console ? "Yes" : "No") << "\n";
    StartProgram();
    fake::ProcessEvents();
    return *Default<frmMain>::Peek();
}

// A tick that failed to read would be measured as a fast one.
void CheckShowsTheRate(benchmark::State& state, frmMain& m) {
    if (state.iterations() > 1 && m.lblBytesIn.caption() != "68k/s")  // 70001 bytes a tick
        state.SkipWithError("the ticks showed no rate: the reading failed");
}

void StopMonitor() {
    Default<frmMain>::Unload();
    fake::ProcessEvents();
    std::filesystem::remove_all(fake::S().appPath);
    fake::Reset();
}

void WebTick(benchmark::State& state) {
    MovingSample page(std::string(samples::kPage), samples::kPageRx, 70001);
    frmMain& m = StartMonitor(false);
    // After the start, which begins from a fresh backend.
    fake::S().urlHandler = [&](const std::string&) { return platform::UrlResponse{200, page.next()}; };
    for (auto _ : state) m.Timer.tick();
    CheckShowsTheRate(state, m);
    StopMonitor();
}
BENCHMARK(WebTick)->Unit(benchmark::kMicrosecond);

void ConsoleTick(benchmark::State& state) {
    MovingSample reply(std::string(samples::kIfconfig), samples::kIfconfigRx, 70001);
    frmMain& m = StartMonitor(true);
    fake::FakeTcpClient& socket = *fake::S().lastTcpClient;
    for (int i = 0; i < 3; ++i) {            // user, password, prompt: now in the console
        socket.incoming = std::string(">");  // not a literal: a false -Wrestrict in GCC 12 at -O3
        m.Timer.tick();
    }
    for (auto _ : state) {
        socket.incoming = reply.next();
        m.Timer.tick();
        socket.sent.clear();
    }
    CheckShowsTheRate(state, m);
    StopMonitor();
}
BENCHMARK(ConsoleTick)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
