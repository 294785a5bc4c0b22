// The monitor window's load and unload, minimising and the space bar.
#include <gtest/gtest.h>

#include "dialogs/frmLogIn.h"
#include "monitor/frmMain.h"
#include "platform/portable/wndproc.h"
#include "platform/user32.h"
#include "traffic/modFunctions.h"
#include "tests/support/program.h"
#include "tray/LevelPictures.h"
#include "monitor/modControlBox.h"

namespace vx {
namespace {

using test::NewFileText;
using test::ReadFile;

class Monitor : public test::ProgramTest {
protected:
    // Starts the monitor from the dialog with the given speed text and 9106 box value.
    frmMain& Start(const std::string& speed = "2meg", int check = 0, const std::string& ip = "127.0.0.3") {
        StartProgram();
        frmLogIn& d = Default<frmLogIn>::Get();
        d.txtIP.setText(ip);
        d.txtUser.setText("root");
        d.txtPassword.setText("pa:ss@word");
        d.selSpeed.setText(speed);
        d.chk9106.setValue(check);
        d.cmdGo.click();
        fake::ProcessEvents();
        return Default<frmMain>::Get();
    }
};

TEST_F(Monitor, LoadTakesTheDetailsOverAndOpensTheWindowTrayAndConnection) {
    frmMain& m = Start("2meg", 1);
    EXPECT_EQ(m.m_sUser, "root");
    EXPECT_EQ(m.m_sPassword, "pa:ss@word");
    EXPECT_EQ(m.m_sRouterIP, "127.0.0.3");
    EXPECT_TRUE(m.m_bIs9106);
    EXPECT_FALSE(m.m_bOnTop);
    EXPECT_FALSE(Default<frmLogIn>::Exists());

    EXPECT_TRUE(m.window().visible());
    EXPECT_EQ(m.window().caption(), "Vexlo Router Stats - Connecting");
    EXPECT_EQ(m.window().clientWidth(), 5340);
    EXPECT_EQ(m.window().clientHeight(), 555);
    EXPECT_EQ(m.window().border(), platform::BorderStyle::FixedSingle);
    EXPECT_EQ(m.barOutgoing.max(), 32768);
    EXPECT_EQ(m.barIncoming.max(), 262144);
    EXPECT_EQ(m.lblMaxIncoming.caption(), "256k/s");
    EXPECT_EQ(m.Label3.caption(), "32k/s");
    EXPECT_FALSE(m.lblIncoming.visible());
    EXPECT_FALSE(m.lblOutgoing.visible());
    EXPECT_TRUE(m.lblBytesIn.font().bold);
    EXPECT_TRUE(m.Timer.timerEnabled());
    EXPECT_EQ(m.Timer.interval(), 1000);

    ASSERT_NE(S().lastTcpClient, nullptr);
    EXPECT_EQ(S().lastTcpClient->RemoteHost, "127.0.0.3");
    EXPECT_EQ(S().lastTcpClient->RemotePort, 23);
    EXPECT_EQ(S().lastTcpClient->connectCalls, 1);

    // The tray icon: added, then the tooltip and the lowest level picture.
    ASSERT_EQ(S().shellCalls.size(), 3u);
    EXPECT_EQ(S().shellCalls[0].message, platform::NIM_ADD);
    EXPECT_EQ(S().shellCalls[1].message, platform::NIM_MODIFY);
    EXPECT_STREQ(S().shellCalls[1].record.szTip, "vxStats");
    EXPECT_EQ(S().shellCalls[2].record.hIcon, LevelPicture(0));
    ASSERT_NE(m.m_frmSysTray, nullptr);
    const auto& menu = m.m_frmSysTray->mnuSysTray();
    ASSERT_EQ(menu.size(), 3u);
    EXPECT_EQ(menu[0].Caption, "&Open vxStat");
    EXPECT_EQ(menu[0].Tag, "open");
    EXPECT_EQ(menu[1].Caption, "-");
    EXPECT_EQ(menu[2].Tag, "close");
    EXPECT_EQ(m.m_frmSysTray->DefaultMenuIndex(), 0);

    // The system menu is extended and the window subclassed.
    const auto& sys = platform::portable::SystemMenu(m.hWnd());
    ASSERT_GE(sys.size(), 3u);
    EXPECT_EQ(sys[sys.size() - 3].flags, platform::MF_SEPARATOR);
    EXPECT_EQ(sys[sys.size() - 2].text, "Always on top");
    EXPECT_EQ(sys[sys.size() - 1].id, 1011u);
    EXPECT_NE(lpPrevWndProc, 0);
}

TEST_F(Monitor, WebModeStillConnectsToPort23) {
    frmMain& m = Start("2meg", 0);
    EXPECT_FALSE(m.m_bIs9106);
    EXPECT_EQ(S().lastTcpClient->RemotePort, 23);
    EXPECT_EQ(S().lastTcpClient->connectCalls, 1);
}

TEST_F(Monitor, OnlyTheExactSpeed512SelectsTheSmallScale) {
    EXPECT_EQ(Start("512").barIncoming.max(), 65536);
    EXPECT_EQ(Default<frmMain>::Get().lblMaxIncoming.caption(), "64k/s");
    EXPECT_EQ(Default<frmMain>::Get().barOutgoing.max(), 32768);
    for (const char* speed : {"512 ", "2meg", "", "5120"}) {
        test::ResetProgram();
        S().appPath = dir.path();
        frmMain& m = Start(speed);
        EXPECT_EQ(m.barIncoming.max(), 262144) << '"' << speed << '"';
        EXPECT_EQ(m.lblMaxIncoming.caption(), "256k/s");
    }
}

TEST_F(Monitor, AGreyedCheckBoxIsNotTicked) { EXPECT_FALSE(Start("2meg", 2).m_bIs9106); }

TEST_F(Monitor, UnloadSavesBothTotalsBeforeTheIconGoesAndRestoresTheProcedure) {
    frmMain& m = Start();
    const platform::HWND hWnd = m.hWnd();
    dblTotalIncoming = 1234567;
    dblTotalOutgoing = 2e15;
    std::string fileWhenIconWent;
    S().onShellCall = [&](const fake::ShellCall& call) {
        if (call.message == platform::NIM_DELETE) fileWhenIconWent = ReadFile(statsFile());
    };
    m.window().userCloseRequested();  // the close box
    EXPECT_FALSE(Default<frmMain>::Exists());
    EXPECT_EQ(S().shellCalls.back().message, platform::NIM_DELETE);
    EXPECT_NE(fileWhenIconWent.find(NewFileText("Incoming= 1234567\nOutGoing= 2E+15\n")), std::string::npos) << fileWhenIconWent;
    EXPECT_FALSE(m.Timer.timerEnabled()) << "no tick after unload";
    EXPECT_TRUE(S().quitRequested) << "the last window is gone";
    // The window procedure is back: a system command no longer reaches ControlBoxWndProc.
    EXPECT_EQ(platform::SetWindowLongA(hWnd, platform::GWL_WNDPROC, lpPrevWndProc), lpPrevWndProc);
    fake::ProcessEvents();
}

TEST_F(Monitor, MinimisingHidesToTheTrayAndComesBackNormal) {
    frmMain& m = Start();
    m.window().userStateChanged(platform::WindowState::Minimized);
    EXPECT_FALSE(m.window().visible());
    EXPECT_EQ(m.window().windowState(), platform::WindowState::Normal);
    EXPECT_TRUE(Default<frmMain>::Exists());
    m.Show();
    EXPECT_TRUE(m.window().visible());
}

TEST_F(Monitor, SpaceTogglesAlwaysOnTopOtherKeysDoNothing) {
    frmMain& m = Start();
    m.window().userKeyPress(97);
    EXPECT_TRUE(S().setWindowPosCalls.empty());
    m.window().userKeyPress(32);
    EXPECT_TRUE(m.m_bOnTop);
    m.window().userKeyPress(32);
    EXPECT_FALSE(m.m_bOnTop);
    ASSERT_EQ(S().setWindowPosCalls.size(), 2u);
    const auto& on = S().setWindowPosCalls[0];
    EXPECT_EQ(on.hWnd, m.hWnd());
    EXPECT_EQ(on.insertAfter, platform::HWND_TOPMOST);
    EXPECT_EQ(on.flags, 3u);
    EXPECT_EQ(on.x + on.y + on.cx + on.cy, 0);
    EXPECT_EQ(S().setWindowPosCalls[1].insertAfter, platform::HWND_NOTOPMOST);
}

}  // namespace
}  // namespace vx
