// A fresh program for each test over the fake backend: a private program
// folder, no forms, the backend at its start; and a monitor with a router on
// the fake network for the tests that watch it work.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>

#include "monitor/frmMain.h"
#include "platform/fake/fake.h"
#include "platform/forms.h"
#include "tests/support/files.h"
#include "tests/support/router_texts.h"

namespace vx::test {

// Discards every form of the program and puts the fake backend back to the start.
void ResetProgram();

// Text with "\n" line ends as a newly written profile file holds it: with
// CR LF on Windows.
std::string NewFileText(const std::string& text);

// The "Problem" boxes' texts, as the user reads them.
extern const std::string kWrongDetails;
extern const std::string kBusy;

// Each test starts a new program whose folder is a new temporary folder.
class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    fake::State& S() { return fake::S(); }
    std::string statsFile() const { return dir.file("userstats.txt"); }
    std::string bootFile() const { return dir.file("boot.ini"); }
    // A boot.ini that starts monitoring at once.
    void WriteBootIni(const std::string& ip, const std::string& speed = "2meg", bool is9106 = false,
                      const std::string& password = "secret");
    // A statistics file whose totals the program takes over.
    void WriteTotals(const std::string& incoming, const std::string& outgoing);
    // Starts afresh within one test (same folder, no forms).
    void Restart();

    TempDir dir;
};

// The monitor, started from boot.ini as the program starts it, with a router
// on the fake network. In web mode the router serves its statistics page with
// the counters `rx` and `tx` (or `answer` when set); in console mode it is the
// fake connection the monitor opened (peer()).
class MonitorTest : public ProgramTest {
protected:
    void SetUp() override;

    frmMain& StartWeb(const std::string& speed = "2meg", const std::string& ip = "127.0.0.5",
                      const std::string& password = "secret");
    frmMain& StartConsole(const std::string& speed = "2meg", const std::string& ip = "127.0.0.6",
                          const std::string& password = "secret");

    frmMain& monitor() { return *Default<frmMain>::Peek(); }
    void Tick() { monitor().Timer.tick(); }

    // Web: the counters move by these bytes (negative: they go back), then a
    // tick reads them. The first reading only sets the baseline.
    void Move(double in, double out = 0);

    // Console.
    fake::FakeTcpClient& peer() { return *S().lastTcpClient; }
    void Say(const std::string& received);  // the router's next output, then a tick
    void LogIn();                           // user, password, prompt: one tick each
    void Report(double rxBytes, double txBytes) { Say(IfconfigReply(rxBytes, txBytes)); }

    // What the user sees.
    std::string Caption() { return monitor().window().caption(); }
    std::string FigureIn() { return monitor().lblBytesIn.caption(); }
    std::string FigureOut() { return monitor().lblBytesOut.caption(); }
    float BarIn() { return monitor().barIncoming.value(); }
    float BarOut() { return monitor().barOutgoing.value(); }
    int Level();  // the tray picture's level, -1 for another picture
    // The totals the "Statistics" command writes into the file: incoming, outgoing.
    std::pair<std::string, std::string> SavedTotals();

    double rx = 1000000000;  // the web router's counters
    double tx = 1000000000;
    std::optional<platform::UrlResponse> answer;
    bool unreachable = false;  // the fetch fails
    int fetches = 0;
};

}  // namespace vx::test
