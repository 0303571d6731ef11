#pragma once
// Stand-ins for two foundation helpers the feed links need (great-circle distance and the
// Winsock error text). They go away once the foundation provides them under the same names.
#include <string>

namespace qtr {

// Latitude and longitude in degrees.
struct LatLon {
    double lat = 0.0;
    double lon = 0.0;
};

// Great-circle distance in nautical miles (haversine, atan2 form).
double distanceNm(LatLon a, LatLon b);

// "10054 Connection reset by peer"; unknown codes give "<code> Unknown errror code".
std::string gf_wsaErrorText(int code);

} // namespace qtr
