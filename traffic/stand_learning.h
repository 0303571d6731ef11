#pragma once
// Stand learning: where a live aircraft that left the feed on the ground (or near it) most likely
// parked, recorded as a soft option of a free stand that suits it; and the learned airport file
// that keeps what was learned when the park airport is left. Worker thread only.
#include "foundation/time_text.h"
#include "traffic/records.h"
#include "traffic/stands.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace qtr {

// (flight id, slot) of the flights learned or parked, so that one flight is learned once per
// slot and a half.
struct LearnedSlot {
    std::uint32_t flightId = 0;
    std::uint32_t slot = 0;
};
extern std::vector<LearnedSlot> learnedSlots;
// Learning is allowed at the park airport (its own file is not good enough to need none).
extern bool learningAllowed;
// A setting that travels with the learned file changed during the run: raised when the park
// airport is left with settings other than those its file was read with.
extern std::atomic<bool> parkingParameterChanged;
// Notes the parking settings the park airport's file was read with.
void rememberParkingSettings();
void forgetParkingSettings();
// A setting that travels with the learned file differs from what the file was read with.
bool parkingSettingsChanged();

// Notes the flight's slot: false when it was noted less than 3 slots ago and force is off.
bool rememberLearnedSlot(DaySlot daySlot, std::uint32_t flightId, bool force);
void learnParking(LiveAircraft& aircraft, bool notFlying);
void saveLearnedAirport();

// One candidate of the free-stand search.
struct FreeStandCandidate {
    std::string name;
    std::int32_t value = 0;
    std::int32_t matched = 0;
};
std::vector<Stand>::iterator searchFreeStand(DaySlot daySlot, const FlightRecord& aircraft, bool retryNextSlot);

} // namespace qtr
