// The whole program, headless (fake windows) but with the real network:
// the HTTP client and the socket against the simulated router.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <string>

#include "dialogs/StartUp.h"
#include "historyview/frmHistory.h"
#include "monitor/frmMain.h"
#include "traffic/modFunctions.h"
#include "tests/integration/sim_process.h"
#include "tests/support/files.h"
#include "tests/support/program.h"

namespace vx {
namespace {

using test::SimRouter;
using Clock = std::chrono::steady_clock;

using test::kBusy;
using test::kWrongDetails;

class ProgramNetTest : public test::MonitorTest {
protected:
    void Start(const std::string& address, bool console, const std::string& password = "secret") {
        WriteBootIni(address, "2meg", console, password);
        StartProgram();
        ASSERT_TRUE(Default<frmMain>::Exists());
    }
    // The page comes on the worker: ticks, a few milliseconds apart, until
    // what the user sees says it has come.
    template <class F>
    bool TickUntil(F done) {
        return test::WaitUntil(
            [&] {
                const auto start = Clock::now();
                Tick();
                lastTick_ = std::chrono::duration<double>(Clock::now() - start).count();
                return done();
            },
            std::chrono::seconds(15));
    }
    double lastTick_ = 0;  // seconds the last tick took
    bool ABoxSays(const std::string& text) {
        for (const auto& box : S().messageBoxes)
            if (box.prompt == text) return true;
        return false;
    }
};

TEST_F(ProgramNetTest, WebModeReadsTheRouterEachTickAndNeverItsConsole) {
    // The console listens too: the web mode must leave it alone.
    SimRouter sim(
        {"--address", "127.0.0.21", "--console-port", "23", "--rx-start", "4294967000", "--tx-start", "2147483000"});
    // The address text carries the port; the URL takes it as it stands.
    ASSERT_NO_FATAL_FAILURE(Start(sim.web(), false));

    // The first page is the baseline, the second shows standing counters.
    ASSERT_TRUE(TickUntil([&] { return FigureIn() == "0k/s"; })) << FigureIn();
    sim.Control("rx=" + test::Digits(4294967000.0 + 3 * 1024) + "&tx=" + test::Digits(2147483000.0 + 1648));
    ASSERT_TRUE(TickUntil([&] { return FigureIn() == "3k/s"; })) << FigureIn();
    EXPECT_EQ(FigureOut(), "1k/s");
    EXPECT_EQ(BarIn(), 3 * 1024);
    EXPECT_EQ(BarOut(), 1648);
    EXPECT_TRUE(S().messageBoxes.empty());
    EXPECT_EQ(sim.Stat("console_connections"), 0);
    EXPECT_EQ(Caption(), "Vexlo Router Stats") << "no more Connecting once the router answered";
    // Only an SNMP v3 session loads any cryptography.
    EXPECT_FALSE(test::LibraryLoaded("libcrypto"));
}

TEST_F(ProgramNetTest, WebModeTellsWrongDetailsAndABusyRouter) {
    SimRouter sim({"--address", "127.0.0.21", "--no-console", "--rx-start", "5000"});
    ASSERT_NO_FATAL_FAILURE(Start(sim.web(), false, "not-the-password"));

    ASSERT_TRUE(TickUntil([&] { return !S().messageBoxes.empty(); }));
    EXPECT_EQ(S().messageBoxes[0].prompt, kWrongDetails);
    EXPECT_EQ(S().messageBoxes[0].title, "Problem");

    for (auto [mode, text] : {std::pair<std::string, std::string>{"busy", kBusy},
                              {"404", kWrongDetails},
                              {"401", kWrongDetails},
                              {"authfail", kWrongDetails}}) {
        sim.Control("mode=" + mode);
        S().messageBoxes.clear();
        EXPECT_TRUE(TickUntil([&] { return ABoxSays(text); })) << mode;
    }
    EXPECT_EQ(FigureIn(), "--") << "no reading ever came";
}

TEST_F(ProgramNetTest, ARouterThatHangsOrMisbehavesNeverHoldsATickUp) {
    SimRouter sim({"--address", "127.0.0.21", "--no-console", "--rx-start", "5000", "--tx-start", "6000"});
    ASSERT_NO_FATAL_FAILURE(Start(sim.web(), false));
    ASSERT_TRUE(TickUntil([&] { return FigureIn() == "0k/s"; }));
    sim.Control("rx=" + test::Digits(5000 + 2048));
    ASSERT_TRUE(TickUntil([&] { return FigureIn() == "2k/s"; }));

    for (const std::string mode : {"hang", "reset", "huge", "garbled"}) {
        sim.Control("mode=" + mode);
        // A fetch that waited for the router would hold a tick for its whole
        // two-second time-out; a tick only looks for what has come. After a
        // few ticks without a reading the display says so.
        double longest = 0;
        const bool cleared = TickUntil([&] {
            longest = std::max(longest, lastTick_);
            return FigureIn() == "--";
        });
        EXPECT_TRUE(cleared) << mode;
        EXPECT_LT(longest, 1.5) << mode;
        EXPECT_EQ(Caption(), "Vexlo Router Stats - The router does not answer") << mode;
        EXPECT_EQ(BarIn(), 0) << mode;
        EXPECT_EQ(Level(), 0) << mode;
        sim.Control("mode=ok");
        EXPECT_TRUE(TickUntil([&] { return FigureIn() == "0k/s"; })) << mode << ": restored with the next reading";
        EXPECT_EQ(Caption(), "Vexlo Router Stats") << mode;
    }
    EXPECT_TRUE(S().messageBoxes.empty());
    // The last good reading is still the baseline.
    sim.Control("mode=ok&rx=" + test::Digits(5000 + 2048 + 5120));
    EXPECT_TRUE(TickUntil([&] { return FigureIn() == "5k/s"; })) << FigureIn();
}

// The 9106 console needs port 23, so each such test has its own address.
class ConsoleProgramTest : public ProgramNetTest {
protected:
    // Logs in over the real connection, one line per tick, each once the
    // router has done its part.
    void LogIn(SimRouter& sim) {
        ASSERT_TRUE(sim.WaitForStat("console_connections", 1));
        Tick();
        EXPECT_EQ(Caption(), "Vexlo Router Stats - Sent User");
        Tick();
        EXPECT_EQ(Caption(), "Vexlo Router Stats - Sent Password");
        ASSERT_TRUE(sim.WaitForStat("logins", 1));
        Tick();
        ASSERT_EQ(Caption(), "Vexlo Router Stats");
    }
    // One reading: the reply to the previous tick's request is read, a new one is sent.
    void Reading(SimRouter& sim, long long replies) {
        ASSERT_TRUE(sim.WaitForStat("ifconfig_replies", replies));
        Tick();
    }
};

TEST_F(ConsoleProgramTest, LogsInAndGrowsTheTotalsThatAreSavedAtClose) {
    SimRouter sim({"--address", "127.0.0.22", "--console-port", "23", "--iac", "--rx-start", "3000000000", "--tx-start",
                   "70000"});
    ASSERT_NO_FATAL_FAILURE(Start("127.0.0.22", true));
    ASSERT_NO_FATAL_FAILURE(LogIn(sim));

    ASSERT_NO_FATAL_FAILURE(Reading(sim, 1));  // the baseline: neither shown nor added
    EXPECT_EQ(FigureIn(), "");

    ASSERT_TRUE(sim.WaitForStat("ifconfig_replies", 2));
    sim.Control("rx=" + test::Digits(3000000000.0 + 2048) + "&tx=" + test::Digits(70000 + 3072));
    ASSERT_NO_FATAL_FAILURE(Reading(sim, 2));  // answered before the change
    EXPECT_EQ(FigureIn(), "0k/s");
    ASSERT_NO_FATAL_FAILURE(Reading(sim, 3));
    EXPECT_EQ(FigureIn(), "2k/s");
    EXPECT_EQ(FigureOut(), "3k/s");
    EXPECT_EQ(BarIn(), 2048);

    // A router restart: no rate, nothing added; the new counters are the baseline.
    ASSERT_TRUE(sim.WaitForStat("ifconfig_replies", 4));
    sim.Control("reset=1");
    ASSERT_NO_FATAL_FAILURE(Reading(sim, 4));
    ASSERT_NO_FATAL_FAILURE(Reading(sim, 5));
    EXPECT_EQ(FigureIn(), "0k/s") << "the last rate before the restart stays";
    EXPECT_TRUE(S().messageBoxes.empty());

    monitor().window().userCloseRequested();
    EXPECT_FALSE(Default<frmMain>::Exists());
    EXPECT_EQ(ReadIniValue("TotalStats", "Incoming", statsFile()), "2048");
    EXPECT_EQ(ReadIniValue("TotalStats", "OutGoing", statsFile()), "3072");
}

TEST_F(ConsoleProgramTest, AWrongPasswordShowsTheBoxUntilThePromptComes) {
    SimRouter sim({"--address", "127.0.0.23", "--console-port", "23"});
    ASSERT_NO_FATAL_FAILURE(Start("127.0.0.23", true, "wrong"));
    ASSERT_TRUE(sim.WaitForStat("console_connections", 1));
    Tick();
    Tick();
    ASSERT_TRUE(sim.WaitForStat("failed_logins", 1));
    Tick();
    ASSERT_EQ(S().messageBoxes.size(), 1u);
    EXPECT_EQ(S().messageBoxes[0].prompt, kWrongDetails);
    EXPECT_EQ(Caption(), "Vexlo Router Stats - Sent Password");
}

TEST_F(ConsoleProgramTest, NoConsoleListeningLeavesTheDisplayAlone) {
    ASSERT_NO_FATAL_FAILURE(Start("127.0.0.24", true));
    for (int i = 0; i < 3; ++i) Tick();
    EXPECT_EQ(Caption(), "Vexlo Router Stats - Connecting");
    EXPECT_EQ(FigureIn(), "");
    EXPECT_TRUE(S().messageBoxes.empty());
}

#ifdef VX_RECORDER
// A real vxstat-recorder reading the simulated router, on its own address
// (not 127.0.0.1: so it asks every request for its token).
class RecorderClientTest : public ProgramNetTest {
protected:
    static constexpr const char* kToken = "tok-0123456789abcdef-xyz";
    static constexpr const char* kHost = "127.0.0.25";

