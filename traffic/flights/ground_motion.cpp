// Ground motion: leaving the stand (pushback or pull-out), taxiing with curves in the turns, the
// start of a departure; and the take-off roll, the flare and the landing roll.
#include "traffic/flights/motion.h"

#include "foundation/geometry.h"
#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"
#include "links/simconnect_client.h"
#include "traffic/state/lights.h"
#include "traffic/parking/stand_learning.h"
#include "traffic/state/stands.h"
#include "traffic/state/traffic_state.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace qtr {

namespace {

constexpr double metresPerDegree = 111132.95;

LatLon pose(const LiveAircraft& a) { return LatLon{a.lat, a.lon}; }

const Stand* standById(std::uint32_t id)
{
    for (const Stand& s : stands)
        if (s.id == id) return &s;
    return nullptr;
}

// The climb after the rotation builds up over 300 ticks at 1/10, 1/5 and 1/2 of the rate: as much
// height as this many ticks at the full rate lose.
constexpr double climbRampLossTicks = 100.0 * (0.9 + 0.8 + 0.5);

std::uint32_t ticksFor(double nm, double knots) { return gf_tickSpan(nm / knots * 360000.0); }

void shrinkWindows(LiveAircraft& a)
{
    a.backWindow = std::max<std::uint32_t>(a.backWindow, 1100) - 100;
    a.aheadWindow = std::max<std::uint32_t>(a.aheadWindow, 1100) - 100;
}

} // namespace

void nextPosGround(LiveAircraft& a)
{
    switch (a.phase) {
    case phasePushingBack:
        --a.pushbackCounter;
        if (a.pushbackCounter == 1) {
            if (!a.pushbackTurnKnown) {
                // The side the tail swings to was never reported: straight back.
                if (a.stream.size() > 2) a.stream.pop_back();
            } else {
                if (a.pushbackTurnRight) a.stream.back() = a.pushbackAlternative;
                if (a.stream.size() >= 3) {
                    setupCurve(a);
                    a.curveAngle = 90;
                }
            }
        } else if (a.pushbackCounter < 1) {
            a.bearingToNext = a.heading;
            gf_queueAiEvent(a.objectid, eventEngineAutoStart, 0);
            setThrottleIdle(a);
            setFlapStage(a, 1);
            setPhase(a, phasePushedBack);
            a.pushbackCounter = 1;
            a.holdDistance = 900.0;
            a.extrapolations = 0;
            a.leaveStandPending = 0;
        }
        retimeNextPosition(a);
        return;
    case phasePushedBack:
        retimeNextPosition(a);
        return;
    case phaseParked:
        a.backWindow = 3000;
        a.aheadWindow = a.departing ? 5000 : 3000;
        if (a.leaveStandPending) {
            const double wayOut = initialBearing(LatLon{a.parkLat, a.parkLon}, at(a.stream.back()));
            const double off = std::round(wrapSigned(wayOut - a.parkHeading) * radToDeg);
            if (std::fabs(off) < 90.0) {
                pullOut(a);
            } else {
                planPushback(a);
            }
        }
        retimeNextPosition(a);
        return;
    default:
        break;
    }
    // a. Turns: a curve, a middle point for a sharp slow turn, or a check of the speed change.
    if (!a.stream[1].stop) {
        if (a.stream.size() >= 3 && !a.stream[2].stop) {
            const double turn = turnAngleAtNextPoint(a) * radToDeg;
            if (std::fabs(turn) > 3.0) {
                const Position& cur = a.stream[0];
                const Position& next = a.stream[1];
                const double leg = distanceNm(at(cur), at(next));
                const std::int32_t legTicks = std::max(signedDiff(next.time, cur.time), 25);
                if (std::fabs(turn) > 45.0 && leg > 0.02699784017278618 && cur.speed <= 43.0 && legTicks >= 600) {
                    insertMidPosition(a);
                } else if (std::fabs(turn) <= 160.0 && !(a.stream[2].lat == cur.lat && a.stream[2].lon == cur.lon)) {
                    setupCurve(a);
                    a.curveAngle = std::fabs(turn);
                } else {
                    checkSpeedJump(a);
                }
            } else {
                checkSpeedJump(a);
            }
        } else if (a.stream.size() >= 3) {
            checkSpeedJump(a);
        } else if (a.extrapolations <= 0) {
            checkSpeedJump(a);
        }
    }
    // b. Turn in place toward the next point when no curve takes the turn.
    if (!a.stream[1].stop) {
        if (!hasCurve(a)) {
            a.headingDiff = std::fabs(wrapSigned(a.bearingToNext - a.heading)) * radToDeg;
            a.turnInPlace = a.headingDiff > 3.0 ? 1 : 0;
        } else {
            a.turnInPlace = 0;
        }
    }
    // c. Parking attempt near the end of a taxi.
    const bool leftStand = a.previousPhase == phaseParked || a.previousPhase == phasePushingBack ||
                           a.previousPhase == phasePushedBack;
    if (a.stream.back().stop && a.phase == phaseTaxi && parkFileLoaded && (a.towed || !leftStand)) {
        if (a.extrapolations > 0) {
            try2Park(a, a.stayCheckPending != 0);
        } else if (a.stream[1].speed <= 5.0 && distanceNm(pose(a), at(a.stream.back())) <= 0.018898488120950324) {
            try2Park(a, false);
        }
    }
    if (a.stream.size() >= 2) retimeNextPosition(a);
}

