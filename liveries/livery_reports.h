#pragma once
// Reports of a run about liveries: the titles the simulator refused to create (the run ends at
// the 20th) and the flights for which no livery was found.
//
// Ownership: worker thread only.
#include <string>
#include <vector>

namespace qtr {

struct FlightRecord;

// Status line, failedTitles and the failed-livery entries; UserErrorException 81 at the 20th
// failure. Nothing once the program is stopping.
void onLiveryNotCreated(const FlightRecord& record);
// The failed-livery entries ("TYPE AIRLINE"), sorted, without repeats, each after two blanks.
std::vector<std::string> failedLiveries();
void clearFailedLiveries();
// The no-match set to the log (when LOG is on and the set is not empty).
void logNoMatchList();

} // namespace qtr
