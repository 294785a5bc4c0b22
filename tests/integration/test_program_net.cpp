// The whole program, headless (fake windows) but with the real network:
// libcurl and the socket against the simulated router.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "dialogs/frmLogIn.h"
#include "monitor/frmMain.h"
#include "sources/ConsoleSource.h"
#include "traffic/modFunctions.h"
#include "tests/integration/sim_process.h"
#include "tests/support/program.h"

namespace vx {
namespace {

using test::SimRouter;
using Clock = std::chrono::steady_clock;

using test::kBusy;
using test::kWrongDetails;

class ProgramNetTest : public test::ProgramTest {
protected:
    frmMain& monitor() { return Default<frmMain>::Get(); }
    void Tick() { monitor().Timer.tick(); }
    std::string In() { return monitor().lblIncoming.caption(); }
    std::string Out() { return monitor().lblOutgoing.caption(); }
    std::string Caption() { return monitor().window().caption(); }
};

TEST_F(ProgramNetTest, WebModeReadsTheRouterOncePerTick) {
    SimRouter sim({"--address", "127.0.0.21", "--no-console", "--rx-start", "4294967000", "--tx-start",
                   "2147483000"});
    // The address text carries the port; the URL takes it as it stands.
    WriteBootIni(sim.web(), "2meg", false, "secret");
    StartProgram();
    ASSERT_TRUE(Default<frmMain>::Exists());

    Tick();
    EXPECT_EQ(In(), "4294967000");
    EXPECT_EQ(Out(), "2147483000");
    sim.Control("rx=4294968000&tx=2147484648");
    Tick();
    EXPECT_EQ(In(), "1000");
    EXPECT_EQ(Out(), "1648");
    EXPECT_EQ(monitor().lblBytesOut.caption(), "1k/s");
    EXPECT_TRUE(S().messageBoxes.empty());
    EXPECT_EQ(sim.Stat("web_requests"), 2);
    // Nothing listens on port 23 there; the web mode does not care.
    EXPECT_EQ(Caption(), "Vexlo Router Stats - Connecting");
}

TEST_F(ProgramNetTest, WebModeTellsWrongDetailsAndABusyRouter) {
    SimRouter sim({"--address", "127.0.0.21", "--no-console", "--rx-start", "5000"});
    WriteBootIni(sim.web(), "2meg", false, "not-the-password");
    StartProgram();

    Tick();
    ASSERT_EQ(S().messageBoxes.size(), 1u);
    EXPECT_EQ(S().messageBoxes[0].prompt, kWrongDetails);
    EXPECT_EQ(S().messageBoxes[0].title, "Problem");

    for (auto [mode, text] : {std::pair<std::string, std::string>{"busy", kBusy}, {"404", kWrongDetails},
                              {"401", kWrongDetails}, {"authfail", kWrongDetails}}) {
        sim.Control("mode=" + mode);
        S().messageBoxes.clear();
        Tick();
        ASSERT_EQ(S().messageBoxes.size(), 1u) << mode;
        EXPECT_EQ(S().messageBoxes[0].prompt, text) << mode;
    }
    EXPECT_EQ(In(), "");
}

TEST_F(ProgramNetTest, ASilentRouterSkipsTheTickWithinAboutTwoSeconds) {
    SimRouter sim({"--address", "127.0.0.21", "--no-console", "--rx-start", "5000", "--tx-start", "6000"});
    WriteBootIni(sim.web(), "2meg", false, "secret");
    StartProgram();
    Tick();
    ASSERT_EQ(In(), "5000");

    for (const std::string mode : {"hang", "reset", "huge", "garbled"}) {
        sim.Control("mode=" + mode);
        auto start = Clock::now();
        Tick();
        EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), 5.0) << mode;
        EXPECT_EQ(In(), "5000") << mode;
        EXPECT_EQ(dblLastIncoming, 5000) << mode;
    }
    EXPECT_TRUE(S().messageBoxes.empty());
}

