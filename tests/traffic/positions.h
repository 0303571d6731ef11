#pragma once
// A stream position for the traffic tests: degrees, the tick it is due, speed (kn) and altitude (ft).
#include "traffic/state/records.h"

#include <cstdint>

namespace qtest {

inline qtr::Position at(double lat, double lon, std::uint32_t time, double speed = 0, double alt = 0)
{
    qtr::Position p;
    p.lat = lat;
    p.lon = lon;
    p.time = time;
    p.speed = p.tas = speed;
    p.alt = alt;
    p.airborne = alt > 0 ? 1 : 0;
    return p;
}

} // namespace qtest
