// The monitor window's load and unload, minimising, the space bar and its
// system-menu commands.
#include <gtest/gtest.h>

#include "dialogs/StartUp.h"
#include "dialogs/frmLogIn.h"
#include "monitor/frmMain.h"
#include "stats/frmLogStats.h"
#include "tests/support/program.h"
#include "traffic/modFunctions.h"
#include "tray/LevelPictures.h"

namespace vx {
namespace {

using test::NewFileText;
using test::ReadFile;

class Monitor : public test::MonitorTest {
protected:
    // Starts the monitor from the dialog with the given speed text and 9106 box value.
    frmMain& StartFromDialog(const std::string& speed = "2meg", int check = 0, const std::string& ip = "127.0.0.3") {
        StartProgram();
        frmLogIn& d = Default<frmLogIn>::Get();
        d.txtIP.setText(ip);
        d.txtUser.setText("root");
        d.txtPassword.setText("pa:ss@word");
        d.selSpeed.setText(speed);
        d.chk9106.setValue(check);
        d.cmdGo.click();
        fake::ProcessEvents();
        return *Default<frmMain>::Peek();
    }
};

TEST_F(Monitor, LoadShowsTheWindowTheTrayIconAndTheSystemMenu) {
    frmMain& m = StartFromDialog("2meg", 0);
    EXPECT_FALSE(Default<frmLogIn>::Exists());

    EXPECT_TRUE(m.window().visible());
    EXPECT_EQ(m.window().caption(), "Vexlo Router Stats - Connecting");
    EXPECT_EQ(m.window().clientWidth(), 5340);
    EXPECT_EQ(m.window().clientHeight(), 555);
    EXPECT_EQ(m.window().border(), platform::BorderStyle::FixedSingle);
    EXPECT_FALSE(m.window().alwaysOnTop());
    EXPECT_EQ(m.window().icon(), WindowIconPicture());
    EXPECT_EQ(m.barOutgoing.max(), 32768);
    EXPECT_EQ(m.barIncoming.max(), 262144);
    EXPECT_EQ(m.barIncoming.value(), 0);
    EXPECT_EQ(m.lblMaxIncoming.caption(), "256k/s");
    EXPECT_EQ(m.Label3.caption(), "32k/s");
    EXPECT_EQ(m.lblBytesIn.caption(), "");
    EXPECT_EQ(m.lblBytesOut.caption(), "");
    EXPECT_TRUE(m.lblBytesIn.font().bold);
    EXPECT_TRUE(m.Timer.timerEnabled());
    EXPECT_EQ(m.Timer.interval(), 1000);

    // The tray icon: the tooltip, the lowest level, the menu with its default.
    EXPECT_TRUE(S().tray.shown);
    EXPECT_EQ(S().tray.created, 1);
    EXPECT_EQ(S().tray.tip, "vxStats");
    EXPECT_EQ(Level(), 0);
    ASSERT_EQ(S().tray.menu.items.size(), 4u);
    EXPECT_EQ(S().tray.menu.items[0].caption, "&Open vxStat");
    EXPECT_EQ(S().tray.menu.items[1].caption, "&History");
    EXPECT_EQ(S().tray.menu.items[2].caption, "-");
    EXPECT_EQ(S().tray.menu.items[3].caption, "&Close");
    EXPECT_EQ(S().tray.menu.defaultIndex, 0);

    // The system menu ends with a separator and the two commands, then the
    // program's own additions, the check of "Start at login" last.
    const auto& sys = m.window().systemCommands();
    ASSERT_GE(sys.size(), 4u);
    EXPECT_EQ(sys[0].text, "");
    EXPECT_EQ(sys[1].text, "Always on top");
    EXPECT_EQ(sys[2].text, "Statistics");
    EXPECT_EQ(sys.back().text, "Start at login");
    EXPECT_EQ(sys.back().checked, std::optional<bool>(false));
}

TEST_F(Monitor, TheConsoleConnectsToPort23OfTheAddress) {
    StartFromDialog("2meg", 1);
    ASSERT_NE(S().lastTcpClient, nullptr);
    EXPECT_EQ(S().lastTcpClient->RemoteHost, "127.0.0.3");
    EXPECT_EQ(S().lastTcpClient->RemotePort, 23);
    EXPECT_EQ(S().lastTcpClient->connectCalls, 1);
    Tick();
    Tick();
    EXPECT_EQ(S().lastTcpClient->sent, (std::vector<std::string>{"root\r\n", "pa:ss@word\r\n"}));
    EXPECT_TRUE(S().urlsFetched.empty());
}

TEST_F(Monitor, WebModeConnectsToPort23OnceAtLoadAndLeavesItAlone) {
    int connections = 0;
    S().tcpFactory = [&]() -> std::unique_ptr<platform::TcpClient> {
        ++connections;
        return std::make_unique<fake::FakeTcpClient>();
    };
    StartFromDialog("2meg", 0);
    EXPECT_EQ(connections, 1);
    Tick();
    Tick();
    EXPECT_EQ(connections, 1);
    EXPECT_EQ(S().urlsFetched, (std::vector<std::string>(2, "http://root:pa:ss@word@127.0.0.3/statswan.cmd")));
}

TEST_F(Monitor, AGreyedCheckBoxIsNotTicked) {
    StartFromDialog("2meg", 2);
    ASSERT_NE(S().lastTcpClient, nullptr);
    EXPECT_EQ(S().lastTcpClient->RemotePort, 23);
    Tick();
    Tick();
    EXPECT_TRUE(S().lastTcpClient->sent.empty()) << "no login: web mode";
    EXPECT_EQ(S().urlsFetched.size(), 2u);
}

TEST_F(Monitor, OnlyTheExactSpeed512SelectsTheSmallScale) {
    frmMain& small = StartFromDialog("512");
    EXPECT_EQ(small.barIncoming.max(), 65536);
    EXPECT_EQ(small.lblMaxIncoming.caption(), "64k/s");
    EXPECT_EQ(small.barOutgoing.max(), 32768);
    for (const char* speed : {"512 ", "2meg", "", "5120"}) {
        Restart();
        frmMain& m = StartFromDialog(speed);
        EXPECT_EQ(m.barIncoming.max(), 262144) << '"' << speed << '"';
        EXPECT_EQ(m.lblMaxIncoming.caption(), "256k/s");
    }
}

TEST_F(Monitor, TheCloseBoxSavesBothTotalsAndTakesTheIconAway) {
    WriteTotals("1234567", "2E+15");
    frmMain& m = StartWeb();
    m.window().userCloseRequested();
    EXPECT_FALSE(Default<frmMain>::Exists());
    EXPECT_FALSE(S().tray.shown);
    EXPECT_EQ(ReadIniValue("TotalStats", "Incoming", statsFile()), "1234567") << ReadFile(statsFile());
    EXPECT_EQ(ReadIniValue("TotalStats", "OutGoing", statsFile()), "2E+15") << ReadFile(statsFile());
    EXPECT_FALSE(m.Timer.timerEnabled()) << "no tick after unload";
    const int fetched = fetches;
    m.Timer.tick();
    EXPECT_EQ(fetches, fetched);
    EXPECT_TRUE(S().quitRequested) << "the last window is gone";
    fake::ProcessEvents();
}

TEST_F(Monitor, ClosingTheConsoleMonitorHangsUp) {
    frmMain& m = StartConsole();
    m.window().userCloseRequested();
    EXPECT_EQ(peer().state, platform::SocketState::Closed);
    fake::ProcessEvents();
}

TEST_F(Monitor, MinimisingHidesToTheTrayAndComesBackNormal) {
    frmMain& m = StartWeb();
    m.window().userStateChanged(platform::WindowState::Minimized);
    EXPECT_FALSE(m.window().visible());
    EXPECT_EQ(m.window().windowState(), platform::WindowState::Normal);
    EXPECT_TRUE(Default<frmMain>::Exists());
    EXPECT_TRUE(S().tray.shown);
    fake::TrayDoubleClick(platform::MouseButton::Left);
    EXPECT_TRUE(m.window().visible());
}

TEST_F(Monitor, SpaceTogglesAlwaysOnTopOtherKeysDoNothing) {
    frmMain& m = StartWeb();
    S().peerNotes.clear();
    m.window().userKeyPress(97);
    m.window().userKeyPress(0);
    EXPECT_FALSE(m.window().alwaysOnTop());
    m.window().userKeyPress(32);
    EXPECT_TRUE(m.window().alwaysOnTop());
    m.window().userKeyPress(32);
    EXPECT_FALSE(m.window().alwaysOnTop());
    const fake::State::PeerNote onTop{m.hWnd(), platform::Prop::OnTop};
    EXPECT_EQ(S().peerNotes, (std::vector<fake::State::PeerNote>{onTop, onTop}));
}

class SystemMenu : public test::MonitorTest {
protected:
    bool Choose(const std::string& text) { return fake::ChooseSystemCommand(monitor().window(), text); }
};

TEST_F(SystemMenu, AlwaysOnTopTogglesTheSameStateAsTheSpaceBar) {
    frmMain& m = StartWeb();
    ASSERT_TRUE(Choose("Always on top"));
    EXPECT_TRUE(m.window().alwaysOnTop());
    m.window().userKeyPress(32);
    EXPECT_FALSE(m.window().alwaysOnTop());
    Choose("Always on top");
    EXPECT_TRUE(m.window().alwaysOnTop());
    m.window().userKeyPress(32);
    Choose("Always on top");
    Choose("Always on top");
    EXPECT_FALSE(m.window().alwaysOnTop());
}

TEST_F(SystemMenu, StatisticsSavesTheCurrentTotalsThenShowsOneWindow) {
    frmMain& m = StartConsole();
    ASSERT_NO_FATAL_FAILURE(LogIn());
    Report(5000000, 7000000);
    Report(5000000 + 1048576, 7000000 + 3145728);
    ASSERT_TRUE(Choose("Statistics"));
    ASSERT_TRUE(Default<frmLogStats>::Exists());
    frmLogStats& w = *Default<frmLogStats>::Peek();
    EXPECT_TRUE(w.window().visible());
    EXPECT_EQ(w.lblIncoming.caption(), "1.00MB");
    EXPECT_EQ(w.lblOutgoing.caption(), "3.00MB");

    Report(5000000 + 2097152, 7000000 + 3145728);
    Choose("Statistics");
    EXPECT_EQ(ReadIniValue("TotalStats", "Incoming", statsFile()), "2097152") << "written again";
    EXPECT_EQ(Default<frmLogStats>::Peek(), &w) << "still the one window";
    EXPECT_EQ(w.lblIncoming.caption(), "1.00MB") << "an open window is not read again";
    int windows = 0;
    for (auto* win : platform::Window::all()) windows += win->name() == "frmLogStats";
    EXPECT_EQ(windows, 1);

    w.window().userCloseRequested();
    EXPECT_TRUE(Default<frmMain>::Exists()) << "the monitor keeps running";
    EXPECT_TRUE(m.Timer.timerEnabled());
    EXPECT_FALSE(S().quitRequested);
}

TEST_F(SystemMenu, TheSeparatorAndUnknownCommandsDoNothing) {
    frmMain& m = StartWeb();
    m.window().userSystemCommand(0);  // the separator
    m.window().userSystemCommand(m.window().systemCommands().size());
    EXPECT_FALSE(m.window().alwaysOnTop());
    EXPECT_FALSE(Default<frmLogStats>::Exists());
    EXPECT_FALSE(Choose("Close"));

    // The standard commands still work.
    m.window().userStateChanged(platform::WindowState::Minimized);
    EXPECT_FALSE(m.window().visible()) << "minimised, so hidden to the tray";
    m.Show();
    m.window().userCloseRequested();
    EXPECT_FALSE(Default<frmMain>::Exists());
    EXPECT_EQ(ReadIniValue("TotalStats", "OutGoing", statsFile()), "0");
    fake::ProcessEvents();
}

}  // namespace
}  // namespace vx
