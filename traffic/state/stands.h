#pragma once
// The slot bookkeeping of the park airport's stand options (who parks there on which weekday in
// which half-hour slots) and the stand lookups; the stands themselves and their list are in
// airports/stand_records.h.
#include "foundation/geometry.h"
#include "foundation/time_text.h"
#include "airports/stand_records.h"
#include "traffic/state/records.h"

#include <atomic>
#include <bitset>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace qtr {

// Counts one change of options, radii or cargo flags (standChangeCount) and shows it.
void countStandChange();

std::vector<Stand>::iterator findStandByName(const std::string& name);
std::string sidName(std::uint32_t sid);
void markStandTaken(Stand& stand);
// The stand nearest to the position within 55 m; empty without stands or while the user
// aircraft is not on the ground. Safe on any thread; each thread keeps its own last answer.
std::string nearestStandName(const LatLon& position);
std::vector<Stand>::iterator standAtAircraft(const LatLon& position, const FlightRecord& aircraft, double maxDistance,
                                             bool allowOptionCapture = true);

bool matchesOption(const std::string& callsign, const FlightRecord& aircraft, const StandOption& option);
std::uint32_t findOrAddOption(Stand& stand, const FlightRecord& aircraft, std::uint32_t kind, DaySlot daySlot,
                              const std::string& callsign, const std::string& key);
void registerOptionId(Stand& stand, std::uint32_t id, const std::string& callsign);
bool optionIdMatches(std::uint32_t id, const std::string& callsign, StandOption& option);
bool updateOptions(Stand& stand, const std::vector<std::uint32_t>& slots, std::uint32_t id);
bool updateOptionsWrapped(Stand& stand, const std::vector<std::uint32_t>& slots, std::uint32_t id1, std::uint32_t id2);
std::vector<std::uint32_t> previousSlots(std::uint32_t n, DaySlot daySlot);
void addOccupancy(Stand& stand, DaySlot daySlot, const std::string& callsign, std::uint32_t n, std::uint32_t id1,
                  std::uint32_t id2);
bool addStandStaySlots(DaySlot daySlot, Stand& stand, std::uint32_t id, StandArrival& arrival,
                       const FlightRecord& aircraft, const std::string& key, std::uint32_t kind);
bool lf_addRealStandOption(std::uint32_t sid, const FlightRecord& aircraft, DaySlot daySlot, bool leaving);
bool lf_addSoftStandOption(std::uint32_t sid, const FlightRecord& aircraft, bool leaving, DaySlot daySlot, bool flying);
bool testRange(const StandOption& option, std::int32_t start, std::int32_t offset, std::int32_t& spill);

bool coupledCandidateMatches(const StandOption& option, DaySlot daySlot, const std::bitset<48>& mask,
                             const FlightRecord& aircraft, const std::string& callsign);
void lf_searchForCoupledCsAroundThisTime(DaySlot daySlot, FlightRecord& aircraft);

// Slot arithmetic of the week: n slots before a point (slot 0 is preceded by slot 47 of the
// weekday before, Monday by Sunday), and the slot after one.
DaySlot daySlotMinus(DaySlot daySlot, std::uint32_t n);
DaySlot nextDaySlot(DaySlot daySlot);
// Slots from a point of the week back to now: 0 for now, 335 for the slot after now a week ago.
// A total order by age, where comparing points of the week across its wrap would be circular.
std::int64_t slotsAgo(DaySlot then, DaySlot now);
// The stand with that id, nullptr when none.
Stand* findStandById(std::uint32_t sid);

// Forgets the per-thread answers of nearestStandName (they are also dropped whenever the stands
// change).
void forgetNearestStand();

} // namespace qtr
