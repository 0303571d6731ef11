#pragma once
// Live aircraft on the stands of the park airport: static aircraft replaced by the live aircraft
// of their flight, the removal of all static aircraft or of the aircraft on the user's stand,
// the counts and ages of parked live aircraft, and the removal of the longest-parked ones when
// the airport holds more parked aircraft than wanted. Worker thread only.
#include "foundation/time_text.h"
#include "traffic/state/records.h"
#include "traffic/state/stands.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace qtr {

// One parked live aircraft and how long it has stood (seconds).
struct ParkedAge {
    std::uint32_t flightId = 0;
    std::int64_t ageSeconds = 0;
};

// Reports of the parked live aircraft on its stand still arrive (the last one is recent).
bool reportedOnStand(const LiveAircraft& aircraft);
// It parked, or was reported on its stand, within the last 5 minutes.
bool parkedOrReportedLately(const LiveAircraft& aircraft);
bool isReplacedByLive(const LiveAircraft& live, const std::string& key, bool onGround, StaticAircraft& candidate);
void removeAllStaticAircraft();
void removeAircraftAtStand();
int countLiveParked(bool updateDisplay);
// Fills the live-stayer list of static parking, oldest first; removes the parked live aircraft
// that stood too long without a report (unless only the initial load is wanted).
void ageLiveParked();

// The parked live aircraft the feed no longer reports, the one without a report for longest first
// (those still reported are never removed for the limit).
void parkedAges(std::vector<ParkedAge>& list);
// Keeps the parked aircraft (live and static, with `extra` about to park) within the wanted
// number: static aircraft go first, placed longest ago first, then parked live aircraft the feed
// no longer reports; one the feed still reports is never removed for the limit.
void removeOldLiveParked(int extra);
// A flight removed for the limit that would be created on a stand again while the limit holds:
// it stays away (once the limit allows it, it is forgotten and may park).
bool keptOffStandForLimit(const LiveAircraft& aircraft);
void removeOldestLiveParked(std::size_t n);
void removeLiveParked(const std::set<std::uint32_t>& flightIds, LiveAircraft& aircraft);

// The first stand with a real option of the aircraft's registration for the weekday and the
// slot, the slot before or the slot after.
std::vector<Stand>::iterator findOptionBySlot(const FlightRecord& aircraft, DaySlot daySlot);

// The wanted number of parked aircraft of the last calculation (-1: none yet, no limit).
extern std::int64_t maxParkedAircraft;
// The callsigns of the live aircraft removed for the limit (cleared with the park airport).
extern std::set<std::string> evictedForLimit;

} // namespace qtr
