#include "monitor/frmMain.h"

#include "historyview/frmHistory.h"
#include "monitor/modControlBox.h"
#include "platform/app.h"
#include "platform/tray.h"
#include "runtime/errors.h"
#include "traffic/modFunctions.h"
#include "tray/LevelPictures.h"

namespace vx {

using platform::Twips;

namespace {

const char* const kTitle = "Vexlo Router Stats";
const char* const kNoFigure = "--";
const char* const kTip = "vxStats";
const char* const kProblemTitle = "Problem";

std::unique_ptr<platform::Window> MakeWindow() {
    auto w = std::make_unique<platform::Window>("frmMain", kTitle, 5340, 555, platform::BorderStyle::FixedSingle);
    w->setIcon(WindowIconPicture());
    return w;
}

platform::Label& FigureLabel(platform::Window& w, const std::string& name, Twips rect) {
    platform::Label& label = w.addLabel(name, rect, "");
    label.setFont(platform::Font{"MS Sans Serif", 8.25, true});
    return label;
}

std::array<platform::Image*, 8> AddIcons(platform::Window& w) {
    std::array<platform::Image*, 8> icons{};
    for (int i = 0; i < 8; ++i)
        icons[static_cast<std::size_t>(i)] =
            &w.addImage("Icons(" + std::to_string(i) + ")", Twips{480 * i, 2160, 480, 480}, LevelPicture(i));
    return icons;
}

// A bar shows the rate up to its end; a negative rate is refused (380) and
// leaves the bar as it was.
void ShowRate(platform::ProgressBar& bar, double rate) {
    const auto r = static_cast<float>(rate);
    bar.setValue(bar.max() < r ? bar.max() : r);
}

}  // namespace

frmMain::frmMain(MonitorSettings settings)
    : Form(MakeWindow()),
      Label1(window().addLabel("Label1", Twips{0, 30, 375, 195}, "0k/s")),
      barOutgoing(window().addProgressBar("barOutgoing", Twips{420, 0, 3225, 255}, 0, 32768)),
      Label3(window().addLabel("Label3", Twips{3660, 30, 525, 195}, "32k/s")),
      lblBytesOut(FigureLabel(window(), "lblBytesOut", Twips{4320, 0, 975, 255})),
      Label2(window().addLabel("Label2", Twips{0, 300, 375, 195}, "0k/s")),
      barIncoming(window().addProgressBar("barIncoming", Twips{420, 270, 3225, 255}, 0, 262144)),
      lblMaxIncoming(window().addLabel("lblMaxIncoming", Twips{3660, 300, 525, 195}, "256k/s")),
      lblBytesIn(FigureLabel(window(), "lblBytesIn", Twips{4320, 300, 975, 255})),
      Icons(AddIcons(window())),
      Timer(window().addTimer("Timer", 1000)),
      core_(std::move(settings), nullptr, kTip) {
    Timer.setEnabled(false);  // ticks from the end of the load on
    Timer.onTimer = [this] { Timer_Timer(); };
    window().onKeyPress = [this](int& key) { Form_KeyPress(key); };
    window().onResize = [this] { Form_Resize(); };
    window().onCloseRequest = [] { Default<frmMain>::Unload(vbFormControlMenu); };
}

frmMain::~frmMain() { *alive_ = false; }

void frmMain::Form_Load() {
    ApplyScales(core_.scales());

    m_frmSysTray = std::make_unique<frmSysTray>(static_cast<SysTrayEvents*>(this));
    m_frmSysTray->Load();
    m_frmSysTray->AddMenuItem("&Open vxStat", "open", true);
    m_frmSysTray->AddMenuItem("&History", "history", false);
    m_frmSysTray->AddMenuItem("-", "", false);
    m_frmSysTray->AddMenuItem("&Close", "close", false);
    m_frmSysTray->ToolTip(kTip);
    m_frmSysTray->IconHandle(Icons[0]->picture());

    ExtendSystemMenu(*this);

    // The statistics page needs no console session, but the router has
    // always seen this connection at start; the console source makes its own.
    const MonitorStep started = core_.start();
    ShowStatus(started.status);
    if (core_.routerKey().source == "web") {
        winsock = platform::CreateTcpClient();
        winsock->RemoteHost = core_.settings().routerIP;
        winsock->RemotePort = 23;
        winsock->Connect();
    }
    Timer.setEnabled(true);
    // Told once the monitor runs: a box never holds the readings up.
    if (!started.problems.empty())
        platform::Post([this, alive = alive_, problems = started.problems] {
            if (*alive) Tell(problems);
        });
}

void frmMain::Form_Unload(int& /*cancel*/) {
    // Its figures come from this form's history.
    Default<frmHistory>::Unload();
    Timer.setEnabled(false);
    const std::vector<Problem> problems = core_.close();
    if (m_frmSysTray) {
        m_frmSysTray->Unload();
        ReleaseForm(std::move(m_frmSysTray));
    }
    Tell(problems);
}

void frmMain::ApplyScales(const Scales& scales) {
    // A bar never holds more than its end: lower the value before the end.
    if (barIncoming.value() > scales.incomingMax) barIncoming.setValue(scales.incomingMax);
    if (barOutgoing.value() > scales.outgoingMax) barOutgoing.setValue(scales.outgoingMax);
    barIncoming.setMax(scales.incomingMax);
    barOutgoing.setMax(scales.outgoingMax);
    lblMaxIncoming.setCaption(ScaleText(scales.incomingMax, scales.megabytes));
    Label3.setCaption(ScaleText(scales.outgoingMax, scales.megabytes));
}

void frmMain::SaveTotals() { core_.saveTotals(); }

void frmMain::FlushHistory() { Tell(core_.flushHistory()); }

void frmMain::ShowHistoryWindow() {
    ShowHistory([this] { return HistorySummaryNow(); });
}

void frmMain::ShowStatus(const std::string& status) {
    window().setCaption(status.empty() ? std::string(kTitle) : std::string(kTitle) + " - " + status);
}

void frmMain::ClearDisplay() {
    barOutgoing.setValue(0);
    barIncoming.setValue(0);
    lblBytesOut.setCaption(kNoFigure);
    lblBytesIn.setCaption(kNoFigure);
}

void frmMain::Form_Resize() {
    if (window().windowState() != platform::WindowState::Minimized) return;
    // Without a notification area a hidden window could not be brought back:
    // it stays minimised where the desktop keeps such windows.
    if (!platform::TrayAvailable()) return;
    Hide();
    window().setWindowState(platform::WindowState::Normal);
}

void frmMain::Form_KeyPress(int& KeyAscii) {
    if (KeyAscii != 32) return;
    m_bOnTop = !m_bOnTop;
    window().setAlwaysOnTop(m_bOnTop);
}

void frmMain::Timer_Timer() { Display(core_.step()); }

void frmMain::Display(const MonitorStep& step) {
    if (step.scales) ApplyScales(*step.scales);
    ShowStatus(step.status);
    if (step.silent) {
        ClearDisplay();
    } else if (step.rates) {
        // Without a new rate the bars and figures keep what they show.
        ResumeNext([&] { ShowRate(barOutgoing, step.rates->out); });
        ResumeNext([&] { ShowRate(barIncoming, step.rates->in); });
        lblBytesOut.setCaption(RateText(step.rates->out, core_.scales().megabytes));
        lblBytesIn.setCaption(RateText(step.rates->in, core_.scales().megabytes));
    }
    if (m_frmSysTray) {
        m_frmSysTray->IconHandle(Icons[static_cast<std::size_t>(step.level)]->picture());
        if (step.tip) m_frmSysTray->ToolTip(*step.tip);
        for (const Notice& n : step.notices) m_frmSysTray->Notify(n.title, n.text);
    }
    Tell(step.problems);
}

// Each problem in its box, after the step. A box runs its own event loop and
// the timer goes on ticking meanwhile; a second box of a kind already open is
// not stacked on the first.
void frmMain::Tell(const std::vector<Problem>& problems) {
    const std::shared_ptr<bool> alive = alive_;
    const std::shared_ptr<std::set<Problem::Kind>> open = openBoxes_;
    for (const Problem& p : problems) {
        if (!open->insert(p.kind).second) continue;
        platform::MsgBox(p.text, p.critical ? platform::vbCritical : platform::vbInformation, kProblemTitle);
        open->erase(p.kind);
        if (!*alive) return;  // the monitor was closed while the box was open
    }
}

void frmMain::ShowAndRaise() {
    Form::Show();
    window().zOrder();
}

void frmMain::m_frmSysTray_MenuClick(std::int32_t /*lIndex*/, const std::string& sKey) {
    if (sKey == "open") {
        ShowAndRaise();
    } else if (sKey == "history") {
        ShowHistoryWindow();
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
