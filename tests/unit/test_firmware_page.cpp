// The statistics page as router firmware writes it: a table with heading rows
// that span columns, then a row per WAN connection.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "dialogs/StartUp.h"
#include "monitor/frmMain.h"
#include "sim_samples.h"
#include "platform/net.h"
#include "sources/StatsTable.h"
#include "sources/WebPage.h"
#include "tests/support/heap_peak.h"
#include "tests/support/hostile_pages.h"
#include "tests/support/program.h"
#include "tests/support/router_texts.h"

namespace vx {
namespace {

struct WanRow {
    std::string name;
    std::string description;
    std::string rxBytes;
    std::string txBytes;
};

// The layout of the firmware's statswan page: "Interface" and "Description"
// over three heading rows, "Received" and "Transmitted" each over a "Total"
// group and a "Multicast" group, each of those over "Bytes", "Pkts", "Errs",
// "Drops".
std::string FirmwarePage(const std::vector<WanRow>& rows) {
    std::string page =
        "<html><head><meta http-equiv='refresh' content='10'>\n"
        "<script language=\"javascript\">\nfunction reset() { var t = '<td>1</td><td>2</td>'; }\n</script>\n"
        "</head><body>\n<b>WAN Statistics</b>\n"
        "<table border=\"1\" cellpadding=\"4\" cellspacing=\"0\">\n"
        "  <tr>\n    <TD class=\"hd\" ROWSPAN=\"3\">Interface</TD>\n"
        "    <td class='hd' rowspan=3>Description</td>\n"
        "    <td class=\"hd\" colspan=\"8\" align=\"center\">Received</td>\n"
        "    <td class=\"hd\" colspan=\"8\" align=\"center\">Transmitted</td>\n  </tr>\n"
        "  <tr>\n";
    for (int i = 0; i < 2; ++i)
        page += "    <td class=\"hd\" colspan=\"4\">Total</td><td class=\"hd\" colspan=\"4\">Multicast</td>\n";
    page += "  </tr>\n  <tr>";
    for (int i = 0; i < 4; ++i) page += "<td class=hd>Bytes</td><td class=hd>Pkts</td><td>Errs</td><td>Drops</td>";
    page += "</tr>\n";
    for (const WanRow& r : rows) {
        page += "  <tr>\n    <td>" + r.name + "</td>\n    <td>\n      " + r.description + "\n    </td>\n";
        // Total: bytes, packets, errors, drops; then multicast, whose bytes
        // are not the connection's total. A service that is down shows "-"
        // in every figure.
        const auto f = [&](const char* figure) {
            return "<td>" + std::string(r.rxBytes == "-" ? "-" : figure) + "</td>";
        };
        page += "    <td>" + r.rxBytes + "</td>" + f("7") + f("0") + f("0") + f("999") + f("3") + f("0") + f("0");
        page += "\n    <td>" + r.txBytes + "</td>" + f("5") + f("0") + f("0") + f("888") + f("2") + f("0") + f("0");
        page += "\n  </tr>\n";
    }
    page += "</table>\n<form><input type='button' value='Reset Statistics'></form></body></html>\n";
    return page;
}

TEST(FirmwarePage, AddsUpTheTotalBytesOfEveryWanRow) {
    const std::string page = FirmwarePage({{"nas_0_35", "br_0_35", "1000", "2000"},  // a bridged service first
                                           {"ppp0", "pppoe_0_38_1", "4294967000", "123456"}});
    const auto counters = ReadStatsTable(page);
    ASSERT_TRUE(counters);
    EXPECT_EQ(counters->received, 4294968000.0);
    EXPECT_EQ(counters->transmitted, 125456.0);
    EXPECT_EQ(counters->rows, 2);
}

TEST(FirmwarePage, PicksOneRowByInterfaceNameOrDescription) {
    const std::string page =
        FirmwarePage({{"nas_0_35", "br_0_35", "1000", "2000"}, {"ppp0", "pppoe_0_38_1", "30", "40"}});
    auto counters = ReadStatsTable(page, "ppp0");
    ASSERT_TRUE(counters);
    EXPECT_EQ(counters->received, 30);
    EXPECT_EQ(counters->transmitted, 40);
    counters = ReadStatsTable(page, "BR_0_35");  // the description, any letter case
    ASSERT_TRUE(counters);
    EXPECT_EQ(counters->received, 1000);
    EXPECT_FALSE(ReadStatsTable(page, "ppp1")) << "a name no row has gives no reading";
}

TEST(FirmwarePage, WithoutBothColumnsOrAnyWholeFigureThereIsNoReading) {
    EXPECT_FALSE(ReadStatsTable(""));
    EXPECT_FALSE(ReadStatsTable("<html><body>Server Busy</body></html>"));
    EXPECT_FALSE(ReadStatsTable(FirmwarePage({})));
    EXPECT_FALSE(ReadStatsTable(FirmwarePage({{"ppp0", "pppoe", "N/A", "N/A"}})));
    // Only a "Received" side.
    EXPECT_FALSE(ReadStatsTable("<table><tr><td>Received</td></tr><tr><td>Bytes</td></tr><tr><td>5</td></tr>"));
    // A row whose figures are not whole numbers is left out of the sum.
    const auto counters = ReadStatsTable(FirmwarePage({{"ppp0", "a", "10", "20"}, {"ppp1", "b", "1.5", "3"}}));
    ASSERT_TRUE(counters);
    EXPECT_EQ(counters->received, 10);
    EXPECT_EQ(counters->rows, 1);
}

TEST(FirmwarePage, SimpleHeadingsInAnyCaseAndUnclosedCellsWork) {
    // Upper-case tags, <th>, no closing tags, entities and line breaks.
    const std::string page =
        "<TABLE><TR><TH>Interface<TH>Received<BR>&nbsp;<TH>Transmitted\r\n"
        "<TR><TH><TH>Bytes<TH>Bytes\r\n"
        "<TR><TD>ppp0<TD> 12345 <TD>\r\n678\r\n</TABLE>";
    const auto counters = ReadStatsTable(page);
    ASSERT_TRUE(counters);
    EXPECT_EQ(counters->received, 12345);
    EXPECT_EQ(counters->transmitted, 678);
}

TEST(FirmwarePage, ALayoutTableAroundTheStatisticsIsPassedOver) {
    const std::string page = "<table><tr><td>menu</td><td>" + FirmwarePage({{"ppp0", "x", "11", "22"}}) +
                             "</td></tr><tr><td>1</td><td>2</td></tr></table>";
    const auto counters = ReadStatsTable(page);
    ASSERT_TRUE(counters);
    EXPECT_EQ(counters->received, 11);
    EXPECT_EQ(counters->transmitted, 22);
}

TEST(FirmwarePage, HugeSpansAndGarbageDoNotRunAway) {
    std::string page = "<table>";
    for (int i = 0; i < 2000; ++i) page += "<tr><td colspan=99999 rowspan=99999>Received</td>";
    page += "<td colspan=\"";
    EXPECT_FALSE(ReadStatsTable(page));
    EXPECT_FALSE(ReadStatsTable(std::string(100000, '<')));
    EXPECT_FALSE(ReadStatsTable("<!-- <table><tr><td>Received"));
}

TEST(FirmwarePage, AHostilePageIsRefusedWithinBoundedMemory) {
    for (const auto& [what, page] : test::HostilePages()) {
        WebPageReading reading;
        const std::size_t peak = test::PeakHeapOf([&] { reading = ReadWebPage(page, 200, ""); });
        EXPECT_FALSE(reading.counters) << what;
        EXPECT_LT(peak, std::size_t{16} << 20) << what;
    }
    // A statistics table at the limit still reads; a row more is too large,
    // and so is a page whose tables add up to more.
    std::vector<WanRow> rows(224, {"ppp0", "pppoe", "1", "2"});
    EXPECT_EQ(ReadStatsTable(FirmwarePage(rows))->rows, 224) << "18 columns by 227 rows";
    rows.push_back(rows.back());
    EXPECT_TRUE(ReadStatsTables(FirmwarePage(rows)).tooLarge);
    std::string page = FirmwarePage({{"ppp0", "pppoe", "1", "2"}});
    for (int i = 0; i < 4; ++i) page += "<table><tr><td colspan=64></table>";
    EXPECT_TRUE(ReadStatsTable(page));
    for (int i = 0; i < 256; ++i) page += "<table><tr><td colspan=64></table>";
    EXPECT_TRUE(ReadStatsTables(page).tooLarge);
}

TEST(FirmwarePage, RowsWhoseFiguresAreNotNumbersArePassedOver) {
    const std::string page = FirmwarePage(
        {{"nas_0_35", "br_0_35", "-", "-"}, {"nas_0_36", "br_0_36", "", ""}, {"ppp0", "pppoe", "30", "40"}});
    auto counters = ReadStatsTable(page);
    ASSERT_TRUE(counters);
    EXPECT_EQ(counters->received, 30);
    EXPECT_EQ(counters->transmitted, 40);
    EXPECT_EQ(counters->rows, 1);
    EXPECT_TRUE(ReadStatsTable(page, "PPP0"));
    EXPECT_FALSE(ReadStatsTable(page, "br_0_35")) << "the connection that is down has no reading";
    // A table of such rows only is still the page's table: no reading.
    const WebPageReading down = ReadWebPage(FirmwarePage({{"ppp0", "pppoe", "-", "-"}}), 200, "");
    EXPECT_FALSE(down.counters);
    // The simulated router's pages: its classic page has no such table, its
    // firmware page with five WAN rows adds them up.
    EXPECT_FALSE(ReadStatsTables(samples::kPage).found);
    counters = ReadStatsTable(samples::kFirmwarePage);
    ASSERT_TRUE(counters);
    EXPECT_EQ(counters->rows, 5);
    EXPECT_EQ(counters->received, samples::kPageRx + 18432 + 9216 + 4608 + 2048);
}

// The plain layout: Interface and Description, then Bytes, Pkts, Errs and
// Drops under Received and under Transmitted, a cell a line; two bridged
// services standing still before the PPPoE connection.
std::string PlainFirmwarePage(double in, double out) {
    std::string page =
        "<html><body><table border=1>\n<tr><td rowspan=2>Interface</td><td rowspan=2>Description</td>"
        "<td colspan=4>Received</td><td colspan=4>Transmitted</td></tr>\n<tr>";
    for (int i = 0; i < 2; ++i) page += "<td>Bytes</td><td>Pkts</td><td>Errs</td><td>Drops</td>";
    page += "</tr>\n";
    const std::vector<std::vector<std::string>> rows = {
        {"nas_0_35", "br_0_35", "18432", "96", "0", "0", "5120", "40", "0", "0"},
        {"nas_0_36", "br_0_36", "18432", "96", "0", "0", "5120", "40", "0", "0"},
        {"ppp0", "pppoe_0_38_1", test::Digits(in), "201724", "0", "3", test::Digits(out), "528156", "0", "0"}};
    for (const auto& row : rows) {
        page += "<tr>";
        for (const auto& cell : row) page += "\n<td>" + cell + "</td>";
        page += "\n</tr>\n";
    }
    return page + "</table></body></html>\n";
}

// The monitor reading such a page: the old fixed places give no numbers, so
// the table is read; Interface= in boot.ini picks a connection.
class FirmwarePageMonitor : public test::MonitorTest {
protected:
    void Serve(double ppp0In, double ppp0Out) {
        answer = platform::UrlResponse{
            200, FirmwarePage({{"nas_0_35", "br_0_35", "500", "600"},
                               {"ppp0", "pppoe_0_38_1", test::Digits(ppp0In), test::Digits(ppp0Out)}})};
    }
};

TEST_F(FirmwarePageMonitor, RatesComeFromTheTable) {
    StartWeb();
    Serve(1000000, 2000000);
    Tick();
    Serve(1000000 + 10 * 1024, 2000000 + 2048);
    Tick();
    EXPECT_EQ(FigureIn(), "10k/s");
    EXPECT_EQ(FigureOut(), "2k/s");
}

TEST_F(FirmwarePageMonitor, InterfaceInTheSettingsFilePicksTheRow) {
    test::WriteFile(bootFile(),
                    "[Settings]\nEnabled=True\nIP=127.0.0.5\nPassword=secret\nSpeed=2meg\nInterface=ppp0\n");
    StartProgram();
    fake::ProcessEvents();
    ASSERT_TRUE(Default<frmMain>::Exists());
    Serve(1000, 1000);
    Tick();
    Serve(1000 + 3 * 1024, 1000);
    Tick();
    EXPECT_EQ(FigureIn(), "3k/s");
    EXPECT_EQ(BarIn(), 3 * 1024);
}

TEST_F(FirmwarePageMonitor, AConnectionThatIsDownDoesNotHideTheOneThatIsUp) {
    StartWeb();
    auto serve = [&](double in, double out) {
        answer =
            platform::UrlResponse{200, FirmwarePage({{"nas_0_35", "br_0_35", "-", "-"},
                                                     {"ppp0", "pppoe_0_38_1", test::Digits(in), test::Digits(out)}})};
    };
    serve(5000000, 7000000);
    Tick();
    serve(5000000 + 6 * 1024, 7000000 + 1024);
    Tick();
    EXPECT_EQ(FigureIn(), "6k/s");
    EXPECT_EQ(FigureOut(), "1k/s");
}

TEST_F(FirmwarePageMonitor, TheTableWinsOverNumbersAtTheFixedPlaces) {
    // The fixed places of this page hold error and drop counts.
    const WebCounterTexts trap = ParseWebCounters(PlainFirmwarePage(123456789, 98765432));
    ASSERT_EQ(trap.incoming, "0");
    ASSERT_EQ(trap.outgoing, "0");
    StartWeb();
    double in = 123456789;
    double out = 98765432;
    for (int i = 0; i < 3; ++i, in += 100 * 1024, out += 20 * 1024) {
        answer = platform::UrlResponse{200, PlainFirmwarePage(in, out)};
        Tick();
    }
    EXPECT_EQ(FigureIn(), "100k/s");
    EXPECT_EQ(FigureOut(), "20k/s");
}

TEST_F(FirmwarePageMonitor, AHostilePageIsNoReadingAndTheNextPageReads) {
    StartWeb();
    Serve(1000000, 1000000);
    Tick();
    for (const auto& [what, page] : test::HostilePages()) {
        answer = platform::UrlResponse{200, page};
        EXPECT_LT(test::PeakHeapOf([&] { Tick(); }), std::size_t{24} << 20) << what << ": the tick, page included";
        EXPECT_TRUE(S().messageBoxes.empty()) << what;
    }
    Serve(1000000 + 4 * 1024, 1000000);
    Tick();
    // The totals, not the rate: the hostile pages take a while to refuse on a
    // busy machine, and the rate divides by the seconds that took.
    EXPECT_EQ(SavedTotals(), std::make_pair(std::string("4096"), std::string("0")))
        << "counted from the last good reading";
}

TEST_F(FirmwarePageMonitor, TheOldPageStillReadsAtItsFixedPlaces) {
    StartWeb();
    answer = platform::UrlResponse{200, std::string(samples::kPage)};
    Tick();
    answer = platform::UrlResponse{200, test::StatsPage(samples::kPageRx + 2048, samples::kPageTx)};
    Tick();
    EXPECT_EQ(FigureIn(), "2k/s");
}

}  // namespace
}  // namespace vx
