// Air motion: the timing of airborne legs, their altitude, pitch, bank and heading rates, and the
// configuration by height through climb, cruise, descent, approach and go-around.
#include "traffic/flights/motion.h"

#include "foundation/geometry.h"
#include "links/simconnect_client.h"
#include "links/udp_receiver.h"
#include "traffic/state/lights.h"
#include "traffic/state/traffic_state.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace qtr {

namespace {

void shrinkWindows(LiveAircraft& a)
{
    a.backWindow = std::max<std::uint32_t>(a.backWindow, 1100) - 100;
    a.aheadWindow = std::max<std::uint32_t>(a.aheadWindow, 1100) - 100;
}

bool parkAirportWithin10Nm(const LiveAircraft& a)
{
    return !parkAirportIcao.empty() && distanceNm(LatLon{a.lat, a.lon}, parkAirportPosition) <= 10.0;
}

double qnh() { return static_cast<double>(currentQnh.load()); }

// A later leg shorter than this (20 m: a hover's jitter, a repeated report) shows no direction.
constexpr double shortestDirectedLegNm = 20.0 / 1852.0;

// The rate (rad per tick) of a coordinated turn at 25 degrees of bank, g tan(bank) / v, taken at
// 20 kt at least (25 degrees a second) so that a helicopter slowing to a hover does not spin.
double bankedTurnRate(double speedKt)
{
    constexpr double g = 9.80665, tan25 = 0.46630765815499858, metresPerSecondPerKt = 1852.0 / 3600.0;
    return g * tan25 / (std::max(speedKt, 20.0) * metresPerSecondPerKt) / 100.0;
}

// The speed a turn's rate is taken at: the slower true airspeed of the leg's ends, or the ground
// speed its reports show where that is slower. A feed line without an airspeed gets a default by
// altitude (180 kt low down), and a helicopter orbiting at 45 kt turned at that speed took a
// minute for a half circle it flies in ten seconds.
double turnSpeed(const Position& cur, const Position& next)
{
    double v = std::min(cur.tas, next.tas);
    const double shown = std::min(cur.speed, next.speed);
    if (shown > 0.0 && shown < v) v = shown;
    return v;
}

} // namespace

void nextPosAir(LiveAircraft& a)
{
    const Position& cur = a.stream[0];
    const Position& next = a.stream[1];
    if (next.stop) {
        if (a.category == categoryRotorcraft) retimeNextPosition(a);
        return;
    }
    const double d = legOf(a, cur, next).distanceNm;
    double speed;
    if (a.approach && !next.airborne) {
        speed = cur.speed > 0 ? cur.speed : 100.0;
    } else {
        speed = segmentSpeed(a);
    }
    double ticks = std::max(std::round(d * 360000.0 / speed), 25.0);
    // A helicopter's reports a few hundred metres apart often come farther apart in time than its
    // speed needs (it slows, hovers, circles between them): timed by its speed it got to the next
    // one early and was then reckoned on along its heading, away from where it was reported. It
    // keeps to its reports' times instead; late, it still hurries at its speed.
    if (a.category == categoryRotorcraft && a.extrapolations <= 0)
        ticks = std::max(ticks, static_cast<double>(signedDiff(next.time, tickCount.load())));
    setNextPositionTime(a, gf_tickSpan(ticks));
}

