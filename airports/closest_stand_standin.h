#pragma once
// Stand-in for the park-position file query that the airport choice needs: the closest stand
// of an airport to a position. The airport file Parts replace it under the same name.
#include <string>

namespace qtr {

// Distance in nm of the closest stand of icao's airport file to the position; 100.0 and the
// name unchanged while no airport files can be read.
double gf_readDestApfForClosestStand(const std::string& icao, double latitude, double longitude, std::string& stand);

} // namespace qtr