    void StartRecorder(const std::string& web) {
        test::WriteFile(recorderDir_.file("boot.ini"), "[Settings]\nEnabled=True\nIP=" + web +
                                                           "\nPassword=secret\nSpeed=2meg\n9106router=No\nQuota=10G\n"
                                                           "Token=" +
                                                           std::string(kToken) + "\n");
        port_ = test::UnusedPort(kHost);
        recorder_ = std::make_unique<test::ChildProcess>(
            std::vector<std::string>{VX_RECORDER, "--config", recorderDir_.path(), "--listen",
                                     std::string(kHost) + ":" + std::to_string(port_)});
        ASSERT_TRUE(test::WaitForListener(kHost, port_, std::chrono::seconds(15)));
    }
    std::string address() const { return "vxstat://" + std::string(kHost) + ":" + std::to_string(port_); }

    // A figure of the recorder's /api/v1/now, as its own client reads it.
    std::optional<double> Served(const std::string& object, const std::string& field = "in") {
        const auto [status, body] =
            test::HttpGet(kHost, port_, "/api/v1/now", "Authorization: Bearer " + std::string(kToken));
        const std::string key = "\"" + object + "\":{\"" + field + "\":";
        const auto at = body.find(key);
        if (status != 200 || at == std::string::npos) return std::nullopt;
        return std::stod(body.substr(at + key.size()));
    }

