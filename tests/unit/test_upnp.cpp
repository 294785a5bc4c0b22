// The UPnP gateway source over the fake backend's scripted gateway: the
// address forms, readings each tick, the router's line speeds as scales,
// one box for a failure, restarts by uptime, stuck counters.
#include <gtest/gtest.h>

#include "dialogs/StartUp.h"
#include "monitor/frmMain.h"
#include "runtime/clock.h"
#include "sources/UpnpSource.h"
#include "tests/support/program.h"

namespace vx {
namespace {

TEST(UpnpAddress, UpnpFindsTheGatewayAndUpnpUrlsNameItsDescription) {
    EXPECT_EQ(UpnpLocation("upnp"), std::string());
    EXPECT_EQ(UpnpLocation(" UPnP "), std::string());
    EXPECT_EQ(UpnpLocation("upnp://192.168.1.1:5000/rootDesc.xml"), "http://192.168.1.1:5000/rootDesc.xml");
    EXPECT_EQ(UpnpLocation("UPNP://router/igd.xml"), "http://router/igd.xml");
    for (const char* other : {"192.168.1.1", "upnpx", "upnp://", "http://upnp", "", "upn"})
        EXPECT_FALSE(UpnpLocation(other)) << other;
}

class UpnpMonitor : public test::MonitorTest {
protected:
    void Start(const std::string& address = "upnp", const std::string& speed = "2meg") {
        test::WriteFile(bootFile(), "[Settings]\nEnabled=True\nIP=" + address + "\nPassword=secret\nSpeed=" + speed +
                                        "\n9106router=No\n");
        StartProgram();
        fake::ProcessEvents();
        ASSERT_TRUE(Default<frmMain>::Exists());
    }
    // The gateway's counters for the next round, then a tick that takes the
    // previous round's answer and asks again.
    void Gateway(double received, double sent) {
        auto& next = S().gateway.next;
        next.failure.clear();
        next.found = true;
        next.received = received;
        next.sent = sent;
        Tick();
    }
    void Speeds(double down, double up, double uptime = 100) {
        S().gateway.next.linkDown = down;
        S().gateway.next.linkUp = up;
        S().gateway.next.uptime = uptime;
    }
    std::string MaxIn() { return monitor().lblMaxIncoming.caption(); }
    std::string MaxOut() { return monitor().Label3.caption(); }
};

TEST_F(UpnpMonitor, ReadsTheTotalsEachTickAndCountsThem) {
    WriteTotals("1000", "2000");
    Start("upnp://127.0.0.40:5000/rootDesc.xml");
    EXPECT_EQ(S().gateway.location, "http://127.0.0.40:5000/rootDesc.xml");
    EXPECT_TRUE(S().urlsFetched.empty()) << "no statistics page";
    EXPECT_EQ(S().lastTcpClient, nullptr) << "no console";
    Tick();  // the first round is asked for
    EXPECT_EQ(S().gateway.rounds, 1);
    EXPECT_EQ(S().gateway.detailRounds, 1) << "speeds and uptime at the start";
    Gateway(50000, 6000);  // the baseline
    EXPECT_EQ(FigureIn(), "");
    Gateway(50000 + 10 * 1024, 6000 + 1024);
    EXPECT_EQ(FigureIn(), "10k/s");
    EXPECT_EQ(FigureOut(), "1k/s");
    EXPECT_EQ(SavedTotals(), std::make_pair(std::string("11240"), std::string("3024")));
}

TEST_F(UpnpMonitor, TheRoutersLineSpeedsSetTheScales) {
    Start();
    EXPECT_EQ(S().gateway.location, "") << "found by discovery";
    Speeds(100e6, 40e6);
    Tick();
    Gateway(1000, 1000);
    EXPECT_EQ(MaxIn(), "12M/s");
    EXPECT_EQ(MaxOut(), "4.7M/s");
    Gateway(1000 + 6000000, 1000 + 1000000);
    EXPECT_EQ(monitor().barIncoming.max(), 12500000);
    EXPECT_EQ(BarIn(), 6000000);
    EXPECT_EQ(FigureIn(), "5.7M/s");
    EXPECT_EQ(Level(), 3);
    EXPECT_EQ(FigureOut(), "976k/s");
    // Asked again now and then, not every tick.
    const int details = S().gateway.detailRounds;
    for (int i = 0; i < 10; ++i) Gateway(1000 + 6000000, 1000 + 1000000);
    EXPECT_EQ(S().gateway.detailRounds, details);
}

TEST_F(UpnpMonitor, ASpeedWithAUnitInTheBoxWinsOverTheRouters) {
    Start("upnp", "16M/1M");
    EXPECT_EQ(MaxIn(), "1.9M/s");
    Speeds(100e6, 40e6);
    Tick();
    Gateway(1000, 1000);
    EXPECT_EQ(MaxIn(), "1.9M/s");
    EXPECT_EQ(MaxOut(), "122k/s");
}

TEST_F(UpnpMonitor, AFailureIsToldOnceAndTheGatewayIsAskedAgainQuietly) {
    Start();
    S().gateway.next.failure = "no UPnP gateway answered on the local network";
    for (int i = 0; i < 5; ++i) Tick();
    ASSERT_EQ(S().messageBoxes.size(), 1u);
    EXPECT_NE(S().messageBoxes[0].prompt.find("no UPnP gateway answered"), std::string::npos);
    EXPECT_NE(S().messageBoxes[0].prompt.find("switch UPnP on"), std::string::npos);
    EXPECT_EQ(S().messageBoxes[0].title, "Problem");
    EXPECT_EQ(S().gateway.rounds, 5);
    // The gateway comes up: readings follow.
    Gateway(100, 100);
    Gateway(100 + 2048, 100);
    EXPECT_EQ(FigureIn(), "2k/s");
    EXPECT_EQ(S().messageBoxes.size(), 1u);
}

TEST_F(UpnpMonitor, AnUptimeThatWentBackIsARestartNotTraffic) {
    WriteTotals("0", "0");
    Start();
    Speeds(100e6, 40e6, 5000);
    Tick();
    Gateway(4294000000.0, 1000);
    Gateway(4294000000.0 + 1024, 1000);
    EXPECT_EQ(SavedTotals().first, "1024");
    // A reboot. From so near 2^32 the new low counters could be a wrap the
    // line can make in a second; the uptime says the router started again.
    for (int i = 0; i < 58; ++i) Gateway(4294000000.0 + 1024, 1000);
    Speeds(100e6, 40e6, 3);
    Gateway(500000, 1000);  // with details: the new uptime
    EXPECT_EQ(SavedTotals().first, "1024");
    Gateway(500000 + 2048, 1000);
    EXPECT_EQ(SavedTotals().first, "3072");
}

TEST_F(UpnpMonitor, WhatTheGatewayCountedWhileVxstatWasClosedIsRecoveredByItsUptime) {
    struct WallClock {
        WallClock() { FixedUtcSeconds() = 1795999980; }
        ~WallClock() { FixedUtcSeconds() = 0; }
    } wall;
    const std::string address = "upnp://127.0.0.40:5000/rootDesc.xml";
    auto run = [&](double uptime, double received, double sent) {
        Restart();
        WriteTotals("0", "0");
        Start(address);
        Speeds(16e6, 1e6, uptime);
        S().gateway.next.at = 1000;
        Tick();
        Gateway(received, sent);
    };
    run(5000, 1000000, 2000);
    // Later rounds bring no uptime: the last one is carried forward by the
    // rounds' own clock, or the next start would take the gap for a clock
    // that moved.
    S().gateway.next.at = 1030;
    Gateway(1000000, 2000);
    monitor().window().userCloseRequested();

    FixedUtcSeconds() += 600;
    run(5030 + 600, 6000000, 3000);
    ASSERT_TRUE(monitor().core().gap());
    EXPECT_EQ(monitor().core().gap()->gap, Gap::Counted);
    EXPECT_EQ(monitor().traffic().totals().in, 5000000);
    EXPECT_EQ(monitor().traffic().totals().out, 1000);
    EXPECT_EQ(monitor().HistorySummaryNow()->thisMonthRecovered.in, 5000000);
    monitor().window().userCloseRequested();
}

TEST_F(UpnpMonitor, AnImpossibleLineSpeedIsNoSpeedAndOpensNoDoor) {
    WriteTotals("0", "0");
    Start();
    Speeds(9007199254740992.0, 9007199254740992.0);
    Tick();
    Gateway(1000, 1000);
    EXPECT_EQ(MaxIn(), "256k/s") << "the box's scale stays";
    Gateway(1000 + 1e12, 1000);
    EXPECT_EQ(SavedTotals(), std::make_pair(std::string("0"), std::string("0")));
}

TEST_F(UpnpMonitor, AnotherGatewaysCountersAreANewBaseline) {
    WriteTotals("0", "0");
    Start();
    S().gateway.next.identity = "uuid:first";
    Tick();
    Gateway(1000, 1000);
    Gateway(2024, 1000);
    EXPECT_EQ(SavedTotals().first, "1024");
    // Found again after a loss: another router, whose counters are its own.
    S().gateway.next.identity = "uuid:second";
    Gateway(500000, 1000);
    Gateway(501024, 1000);
    EXPECT_EQ(SavedTotals().first, "2048");
}

TEST_F(UpnpMonitor, AStuckCounterGivesOneNoteAndNoReadings) {
    Start();
    Tick();
    Gateway(1000, 1000);
    Gateway(1000 + 1024, 1000);
    for (int i = 0; i < 5; ++i) Gateway(4294967295.0, 4294967295.0);
    ASSERT_EQ(S().messageBoxes.size(), 1u);
    EXPECT_NE(S().messageBoxes[0].prompt.find("4294967295"), std::string::npos);
    EXPECT_EQ(FigureIn(), "--") << "no reading for five ticks: no rate is shown";
    Gateway(1000 + 4096, 1000);
    EXPECT_EQ(FigureIn(), "3k/s") << "counting goes on from the last good reading";
    EXPECT_EQ(S().messageBoxes.size(), 1u);
}

TEST_F(UpnpMonitor, AWrapOfTheGatewaysCountersIsCounted) {
    Start();
    Speeds(100e6, 40e6);
    Tick();
    Gateway(4294967296.0 - 1000000, 5);
    Gateway(2000000, 5);
    EXPECT_EQ(FigureIn(), "2.8M/s");
    EXPECT_EQ(SavedTotals().first, "3000000");
}

}  // namespace
}  // namespace vx