// The 9106 console needs port 23, so each such test has its own address.
class ConsoleProgramTest : public ProgramNetTest {
protected:
    // Logs in over the real connection, one line per tick, waiting each time
    // until the router has answered.
    void LogIn(SimRouter& sim) {
        ASSERT_TRUE(test::WaitUntil([&] { return monitor().winsock->State() == platform::SocketState::Connected; }));
        Tick();
        EXPECT_EQ(Caption(), "Vexlo Router Stats - Sent User");
        test::SleepMs(100);
        Tick();
        EXPECT_EQ(Caption(), "Vexlo Router Stats - Sent Password");
        ASSERT_TRUE(sim.WaitForStat("logins", 1));
        Tick();
        EXPECT_EQ(Caption(), "Vexlo Router Stats");
        ASSERT_EQ(strTelnetState, "Console");
    }
    // One reading: the reply to the previous tick's request is read, a new one is sent.
    void Reading(SimRouter& sim, long long replies) {
        ASSERT_TRUE(sim.WaitForStat("ifconfig_replies", replies));
        Tick();
    }
};

TEST_F(ConsoleProgramTest, LogsInAndGrowsTheTotalsThatAreSavedAtClose) {
    SimRouter sim({"--address", "127.0.0.22", "--console-port", "23", "--iac", "--rx-start", "3000000000",
                   "--tx-start", "70000"});
    WriteBootIni("127.0.0.22", "2meg", true, "secret");
    StartProgram();
    ASSERT_TRUE(Default<frmMain>::Exists());
    ASSERT_NO_FATAL_FAILURE(LogIn(sim));

    Reading(sim, 1);  // the baseline: shown, not added
    EXPECT_EQ(In(), "3000000000");
    EXPECT_EQ(Out(), "70000");
    EXPECT_EQ(dblTotalIncoming, 0);

    ASSERT_TRUE(sim.WaitForStat("ifconfig_replies", 2));
    sim.Control("rx=3000001000&tx=70300");
    Reading(sim, 2);  // answered before the change
    EXPECT_EQ(In(), "0");
    Reading(sim, 3);
    EXPECT_EQ(In(), "1000");
    EXPECT_EQ(Out(), "300");
    EXPECT_EQ(dblTotalIncoming, 1000);
    EXPECT_EQ(dblTotalOutgoing, 300);

    // A router restart: shown once, never added.
    ASSERT_TRUE(sim.WaitForStat("ifconfig_replies", 4));
    sim.Control("reset=1");
    Reading(sim, 4);
    Reading(sim, 5);
    EXPECT_EQ(In(), "-3000001000");
    EXPECT_EQ(dblTotalIncoming, 1000);
    EXPECT_TRUE(S().messageBoxes.empty());

    Default<frmMain>::Unload();
    std::string stats = test::ReadFile(statsFile());
    EXPECT_NE(stats.find("Incoming= 1000"), std::string::npos) << stats;
    EXPECT_NE(stats.find("OutGoing= 300"), std::string::npos) << stats;
}

TEST_F(ConsoleProgramTest, AWrongPasswordShowsTheBoxUntilThePromptComes) {
    SimRouter sim({"--address", "127.0.0.23", "--console-port", "23"});
    WriteBootIni("127.0.0.23", "2meg", true, "wrong");
    StartProgram();
    ASSERT_TRUE(test::WaitUntil([&] { return monitor().winsock->State() == platform::SocketState::Connected; }));
    Tick();
    test::SleepMs(100);
    Tick();
    ASSERT_TRUE(sim.WaitForStat("failed_logins", 1));
    Tick();
    ASSERT_EQ(S().messageBoxes.size(), 1u);
    EXPECT_EQ(S().messageBoxes[0].prompt, kWrongDetails);
    EXPECT_EQ(Caption(), "Vexlo Router Stats - Sent Password");
}

TEST_F(ConsoleProgramTest, NoConsoleListeningLeavesTheDisplayAlone) {
    WriteBootIni("127.0.0.24", "2meg", true, "secret");
    StartProgram();
    ASSERT_TRUE(test::WaitUntil([&] { return monitor().winsock->State() == platform::SocketState::Error; }));
    for (int i = 0; i < 3; ++i) Tick();
    EXPECT_EQ(Caption(), "Vexlo Router Stats - Connecting");
    EXPECT_EQ(strTelnetState, "");
    EXPECT_TRUE(S().messageBoxes.empty());
}

}  // namespace
}  // namespace vx
