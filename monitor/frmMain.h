// "Vexlo Router Stats": the monitor window. Two bars with their figures, a
// once-a-second polling cycle, and a tray icon whose level follows the
// incoming rate.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "forms/form.h"
#include "history/History.h"
#include "historyview/QuotaWatch.h"
#include "sources/Source.h"
#include "traffic/LineSpeed.h"
#include "traffic/Traffic.h"
#include "tray/frmSysTray.h"

namespace vx {

// What the router details dialog hands to the monitor.
struct MonitorSettings {
    std::string user;
    std::string password;
    std::string routerIP;
    std::string speed;  // "512" is the small scale; anything else the large one
    bool is9106 = false;
    std::string interfaceName;  // one WAN connection of the statistics page; empty: all of them
    ByteCounts totals;          // the stored totals, to grow from
    std::string monthStart;     // boot.ini "MonthStart": the billing month's first day, as written
    std::string quota;          // boot.ini "Quota": what a billing month may use ("500G"), as written
};

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
    std::array<platform::Image*, 8> Icons{};
    platform::Timer& Timer;

    void Form_KeyPress(int& KeyAscii);
    void Form_Resize();
    void Timer_Timer();

    void m_frmSysTray_MenuClick(std::int32_t lIndex, const std::string& sKey);
    void m_frmSysTray_SysTrayDoubleClick(std::int32_t eButton);
    void m_frmSysTray_SysTrayMouseDown(std::int32_t eButton);

    // The running totals, saved into the statistics file.
    void SaveTotals();
    const Traffic& traffic() const { return traffic_; }
    // The traffic history; null when its file could not be opened.
    History* history() const { return history_.get(); }
    // Writes the history's bytes not yet in its file; a failure is told once.
    void FlushHistory();
    // What the history window shows, as of now; none without a history.
    std::optional<HistorySummary> HistorySummaryNow() const;
    // Opens "Traffic History", or brings it to the front.
    void ShowHistoryWindow();

protected:
    void Form_Load() override;
    void Form_Unload(int& cancel) override;

private:
    void ShowAndRaise();
    void ShowStatus(const std::string& status);
    void ClearDisplay();
    void ApplyScales(const Scales& scales);
    void FollowTheRoutersLineSpeed();
    void NoteStuckCounter();
    void OpenHistory();
    void MenuClick(std::int32_t lIndex, const std::string& sKey) override { m_frmSysTray_MenuClick(lIndex, sKey); }
    void SysTrayDoubleClick(std::int32_t eButton) override { m_frmSysTray_SysTrayDoubleClick(eButton); }
    void SysTrayMouseDown(std::int32_t eButton) override { m_frmSysTray_SysTrayMouseDown(eButton); }

    MonitorSettings settings_;
    std::optional<std::string> upnpLocation_;  // the address names a UPnP gateway
    Traffic traffic_;
    std::unique_ptr<History> history_;
    std::unique_ptr<Source> source_;
    Scales scales_;
    bool speedFromBox_ = false;  // the speed box named a line speed: the router's does not change it
    std::optional<LineSpeed> routerSpeed_;
    bool stuckNoted_ = false;
    std::string status_;  // the source's word for the caption: "Connecting", "Sent User", ...
    int missed_ = 0;      // ticks in a row without a reading, where one was due
    bool silent_ = false;
    bool tickRunning_ = false;
    QuotaWatch quotaWatch_;  // the tray's tip and notices for boot.ini's Quota
};

}  // namespace vx
