#pragma once
// What the links hand up to the traffic manager above them. links/ may not call into traffic/
// (nor into liveries/): the traffic manager registers its handlers at its start, and each link
// calls the one it needs. Until they are registered (a test or tool that drives a link alone)
// every event is dropped and every question gets the answer "nothing known".
#include "foundation/flight_record.h"
#include "foundation/geometry.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qtr {

struct TrafficHandlers {
    // The traffic reader: a report that passed every check (traffic reader's thread).
    void (*report)(TrafficReport&& report) = nullptr;
    // RealTraffic went away: the live aircraft are to go (worker thread).
    void (*feedLost)() = nullptr;
    // The name of the stand nearest to a position, empty when none is near (SimConnect thread).
    std::string (*nearestStand)(const LatLon& position) = nullptr;
    // The user's aircraft stands at this stand: the worker takes it over (SimConnect thread).
    void (*userStand)(const std::string& stand) = nullptr;
    // The type data base, for the user aircraft's model (SimConnect thread): half wing span in nm
    // (0 for an unknown type), category, and the largest half span.
    double (*wingspanOfType)(std::string_view type) = nullptr;
    std::uint32_t (*categoryOfType)(std::string_view type) = nullptr;
    double (*maxHalfWingSpan)() = nullptr;
    // The elevation (feet) of the airport nearest a position within a few miles, empty when none
    // is known there (traffic reader's thread): what tells a slow aircraft on the ground from a
    // slow one in the air.
    std::optional<double> (*airportElevationNear)(const LatLon& position) = nullptr;
};

// Registers the handlers; the pointed-to table must live as long as the program. Every field
// must be set. Null goes back to the defaults.
void setTrafficHandlers(const TrafficHandlers* handlers);
// The handlers in force: the registered ones, else the defaults that drop and know nothing.
const TrafficHandlers& trafficHandlers();

} // namespace qtr
