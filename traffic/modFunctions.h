// The program's two files and the profile values in them.
#pragma once

#include <string>

namespace vx {

// The stored value, or empty text when the file, section or key is absent or
// the value is the word "Default". At most 254 characters.
std::string ReadIniValue(const std::string& section, const std::string& key, const std::string& file);
// Writes one value; a failure is not reported.
void WriteIniValue(const std::string& section, const std::string& key, const std::string& value,
                   const std::string& file);

// The program's files.
std::string SettingsFile();    // boot.ini
std::string StatisticsFile();  // userstats.txt
std::string HistoryFile();     // history.db, beside userstats.txt

// Tells the user, once per file, that a file could not be written (a box
// naming the file and the reason, and a line on standard error); the program
// goes on.
void ReportWriteFailure(const std::string& file, const std::string& reason);

// A stored total as a starting value: the whole part of the number; empty or
// non-numeric text counts as 0.
double TotalFromText(const std::string& text);

}  // namespace vx
