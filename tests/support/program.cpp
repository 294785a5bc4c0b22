#include "tests/support/program.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

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
    // A fresh name that nobody else holds: create_directory fails on one that exists.
    static std::mt19937_64 rng{std::random_device{}()};
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, "vxstat-test-%012llx", static_cast<unsigned long long>(rng() & 0xFFFFFFFFFFFFull));
        std::error_code ec;
        if (std::filesystem::create_directory(base / name, ec)) {
            path_ = (base / name).string();
            return;
        }
    }
    throw std::runtime_error("no temporary folder could be made");
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
