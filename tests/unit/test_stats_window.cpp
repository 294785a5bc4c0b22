// "Logged Statistics": the stored totals, and deleting them.
#include <gtest/gtest.h>

#include "dialogs/StartUp.h"
#include "monitor/frmMain.h"
#include "stats/frmLogStats.h"
#include "tests/support/program.h"

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
    WriteFile(statsFile(),
              "[TotalStats]\nEnabled=True\nDate=1/2/2026 3:04:05 PM\nIncoming= 1234567890\nOutGoing= 1572864\n");
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
    WriteTotals("5000", "6000");
    WriteBootIni("127.0.0.6", "2meg", true);
    StartProgram();
    fake::ProcessEvents();
    ASSERT_TRUE(Default<frmMain>::Exists());
    frmLogStats& w = Open();
    bool fileThereWhileBoxOpen = false;
    S().onMessageBox = [&](const fake::MessageBoxCall&) { fileThereWhileBoxOpen = FileExists(statsFile()); };
    EXPECT_THROW(w.cmdDeleteFile.click(), fake::ProgramEnded);
    ASSERT_EQ(S().messageBoxes.size(), 1u);
    EXPECT_EQ(S().messageBoxes[0].prompt, "I will now close and delete the file");
    EXPECT_EQ(S().messageBoxes[0].title, "Info");
    EXPECT_EQ(S().messageBoxes[0].style, 16);
    EXPECT_TRUE(fileThereWhileBoxOpen);
    EXPECT_FALSE(FileExists(statsFile())) << "deleted, and the totals were not written back";
    EXPECT_TRUE(S().tray.shown) << "the monitor's unload did not run";
    EXPECT_EQ(S().lastTcpClient->state, platform::SocketState::Connected);
}

TEST_F(StatsWindow, DeleteOfAFileAlreadyGoneStillEndsQuietly) {
    frmLogStats& w = Open();
    EXPECT_THROW(w.cmdDeleteFile.click(), fake::ProgramEnded);
    EXPECT_EQ(S().messageBoxes.size(), 1u) << "only the warning, no error box";
}

}  // namespace
}  // namespace vx
