// The traffic object's rules: baselines, counters past 2^32, wraps, restarts,
// impossible jumps and stuck counters; and line speeds, scales and figures.
#include <gtest/gtest.h>

#include "traffic/LineSpeed.h"
#include "traffic/Traffic.h"

namespace vx {
namespace {

constexpr double k2p32 = 4294967296.0;
constexpr double k2p53 = 9007199254740992.0;

Reading At(double seconds, double in, double out, std::optional<double> uptime = std::nullopt) {
    return Reading{in, out, seconds, uptime};
}

TEST(Traffic, RatesStayExactPast2To32AndUpTo2To53) {
    Traffic t({0, 0});
    t.setLineSpeed({1e12, 1e12});
    EXPECT_EQ(t.take(At(0, k2p32 - 700, 2147483648.0)).step, Step::Baseline);
    TrafficUpdate u = t.take(At(1, k2p32 + 1296, 2147483648.0 + 1000));
    ASSERT_TRUE(u.moved);
    EXPECT_EQ(u.moved->in, 1996);
    EXPECT_EQ(u.moved->out, 1000);
    t.forgetBaseline();
    t.take(At(2, k2p53 - 3, k2p53 - 1));
    u = t.take(At(3, k2p53, k2p53));
    ASSERT_TRUE(u.moved);
    EXPECT_EQ(u.moved->in, 3);
    EXPECT_EQ(u.moved->out, 1);
    EXPECT_EQ(t.totals().in, 1999);
}

TEST(Traffic, A32BitCounterThatWrapsWithinTheLinesReachIsCounted) {
    Traffic t({100, 200});
    t.setLineSpeed({100e6, 40e6});  // 12.5 MB/s down, 5 MB/s up
    t.take(At(10, k2p32 - 1000000, k2p32 - 500));
    const TrafficUpdate u = t.take(At(11, 4000000, 1500));  // 5 MB in, 2 kB out in one second
    EXPECT_EQ(u.step, Step::Wrapped);
    ASSERT_TRUE(u.moved);
    EXPECT_EQ(u.moved->in, 5000000);
    EXPECT_EQ(u.moved->out, 2000);
    EXPECT_EQ(t.totals().in, 5000100);
    EXPECT_EQ(t.totals().out, 2200);
}

TEST(Traffic, ADropTheLineCouldNotHaveWrappedIsARestart) {
    Traffic t({0, 0});
    t.setLineSpeed({100e6, 40e6});
    t.take(At(0, 3000000000.0, 1000000));
    // 2^32 - 3e9 + 1e6 is about 1.3 GB: more than a 100 Mbit line carries in a second.
    EXPECT_EQ(t.take(At(1, 1000000, 1000000)).step, Step::Restarted);
    EXPECT_EQ(t.totals().in, 0);
    // The restart is the new baseline: the next reading counts from there.
    const TrafficUpdate u = t.take(At(2, 1001024, 1000512));
    ASSERT_TRUE(u.moved);
    EXPECT_EQ(u.moved->in, 1024);
    EXPECT_EQ(t.totals().in, 1024);
    EXPECT_EQ(t.totals().out, 512);
}

TEST(Traffic, TheTimeBetweenReadingsWidensTheReach) {
    Traffic t({0, 0});
    t.setLineSpeed({8e6, 8e6});  // 1 MB/s
    t.take(At(0, k2p32 - 3000000, 10));
    // 3.5 MB across the wrap: too much for one second, fine for four.
    EXPECT_EQ(t.take(At(4, 500000, 10)).step, Step::Wrapped);
    // A reading that comes early counts as a whole second of line.
    t.take(At(4.1, 500000 + 1000000, 10));
    EXPECT_EQ(t.totals().in, 4500000);
}

TEST(Traffic, SixtyFourBitCountersDoNotWrap) {
    Traffic t({0, 0});
    t.take(At(0, k2p32 + 5, 10));
    EXPECT_EQ(t.take(At(1, 3, 10)).step, Step::Restarted);
}

TEST(Traffic, AnUptimeThatWentDownIsARestartWhateverTheCounters) {
    Traffic t({0, 0});
    t.take(At(0, 1000, 1000, 3600));
    const TrafficUpdate u = t.take(At(1, 5000, 5000, 2));
    EXPECT_EQ(u.step, Step::Restarted);
    EXPECT_FALSE(u.moved);
    EXPECT_EQ(t.totals().in, 0);
    EXPECT_EQ(t.take(At(2, 6000, 5000, 3)).step, Step::Counted);
    EXPECT_EQ(t.totals().in, 1000);
}

TEST(Traffic, MoreThanTheLineCanCarryIsDroppedAndRebased) {
    Traffic t({0, 0});
    t.setLineSpeed({10e6, 1e6});  // 1.25 MB/s down, 125 kB/s up
    t.take(At(0, 1000, 1000));
    EXPECT_EQ(t.take(At(1, 1000 + 1300000, 1000)).step, Step::Impossible);  // 1.3 MB in a second
    EXPECT_EQ(t.take(At(2, 1000 + 1300000 + 1000, 1000)).step, Step::Counted);
    EXPECT_EQ(t.totals().in, 1000);
    // Unknown speeds count as a gigabit line: 200 MB in a second is too much.
    Traffic unknown({0, 0});
    unknown.take(At(0, 0, 0));
    EXPECT_EQ(unknown.take(At(1, 120e6, 0)).step, Step::Counted);
    EXPECT_EQ(unknown.take(At(2, 320e6, 0)).step, Step::Impossible);
}

TEST(Traffic, NoClaimedSpeedLetsMoreThanAHundredGigabitsCount) {
    Traffic t({0, 0});
    t.setLineSpeed({k2p53, k2p53});
    t.take(At(0, 1000, 1000));
    EXPECT_EQ(t.take(At(1, 1000 + 1e12, 1000)).step, Step::Impossible);
    EXPECT_EQ(t.take(At(2, 1000 + 1e12, 1000 + 1e12)).step, Step::Impossible);
    // A line up to the bound still counts: 12 GB in a second.
    EXPECT_EQ(t.take(At(3, 1000 + 1e12 + 12e9, 1000 + 1e12)).step, Step::Counted);
    EXPECT_EQ(t.totals().in, 12e9);
    EXPECT_EQ(t.totals().out, 0);
}

TEST(Traffic, AStuckCounterGivesNoReadingAndKeepsTheBaseline) {
    Traffic t({0, 0});
    t.take(At(0, 1000, 1000));
    EXPECT_EQ(t.take(At(1, 4294967295.0, 2000)).step, Step::Stuck);
    EXPECT_EQ(t.take(At(2, 4294967295.0, 4294967295.0)).step, Step::Stuck);
    const TrafficUpdate u = t.take(At(3, 4000, 3000));
    ASSERT_TRUE(u.moved);
    EXPECT_EQ(u.moved->in, 3000);
    EXPECT_EQ(t.totals().out, 2000);
}

TEST(Traffic, TotalsGrowFromTheStoredOnes) {
    Traffic t({7, 8});
    t.take(At(0, 0, 0));
    const TrafficUpdate u = t.take(At(1, 100, 50));
    ASSERT_TRUE(u.moved);
    EXPECT_EQ(u.moved->in, 100);
    EXPECT_EQ(t.totals().in, 107);
    EXPECT_EQ(t.totals().out, 58);
}

TEST(LineSpeed, SpeedsWithUnitsAreBitsASecond) {
    struct Case {
        const char* text;
        double down;
        double up;
    } cases[] = {
        {"100M", 100e6, 0},        {"100 Mbit", 100e6, 0},   {"1G", 1e9, 0},
        {"1500k", 1.5e6, 0},       {"2.5 Mbit/s", 2.5e6, 0}, {"100 Mbps", 100e6, 0},
        {"100M/40M", 100e6, 40e6}, {"16m/1m", 16e6, 1e6},    {" 50 M / 10 M ", 50e6, 10e6},
    };
    for (const Case& c : cases) {
        const auto speed = ParseLineSpeed(c.text);
        ASSERT_TRUE(speed) << c.text;
        EXPECT_EQ(speed->down, c.down) << c.text;
        EXPECT_EQ(speed->up, c.up) << c.text;
    }
    for (const char* text :
         {"512", "2meg", "", "fast", "100", "M", "100X", "100M/", "100M/40", "0M", "1e3M", "100M 40M", "-5M"})
        EXPECT_FALSE(ParseLineSpeed(text)) << text;
}

TEST(LineSpeed, ScalesKeepTheOldTextsAndFollowTheLine) {
    Scales s = ScalesFor("512");
    EXPECT_EQ(s.incomingMax, 65536);
    EXPECT_EQ(s.outgoingMax, 32768);
    EXPECT_FALSE(s.megabytes);
    for (const char* text : {"2meg", "", "anything"}) {
        s = ScalesFor(text);
        EXPECT_EQ(s.incomingMax, 262144) << text;
        EXPECT_EQ(s.outgoingMax, 32768) << text;
    }
    s = ScalesFor("100M/40M");
    EXPECT_EQ(s.incomingMax, 12500000);
    EXPECT_EQ(s.outgoingMax, 5000000);
    EXPECT_TRUE(s.megabytes);
    s = ScalesFor("1G");
    EXPECT_EQ(s.outgoingMax, 125000000) << "without an up speed both bars scale to the line";
}

TEST(LineSpeed, FiguresReadMegabytesFromAThousandKilobytes) {
    EXPECT_EQ(RateText(1023, false), "0k/s");
    EXPECT_EQ(RateText(307200, false), "300k/s");
    EXPECT_EQ(RateText(5000000, false), "4882k/s") << "the old scales keep exact k/s figures";
    EXPECT_EQ(RateText(999 * 1024 + 1023, true), "999k/s");
    EXPECT_EQ(RateText(1000 * 1024, true), "0.9M/s");
    EXPECT_EQ(RateText(12500000, true), "11.9M/s");
    EXPECT_EQ(RateText(125000000, true), "119.2M/s");
    EXPECT_EQ(RateText(2 * 1048576, true), "2.0M/s");
    EXPECT_EQ(ScaleText(65536, false), "64k/s");
    EXPECT_EQ(ScaleText(5000000, true), "4.7M/s");
    EXPECT_EQ(ScaleText(12500000, true), "12M/s");
    EXPECT_EQ(ScaleText(125000000, true), "119M/s");
}

}  // namespace
}  // namespace vx
