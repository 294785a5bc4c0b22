// A fresh program for each test over the fake backend: a private program
// folder, no forms, module variables at their start values.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/fake/fake.h"

namespace vx::test {

// Puts every form, module variable and the fake backend back to the start.
void ResetProgram();

// A temporary folder, removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& contents);
bool FileExists(const std::string& path);
// Text with "\n" line ends as a newly written profile file holds it: with
// CR LF on Windows.
std::string NewFileText(const std::string& text);

// Each test starts a new program whose folder is a new temporary folder.
class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    fake::State& S() { return fake::S(); }
    std::string statsFile() const { return dir.file("userstats.txt"); }
    std::string bootFile() const { return dir.file("boot.ini"); }
    // A boot.ini that starts monitoring at once.
    void WriteBootIni(const std::string& ip, const std::string& speed = "2meg", bool is9106 = false,
                      const std::string& password = "secret");

    TempDir dir;
};

}  // namespace vx::test
