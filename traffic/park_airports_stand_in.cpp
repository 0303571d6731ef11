// STAND-IN for the park-airport list and static parking (see the header).
#include "traffic/park_airports_stand_in.h"

#include "app/main_window.h"
#include "traffic/parking_stand_in.h"
#include "traffic/traffic_state.h"

#include <algorithm>

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

bool lf_readMyParkAirports()
{
    parkAirportList.clear();
    return true;
}

void setParkAirportEntry(const std::string& icao, LatLon position)
{
    const auto listed = std::find_if(parkAirportList.begin(), parkAirportList.end(),
                                     [&icao](const ParkAirportEntry& e) { return e.icao == icao; });
    if (listed != parkAirportList.end()) {
        std::rotate(parkAirportList.begin(), listed, listed + 1);
        return;
    }
    parkAirportList.insert(parkAirportList.begin(), ParkAirportEntry{icao, "", position, 0.0});
    writeMyParkAirports();
}

void removeAllParkedAircraft()
{
    removeAllStaticAircraft();
    parkAirportIcao.clear();
    parkAirportIata.clear();
    parkFileLoaded = false;
    mainWindow.setText(mainWindow.parkAirportText, "");
    mainWindow.parkAirportLoaded = false;
    mainWindow.invalidate(statisticsBand);
}

void clearParkAirportsStandIn()
{
    parkAirportList.clear();
    myParkAirportsWrites = 0;
    droppedCandidateStands.clear();
}

} // namespace qtr
