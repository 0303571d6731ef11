#pragma once
// STAND-IN for the parts of the traffic manager that motion, the live update and the data cycle
// call but that are not built yet: livery respawn, ageing of parked live aircraft, stand
// learning, ghosts and replacement of static aircraft, and static parking with
// its park-airport choice. Each keeps its own name and does the least its callers rely on; the
// work that builds them replaces this file.
#include "traffic/records.h"

#include <cstdint>
#include <string>

namespace qtr {

// Livery respawn: the report is always taken over as it stands (true).
bool checkLiveryRespawn(LiveAircraft& aircraft, const TrafficReport& report);
// Ageing of parked live aircraft: nothing is removed.
void removeOldLiveParked(int extra);
// Stand learning: nothing is learned.
void learnParking(LiveAircraft& aircraft, bool notFlying);
// Ghosts and replacement.
bool isReplacedByLive(const LiveAircraft& live, const std::string& key, bool onGround, StaticAircraft& candidate);
void removeAllStaticAircraft();
void removeAircraftAtStand();
int countLiveParked(bool updateDisplay);
// Static parking and park airports.
int countStaticParked(bool updateDisplay);
void updateParkAirport(bool force);
void adjustParking();
void disableParkingControls();
bool checkParkAirportsAndStands(bool recheck, std::string& message);
// Livery reports.
void logNoMatchList();
void gf_writeLiveryMatchSummary();
// The traffic reader's map of reported flights, emptied before static parking is recomputed.
void resetMaps();

// How often each stand-in ran (for tests of the data cycle).
struct ParkingStandInCalls {
    int updateParkAirport = 0;
    int adjustParking = 0;
    int disableParkingControls = 0;
    int checkParkAirports = 0;
    int logNoMatchList = 0;
    int liveryMatchSummary = 0;
    int resetMaps = 0;
    int removeAircraftAtStand = 0;
};
extern ParkingStandInCalls parkingStandInCalls;

} // namespace qtr
