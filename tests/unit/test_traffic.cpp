// The traffic object's rules: baselines, counters past 2^32, wraps, restarts,
// impossible jumps and stuck counters; line speeds, scales and figures; and the
// monitoring core that applies them each tick, with no window at all.
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>

#include "core/Monitor.h"
#include "runtime/clock.h"
#include "sources/SnmpSource.h"
#include "tests/support/program.h"
#include "traffic/CounterRefresh.h"
#include "traffic/LineSpeed.h"
#include "traffic/Traffic.h"
#include "traffic/modFunctions.h"

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

// An SNMP agent's uptime proves it did not restart: counters that go back or
// leap are a bad reply, and the baseline stays for the next good one; unless
// the agent keeps at it, when its counters are believed after all.
TEST(Traffic, AnAgentsBadRepliesKeepTheBaselineWhileItsUptimeGrows) {
    auto agent = [](double seconds, double in) {
        Reading r = At(seconds, in, 0, 1000 + seconds);
        r.uptimeProvesContinuity = true;
        return r;
    };
    Traffic t({0, 0});
    t.setLineSpeed({100e6, 100e6});
    t.take(agent(0, 5e6));
    EXPECT_EQ(t.take(agent(1, 0)).step, Step::Impossible) << "back: a bad reply, not a restart";
    EXPECT_EQ(t.take(agent(2, 4294967291.0)).step, Step::Impossible) << "a leap";
    EXPECT_EQ(t.take(agent(3, 5e6 + 1000)).step, Step::Counted);
    EXPECT_EQ(t.totals().in, 1000) << "from the last good reading, and no wrap from the leap";
    // Counters that start again without a word: believed after ten readings in a row.
    int held = 0;
    for (int second = 4; t.take(agent(second, 700)).step == Step::Impossible; ++second) ASSERT_LT(++held, 20);
    EXPECT_EQ(held, 9);
    EXPECT_EQ(t.take(agent(30, 1700)).step, Step::Counted);
    EXPECT_EQ(t.totals().in, 2000);
    // Without that proof (or with an uptime that went back) going back is a restart at once.
    Traffic other({0, 0});
    other.take(At(0, 5e6, 0, 1000));
    EXPECT_EQ(other.take(At(1, 0, 0, 1001)).step, Step::Restarted);
    Reading restarted = agent(31, 10);
    restarted.uptime = 5;
    EXPECT_EQ(t.take(restarted).step, Step::Restarted);
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

// An agent that refreshes its counters every 3 s, read every second under a
// steady 3000 bytes a second: the standing counter is held back, and every
// rate is the flow's, never 0 and never three times it.
TEST(CounterRefresh, AStepwiseCounterGivesTheSteadyRateAndAQuietLineShowsQuiet) {
    CounterRefresh hold;
    Traffic t({0, 0});
    std::vector<double> rates;
    for (int second = 0; second <= 30; ++second) {
        const double counted = 3000.0 * (second / 3 * 3);
        const Reading r = At(second, counted, counted / 2, second + 100.0);
        if (!hold.pass(r)) continue;
        if (const TrafficUpdate u = t.take(r); u.rates) rates.push_back(u.rates->in);
    }
    ASSERT_GE(rates.size(), 8u);
    for (double rate : rates) EXPECT_EQ(rate, 3000) << "every rate is the flow's";
    EXPECT_EQ(hold.refresh(), 3);
    // The flow stops: held through one refresh and a tick, then passed as quiet.
    EXPECT_FALSE(hold.pass(At(31, 90000, 45000, 131)));
    EXPECT_FALSE(hold.pass(At(34, 90000, 45000, 134)));
    EXPECT_TRUE(hold.pass(At(35, 90000, 45000, 135)));
    // An uptime that went back passes at once, whatever the counters: Traffic sees the restart.
    EXPECT_TRUE(hold.pass(At(36, 90000, 45000, 2)));
    EXPECT_EQ(t.take(At(36, 90000, 45000, 2)).step, Step::Restarted);
}

TEST(SnmpAddress, CommunityUserHostAndPortComeFromTheAddress) {
    auto t = SnmpTargetFor(" SNMP://127.0.0.9 ", "pw", "wan");
    ASSERT_TRUE(t);
    EXPECT_EQ(t->version, 2);
    EXPECT_EQ(t->community, "public");
    EXPECT_EQ(t->host, "127.0.0.9");
    EXPECT_EQ(t->port, 161);
    EXPECT_EQ(t->passPhrase, "") << "v2c sends no pass phrase anywhere";
    EXPECT_EQ(t->interfaceName, "wan");
    t = SnmpTargetFor("snmp://s3cr@t@[::1]:1161/", "", "");
    ASSERT_TRUE(t);
    EXPECT_EQ(t->community, "s3cr@t");
    EXPECT_EQ(t->host, "[::1]");
    EXPECT_EQ(t->port, 1161);
    t = SnmpTargetFor("snmpv3://monitor@router.lan", "pass phrase", "", "sha-512", "DES");
    ASSERT_TRUE(t);
    EXPECT_EQ(t->version, 3);
    EXPECT_EQ(t->user, "monitor");
    EXPECT_EQ(t->passPhrase, "pass phrase");
    EXPECT_EQ(t->auth, "sha-512");
    EXPECT_EQ(t->privacy, "DES");
    EXPECT_EQ(SnmpTargetFor("snmpv3://u@h", "p", "")->auth, "SHA-256");
    for (const char* no :
         {"192.168.1.1", "upnp", "snmp://", "snmp://h:0", "snmp://h:99999", "snmp://h:1x", "snmp://[::1"})
        EXPECT_FALSE(SnmpTargetFor(no, "", "")) << no;
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

// ---- The monitoring core, with a scripted router ----------------------------

// A router whose every tick is written down: a reading (or none), a problem.
class ScriptedSource : public Source {
public:
    struct Tick {
        std::optional<Reading> reading;
        std::optional<Problem::Kind> problem;
    };
    std::deque<Tick> script;
    std::optional<LineSpeed> speed;

    std::optional<Reading> poll() override {
        if (script.empty()) return std::nullopt;
        Tick t = script.front();
        script.pop_front();
        if (t.problem) tell(*t.problem, "scripted");
        return t.reading;
    }
    std::optional<LineSpeed> lineSpeed() const override { return speed; }
};

class CoreTest : public test::ProgramTest {
protected:
    void SetUp() override {
        ProgramTest::SetUp();
        FixedUtcSeconds() = 1795999980;  // a minute's start, in December 2026
    }
    void TearDown() override {
        FixedUtcSeconds() = 0;
        ProgramTest::TearDown();
    }
    Monitor& Start(MonitorSettings settings = {}) {
        auto s = std::make_unique<ScriptedSource>();
        source = s.get();
        core = std::make_unique<Monitor>(std::move(settings), std::move(s));
        EXPECT_TRUE(core->start().problems.empty());
        return *core;
    }
    // The router's counters `in`/`out` at second `at` of its clock; one tick.
    MonitorStep Read(double at, double in, double out = 0) {
        source->script.push_back({Reading{in, out, at, std::nullopt}, std::nullopt});
        return Tick();
    }
    MonitorStep Tick() {
        ++FixedUtcSeconds();
        return core->step();
    }
    // A reading with the router's uptime, one tick.
    MonitorStep ReadUp(double in, std::optional<double> uptime, bool counters64) {
        Reading r{in, 0, 0, uptime};
        r.counters64 = counters64;
        source->script.push_back({r, std::nullopt});
        return Tick();
    }
    // vxstat closed and started again `seconds` later by the wall clock.
    void Restart(std::int64_t seconds, const MonitorSettings& settings) {
        EXPECT_TRUE(core->close().empty());
        core.reset();
        FixedUtcSeconds() += seconds;
        Start(settings);
    }
    ScriptedSource* source = nullptr;
    std::unique_ptr<Monitor> core;
};

TEST_F(CoreTest, RatesAreBytesOverTheSecondsBetweenReadingsWhateverTheTicks) {
    Start();
    constexpr double kIn = 65536, kOut = 6656;
    double t = 0, in = 1e9, out = 2e9;
    EXPECT_FALSE(Read(t, in, out).rates) << "the first reading is a baseline";
    // Every tick, then every second tick (a router that answers in 1.2 s), then every third.
    for (int every : {1, 2, 3}) {
        for (int n = 0; n < 4; ++n) {
            for (int miss = 1; miss < every; ++miss) {
                const MonitorStep held = Tick();
                EXPECT_FALSE(held.rates) << "what is shown stays";
                EXPECT_FALSE(held.silent);
                EXPECT_EQ(held.level, 2);
            }
            t += every;
            in += kIn * every;
            out += kOut * every;
            const MonitorStep s = Read(t + 0.04 * (n % 2), in, out);  // a late tick is still whole seconds
            ASSERT_TRUE(s.rates) << every;
            EXPECT_DOUBLE_EQ(s.rates->in, kIn) << every;
            EXPECT_DOUBLE_EQ(s.rates->out, kOut) << every;
            EXPECT_EQ(s.level, 2) << "64 k/s of a 256 k/s bar";
            EXPECT_EQ(s.status, "");
        }
    }
    EXPECT_DOUBLE_EQ(core->traffic().totals().in, kIn * 24);
    EXPECT_DOUBLE_EQ(core->traffic().totals().out, kOut * 24);
}

TEST_F(CoreTest, WrapsCountRestartsAndStuckCountersDoNotAndSilenceIsSaid) {
    MonitorSettings settings;
    settings.speed = "100M";
    Start(settings);
    Read(0, k2p32 - 1000, 0);
    MonitorStep s = Read(1, 24, 0);  // past 2^32
    EXPECT_EQ(s.taken, Step::Wrapped);
    ASSERT_TRUE(s.rates);
    EXPECT_EQ(s.rates->in, 1024);
    s = Read(2, 10, 0);
    EXPECT_EQ(s.taken, Step::Restarted);
    EXPECT_FALSE(s.rates);
    s = Read(3, 4294967295.0, 0);
    EXPECT_EQ(s.taken, Step::Stuck);
    ASSERT_EQ(s.problems.size(), 1u);
    EXPECT_EQ(s.problems[0].kind, Problem::Kind::StuckCounter);
    EXPECT_FALSE(s.problems[0].critical);
    EXPECT_TRUE(Read(4, 4294967295.0, 0).problems.empty()) << "told once";
    EXPECT_EQ(core->traffic().totals().in, 1024);

    // Three ticks without a reading (a stuck counter is none): the display
    // says so, until the next one.
    s = Tick();
    EXPECT_TRUE(s.silent);
    EXPECT_EQ(s.status, kNoAnswerStatus);
    EXPECT_EQ(s.level, 0);
    Read(8, 100, 0);
    s = Read(9, 200, 0);
    EXPECT_FALSE(s.silent);
    EXPECT_EQ(s.status, "");
    EXPECT_EQ(s.rates->in, 100);
}

TEST_F(CoreTest, ProblemsAndLineSpeedsAreValuesOfTheStep) {
    Start();
    source->script.push_back({std::nullopt, Problem::Kind::RouterBusy});
    MonitorStep s = Tick();
    ASSERT_EQ(s.problems.size(), 1u);
    EXPECT_EQ(s.problems[0].kind, Problem::Kind::RouterBusy);
    EXPECT_TRUE(Tick().problems.empty());

    source->speed = LineSpeed{100e6, 40e6};
    s = Tick();
    ASSERT_TRUE(s.scales);
    EXPECT_EQ(s.scales->incomingMax, 12500000);
    EXPECT_FALSE(Tick().scales) << "told when it changes";
    // The router's line now guards the counters: 100 Mbit/s cannot move 1 GB in a second.
    Read(10, 0, 0);
    EXPECT_EQ(Read(11, 1e9, 0).taken, Step::Impossible);
}

TEST_F(CoreTest, TheHistoryAndTheQuotaFollowTheCountedBytes) {
    MonitorSettings settings;
    settings.quota = "1M";
    Start(settings);
    Read(0, 0, 0);
    double in = 0;
    std::vector<Notice> notices;
    std::string tip;
    for (int second = 1; second <= 170; ++second) {
        in += 7100;
        MonitorStep s = Read(second, in, 0);
        if (s.tip) tip = *s.tip;
        notices.insert(notices.end(), s.notices.begin(), s.notices.end());
    }
    ASSERT_NE(core->summary(), std::nullopt);
    EXPECT_EQ(core->summary()->today.in, in) << "the history has every counted byte";
    EXPECT_EQ(core->traffic().totals().in, in);
    // Looked at once a minute: the last look found 119 seconds of 7100 bytes.
    EXPECT_EQ(tip, "vxStats - 80 % of 1.00 MB used");
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].title, "Quota 80 % used");
    EXPECT_TRUE(core->close().empty());
}

