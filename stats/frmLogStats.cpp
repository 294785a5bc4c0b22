#include "stats/frmLogStats.h"

#include "platform/app.h"
#include "runtime/errors.h"
#include "runtime/numtext.h"
#include "traffic/modFunctions.h"

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

}  // namespace

std::string MegabytesText(const std::string& storedBytes) {
    double bytes = ParseNumber(storedBytes).value_or(0);
    return platform::FormatNumber(bytes / 1024 / 1024, 2) + "MB";
}

frmLogStats::frmLogStats()
    : Form(MakeWindow()),
      txtFileName(window().control<platform::TextBox>("txtFileName")),
      lblLoggingSince(window().control<platform::Label>("lblLoggingSince")),
      lblIncoming(window().control<platform::Label>("lblIncoming")),
      lblOutgoing(window().control<platform::Label>("lblOutgoing")),
      cmdDeleteFile(window().control<platform::CommandButton>("cmdDeleteFile")) {
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
