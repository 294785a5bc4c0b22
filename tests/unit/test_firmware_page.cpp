// The statistics page as router firmware writes it: a table with heading rows
// that span columns, then a row per WAN connection.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialogs/StartUp.h"
#include "monitor/frmMain.h"
#include "sim_samples.h"
#include "sources/StatsTable.h"
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
        // are not the connection's total.
        page += "    <td>" + r.rxBytes + "</td><td>7</td><td>0</td><td>0</td>";
        page += "<td>999</td><td>3</td><td>0</td><td>0</td>\n";
        page += "    <td>" + r.txBytes + "</td><td>5</td><td>0</td><td>0</td>";
        page += "<td>888</td><td>2</td><td>0</td><td>0</td>\n  </tr>\n";
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
