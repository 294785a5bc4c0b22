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

// The two files beside the program.
std::string SettingsFile();    // boot.ini
std::string StatisticsFile();  // userstats.txt

// A stored total as a starting value: the whole part of the number; empty or
// non-numeric text counts as 0.
double TotalFromText(const std::string& text);

}  // namespace vx
