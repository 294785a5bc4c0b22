// The program's two files and the profile values in them.
#pragma once

#include <string>

namespace vx {

// The stored value, or empty text when the file, section or key is absent or
// the value is the word "Default". At most 254 characters.
std::string ReadIniValue(const std::string& section, const std::string& key, const std::string& file);
// Writes one value, making the file's folder when it is missing; a failure is
// told to the user once (ReportWriteFailure) and the program goes on.
void WriteIniValue(const std::string& section, const std::string& key, const std::string& value,
                   const std::string& file);

// Where the program's files live. Beside the program (portable use) when its
// folder holds boot.ini or userstats.txt already, or the user may write
// there; otherwise (an installed program) in the user's own folders.
struct FileFolders {
    bool portable = true;
    std::string settings;  // boot.ini's folder
    std::string data;      // userstats.txt's and history.db's folder
};
FileFolders ProgramFolders();
// What `vxstat --paths` prints: each file and where it is.
std::string PathsReport();

std::string SettingsFile();    // boot.ini
std::string StatisticsFile();  // userstats.txt
std::string HistoryFile();     // history.db, beside userstats.txt where that folder is the user's

// Whether this process keeps the statistics file: the first vxstat to ask
// for it does, until it ends. Another one (a second copy using the same
// folder) is told once and never writes it, so that it cannot overwrite the
// totals of the copy that keeps them.
bool KeepStatisticsFile(const std::string& file);

// Tells the user, once per file, that a file could not be written (a box
// naming the file and the reason, and a line on standard error); the program
// goes on.
void ReportWriteFailure(const std::string& file, const std::string& reason);
// What that box says.
std::string WriteFailureText(const std::string& file, const std::string& reason);

// A stored total as a starting value: the whole part of the number; empty or
// non-numeric text counts as 0.
double TotalFromText(const std::string& text);

}  // namespace vx
