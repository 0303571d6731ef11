#pragma once
// The traffic manager's tables and counters: program-wide objects owned by the worker thread
// (the incoming reports are shared with the traffic reader under trafficMutex).
#include "foundation/geometry.h"
#include "foundation/time_text.h"
#include "airports/park_airport.h"
#include "links/simconnect_queues.h"
#include "traffic/state/records.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace qtr {

extern std::vector<LiveAircraft> liveAircraft;
extern std::vector<StaticAircraft> staticAircraft;
extern std::vector<std::uint32_t> readyToSpawn;   // flight ids; taken from the end
extern std::deque<std::uint32_t> pendingRemovals; // object ids; one per 10 ticks
extern std::deque<AiCreateRequest> pendingLiveCreations;
extern std::deque<AiCreateRequest> pendingStaticCreations;
// The request that creates the aircraft's object at a place; the livery title is copied, as the
// record's may change before the request is sent.
AiCreateRequest creationRequest(const StaticAircraft& aircraft, const AiInitialPosition& place);
extern std::vector<std::string> ghostList;
// Flight ids of live aircraft whose static twins are to be looked for (the data cycle takes one
// per cycle).
extern std::deque<std::uint32_t> replacementChecks;
// Incoming traffic reports; guarded by trafficMutex.
extern std::deque<TrafficReport> incomingTraffic;
extern std::mutex trafficMutex;
// Whether the traffic manager takes reports (guarded by trafficMutex).
extern bool trafficRunning;

// Count of passes with the simulator running: the motion clock in hundredths of a second.
extern std::atomic<std::uint32_t> tickCount; // the traffic reader stamps reports with it
// Weekday and half-hour slot in use by stands and static parking.
extern std::atomic<DaySlot> currentSlot;
extern bool tablesReserved;
// The object id resolved from CALLSIGN_2_OBJECTID (0: none).
extern std::uint32_t resolvedObjectId;

// The user aircraft as the worker last read it.
struct UserAircraftState;
const UserAircraftState& workerUser();
// Its position.
LatLon userPosition();

// Empties every table and counter of the traffic manager, including the tick counter, the
// nearest-stand answers and the running numbers: the one reset, run by the restart between runs
// and by the tests and tools that drive the traffic manager pass by pass.
void resetTrafficManager();

} // namespace qtr
