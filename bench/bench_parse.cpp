// What one tick costs besides the network: cutting the counters out of the
// router's statistics page and out of an "ifconfig" reply, on the simulated
// router's own output, and on the largest texts a tick can be handed.
#include <benchmark/benchmark.h>

#include <string>

#include "platform/net.h"
#include "sources/ConsoleReply.h"
#include "sources/WebPage.h"
#include "runtime/errors.h"
#include "runtime/numtext.h"
#include "sim_samples.h"

namespace {

using namespace vx;

void WebPageCounters(benchmark::State& state) {
    for (auto _ : state) {
        WebCounterTexts t = ParseWebCounters(samples::kPage);
        benchmark::DoNotOptimize(t);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * samples::kPage.size()));
}
BENCHMARK(WebPageCounters);

// Everything the fetch does with a page: markers, cell walk, numbers.
void WebPageReading(benchmark::State& state) {
    for (auto _ : state) {
        WebPageVerdict v = ClassifyWebPage(samples::kPage, 200);
        WebCounterTexts t = ParseWebCounters(samples::kPage);
        double in = ParseCounter(t.incoming);
        double out = ParseCounter(t.outgoing);
        benchmark::DoNotOptimize(v);
        benchmark::DoNotOptimize(in + out);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * samples::kPage.size()));
}
BENCHMARK(WebPageReading);

// The largest body the fetch accepts, without a single cell: every search
// runs to the end.
void WebPageLargestWithoutCells(benchmark::State& state) {
    const std::string page(platform::kMaxBodyBytes, 'x');
    for (auto _ : state) {
        ClassifyWebPage(page, 200);
        try {
            ParseWebCounters(page);
        } catch (const RuntimeError&) {
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}
BENCHMARK(WebPageLargestWithoutCells)->Unit(benchmark::kMillisecond);

void ConsoleReplyCounters(benchmark::State& state) {
    for (auto _ : state) {
        ConsoleCounterTexts t = ParseConsoleCounters(samples::kIfconfig);
        double rx = CDbl(t.rx);
        double tx = CDbl(t.tx);
        benchmark::DoNotOptimize(rx + tx);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * samples::kIfconfig.size()));
}
BENCHMARK(ConsoleReplyCounters);

// The most one read hands over (a flooding peer), without the PPP line.
void ConsoleReplyLargestWithoutPpp(benchmark::State& state) {
    const std::string reply(platform::kMaxReceiveBytes, 'x');
    for (auto _ : state) {
        try {
            ParseConsoleCounters(reply);
        } catch (const RuntimeError&) {
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * reply.size()));
}
BENCHMARK(ConsoleReplyLargestWithoutPpp)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
