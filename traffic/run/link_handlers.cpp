#include "traffic/run/link_handlers.h"

#include "airports/airports_db.h"
#include "links/traffic_handlers.h"
#include "liveries/type_data_base.h"
#include "liveries/type_queries.h"
#include "traffic/flights/intake.h"
#include "traffic/parking/park_airports.h"
#include "traffic/state/removal.h"
#include "traffic/state/stands.h"
#include "traffic/state/traffic_state.h"

#include <utility>

namespace qtr {

namespace {

void takeReport(TrafficReport&& report)
{
    // Live traffic plays 30 s behind the feed.
    processLineAt(std::move(report), 3000);
}

// An airport counts as the one under a report within this distance: farther out, ground traffic
// is of no use anyway (it is kept only near the park airport).
constexpr double airportNearNm = 5.0;

// Reads the airports data base from the traffic reader's thread: once read it only changes when a
// test installs another.
std::optional<double> airportElevationNear(const LatLon& position)
{
    if (!airportsAvailable()) return std::nullopt;
    const std::optional<Airport> airport = nearestAirportWithin(position.lat, position.lon, airportNearNm);
    if (!airport) return std::nullopt;
    return airport->altitude;
}

const TrafficHandlers trafficManagerHandlers{
    .report = &takeReport,
    .feedLost = &removeLiveAircraftAfterFeedLoss,
    .nearestStand = &nearestStandName,
    .userStand = &requestUserStand,
    .wingspanOfType = &wingspanOfType,
    .categoryOfType = &categoryOfType,
    .maxHalfWingSpan = [] { return maxHalfWingSpan; },
    .airportElevationNear = &airportElevationNear,
};

} // namespace

void registerLinkHandlers() { setTrafficHandlers(&trafficManagerHandlers); }

} // namespace qtr
