#pragma once
// STAND-IN for the livery matcher: a list of installed liveries keyed by airline and type, and
// the containers the traffic manager shares with the matcher, under the matcher's names. The
// liveries subsystem replaces this file when it lands.
#include <cstdint>
#include <list>
#include <set>
#include <string>
#include <unordered_map>

namespace qtr {

struct LiveAircraft;

struct InstalledLivery {
    std::string airline; // empty: fits any airline of the type
    std::string type;
    std::string title;
};
// Stable storage: records point into the titles for the whole run.
extern std::list<InstalledLivery> installedLiveries;

// The first installed livery of the aircraft's airline and type, else of its type with an empty
// airline; sets livery and reverseByThrottle, or leaves livery empty.
void gf_matchLiveryLive(LiveAircraft& aircraft);
void gf_reserveLiveryContainers();

// Livery titles remembered by flight id.
extern std::unordered_map<std::uint32_t, std::string> liveryChoices;
// coupleKey texts of aircraft for which no livery matched.
extern std::set<std::string> unmatchedNames;

// Empties every container above (tests).
void clearLiveryMatcherStandIn();

} // namespace qtr
