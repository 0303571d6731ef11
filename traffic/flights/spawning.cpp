#include "traffic/flights/spawning.h"

#include "foundation/clock.h"
#include "foundation/geometry.h"
#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"
#include "links/simconnect_client.h"
#include "liveries/livery_matcher.h"
#include "liveries/type_queries.h"
#include "traffic/flights/live_update.h"
#include "traffic/flights/motion.h"
#include "traffic/parking/live_parking.h"
#include "traffic/parking/park_airports.h"
#include "traffic/state/records.h"
#include "traffic/parking/stand_learning.h"
#include "traffic/state/removal.h"
#include "traffic/state/traffic_state.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <numbers>

namespace qtr {

namespace {

constexpr double standDistance = 0.029697624190064796; // 55 m

bool endsInUnderscore(const std::string& s) { return !s.empty() && s.back() == '_'; }
std::string withoutLast(const std::string& s) { return s.empty() ? s : s.substr(0, s.size() - 1); }

const Stand* standById(std::uint32_t id)
{
    for (const Stand& s : stands)
        if (s.id == id) return &s;
    return nullptr;
}

void popFront(LiveAircraft& a) { a.stream.pop_front(); }

// The position and track (rad) the user checks measure from: the pose of an aircraft that has been
// in the simulator, else (never created, pose still at its start value) its first position.
LatLon referencePosition(const LiveAircraft& a)
{
    if (a.lat == 0.0 && a.lon == 0.0) return at(a.stream.front());
    return LatLon{a.lat, a.lon};
}

double referenceTrackDeg(const LiveAircraft& a)
{
    if (a.lat == 0.0 && a.lon == 0.0 && a.bearingToNext == 0.0) return a.stream.front().track;
    return a.bearingToNext * radToDeg;
}

// True when the aircraft must wait for the user aircraft (it has been popped or held).
bool heldByUser(LiveAircraft& a)
{
    const auto& user = workerUser();
    const Position& front = a.stream.front();
    const LatLon u = userPosition();
    if (!userOnGround.load()) {
        if (!COLLISION_USER_AIR.value()) return false;
        if (!front.airborne) {
            if (a.heldForUser) return true;
            const LatLon ref = referencePosition(a);
            const double d = distanceNm(u, ref);
            const double angle = std::fabs(wrapPi(user.heading - initialBearing(u, ref)));
            if (d <= 1.5 && user.altAboveGround < 1000.0 && std::sin(angle) * d * feetPerNm <= 500.0) {
                a.heldForUser = 1;
                return true;
            }
            return false;
        }
        const double d = distanceNm(u, at(front));
        if (d > 6.0 || std::fabs(front.alt - user.alt) >= 3000.0) return false;
        const double angle = wrapLonDeg(referenceTrackDeg(a) - initialBearing(u, at(front)) * radToDeg);
        double folded;
        if (angle >= 0.0 && angle <= 90.0) {
            folded = 90.0 - angle;
        } else if (angle > 90.0) {
            folded = angle - 90.0;
        } else if (angle >= -90.0) {
            folded = angle + 90.0;
        } else {
            folded = 90.0 - (angle + 180.0);
        }
        if (std::cos(folded * degToRad) * d * feetPerNm <= 4000.0) {
            a.heldForUser = 1;
            return true;
        }
        return false;
    }
    const double d = distanceNm(u, at(front));
    if (a.heldForUser) {
        const bool clear = user.groundVelocity <= 8.0 &&
                           (front.airborne || (front.speed <= 8.0 && d >= 500.0 / 1852.0));
        if (!clear) return true;
    }
    return !front.airborne && COLLISION_USER_GND.value() && d < 0.08099352051835854;
}

void takeStand(LiveAircraft& a, Stand& stand)
{
    makeWayForLiveAircraft(a, stand);
    Position& front = a.stream.front();
    front.stop = 1;
    front.speed = 0;
    a.parkLat = stand.lat;
    a.parkLon = stand.lon;
    a.parkHeading = stand.heading;
    a.sid = stand.id;
    a.atCargoStand = stand.cargo ? 1 : 0;
    setPhase(a, phaseParked);
    stand.occupied = true;
    a.parkedAt = clock().systemNow();
    a.parkedDistanceLast = 0;
    a.smallMoves = 0;
    markCargoStand(a);
    a.stream.resize(1);
    a.stream.front().lat = stand.lat;
    a.stream.front().lon = stand.lon;
    a.stream.front().track = stand.heading * radToDeg;
    const DaySlot now = currentSlot.load();
    if (lf_addRealStandOption(a.sid, a, now, false)) rememberLearnedSlot(now, a.flightId, true);
    removeOldLiveParked(1);
}

} // namespace

void maySpawn(LiveAircraft& a)
{
    if (a.stream.empty()) {
        a.eraseFromBuffer = 1;
        return;
    }
    const Position& front = a.stream.front();
    const std::int64_t lead = (!front.airborne && front.speed != 0.0) ? 300 : 100;
    if (static_cast<std::int64_t>(tickCount) < static_cast<std::int64_t>(front.time) - lead) return;
    if (a.stream.size() == 1) {
        a.eraseFromBuffer = 1;
        return;
    }
    if (endsInUnderscore(a.callsign) && std::find(ghostList.begin(), ghostList.end(), a.callsign) != ghostList.end()) {
        a.eraseFromBuffer = 1;
        return;
    }
    const bool anyAirborne =
        std::any_of(a.stream.begin(), a.stream.end(), [](const Position& p) { return p.airborne; });
    const bool anyGround = std::any_of(a.stream.begin(), a.stream.end(), [](const Position& p) { return !p.airborne; });
    if (anyAirborne && anyGround) return popFront(a);
    if (heldByUser(a)) return popFront(a);
    if (pendingLiveCreations.size() > 10 && a.phase == phaseBirth) return popFront(a);
    if (const std::int32_t maxLive = MAX_LIVE.value(); maxLive != -1) {
        const auto active = std::count_if(liveAircraft.begin(), liveAircraft.end(),
                                          [](const LiveAircraft& x) { return x.state == stateActive; });
        const auto total = static_cast<std::int64_t>(active + readyToSpawn.size() + pendingLiveCreations.size());
        if (total >= maxLive && removeFarthestLive(distanceNm(at(front), userPosition()))) {
            a.eraseFromBuffer = 1;
            return;
        }
    }
    if (!BLOCK_CALLSIGN.value().empty() && BLOCK_CALLSIGN.value() == a.callsign) {
        a.eraseFromBuffer = 1;
        return;
    }
    std::optional<RegistrationInfo> info;
    if (!a.registration.empty()) info = registrationInfo(a.registration);
    if (info) {
        // Empty fields of the record are unknowns: the flight keeps its own airline and type.
        if (const std::string airline = flyingAirline(*info); !airline.empty()) a.airline = airline;
        takeRecordType(a, info->type);
        a.cargo = info->cargo ? 1 : 0;
        if (!hasCallsign(a)) a.callsign = a.registration;
    }
    if (!hasCallsign(a)) {
        a.eraseFromBuffer = 1;
        return;
    }
    if (a.airline.empty() && !setAirlineFromCallsign(a)) a.airline = "PVT";
    // A freight airline's flight is cargo unless its registration's record says otherwise.
    if (!info && isCargoOperator(a.airline)) a.cargo = 1;
    if (unmatchedNames.count(coupleKey(a)) != 0) {
        a.eraseFromBuffer = 1;
        return;
    }
    if (endsInUnderscore(a.callsign) && liveCallsignExists(a.callsign)) {
        a.eraseFromBuffer = 1;
        return;
    }
    spawnLiveAc(a);
}

void spawnLiveAc(LiveAircraft& a)
{
    if (a.stream.size() < 2) {
        // Nothing to build a pose from: wait for more positions.
        logLine(fmt::format("{} sz:{}", "spawnLiveAc", a.stream.size()));
        return;
    }
    {
        Position& first = a.stream[0];
        Position& second = a.stream[1];
        if (second.stop) {
            first.stop = 1;
            first.speed = 0;
            second.speed = 0;
            if (a.stream.size() > 2 && a.stream[2].stop) a.stream[2].speed = 0;
        } else {
            first.stop = 0;
        }
    }
    if (a.phase == phaseBirth) {
        if (!assignLivery(a)) {
            if (!a.registration.empty()) unmatchedNames.insert(coupleKey(a));
            a.eraseFromBuffer = 1;
            return;
        }
        const Position& front = a.stream.front();
        const Position& second = a.stream[1];
        if (front.airborne) {
            setPhase(a, phaseFlying);
        } else if (stands.empty() || parkAirportIcao.empty() || distanceNm(at(front), parkAirportPosition) > 5.0 ||
                   (!front.stop &&
                    (second.speed > 5.0 || distanceNm(at(a.stream.back()), at(front)) > 0.018898488120950324))) {
            setPhase(a, phaseTaxi);
        } else {
            const LatLon probe = front.stop ? at(front) : at(a.stream.back());
            auto stand = standAtAircraft(probe, a, standDistance);
            if (stand == stands.end()) {
                if (second.stop) {
                    a.stream.pop_front();
                    return;
                }
                setPhase(a, phaseTaxi);
            } else if (stand->name == reservedStandName() || stand->name == nearestStandName(userPosition())) {
                // The user's stand: the aircraft appears without taking it, as a taxiing aircraft
                // that leaves and takes off like any other.
                setPhase(a, phaseTaxi);
            } else {
                bool ok = true;
                for (LiveAircraft& other : liveAircraft)
                    if (&other != &a && claimStand(ok, stand->id, a.callsign, other)) break;
                if (!ok || findLiveOnStand(stand->adjacent, *stand, a) != stand->adjacent.end() ||
                    keptOffStandForLimit(a)) {
                    a.eraseFromBuffer = 1;
                } else {
                    takeStand(a, *stand);
                }
            }
        }
    }
    if (a.eraseFromBuffer) return;
    // Its static twins and coupled callsigns are looked for in the next data cycles.
    replacementChecks.push_back(a.flightId);
    const Position& front = a.stream.front();
    a.lat = front.lat;
    a.lon = front.lon;
    a.alt = front.alt;
    a.bank = front.bank.value_or(0.0);
    a.speed = front.tas;
    a.verticalSpeedFps = front.verticalSpeed / 60.0;
    if (!front.airborne) {
        a.pitch = 0.010471975511965976;
    } else {
        double v = front.verticalSpeed;
        v = v > 0.0 ? std::min(v, 2400.0) : std::max(v, -3000.0) / 2.0;
        a.pitch = (-3.0 - (v / 600.0) * 2.2) * degToRad;
    }
    double heading;
    if (a.savedHeading) {
        heading = *a.savedHeading;
    } else if (a.phase == phaseParked) {
        heading = a.parkHeading;
    } else if (a.stream.size() > 1 && a.stream[1].stop) {
        heading = front.track * degToRad;
    } else if (a.stream.size() > 1) {
        heading = initialBearing(at(front), at(a.stream[1]));
    } else {
        heading = front.track * degToRad;
    }
    heading = std::fmod(heading, twoPi);
    if (heading < 0) heading += twoPi;
    a.heading = heading;
    // A rate, not an angle: the ground motion turns by its own rules, and a parked aircraft must
    // not spin when its first report moves it.
    a.headingRate = 0.0;
    a.state = stateAdding2Sim;
    a.heldForUser = 0;
    readyToSpawn.push_back(a.flightId);
    if (!endsInUnderscore(a.callsign)) removeGhost(a.callsign);
}

void makeWayForLiveAircraft(LiveAircraft& a, const Stand& stand)
{
    for (StaticAircraft& s : staticAircraft)
        if (makeWay(stand, a, s)) break;
    std::erase_if(staticAircraft, [](const StaticAircraft& s) { return s.erase != 0; });
    for (std::uint32_t id : stand.adjacent)
        for (StaticAircraft& s : staticAircraft)
            if (removeByAdjacentParking(id, stand, a, s)) break;
}

bool makeWay(const Stand& stand, const LiveAircraft& a, StaticAircraft& s)
{
    if (s.sid != stand.id) return false;
    const char* same = (s.callsignKey == a.callsign || (!s.registration.empty() && s.registration == a.registration))
                           ? " the same live version"
                           : "";
    if (s.state == stateActive) {
        if (LOG.value())
            logLine(fmt::format("{:8}: {:8} {} makes way for{} {} {}", stand.name, s.callsign, s.registration, same,
                                a.callsign, a.registration));
        removeAircraftFromSim(s);
        return true;
    }
    if (s.state == stateAdding2Sim) {
        if (removeFromPendingQueue(pendingStaticCreations, s)) {
            s.erase = 1;
            if (LOG.value())
                logLine(fmt::format("queued {:8}: {:8} {} makes way for{} {} {}", stand.name, s.callsign,
                                    s.registration, same, a.callsign, a.registration));
        } else {
            s.removeWhenCreated = 1;
        }
    }
    return true;
}

bool removeByAdjacentParking(std::uint32_t adjacentId, const Stand& stand, const LiveAircraft& a, StaticAircraft& s)
{
    if (s.sid != adjacentId || s.state != stateActive) return false;
    const Stand* adjacent = standById(adjacentId);
    const LatLon adjacentAt = adjacent ? LatLon{adjacent->lat, adjacent->lon} : LatLon{0.0, 0.0};
    const double d = distanceNm(adjacentAt, LatLon{stand.lat, stand.lon});
    if (d > (wingspanOfType(s.type) + wingspanOfType(a.type)) * 1.1) return false;
    if (LOG.value())
        logLine(fmt::format("{:8}: {:8} removed by {} parking at adjacent stand {}", sidName(s.sid), s.callsign,
                            a.callsign, stand.name));
    removeAircraftFromSim(s);
    return true;
}

void removeGhost(const std::string& callsign)
{
    const std::string ghost = callsign + "_";
    for (LiveAircraft& a : liveAircraft) {
        if (a.callsign != ghost || a.state == stateRemovingFromSim) continue;
        if (LOG.value()) {
            if (a.phase == phaseParked) {
                logLine(fmt::format("{:8}: {:8} is a ghost and will be removed, continue with {}", sidName(a.sid),
                                    ghost, callsign));
            } else {
                logLine(
                    fmt::format("          {:8} is a ghost and will be removed, continue with {}", ghost, callsign));
            }
        }
        ghostList.push_back(ghost);
        removeAircraftFromSim(a);
        return;
    }
}

bool liveCallsignExists(const std::string& callsign)
{
    const std::string base = withoutLast(callsign);
    return std::any_of(liveAircraft.begin(), liveAircraft.end(), [&base](const LiveAircraft& a) {
        return a.state != stateRemovingFromSim && a.callsign == base;
    });
}

bool claimStand(bool& ok, std::uint32_t sid, const std::string& c, LiveAircraft& other)
{
    const bool standing = other.phase == phaseParked || other.phase == phasePushingBack ||
                          other.phase == phasePushedBack;
    if (other.sid != sid || !standing || other.state != stateActive) return false;
    const std::string name = sidName(sid);
    if (other.callsign == c) {
        if (LOG.value())
            logLine(fmt::format("{:8}: {:8} ac with same callsign {} wants it, remove existing ... ", name,
                                other.callsign, c));
        removeAircraftFromSim(other);
        return true;
    }
    if (withoutLast(c) == other.callsign) {
        ok = false;
        return true;
    }
    if (c == withoutLast(other.callsign)) {
        if (LOG.value()) logLine(fmt::format("{:8}: {:8} ghost, replace by {}", name, other.callsign, c));
        removeAircraftFromSim(other);
        return true;
    }
    if (!endsInUnderscore(other.callsign) && endsInUnderscore(c)) {
        ok = false;
        return true;
    }
    if (other.parkedReportSeen) {
        ok = false;
        return true;
    }
    if (LOG.value())
        logLine(fmt::format("{:8}: {:8} removed because another live {} wants the stand ...", name, other.callsign, c));
    removeAircraftFromSim(other);
    return true;
}

std::vector<std::uint32_t>::const_iterator findLiveOnStand(const std::vector<std::uint32_t>& adjacent,
                                                           const Stand& stand, const FlightRecord& aircraft)
{
    for (auto it = adjacent.begin(); it != adjacent.end(); ++it) {
        const LiveAircraft* other = nullptr;
        for (const LiveAircraft& a : liveAircraft)
            if (a.state == stateActive && a.sid == *it && (a.phase == phaseParked || a.phase == phasePushingBack) &&
                a.callsign != aircraft.callsign) {
                other = &a;
                break;
            }
        if (!other) continue;
        const Stand* neighbour = standById(*it);
        if (!neighbour) return it;
        const double d = distanceNm(LatLon{neighbour->lat, neighbour->lon}, LatLon{stand.lat, stand.lon});
        if ((wingspanOfType(aircraft.type) + wingspanOfType(other->type)) * 1.1 >= d) return it;
    }
    return adjacent.end();
}

} // namespace qtr
