// A fresh program for each Qt test: offscreen widgets, a private program
// folder, no forms loaded.
#pragma once

#include <gtest/gtest.h>

#include <QString>

#include <functional>
#include <string>

#include "dialogs/StartUp.h"
#include "platform/types.h"
#include "tests/support/files.h"

class QMenu;
class QWidget;

namespace vx {
class frmMain;
}

namespace vx::qttest {

using test::ReadFile;
using test::WriteFile;

// Pumps the event loop for a while, returning early once `done` holds.
bool WaitFor(const std::function<bool()>& done, int timeoutMs = 2000);

// Arranges for the next popup menu to be answered: `answer` gets the menu
// while it is open and returns the caption of the item to choose ("" to
// dismiss it). Returns a flag that tells whether a menu was seen.
std::shared_ptr<bool> AnswerNextMenu(std::function<QString(QMenu&)> answer);
// The same for the next modal window (a message box): `answer` sees it, then
// it is accepted.
std::shared_ptr<bool> AnswerNextModal(std::function<void(QWidget&)> answer);

// The captions of a menu's items, separators as "-", hidden ones left out.
QStringList Captions(const QMenu& menu);

class QtProgramTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string file(const std::string& name) const { return dir_ + "/" + name; }
    // Stored totals for the next start, as an earlier run left them.
    void WriteTotals(const std::string& incoming, const std::string& outgoing) const;
    // Starts the program without a boot.ini, types the router address into
    // the dialog and releases Enter in the speed box, as a user would.
    frmMain& StartMonitorByEnter(const std::string& ip);
    QWidget* widgetOf(platform::WindowHandle hWnd) const;

private:
    std::string dir_;
};

}  // namespace vx::qttest
