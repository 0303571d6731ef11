#include "traffic/state/records.h"

#include "traffic/state/category_table.h"
#include "foundation/geometry.h"
#include "foundation/utilities.h"
#include "liveries/type_queries.h"

#include <fmt/format.h>

#include <cctype>
#include <stdexcept>

namespace qtr {

namespace {

const CategoryTable<double> baseTurnRates{{0, 0.15 * degToRad}, {1, 0.10 * degToRad}, {2, 0.07 * degToRad},
                                          {3, 0.05 * degToRad}, {4, 0.10 * degToRad}, {5, 0.20 * degToRad}};
const CategoryTable<double> rotationPitches{{0, -9}, {1, -8}, {2, -6}, {3, -5}, {4, -6}, {5, -20}};
const CategoryTable<double> climbPitches{{0, -15}, {1, -18}, {2, -16.5}, {3, -12.5}, {4, -20}, {5, -30}};
const CategoryTable<std::uint32_t> flareTicks{{0, 250}, {1, 300}, {2, 400}, {3, 450}, {4, 150}, {5, 100}};
const CategoryTable<std::uint32_t> rolloutTicks{{0, 250}, {1, 300}, {2, 350}, {3, 450}, {4, 150}, {5, 100}};
const CategoryTable<std::uint32_t> rotationTicks{{0, 100}, {1, 200}, {2, 200}, {3, 250}, {4, 100}, {5, 100}};
const CategoryTable<std::uint32_t> climbPitchTicks{{0, 200}, {1, 250}, {2, 300}, {3, 400}, {4, 200}, {5, 100}};

template <class Source>
void copyIdentity(FlightRecord& to, const Source& from)
{
    to.airline = from.airline;
    to.type = from.type;
    to.origin = from.origin;
    to.destination = from.destination;
    to.callsign = from.callsign;
    to.callsignKey = from.callsignKey;
    to.coupledCallsign = from.coupledCallsign;
    to.registration = from.registration;
    to.coupledSearched = from.coupledSearched;
}

template <class Source>
FlightRecord buildRecord(const Source& source)
{
    FlightRecord r;
    copyIdentity(r, source);
    r.radius = wingspanOfType(r.type);
    r.category = categoryOfType(r.type);
    r.flareTicks = lookup(flareTicks, r.category);
    r.rolloutTicks = lookup(rolloutTicks, r.category);
    r.rotationTicks = lookup(rotationTicks, r.category);
    r.climbPitchTicks = lookup(climbPitchTicks, r.category);
    r.rotationPitch = gf_randomPercent(lookup(rotationPitches, r.category), 2.5) * degToRad;
    r.climbPitch = gf_randomPercent(lookup(climbPitches, r.category), 5.0) * degToRad;
    r.baseTurnRate = lookup(baseTurnRates, r.category);
    return r;
}

} // namespace

double categoryBaseTurnRate(std::uint32_t c) { return lookup(baseTurnRates, c); }
double categoryRotationPitch(std::uint32_t c) { return lookup(rotationPitches, c); }
double categoryClimbPitch(std::uint32_t c) { return lookup(climbPitches, c); }
std::uint32_t categoryFlareTicks(std::uint32_t c) { return lookup(flareTicks, c); }
std::uint32_t categoryRolloutTicks(std::uint32_t c) { return lookup(rolloutTicks, c); }
std::uint32_t categoryRotationTicks(std::uint32_t c) { return lookup(rotationTicks, c); }
std::uint32_t categoryClimbPitchTicks(std::uint32_t c) { return lookup(climbPitchTicks, c); }

// Built on first use.
double categoryMaxClimbRate(std::uint32_t c)
{
    static const CategoryTable<double> table{{0, 0.5}, {1, 0.75}, {2, 0.6}, {3, 0.5}, {4, 1.0}, {5, 0.75}};
    return lookup(table, c);
}

double categoryStandTaxiSpeed(std::uint32_t c)
{
    static const CategoryTable<double> table{{0, 5.0}, {1, 4.5}, {2, 4.0}, {3, 3.0}, {4, 4.5}, {5, 5.0}};
    return lookup(table, c);
}

StaticAircraft::StaticAircraft(FlightRecord&& record, std::uint32_t standId, const ParkPlace& place,
                               std::uint8_t cargoStand)
    : FlightRecord(std::move(record)), parkLat(place.lat), parkLon(place.lon), parkHeading(place.heading), sid(standId),
      atCargoStand(cargoStand)
{
}

LiveAircraft::LiveAircraft(const Position& first, FlightRecord&& record, double reportTime)
    : StaticAircraft(std::move(record), 0, ParkPlace{}, 0), lastReportTime(reportTime)
{
    stream.push_back(first);
}

FlightRecord makeFlightRecord(const FlightRecord& source) { return buildRecord(source); }
FlightRecord makeFlightRecord(const TrafficReport& source) { return buildRecord(source); }

void takeRecordType(FlightRecord& record, const std::string& type)
{
    if (type.empty() || type == record.type) return;
    record.type = type;
    const FlightRecord fresh = buildRecord(record);
    record.radius = fresh.radius;
    record.category = fresh.category;
    record.flareTicks = fresh.flareTicks;
    record.rolloutTicks = fresh.rolloutTicks;
    record.rotationTicks = fresh.rotationTicks;
    record.climbPitchTicks = fresh.climbPitchTicks;
    record.rotationPitch = fresh.rotationPitch;
    record.climbPitch = fresh.climbPitch;
    // The turn rate may be scaled for a turn under way: it keeps its ratio to the base rate.
    record.turnRate = record.baseTurnRate > 0.0 ? record.turnRate * fresh.baseTurnRate / record.baseTurnRate
                                                : fresh.baseTurnRate;
    record.baseTurnRate = fresh.baseTurnRate;
    record.maxClimbRate = categoryMaxClimbRate(fresh.category);
    record.standTaxiSpeed = categoryStandTaxiSpeed(fresh.category);
}

std::string_view phaseName(std::uint32_t phase)
{
    static const CategoryTable<std::string_view> names{{0, "pushing_back"}, {1, "pushed_back"}, {2, "taxi"},
                                                       {3, "take_off"},     {4, "flying"},      {5, "parking"},
                                                       {6, "parked"},       {7, "birth"}};
    return lookup(names, phase);
}

std::string_view simStateName(std::uint32_t state)
{
    static const CategoryTable<std::string_view> names{
        {0, "buffer"}, {1, "adding2sim"}, {2, "active"}, {3, "liveryrespawn"}, {4, "removingfromsim"}};
    return lookup(names, state);
}

void setPhase(LiveAircraft& a, std::uint32_t phase)
{
    if (a.phase == phase) return;
    a.previousPhase = a.phase;
    a.phase = phase;
}

void forgetParkPlace(StaticAircraft& aircraft)
{
    aircraft.parkLat = 0;
    aircraft.parkLon = 0;
    aircraft.parkHeading = 0;
    aircraft.sid = 0;
    aircraft.atCargoStand = 0;
}

} // namespace qtr
