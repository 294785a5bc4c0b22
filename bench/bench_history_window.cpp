// Opening "Traffic History" with a year of data in the history file: the
// summary from the file, the charts laid out, the window's controls set, and
// closing it again. Over the headless backend, or with -DVX_BENCH_QT over the
// Qt backend offscreen, where the window is also painted.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "history/History.h"
#include "historyview/frmHistory.h"
#include "platform/app.h"
#ifdef VX_BENCH_QT
#include <QApplication>
#include <QWidget>
#else
#include "platform/fake/fake.h"
#endif

namespace {

using namespace vx;

constexpr std::int64_t kNow = 1796738400;  // 2026-12-08 14:00 UTC

std::string& Folder() {
    static std::string folder;
    return folder;
}

// A history file with a year of traffic: a reading every five minutes,
// written a day at a time.
std::unique_ptr<History> YearOfHistory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vxstat-bench-XXXXXX").string();
    const std::string folder = ::mkdtemp(pattern.data());
    Folder() = folder;
    std::string error;
    auto history = History::Open(folder + "/history.db", RouterKey{"127.0.0.5", "web"}, error);
    if (!history) {
        std::fprintf(stderr, "bench: %s\n", error.c_str());
        std::exit(1);
    }
    const std::int64_t start = kNow - 365 * 86400;
    for (std::int64_t t = start; t < kNow; t += 300) {
        history->add(t, ByteCounts{1.0e6 + static_cast<double>(t % 7919) * 100, 2.0e5});
        if ((t - start) % 86400 == 0 && !history->flush(error)) {
            std::fprintf(stderr, "bench: %s\n", error.c_str());
            std::exit(1);
        }
    }
    history->flush(error);
    return history;
}

void OpenAndClose(benchmark::State& state) {
    static std::unique_ptr<History> history;
    if (!history) history = YearOfHistory();
    const SummaryProvider provider = [] {
        return std::optional<HistorySummary>(history->summary(kNow, 1, 500.0 * (1 << 30)));
    };
    for (auto _ : state) {
        ShowHistory(provider);
#ifdef VX_BENCH_QT
        // Painted, as the window appears.
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible()) w->grab();
#endif
        Default<frmHistory>::Unload();
#ifndef VX_BENCH_QT
        fake::ProcessEvents();
#endif
    }
}
BENCHMARK(OpenAndClose)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
#ifdef VX_BENCH_QT
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
#endif
    vx::platform::InitApplication(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    if (!Folder().empty()) std::filesystem::remove_all(Folder());
    return 0;
}
