#pragma once
// STAND-IN for the park-airport list and static parking: the few fields and operations that the
// simulator link and the live-aircraft Parts use, under their own names. The park-airport and
// static-parking work replaces this file when it lands.
#include "foundation/geometry.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qtr {

struct ParkAirportEntry {
    std::string icao;
    std::string reservedStand;
    LatLon position;
    double distance = 0; // nm to the user aircraft
};
extern std::vector<ParkAirportEntry> parkAirportList;
extern int myParkAirportsWrites;                          // how often the list was saved
extern std::vector<std::uint32_t> droppedCandidateStands; // stands whose static candidates went

// The reserved stand of the current park airport (empty when none).
std::string reservedStandName();
void writeMyParkAirports();
void dropStaticCandidates(std::uint32_t sid);

void clearParkAirportsStandIn();

} // namespace qtr
