#include "retrieval/modFunctions.h"

#include <cmath>

#include "monitor/frmMain.h"
#include "platform/app.h"
#include "platform/profile.h"
#include "runtime/numtext.h"

namespace vx {

double dblTotalIncoming = 0;
double dblTotalOutgoing = 0;
double dblLastIncoming = 0;
double dblLastOutgoing = 0;

std::string ReadIniValue(const std::string& section, const std::string& key, const std::string& file) {
    char buffer[255] = {};
    platform::DWORD n =
        platform::GetPrivateProfileStringA(section.c_str(), key.c_str(), "Default", buffer, sizeof buffer, file.c_str());
    std::string value(buffer, n);
    return value == "Default" ? std::string() : value;
}

void WriteIniValue(const std::string& section, const std::string& key, const std::string& value,
                   const std::string& file) {
    platform::WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str());
}

std::string SettingsFile() { return platform::ProgramFile("boot.ini"); }
std::string StatisticsFile() { return platform::ProgramFile("userstats.txt"); }

double TotalFromText(const std::string& text) {
    auto value = ParseNumber(text);
    if (!value) return 0;
    return std::floor(*value);
}

ReadingDeltas HandOverReading(double incoming, double outgoing) {
    const ReadingDeltas d{incoming - dblLastIncoming, outgoing - dblLastOutgoing};
    dblLastOutgoing = outgoing;
    dblLastIncoming = incoming;
    frmMain& monitor = Default<frmMain>::Get();
    monitor.lblOutgoing.setCaption(NumText(d.outgoing));
    monitor.lblIncoming.setCaption(NumText(d.incoming));
    return d;
}

void SaveTotals() {
    WriteIniValue("TotalStats", "Incoming", Str(dblTotalIncoming), StatisticsFile());
    WriteIniValue("TotalStats", "OutGoing", Str(dblTotalOutgoing), StatisticsFile());
}

void ResetRetrievalState() {
    dblTotalIncoming = dblTotalOutgoing = 0;
    dblLastIncoming = dblLastOutgoing = 0;
}

}  // namespace vx