TEST_F(CoreTest, AGapIsCreditedOnlyWhenTheRouterProvablyCountedItAll) {
    struct Case {
        const char* what;
        const char* speed;
        bool counters64;
        double before, beforeUp;
        std::int64_t closed;  // wall-clock seconds vxstat was not running
        double after;
        std::optional<double> afterUp;  // the uptime the router then says
        Gap gap;
        double credited;
    };
    constexpr double kDay = 86400;
    const std::vector<Case> cases = {
        {"up all along", "16M", true, 5e9, 9 * kDay, 600, 6e9, 9 * kDay + 601, Gap::Counted, 1e9},
        {"router restarted", "16M", true, 5e9, 9 * kDay, 600, 6e9, 300, Gap::Restarted, 0},
        {"restarted in the gap, up for less than it", "16M", true, 5e9, 600, 3 * 86400, 6e9, 2 * kDay, Gap::Restarted,
         0},
        {"clock set forward a day", "16M", true, 5e9, 9 * kDay, 86400 + 600, 6e9, 9 * kDay + 601, Gap::ClockMoved, 0},
        {"clock set back", "16M", true, 5e9, 9 * kDay, -3600, 5e9, 9 * kDay + 60, Gap::ClockMoved, 0},
        {"drift within the slack", "16M", true, 5e9, 9 * kDay, 3600, 5e9 + 7, 9 * kDay + 3601 + 12, Gap::Counted, 7},
        {"no uptime", "16M", true, 5e9, 9 * kDay, 600, 6e9, std::nullopt, Gap::NoUptime, 0},
        {"64-bit counters reset", "16M", true, 5e9, 9 * kDay, 600, 1e6, 9 * kDay + 601, Gap::CountersBack, 0},
        {"more than the line carries", "16M", true, 5e9, 9 * kDay, 600, 5e9 + 2e9, 9 * kDay + 601, Gap::TooMuch, 0},
        // 16 Mbit/s moves 2^32 bytes in about 35 minutes.
        {"32-bit, short gap, one wrap", "16M", false, k2p32 - 1000, 9 * kDay, 600, 24, 9 * kDay + 601, Gap::Counted,
         1024},
        {"32-bit, gap the line could wrap in", "16M", false, 1000, 9 * kDay, 2400, 2000, 9 * kDay + 2401,
         Gap::MayHaveWrapped, 0},
        {"32-bit, unknown line: the fastest", "", false, 1000, 9 * kDay, 60, 2000, 9 * kDay + 61, Gap::MayHaveWrapped,
         0},
    };
    for (const Case& c : cases) {
        MonitorSettings settings;
        settings.speed = c.speed;
        Start(settings);
        ReadUp(c.before, c.beforeUp, c.counters64);
        Restart(c.closed, settings);
        ReadUp(c.after, c.afterUp, c.counters64);
        ASSERT_TRUE(core->gap()) << c.what;
        EXPECT_EQ(core->gap()->gap, c.gap) << c.what;
        EXPECT_EQ(core->traffic().totals().in, c.credited) << c.what;
        EXPECT_EQ(core->summary()->thisMonthRecovered.in + core->summary()->lastMonthRecovered.in, c.credited)
            << c.what;
        // Not credited now is never credited later: the mark is this run's reading.
        Restart(0, settings);
        ReadUp(c.after, c.afterUp ? std::optional<double>(*c.afterUp + 1) : std::nullopt, c.counters64);
        EXPECT_EQ(core->traffic().totals().in, 0) << c.what;
        // A fresh history file for the next case: its recovered bytes alone.
        EXPECT_TRUE(core->close().empty());
        core.reset();
        std::filesystem::remove(HistoryFile());
        std::filesystem::remove(HistoryFile() + "-wal");
        std::filesystem::remove(HistoryFile() + "-shm");
    }
}

}  // namespace
}  // namespace vx