void airborneStep(LiveAircraft& a)
{
    if (a.phase != phaseTakeOff && a.phase != phaseFlying) setPhase(a, phaseFlying);
    {
        const Position& next = a.stream[1];
        a.signedSpeed = next.tas;
        a.verticalSpeed = next.verticalSpeed;
    }
    const double dt = ticksToNext(a);
    if (a.flareStage == 0) {
        const bool c = a.stream[0].airborne != 0;
        const bool n = a.stream[1].airborne != 0;
        if (!c && !n) {
            landingVerticalRate(a);
        } else if (!c && n) {
            climbRateToNext(a);
        } else if (c && !n) {
            if (qnh() >= 1014 || parkAirportIcao.empty()) {
                const double v = qnh() >= 1014 ? descentVerticalSpeed(a) : -601.0;
                a.stream[1].verticalSpeed = v;
                a.verticalSpeed = v;
                a.altRate = v / 6000.0;
            } else {
                a.altRate = (parkAirportElevation - a.alt) / dt;
            }
            setGear(a, 1);
        } else {
            airborneVerticalRate(a);
        }
    }
    const Position& cur = a.stream[0];
    const Position& next = a.stream[1];
    if (a.phase != phaseTakeOff) {
        double v = next.verticalSpeed;
        if (v > 0) {
            v = std::min(v, 2400.0);
        } else if (v < 0) {
            v = std::max(v, -3000.0) / 2.0;
        }
        const double target = (-3.0 - (v / 600.0) * 2.2) * degToRad;
        const double limit = categoryPitchRateLimit(a.category);
        a.pitchRate = std::clamp((target - a.pitch) / dt, -limit, limit);
    }
    double turn;
    double turnTicks = dt;
    if (next.attitudeFromFeed && next.bank && next.trueHeading &&
        a.heightAboveGround < (a.approach ? 2000.0 : 1000.0)) {
        turn = wrapSigned(*next.trueHeading - a.heading);
    } else if (a.stream.size() >= 3 && legOf(a, next, a.stream[2]).distanceNm >= shortestDirectedLegNm &&
               std::fabs(wrapSigned(a.bearingToNext - a.heading)) <= farOffLeg) {
        turn = turnAngleAtNextPoint(a);
    } else {
        // No later leg that shows a direction (reports 20 s apart against the 30 s delay leave
        // two points), or a heading far off this leg: turn onto this leg rather than keep a
        // heading the aircraft no longer flies, as fast as a banked turn allows, not spread over
        // the leg, which keeps it flying sideways.
        turn = wrapSigned(a.bearingToNext - a.heading);
        turnTicks = std::clamp(std::fabs(turn) / bankedTurnRate(turnSpeed(cur, next)), 1.0, dt);
        // A helicopter that reverses (the chords of an orbit between sparse reports) turns on the
        // spot first, as it can, rather than drift sideways or backwards along the leg.
        a.turnOntoLeg = a.category == categoryRotorcraft && std::fabs(turn) > farOffLeg ? 2 : 1;
    }
    a.headingRate = turn / turnTicks;
    if (next.bank) {
        a.bankRate = (*next.bank - a.bank) / dt;
    } else {
        setBankRate(a, turn, dt);
    }
    if (cur.alt < 10000.0) {
        if (!a.lightSetOneDone) {
            a.lightSetOneDone = 1;
            a.lightSetTwoDone = 0;
            gf_queueLights(a.objectid, belowTenThousandLights());
        }
        const bool big = a.category == categoryBuzjets || a.category == categoryLarge || a.category == categoryHeavy;
        if (a.heightAboveGround > (big ? 2050.0 : 625.0)) {
            setHighConfiguration(a);
        } else {
            setLowConfiguration(a);
        }
    } else {
        setCruiseConfiguration(a);
    }
}

void setCruiseConfiguration(LiveAircraft& a)
{
    if (a.lightSetTwoDone) return;
    a.lightSetTwoDone = 1;
    // Below 10000 ft again, the low lights go on again.
    a.lightSetOneDone = 0;
    gf_queueLights(a.objectid, cruiseLights());
    setThrottleLevel(a, a.category == categoryRotorcraft ? 4 : 3);
    setGear(a, 0);
    setFlapStage(a, 0);
}

void setHighConfiguration(LiveAircraft& a)
{
    shrinkWindows(a);
    gf_queueCabinLights(a.objectid, approachHighCabinLight());
    a.departing = 0;
    a.approach = 0;
    const double vs = a.stream.front().verticalSpeed;
    if (vs <= -250.0 && a.throttleLevel == 3) {
        setThrottleLevel(a, a.category == categoryRotorcraft ? 4 : 2);
    } else if (vs > 400.0 && a.throttleLevel == 4 && a.category != categoryRotorcraft) {
        setThrottleLevel(a, 3);
    }
    const double h = a.heightAboveGround;
    if (h >= 2400.0) {
        setGear(a, 0);
        setFlapStage(a, 0);
    } else if (h < 2000.0) {
        if (vs <= 100.0) {
            if (a.flapStage == 0) {
                setFlapStage(a, 1);
            } else if (a.flapStage == 1) {
                setFlapStage(a, 2);
            }
        }
    } else if (vs <= 100.0 && a.flapStage == 0) {
        setFlapStage(a, 1);
    }
}

