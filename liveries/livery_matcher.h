#pragma once
// The livery matcher: picks the installed livery title under which the simulator creates a
// flight, in up to six ordered steps (1 the flight's own registration, 2 its airline and type,
// 3 a similar type of its airline, 4 a generic livery of its type, 5 any airline's livery of its
// type, 6 one of a substitute type), as deep as MATCHING_DEPTH allows.
//
// Ownership: all of it runs on the worker thread (the traffic main loop); the containers below
// are only touched there.
#include "liveries/livery_data_base.h"

#include <array>
#include <cstdint>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace qtr {

struct FlightRecord;

// Accepted live matches by step (index = step - 1), since the program started.
extern std::array<std::uint32_t, 6> matchCounters;
// Titles the simulator refused to create; never given again. Owned copies, so that they stay
// valid whatever happens to the livery data base.
extern std::vector<std::string> failedTitles;
// The title chosen for each live flight id (views into the livery data base).
extern std::unordered_map<std::uint32_t, TitleView> liveryChoices;
// coupleKey texts of live aircraft for which no livery was found.
extern std::set<std::string> unmatchedNames;

bool isFailedTitle(std::string_view title);

// Steps 1 to 6 for a live flight, without counting: sets the flight's title or leaves it empty
// and returns the step that gave it (0 for none). The title must be empty on entry.
std::uint32_t gf_matchLivery(FlightRecord& flight);
// Steps 4 to 6 (generic livery, any airline's livery of the type, a substitute type); only
// reached at depth 3 or more. Returns the step, 0 for none.
std::uint32_t lf_matchFallbacks(FlightRecord& flight);
// gf_matchLivery, then counts and logs the step and sets the FSLTL flag (reverseByThrottle).
void gf_matchLiveryLive(FlightRecord& flight);
// The match of a static aircraft on its stand (the cargo flag from the stand, the stand's name for
// the log); true when it got a title. Counts nothing.
bool gf_matchLiveryParked(FlightRecord& aircraft, bool cargoStand, const std::string& standName);

// The match summary of live traffic, to the log.
void gf_writeLiveryMatchSummary();

// Empties the matcher's working data (tests; the program keeps it for the process).
void clearLiveryMatcher();

} // namespace qtr
