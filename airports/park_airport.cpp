#include "airports/park_airport.h"

namespace qtr {

std::string parkAirportIcao;
std::string parkAirportIata;
LatLon parkAirportPosition;
double parkAirportElevation = 0.0;
bool parkFileLoaded = false;

} // namespace qtr
