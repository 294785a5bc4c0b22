#include "monitor/frmMain.h"

#include <cmath>

#include "historyview/frmHistory.h"
#include "monitor/modControlBox.h"
#include "platform/app.h"
#include "runtime/clock.h"
#include "runtime/errors.h"
#include "runtime/numtext.h"
#include "sources/ConsoleSource.h"
#include "sources/RouterMessages.h"
#include "sources/UpnpSource.h"
#include "sources/WebSource.h"
#include "traffic/modFunctions.h"
#include "tray/LevelPictures.h"

namespace vx {

using platform::Twips;

namespace {

const char* const kTitle = "Vexlo Router Stats";
const char* const kNoAnswer = "The router does not answer";
const char* const kNoFigure = "--";
const char* const kTip = "vxStats";
// Ticks without a reading before the display stops showing the last rates.
constexpr int kTicksBeforeSilence = 3;

std::unique_ptr<platform::Window> MakeWindow() {
    auto w = std::make_unique<platform::Window>("frmMain", kTitle, 5340, 555, platform::BorderStyle::FixedSingle);
    platform::Font figures{"MS Sans Serif", 8.25, true};
    w->addLabel("Label1", Twips{0, 30, 375, 195}, "0k/s");
    w->addProgressBar("barOutgoing", Twips{420, 0, 3225, 255}, 0, 32768);
    w->addLabel("Label3", Twips{3660, 30, 525, 195}, "32k/s");
    w->addLabel("lblBytesOut", Twips{4320, 0, 975, 255}, "").setFont(figures);
    w->addLabel("Label2", Twips{0, 300, 375, 195}, "0k/s");
    w->addProgressBar("barIncoming", Twips{420, 270, 3225, 255}, 0, 262144);
    w->addLabel("lblMaxIncoming", Twips{3660, 300, 525, 195}, "256k/s");
    w->addLabel("lblBytesIn", Twips{4320, 300, 975, 255}, "").setFont(figures);
    for (int i = 0; i < 8; ++i)
        w->addImage("Icons(" + std::to_string(i) + ")", Twips{480 * i, 2160, 480, 480}, LevelPicture(i));
    w->addTimer("Timer", 1000);
    w->setIcon(WindowIconPicture());
    return w;
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
      Label1(window().control<platform::Label>("Label1")),
      barOutgoing(window().control<platform::ProgressBar>("barOutgoing")),
      Label3(window().control<platform::Label>("Label3")),
      lblBytesOut(window().control<platform::Label>("lblBytesOut")),
      Label2(window().control<platform::Label>("Label2")),
      barIncoming(window().control<platform::ProgressBar>("barIncoming")),
      lblMaxIncoming(window().control<platform::Label>("lblMaxIncoming")),
      lblBytesIn(window().control<platform::Label>("lblBytesIn")),
      Timer(window().control<platform::Timer>("Timer")),
      settings_(std::move(settings)),
      upnpLocation_(UpnpLocation(settings_.routerIP)),
      traffic_(settings_.totals),
      quotaWatch_(kTip, MonthStartDay(settings_.monthStart), ParseQuota(settings_.quota)) {
    for (std::size_t i = 0; i < Icons.size(); ++i)
        Icons[i] = &window().control<platform::Image>("Icons(" + std::to_string(i) + ")");
    Timer.setEnabled(false);  // ticks from the end of the load on
    Timer.onTimer = [this] { Timer_Timer(); };
    window().onKeyPress = [this](int& key) { Form_KeyPress(key); };
    window().onResize = [this] { Form_Resize(); };
    window().onCloseRequest = [] { Default<frmMain>::Unload(vbFormControlMenu); };
}

frmMain::~frmMain() = default;

void frmMain::Form_Load() {
    // A speed with a unit is the line's: it scales the bars and tells a
    // counter's wrap from a restart.
    if (const std::optional<LineSpeed> speed = ParseLineSpeed(settings_.speed)) {
        speedFromBox_ = true;
        traffic_.setLineSpeed(*speed);
    }
    ApplyScales(ScalesFor(settings_.speed));

    m_frmSysTray = std::make_unique<frmSysTray>(static_cast<SysTrayEvents*>(this));
    m_frmSysTray->Load();
    m_frmSysTray->AddMenuItem("&Open vxStat", "open", true);
    m_frmSysTray->AddMenuItem("&History", "history", false);
    m_frmSysTray->AddMenuItem("-", "", false);
    m_frmSysTray->AddMenuItem("&Close", "close", false);
    m_frmSysTray->ToolTip(kTip);
    m_frmSysTray->IconHandle(Icons[0]->picture());

    ExtendSystemMenu(*this);
    OpenHistory();

    ShowStatus("Connecting");
    if (upnpLocation_)
        source_ = std::make_unique<UpnpSource>(platform::OpenGateway(*upnpLocation_));
    else if (settings_.is9106)
        source_ = std::make_unique<ConsoleSource>(settings_.user, settings_.password, settings_.routerIP,
                                                  [this](const std::string& status) { ShowStatus(status); });
    else
        source_ = std::make_unique<WebSource>(settings_.user, settings_.password, settings_.routerIP,
                                              settings_.interfaceName);

    Timer.setEnabled(true);
}

void frmMain::Form_Unload(int& /*cancel*/) {
    // Its figures come from this form's history.
    Default<frmHistory>::Unload();
    Timer.setEnabled(false);
    if (source_) source_->close();
    SaveTotals();
    FlushHistory();
    if (m_frmSysTray) {
        m_frmSysTray->Unload();
        ReleaseForm(std::move(m_frmSysTray));
    }
}

void frmMain::ApplyScales(const Scales& scales) {
    scales_ = scales;
    // A bar never holds more than its end: lower the value before the end.
    if (barIncoming.value() > scales.incomingMax) barIncoming.setValue(scales.incomingMax);
    if (barOutgoing.value() > scales.outgoingMax) barOutgoing.setValue(scales.outgoingMax);
    barIncoming.setMax(scales.incomingMax);
    barOutgoing.setMax(scales.outgoingMax);
    lblMaxIncoming.setCaption(ScaleText(scales.incomingMax, scales.megabytes));
    Label3.setCaption(ScaleText(scales.outgoingMax, scales.megabytes));
}

void frmMain::FollowTheRoutersLineSpeed() {
    const std::optional<LineSpeed> speed = source_->lineSpeed();
    if (!speed || speed == routerSpeed_ || speed->down <= 0) return;
    routerSpeed_ = speed;
    if (speedFromBox_) return;
    traffic_.setLineSpeed(*speed);
    ApplyScales(ScalesFor(*speed));
}

void frmMain::NoteStuckCounter() {
    if (stuckNoted_) return;
    stuckNoted_ = true;
    platform::MsgBox(kStuckCounterMessage, platform::vbInformation, kProblemTitle);
}

void frmMain::SaveTotals() { traffic_.save(StatisticsFile()); }

void frmMain::OpenHistory() {
    // Each router's bytes apart: its address and the way it is read.
    const char* source = settings_.is9106 ? "console" : "web";
    if (upnpLocation_) source = "upnp";
    const RouterKey router{upnpLocation_ ? *upnpLocation_ : settings_.routerIP, source};
    std::string error;
    history_ = History::Open(HistoryFile(), router, error, MonthStartDay(settings_.monthStart));
    if (!history_) {
        // Monitoring goes on without it.
        ReportWriteFailure(HistoryFile(), error);
        return;
    }
    history_->keepBeforeHistory(settings_.totals);
}

void frmMain::FlushHistory() {
    if (!history_) return;
    std::string error;
    // The bytes stay in memory for the next try.
    if (!history_->flush(error)) ReportWriteFailure(HistoryFile(), error);
}

std::optional<HistorySummary> frmMain::HistorySummaryNow() const {
    if (!history_) return std::nullopt;
    return history_->summary(UtcSeconds(), MonthStartDay(settings_.monthStart), ParseQuota(settings_.quota));
}

void frmMain::ShowHistoryWindow() {
    ShowHistory([this] { return HistorySummaryNow(); });
}

void frmMain::ShowStatus(const std::string& status) {
    status_ = status;
    const std::string shown = silent_ ? std::string(kNoAnswer) : status_;
    window().setCaption(shown.empty() ? std::string(kTitle) : std::string(kTitle) + " - " + shown);
}

void frmMain::ClearDisplay() {
    barOutgoing.setValue(0);
    barIncoming.setValue(0);
    lblBytesOut.setCaption(kNoFigure);
    lblBytesIn.setCaption(kNoFigure);
}

void frmMain::Form_Resize() {
    if (window().windowState() == platform::WindowState::Minimized) {
        Hide();
        window().setWindowState(platform::WindowState::Normal);
    }
}

void frmMain::Form_KeyPress(int& KeyAscii) {
    if (KeyAscii != 32) return;
    m_bOnTop = !m_bOnTop;
    window().setAlwaysOnTop(m_bOnTop);
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

    const std::int64_t now = UtcSeconds();
    std::optional<ByteCounts> rates;
    bool stuck = false;
    bool read = false;
    ResumeNext([&] {
        if (std::optional<Reading> reading = source_->poll()) {
            const TrafficUpdate update = traffic_.take(*reading);
            rates = update.moved;
            // Only counted steps move bytes: a restart or an impossible jump adds nothing.
            if (update.moved && history_) history_->add(now, *update.moved);
            stuck = update.step == Step::Stuck;
            read = !stuck;
        }
    });
    // The monitor may have been closed while a box was open.
    if (!isLoaded()) return;
    if (history_ && history_->flushDue(now)) FlushHistory();
    if (history_ && m_frmSysTray) quotaWatch_.check(*history_, now, *m_frmSysTray);
    FollowTheRoutersLineSpeed();

    // Old rates are not shown as current: after a few ticks without a
    // reading the display says so, until the next reading.
    bool captionChanged = false;
    if (read) {
        missed_ = 0;
        if (status_ == "Connecting") {  // the router answers
            status_.clear();
            captionChanged = true;
        }
    } else if (source_->expectsReadings()) {
        ++missed_;
    }
    const bool silent = missed_ >= kTicksBeforeSilence;
    if (silent != silent_ || captionChanged) {
        silent_ = silent;
        ShowStatus(status_);
    }
    if (silent) {
        ClearDisplay();
    } else if (rates) {
        // Without a new rate the bars and figures keep what they show.
        ResumeNext([&] { ShowRate(barOutgoing, rates->out); });
        ResumeNext([&] { ShowRate(barIncoming, rates->in); });
        lblBytesOut.setCaption(RateText(rates->out, scales_.megabytes));
        lblBytesIn.setCaption(RateText(rates->in, scales_.megabytes));
    }
    const float fill = barIncoming.value() / barIncoming.max();
    int level = static_cast<int>(std::floor(fill * 8));
    if (level > 7) level = 7;
    if (level < 0) level = 0;
    if (m_frmSysTray) m_frmSysTray->IconHandle(Icons[static_cast<std::size_t>(level)]->picture());
    if (stuck) NoteStuckCounter();
}

void frmMain::ShowAndRaise() {
    Show();
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
