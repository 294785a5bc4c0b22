#include "stats/frmLogStats.h"

#include "platform/app.h"
#include "runtime/errors.h"
#include "runtime/numtext.h"
#include "traffic/modFunctions.h"

namespace vx {

using platform::Twips;

// The window with its controls in their order, and the ones the form keeps.
struct frmLogStats::Built {
    std::unique_ptr<platform::Window> w = std::make_unique<platform::Window>(
        "frmLogStats", "Logged Statistics", 4680, 1530, platform::BorderStyle::FixedToolWindow);
    platform::Label& label1 =
        w->addLabel("Label1", Twips{90, 60, 4545, 225}, "To clear these close vexloStats and delete:");
    platform::TextBox& txtFileName = w->addTextBox("txtFileName", Twips{30, 330, 4635, 285}, "");
    platform::Label& label2 = w->addLabel("Label2", Twips{60, 720, 1125, 225}, "Logging Since:");
    platform::Label& lblLoggingSince = w->addLabel("lblLoggingSince", Twips{1230, 720, 3405, 225}, "");
    platform::Label& label3 = w->addLabel("Label3", Twips{60, 990, 1125, 225}, "Incoming Data:");
    platform::Label& lblIncoming = w->addLabel("lblIncoming", Twips{1230, 990, 3405, 225}, "");
    platform::Label& label4 = w->addLabel("Label4", Twips{60, 1260, 1125, 225}, "Outgoing Data:");
    platform::Label& lblOutgoing = w->addLabel("lblOutgoing", Twips{1230, 1260, 3405, 225}, "");
    platform::CommandButton& cmdDeleteFile =
        w->addButton("cmdDeleteFile", Twips{3510, 60, 1155, 255}, "or click here.");
    platform::Line& line1 = w->addLine("Line1", 60, 660, 4590, 660);
};

std::string MegabytesText(const std::string& storedBytes) {
    double bytes = ParseNumber(storedBytes).value_or(0);
    return platform::FormatNumber(bytes / 1024 / 1024, 2) + "MB";
}

frmLogStats::frmLogStats() : frmLogStats(Built{}) {}

frmLogStats::frmLogStats(Built&& b)
    : Form(std::move(b.w)),
      txtFileName(b.txtFileName),
      lblLoggingSince(b.lblLoggingSince),
      lblIncoming(b.lblIncoming),
      lblOutgoing(b.lblOutgoing),
      cmdDeleteFile(b.cmdDeleteFile) {
    window().centred = true;
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
