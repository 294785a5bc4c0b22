// A fresh program for each test over the fake backend: a private program
// folder, no forms, module variables at their start values.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/fake/fake.h"
#include "platform/forms.h"
#include "tests/support/files.h"

namespace vx::test {

// Puts every form, module variable and the fake backend back to the start.
void ResetProgram();

// Text with "\n" line ends as a newly written profile file holds it: with
// CR LF on Windows.
std::string NewFileText(const std::string& text);

// The "Problem" boxes' texts, as the user reads them.
extern const std::string kWrongDetails;
extern const std::string kBusy;

// Records, in order, the names of the controls whose text changed.
class TextChangeLog : public platform::ControlPeer {
public:
    TextChangeLog(std::vector<std::string>& log, std::string name) : log_(log), name_(std::move(name)) {}
    void changed(platform::Prop what) override {
        if (what == platform::Prop::Text) log_.push_back(name_);
    }

private:
    std::vector<std::string>& log_;
    std::string name_;
};

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
