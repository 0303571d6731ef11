#include "traffic/state/lights.h"

namespace qtr {

Lights pushbackLights() { return taxiOutLights(); }

Lights taxiOutLights()
{
    return Lights{.nav = 1, .beacon = 1, .landing = 0, .taxi = 1, .strobes = 0, .logo = 1, .cabin = 0};
}

Lights takeOffLights()
{
    return Lights{.nav = 1, .beacon = 1, .landing = 1, .taxi = 1, .strobes = 1, .logo = 1, .cabin = 0};
}

Lights goAroundLights() { return takeOffLights(); }

Lights taxiInLights()
{
    return Lights{.nav = 1, .beacon = 1, .landing = 0, .taxi = 1, .strobes = 0, .logo = 1, .cabin = 1};
}

Lights belowTenThousandLights()
{
    return Lights{.nav = 1, .beacon = 1, .landing = 1, .taxi = 1, .strobes = 1, .logo = 1, .cabin = 1};
}

Lights cruiseLights()
{
    return Lights{.nav = 1, .beacon = 1, .landing = 0, .taxi = 0, .strobes = 0, .logo = 0, .cabin = 1};
}

std::uint32_t approachHighCabinLight() { return 1; }

std::uint32_t approachLowCabinLight() { return 0; }

Lights airborneLightsOnAppearing(double altFt, double heightAboveGroundFt)
{
    const std::uint32_t low = altFt <= 10000.0 ? 1 : 0;
    return Lights{.nav = 1,
                  .beacon = 1,
                  .landing = low,
                  .taxi = 0,
                  .strobes = 1,
                  .logo = low,
                  .cabin = heightAboveGroundFt >= 2000.0 ? 1u : 0u};
}

Lights groundLightsOnAppearing(std::uint32_t phase, bool navWhileParked)
{
    if (phase == phaseParked) return parkedLights(navWhileParked, true);
    return Lights{
        .nav = 1, .beacon = 1, .landing = 0, .taxi = phase == phaseTaxi ? 1u : 0u, .strobes = 0, .logo = 1, .cabin = 1};
}

Lights parkedLights(bool navWhileParked, bool cabinLit)
{
    return Lights{.nav = navWhileParked ? 1u : 0u, .logo = 1, .cabin = cabinLit ? 1u : 0u};
}

bool staticCabinLit(bool atCargoStand, bool randomChoices, std::mt19937& engine)
{
    if (atCargoStand) return false;
    return !randomChoices || engine() % 10 < 9;
}

} // namespace qtr
