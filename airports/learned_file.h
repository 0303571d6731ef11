#pragma once
// Learned airport files: what the traffic manager learned at an airport (stand options, changed
// radii and cargo flags, stands made by hand) and its parking settings, kept per airport file in
// airports/learned/ and merged into the stand list after the airport file is read. A handmade
// learned file replaces the airport file's stands altogether. Worker thread only.
#include "airports/airport_file_reader.h"

#include <filesystem>
#include <string>
#include <vector>

namespace pugi {
class xml_node;
}

namespace qtr {

// The learned file of an airport file (path text as findAirportFile gives it):
//   archive/stock/EGLL.xml            -> airports\learned\stock\EGLL.xml ("%20" -> blank)
//   airports\my_thirdparty\EGLL.xml   -> airports\learned\thirdparty\<publisher>\EGLL.xml
//   airports\my_vendrake\EGLL.xml     -> airports\learned\my_vendrake\EGLL.xml
// "" gives an empty path; any other text is taken as it is. The traffic manager saves its
// learned file at this path (creating the folder), so that the next read finds it.
std::filesystem::path mapAirportPath(const std::string& pathText, const std::string& publisher);

// Merges the learned file into list: its settings snapshot into the parameters (shown, never
// saved), then either its whole stand list (handmade; handmade set) or its changes, options and
// manual stands against the stands of list (handmade cleared). A file that does not load is moved
// aside as "<name>.0.xml"; a bad meta block, an unknown stand and a faulty manual stand are
// logged and skipped. Never throws.
void lf_readLearned(const std::filesystem::path& learnedPath, const ApfFileRecord& record, std::vector<Stand>& list,
                    bool& handmade);

// The hours view of MAX_FIT as the airport uses it, into its edit: also for an airport without
// a learned file, whose edit would otherwise stay empty.
void showMaxFitHours();

// When stand is named name: applies the learned element's radius and cargo changes and adds its
// options that the stand does not have yet; true. False for any other stand.
bool applyLearnedStand(const std::string& name, const pugi::xml_node& parkpos, Stand& stand);

// Same weekday, kind, key, airline and type, and at least one common slot.
bool sameStandOption(const StandOption& a, const StandOption& b);

} // namespace qtr
