#include "monitor/frmMain.h"

#include <cmath>

#include "dialogs/frmLogIn.h"
#include "tray/LevelPictures.h"
#include "platform/app.h"
#include "platform/user32.h"
#include "retrieval/TelnetStats.h"
#include "retrieval/WebStats.h"
#include "retrieval/modFunctions.h"
#include "runtime/errors.h"
#include "runtime/numtext.h"
#include "winutil/modAlwaysOnTop.h"
#include "winutil/modControlBox.h"

namespace vx {

using platform::Twips;

namespace {

std::unique_ptr<platform::Window> MakeWindow() {
    auto w = std::make_unique<platform::Window>("frmMain", "Vexlo Router Stats", 5340, 555,
                                                platform::BorderStyle::FixedSingle);
    platform::Font figures{"MS Sans Serif", 8.25, true};
    w->addLabel("Label1", Twips{0, 30, 375, 195}, "0k/s");
    w->addProgressBar("barOutgoing", Twips{420, 0, 3225, 255}, 0, 32768);
    w->addLabel("Label3", Twips{3660, 30, 525, 195}, "32k/s");
    w->addLabel("lblBytesOut", Twips{4320, 0, 975, 255}, "").setFont(figures);
    w->addLabel("Label2", Twips{0, 300, 375, 195}, "0k/s");
    w->addProgressBar("barIncoming", Twips{420, 270, 3225, 255}, 0, 262144);
    w->addLabel("lblMaxIncoming", Twips{3660, 300, 525, 195}, "256k/s");
    w->addLabel("lblBytesIn", Twips{4320, 300, 975, 255}, "").setFont(figures);
    w->addLabel("lblOutgoing", Twips{1410, 1620, 1245, 225}, "").setVisible(false);
    w->addLabel("lblIncoming", Twips{1410, 1860, 1245, 225}, "").setVisible(false);
    for (int i = 0; i < 8; ++i)
        w->addImage("Icons(" + std::to_string(i) + ")", Twips{480 * i, 2160, 480, 480}, LevelPicture(i));
    w->addTimer("Timer", 1000);
    w->setIcon(WindowIconPicture());
    return w;
}

// The figure beside a bar: whole kilobytes, rounded down, then "k/s".
std::string KiloText(double rate) { return NumText(std::floor(rate / 1024)) + "k/s"; }

}  // namespace

frmMain::frmMain()
    : Form(MakeWindow()),
      Label1(window().control<platform::Label>("Label1")),
      barOutgoing(window().control<platform::ProgressBar>("barOutgoing")),
      Label3(window().control<platform::Label>("Label3")),
      lblBytesOut(window().control<platform::Label>("lblBytesOut")),
      Label2(window().control<platform::Label>("Label2")),
      barIncoming(window().control<platform::ProgressBar>("barIncoming")),
      lblMaxIncoming(window().control<platform::Label>("lblMaxIncoming")),
      lblBytesIn(window().control<platform::Label>("lblBytesIn")),
      lblOutgoing(window().control<platform::Label>("lblOutgoing")),
      lblIncoming(window().control<platform::Label>("lblIncoming")),
      Timer(window().control<platform::Timer>("Timer")),
      winsock(platform::CreateTcpClient()) {
    for (int i = 0; i < 8; ++i) Icons[static_cast<std::size_t>(i)] = &window().control<platform::Image>("Icons(" + std::to_string(i) + ")");
    Timer.setEnabled(false);  // ticks from the end of the load on
    Timer.onTimer = [this] { Timer_Timer(); };
    window().onKeyPress = [this](int& key) { Form_KeyPress(key); };
    window().onResize = [this] { Form_Resize(); };
    window().onCloseRequest = [] { Default<frmMain>::Unload(vbFormControlMenu); };
}

frmMain::~frmMain() = default;

void frmMain::Form_Load() {
    frmLogIn& dialog = Default<frmLogIn>::Get();
    m_sUser = dialog.txtUser.text();
    m_sPassword = dialog.txtPassword.text();
    m_sRouterIP = dialog.txtIP.text();
    if (dialog.chk9106.value() == 1) m_bIs9106 = true;
    if (dialog.selSpeed.text() == "512") {
        barIncoming.setMax(65536);
        lblMaxIncoming.setCaption("64k/s");
    }
    Default<frmLogIn>::Unload();

    m_frmSysTray = std::make_unique<frmSysTray>(static_cast<SysTrayEvents*>(this));
    m_frmSysTray->Load();
    m_frmSysTray->AddMenuItem("&Open vxStat", "open", true);
    m_frmSysTray->AddMenuItem("-", "", false);
    m_frmSysTray->AddMenuItem("&Close", "close", false);
    m_frmSysTray->ToolTip("vxStats");
    m_frmSysTray->IconHandle(Icons[0]->picture());

    ExtendSystemMenu(*this);

    winsock->RemoteHost = m_sRouterIP;
    winsock->RemotePort = CLng(std::string_view("23"));
    window().setCaption("Vexlo Router Stats - Connecting");
    winsock->Connect();

    Timer.setEnabled(true);
}

void frmMain::Form_Unload(int& /*cancel*/) {
    Timer.setEnabled(false);
    SaveTotals();
    if (m_frmSysTray) {
        m_frmSysTray->Unload();
        ReleaseForm(std::move(m_frmSysTray));
    }
    platform::SetWindowLongA(hWnd(), platform::GWL_WNDPROC, lpPrevWndProc);
}

void frmMain::Form_Resize() {
    if (window().windowState() == platform::WindowState::Minimized) {
        Hide();
        window().setWindowState(platform::WindowState::Normal);
    }
}

void frmMain::Form_KeyPress(int& KeyAscii) {
    if (KeyAscii != 32) return;
    if (!m_bOnTop) {
        SetAlwaysOnTop(hWnd(), 1);
        m_bOnTop = true;
    } else {
        SetAlwaysOnTop(hWnd(), 0);
        m_bOnTop = false;
    }
}

void frmMain::Timer_Timer() {
    // A message box shown by a reading runs its own event loop; ticks that
    // arrive meanwhile are dropped, so boxes never pile up.
    if (tickRunning_) return;
    tickRunning_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{tickRunning_};

    ResumeNext([&] {
        if (m_bIs9106)
            PollTelnetStats(m_sUser, m_sPassword, m_sRouterIP);
        else
            FetchWebStats(m_sUser, m_sPassword, m_sRouterIP);
    });
    // A rate that is not a number, or is negative, leaves its bar as it was.
    ResumeNext([&] {
        float r = CSng(lblOutgoing.caption());
        barOutgoing.setValue(barOutgoing.max() < r ? barOutgoing.max() : r);
    });
    ResumeNext([&] {
        float r = CSng(lblIncoming.caption());
        barIncoming.setValue(barIncoming.max() < r ? barIncoming.max() : r);
    });
    ResumeNext([&] { lblBytesOut.setCaption(KiloText(CDbl(lblOutgoing.caption()))); });
    ResumeNext([&] { lblBytesIn.setCaption(KiloText(CDbl(lblIncoming.caption()))); });
    int level = 0;
    ResumeNext([&] {
        float v = barIncoming.value();
        float m = barIncoming.max();
        level = static_cast<int>(std::floor(v / m * 8));
        if (level > 7) level = 7;
        if (level < 0) level = 0;
    });
    ResumeNext([&] {
        if (m_frmSysTray) m_frmSysTray->IconHandle(Icons[static_cast<std::size_t>(level)]->picture());
    });
}

void frmMain::ShowAndRaise() {
    Show();
    window().zOrder();
}

void frmMain::m_frmSysTray_MenuClick(std::int32_t /*lIndex*/, const std::string& sKey) {
    if (sKey == "open") {
        ShowAndRaise();
    } else if (sKey != "close") {
        platform::MsgBox("Clicked item with key " + sKey, platform::vbInformation | platform::vbOKOnly,
                         platform::AppTitle());
    } else {
        Default<frmMain>::Unload();
    }
}

void frmMain::m_frmSysTray_SysTrayDoubleClick(std::int32_t /*eButton*/) { ShowAndRaise(); }

void frmMain::m_frmSysTray_SysTrayMouseDown(std::int32_t eButton) {
    if (eButton == 2) m_frmSysTray->ShowMenu();
}

}  // namespace vx
