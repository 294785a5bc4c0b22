// "Logged Statistics", and the monitor's extra system-menu commands.
#include <gtest/gtest.h>

#include "dialogs/frmLogIn.h"
#include "stats/frmLogStats.h"
#include "monitor/frmMain.h"
#include "platform/user32.h"
#include "traffic/modFunctions.h"
#include "tests/support/program.h"
#include "monitor/modControlBox.h"

namespace vx {
namespace {

using test::FileExists;
using test::ReadFile;
using test::WriteFile;

class StatsWindow : public test::ProgramTest {
protected:
    frmLogStats& Open() {
        frmLogStats& w = Default<frmLogStats>::Get();
        w.Show();
        return w;
    }
};

TEST_F(StatsWindow, ShowsTheStoredValuesInMegabytes) {
    WriteFile(statsFile(), "[TotalStats]\nEnabled=True\nDate=1/2/2026 3:04:05 PM\nIncoming= 1234567890\nOutGoing= 1572864\n");
    frmLogStats& w = Open();
    EXPECT_EQ(w.window().caption(), "Logged Statistics");
    EXPECT_EQ(w.window().border(), platform::BorderStyle::FixedToolWindow);
    EXPECT_TRUE(w.window().centred);
    EXPECT_EQ(w.txtFileName.text(), statsFile());
    EXPECT_EQ(w.lblLoggingSince.caption(), "1/2/2026 3:04:05 PM");
    EXPECT_EQ(w.lblIncoming.caption(), "1,177.38MB");
    EXPECT_EQ(w.lblOutgoing.caption(), "1.50MB");
}

TEST_F(StatsWindow, MegabyteFigures) {
    EXPECT_EQ(MegabytesText("0"), "0.00MB");
    EXPECT_EQ(MegabytesText(" 0"), "0.00MB");
    EXPECT_EQ(MegabytesText("1048576"), "1.00MB");
    EXPECT_EQ(MegabytesText("1572864"), "1.50MB");
    EXPECT_EQ(MegabytesText("1234567890"), "1,177.38MB");
    EXPECT_EQ(MegabytesText(""), "0.00MB");
    EXPECT_EQ(MegabytesText("lots"), "0.00MB");
    EXPECT_EQ(MegabytesText("-1048576"), "-1.00MB");
}

TEST_F(StatsWindow, AMissingFileShowsZerosAndCreatesNothing) {
    frmLogStats& w = Open();
    EXPECT_EQ(w.lblLoggingSince.caption(), "");
    EXPECT_EQ(w.lblIncoming.caption(), "0.00MB");
    EXPECT_EQ(w.lblOutgoing.caption(), "0.00MB");
    EXPECT_FALSE(FileExists(statsFile()));
}

TEST_F(StatsWindow, ClosingItDeletesNothingAndIsTheLastWindow) {
    WriteFile(statsFile(), "[TotalStats]\nIncoming= 1\n");
    Open().window().userCloseRequested();
    EXPECT_FALSE(Default<frmLogStats>::Exists());
    EXPECT_TRUE(FileExists(statsFile()));
    EXPECT_TRUE(S().quitRequested);
}

TEST_F(StatsWindow, DeleteWarnsDeletesAndEndsWithoutAnyUnloadHandler) {
    WriteBootIni("127.0.0.6");
    StartProgram();
    fake::ProcessEvents();
    ASSERT_TRUE(Default<frmMain>::Exists());
    dblTotalIncoming = 5000;
    frmLogStats& w = Open();
    std::size_t shellCallsBefore = S().shellCalls.size();
    bool fileThereWhileBoxOpen = false;
    S().onMessageBox = [&](const fake::MessageBoxCall&) { fileThereWhileBoxOpen = FileExists(statsFile()); };
    EXPECT_THROW(w.cmdDeleteFile.click(), fake::ProgramEnded);
    ASSERT_EQ(S().messageBoxes.size(), 1u);
    EXPECT_EQ(S().messageBoxes[0].prompt, "I will now close and delete the file");
    EXPECT_EQ(S().messageBoxes[0].title, "Info");
    EXPECT_EQ(S().messageBoxes[0].style, 16);
    EXPECT_TRUE(fileThereWhileBoxOpen);
    EXPECT_FALSE(FileExists(statsFile())) << "deleted, and the totals were not written back";
    EXPECT_EQ(S().shellCalls.size(), shellCallsBefore) << "the monitor's unload did not run";
}

TEST_F(StatsWindow, DeleteOfAFileAlreadyGoneStillEndsQuietly) {
    frmLogStats& w = Open();
    EXPECT_THROW(w.cmdDeleteFile.click(), fake::ProgramEnded);
    EXPECT_EQ(S().messageBoxes.size(), 1u) << "only the warning, no error box";
}

class SystemMenu : public test::ProgramTest {
protected:
    frmMain& Start() {
        WriteBootIni("127.0.0.8");
        StartProgram();
        fake::ProcessEvents();
        return Default<frmMain>::Get();
    }
    platform::LRESULT Command(frmMain& m, platform::WPARAM id) {
        return platform::SendMessageA(m.hWnd(), platform::WM_SYSCOMMAND, id, 0);
    }
};

TEST_F(SystemMenu, AlwaysOnTopTogglesTheSameStateAsTheSpaceBar) {
    frmMain& m = Start();
    EXPECT_EQ(Command(m, 1010), 0);
    EXPECT_TRUE(m.m_bOnTop);
    int space = 32;
    m.Form_KeyPress(space);
    EXPECT_FALSE(m.m_bOnTop);
    Command(m, 1010);
    Command(m, 1010);
    EXPECT_FALSE(m.m_bOnTop);
    ASSERT_EQ(S().setWindowPosCalls.size(), 4u);
    EXPECT_EQ(S().setWindowPosCalls[0].insertAfter, platform::HWND_TOPMOST);
    EXPECT_EQ(S().setWindowPosCalls[3].insertAfter, platform::HWND_NOTOPMOST);
}

TEST_F(SystemMenu, StatisticsSavesTheCurrentTotalsThenShowsOneWindow) {
    frmMain& m = Start();
    dblTotalIncoming = 1048576;
    dblTotalOutgoing = 3145728;
    Command(m, 1011);
    ASSERT_TRUE(Default<frmLogStats>::Exists());
    frmLogStats& w = *Default<frmLogStats>::Peek();
    EXPECT_TRUE(w.window().visible());
    EXPECT_EQ(w.lblIncoming.caption(), "1.00MB");
    EXPECT_EQ(w.lblOutgoing.caption(), "3.00MB");

    dblTotalIncoming = 2097152;
    Command(m, 1011);
    EXPECT_EQ(ReadIniValue("TotalStats", "Incoming", statsFile()), "2097152") << "written again";
    EXPECT_EQ(Default<frmLogStats>::Peek(), &w) << "still the one window";
    EXPECT_EQ(w.lblIncoming.caption(), "1.00MB") << "an open window is not read again";
    int windows = 0;
    for (auto* win : platform::Window::all()) windows += win->name() == "frmLogStats";
    EXPECT_EQ(windows, 1);

    w.window().userCloseRequested();
    EXPECT_TRUE(Default<frmMain>::Exists()) << "the monitor keeps running";
    EXPECT_FALSE(S().quitRequested);
}

TEST_F(SystemMenu, OtherCommandsAndNearMissesGoToThePreviousProcedure) {
    frmMain& m = Start();
    Command(m, 1010 | 0x10000);
    Command(m, 1011 + 0x100000);
    EXPECT_FALSE(m.m_bOnTop);
    EXPECT_FALSE(Default<frmLogStats>::Exists());
    EXPECT_TRUE(S().setWindowPosCalls.empty());

    Command(m, platform::SC_MINIMIZE);  // the standard command still works
    EXPECT_FALSE(m.window().visible()) << "minimised, so hidden to the tray";
    m.Show();
    Command(m, platform::SC_CLOSE);
    EXPECT_FALSE(Default<frmMain>::Exists());
    EXPECT_EQ(ReadIniValue("TotalStats", "OutGoing", statsFile()), "0");
    fake::ProcessEvents();
}

}  // namespace
}  // namespace vx
