#include "traffic/modFunctions.h"

#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <set>

#include "platform/app.h"
#include "platform/profile.h"
#include "runtime/numtext.h"

namespace vx {

namespace {

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

std::string InFolder(const std::string& folder, const char* name) { return folder + kSeparator + name; }

std::string FolderOf(const std::string& file) {
    const std::size_t at = file.find_last_of("/\\");
    return at == std::string::npos ? std::string() : file.substr(0, at);
}

// A problem with a file, told once per file (a box and a line on standard
// error), however many reads and writes meet it.
void TellOnce(const std::string& file, const std::string& line, const std::string& prompt) {
    static std::set<std::string> told;
    if (!told.insert(file).second) return;
    std::fprintf(stderr, "vxstat: %s\n", line.c_str());
    platform::MsgBox(prompt, platform::vbCritical, "Problem");
}

// Statistics files another process keeps: never written here.
std::set<std::string>& KeptElsewhere() {
    static std::set<std::string> files;
    return files;
}

}  // namespace

std::string ReadIniValue(const std::string& section, const std::string& key, const std::string& file) {
    if (const std::string problem = platform::ProfileFileProblem(file); !problem.empty()) {
        TellOnce(file, "does not read " + file + ": " + problem,
                 "vxstat does not read " + file + ":\n" + problem +
                     ".\n\nWhat it holds is not used, and it is not written over.");
        return {};
    }
    char buffer[255] = {};
    const std::uint32_t n = platform::GetPrivateProfileStringA(section.c_str(), key.c_str(), "Default", buffer,
                                                               sizeof buffer, file.c_str());
    std::string value(buffer, n);
    return value == "Default" ? std::string() : value;
}

void WriteIniValue(const std::string& section, const std::string& key, const std::string& value,
                   const std::string& file) {
    if (KeptElsewhere().count(file) != 0) return;  // told when it was found
    if (const std::string problem = platform::ProfileFileProblem(file); !problem.empty()) {
        ReportWriteFailure(file, problem);
        return;
    }
    if (platform::WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str())) return;
    std::string reason = platform::LastErrorText();
    // The user's data folder is made on the first write.
    const std::string folder = FolderOf(file);
    if (!folder.empty() && !platform::FileExists(folder)) {
        if (!platform::MakeFolder(folder)) {
            ReportWriteFailure(file, platform::LastErrorText());
            return;
        }
        if (platform::WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str())) return;
        reason = platform::LastErrorText();
    }
    ReportWriteFailure(file, reason);
}

FileFolders ProgramFolders() {
    const std::string app = platform::AppPath();
    if (platform::FileExists(platform::ProgramFile("boot.ini")) ||
        platform::FileExists(platform::ProgramFile("userstats.txt")) || platform::ProgramFolderIsWritable())
        return {true, app, app};
    return {false, platform::UserConfigFolder(), platform::UserDataFolder()};
}

std::string PathsReport() {
    const FileFolders folders = ProgramFolders();
    std::string report = folders.portable ? "Files beside the program (portable use):\n"
                                          : "Files in the user's folders (installed program):\n";
    report += "  settings    " + SettingsFile() + "\n";
    report += "  totals      " + StatisticsFile() + "\n";
    report += "  history     " + HistoryFile() + "\n";
    return report;
}

namespace {

std::string DataFile(const char* name) {
    const FileFolders folders = ProgramFolders();
    return folders.portable ? platform::ProgramFile(name) : InFolder(folders.data, name);
}

}  // namespace

std::string SettingsFile() {
    const FileFolders folders = ProgramFolders();
    return folders.portable ? platform::ProgramFile("boot.ini") : InFolder(folders.settings, "boot.ini");
}
std::string StatisticsFile() { return DataFile("userstats.txt"); }
// The history needs a folder it may create files in (its journal beside it):
// a portable folder that is not the user's (an administrator's set-up, a
// share) keeps its totals, and the history goes to the user's data folder.
std::string HistoryFile() {
    const FileFolders folders = ProgramFolders();
    if (folders.portable && !platform::ProgramFolderIsWritable())
        return InFolder(platform::UserDataFolder(), "history.db");
    return DataFile("history.db");
}

bool KeepStatisticsFile(const std::string& file) {
    static std::map<std::string, std::unique_ptr<platform::FileLock>> held;
    if (held.count(file) != 0) return true;
    if (KeptElsewhere().count(file) != 0) return false;
    const std::string folder = FolderOf(file);
    if (!folder.empty() && !platform::FileExists(folder)) platform::MakeFolder(folder);
    bool heldElsewhere = false;
    std::unique_ptr<platform::FileLock> lock = platform::LockFileSlot(file + ".lock", 0, heldElsewhere);
    if (lock) {
        held[file] = std::move(lock);
        return true;
    }
    // A folder where no lock can be made keeps the totals as before.
    if (!heldElsewhere) return true;
    ReportWriteFailure(file, "another vxstat keeps the totals in it");
    KeptElsewhere().insert(file);
    return false;
}

std::string WriteFailureText(const std::string& file, const std::string& reason) {
    return "vxstat cannot write " + file + ":\n" + reason +
           "\n\nMonitoring goes on, but what should be kept there is not.";
}

void ReportWriteFailure(const std::string& file, const std::string& reason) {
    TellOnce(file, "cannot write " + file + ": " + reason, WriteFailureText(file, reason));
}

double TotalFromText(const std::string& text) {
    auto value = ParseNumber(text);
    if (!value) return 0;
    return std::floor(*value);
}

}  // namespace vx
