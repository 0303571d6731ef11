#pragma once
// Livery respawn: the simulator object of a live aircraft carries the livery and tail number it
// was created with, so a report with another callsign, or a registration or route that points to
// another airline or type, has the object removed and created again while the record, its pose
// and its stream stay. Worker thread only.
#include "traffic/state/records.h"

namespace qtr {

// True when the report is to be used as usual; false when the aircraft was just respawned or the
// report is to be ignored.
bool checkLiveryRespawn(LiveAircraft& aircraft, const TrafficReport& report);
void liveryRespawn(LiveAircraft& aircraft);

} // namespace qtr
