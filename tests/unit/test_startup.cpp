// The three ways a run begins, and what the "Router Details" dialog does.
#include <gtest/gtest.h>

#include "dialogs/frmLogIn.h"
#include "stats/frmLogStats.h"
#include "monitor/frmMain.h"
#include "traffic/modFunctions.h"
#include "tests/support/program.h"

namespace vx {
namespace {

using test::FileExists;
using test::NewFileText;
using test::ReadFile;
using test::WriteFile;

class Startup : public test::ProgramTest {};

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
    EXPECT_EQ(ReadFile(statsFile()), NewFileText("[TotalStats]\nEnabled=True\nDate=12/8/2026 9:05:03 AM\nIncoming= 0\nOutGoing= 0\n"))
        << "Enabled, Date, Incoming, OutGoing in this order";
    EXPECT_EQ(dblTotalIncoming, 0);
    EXPECT_EQ(dblTotalOutgoing, 0);
}

TEST_F(Startup, AnInitialisedStatisticsFileIsLoadedRoundedDownAndLeftAsItWas) {
    const std::string stats = "[TotalStats]\nEnabled=True\nDate=1/2/2025 3:04:05 PM\nIncoming=1234.9\nOutGoing= 1234567\n";
    WriteFile(statsFile(), stats);
    StartProgram();
    EXPECT_EQ(dblTotalIncoming, 1234);
    EXPECT_EQ(dblTotalOutgoing, 1234567);
    EXPECT_EQ(ReadFile(statsFile()), stats);
}

TEST_F(Startup, AnUnusableStoredTotalStartsFromZero) {
    WriteFile(statsFile(), "[TotalStats]\nEnabled=True\nIncoming=\nOutGoing=many\n");
    StartProgram();
    EXPECT_EQ(dblTotalIncoming, 0);
    EXPECT_EQ(dblTotalOutgoing, 0);
}

TEST_F(Startup, AStatisticsFileNotExactlyEnabledIsSetUpAgain) {
    WriteFile(statsFile(), "[TotalStats]\nEnabled=true\nDate=old\nIncoming= 5\nOutGoing= 6\n");
    StartProgram();
    EXPECT_EQ(ReadIniValue("TotalStats", "Date", statsFile()), "12/8/2026 9:05:03 AM");
    EXPECT_EQ(ReadIniValue("TotalStats", "Incoming", statsFile()), "0");
    EXPECT_EQ(dblTotalIncoming, 0);
}

TEST_F(Startup, EnabledSettingsStartMonitoringAtOnceWithoutTheDialog) {
    const std::string boot = "[Settings]\nEnabled=True\nIP=127.0.0.9\nPassword=pw\nSpeed=2meg\n9106router=Yes\nUser=root\n";
    WriteFile(bootFile(), boot);
    StartProgram();
    fake::ProcessEvents();
    ASSERT_TRUE(Default<frmMain>::Exists());
    frmMain& main = *Default<frmMain>::Peek();
    EXPECT_FALSE(Default<frmLogIn>::Exists()) << "the dialog was unloaded";
    EXPECT_EQ(fake::FindWindow("frmLogIn"), nullptr) << "and never displayed";
    EXPECT_EQ(main.m_sRouterIP, "127.0.0.9");
    EXPECT_EQ(main.m_sPassword, "pw");
    EXPECT_EQ(main.m_sUser, "admin") << "no user name is stored in the settings";
    EXPECT_TRUE(main.m_bIs9106);
    EXPECT_EQ(main.barIncoming.max(), 262144);
    EXPECT_TRUE(FileExists(statsFile())) << "the totals are set up on this road too";
    EXPECT_EQ(ReadFile(bootFile()), boot) << "the settings file is only read";
}

TEST_F(Startup, OnlyExactSettingsCount) {
    WriteFile(bootFile(), "[Settings]\nEnabled=true\nIP=127.0.0.9\n");
    StartProgram();
    EXPECT_FALSE(Default<frmMain>::Exists());
    EXPECT_EQ(Default<frmLogIn>::Get().txtIP.text(), "192.168.0.1");
    test::ResetProgram();
    S().appPath = dir.path();

    WriteFile(bootFile(), "[Settings]\nEnabled=True\nIP=127.0.0.9\n9106router=yes\n");
    StartProgram();
    ASSERT_TRUE(Default<frmMain>::Exists());
    EXPECT_FALSE(Default<frmMain>::Peek()->m_bIs9106);
    EXPECT_EQ(Default<frmMain>::Peek()->m_sPassword, "") << "a missing key leaves the box empty";
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
}

TEST_F(Startup, OnlyTheExactStatsSwitchCounts) {
    for (const char* line : {"/stats", "/STATS x", " /STATS"}) {
        test::ResetProgram();
        S().appPath = dir.path();
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
    EXPECT_EQ(Default<frmMain>::Peek()->m_sRouterIP, "127.0.0.7");
    EXPECT_FALSE(Default<frmLogIn>::Exists());
}

TEST_F(Startup, StartMonitorChecksNothingAndSavesNothing) {
    StartProgram();
    const std::string before = ReadFile(statsFile());
    frmLogIn& d = Default<frmLogIn>::Get();
    d.txtIP.setText("");
    d.selSpeed.setText("");
    d.cmdGo.click();
    ASSERT_TRUE(Default<frmMain>::Exists());
    EXPECT_EQ(Default<frmMain>::Peek()->m_sRouterIP, "");
    EXPECT_EQ(ReadFile(statsFile()), before);
    EXPECT_FALSE(FileExists(bootFile())) << "the settings file is never written";
}

TEST_F(Startup, ClosingTheDialogEndsTheProgram) {
    StartProgram();
    Default<frmLogIn>::Get().window().userCloseRequested();
    EXPECT_FALSE(Default<frmLogIn>::Exists());
    EXPECT_TRUE(S().quitRequested);
}

}  // namespace
}  // namespace vx
