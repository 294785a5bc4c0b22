// The retrieval module: profile access, the router readings and the running
// totals they feed.
#pragma once

#include <string>

namespace vx {

// Running totals in bytes: loaded at start, grown by the readings, saved at
// shutdown and by the "Statistics" command.
extern double dblTotalIncoming;
extern double dblTotalOutgoing;
// The router's counters at the previous reading; 0 at start.
extern double dblLastIncoming;
extern double dblLastOutgoing;

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

// Bytes moved since the previous reading, each way.
struct ReadingDeltas {
    double incoming;
    double outgoing;
};
// Takes a complete reading of the router's counters: the differences to the
// previous one, which it then replaces, go into the monitor's hand-over
// labels (outgoing first) and are returned.
ReadingDeltas HandOverReading(double incoming, double outgoing);

// Saves both totals, "Incoming" first.
void SaveTotals();

// Puts the module's variables back to their start values (a new run).
void ResetRetrievalState();

}  // namespace vx
