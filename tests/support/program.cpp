#include "tests/support/program.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "dialogs/frmLogIn.h"
#include "dialogs/frmLogStats.h"
#include "monitor/frmMain.h"
#include "retrieval/TelnetStats.h"
#include "retrieval/modFunctions.h"
#include "winutil/modControlBox.h"

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

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vxstat-test-XXXXXX").string();
    char* made = ::mkdtemp(pattern.data());
    if (made == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = made;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const std::string& path, const std::string& contents) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
}

bool FileExists(const std::string& path) { return std::filesystem::exists(path); }

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
