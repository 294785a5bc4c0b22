// What reading the router costs besides the network: cutting the counters out
// of the router's statistics page (on the fetch's worker) and out of an
// "ifconfig" reply, on the simulated router's own output, and on the largest
// and worst texts a reading can be handed.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "platform/net.h"
#include "sources/ConsoleReply.h"
#include "sources/WebPage.h"
#include "runtime/errors.h"
#include "runtime/numtext.h"
#include "sim_samples.h"
#include "tests/support/heap_peak.h"
#include "tests/support/hostile_pages.h"

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

// The whole reading of a page as the fetch's worker does it, with the most
// heap it held at once.
void ReadPage(benchmark::State& state, const std::string& page) {
    std::size_t peak = 0;
    for (auto _ : state) {
        peak = std::max(peak, test::PeakHeapOf([&] {
                            const auto r = ReadWebPage(page, 200, "");
                            benchmark::DoNotOptimize(r);
                        }));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
    state.counters["peak_heap_KiB"] = static_cast<double>(peak) / 1024;
}

void ClassicPageRead(benchmark::State& state) { ReadPage(state, std::string(samples::kPage)); }
BENCHMARK(ClassicPageRead);

void FirmwarePageRead(benchmark::State& state) { ReadPage(state, std::string(samples::kFirmwarePage)); }
BENCHMARK(FirmwarePageRead);

// Pages of 1 MiB made to keep the reader busy or greedy: each must be read
// or refused well within 50 ms and 16 MiB.
const std::vector<std::pair<std::string, std::string>>& WorstPages() {
    static const auto pages = [] {
        auto list = test::HostilePages();
        auto fill = [](const std::string& unit) {
            std::string page;
            while (page.size() + unit.size() <= platform::kMaxBodyBytes) page += unit;
            return page;
        };
        // Tables the reader lays out and reads to the page's limit, then the
        // rest of the page in cells of text.
        std::string near;
        for (int t = 0; t < 4; ++t) {
            near += "<table><tr><td>Received</td><td>Transmitted</td>";
            for (int r = 0; r < 63; ++r) near += "<tr><td colspan=63></td><td>Bytes</td>";
            near += "</table>";
        }
        list.emplace_back("tables at the page's limit, then text", near + fill("<td>" + std::string(60, 'x')));
        // Cells that start in a free column and spread over ones taken: row r
        // starts its wide cell a column further left than the row above, four
        // tables of 64 by 64.
        std::string stairs;
        for (int t = 0; t < 4; ++t) {
            stairs += "<table>";
            for (int r = 0; r < 64; ++r) {
                stairs += "<tr>";
                for (int c = 0; c < 63 - r; ++c) stairs += "<td>";
                stairs += "<td colspan=" + std::to_string(r + 1) + " rowspan=256>";
            }
            stairs += "</table>";
        }
        list.emplace_back("cells spreading over taken columns", stairs + fill("&amp;"));
        list.emplace_back("no table, fixed places run off the end", fill("<td"));
        // The slowest the fuzzer found: tables left open within tables, their
        // cells full of text, tags running on in quotes.
        list.emplace_back(
            "tables left open, cells of text (fuzzer)",
            fill(std::string(
                     "\002<html><body><table><tr><td rowspan52>Bytuuuuuuuuuuuuuuu%uuuuuul><body><table><tr><td "
                     "\002<html><body><table><tr><td rowspan52>Bytuuuuuuuuuuuuuuu%uuuuuul><body><table><tr><td "
                     "rowspan52>Bytuuuuuuuuuuuuuuuuuuuuues</tdz\352\006v2<d'rowspan52>Bytuuuuuuuuuuuuuuuuuuuuues</"
                     "tdz\352\006v2<d' ") +
                 '\0' + "colsle>"));
        list.emplace_back("an unclosed quote in a tag", "<table><tr><td colspan=\"" + fill("x"));
        return list;
    }();
    return pages;
}

void WorstPageRead(benchmark::State& state) {
    const auto& [what, page] = WorstPages()[static_cast<std::size_t>(state.range(0))];
    state.SetLabel(what);
    ReadPage(state, page);
}
BENCHMARK(WorstPageRead)->DenseRange(0, 10)->Unit(benchmark::kMillisecond);

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