void setLowConfiguration(LiveAircraft& a)
{
    gf_queueCabinLights(a.objectid, approachLowCabinLight());
    const double vs = a.stream.front().verticalSpeed;
    const bool nearPark = parkAirportWithin10Nm(a);
    if (vs > -250.0) {
        if (vs <= 600.0 && !a.approach) return;
        if (a.approach && nearPark) return;
        if (a.goAround) return;
        shrinkWindows(a);
        setThrottleLevel(a, 4);
        setGear(a, 0);
        a.goAround = 1;
        a.approach = 0;
        setFlapStage(a, 0);
        a.flareStage = 0;
        return;
    }
    if (a.approach || !nearPark) return;
    setThrottleLevel(a, a.category == categoryRotorcraft ? 4 : 1);
    setFlapStage(a, 3);
    setGear(a, 1);
    replacementChecks.push_back(a.flightId);
    a.approach = 1;
    a.goAround = 0;
    forgetParkPlace(a);
    a.aheadWindow = a.departing ? 5000 : 3000;
    a.backWindow = 3000;
    a.rotationCounter = 1;
}

double descentVerticalSpeed(const LiveAircraft& a)
{
    if (a.heightAboveGround <= 100.0) return -600.0;
    const double v = (a.stream[0].verticalSpeed + a.stream[1].verticalSpeed) / 2.0 - (qnh() - 1013.0) * 6.0;
    return std::min(v, -601.0);
}

void climbRateToNext(LiveAircraft& a)
{
    const Position& next = a.stream[1];
    if (next.alt <= a.alt) {
        a.altRate = 0;
        return;
    }
    a.altRate = std::min((next.alt - a.alt) / ticksToNext(a), a.maxClimbRate);
}

void airborneVerticalRate(LiveAircraft& a)
{
    const Position& cur = a.stream[0];
    Position& next = a.stream[1];
    const double dt = ticksToNext(a);
    if (!a.approach) {
        // At every height the reported altitudes set the rate. A floor of climb low down (for a
        // climb-out) would carry the aircraft past its next report, or up toward a lower one.
        a.altRate = std::min((next.alt - a.alt) / dt, a.maxClimbRate);
        return;
    }
    if (cur.alt == next.alt && a.heightAboveGround <= 1000.0 && cur.verticalSpeed + next.verticalSpeed <= 100.0) {
        const double v = descentVerticalSpeed(a);
        next.verticalSpeed = v;
        a.verticalSpeed = v;
        a.altRate = v / 6000.0;
        return;
    }
    a.altRate = (next.alt - a.alt) / dt;
}

void landingVerticalRate(LiveAircraft& a)
{
    const double climb = std::accumulate(a.stream.begin(), a.stream.end(), 0.0,
                                         [](double s, const Position& p) { return s + p.verticalSpeed; });
    if (!a.approach && climb > 100.0) {
        const std::size_t last = std::min<std::size_t>(a.stream.size() - 1, 10);
        for (std::size_t n = 3; n <= last; ++n)
            if (dropPositionsUpTo(a, n)) {
                setGear(a, 1);
                return;
            }
        Position& next = a.stream[1];
        next.verticalSpeed = std::max(next.verticalSpeed, 601.0);
        a.verticalSpeed = next.verticalSpeed;
        a.altRate = next.verticalSpeed / 6000.0;
        setGear(a, 1);
        return;
    }
    const double v = descentVerticalSpeed(a);
    a.stream[1].verticalSpeed = v;
    a.verticalSpeed = v;
    a.altRate = v / 6000.0;
    setGear(a, 1);
}

} // namespace qtr