std::uint32_t retimeNextPosition(LiveAircraft& a)
{
    const Position& cur = a.stream[0];
    Position& next = a.stream[1];
    const std::uint32_t now = tickCount.load();
    if (!next.stop) {
        a.turnRate = a.baseTurnRate;
        const double d = legOf(a, cur, next).distanceNm;
        const double ticks = std::max(std::round(d * 360000.0 / segmentSpeed(a)), 25.0);
        if (hasCurve(a) || a.turnInPlace) {
            const double angle = a.turnInPlace ? a.headingDiff : a.curveAngle;
            const double turnTicks = std::round(angle / a.turnRate / 100.0);
            if (angle != 0 && d != 0) {
                const double ratio = ticks / std::max(turnTicks, 1.0);
                if (angle <= 45.0) {
                    const double f = ratio >= 1.2 ? std::min({ratio * 10.0 / angle, ratio * 30.0 / 1852.0 / d, ratio})
                                                  : ratio;
                    if (f != 0) a.turnRate /= f;
                } else {
                    a.turnRate *= std::min(ratio, std::min(angle, 90.0) / 30.0);
                    if (angle >= 90.0) {
                        a.backWindow = std::max<std::uint32_t>(a.backWindow, 2000);
                        a.aheadWindow = std::max<std::uint32_t>(a.aheadWindow, 2000);
                    }
                }
            }
        }
        setNextPositionTime(a, gf_tickSpan(ticks));
        return next.time;
    }
    const std::int32_t dt = std::max(signedDiff(next.time, cur.time), 25);
    std::uint32_t candidate = cur.time + static_cast<std::uint32_t>(dt);
    if (signedDiff(candidate, now + 25) < 0) candidate = now + 25;
    if (a.extrapolations <= 0) candidate = windowedTime(a, candidate);
    if (signedDiff(candidate, now) < 0) candidate = now;
    next.time = candidate;
    return next.time;
}

void groundStep(LiveAircraft& a)
{
    const Position& cur = a.stream[0];
    const Position& next = a.stream[1];
    if (a.phase == phaseParked || a.phase == phaseFlying) {
        setPhase(a, phaseTaxi);
    } else if (a.landingRoll && !a.departing) {
        landingRoll(a);
    } else if (a.departing) {
        std::uint32_t level = 0;
        if (a.category == categoryRotorcraft || cur.speed >= 25 || next.speed >= 30) {
            level = 4;
        } else if (cur.speed >= 20 || next.speed >= 25) {
            level = 2;
        } else if (cur.speed >= 15 || next.speed >= 20) {
            level = 1;
        }
        setThrottleLevel(a, level);
    } else {
        setThrottleIdle(a);
    }
    if (!a.landingRoll && !a.departing) shrinkWindows(a);
    if (a.flareStage == 0 && a.phase != phaseTakeOff) {
        a.pitch = a.staticPitch;
        a.pitchRate = 0;
        a.bank = 0;
        a.bankRate = 0;
    }
    const double dt = ticksToNext(a);
    if (hasCurve(a)) a.curveStep = 1.0 / dt;
    a.signedSpeed = a.phase == phasePushingBack ? -next.speed : next.speed;
    if (a.departing && a.phase != phaseTakeOff && cur.speed >= 43.0) {
        const bool someSlowClimb = std::any_of(a.stream.begin() + 1, a.stream.end(),
                                               [](const Position& p) { return p.verticalSpeed <= 256.0; });
        if (someSlowClimb) {
            if (restOfStreamAtTakeOffSpeed(a) && restOfStreamAirborne(a)) {
                a.altRate = a.maxClimbRate;
                startTakeOffRoll(a);
            }
        } else {
            a.altRate = restOfStreamAirborne(a) ? std::max(next.alt - a.alt, 0.1) / dt : a.maxClimbRate;
            startTakeOffRoll(a);
        }
    } else if (a.departing && a.phase != phaseTakeOff && !cur.airborne && next.airborne && next.speed >= 43.0 &&
               restOfStreamAirborne(a)) {
        // The take-off fell between two sparse reports: the last on the ground at the hold, the
        // next already climbing. Waiting for a report at take-off speed, the aircraft rolled up
        // to the airborne one on the ground and lifted off there, hundreds of feet below the
        // reports. It rolls half the leg and lifts off, to pass the next report at its altitude.
        const std::int32_t roll = static_cast<std::int32_t>(dt / 2);
        const double climbTicks = std::max(dt - roll - a.rotationTicks - climbRampLossTicks, 25.0);
        a.altRate = std::min(std::max(next.alt - a.alt, 0.1) / climbTicks, a.maxClimbRate);
        // The roll follows the curve onto the runway, or turns onto the leg while it runs.
        startTakeOffRoll(a, true);
        a.rollTicksLeft = roll;
        if (!hasCurve(a)) a.headingRate = wrapSigned(a.bearingToNext - a.heading) / std::max(roll, 1);
    }
}

