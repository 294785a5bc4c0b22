// Holds the statistics-page reader against its model on pages of any kind,
// and reads pages repeated up to the fetch's limit within a bounded heap.
// Built two ways: under clang's libFuzzer with -DVX_LIBFUZZER (scripts/fuzz),
// or as a plain program that tries random inputs (ctest runs it briefly):
//   fuzz_stats_table [COUNT] [SEED]      COUNT inputs (2000) from SEED (1)
//   fuzz_stats_table --seeds DIR COUNT   generated pages to start a fuzzer with
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "platform/net.h"
#include "runtime/errors.h"
#include "runtime/numtext.h"
#include "sources/StatsTable.h"
#include "sources/WebPage.h"
#include "tests/fuzz/stats_table_model.h"
#include "tests/support/heap_peak.h"

namespace {

using namespace vx;

const char* const kNames[] = {"", "ppp0", "BR_0_35", "pppoe_0_38_1"};

// What the structured pages are made of: one byte, one piece.
const char* const kPieces[] = {"<table>",
                               "</table>",
                               "<tr>",
                               "</tr>",
                               "<td>",
                               "</td>",
                               "<th>",
                               "</th>",
                               "<TD colspan=2>",
                               "<td colspan=\"8\">",
                               "<td rowspan=3>",
                               "<td colspan=64 rowspan=256>",
                               "<td rowspan='2' colspan='4'>",
                               "<td colspan=0>",
                               "<td colspan=99999>",
                               "<td rowspan=99999>",
                               "<TABLE border=1>",
                               "<Tr>",
                               "Received",
                               "Transmitted",
                               "Total",
                               "Multicast",
                               "Bytes",
                               "BYTES",
                               "Pkts",
                               "Errs",
                               "Interface",
                               "Description",
                               "ppp0",
                               "br_0_35",
                               "pppoe_0_38_1",
                               "-",
                               "N/A",
                               "0",
                               "7",
                               "123",
                               "4294967295",
                               "9007199254740992",
                               "9007199254740993",
                               "1.5",
                               "12a",
                               " ",
                               "\r\n",
                               "\t",
                               "&nbsp;",
                               "&amp;",
                               "&#160;",
                               "&",
                               "<br>",
                               "<p>",
                               "</div>",
                               "<b>",
                               "</b>",
                               "<!-- c -->",
                               "<!--",
                               "-->",
                               "<script>",
                               "</script>",
                               "<style>",
                               "</style>",
                               "\"",
                               "'",
                               "<",
                               ">",
                               "</",
                               "<td colspan=\"3",
                               "<td class='hd' ROWSPAN=\"3\">",
                               "<td>Bytes</td>",
                               "<td>Received</td>",
                               "<td>5</td>"};
constexpr std::size_t kPieceCount = sizeof kPieces / sizeof kPieces[0];

// The model keeps the whole grid: larger pages only meet the reader.
constexpr std::size_t kModelPageBytes = 8192;

[[noreturn]] void Fail(const std::string& what, const std::string& page, const std::string& name) {
    std::fprintf(stderr, "MISMATCH: %s (interface '%s', page of %zu bytes):\n%.2000s\n", what.c_str(), name.c_str(),
                 page.size(), page.c_str());
    std::abort();
}

// How many pages of each kind were met, for the plain program to tell.
struct Tally {
    long found = 0;
    long read = 0;
    long tooLarge = 0;
} tally;

void Compare(const std::string& page, const std::string& name) {
    const StatsTableReading r = ReadStatsTables(page, name);
    tally.found += r.found;
    tally.read += r.counters.has_value();
    tally.tooLarge += r.tooLarge;
    if (r.tooLarge && (r.found || r.counters)) Fail("a page too large still read", page, name);
    if (page.size() <= kModelPageBytes) {
        const model::Result m = model::Read(page, name);
        if (r.tooLarge != m.tooLarge) Fail("too large: reader " + std::to_string(r.tooLarge), page, name);
        if (r.found != m.found) Fail("found: reader " + std::to_string(r.found), page, name);
        if (r.counters.has_value() != m.hasCounters)
            Fail("counters: reader " + std::to_string(!!r.counters), page, name);
        if (r.counters && (r.counters->received != m.received || r.counters->transmitted != m.transmitted ||
                           r.counters->rows != m.rows))
            Fail("figures: reader " + NumText(r.counters->received) + "/" + NumText(r.counters->transmitted) + "/" +
                     std::to_string(r.counters->rows) + ", model " + NumText(m.received) + "/" +
                     NumText(m.transmitted) + "/" + std::to_string(m.rows),
                 page, name);
    }
    // The page as a whole: the table's reading when it has a statistics
    // table, the fixed places only when it has none.
    const WebPageReading w = ReadWebPage(page, 200, name);
    std::optional<WebCounters> expected;
    if (ClassifyWebPage(page, 200) == WebPageVerdict::Counters) {
        if (r.counters) {
            expected = WebCounters{r.counters->received, r.counters->transmitted};
        } else if (!r.found && !r.tooLarge && name.empty()) {
            try {
                const WebCounterTexts t = ParseWebCounters(page);
                const auto in = CounterValue(t.incoming);
                const auto out = CounterValue(t.outgoing);
                if (in && out) expected = WebCounters{*in, *out};
            } catch (const RuntimeError&) {
            }
        }
    }
    if (w.counters.has_value() != expected.has_value() ||
        (expected && (w.counters->incoming != expected->incoming || w.counters->outgoing != expected->outgoing)))
        Fail("the page's reading", page, name);
}

// The page repeated up to the largest body a fetch takes: read or refused
// within 16 MiB.
void ReadLarge(const std::string& unit, const std::string& name) {
    if (unit.empty()) return;
    std::string page;
    page.reserve(platform::kMaxBodyBytes);
    while (page.size() + unit.size() <= platform::kMaxBodyBytes) page += unit;
    const std::size_t peak = test::PeakHeapOf([&] { ReadWebPage(page, 200, name); });
    if (peak > std::size_t{16} << 20) Fail("held " + std::to_string(peak) + " bytes", unit, name);
}

// The first byte: which interface, structured or raw, repeated to 1 MiB or not.
void TestOne(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return;
    const std::uint8_t flags = data[0];
    const std::string name = kNames[flags & 3];
    std::string page;
    if (flags & 4) {
        for (std::size_t i = 1; i < size; ++i) page += kPieces[data[i] % kPieceCount];
    } else {
        page.assign(reinterpret_cast<const char*>(data) + 1, size - 1);
    }
    Compare(page, name);
    if ((flags & 0x78) == 0x78) ReadLarge(page, name);
}

}  // namespace

