#include "traffic/state/traffic_state.h"

#include <algorithm>

#include "links/simconnect_client.h"
#include "liveries/livery_matcher.h"

namespace qtr {

std::vector<LiveAircraft> liveAircraft;
std::vector<StaticAircraft> staticAircraft;
std::vector<std::uint32_t> readyToSpawn;
std::deque<std::uint32_t> pendingRemovals;
std::deque<AiCreateRequest> pendingLiveCreations;
std::deque<AiCreateRequest> pendingStaticCreations;
std::vector<std::string> ghostList;
std::deque<std::uint32_t> replacementChecks;
std::deque<TrafficReport> incomingTraffic;
std::mutex trafficMutex;
bool trafficRunning = false;
std::atomic<std::uint32_t> tickCount{0};
std::atomic<DaySlot> currentSlot{DaySlot{0, 0}};
bool tablesReserved = false;
std::uint32_t resolvedObjectId = 0;

AiCreateRequest creationRequest(const StaticAircraft& aircraft, const AiInitialPosition& place)
{
    AiCreateRequest r;
    r.position = place;
    r.callsign = aircraft.callsign;
    r.liveryTitle = std::string(aircraft.livery);
    r.recordId = aircraft.flightId;
    return r;
}

const UserAircraftState& workerUser() { return workerUserState; }
LatLon userPosition() { return at(workerUserState); }

} // namespace qtr
