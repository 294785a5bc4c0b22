// The once-a-second cycle (bars, figures, tray level) and the tray handlers.
#include <gtest/gtest.h>

#include "dialogs/frmLogIn.h"
#include "monitor/frmMain.h"
#include "platform/user32.h"
#include "traffic/modFunctions.h"
#include "tests/support/program.h"
#include "tray/LevelPictures.h"

namespace vx {
namespace {

class Polling : public test::ProgramTest {
protected:
    frmMain& Start(const std::string& speed = "2meg") {
        StartProgram();
        frmLogIn& d = Default<frmLogIn>::Get();
        d.txtIP.setText("127.0.0.4");
        d.selSpeed.setText(speed);
        d.cmdGo.click();
        fake::ProcessEvents();
        return Default<frmMain>::Get();
    }
    // One tick whose reading left these rates in the hand-over labels. There
    // is no router here, so the reading itself fails and is skipped.
    void Tick(frmMain& m, const std::string& in, const std::string& out = "0") {
        m.lblIncoming.setCaption(in);
        m.lblOutgoing.setCaption(out);
        m.Timer.tick();
    }
    int Level(frmMain& m) {
        for (int i = 0; i < 8; ++i)
            if (m.m_frmSysTray->IconHandle() == LevelPicture(i)) return i;
        return -1;
    }
};

TEST_F(Polling, BarsFiguresAndLevelFollowTheIncomingRate) {
    frmMain& m = Start();
    struct Case {
        const char* in;
        float bar;
        const char* figure;
        int level;
    } cases[] = {
        {"0", 0, "0k/s", 0},
        {"32767", 32767, "31k/s", 0},
        {"32768", 32768, "32k/s", 1},  // m/8 gives level 1, one byte less level 0
        {"1023", 1023, "0k/s", 0},
        {"1024", 1024, "1k/s", 0},
        {"2047", 2047, "1k/s", 0},
        {"262143", 262143, "255k/s", 7},
        {"262144", 262144, "256k/s", 7},  // a full bar is level 7, not 8
        {"307200", 262144, "300k/s", 7},  // the figure still shows the true rate
        {"5123", 5123, "5k/s", 0},
    };
    for (const Case& c : cases) {
        Tick(m, c.in);
        EXPECT_EQ(m.barIncoming.value(), c.bar) << c.in;
        EXPECT_EQ(m.lblBytesIn.caption(), c.figure) << c.in;
        EXPECT_EQ(Level(m), c.level) << c.in;
    }
}

TEST_F(Polling, TheSmallScaleStepsEvery8192) {
    frmMain& m = Start("512");
    Tick(m, "8191");
    EXPECT_EQ(Level(m), 0);
    Tick(m, "8192");
    EXPECT_EQ(Level(m), 1);
    Tick(m, "65536");
    EXPECT_EQ(m.barIncoming.value(), 65536);
    EXPECT_EQ(Level(m), 7);
    Tick(m, "100000");
    EXPECT_EQ(m.barIncoming.value(), 65536);
    EXPECT_EQ(m.lblBytesIn.caption(), "97k/s");
}

TEST_F(Polling, TheOutgoingRateFillsItsOwnBarButNeverTheLevel) {
    frmMain& m = Start();
    Tick(m, "0", "40000");
    EXPECT_EQ(m.barOutgoing.value(), 32768);
    EXPECT_EQ(m.lblBytesOut.caption(), "39k/s");
    EXPECT_EQ(Level(m), 0);
    Tick(m, "0", "100");
    EXPECT_EQ(m.barOutgoing.value(), 100);
    EXPECT_EQ(m.lblBytesOut.caption(), "0k/s");
}

TEST_F(Polling, ANegativeRateLeavesTheBarAndShowsTheFigure) {
    frmMain& m = Start();
    Tick(m, "100000", "2000");
    for (const char* rate : {"-1", "-1024"}) {
        Tick(m, rate, rate);
        EXPECT_EQ(m.barIncoming.value(), 100000) << rate;
        EXPECT_EQ(m.barOutgoing.value(), 2000) << rate;
        EXPECT_EQ(m.lblBytesIn.caption(), "-1k/s") << rate;
        EXPECT_EQ(m.lblBytesOut.caption(), "-1k/s") << rate;
        EXPECT_EQ(Level(m), 3);
    }
    Tick(m, "-1025");
    EXPECT_EQ(m.lblBytesIn.caption(), "-2k/s");
}

TEST_F(Polling, NoReadingYetOrNonNumericKeepsBarsAndFigures) {
    frmMain& m = Start();
    m.Timer.tick();  // nothing read yet: labels empty
    EXPECT_EQ(m.barIncoming.value(), 0) << "no full bar for \"no reading\"";
    EXPECT_EQ(m.barOutgoing.value(), 0);
    EXPECT_EQ(m.lblBytesIn.caption(), "");
    EXPECT_EQ(Level(m), 0);

    Tick(m, "50000", "3000");
    Tick(m, "n/a", "");
    EXPECT_EQ(m.barIncoming.value(), 50000);
    EXPECT_EQ(m.barOutgoing.value(), 3000);
    EXPECT_EQ(m.lblBytesIn.caption(), "48k/s");
    EXPECT_EQ(m.lblBytesOut.caption(), "2k/s");
    EXPECT_EQ(Level(m), 1);
}

TEST_F(Polling, TheCycleOnlyChangesTheIconAndNeverTheTooltip) {
    frmMain& m = Start();
    const std::size_t before = S().shellCalls.size();
    Tick(m, "0");
    Tick(m, "1");
    EXPECT_EQ(S().shellCalls.size(), before) << "the same level sends nothing";
    Tick(m, "262144");
    ASSERT_EQ(S().shellCalls.size(), before + 1);
    EXPECT_EQ(S().shellCalls.back().record.uFlags, 2u);
    EXPECT_STREQ(S().shellCalls.back().record.szTip, "vxStats");
}

TEST_F(Polling, TheReadingUsesTheChosenModeWithTheDetails) {
    frmMain& m = Start();
    m.Timer.tick();
    ASSERT_EQ(S().urlsFetched.size(), 1u);
    EXPECT_EQ(S().urlsFetched[0], "http://admin:@127.0.0.4/statswan.cmd");
}

TEST_F(Polling, ATickWhileAnotherIsStillRunningIsDropped) {
    frmMain& m = Start();
    int reentered = 0;
    // A message box keeps its tick running while the timer goes on ticking.
    S().urlHandler = [&](const std::string&) -> platform::UrlResponse {
        ++reentered;
        if (reentered == 1) m.Timer.tick();
        return {404, "Error 404"};
    };
    m.Timer.tick();
    EXPECT_EQ(reentered, 1) << "the inner tick fetched nothing";
    m.Timer.tick();
    EXPECT_EQ(reentered, 2) << "the next tick after it fetches again";
}

class TrayHandlers : public Polling {};

TEST_F(TrayHandlers, OpenShowsAndRaisesCloseUnloadsOthersAreReported) {
    frmMain& m = Start();
    m.Hide();
    m.m_frmSysTray_MenuClick(0, "open");
    EXPECT_TRUE(m.window().visible());
    EXPECT_EQ(S().raised.back(), m.hWnd());

    for (const char* key : {"Open", "", "CLOSE"}) {
        m.m_frmSysTray_MenuClick(1, key);
        ASSERT_FALSE(S().messageBoxes.empty());
        EXPECT_EQ(S().messageBoxes.back().prompt, std::string("Clicked item with key ") + key);
        EXPECT_EQ(S().messageBoxes.back().style, 64);
        EXPECT_EQ(S().messageBoxes.back().title, platform::AppTitle());
    }
    EXPECT_EQ(S().messageBoxes.size(), 3u);
    EXPECT_TRUE(Default<frmMain>::Exists());

    dblTotalIncoming = 77;
    m.m_frmSysTray_MenuClick(2, "close");
    EXPECT_FALSE(Default<frmMain>::Exists());
    EXPECT_EQ(S().shellCalls.back().message, platform::NIM_DELETE);
    EXPECT_EQ(ReadIniValue("TotalStats", "Incoming", statsFile()), "77");
    EXPECT_TRUE(S().quitRequested);
    fake::ProcessEvents();
}

TEST_F(TrayHandlers, DoubleClickRestoresRightPressOpensTheMenu) {
    frmMain& m = Start();
    const platform::HWND tray = m.m_frmSysTray->hWnd();
    const platform::WPARAM id = m.m_frmSysTray->nid().uID;
    m.window().userStateChanged(platform::WindowState::Minimized);
    ASSERT_FALSE(m.window().visible());

    platform::SendMessageA(tray, 512, id, 513);  // left press
    platform::SendMessageA(tray, 512, id, 514);  // left release: no restore
    EXPECT_FALSE(m.window().visible());
    EXPECT_TRUE(S().popups.empty());

    platform::SendMessageA(tray, 512, id, 518);  // right double-click
    EXPECT_TRUE(m.window().visible());
    m.Hide();
    platform::SendMessageA(tray, 512, id, 515);
    EXPECT_TRUE(m.window().visible());

    S().popupAnswers.push_back(0);
    platform::SendMessageA(tray, 512, id, 516);  // right press
    platform::SendMessageA(tray, 512, id, 517);  // right release: no second menu
    ASSERT_EQ(S().popups.size(), 1u);
    EXPECT_EQ(S().popups[0].defaultIndex, 0);
    EXPECT_EQ(S().popups[0].items[0].caption, "&Open vxStat");
    EXPECT_EQ(S().popups[0].items[2].caption, "&Close");
    EXPECT_EQ(S().foregroundCalls.back(), tray);
}

TEST_F(TrayHandlers, CloseFromTheTrayMenuEndsTheProgram) {
    frmMain& m = Start();
    S().popupAnswers.push_back(2);
    platform::SendMessageA(m.m_frmSysTray->hWnd(), 512, m.m_frmSysTray->nid().uID, 516);
    EXPECT_FALSE(Default<frmMain>::Exists());
    EXPECT_TRUE(S().quitRequested);
    fake::ProcessEvents();  // the tray and the window go only now, after their handlers returned
}

}  // namespace
}  // namespace vx
