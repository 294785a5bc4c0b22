#include "tests/support/program.h"

#include <cstdlib>

#include "dialogs/StartUp.h"
#include "dialogs/frmLogIn.h"
#include "historyview/frmHistory.h"
#include "monitor/frmMain.h"
#include "runtime/errors.h"
#include "stats/frmLogStats.h"
#include "traffic/modFunctions.h"
#include "tray/LevelPictures.h"

#include <stdexcept>

namespace vx::test {

void ResetProgram() {
    // Whatever an event left for later goes first, while the backend it
    // refers to still stands.
    fake::ProcessEvents();
    Default<frmHistory>::Discard();
    Default<frmMain>::Discard();
    Default<frmLogIn>::Discard();
    Default<frmLogStats>::Discard();
    fake::ProcessEvents();
    fake::Reset();
    Form::ResetLoadedCount();
}

const std::string kWrongDetails =
    "Incorrect router details or error fetching information\r\n"
    "Please check your details and try again, if problem\r\n"
    "persists please e-mail a bug report";
const std::string kBusy =
    "Your router is currently busy with another session\r\n"
    "Please log out on any other open admin session, if problem\r\n"
    "persists please e-mail a bug report";

std::string NewFileText(const std::string& text) {
#ifdef _WIN32
    std::string crlf;
    for (char c : text) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    return crlf;
#else
    return text;
#endif
}

void ProgramTest::SetUp() {
    ResetProgram();
    fake::S().appPath = dir.path();
#ifndef _WIN32
    // The user's own folders are the test's too: nothing reaches the real ones.
    ::setenv("XDG_CONFIG_HOME", dir.file("xdg-config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", dir.file("xdg-data").c_str(), 1);
#endif
}

void ProgramTest::TearDown() { ResetProgram(); }

void ProgramTest::Restart() {
    ResetProgram();
    fake::S().appPath = dir.path();
}

void ProgramTest::WriteBootIni(const std::string& ip, const std::string& speed, bool is9106,
                               const std::string& password) {
    WriteFile(bootFile(), "[Settings]\nEnabled=True\nIP=" + ip + "\nPassword=" + password + "\nSpeed=" + speed +
                              "\n9106router=" + (is9106 ? "Yes" : "No") + "\n");
}

void ProgramTest::WriteTotals(const std::string& incoming, const std::string& outgoing) {
    WriteFile(statsFile(), "[TotalStats]\nEnabled=True\nDate=1/2/2026 3:04:05 PM\nIncoming=" + incoming +
                               "\nOutGoing=" + outgoing + "\n");
}

void MonitorTest::SetUp() {
    ProgramTest::SetUp();
    S().urlHandler = [this](const std::string&) {
        ++fetches;
        if (unreachable) throw RuntimeError(kErrInternet, "The URL fetch failed");
        if (answer) return *answer;
        return platform::UrlResponse{200, StatsPage(rx, tx)};
    };
}

frmMain& MonitorTest::StartWeb(const std::string& speed, const std::string& ip, const std::string& password) {
    WriteBootIni(ip, speed, false, password);
    StartProgram();
    fake::ProcessEvents();
    if (!Default<frmMain>::Exists()) throw std::logic_error("the monitor did not start");
    return monitor();
}

frmMain& MonitorTest::StartConsole(const std::string& speed, const std::string& ip, const std::string& password) {
    WriteBootIni(ip, speed, true, password);
    StartProgram();
    fake::ProcessEvents();
    if (!Default<frmMain>::Exists() || S().lastTcpClient == nullptr)
        throw std::logic_error("the monitor did not start its console");
    return monitor();
}

void MonitorTest::Move(double in, double out) {
    rx += in;
    tx += out;
    Tick();
}

void MonitorTest::Say(const std::string& received) {
    peer().incoming = received;
    Tick();
}

void MonitorTest::LogIn() {
    Say("\xff\xfb\x01\r\nLogin: ");
    Say("admin\r\nPassword: ");
    Say("\r\nBusyBox built-in shell (ash)\r\n> ");
    ASSERT_EQ(Caption(), "Vexlo Router Stats") << "logged in";
}

int MonitorTest::Level() {
    for (int i = 0; i < 8; ++i)
        if (S().tray.picture == LevelPicture(i)) return i;
    return -1;
}

std::pair<std::string, std::string> MonitorTest::SavedTotals() {
    if (!fake::ChooseSystemCommand(monitor().window(), "Statistics")) return {"<no command>", ""};
    return {ReadIniValue("TotalStats", "Incoming", statsFile()), ReadIniValue("TotalStats", "OutGoing", statsFile())};
}

}  // namespace vx::test
