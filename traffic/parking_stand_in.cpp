// STAND-IN for the parts not built yet (see the header).
#include "traffic/parking_stand_in.h"

#include "traffic/removal.h"
#include "traffic/traffic_state.h"

#include <algorithm>

namespace qtr {

ParkingStandInCalls parkingStandInCalls;

bool checkLiveryRespawn(LiveAircraft&, const TrafficReport&) { return true; }

void removeOldLiveParked(int) {}

void learnParking(LiveAircraft&, bool) {}

bool isReplacedByLive(const LiveAircraft&, const std::string&, bool, StaticAircraft&) { return false; }

void removeAllStaticAircraft()
{
    for (StaticAircraft& s : staticAircraft)
        if (s.state == stateActive) removeAircraftFromSim(s);
}

void removeAircraftAtStand() { ++parkingStandInCalls.removeAircraftAtStand; }

int countLiveParked(bool updateDisplay)
{
    const auto n = std::count_if(liveAircraft.begin(), liveAircraft.end(), [](const LiveAircraft& a) {
        return a.state == stateActive && a.phase == phaseParked;
    });
    (void)updateDisplay;
    return static_cast<int>(n);
}

int countStaticParked(bool updateDisplay)
{
    const auto n = std::count_if(staticAircraft.begin(), staticAircraft.end(),
                                 [](const StaticAircraft& a) { return a.state == stateActive; });
    (void)updateDisplay;
    return static_cast<int>(n);
}

void updateParkAirport(bool) { ++parkingStandInCalls.updateParkAirport; }

void adjustParking() { ++parkingStandInCalls.adjustParking; }

void disableParkingControls() { ++parkingStandInCalls.disableParkingControls; }

bool checkParkAirportsAndStands(bool, std::string&)
{
    ++parkingStandInCalls.checkParkAirports;
    return false;
}

void logNoMatchList() { ++parkingStandInCalls.logNoMatchList; }

void gf_writeLiveryMatchSummary() { ++parkingStandInCalls.liveryMatchSummary; }

void resetMaps() { ++parkingStandInCalls.resetMaps; }

} // namespace qtr