void setupCurve(LiveAircraft& a)
{
    Position& cur = a.stream[0];
    Position& next = a.stream[1];
    Position& after = a.stream[2];
    if (after.speed == 0) after.speed = (cur.speed + next.speed) / 2;
    a.curveOriginLat = a.lat;
    a.curveOriginLon = a.lon;
    a.curveStartT = 0;
    a.curveEndT = 1;
    const double east = metresPerDegree * std::cos(a.lat * degToRad);
    a.curveControlY = (next.lat - a.lat) * metresPerDegree;
    a.curveControlX = lonDifferenceDeg(a.lon, next.lon) * east;
    a.curveEndY = (after.lat - a.lat) * metresPerDegree;
    a.curveEndX = lonDifferenceDeg(a.lon, after.lon) * east;
    a.curveT = 0;
    a.stream.erase(a.stream.begin() + 1);
}

void planPushback(LiveAircraft& a)
{
    a.extrapolations = 0;
    const double back = a.parkHeading + std::numbers::pi;
    const Stand* stand = standById(a.sid);
    if (!stand) return;
    const LatLon p1 = destinationPoint(pose(a), back, 2.5 * stand->radius * feetPerNm);
    const double s = a.standTaxiSpeed;
    a.stream.front().speed = s;
    a.bearingToNext = a.heading;
    const std::uint32_t t1 = ticksFor(distanceNm(pose(a), p1), s);
    const std::uint32_t now = tickCount.load();
    a.stream.resize(1);
    Position p = a.stream.front();
    p.trueHeading.reset();
    p.lat = p1.lat;
    p.lon = p1.lon;
    p.speed = s;
    p.stop = 0;
    p.time = now + t1;
    a.stream.push_back(p);
    insertMidPosition(a);
    const LatLon middle = at(a.stream[1]);
    const LatLon p2 = destinationPoint(p1, back + std::numbers::pi / 2, a.radius * feetPerNm);
    const LatLon p3 = destinationPoint(p1, back - std::numbers::pi / 2, a.radius * feetPerNm);
    Position side = p;
    side.time = now + t1 / 2 + ticksFor(distanceNm(middle, p2), s);
    side.lat = p2.lat;
    side.lon = p2.lon;
    a.pushbackAlternative = side;
    side.lat = p3.lat;
    side.lon = p3.lon;
    a.stream.push_back(side);
    gf_queueLights(a.objectid, pushbackLights());
    setPhase(a, phasePushingBack);
    a.pushbackCounter = 2;
}

void pullOut(LiveAircraft& a)
{
    a.leaveStandPending = 0;
    a.extrapolations = 0;
    const LatLon out = destinationPoint(LatLon{a.parkLat, a.parkLon}, a.parkHeading, 2.0 * a.radius * feetPerNm);
    const double s = a.standTaxiSpeed;
    a.stream.front().speed = s;
    a.stream.resize(1);
    Position p = a.stream.front();
    p.trueHeading.reset();
    p.lat = out.lat;
    p.lon = out.lon;
    p.speed = s;
    p.stop = 0;
    p.time = tickCount.load() + ticksFor(distanceNm(pose(a), out), s);
    a.stream.push_back(p);
    setPhase(a, phaseTaxi);
    a.bearingToNext = a.heading;
    gf_queueLights(a.objectid, taxiOutLights());
    gf_queueAiEvent(a.objectid, eventEngineAutoStart, 0);
    setThrottleIdle(a);
    setFlapStage(a, 1);
    if (LOG.value()) logLine(fmt::format("{:8}: {:8} pulling out", sidName(a.sid), flightText(a)));
}

void configureForDeparture(LiveAircraft& a, std::uint32_t throttleLevel, std::uint32_t spoilers)
{
    a.departing = 1;
    setThrottleLevel(a, throttleLevel);
    setSpoilers(a, spoilers);
    setFlapStage(a, 1);
    a.approach = 0;
    a.stayCheckPending = 0;
    a.goAround = 0;
    gf_queueLights(a.objectid, takeOffLights());
    a.backWindow = 3000;
    a.aheadWindow = 5000;
}

