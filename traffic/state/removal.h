#pragma once
// Removal of aircraft: every path that takes an aircraft out of the simulator goes through
// removeAircraftFromSim, which only requests it; and the choice of which aircraft to remove.
#include "links/simconnect_queues.h"
#include "traffic/state/records.h"

#include <deque>
#include <string>
#include <vector>

namespace qtr {

void removeAircraftFromSim(StaticAircraft& aircraft);
// An aircraft in the simulator is removed; one still being created loses its queued request, or
// goes as soon as it is created when the request has left the queue. Others are left alone.
void removeOrCancel(StaticAircraft& aircraft);
// RealTraffic went away: every active live aircraft is removed from the simulator, and those
// still being created are dropped from the creation queue or marked to go once created.
void removeLiveAircraftAfterFeedLoss();
// Drops the aircraft's own creation request from the queue (matched by its flight id: two
// aircraft may share a callsign); true when it was there.
bool removeFromPendingQueue(std::deque<AiCreateRequest>& queue, const StaticAircraft& aircraft);
void setParkedLights(StaticAircraft& aircraft);
bool removeFarthestLive(double minDistance);
void enforceMaxLive();
bool isNearUserAircraft(LiveAircraft& aircraft);
void removeForCollisionAvoidance(LiveAircraft aircraft);
void maxParkExceeded(std::uint32_t flightId);

} // namespace qtr
