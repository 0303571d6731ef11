// STAND-IN for the livery matcher (see the header).
#include "liveries/livery_matcher_stand_in.h"

#include "traffic/records.h"

namespace qtr {

std::list<InstalledLivery> installedLiveries;
std::unordered_map<std::uint32_t, std::string> liveryChoices;
std::set<std::string> unmatchedNames;

void gf_matchLiveryLive(LiveAircraft& aircraft)
{
    const InstalledLivery* typeOnly = nullptr;
    for (const InstalledLivery& l : installedLiveries) {
        if (l.type != aircraft.type) continue;
        if (l.airline == aircraft.airline) {
            typeOnly = &l;
            break;
        }
        if (l.airline.empty() && !typeOnly) typeOnly = &l;
    }
    if (!typeOnly) return;
    aircraft.livery = typeOnly->title;
    aircraft.reverseByThrottle = typeOnly->title.find("FSLTL_") != std::string::npos ? 1 : 0;
}

void gf_reserveLiveryContainers() { liveryChoices.reserve(512); }

void clearLiveryMatcherStandIn()
{
    installedLiveries.clear();
    liveryChoices.clear();
    unmatchedNames.clear();
}

} // namespace qtr
