#pragma once
// The lights of the aircraft in the simulator, one rule per situation. The motion, the object
// set-up and the parking only pick the situation; the light sets themselves live here.
#include "links/simconnect_queues.h"
#include "traffic/state/records.h"

#include <cstdint>
#include <random>

namespace qtr {

// On the ground, moving under its own power or pushed: taxi lights, no landing lights.
Lights pushbackLights();
Lights taxiOutLights();
// Lined up for the take-off roll, and the climb-out of a go-around: everything outside on.
Lights takeOffLights();
Lights goAroundLights();
// Off the runway after the landing roll: the landing and strobe lights go out, the cabin is lit.
Lights taxiInLights();
// Airborne below 10000 ft, and above it (landing, taxi and logo lights off in the cruise).
Lights belowTenThousandLights();
Lights cruiseLights();
// The cabin over the course of an approach: lit while well above the ground, dark for the landing.
std::uint32_t approachHighCabinLight();
std::uint32_t approachLowCabinLight();

// A live aircraft appearing in the air: landing and logo lights below 10000 ft, the cabin lit from
// 2000 ft above the ground.
Lights airborneLightsOnAppearing(double altFt, double heightAboveGroundFt);
// A live aircraft appearing on the ground in this phase (parked ones as parkedLights with the
// cabin lit).
Lights groundLightsOnAppearing(std::uint32_t phase, bool navWhileParked);
// Parked: only the logo, the navigation lights when the user wants them, the cabin as given.
Lights parkedLights(bool navWhileParked, bool cabinLit);
// A parked (static) aircraft's cabin: dark at a cargo stand; else lit, or with random choices on
// lit nine times in ten (one draw of the engine, only then).
bool staticCabinLit(bool atCargoStand, bool randomChoices, std::mt19937& engine);

} // namespace qtr
