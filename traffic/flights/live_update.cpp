// The per-tick update of one live aircraft, its livery, and the intake of a report into its
// stream with the repairs that its phase asks for.
#include "traffic/flights/live_update.h"

#include "foundation/clock.h"
#include "foundation/geometry.h"
#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"
#include "links/simconnect_client.h"
#include "liveries/livery_matcher.h"
#include "liveries/type_queries.h"
#include "traffic/state/lights.h"
#include "traffic/flights/motion.h"
#include "traffic/state/removal.h"
#include "traffic/flights/spawning.h"
#include "traffic/parking/stand_learning.h"
#include "traffic/state/stands.h"
#include "traffic/state/traffic_state.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

namespace qtr {

namespace {

constexpr double onStand = 0.0458963282937365;    // 85 m
constexpr double leftStand = 0.10799136069114472; // 200 m
constexpr double threeMetres = 0.0016198704103671706;
constexpr double smallStop = 0.011879049676025918; // 22 m

void resetWindows(LiveAircraft& a)
{
    a.aheadWindow = a.departing ? 5000 : 3000;
    a.backWindow = 3000;
}

double offHeading(const LiveAircraft& a, const Position& from, const Position& to)
{
    return std::fabs(wrapSigned(initialBearing(at(from), at(to)) - a.heading)) * radToDeg;
}

void goAround(LiveAircraft& a)
{
    setPhase(a, phaseTaxi);
    a.departing = 1;
    setThrottleLevel(a, 3);
    setSpoilers(a, 16383);
    setFlapStage(a, 1);
    a.approach = 0;
    a.stayCheckPending = 0;
    a.goAround = 0;
    gf_queueLights(a.objectid, goAroundLights());
    a.aheadWindow = 5000;
    a.backWindow = 3000;
}

// A report far off the heading of a dead-reckoned aircraft is usually one the reckoning ran past
// on a straight track: turning back to it would fly a U-turn. It is the feed's word all the same
// when it lies farther from the aircraft than the reckoning has carried it from the last report
// (the aircraft turned in the gap), or when it is the second such report in a row. The distance
// is the one flown so far: the far end of the planned reckoning lies ahead of the aircraft and
// would outweigh a helicopter's reports that it stopped and turned a few metres away.
bool reportOutvotesReckoning(LiveAircraft& a, const Position& p)
{
    const LatLon here{a.lat, a.lon};
    const double reckoned = distanceNm(LatLon{a.reckonedFromLat, a.reckonedFromLon}, here);
    if (distanceNm(here, at(p)) > reckoned) return true;
    if (a.refusedDuringReckoning >= 1) return true;
    ++a.refusedDuringReckoning;
    return false;
}

// Whether a vertical speed (ft/min) climbs (1), descends (-1) or holds (0), within what altitude
// reports in steps of 25 ft some 10 to 20 s apart can tell.
int verticalTrend(double ftPerMin) { return ftPerMin > 150.0 ? 1 : ftPerMin < -150.0 ? -1 : 0; }

// The feed's vertical speed is often missing (0) or a few ft/min on a descent of 800. The approach,
// the configuration, the pitch and the climb-out read it: where it is missing or points another
// way than the reported altitudes, the altitudes' own rate since the last position stands for it.
void verticalSpeedFromAltitudes(const LiveAircraft& a, Position& p)
{
    if (a.stream.empty() || !p.airborne) return;
    const Position& last = a.stream.back();
    const std::int32_t ticks = signedDiff(p.time, last.time);
    if (!last.airborne || ticks < 100) return;
    const double reported = (p.alt - last.alt) * 6000.0 / ticks;
    if (p.verticalSpeed != 0 && verticalTrend(p.verticalSpeed) == verticalTrend(reported)) return;
    p.verticalSpeed = reported;
}

} // namespace

bool updateLiveAc(LiveAircraft& a)
{
    try {
        if (a.state == stateBuffer) {
            maySpawn(a);
        } else if (a.state == stateActive) {
            if (a.stream.empty()) {
                logLine(fmt::format("{} stream empty ? {}, hexid:{}, objectid:{}, alt:{:.0f} ft, lalo:{}, TAS:{:.0f}",
                                    "updateLiveAc", flightText(a), a.flightId, a.objectid, a.alt,
                                    fmt::format("{:.6f},{:.6f}", a.lat, a.lon), a.speed));
                removeAircraftFromSim(a);
            } else {
                if (signedDiff(tickCount.load(), a.stream.front().time) >= 0) {
                    nextPosMain(a);
                    a.verticalSpeedFps = a.verticalSpeed / 60.0;
                    a.speed = (!a.stream.empty() && a.stream.front().stop) ? 0.0 : a.signedSpeed;
                }
                if (a.state == stateActive && !a.stream.empty() && !a.stream.front().stop) moveLiveAcTick(a);
                if (a.objectid == 0) {
                    logLine(fmt::format("{} objectid=0? hexid: {},cs:{}, reg:{}, aimo:{} sz:{}", "updateLiveAc",
                                        a.flightId, a.callsign, a.registration, airlineTypeText(a), a.stream.size()));
                    removeAircraftFromSim(a);
                } else {
                    fillPositions.push_back(PositionUpdate{a.lat, a.lon, a.pitch, a.bank, a.heading, a.alt,
                                                           a.verticalSpeedFps, a.speed, a.objectid});
                }
            }
        }
    } catch (const std::exception& e) {
        logLine(fmt::format("{}: {} {}, sz:{}, fs:{}, st:{}", "updateLiveAc", e.what(), flightText(a), a.stream.size(),
                            phaseName(a.phase), simStateName(a.state)));
    }
    return a.eraseFromBuffer || a.erase;
}

bool assignLivery(LiveAircraft& a)
{
    if (!a.livery.empty()) return true;
    if (const auto it = liveryChoices.find(a.flightId); it != liveryChoices.end()) {
        if (!isFailedTitle(it->second)) {
            a.livery = it->second;
            return true;
        }
        liveryChoices.erase(it);
    }
    gf_matchLiveryLive(a);
    if (a.livery.empty()) return false;
    // A view of the data base's title: forgetting the choice frees nothing the record shows.
    liveryChoices[a.flightId] = a.livery;
    return true;
}

void addPositionToStream(LiveAircraft& a, Position p)
{
    if (a.stream.size() > 200) removeAircraftFromSim(a);
    if (a.holding && !a.stream.empty() &&
        distanceNm(at(p), at(a.stream.front())) * 1852.0 > static_cast<double>(HOLDING_THRESHOLD_METERS.value())) {
        a.holding = 0;
        a.holdStart = 0;
        removeAircraftFromSim(a);
        return;
    }
    switch (a.phase) {
    case phaseBirth:
        if (!a.stream.empty() && markDuplicatePosition(a, p)) {
            if (signedDiff(p.time, a.stream.back().time) < 1) p.time = a.stream.back().time + 1;
            verticalSpeedFromAltitudes(a, p);
            a.stream.push_back(p);
        }
        return;
    case phaseParking:
    case phaseParked:
        if (a.state == stateBuffer || a.state == stateAdding2Sim) return;
        if (!checkMoveFromParked(a, p)) return;
        break;
    case phasePushingBack:
        if (!STRAIGHT_PBS_ONLY.value() && a.pushbackCounter == 2) {
            double heading;
            if (p.trueHeading) {
                heading = *p.trueHeading;
            } else {
                if (p.track == 0) return;
                heading = p.track * degToRad;
            }
            a.pushbackTurnRight = wrapSigned(heading - a.heading) > 0 ? 1 : 0;
            a.pushbackTurnKnown = 1;
        }
        return;
    case phasePushedBack: {
        const double d = distanceNm(at(p), LatLon{a.lat, a.lon});
        if ((d <= 2.75 * a.radius || d <= a.holdDistance) && d <= 6.0 * a.radius) {
            if (!a.holding) {
                a.holding = 1;
                a.holdStart = tickCount.load();
            }
            a.holdDistance = d;
            return;
        }
        p.stop = 0;
        if (a.extrapolations > 0 && !a.stream.empty()) {
            a.stream.front().time = tickCount.load() + 1;
            a.extrapolations = 0;
            resetWindows(a);
        }
        a.pushbackTurnKnown = 0;
        a.pushbackCounter = 0;
        setPhase(a, phaseTaxi);
        forgetParkPlace(a);
        a.holding = 0;
        a.holdStart = 0;
        break;
    }
    default:
        if (a.approach || a.landingRoll) {
            if (!checkNewPosDuringLanding(a, p)) return;
        } else {
            if (!markDuplicatePosition(a, p)) return;
            if (a.extrapolations > 0 && !checkExtendingSituations(a, p)) return;
        }
        break;
    }
    if (!p.airborne && !a.stream.empty() && a.stream.back().stop) {
        if (!p.stop) {
            removeSmallStop(a, p);
        } else if (std::all_of(a.stream.begin(), a.stream.end(), [](const Position& q) { return q.stop != 0; })) {
            a.stream.resize(1);
        }
    }
    if (!a.stream.empty() && signedDiff(p.time, a.stream.back().time) < 1) p.time = a.stream.back().time + 1;
    if (a.state == stateActive && a.onGround && !a.departing && !a.stream.empty()) {
        const Position& last = a.stream.back();
        if (a.landingRoll && last.airborne && p.airborne) {
            goAround(a);
        } else if ((p.airborne || (p.speed >= 43.0 && last.speed >= 43.0)) && a.phase == phaseTaxi) {
            startDeparture(a);
        }
    }
    verticalSpeedFromAltitudes(a, p);
    a.stream.push_back(p);
    if (a.stream.size() == 2 && a.stream[0].stop && a.stream[1].stop) {
        a.stream[0].time = tickCount.load() + 1;
        a.stream[0].speed = a.stream[1].speed;
    }
}

bool markDuplicatePosition(LiveAircraft& a, Position& p)
{
    const Position& last = a.stream.back();
    const bool exact = p.lat == last.lat && p.lon == last.lon;
    p.stop = exact ? 1 : 0;
    if (a.category == categoryRotorcraft) return true;
    const bool flying = p.airborne || (a.state == stateActive && !a.onGround);
    if (!exact) {
        if (std::fabs(p.lat - last.lat) <= 0.00015 && std::fabs(p.lon - last.lon) <= 0.00015) {
            if (flying || (a.departing && p.speed > 0 && last.speed >= 50.0)) return false;
            p = last;
            p.speed = 0;
            p.stop = 1;
            return true;
        }
        if (p.speed != 0) return true;
        return !((a.departing || p.airborne) && last.speed >= 50.0);
    }
    if (flying) return false;
    if (a.departing && p.speed > 0 && last.speed >= 30.0) return false;
    p.speed = 0;
    return true;
}

bool checkMoveFromParked(LiveAircraft& a, Position& p)
{
    const bool seenBefore = a.parkedReportSeen != 0;
    a.parkedReportSeen = 1;
    const double d = distanceNm(at(p), LatLon{a.parkLat, a.parkLon});
    const double limit = a.previousPhase == phaseParking ? 2 * onStand : onStand;
    if (d <= limit) {
        a.parkedAt = clock().systemNow();
        if (!seenBefore) {
            a.parkedDistanceRef = d;
            a.parkedDistanceLast = d;
            a.smallMoves = 0;
            return false;
        }
        if (d >= a.parkedDistanceLast + threeMetres) {
            ++a.smallMoves;
            a.parkedDistanceLast = d;
            const double moved = d - a.parkedDistanceRef;
            if (!((a.smallMoves >= 3 && moved >= a.radius / 2) || moved > a.radius)) {
                a.leaveStandPending = 0;
                return false;
            }
        } else {
            if (d <= a.parkedDistanceLast - threeMetres) a.smallMoves = 0;
            return false;
        }
    } else {
        if (a.phase == phaseParking) {
            setPhase(a, phaseTaxi);
            p.stop = 0;
            return true;
        }
        if (d > leftStand) {
            if (a.state != stateActive) return true;
            removeAircraftFromSim(a);
            return false;
        }
    }
    p.stop = 0;
    a.leaveStandPending = 1;
    if (a.previousPhase != phaseParked) {
        updateParkedTimers(a);
        if (a.phase != phaseParked) setPhase(a, phaseParked);
    }
    return true;
}

void updateParkedTimers(LiveAircraft& a)
{
    const std::uint32_t now = tickCount.load();
    if (a.extrapolations > 0) {
        if (a.phase == phaseParked && !a.stream.empty()) {
            if (a.stayCheckPending) {
                const std::int64_t stay = static_cast<std::int64_t>(signedDiff(now, a.stream.front().time)) + 60480000;
                std::int64_t threshold = 0;
                if (a.category == categoryBuzjets) threshold = 90000;
                if (a.category == categoryLarge) threshold = 150000;
                if (a.category == categoryHeavy) threshold = 360000;
                if (stay < threshold) a.towed = 1;
                a.stayCheckPending = 0;
            }
            a.stream.front().time = now + 1;
        }
        a.extrapolations = 0;
        resetWindows(a);
    }
    if (!a.airline.empty() && a.cargo == a.atCargoStand) {
        const DaySlot slot = currentSlot.load();
        if (lf_addRealStandOption(a.sid, a, slot, true)) rememberLearnedSlot(slot, a.flightId, true);
    }
    for (Stand& s : stands)
        if (s.id == a.sid) s.occupied = false;
}

bool checkExtendingSituations(LiveAircraft& a, Position& p)
{
    if (a.stream.empty()) {
        logLine(fmt::format("{} empty sz?", "checkExtendingSituations"));
        return false;
    }
    if (!a.onGround && offHeading(a, a.stream.back(), p) >= 100.0 && !reportOutvotesReckoning(a, p)) return false;
    a.extrapolations = 0;
    resetWindows(a);
    a.stream.front().time = tickCount.load() + 1;
    a.holding = 0;
    a.holdStart = 0;
    return true;
}

bool checkNewPosDuringLanding(LiveAircraft& a, Position& p)
{
    if (a.stream.empty()) {
        logLine(fmt::format("{} empty sz?", "checkNewPosDuringLanding"));
        return false;
    }
    {
        const Position& last = a.stream.back();
        if (!(p.lat == last.lat && p.lon == last.lon)) {
            if (a.stream.size() < 2) {
                const double off = offHeading(a, a.stream.front(), p);
                if (!a.approach) {
                    if (off >= 150.0) {
                        if (a.extrapolations > 0) return false;
                        Position restart = a.stream.front();
                        restart.lat = a.lat;
                        restart.lon = a.lon;
                        restart.time = tickCount.load() + 1;
                        a.stream.clear();
                        a.stream.push_back(restart);
                    }
                } else if (off >= 90.0) {
                    return false;
                }
            } else if (offHeading(a, a.stream.back(), p) >= 90.0) {
                a.stream.pop_back();
                if (a.stream.size() > 1 && offHeading(a, a.stream.back(), p) >= 90.0) a.stream.pop_back();
            }
            if (a.extrapolations > 0) {
                a.extrapolations = 0;
                resetWindows(a);
            }
        }
    }
    const Position& last = a.stream.back();
    if (p.lat == last.lat && p.lon == last.lon) {
        p.stop = 1;
    } else if (p.speed > last.speed && p.speed > 40.0) {
        p.speed = last.speed;
    }
    return true;
}

void removeSmallStop(LiveAircraft& a, const Position& p)
{
    if (a.stream.size() <= 2) return;
    for (std::size_t n = 2; n <= 6; ++n) {
        if (a.stream.size() <= n) break;
        if (!a.stream[a.stream.size() - n].stop) checkStops(a, n, p);
    }
}

void checkStops(LiveAircraft& a, std::size_t n, const Position& p)
{
    const std::size_t index = a.stream.size() - n;
    const Position& there = a.stream[index];
    if (signedDiff(a.stream.back().time, there.time) < 1500 || distanceNm(at(p), at(there)) <= smallStop)
        a.stream.erase(a.stream.begin() + static_cast<std::ptrdiff_t>(index + 1), a.stream.end());
}

} // namespace qtr