    test::TempDir recorderDir_;
    int port_ = 0;
    std::unique_ptr<test::ChildProcess> recorder_;
};

TEST_F(RecorderClientTest, TwoDesktopsShowTheRecordersFiguresAndKeepNoHistoryOfTheirOwn) {
    SimRouter sim({"--address", "127.0.0.24", "--no-console", "--rx-rate", "150000", "--tx-rate", "21000"});
    ASSERT_NO_FATAL_FAILURE(StartRecorder(sim.web()));
    ASSERT_NO_FATAL_FAILURE(Start(address(), false, kToken));
    // The router's rate, as the recorder counted it (146k/s; a late reading shows more).
    ASSERT_TRUE(TickUntil([&] {
        const double k = std::atof(FigureIn().c_str());
        return k > 146 * 0.85 && k < 146 * 1.3 && FigureIn().find("k/s") != std::string::npos;
    })) << FigureIn();
    EXPECT_EQ(Caption(), "Vexlo Router Stats");
    EXPECT_GT(Level(), 0);

    // A second desktop reading the same recorder.
    MonitorSettings settings;
    settings.routerIP = address();
    settings.password = kToken;
    Monitor second(settings);
    second.start();

    // Once the router's line is quiet, both show exactly the recorder's totals and today's bytes.
    sim.Control("rx_rate=0&tx_rate=0");
    frmMain& first = monitor();
    first.ShowHistoryWindow();
    ASSERT_TRUE(TickUntil([&] {
        second.step();
        const std::optional<double> totalIn = Served("totals"), today = Served("today");
        const auto a = first.core().summary(), b = second.summary();
        return totalIn && today && *totalIn > 0 && first.core().totals().in == *totalIn &&
               second.totals().in == *totalIn && a && b && a->today.in == *today && b->today.in == *today &&
               first.core().totals().in == Served("totals");  // still: the recorder has stopped counting
    })) << first.core().totals().in
        << " " << second.totals().in;
    frmHistory& window = *Default<frmHistory>::Peek();
    window.Refresh();
    EXPECT_EQ(window.rows[0].in->caption(), BytesText(first.core().summary()->today.in));
    EXPECT_NE(window.lblQuota.caption().find("of 10.00 GB used this month"), std::string::npos);

    second.close();
    Default<frmMain>::Unload();
    EXPECT_FALSE(platform::FileExists(HistoryFile())) << "the recorder keeps the history";
    EXPECT_EQ(ReadIniValue("TotalStats", "Incoming", StatisticsFile()), "0") << "and the totals: none counted here";
    EXPECT_TRUE(S().messageBoxes.empty());
}

TEST_F(RecorderClientTest, AWrongTokenGivesTheBoxAndASilentRecorderOnlyTheCaption) {
    SimRouter sim({"--address", "127.0.0.24", "--no-console"});
    ASSERT_NO_FATAL_FAILURE(StartRecorder(sim.web()));
    ASSERT_NO_FATAL_FAILURE(Start(address(), false, "not-the-token"));
    ASSERT_TRUE(TickUntil([&] { return !S().messageBoxes.empty(); }));
    EXPECT_EQ(S().messageBoxes[0].prompt, RecorderRefusedText(std::string(kHost) + ":" + std::to_string(port_)));
    EXPECT_EQ(S().messageBoxes[0].title, "Problem");

    recorder_->Stop();
    ASSERT_TRUE(TickUntil([&] { return Caption() == "Vexlo Router Stats - The recorder does not answer"; }))
        << Caption();
    EXPECT_EQ(S().messageBoxes.size(), 1U) << "no box for a recorder that does not answer";
}
#endif

}  // namespace
}  // namespace vx
