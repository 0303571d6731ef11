#pragma once
// Spawning of live aircraft: the decision when a buffered aircraft may appear, the spawn with its
// livery, stand and initial pose, and the clearing of a stand for a live aircraft; with the ghost
// and stand-claim rules that the spawn applies.
#include "traffic/state/records.h"
#include "traffic/state/stands.h"

#include <string>
#include <vector>

namespace qtr {

void maySpawn(LiveAircraft& aircraft);
void spawnLiveAc(LiveAircraft& aircraft);
void makeWayForLiveAircraft(LiveAircraft& aircraft, const Stand& stand);
bool makeWay(const Stand& stand, const LiveAircraft& aircraft, StaticAircraft& other);
bool removeByAdjacentParking(std::uint32_t adjacentId, const Stand& stand, const LiveAircraft& aircraft,
                             StaticAircraft& other);

void removeGhost(const std::string& callsign);
bool liveCallsignExists(const std::string& callsign);
bool claimStand(bool& ok, std::uint32_t sid, const std::string& callsign, LiveAircraft& other);
std::vector<std::uint32_t>::const_iterator findLiveOnStand(const std::vector<std::uint32_t>& adjacent,
                                                           const Stand& stand, const FlightRecord& aircraft);

} // namespace qtr