void startDeparture(LiveAircraft& a)
{
    if (a.towed) logMarked(fmt::format("{} towed aircraft takes-off?", flightText(a)));
    configureForDeparture(a, 0, 0);
    if (!a.airline.empty()) learnParking(a, true);
}

void startTakeOffRoll(LiveAircraft& a, bool keepCurve)
{
    const bool touchAndGo = a.landingRoll != 0;
    a.rotationCounter = static_cast<std::int32_t>(a.rotationTicks);
    a.rollTicksLeft = 0;
    a.bank = 0;
    a.bankRate = 0;
    a.pitchRate = (a.rotationPitch - a.pitch) / std::max<std::uint32_t>(a.rotationTicks, 1);
    if (!a.departing) startDeparture(a);
    setPhase(a, phaseTakeOff);
    a.headingRate = 0;
    if (!keepCurve) clearCurve(a);
    if (touchAndGo) {
        a.landingRoll = 0;
        a.approach = 0;
        a.stayCheckPending = 0;
        setThrottleLevel(a, 4);
        setSpoilers(a, 16383);
        setFlapStage(a, 1);
    }
}

void takeOffRollTick(LiveAircraft& a)
{
    if (a.rollTicksLeft > 0) {
        if (--a.rollTicksLeft == 0) a.headingRate = 0;
        return;
    }
    const std::int32_t c = a.rotationCounter - 1;
    a.rotationCounter = c;
    if (c >= 1) {
        a.onGround = 0;
        if (a.pitch > a.rotationPitch) a.pitch += a.pitchRate;
        return;
    }
    const double ramp = (a.climbPitch - a.rotationPitch) / std::max<std::uint32_t>(a.climbPitchTicks, 1);
    a.bank += a.bankRate;
    if (a.pitch > a.climbPitch) a.pitch += ramp;
    if (c == 0) return;
    if (c >= -99) {
        a.alt += a.altRate / 10;
    } else if (c >= -199) {
        a.alt += a.altRate / 5;
    } else if (c >= -299) {
        a.alt += a.altRate / 2;
    } else if (c == -300) {
        setGear(a, 0);
        a.alt += a.altRate;
    } else {
        a.alt += a.altRate;
        if (a.pitch <= a.climbPitch) {
            a.pitchRate = 0;
            if (a.heightAboveGround >= 800.0) {
                setThrottleLevel(a, a.category == categoryRotorcraft ? 4 : 3);
                setPhase(a, phaseFlying);
                a.rotationCounter = 1;
            }
        }
    }
}

void flareTick(LiveAircraft& a)
{
    const double cg = a.staticCgHeight;
    Position& cur = a.stream.front();
    switch (a.flareStage) {
    case 0: {
        if (!parkAirportIcao.empty()) {
            a.flareReference = parkAirportElevation;
        } else {
            a.flareReference.reset();
        }
        const double height = a.flareReference ? a.alt - *a.flareReference : a.heightAboveGround;
        if (std::min(a.heightAboveGround, height) <= cg + 30.0) {
            a.pitchRate = (-4.0 * degToRad - a.pitch) / std::max<std::uint32_t>(a.flareTicks, 1);
            a.altRate = -0.1;
            cur.verticalSpeed = -601;
            a.flareStage = 1;
        }
        return;
    }
    case 1:
        if (a.heightAboveGround <= cg + 20.0) {
            a.altRate = -0.075;
            cur.verticalSpeed = -450;
            a.flareReference.reset();
            a.flareStage = 2;
        }
        return;
    case 2:
        if (a.heightAboveGround <= cg + 10.0) {
            setThrottleLevel(a, 0);
            a.altRate = -0.05;
            cur.verticalSpeed = -300;
            a.flareReference.reset();
            a.flareStage = 3;
        }
        return;
    case 3:
        if (a.heightAboveGround <= cg + 3.0) {
            a.altRate = -0.025;
            cur.verticalSpeed = -150;
            a.flareReference.reset();
            a.flareStage = 4;
        }
        return;
    default:
        return;
    }
}

void landingRoll(LiveAircraft& a)
{
    const double d = std::fabs(wrapSigned(a.heading - a.landingHeading)) * radToDeg;
    if (d < 15.0) {
        if (a.stream.front().speed > 90.0) return;
        setSpoilers(a, 0);
        if (a.category != categoryLight) clearSpoilersAndThrottles(a);
        setFlapStage(a, 1);
        return;
    }
    setFlapStage(a, 0);
    a.landingRoll = 0;
    a.landingHeading = 0;
    setThrottleIdle(a);
    setSpoilers(a, 0);
    if (a.category != categoryLight) clearSpoilersAndThrottles(a);
    gf_queueLights(a.objectid, taxiInLights());
}

} // namespace qtr
