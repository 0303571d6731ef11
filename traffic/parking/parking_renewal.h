#pragma once
// The 20-minute renewal of static parking: static aircraft whose option still holds the slot
// stay, those whose option ran out go, those whose option ends now hand their stand over to the
// aircraft of their coupled flight, parked live aircraft count toward the wanted number, and the
// stands left over get new candidates. Worker thread only.
#include "foundation/time_text.h"
#include "traffic/parking/static_parking.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qtr {

// A static aircraft that stays through the renewal.
struct KeptStatic {
    std::string callsign;
    std::string callsignKey;
    std::string coupledCallsign;
    std::string registration;
    std::string airline;
    std::string type;
    DaySlot placed;
    std::uint32_t sid = 0;
    bool leaving = false; // its option ends with the current slot
};

struct StaticRemoval {
    std::string callsign;
    std::uint32_t sid = 0;
};

extern std::vector<KeptStatic> keptStatics;
extern std::vector<StaticRemoval> staticRemovals;

void adjustParking();
void decodeExisting(DaySlot daySlot);
void relateStaticAircraft(DaySlot daySlot, const StaticAircraft& aircraft);
void resolveStandConflict(DaySlot daySlot, const StaticAircraft& aircraft,
                          std::vector<StaticCandidate>::iterator candidate);
bool optionLeavesAfterSlot(DaySlot daySlot, const Stand& stand, KeptStatic& entry, const StandOption& option);

void clearRenewalLists();

} // namespace qtr
