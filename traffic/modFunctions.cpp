#include "traffic/modFunctions.h"

#include <cmath>
#include <cstdio>
#include <set>

#include "platform/app.h"
#include "platform/profile.h"
#include "runtime/numtext.h"

namespace vx {

std::string ReadIniValue(const std::string& section, const std::string& key, const std::string& file) {
    char buffer[255] = {};
    const std::uint32_t n = platform::GetPrivateProfileStringA(section.c_str(), key.c_str(), "Default", buffer,
                                                               sizeof buffer, file.c_str());
    std::string value(buffer, n);
    return value == "Default" ? std::string() : value;
}

void WriteIniValue(const std::string& section, const std::string& key, const std::string& value,
                   const std::string& file) {
    platform::WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str());
}

std::string SettingsFile() { return platform::ProgramFile("boot.ini"); }
std::string StatisticsFile() { return platform::ProgramFile("userstats.txt"); }
std::string HistoryFile() { return platform::ProgramFile("history.db"); }

void ReportWriteFailure(const std::string& file, const std::string& reason) {
    static std::set<std::string> told;
    if (!told.insert(file).second) return;
    std::fprintf(stderr, "vxstat: cannot write %s: %s\n", file.c_str(), reason.c_str());
    platform::MsgBox("vxstat cannot write " + file + ":\n" + reason +
                         "\n\nMonitoring goes on, but what should be kept there is not.",
                     platform::vbCritical, "Problem");
}

double TotalFromText(const std::string& text) {
    auto value = ParseNumber(text);
    if (!value) return 0;
    return std::floor(*value);
}

}  // namespace vx
