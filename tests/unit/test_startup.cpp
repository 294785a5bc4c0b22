// The three ways a run begins, and what the "Router Details" dialog does.
#include <gtest/gtest.h>

#include "dialogs/StartUp.h"
#include "dialogs/frmLogIn.h"
#include "monitor/frmMain.h"
#include "stats/frmLogStats.h"
#include "tests/support/program.h"
#include "traffic/modFunctions.h"

namespace vx {
namespace {

using test::FileExists;
using test::NewFileText;
using test::ReadFile;
using test::WriteFile;

class Startup : public test::ProgramTest {
protected:
    // Starts monitoring from the dialog, closes the monitor at once and
    // returns the totals it saved: the totals it took over.
    std::pair<std::string, std::string> TotalsTakenOver() {
        Default<frmLogIn>::Get().txtIP.setText("127.0.0.9");
        Default<frmLogIn>::Get().cmdGo.click();
        if (!Default<frmMain>::Exists()) return {"<no monitor>", ""};
        Default<frmMain>::Peek()->window().userCloseRequested();
        fake::ProcessEvents();
        return {ReadIniValue("TotalStats", "Incoming", statsFile()),
                ReadIniValue("TotalStats", "OutGoing", statsFile())};
    }
    // What the monitor sends to its router in its first ticks: the URL, or
    // the console lines.
    std::vector<std::string> FirstWords() {
        frmMain& m = *Default<frmMain>::Peek();
        m.Timer.tick();
        // Web mode fetches at once; the console logs in over two ticks.
        if (!S().urlsFetched.empty()) return S().urlsFetched;
        m.Timer.tick();
        return S().lastTcpClient->sent;
    }
};

TEST_F(Startup, WithoutSettingsTheDialogShowsItsDefaultsAndTheStatisticsFileIsSetUp) {
    StartProgram();
    frmLogIn* dialog = Default<frmLogIn>::Peek();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->window().visible());
    EXPECT_FALSE(Default<frmMain>::Exists());
    EXPECT_EQ(dialog->txtIP.text(), "192.168.0.1");
    EXPECT_EQ(dialog->txtUser.text(), "admin");
    EXPECT_EQ(dialog->txtPassword.text(), "");
    EXPECT_EQ(dialog->txtPassword.passwordChar(), '*');
    EXPECT_EQ(dialog->selSpeed.text(), "512");
    EXPECT_EQ(dialog->selSpeed.items(), (std::vector<std::string>{"2meg", "512"}));
    EXPECT_EQ(dialog->chk9106.value(), 0);
    EXPECT_EQ(dialog->window().caption(), "Router Details");
    EXPECT_EQ(ReadFile(statsFile()),
              NewFileText("[TotalStats]\nEnabled=True\nDate=12/8/2026 9:05:03 AM\nIncoming= 0\nOutGoing= 0\n"))
        << "Enabled, Date, Incoming, OutGoing in this order";
    EXPECT_EQ(TotalsTakenOver(), std::make_pair(std::string("0"), std::string("0")));
}

TEST_F(Startup, AnInitialisedStatisticsFileIsLoadedRoundedDownAndLeftAsItWas) {
    const std::string stats =
        "[TotalStats]\nEnabled=True\nDate=1/2/2025 3:04:05 PM\nIncoming=1234.9\nOutGoing= 1234567\n";
    WriteFile(statsFile(), stats);
    StartProgram();
    EXPECT_EQ(ReadFile(statsFile()), stats);
    EXPECT_EQ(TotalsTakenOver(), std::make_pair(std::string("1234"), std::string("1234567")));
    EXPECT_EQ(ReadIniValue("TotalStats", "Date", statsFile()), "1/2/2025 3:04:05 PM");
}

TEST_F(Startup, AnUnusableStoredTotalStartsFromZero) {
    WriteTotals("", "many");
    StartProgram();
    EXPECT_EQ(TotalsTakenOver(), std::make_pair(std::string("0"), std::string("0")));
}

TEST_F(Startup, AStatisticsFileNotExactlyEnabledIsSetUpAgain) {
    WriteFile(statsFile(), "[TotalStats]\nEnabled=true\nDate=old\nIncoming= 5\nOutGoing= 6\n");
    StartProgram();
    EXPECT_EQ(ReadIniValue("TotalStats", "Enabled", statsFile()), "True");
    EXPECT_EQ(ReadIniValue("TotalStats", "Date", statsFile()), "12/8/2026 9:05:03 AM");
    EXPECT_EQ(ReadIniValue("TotalStats", "Incoming", statsFile()), "0");
    EXPECT_EQ(TotalsTakenOver(), std::make_pair(std::string("0"), std::string("0")));
}

TEST_F(Startup, EnabledSettingsStartMonitoringAtOnceWithoutTheDialog) {
    const std::string boot =
        "[Settings]\nEnabled=True\nIP=127.0.0.9\nPassword=pw\nSpeed=2meg\n9106router=Yes\nUser=root\n";
    WriteFile(bootFile(), boot);
    WriteTotals("4096", "8192");
    StartProgram();
    fake::ProcessEvents();
    ASSERT_TRUE(Default<frmMain>::Exists());
    frmMain& m = *Default<frmMain>::Peek();
    EXPECT_TRUE(m.window().visible());
    EXPECT_FALSE(Default<frmLogIn>::Exists()) << "the dialog was unloaded";
    EXPECT_EQ(fake::FindWindow("frmLogIn"), nullptr) << "and never displayed";
    EXPECT_EQ(m.barIncoming.max(), 262144);
    ASSERT_NE(S().lastTcpClient, nullptr) << "the console, as the settings say";
    EXPECT_EQ(S().lastTcpClient->RemoteHost, "127.0.0.9");
    EXPECT_EQ(FirstWords(), (std::vector<std::string>{"admin\r\n", "pw\r\n"}))
        << "no user name is stored in the settings";
    EXPECT_EQ(ReadFile(bootFile()), boot) << "the settings file is only read";
    // The totals were loaded before the monitor took them over.
    m.window().userCloseRequested();
    EXPECT_EQ(ReadIniValue("TotalStats", "Incoming", statsFile()), "4096");
    EXPECT_EQ(ReadIniValue("TotalStats", "OutGoing", statsFile()), "8192");
}

TEST_F(Startup, AnAutomaticStartSetsUpAFreshStatisticsFileToo) {
    WriteBootIni("127.0.0.9");
    StartProgram();
    ASSERT_TRUE(Default<frmMain>::Exists());
    EXPECT_EQ(ReadIniValue("TotalStats", "Enabled", statsFile()), "True");
    EXPECT_EQ(ReadIniValue("TotalStats", "Incoming", statsFile()), "0");
}

TEST_F(Startup, OnlyExactSettingsCount) {
    WriteFile(bootFile(), "[Settings]\nEnabled=true\nIP=127.0.0.9\n");
    StartProgram();
    EXPECT_FALSE(Default<frmMain>::Exists());
    EXPECT_EQ(Default<frmLogIn>::Get().txtIP.text(), "192.168.0.1");
    Restart();

    S().urlHandler = [](const std::string&) { return platform::UrlResponse{200, test::StatsPage(1, 2)}; };
    WriteFile(bootFile(), "[Settings]\nEnabled=True\nIP=127.0.0.9\n9106router=yes\n");
    StartProgram();
    ASSERT_TRUE(Default<frmMain>::Exists());
    EXPECT_EQ(FirstWords(), (std::vector<std::string>{"http://admin:@127.0.0.9/statswan.cmd"}))
        << "a missing key leaves the box empty";
}

TEST_F(Startup, StatsSwitchOpensOnlyTheStatisticsWindowAndTouchesNoFile) {
    S().commandLine = "/STATS";
    WriteBootIni("127.0.0.9");
    StartProgram();
    fake::ProcessEvents();
    EXPECT_FALSE(Default<frmLogIn>::Exists());
    EXPECT_FALSE(Default<frmMain>::Exists());
    ASSERT_TRUE(Default<frmLogStats>::Exists());
    EXPECT_TRUE(Default<frmLogStats>::Peek()->window().visible());
    EXPECT_FALSE(FileExists(statsFile())) << "no statistics file is created";
    EXPECT_EQ(Form::LoadedCount(), 1);
    EXPECT_FALSE(S().tray.shown);
    EXPECT_FALSE(S().quitRequested);
}

TEST_F(Startup, OnlyTheExactStatsSwitchCounts) {
    for (const char* line : {"/stats", "/STATS x", " /STATS"}) {
        Restart();
        S().commandLine = line;
        StartProgram();
        EXPECT_FALSE(Default<frmLogStats>::Exists()) << line;
        EXPECT_TRUE(Default<frmLogIn>::Exists()) << line;
    }
}

TEST_F(Startup, ThePresetCodeFillsAddressPasswordAndSpeed) {
    StartProgram();
    frmLogIn& d = Default<frmLogIn>::Get();
    d.txtUser.setText("someone");
    d.selSpeed.setText("2meg");
    d.txtIP.setText("qov");
    EXPECT_EQ(d.txtIP.text(), "10.0.0.1");
    EXPECT_EQ(d.txtPassword.text(), "qzmnt");
    EXPECT_EQ(d.selSpeed.text(), "512");
    EXPECT_EQ(d.txtUser.text(), "someone");
    for (const char* other : {"QOV", "qov ", "xqov"}) {
        d.txtPassword.setText("");
        d.txtIP.setText(other);
        EXPECT_EQ(d.txtIP.text(), other);
        EXPECT_EQ(d.txtPassword.text(), "");
    }
}

TEST_F(Startup, ReleasingEnterStartsMonitoringOtherKeysDoNot) {
    StartProgram();
    frmLogIn& d = Default<frmLogIn>::Get();
    d.txtIP.setText("127.0.0.7");
    d.window().userKeyUp(65, 0);
    d.window().userKeyUp(13 + 256, 0);
    EXPECT_FALSE(Default<frmMain>::Exists());
    d.window().userKeyUp(13, 1);  // with shift too
    ASSERT_TRUE(Default<frmMain>::Exists());
    EXPECT_FALSE(Default<frmLogIn>::Exists());
    EXPECT_EQ(FirstWords(), (std::vector<std::string>{"http://admin:@127.0.0.7/statswan.cmd"}));
}

TEST_F(Startup, StartMonitorChecksNothingAndSavesNothing) {
    StartProgram();
    const std::string before = ReadFile(statsFile());
    frmLogIn& d = Default<frmLogIn>::Get();
    d.txtIP.setText("");
    d.selSpeed.setText("");
    d.cmdGo.click();
    ASSERT_TRUE(Default<frmMain>::Exists());
    EXPECT_EQ(Default<frmMain>::Peek()->barIncoming.max(), 262144) << "an empty speed is the large scale";
    EXPECT_EQ(FirstWords(), (std::vector<std::string>{"http://admin:@/statswan.cmd"}));
    EXPECT_EQ(ReadFile(statsFile()), before);
    EXPECT_FALSE(FileExists(bootFile())) << "the settings file is never written";
}

TEST_F(Startup, ClosingTheDialogEndsTheProgram) {
    StartProgram();
    Default<frmLogIn>::Get().window().userCloseRequested();
    EXPECT_FALSE(Default<frmLogIn>::Exists());
    EXPECT_FALSE(Default<frmMain>::Exists());
    EXPECT_TRUE(S().quitRequested);
}

TEST_F(Startup, ASecondStartBringsTheRunningProgramForwardInsteadOfMonitoringToo) {
    // The first start holds its files; a later start brings its dialog forward.
    StartProgram();
    EXPECT_EQ(S().instance.held, statsFile());
    frmLogIn& dialog = Default<frmLogIn>::Get();
    dialog.Hide();
    ASSERT_TRUE(fake::StartedAgain());
    EXPECT_TRUE(dialog.window().visible());
    EXPECT_EQ(S().raised.back(), dialog.window().hWnd());

    // Its monitor, hidden in the tray or minimised where there is none, comes back.
    dialog.txtIP.setText("127.0.0.9");
    dialog.cmdGo.click();
    frmMain& m = *Default<frmMain>::Peek();
    for (bool tray : {true, false}) {
        S().trayAvailable = tray;
        m.window().userStateChanged(platform::WindowState::Minimized);
        EXPECT_EQ(m.window().visible(), !tray);
        ASSERT_TRUE(fake::StartedAgain());
        EXPECT_TRUE(m.window().visible());
        EXPECT_EQ(m.window().windowState(), platform::WindowState::Normal);
        EXPECT_EQ(S().raised.back(), m.window().hWnd());
    }

    // The later start itself shows nothing, writes nothing and ends.
    Restart();
    std::remove(statsFile().c_str());
    WriteBootIni("127.0.0.9");
    S().instance.heldElsewhere = {statsFile()};
    EXPECT_FALSE(StartProgram());
    EXPECT_EQ(S().instance.raiseAsked, std::vector<std::string>{statsFile()});
    EXPECT_EQ(Form::LoadedCount(), 0);
    EXPECT_TRUE(platform::Window::all().empty());
    EXPECT_FALSE(FileExists(statsFile()));

    // Only reading the statistics needs no claim.
    S().commandLine = "/STATS";
    EXPECT_TRUE(StartProgram());
    EXPECT_TRUE(Default<frmLogStats>::Exists());
}

}  // namespace
}  // namespace vx
