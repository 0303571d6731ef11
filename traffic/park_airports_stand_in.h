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
// Rebuilds the list from "my_park_airports.txt" at the worker's start. Here: the list is
// emptied; false when a listed airport is unknown or the reading failed.
bool lf_readMyParkAirports();
// A new destination: a listed airport moves to the front; an unlisted one is put in front with
// an empty reserved stand, and the list is saved.
void setParkAirportEntry(const std::string& icao, LatLon position);
// At the end of a run: every parked aircraft is removed and the park airport forgotten.
void removeAllParkedAircraft();

void clearParkAirportsStandIn();

} // namespace qtr
