// The drive of a taxiing live aircraft into the stand it reached, and its arrival there.
#include "traffic/flights/motion.h"

#include "foundation/indicators.h"
#include "foundation/clock.h"
#include "foundation/geometry.h"
#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"
#include "links/simconnect_client.h"
#include "liveries/type_queries.h"
#include "traffic/parking/live_parking.h"
#include "traffic/parking/park_airports.h"
#include "traffic/parking/stand_learning.h"
#include "traffic/state/removal.h"
#include "traffic/flights/spawning.h"
#include "traffic/state/stands.h"
#include "traffic/state/traffic_state.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

namespace qtr {

namespace {

constexpr double twoMetres = 0.0010799136069114472;

Stand* standById(std::uint32_t id)
{
    for (Stand& s : stands)
        if (s.id == id) return &s;
    return nullptr;
}

} // namespace

void drive2Stand(LiveAircraft& a, const ParkPlace& stand)
{
    if (a.stream.empty()) {
        logMarked(fmt::format("{} empty sz?", "drive2Stand"));
        return;
    }
    Position& last = a.stream.back();
    const LatLon standAt{stand.lat, stand.lon};
    const double s = a.standTaxiSpeed;
    const std::uint32_t ticks = gf_tickSpan(std::max(std::round(distanceNm(at(last), standAt) * 360000.0 / s), 100.0));
    last.speed = s;
    const bool alreadyThere = last.lat == stand.lat && last.lon == stand.lon;
    const Position& cur = a.stream.front();
    Position p;
    p.lat = stand.lat;
    p.lon = stand.lon;
    p.bank = a.bank;
    p.alt = a.alt;
    p.speed = s;
    p.tas = s;
    p.track = stand.heading * radToDeg;
    p.verticalSpeed = 0;
    p.time = cur.time + ticks;
    p.airborne = 0;
    p.stop = alreadyThere ? 1 : 0;
    p.attitudeFromFeed = cur.attitudeFromFeed;
    Position end = p;
    end.speed = 0;
    end.tas = 0;
    end.stop = 1;
    end.time = p.time + 50;
    a.stream.push_back(p);
    a.stream.push_back(end);
    a.bearingToNext = stand.heading;
    if (a.extrapolations > 0) {
        a.extrapolations = 0;
        a.backWindow = 3000;
        a.aheadWindow = a.departing ? 5000 : 3000;
    }
}

void arriveAtStand(LiveAircraft& a)
{
    Stand* stand = a.sid != 0 ? standById(a.sid) : nullptr;
    if (stand && stand->occupied) {
        // Someone else stands there: this aircraft gives way, the other keeps the stand.
        a.extrapolations = 1;
        removeAircraftFromSim(a);
        stand->occupied = true;
        return;
    }
    if (distanceNm(LatLon{a.lat, a.lon}, LatLon{a.parkLat, a.parkLon}) > twoMetres) {
        setPhase(a, phaseTaxi);
        return;
    }
    setPhase(a, phaseParked);
    a.daySlot = currentSlot.load();
    if (a.towed && LOG.value()) logLine(fmt::format("          towed aircraft {} parks", flightText(a)));
    a.stream.front().stop = 1;
    a.parkedAt = clock().systemNow();
    a.parkedDistanceLast = 0;
    a.smallMoves = 0;
    // The stand is taken from now on, like the stand of an aircraft spawned on it.
    if (stand) stand->occupied = true;
    markCargoStand(a);
    setParkedLights(a);
    if (LOG.value()) logLine(fmt::format("{:8}: {:8} arrived at stand", sidName(a.sid), flightText(a)));
    replacementChecks.push_back(a.flightId);
    if (!a.airline.empty() && a.atCargoStand == a.cargo) {
        if (lf_addRealStandOption(a.sid, a, a.daySlot, false)) rememberLearnedSlot(a.daySlot, a.flightId, true);
        removeOldLiveParked(0);
    }
}

void markCargoStand(LiveAircraft& a)
{
    if (!a.cargo || a.atCargoStand) return;
    Stand* stand = standById(a.sid);
    if (!stand) return;
    stand->cargo = true;
    stand->cargo_change = true;
    countStandChange();
    logMarked(fmt::format("{} stand: {}, cargo attribute set to true, {} parked here", parkAirportIcao, stand->name,
                          flightText(a)));
    const std::int32_t count = standChangeCount.load();
    if (indicators.updateCount.load() != count) {
        indicators.updateCount.store(count);
        indicators.invalidate(Band::statistics);
    }
}

void try2Park(LiveAircraft& a, bool wide)
{
    if (a.stream.empty()) {
        logMarked(fmt::format("{} empty sz?", "try2Park"));
        return;
    }
    const Position& last = a.stream.back();
    if (last.lat == a.standTargetLat && last.lon == a.standTargetLon) return;
    a.standTargetLat = last.lat;
    a.standTargetLon = last.lon;
    const auto found = standAtAircraft(at(last), a, wide ? 0.029697624190064796 : 0.010799136069114472);
    if (found == stands.end()) return;
    Stand& stand = *found;
    if (stand.name == reservedStandName()) return;
    const auto& user = workerUser();
    if (stand.name == nearestStandName(LatLon{user.lat, user.lon})) return;
    for (LiveAircraft& other : liveAircraft) {
        if (&other == &a || other.state != stateActive || other.phase != phaseParked || other.sid != stand.id) continue;
        if (LOG.value())
            logLine(fmt::format("{:8}: {:8} removed, {} wants to park there", stand.name, other.callsign, a.callsign));
        removeAircraftFromSim(other);
    }
    for (std::uint32_t adjacent : stand.adjacent)
        for (LiveAircraft& other : liveAircraft)
            if (&other != &a) removeByCollidingStand(adjacent, a, stand, other);
    makeWayForLiveAircraft(a, stand);
    a.parkLat = stand.lat;
    a.parkLon = stand.lon;
    a.parkHeading = stand.heading;
    a.sid = stand.id;
    a.atCargoStand = stand.cargo ? 1 : 0;
    a.stream.resize(1);
    // The turn planned toward a point that is no longer in the stream is given up.
    clearCurve(a);
    setPhase(a, phaseParking);
    drive2Stand(a, ParkPlace{stand.lat, stand.lon, stand.heading});
}

void removeByCollidingStand(std::uint32_t adjacentId, const LiveAircraft& a, const Stand& stand, LiveAircraft& other)
{
    if (other.sid != adjacentId || (other.phase != phaseParked && other.phase != phasePushingBack) ||
        other.state != stateActive)
        return;
    const Stand* adjacent = standById(adjacentId);
    if (!adjacent) return;
    const double d = distanceNm(LatLon{adjacent->lat, adjacent->lon}, LatLon{stand.lat, stand.lon});
    if ((wingspanOfType(other.type) + wingspanOfType(a.type)) * 1.1 < d) return;
    if (LOG.value())
        logLine(fmt::format("{:8}: {:8} removed by parking {} at adjacent and possibly colliding stand {}",
                            adjacent->name, other.callsign, a.callsign, stand.name));
    removeAircraftFromSim(other);
}

} // namespace qtr
