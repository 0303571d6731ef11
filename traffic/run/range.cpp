#include "traffic/run/range.h"

#include "foundation/parameters/parameter_display.h"
#include "foundation/geometry.h"
#include "foundation/parameters/parameter_table.h"
#include "links/simconnect_client.h"
#include "traffic/parking/park_airports.h"
#include "traffic/state/traffic_state.h"

#include <cmath>

namespace qtr {

void autoRange()
{
    const auto& user = workerUser();
    std::int32_t n;
    if (userOnGround.load()) {
        n = 10;
    } else if (user.alt > AUTO_RANGE_ABOVE_HEIGHT.value()) {
        n = 100;
    } else if (user.alt > AIRPORT_HEIGHT.value()) {
        n = 40;
    } else {
        const double d = parkAirportList.empty()
                             ? 10000.0
                             : distanceNm(LatLon{user.lat, user.lon}, parkAirportList.front().position);
        if (d <= 7.0) {
            n = 10;
        } else if (d < 37.0) {
            n = static_cast<std::int32_t>(std::round(d)) + 3;
        } else {
            n = 40;
        }
    }
    const std::int32_t before = LATERAL_RANGE.value();
    setRangeNm(n);
    if (LATERAL_RANGE.value() != before) showIntParameter(LATERAL_RANGE);
}

} // namespace qtr
