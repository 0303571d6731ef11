#include "links/traffic_handlers.h"

#include <atomic>

namespace qtr {

namespace {

const TrafficHandlers noTrafficManager{
    .report = [](TrafficReport&&) {},
    .feedLost = [] {},
    .nearestStand = [](const LatLon&) { return std::string(); },
    .userStand = [](const std::string&) {},
    .wingspanOfType = [](std::string_view) { return 0.0; },
    .categoryOfType = [](std::string_view) { return std::uint32_t{categoryLight}; },
    .maxHalfWingSpan = [] { return 0.0; },
    .airportElevationNear = [](const LatLon&) { return std::optional<double>(); },
};

// Read from the readers' and the SimConnect thread, written at the start: an atomic pointer
// to a table that never changes.
std::atomic<const TrafficHandlers*> registered{nullptr};

} // namespace

void setTrafficHandlers(const TrafficHandlers* handlers) { registered.store(handlers); }

const TrafficHandlers& trafficHandlers()
{
    const TrafficHandlers* handlers = registered.load();
    return handlers ? *handlers : noTrafficManager;
}

} // namespace qtr
