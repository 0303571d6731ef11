// The motion primitives shared by ground and air motion: timing windows, segment speed, the
// curve of ground turns, dead reckoning, the per-tick move and the two stepping entry points.
#include "traffic/flights/motion.h"
#include "traffic/state/category_table.h"
#include "traffic/flights/intake.h"

#include "foundation/geometry.h"
#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"
#include "links/simconnect_client.h"
#include "links/simconnect_connection.h"
#include "traffic/parking/stand_learning.h"
#include "traffic/state/removal.h"
#include "traffic/state/stands.h"
#include "traffic/state/traffic_state.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

namespace qtr {

namespace {

constexpr double metresPerDegree = 111132.95;
constexpr double halfDegree = 0.5 * degToRad;
// Below this a helicopter's report is a hover (its ground speed jitters by a knot or two).
constexpr double hoverSpeedKt = 3.0;
constexpr std::uint32_t throttleValues[] = {0, 4914, 8191, 11468, 16383};
constexpr std::uint32_t flapValues[] = {0, 3072, 10240, 16383};

const CategoryTable<double> takeOffSpeeds{{0, 90}, {1, 110}, {2, 140}, {3, 150}, {4, 220}, {5, 0}};
const CategoryTable<double> maxBanks{{0, 40}, {1, 35}, {2, 30}, {3, 20}, {4, 90}, {5, 75}};
const CategoryTable<double> rollRates{{0, 3.5}, {1, 2.75}, {2, 2}, {3, 1.5}, {4, 10}, {5, 6}};
const CategoryTable<double> pitchRateLimits{{0, 1}, {1, 0.85}, {2, 0.75}, {3, 0.5}, {4, 3}, {5, 3}};

// The angles here are nearly always in range already, and std::fmod of this C library is an x87
// loop that cost more than the rest of a tick's move: the range check comes first.
double wrapPositive(double h)
{
    if (h >= 0 && h < twoPi) return h;
    h = std::fmod(h, twoPi);
    if (h < 0) h += twoPi;
    return h;
}

// Turns the heading toward the target by the turn rate, in the shorter direction.
void turnToward(LiveAircraft& a, double target)
{
    const double diff = wrapSigned(target - a.heading);
    if (std::fabs(diff) <= halfDegree) return;
    a.heading = wrapPositive(a.heading + (diff > 0 ? a.turnRate : -a.turnRate));
}

// One tick of a turn onto the leg being flown: it ends on the leg's bearing. False while a
// helicopter turns on the spot: it holds its place, and once nearly on the leg it flies the rest
// of it in the time left.
bool turnOntoLeg(LiveAircraft& a)
{
    const double off = std::fabs(wrapSigned(a.bearingToNext - a.heading));
    if (off <= std::fabs(a.headingRate)) {
        a.heading = wrapPositive(a.bearingToNext);
        a.headingRate = 0;
        a.turnOntoLeg = 0;
    } else {
        a.heading = wrapPositive(a.heading + a.headingRate);
    }
    if (a.turnOntoLeg != 2) return true;
    if (off > farOffLeg) return false;
    a.turnOntoLeg = a.headingRate != 0 ? 1 : 0;
    const Position& next = a.stream.front();
    const double ticks = std::max(signedDiff(next.time, tickCount.load()), 25);
    a.latRate = (next.lat - a.lat) / ticks;
    a.lonRate = lonDifferenceDeg(a.lon, next.lon) / ticks;
    return true;
}

} // namespace

double categoryTakeOffSpeed(std::uint32_t c) { return lookup(takeOffSpeeds, c); }
double categoryMaxBank(std::uint32_t c) { return lookup(maxBanks, c) * degToRad; }
double categoryRollRate(std::uint32_t c) { return lookup(rollRates, c) * degToRad / 100.0; }
double categoryPitchRateLimit(std::uint32_t c) { return lookup(pitchRateLimits, c) * degToRad / 100.0; }

void setThrottleLevel(LiveAircraft& a, std::uint32_t level)
{
    if (a.throttleLevel == level || level > 4) return;
    gf_queueAiEvent(a.objectid, eventThrottle, throttleValues[level]);
    a.throttleLevel = level;
}

void setThrottleIdle(LiveAircraft& a) { setThrottleLevel(a, a.category == categoryRotorcraft ? 4 : 0); }

void setFlapStage(LiveAircraft& a, std::uint32_t stage)
{
    if (a.category == categoryRotorcraft || a.flapStage == stage || stage > 3) return;
    gf_queueAiEvent(a.objectid, eventFlaps, flapValues[stage]);
    a.flapStage = stage;
}

void setGear(LiveAircraft& a, std::uint32_t down)
{
    if (a.category != categoryRotorcraft) gf_queueAiEvent(a.objectid, eventGear, down);
}

void setSpoilers(LiveAircraft& a, std::uint32_t value)
{
    if (a.category != categoryRotorcraft) gf_queueAiEvent(a.objectid, eventSpoilers, value);
}

void clearSpoilersAndThrottles(const LiveAircraft& a)
{
    double data[3] = {0.0, 0.0, 0.0};
    std::lock_guard lock(simConnectMutex);
    if (const auto c = openConnection())
        c->sc.SetDataOnSimObject(c->handle, defSpoilersThrottle, a.objectid, 0, 0, sizeof data, data);
}

double wrapSigned(double angle)
{
    if (angle > -std::numbers::pi && angle <= std::numbers::pi) return angle;
    angle = std::fmod(angle, twoPi);
    if (angle > std::numbers::pi) angle -= twoPi;
    if (angle <= -std::numbers::pi) angle += twoPi;
    return angle;
}

double ticksToNext(const LiveAircraft& a)
{
    const std::int32_t dt = signedDiff(a.stream[1].time, tickCount.load());
    return static_cast<double>(std::max(dt, 25));
}

void nextPosMain(LiveAircraft& a)
{
    try {
        for (;;) {
            if (a.stream.size() >= 2) {
                if (!a.onGround && a.stream[1].stop && a.category != categoryRotorcraft) {
                    a.stream.erase(a.stream.begin() + 1);
                    continue;
                }
                nextPos(a);
                return;
            }
            if (holdAtStreamEnd(a)) continue;
            if (a.phase != phaseParked) learnParking(a, a.phase != phaseFlying);
            removeAircraftFromSim(a);
            return;
        }
    } catch (const std::exception& e) {
        logMarked(fmt::format("{}: {} {}, sz:{}, fs:{}, st:{}", "nextPosMain", e.what(), flightText(a), a.stream.size(),
                              phaseName(a.phase), simStateName(a.state)));
        throw;
    }
}

void nextPos(LiveAircraft& a)
{
    clearCurve(a);
    a.turnOntoLeg = 0;
    {
        const Position& cur = a.stream[0];
        Position& next = a.stream[1];
        if (!next.stop && next.lat == cur.lat && next.lon == cur.lon) next.stop = 1;
        if (!next.stop) a.bearingToNext = legOf(a, cur, next).bearing;
    }
    if (a.onGround) {
        nextPosGround(a);
    } else {
        nextPosAir(a);
    }
    if (a.stream.size() >= 2) {
        const Position& next = a.stream[1];
        if (next.stop) {
            a.latRate = 0;
            a.lonRate = 0;
            if (!a.landingRoll && !a.departing) {
                a.backWindow = std::max<std::uint32_t>(a.backWindow, 1100) - 100;
                a.aheadWindow = std::max<std::uint32_t>(a.aheadWindow, 1100) - 100;
            }
        } else {
            const double dt = ticksToNext(a);
            a.latRate = (next.lat - a.lat) / dt;
            a.lonRate = lonDifferenceDeg(a.lon, next.lon) / dt;
            if (a.onGround) {
                groundStep(a);
            } else {
                airborneStep(a);
            }
        }
    }
    if (a.stream.empty()) {
        removeAircraftFromSim(a);
        throw std::runtime_error(fmt::format("{} {} fs:{}, st:{} stream at the end is empty?", "nextPos", flightText(a),
                                             phaseName(a.phase), simStateName(a.state)));
    }
    a.stream.pop_front();
}

std::uint32_t windowedTime(const LiveAircraft& a, std::uint32_t candidate)
{
    const std::uint32_t own = a.stream[1].time;
    std::uint32_t t;
    if (signedDiff(candidate, own + a.aheadWindow) > 0) {
        t = own + a.aheadWindow;
    } else {
        const std::uint32_t earliest = own - a.backWindow;
        t = signedDiff(candidate, earliest) > 0 ? candidate : earliest;
    }
    const std::uint32_t now = tickCount.load();
    return signedDiff(t, now) < 0 ? now : t;
}

void setNextPositionTime(LiveAircraft& a, std::uint32_t ticks)
{
    const std::uint32_t candidate = tickCount.load() + ticks;
    a.stream[1].time = a.extrapolations > 0 ? candidate : windowedTime(a, candidate);
}

std::uint32_t gf_tickSpan(double ticks)
{
    if (!(ticks >= 0.0)) return std::isnan(ticks) ? longestTickSpan : 0;
    if (ticks >= longestTickSpan) return longestTickSpan;
    return static_cast<std::uint32_t>(std::round(ticks));
}

double segmentSpeed(const LiveAircraft& a)
{
    const Position& cur = a.stream[0];
    const Position& next = a.stream[1];
    if (cur.speed != 0) return (cur.speed + next.speed) / 2;
    if (next.speed != 0) return next.speed / 2;
    const double dt = std::max(signedDiff(next.time, cur.time), 25);
    return std::max(distanceNm(at(cur), at(next)) * 360000.0 / dt, 1.0);
}

const Leg& legOf(LiveAircraft& a, const Position& from, const Position& to)
{
    if (from.lat != a.legFrom.lat || from.lon != a.legFrom.lon || to.lat != a.legTo.lat || to.lon != a.legTo.lon) {
        a.leg = legBetween(at(from), at(to));
        a.legFrom = at(from);
        a.legTo = at(to);
    }
    return a.leg;
}

double turnAngleAtNextPoint(LiveAircraft& a)
{
    if (a.stream.size() < 3) return 0.0;
    return wrapSigned(legOf(a, a.stream[1], a.stream[2]).bearing - a.heading);
}

bool restOfStreamAirborne(const LiveAircraft& a)
{
    return std::all_of(a.stream.begin() + 1, a.stream.end(), [](const Position& p) { return p.airborne != 0; });
}

bool restOfStreamAtTakeOffSpeed(const LiveAircraft& a)
{
    const double v = categoryTakeOffSpeed(a.category);
    return std::all_of(a.stream.begin() + 1, a.stream.end(), [v](const Position& p) { return p.speed >= v; });
}

void insertMidPosition(LiveAircraft& a)
{
    const Position& cur = a.stream[0];
    const Position& next = a.stream[1];
    Position m = cur;
    m.lat = (cur.lat + next.lat) / 2;
    m.lon = midLonDeg(cur.lon, next.lon);
    m.speed = (cur.speed + next.speed) / 2;
    m.alt = (cur.alt + next.alt) / 2;
    m.time = static_cast<std::uint32_t>((static_cast<std::uint64_t>(cur.time) + next.time) / 2);
    m.airborne = m.alt > 0 ? 1 : 0;
    if (!m.airborne) m.alt = 0;
    m.stop = 0;
    a.stream.insert(a.stream.begin() + 1, m);
}

void checkSpeedJump(LiveAircraft& a)
{
    const Position& cur = a.stream[0];
    const Position& next = a.stream[1];
    if ((cur.speed > 0 || next.speed > 0) && std::fabs(cur.speed - next.speed) > 5.0 &&
        distanceNm(at(cur), at(next)) * 1852.0 >= 100.0)
        insertMidPosition(a);
}

bool dropPositionsUpTo(LiveAircraft& a, std::size_t n)
{
    if (n < 2 || a.stream.size() < n || !a.stream[n - 1].airborne) return false;
    a.stream.erase(a.stream.begin() + 1, a.stream.begin() + static_cast<std::ptrdiff_t>(n - 1));
    const double d = distanceNm(at(a.stream[0]), at(a.stream[1]));
    const double ticks = std::max(std::round(d * 360000.0 / segmentSpeed(a)), 25.0);
    a.stream[1].time = windowedTime(a, tickCount.load() + gf_tickSpan(ticks));
    climbRateToNext(a);
    return true;
}

void setBankRate(LiveAircraft& a, double turn, double ticks)
{
    const double maxBank = categoryMaxBank(a.category);
    const double roll = categoryRollRate(a.category);
    const double target = std::clamp(turn, -maxBank, maxBank);
    a.bankRate = std::clamp((-target - a.bank) / ticks, -roll, roll);
}

CurveSegment curveOf(const LiveAircraft& a)
{
    return CurveSegment{a.curveOriginLat, a.curveOriginLon, a.curveStartT,   a.curveEndY,
                        a.curveEndX,      a.curveEndT,      a.curveControlX, a.curveControlY};
}

bool hasCurve(const LiveAircraft& a) { return !std::isnan(a.curveControlX) && !std::isnan(a.curveControlY); }

void clearCurve(LiveAircraft& a)
{
    a.curveStartT = std::nan("");
    a.curveEndT = std::nan("");
    a.curveControlX = std::nan("");
    a.curveControlY = std::nan("");
    a.curveT = 0;
}

bool evaluateCurveSegment(const CurveSegment& c, double t, LatLon& position, double& heading)
{
    if (std::isnan(c.controlEast) || std::isnan(c.controlNorth)) return false;
    if (!(t >= c.startT && t <= c.endT)) return false;
    const double u = (t - c.startT) / (c.endT - c.startT);
    if (!(u >= 0.0 && u <= 1.0)) return false;
    const double north = 2 * u * (1 - u) * c.controlNorth + u * u * c.endNorth;
    const double east = 2 * u * (1 - u) * c.controlEast + u * u * c.endEast;
    const double tangentNorth = 2 * (1 - u) * c.controlNorth + 2 * u * (c.endNorth - c.controlNorth);
    const double tangentEast = 2 * (1 - u) * c.controlEast + 2 * u * (c.endEast - c.controlEast);
    double h = std::atan2(tangentEast, tangentNorth);
    if (h < 0) h += twoPi;
    heading = h;
    position.lat = c.originLat + north / metresPerDegree;
    position.lon = wrapLonDeg(c.originLon + east / (metresPerDegree * std::cos(c.originLat * degToRad)));
    return true;
}

void moveLiveAcTick(LiveAircraft& a)
{
    if (hasCurve(a)) {
        a.curveT = std::min(a.curveT + a.curveStep, 0.999999);
        LatLon p;
        double h = 0;
        if (!evaluateCurveSegment(curveOf(a), a.curveT, p, h)) {
            logLine(fmt::format("{} error in curve at index: {:.2F}", flightText(a), a.curveT));
        } else {
            a.lat = p.lat;
            a.lon = p.lon;
            if (a.phase == phasePushingBack) h = wrapPositive(h + std::numbers::pi);
            turnToward(a, h);
        }
    } else {
        bool holdPlace = a.phase == phasePushedBack;
        switch (a.phase) {
        case phaseFlying:
            if (a.turnOntoLeg) {
                holdPlace = !turnOntoLeg(a);
                break;
            }
            [[fallthrough]];
        case phaseTakeOff:
        case phaseParked:
        case phaseBirth:
            a.heading = wrapPositive(a.heading + a.headingRate);
            break;
        default:
            if (a.phase == phaseParking || a.turnInPlace) turnToward(a, a.bearingToNext);
            break;
        }
        if (!holdPlace) {
            a.lat += a.latRate;
            a.lon += a.lonRate;
        }
    }
    if (a.phase != phaseTakeOff) {
        if (a.heightAboveGround <= 400.0 && a.approach && !a.onGround) flareTick(a);
        if (a.pitchRamp) {
            a.pitch += a.pitchRate;
            const bool passed = a.pitchRate >= 0 ? a.pitch >= a.staticPitch : a.pitch <= a.staticPitch;
            if (passed) {
                a.pitch = a.staticPitch;
                a.pitchRate = 0;
                a.bank = 0;
                a.bankRate = 0;
                a.pitchRamp = 0;
                a.flareStage = 0;
            }
            a.bank += a.bankRate;
        } else if (a.onGround && a.flareStage == 0) {
            a.pitch = a.staticPitch;
            a.bank = 0;
        } else {
            a.pitch += a.pitchRate;
            if (a.flareStage > 0) a.pitch = std::max(a.pitch, -4.0 * degToRad);
            a.bank += a.bankRate;
            a.alt += a.altRate;
        }
    } else {
        takeOffRollTick(a);
    }
    if (a.lon > 180.0) a.lon -= 360.0;
    if (a.lon < -180.0) a.lon += 360.0;
}

void extrapolatePosition(LiveAircraft& a, std::int32_t n)
{
    const Position& cur = a.stream.front();
    if (a.extrapolations <= 0) {
        // A fresh reckoning starts at the last report.
        a.reckonedFromLat = cur.lat;
        a.reckonedFromLon = cur.lon;
        a.refusedDuringReckoning = 0;
    }
    a.extrapolations = n;
    Position p = cur;
    const bool parked = a.phase == phaseParked;
    if (cur.stop || parked) {
        p.speed = 0;
        p.stop = 1;
    } else if (a.onGround && a.landingRoll) {
        const double v = p.speed;
        p.speed = v >= 140 ? 100 : v >= 100 ? 80 : v >= 80 ? 60 : v >= 60 ? 30 : 20;
        p.verticalSpeed = 0;
    } else if (a.onGround && a.departing) {
        const double v = p.speed;
        if (v <= 30) {
            p.speed = 40;
        } else if (v <= 60) {
            p.speed = 80;
        } else if (v <= 100) {
            p.speed = 110;
        } else if (v <= 140) {
            p.speed = 150;
            p.verticalSpeed = 600;
        } else if (v <= 160) {
            p.speed = 170;
            p.verticalSpeed = 1200;
        } else {
            p.speed = 180;
            p.verticalSpeed = 2400;
        }
    } else if (a.onGround) {
        p.speed = 0;
        p.stop = 1;
    } else if (a.category == categoryRotorcraft && p.speed < hoverSpeedKt) {
        // Reported hovering, it hovers on: a reckoning at the floor of 1 kt would drift it away.
        p.speed = 0;
    } else if (!(a.approach && n < 4)) {
        p.speed = std::max(p.speed * (a.approach ? 90.0 : 95.0) / 100.0, 1.0);
    }
    const double step = a.onGround ? 3.0 : 8.0;
    const bool still = p.stop || ((!a.onGround || a.landingRoll) && !(p.speed > 0));
    if (!still) {
        const double nm = step * 100.0 * p.speed / 360000.0;
        const LatLon moved = destinationPoint(at(cur), a.heading, nm * feetPerNm);
        p.lat = moved.lat;
        p.lon = moved.lon;
        if (a.approach && a.flareStage == 0) {
            p.verticalSpeed = -667;
            p.alt -= step * 10.005;
        } else if (a.phase == phaseTakeOff) {
            p.verticalSpeed = 1500;
            p.alt += step * 25.0;
        }
        if (p.alt < 0) p.alt = 0;
        p.airborne = p.alt > 0 ? 1 : 0;
    }
    p.stop = (still || (p.lat == cur.lat && p.lon == cur.lon)) ? 1 : 0;
    if (parked) {
        p.time = cur.time + 60480000u;
        for (Stand& s : stands)
            if (s.id == a.sid) s.occupied = false;
    } else {
        p.time = cur.time + gf_tickSpan(step * 100);
    }
    a.stream.push_back(p);
}

bool holdAtStreamEnd(LiveAircraft& a)
{
    if (a.phase == phaseParking) {
        arriveAtStand(a);
    } else if (a.phase == phasePushedBack || (a.phase == phaseTaxi && !a.departing && !a.landingRoll)) {
        for (const LiveAircraft& other : liveAircraft) {
            if (&other == &a || other.objectid == a.objectid || !other.onGround || other.phase != phaseTaxi ||
                other.state != stateActive)
                continue;
            if (distanceNm(LatLon{a.lat, a.lon}, LatLon{other.lat, other.lon}) <= 1.2 * (a.radius + other.radius)) {
                a.holding = 0;
                a.holdStart = 0;
                return false;
            }
        }
        const std::uint32_t now = tickCount.load();
        if (a.holding) {
            if ((now - a.holdStart) / 6000 > static_cast<std::uint32_t>(std::max(MAX_HOLDING_MINUTES.value(), 0)))
                return false;
        } else {
            a.holdStart = now;
        }
        a.holding = 1;
        Position p = a.stream.front();
        p.time += 300;
        p.speed = 0;
        p.stop = 1;
        a.stream.push_back(p);
        a.extrapolations = 1;
        return true;
    }
    if (a.extrapolations < 0) return false;
    if (a.extrapolations > 1) {
        extrapolatePosition(a, a.extrapolations - 1);
        return true;
    }
    if (a.extrapolations == 1) {
        a.extrapolations = -1;
        return false;
    }
    if (!categoryWanted(a.category)) return false;
    std::int32_t n;
    if (!a.onGround) {
        const auto& user = workerUser();
        const bool unknown = user.lat >= 0.0 && user.lat <= 0.0009 && user.lon >= 0.0 && user.lon <= 0.05;
        if (!unknown && !(distanceNm(LatLon{a.lat, a.lon}, LatLon{user.lat, user.lon}) < lateralRangeNm.load() - 0.5))
            return false;
        n = 8;
    } else {
        n = a.phase == phaseParked ? 1 : 10;
    }
    extrapolatePosition(a, n);
    return true;
}

namespace {

} // namespace

} // namespace qtr
