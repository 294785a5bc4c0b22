// "Vexlo Router Stats": the monitor window. Two bars with their figures, a
// once-a-second polling cycle, and a tray icon whose level follows the
// incoming rate.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "platform/net.h"
#include "runtime/form.h"
#include "tray/frmSysTray.h"

namespace vx {

class frmMain : public Form, private SysTrayEvents {
public:
    frmMain();
    ~frmMain() override;

    std::string m_sUser;
    std::string m_sPassword;
    std::string m_sRouterIP;
    bool m_bIs9106 = false;
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
    platform::Label& lblOutgoing;  // hidden hand-over: bytes out since the last reading
    platform::Label& lblIncoming;  // hidden hand-over: bytes in since the last reading
    std::array<platform::Image*, 8> Icons{};
    platform::Timer& Timer;
    std::unique_ptr<platform::TcpClient> winsock;

    void Form_KeyPress(int& KeyAscii);
    void Form_Resize();
    void Timer_Timer();

    void m_frmSysTray_MenuClick(std::int32_t lIndex, const std::string& sKey);
    void m_frmSysTray_SysTrayDoubleClick(std::int32_t eButton);
    void m_frmSysTray_SysTrayMouseDown(std::int32_t eButton);

protected:
    void Form_Load() override;
    void Form_Unload(int& cancel) override;

private:
    void ShowAndRaise();
    void MenuClick(std::int32_t lIndex, const std::string& sKey) override { m_frmSysTray_MenuClick(lIndex, sKey); }
    void SysTrayDoubleClick(std::int32_t eButton) override { m_frmSysTray_SysTrayDoubleClick(eButton); }
    void SysTrayMouseDown(std::int32_t eButton) override { m_frmSysTray_SysTrayMouseDown(eButton); }

    bool tickRunning_ = false;
};

}  // namespace vx
