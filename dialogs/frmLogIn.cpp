#include "dialogs/frmLogIn.h"
#include "dialogs/StartUp.h"

#include "monitor/frmMain.h"
#include "platform/app.h"
#include "platform/profile.h"
#include "runtime/numtext.h"
#include "stats/frmLogStats.h"
#include "traffic/modFunctions.h"

namespace vx {

using platform::Twips;

// The window with its controls in their order, and the ones the form keeps.
struct frmLogIn::Built {
    std::unique_ptr<platform::Window> w = std::make_unique<platform::Window>("frmLogIn", "Router Details", 3270, 1095,
                                                                             platform::BorderStyle::FixedDialog);
    platform::Label& label1 = w->addLabel("Label1", Twips{0, 30, 1245, 225}, "Router IP:");
    platform::TextBox& txtIP = w->addTextBox("txtIP", Twips{750, 0, 1245, 255}, "192.168.0.1");
    platform::Label& label2 = w->addLabel("Label2", Twips{0, 270, 1245, 225}, "Username:");
    platform::TextBox& txtUser = w->addTextBox("txtUser", Twips{750, 240, 1245, 255}, "admin");
    platform::Label& label3 = w->addLabel("Label3", Twips{0, 540, 1245, 225}, "Password:");
    platform::TextBox& txtPassword = w->addTextBox("txtPassword", Twips{750, 510, 1245, 255}, "");
    platform::CommandButton& cmdGo = w->addButton("cmdGo", Twips{2040, 30, 1215, 1065}, "Start Monitor");
    platform::ComboBox& selSpeed = w->addComboBox("selSpeed", Twips{750, 780, 1245, 315}, "512");
    platform::Label& label4 = w->addLabel("Label4", Twips{0, 840, 1245, 225}, "Speed:");
    platform::CheckBox& chk9106 = w->addCheckBox("chk9106", Twips{30, 1110, 3105, 195}, "I have a 9106 Wireless Model");
};

frmLogIn::frmLogIn() : frmLogIn(Built{}) {}

frmLogIn::frmLogIn(Built&& b)
    : Form(std::move(b.w)),
      txtIP(b.txtIP),
      txtUser(b.txtUser),
      txtPassword(b.txtPassword),
      cmdGo(b.cmdGo),
      selSpeed(b.selSpeed),
      chk9106(b.chk9106) {
    window().keyPreview = true;
    window().centred = true;
    txtPassword.setPasswordChar('*');
    cmdGo.onClick = [this] { cmdGo_Click(); };
    txtIP.onChange = [this] { txtIP_Change(); };
    window().onKeyUp = [this](int keyCode, int shift) { Form_KeyUp(keyCode, shift); };
    window().onCloseRequest = [] { Default<frmLogIn>::Unload(vbFormControlMenu); };
}

void frmLogIn::Form_Load() {
    selSpeed.addItem("2meg");
    selSpeed.addItem("512");

    if (platform::CommandLine() == "/STATS") {
        Default<frmLogStats>::Get().Show();
        Default<frmLogIn>::Unload();
        return;
    }

    // The totals first: an automatic start hands them to the monitor.
    const std::string stats = StatisticsFile();
    // A second copy reads the totals but never writes them.
    const bool keepsTotals = KeepStatisticsFile(stats);
    if (keepsTotals) platform::RemoveStaleTemporaries(stats);
    if (ReadIniValue("TotalStats", "Enabled", stats) == "True") {
        storedTotals_.in = TotalFromText(ReadIniValue("TotalStats", "Incoming", stats));
        storedTotals_.out = TotalFromText(ReadIniValue("TotalStats", "OutGoing", stats));
    } else {
        WriteIniValue("TotalStats", "Enabled", "True", stats);
        WriteIniValue("TotalStats", "Date", platform::DateText() + " " + platform::TimeText(), stats);
        WriteIniValue("TotalStats", "Incoming", Str(0), stats);
        WriteIniValue("TotalStats", "OutGoing", Str(0), stats);
    }

    const std::string settings = SettingsFile();
    // Which of several WAN connections to watch has no box in the dialog.
    interfaceName_ = ReadIniValue("Settings", "Interface", settings);
    monthStart_ = ReadIniValue("Settings", "MonthStart", settings);
    quota_ = ReadIniValue("Settings", "Quota", settings);
    if (ReadIniValue("Settings", "Enabled", settings) == "True") {
        txtIP.setText(ReadIniValue("Settings", "IP", settings));
        txtPassword.setText(ReadIniValue("Settings", "Password", settings));
        selSpeed.setText(ReadIniValue("Settings", "Speed", settings));
        if (ReadIniValue("Settings", "9106router", settings) == "Yes") chk9106.setValue(1);
        cmdGo_Click();  // the dialog is gone after this
    }
}

void frmLogIn::cmdGo_Click() {
    MonitorSettings settings;
    settings.user = txtUser.text();
    settings.password = txtPassword.text();
    settings.routerIP = txtIP.text();
    settings.speed = selSpeed.text();
    settings.is9106 = chk9106.value() == 1;
    settings.interfaceName = interfaceName_;
    settings.totals = storedTotals_;
    settings.monthStart = monthStart_;
    settings.quota = quota_;
    // The monitor loads before the dialog goes, so that the program always
    // has a form loaded.
    frmMain& monitor = Default<frmMain>::Get(std::move(settings));
    Default<frmLogIn>::Unload();
    monitor.Show();
}

void frmLogIn::Form_KeyUp(int keyCode, int /*shift*/) {
    if (keyCode == 13) cmdGo_Click();
}

void frmLogIn::txtIP_Change() {
    if (txtIP.text() == "qov") {
        txtIP.setText("10.0.0.1");
        txtPassword.setText("qzmnt");
        selSpeed.setText("512");
    }
}

namespace {

// A later start asked for this program: the monitor, or the dialog before it.
void BringToFront() {
    Form* form = Default<frmMain>::Peek();
    if (form == nullptr) form = Default<frmLogIn>::Peek();
    if (form == nullptr) return;
    // Minimised where there is no tray to hide in: back to its normal size.
    if (form->window().windowState() == platform::WindowState::Minimized)
        form->window().setWindowState(platform::WindowState::Normal);
    if (auto* monitor = Default<frmMain>::Peek()) {
        monitor->ShowAndRaise();
    } else {
        form->Show();
        form->window().zOrder();
    }
}

}  // namespace

bool StartProgram() {
    // Two monitors over the same files would each write them.
    if (platform::CommandLine() != "/STATS" && !platform::ClaimSingleInstance(StatisticsFile(), BringToFront))
        return false;
    frmLogIn& dialog = Default<frmLogIn>::Get();
    if (dialog.isLoaded()) dialog.Show();
    return true;
}

}  // namespace vx
