// STAND-IN for the livery matcher (see the header).
#include "liveries/livery_matcher_stand_in.h"

#include "app/main_window.h"

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
    if (!typeOnly) {
        // Until installed liveries are scanned, the user's own aircraft is the one model known to
        // be installed: it stands for every type.
        const std::string userTitle = mainWindow.text(mainWindow.userAircraftText);
        if (userTitle.empty()) return;
        typeOnly = &installedLiveries.emplace_back(InstalledLivery{"", aircraft.type, userTitle});
    }
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
