// "Vexlo Router Stats": the monitor window. Two bars with their figures and a
// tray icon whose level follows the incoming rate: a view of what the
// monitoring core measured, once a second.
#pragma once

#include <array>
#include <memory>
#include <set>
#include <string>

#include "core/Monitor.h"
#include "forms/form.h"
#include "platform/net.h"
#include "tray/frmSysTray.h"

namespace vx {

class frmMain : public Form, private SysTrayEvents {
public:
    explicit frmMain(MonitorSettings settings);
    ~frmMain() override;

    bool m_bOnTop = false;
    std::unique_ptr<frmSysTray> m_frmSysTray;

    platform::Label& Label1;
    platform::ProgressBar& barOutgoing;
    platform::Label& Label3;
    platform::Label& lblBytesOut;
    platform::Label& Label2;
    platform::ProgressBar& barIncoming;
    platform::Label& lblMaxIncoming;
    platform::Label& lblBytesIn;
    std::array<platform::Image*, 8> Icons;
    platform::Timer& Timer;
    // The router's port 23, opened at load whatever the mode; the console
    // source keeps its own session.
    std::unique_ptr<platform::TcpClient> winsock;

    void Form_KeyPress(int& KeyAscii);
    void Form_Resize();
    void Timer_Timer();

    void m_frmSysTray_MenuClick(std::int32_t lIndex, const std::string& sKey);
    void m_frmSysTray_SysTrayDoubleClick(std::int32_t eButton);
    void m_frmSysTray_SysTrayMouseDown(std::int32_t eButton);

    // The running totals, saved into the statistics file.
    void SaveTotals();
    const Monitor& core() const { return core_; }
    const Traffic& traffic() const { return core_.traffic(); }
    // The traffic history; null when its file could not be opened.
    History* history() const { return core_.history(); }
    // Writes the history's bytes not yet in its file; a failure is told once.
    void FlushHistory();
    // What the history window shows, as of now; none without a history.
    std::optional<HistorySummary> HistorySummaryNow() const { return core_.summary(); }
    // Opens "Traffic History", or brings it to the front.
    void ShowHistoryWindow();
    // Shows the window and brings it to the front (the tray's "Open", a second start).
    void ShowAndRaise();

protected:
    void Form_Load() override;
    void Form_Unload(int& cancel) override;

private:
    void Display(const MonitorStep& step);
    void ShowStatus(const std::string& status);
    void ClearDisplay();
    void ApplyScales(const Scales& scales);
    void Tell(const std::vector<Problem>& problems);
    void MenuClick(std::int32_t lIndex, const std::string& sKey) override { m_frmSysTray_MenuClick(lIndex, sKey); }
    void SysTrayDoubleClick(std::int32_t eButton) override { m_frmSysTray_SysTrayDoubleClick(eButton); }
    void SysTrayMouseDown(std::int32_t eButton) override { m_frmSysTray_SysTrayMouseDown(eButton); }

    Monitor core_;
    // Boxes run their own event loop while the ticks go on: these outlive the
    // form, so that a box that returns after the monitor closed touches nothing.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    std::shared_ptr<std::set<Problem::Kind>> openBoxes_ = std::make_shared<std::set<Problem::Kind>>();
};

}  // namespace vx
