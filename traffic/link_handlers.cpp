#include "traffic/link_handlers.h"

#include "links/traffic_handlers.h"
#include "liveries/type_data_base.h"
#include "liveries/type_queries.h"
#include "traffic/intake.h"
#include "traffic/park_airports.h"
#include "traffic/removal.h"
#include "traffic/stands.h"
#include "traffic/traffic_state.h"

#include <utility>

namespace qtr {

namespace {

void takeReport(TrafficReport&& report)
{
    // Live traffic plays 30 s behind the feed.
    processLineAt(std::move(report), 3000);
}

const TrafficHandlers trafficManagerHandlers{
    .report = &takeReport,
    .feedLost = &removeLiveAircraftAfterFeedLoss,
    .nearestStand = &nearestStandName,
    .userStand = &requestUserStand,
    .wingspanOfType = &wingspanOfType,
    .categoryOfType = &categoryOfType,
    .maxHalfWingSpan = [] { return maxHalfWingSpan; },
};

} // namespace

void registerLinkHandlers() { setTrafficHandlers(&trafficManagerHandlers); }

} // namespace qtr
