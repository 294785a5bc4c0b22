// The traffic history's costs: a tick's add(), the minute's one write, and
// the summary and months the history window and the command line read, over
// a year of data.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "history/History.h"
#include "history/HistoryStore.h"

namespace {

using namespace vx;

constexpr std::int64_t kStart = 1767225600;  // 2026-01-01 00:00 UTC

class Folder {
public:
    Folder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vxstat-bench-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~Folder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string file() const { return path_ + "/history.db"; }

private:
    std::string path_;
};

std::unique_ptr<History> OpenOrFail(const std::string& file, benchmark::State& state) {
    std::string error;
    std::unique_ptr<History> h = History::Open(file, {"127.0.0.1", "web"}, error);
    if (!h) state.SkipWithError(("cannot open the history: " + error).c_str());
    return h;
}

// One tick: a second later than the last, some bytes. The minute's write is
// done outside the timing, as the monitor does it once a minute.
void BM_TickAdd(benchmark::State& state) {
    Folder folder;
    auto h = OpenOrFail(folder.file(), state);
    if (!h) return;
    std::int64_t t = kStart;
    std::string error;
    for (auto _ : state) {
        h->add(++t, {1500, 120});
        if (t % 60 == 0) {
            state.PauseTiming();
            h->flush(error);
            state.ResumeTiming();
        }
    }
}
// A fixed count: each minute's write (a synced transaction) happens outside
// the timing, but the benchmark still waits for it.
BENCHMARK(BM_TickAdd)->Iterations(120000);

// The minute's transaction: 60 ticks' bytes into a minute, an hour, a day and
// a month row, and the pruning.
void BM_MinuteFlush(benchmark::State& state) {
    Folder folder;
    auto h = OpenOrFail(folder.file(), state);
    if (!h) return;
    std::int64_t t = kStart;
    std::string error;
    for (auto _ : state) {
        state.PauseTiming();
        for (int i = 0; i < 60; ++i) h->add(++t, {1500, 120});
        state.ResumeTiming();
        if (!h->flush(error)) state.SkipWithError(error.c_str());
    }
}
BENCHMARK(BM_MinuteFlush)->Unit(benchmark::kMicrosecond);

// A year of history: every hour of the year (each day's bytes written at the
// day's end), and every minute of the last two days.
class YearOfData {
public:
    YearOfData() {
        std::string error;
        auto h = History::Open(folder_.file(), {"127.0.0.1", "web"}, error);
        if (!h) return;
        const std::int64_t end = kStart + 365 * 86400;
        for (std::int64_t t = kStart; t < end - 2 * 86400; t += 3600) {
            h->add(t, {50e6, 4e6});
            if ((t - kStart) % 86400 == 23 * 3600) h->flush(error);
        }
        for (std::int64_t t = end - 2 * 86400; t < end; t += 60) {
            h->add(t, {1e6, 1e5});
            if ((t - kStart) % 3600 == 3540) h->flush(error);
        }
        h->flush(error);
        now_ = end - 1;
        ok_ = true;
    }
    std::string file() const { return folder_.file(); }
    std::int64_t now() const { return now_; }
    bool ok() const { return ok_; }

private:
    Folder folder_;
    std::int64_t now_ = 0;
    bool ok_ = false;
};

const YearOfData& Year() {
    static const YearOfData year;
    return year;
}

// What the history window asks when it opens: a new connection and the summary.
void BM_OpenAndSummaryOverAYear(benchmark::State& state) {
    if (!Year().ok()) return state.SkipWithError("the year of data could not be written");
    for (auto _ : state) {
        auto h = OpenOrFail(Year().file(), state);
        if (!h) return;
        HistorySummary s = h->summary(Year().now(), 15, 500.0 * (1 << 30));
        benchmark::DoNotOptimize(s);
    }
}
BENCHMARK(BM_OpenAndSummaryOverAYear)->Unit(benchmark::kMillisecond);

void BM_SummaryOverAYear(benchmark::State& state) {
    if (!Year().ok()) return state.SkipWithError("the year of data could not be written");
    auto h = OpenOrFail(Year().file(), state);
    if (!h) return;
    for (auto _ : state) {
        HistorySummary s = h->summary(Year().now(), 15, 500.0 * (1 << 30));
        benchmark::DoNotOptimize(s);
    }
}
BENCHMARK(BM_SummaryOverAYear)->Unit(benchmark::kMillisecond);

void BM_MonthsOverAYear(benchmark::State& state) {
    if (!Year().ok()) return state.SkipWithError("the year of data could not be written");
    auto h = OpenOrFail(Year().file(), state);
    auto* store = dynamic_cast<HistoryStore*>(h.get());
    if (!store) return;
    for (auto _ : state) benchmark::DoNotOptimize(store->months(Year().now(), 15));
}
BENCHMARK(BM_MonthsOverAYear)->Unit(benchmark::kMillisecond);

// The first reading after a year closed: the recovered bytes spread over the
// gap's minutes, hours and days, and written, on the window's thread.
void BM_RecoverAYearsGap(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        Folder folder;
        auto h = OpenOrFail(folder.file(), state);
        if (!h) return;
        state.ResumeTiming();
        h->addRecovered(kStart, kStart + 365 * 86400, {5e12, 5e11});
        std::string error;
        if (!h->flush(error)) return state.SkipWithError(error.c_str());
    }
}
BENCHMARK(BM_RecoverAYearsGap)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