#ifdef VX_LIBFUZZER
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TestOne(data, size);
    return 0;
}
#else
namespace {

template <std::size_t N>
const char* Pick(std::mt19937_64& random, const char* const (&from)[N]) {
    return from[random() % N];
}

// A page of tables shaped like statistics tables, and then a few pieces put
// in at random places.
std::string Generated(std::mt19937_64& random) {
    static const char* const kOpen[] = {"<td", "<TD", "<th", "<td class='hd'"};
    static const char* const kSpans[] = {"",
                                         "",
                                         "",
                                         " colspan=2",
                                         " colspan=\"4\"",
                                         " COLSPAN='8'",
                                         " rowspan=2",
                                         " rowspan=\"3\"",
                                         " colspan=64 rowspan=256",
                                         " colspan=0",
                                         " rowspan=99999"};
    static const char* const kWords[] = {"Received", "Transmitted", "Total",       "Multicast", "Bytes", "Pkts",
                                         "Errs",     "Interface",   "Description", "",          "Octets"};
    static const char* const kFigures[] = {"-",
                                           "",
                                           "N/A",
                                           "0",
                                           "123",
                                           "4294967295",
                                           "ppp0",
                                           "br_0_35",
                                           " 5 ",
                                           "pppoe_0_38_1",
                                           "9007199254740992",
                                           "1.5",
                                           "&nbsp;7&nbsp;"};
    auto cell = [&](const std::string& text) {
        return std::string(Pick(random, kOpen)) + Pick(random, kSpans) + ">" + text + (random() % 3 ? "</td>" : "");
    };
    std::string page = "<html><body>";
    for (std::size_t t = 0, tables = 1 + random() % 3; t < tables; ++t) {
        page += "<table>";
        if (random() % 2) {
            // The firmware's kind of headings, spans drawn at random.
            page += "<tr>" + cell("Interface") + cell("Received") + cell("Transmitted");
            if (random() % 2) page += "<tr>" + cell("Total") + cell("Multicast") + cell("Total");
            page += "<tr>";
            for (int c = 0, n = 1 + static_cast<int>(random() % 8); c < n; ++c)
                page += cell(random() % 2 ? "Bytes" : "Pkts");
        } else {
            for (std::size_t r = 0, rows = random() % 4; r < rows; ++r) {
                page += "<tr>";
                for (std::size_t c = 0, n = 1 + random() % 6; c < n; ++c) page += cell(Pick(random, kWords));
            }
        }
        for (std::size_t r = 0, rows = random() % 6; r < rows; ++r) {
            page += "<tr>";
            for (std::size_t c = 0, n = 1 + random() % 8; c < n; ++c)
                page += cell(random() % 3 ? Pick(random, kFigures) : std::to_string(random() % 100000));
        }
        if (random() % 4) page += "</table>";
    }
    for (std::size_t m = 0, changes = random() % 4; m < changes; ++m)
        page.insert(random() % (page.size() + 1), kPieces[random() % kPieceCount]);
    return page;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--seeds") {
        // Generated pages as a fuzzer's first inputs: DIR COUNT.
        std::mt19937_64 random(7);
        for (long n = 0; n < std::atol(argv[3]); ++n) {
            const std::string page = Generated(random);
            const std::string path = std::string(argv[2]) + "/seed-" + std::to_string(n);
            if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
                std::fputc(static_cast<int>(n % 4), f);
                std::fwrite(page.data(), 1, page.size(), f);
                std::fclose(f);
            }
        }
        return 0;
    }
    const long count = argc > 1 ? std::atol(argv[1]) : 2000;
    const unsigned seed = argc > 2 ? static_cast<unsigned>(std::atol(argv[2])) : 1u;
    std::mt19937_64 random(seed);
    std::vector<std::uint8_t> input;
    for (long n = 0; n < count; ++n) {
        const std::string name = kNames[random() % 4];
        if (n % 4 == 0) {
            // Raw and piece-wise inputs as the fuzzer starts them.
            input.resize(1 + random() % 400);
            for (auto& b : input) b = static_cast<std::uint8_t>(random());
            input[0] = static_cast<std::uint8_t>(input[0] & ~0x08);
            TestOne(input.data(), input.size());
            continue;
        }
        const std::string page = Generated(random);
        Compare(page, name);
        if (n % 100 == 1) ReadLarge(page, name);
    }
    std::printf("%ld inputs, reader and model agree: %ld with a statistics table, %ld read, %ld too large\n", count,
                tally.found, tally.read, tally.tooLarge);
    return 0;
}
#endif
