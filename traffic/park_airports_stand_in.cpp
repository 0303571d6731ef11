// STAND-IN for the park-airport list and static parking (see the header).
#include "traffic/park_airports_stand_in.h"

#include "traffic/traffic_state.h"

namespace qtr {

std::vector<ParkAirportEntry> parkAirportList;
int myParkAirportsWrites = 0;
std::vector<std::uint32_t> droppedCandidateStands;

std::string reservedStandName()
{
    if (parkAirportList.empty() || parkAirportIcao.empty() || parkAirportList.front().icao != parkAirportIcao) return {};
    return parkAirportList.front().reservedStand;
}

void writeMyParkAirports() { ++myParkAirportsWrites; }

void dropStaticCandidates(std::uint32_t sid) { droppedCandidateStands.push_back(sid); }

void clearParkAirportsStandIn()
{
    parkAirportList.clear();
    myParkAirportsWrites = 0;
    droppedCandidateStands.clear();
}

} // namespace qtr
