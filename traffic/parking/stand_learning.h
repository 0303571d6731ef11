#pragma once
// Stand learning: where a live aircraft that left the feed on the ground (or near it) most likely
// parked, recorded as a soft option of a free stand that suits it; and the learned airport file
// that keeps what was learned when the park airport is left. Worker thread only.
#include "foundation/parameters/parameter.h"
#include "foundation/time_text.h"
#include "traffic/state/records.h"
#include "traffic/state/stands.h"

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
// The user changed a setting that travels with the learned file while the park airport's stands
// were loaded; cleared when its file is read and when the learned file is saved.
extern std::atomic<bool> parkingParameterChanged;
// Called by the window when the user changed a setting: raises the flag for the settings that the
// learned file carries, and only while the park airport's stands are loaded. The program's own
// changes (the automatic range, a learned file read) do not come here.
void noteParkingSettingChange(const Parameter& changed);

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
