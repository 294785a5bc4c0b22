#include "dialogs/frmLogStats.h"

#include "platform/app.h"
#include "retrieval/modFunctions.h"
#include "runtime/errors.h"
#include "runtime/numtext.h"

namespace vx {

using platform::Twips;

namespace {

std::unique_ptr<platform::Window> MakeWindow() {
    auto w = std::make_unique<platform::Window>("frmLogStats", "Logged Statistics", 4680, 1530,
                                                platform::BorderStyle::FixedToolWindow);
    w->centred = true;
    w->addLabel("Label1", Twips{90, 60, 4545, 225}, "To clear these close vexloStats and delete:");
    w->addTextBox("txtFileName", Twips{30, 330, 4635, 285}, "");
    w->addLabel("Label2", Twips{60, 720, 1125, 225}, "Logging Since:");
    w->addLabel("lblLoggingSince", Twips{1230, 720, 3405, 225}, "");
    w->addLabel("Label3", Twips{60, 990, 1125, 225}, "Incoming Data:");
    w->addLabel("lblIncoming", Twips{1230, 990, 3405, 225}, "");
    w->addLabel("Label4", Twips{60, 1260, 1125, 225}, "Outgoing Data:");
    w->addLabel("lblOutgoing", Twips{1230, 1260, 3405, 225}, "");
    w->addButton("cmdDeleteFile", Twips{3510, 60, 1155, 255}, "or click here.");
    w->addLine("Line1", 60, 660, 4590, 660);
    return w;
}

template <class T>
T& Get(platform::Window& w, const char* name) {
    return static_cast<T&>(*w.find(name));
}

}  // namespace

std::string MegabytesText(const std::string& storedBytes) {
    double bytes = ParseNumber(storedBytes).value_or(0);
    return platform::FormatNumber(bytes / 1024 / 1024, 2) + "MB";
}

frmLogStats::frmLogStats()
    : Form(MakeWindow()),
      txtFileName(Get<platform::TextBox>(window(), "txtFileName")),
      lblLoggingSince(Get<platform::Label>(window(), "lblLoggingSince")),
      lblIncoming(Get<platform::Label>(window(), "lblIncoming")),
      lblOutgoing(Get<platform::Label>(window(), "lblOutgoing")),
      cmdDeleteFile(Get<platform::CommandButton>(window(), "cmdDeleteFile")) {
    cmdDeleteFile.onClick = [this] { cmdDeleteFile_Click(); };
    window().onCloseRequest = [] { Default<frmLogStats>::Unload(vbFormControlMenu); };
}

void frmLogStats::Form_Load() {
    const std::string file = StatisticsFile();
    txtFileName.setText(file);
    lblLoggingSince.setCaption(ReadIniValue("TotalStats", "Date", file));
    lblOutgoing.setCaption(MegabytesText(ReadIniValue("TotalStats", "OutGoing", file)));
    lblIncoming.setCaption(MegabytesText(ReadIniValue("TotalStats", "Incoming", file)));
}

void frmLogStats::cmdDeleteFile_Click() {
    platform::MsgBox("I will now close and delete the file", platform::vbCritical | platform::vbOKOnly, "Info");
    // A file that is already gone still ends the program.
    ResumeNext([] { platform::Kill(StatisticsFile()); });
    platform::End();
}

}  // namespace vx
