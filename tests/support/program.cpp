#include "tests/support/program.h"

#include "dialogs/frmLogIn.h"
#include "stats/frmLogStats.h"
#include "monitor/frmMain.h"
#include "sources/ConsoleSource.h"
#include "traffic/modFunctions.h"
#include "monitor/modControlBox.h"

namespace vx::test {

void ResetProgram() {
    fake::ProcessEvents();
    Default<frmMain>::Discard();
    Default<frmLogIn>::Discard();
    Default<frmLogStats>::Discard();
    fake::ProcessEvents();
    fake::Reset();
    Form::ResetLoadedCount();
    ResetRetrievalState();
    ResetTelnetState();
    lpPrevWndProc = 0;
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
}

void ProgramTest::TearDown() { ResetProgram(); }

void ProgramTest::WriteBootIni(const std::string& ip, const std::string& speed, bool is9106,
                               const std::string& password) {
    WriteFile(bootFile(), "[Settings]\nEnabled=True\nIP=" + ip + "\nPassword=" + password + "\nSpeed=" + speed +
                              "\n9106router=" + (is9106 ? "Yes" : "No") + "\n");
}

}  // namespace vx::test
