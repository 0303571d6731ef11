#pragma once
// The park airport in use, as the traffic manager chooses it and its airport file's reader
// completes it (elevation, file loaded). Worker thread.
#include "foundation/geometry.h"

#include <string>

namespace qtr {

// The park airport in use: empty ICAO code when none.
extern std::string parkAirportIcao;
extern std::string parkAirportIata;
extern LatLon parkAirportPosition;
extern double parkAirportElevation; // ft
// The park airport's park-position file is loaded: taxiing live aircraft may park on its stands.
extern bool parkFileLoaded;

} // namespace qtr
