// Motion of single live aircraft, driven step by step: timing, speeds, turns, curves, dead
// reckoning, leaving the stand, holding, take-off, flare, approach, and the injection range.
#include "../positions.h"
#include "foundation/geometry.h"
#include "foundation/parameters/parameter_table.h"
#include "links/simconnect_client.h"
#include "links/simconnect_queues.h"
#include "links/udp_receiver.h"
#include "traffic/flights/motion.h"
#include "traffic/parking/park_airports.h"
#include "traffic/run/range.h"
#include "traffic/state/stands.h"
#include "traffic/state/traffic_state.h"
#include "../traffic_harness.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

using namespace qtr;
using qtest::TrafficHarness;

namespace {

constexpr double pi = std::numbers::pi;
constexpr double feetPerNm = 6076.11549;

using qtest::at;

class Motion : public ::testing::Test {
protected:
    void SetUp() override
    {
        liveAircraft.reserve(16);
        TrafficHarness::addType("A320", categoryLarge, 0.0096);
    }
    LiveAircraft& aircraft(std::vector<Position> stream, std::uint32_t category = categoryLarge)
    {
        FlightRecord r;
        r.callsign = "TST" + std::to_string(liveAircraft.size());
        r.type = "A320";
        r.airline = "TST";
        r.flightId = 20001 + static_cast<std::uint32_t>(liveAircraft.size());
        r.category = category;
        r.radius = 0.0096;
        r.baseTurnRate = r.turnRate = categoryBaseTurnRate(category);
        r.rotationTicks = categoryRotationTicks(category);
        r.climbPitchTicks = categoryClimbPitchTicks(category);
        r.flareTicks = categoryFlareTicks(category);
        r.rotationPitch = categoryRotationPitch(category) * degToRad;
        r.climbPitch = categoryClimbPitch(category) * degToRad;
        r.maxClimbRate = categoryMaxClimbRate(category);
        r.standTaxiSpeed = categoryStandTaxiSpeed(category);
        LiveAircraft& a = liveAircraft.emplace_back(stream.front(), std::move(r), 0.0);
        for (std::size_t k = 1; k < stream.size(); ++k) a.stream.push_back(stream[k]);
        a.state = stateActive;
        a.objectid = 500 + static_cast<std::uint32_t>(liveAircraft.size());
        a.lat = stream.front().lat;
        a.lon = stream.front().lon;
        a.alt = stream.front().alt;
        a.onGround = stream.front().airborne ? 0 : 1;
        clearCurve(a);
        return a;
    }
    // The client events queued so far (taken off the queue).
    std::vector<ClientEvent> events()
    {
        std::lock_guard lock(simConnectMutex);
        std::vector<ClientEvent> out;
        out.swap(clientEventQueue);
        return out;
    }
    static std::vector<std::uint32_t> dataOf(const std::vector<ClientEvent>& events, std::uint32_t id)
    {
        std::vector<std::uint32_t> out;
        for (const ClientEvent& e : events)
            if (e.eventId == id) out.push_back(e.data);
        return out;
    }
    TrafficHarness h;
};

TEST_F(Motion, NextPositionTimeFollowsTheWindows)
{
    struct Case {
        std::int32_t extrapolations;
        std::uint32_t own, clock, ticks, expected;
    };
    // Windows: ahead 1000, back 1000.
    const Case cases[] = {
        {0, 5000, 4000, 500, 4500},      // inside the window: clock + ticks
        {0, 5000, 4000, 3000, 6000},     // too late: own time + ahead window
        {0, 5000, 3000, 100, 4000},      // too early: own time - back window
        {0, 5000, 6500, 25, 6500},       // a passed leg is never set before the clock
        {1, 5000, 4000, 3000, 7000},     // prolonged stream: clock + ticks
        {0, 100, 4294967000u, 800, 504}, // the tick counter wraps: compared as signed values
    };
    for (const Case& c : cases) {
        LiveAircraft& a = aircraft({at(50, 8, 0), at(50, 8.01, c.own)});
        a.extrapolations = c.extrapolations;
        tickCount = c.clock;
        setNextPositionTime(a, c.ticks);
        EXPECT_EQ(a.stream[1].time, c.expected) << c.own << " " << c.clock << " " << c.ticks;
    }
}

TEST_F(Motion, SegmentSpeed)
{
    struct Case {
        double v1, v2;
        std::uint32_t t1, t2;
        double expected;
    };
    // The leg is 0.6 nm (0.01 degree of latitude).
    const Case cases[] = {
        {20, 30, 0, 100, 25},    // mean of both speeds
        {0, 30, 0, 100, 15},     // from a standstill: half the next speed
        {0, 0, 0, 3600, 60},     // both 0: from distance and time
        {0, 0, 500, 100, 8640},  // a time that went back counts as 25 ticks
        {0, 0, 0, 360000000, 1}, // never below 1 kt
    };
    for (const Case& c : cases) {
        LiveAircraft& a = aircraft({at(50, 8, c.t1, c.v1), at(50.01, 8, c.t2, c.v2)});
        EXPECT_NEAR(segmentSpeed(a), c.expected, 0.01) << c.v1 << " " << c.v2 << " " << c.t2;
    }
}

TEST_F(Motion, TickSpansNeverReachTheCastUnguarded)
{
    const double inf = std::numeric_limits<double>::infinity();
    for (const auto& [ticks, expected] : {std::pair<double, std::uint32_t>{12.4, 12},
                                          {12.5, 13},
                                          {0.0, 0},
                                          {-5.0, 0},
                                          {-inf, 0},
                                          {inf, longestTickSpan},
                                          {std::nan(""), longestTickSpan},
                                          {1e300, longestTickSpan},
                                          {8640000.4, longestTickSpan}}) {
        EXPECT_EQ(gf_tickSpan(ticks), expected) << ticks;
    }
    // A pull-out at a taxi speed of 0 takes the longest span instead of an undefined one.
    LiveAircraft& a = aircraft({at(50, 8, 0), at(50.01, 8, 500, 5)});
    a.parkLat = 50;
    a.parkLon = 8;
    a.standTaxiSpeed = 0.0;
    tickCount = 100;
    pullOut(a);
    EXPECT_EQ(a.stream[1].time, 100 + longestTickSpan);
}

TEST_F(Motion, HeadingWrapsAndTurnsTheShortWay)
{
    // The signed difference lies in (-pi, pi].
    EXPECT_DOUBLE_EQ(wrapSigned(pi), pi);
    EXPECT_DOUBLE_EQ(wrapSigned(-pi), pi);
    EXPECT_NEAR(wrapSigned(1.5 * pi), -0.5 * pi, 1e-12);
    EXPECT_NEAR(wrapSigned(-1.5 * pi), 0.5 * pi, 1e-12);
    EXPECT_NEAR(wrapSigned(359.0 * degToRad - 1.0 * degToRad), -2.0 * degToRad, 1e-12);

    struct Case {
        double heading, target, expected; // degrees
    };
    const double rate = categoryBaseTurnRate(categoryLarge) * radToDeg; // 0.07 deg per tick
    const Case cases[] = {
        {359.98, 1.0, 359.98 + rate - 360.0},                     // across north to the right, back into [0, 360)
        {0.02, 359.0, 360.0 + 0.02 - rate},                       // across north to the left
        {179.0, 181.0, 179.0 + rate},                             // across south
        {181.0, 179.0, 181.0 - rate},         {90.0, 90.4, 90.0}, // within half a degree: no turn
        {90.0, 270.1, 90.0 - rate},                               // just over 180: the left turn is shorter
    };
    for (const Case& c : cases) {
        LiveAircraft& a = aircraft({at(50, 8, 0, 10), at(50.001, 8, 1000, 10)});
        setPhase(a, phaseTaxi);
        a.turnInPlace = 1;
        a.heading = c.heading * degToRad;
        a.bearingToNext = c.target * degToRad;
        moveLiveAcTick(a);
        EXPECT_NEAR(a.heading * radToDeg, c.expected, 1e-9) << c.heading << " -> " << c.target;
        EXPECT_GE(a.heading, 0.0);
        EXPECT_LT(a.heading, twoPi);
    }
}

TEST_F(Motion, TurnRateFollowsTheTurnAndTheLeg)
{
    struct Case {
        double angle;  // degrees, the turn in place
        double legNm;  // next position north of the current one
        double speed;  // kt
        double factor; // expected turnRate / baseTurnRate
    };
    const double base = categoryBaseTurnRate(categoryLarge);
    // ticks = leg * 360000 / speed; turnTicks = round(angle / base / 100).
    const auto ratio = [base](double angle, double leg, double speed) {
        return std::max(std::round(leg * 360000.0 / speed), 25.0) / std::max(std::round(angle / base / 100.0), 1.0);
    };
    const double r1 = ratio(10, 0.05, 10);
    const double r2 = ratio(40, 0.01, 10);
    const double r3 = ratio(60, 0.05, 10);
    const double r4 = ratio(120, 0.05, 10);
    const Case cases[] = {
        {10, 0.05, 10, 1.0 / std::min({r1 * 10.0 / 10, r1 * 30.0 / 1852.0 / 0.05, r1})},
        {40, 0.01, 10, 1.0 / (r2 >= 1.2 ? std::min({r2 * 10.0 / 40, r2 * 30.0 / 1852.0 / 0.01, r2}) : r2)},
        {60, 0.05, 10, std::min(r3, 60.0 / 30.0)},
        {120, 0.05, 10, std::min(r4, 90.0 / 30.0)},
    };
    for (const Case& c : cases) {
        LiveAircraft& a = aircraft({at(50, 8, 0, c.speed), at(50 + c.legNm / 60.0, 8, 100000, c.speed)});
        setPhase(a, phaseTaxi);
        a.turnInPlace = 1;
        a.headingDiff = c.angle;
        a.backWindow = a.aheadWindow = 1000;
        retimeNextPosition(a);
        EXPECT_NEAR(a.turnRate / base, c.factor, 1e-9) << c.angle;
        EXPECT_EQ(a.aheadWindow, c.angle >= 90 ? 2000u : 1000u);
    }
    // The bank rate: toward the turn, within the maximum bank and the roll rate.
    LiveAircraft& a = aircraft({at(50, 8, 0, 200, 5000), at(50.1, 8, 1000, 200, 5000)});
    setBankRate(a, 0.1, 1000);
    EXPECT_NEAR(a.bankRate, -0.1 / 1000, 1e-12);
    setBankRate(a, 2.0, 1);
    EXPECT_NEAR(a.bankRate, -categoryRollRate(categoryLarge), 1e-12);
    a.bank = -categoryMaxBank(categoryLarge);
    setBankRate(a, 2.0, 100);
    EXPECT_NEAR(a.bankRate, 0.0, 1e-12); // already at the maximum bank
}

TEST_F(Motion, CurveOfAGroundTurn)
{
    CurveSegment c;
    c.originLat = 50;
    c.originLon = 8;
    c.startT = 0;
    c.endT = 1;
    c.controlNorth = 100;
    c.controlEast = 0;
    c.endNorth = 100;
    c.endEast = 100;
    LatLon p;
    double headingRad = -1;
    ASSERT_TRUE(evaluateCurveSegment(c, 0, p, headingRad));
    EXPECT_DOUBLE_EQ(p.lat, 50);
    EXPECT_DOUBLE_EQ(headingRad, 0); // leaving northward
    ASSERT_TRUE(evaluateCurveSegment(c, 0.5, p, headingRad));
    EXPECT_NEAR(p.lat, 50 + 75.0 / 111132.95, 1e-12);
    EXPECT_NEAR(p.lon, 8 + 25.0 / (111132.95 * std::cos(50 * degToRad)), 1e-12);
    EXPECT_NEAR(headingRad, pi / 4, 1e-12);
    ASSERT_TRUE(evaluateCurveSegment(c, 1, p, headingRad));
    EXPECT_NEAR(headingRad, pi / 2, 1e-12); // arriving eastward
    // Outside its range or without a control point it fails and leaves the outputs alone.
    p = LatLon{1, 2};
    EXPECT_FALSE(evaluateCurveSegment(c, 1.01, p, headingRad));
    c.controlEast = std::nan("");
    EXPECT_FALSE(evaluateCurveSegment(c, 0.5, p, headingRad));
    EXPECT_DOUBLE_EQ(p.lat, 1);

    // Along the curve, the parameter stops short of its end.
    LiveAircraft& a = aircraft({at(50, 8, 0, 10), at(50.001, 8, 100, 10), at(50.001, 8.001, 200, 10)});
    setPhase(a, phaseTaxi);
    a.heading = 0;
    setupCurve(a);
    EXPECT_EQ(a.stream.size(), 2u); // the control point left the stream
    a.curveStep = 0.3;
    for (int k = 0; k < 5; ++k) moveLiveAcTick(a);
    EXPECT_DOUBLE_EQ(a.curveT, 0.999999);
    EXPECT_NEAR(a.lat, 50.001, 1e-6);
    EXPECT_NEAR(a.lon, 8.001, 1e-6);
}

// A taxi turn on an airfield that straddles 180 degrees: the curve and the middle point inserted
// before a speed change stay a few metres long instead of sweeping round the globe.
TEST_F(Motion, GroundTurnsAndMidPointsAcrossTheAntimeridian)
{
    LiveAircraft& a =
        aircraft({at(50, 179.9995, 0, 10), at(50.001, 179.9995, 100, 10), at(50.001, -179.9995, 200, 10)});
    setPhase(a, phaseTaxi);
    a.heading = 0;
    setupCurve(a);
    EXPECT_LT(std::fabs(a.curveEndX), 100.0); // metres east, not 25,000 km west
    a.curveStep = 0.3;
    for (int k = 0; k < 5; ++k) moveLiveAcTick(a);
    EXPECT_NEAR(a.lat, 50.001, 1e-6);
    EXPECT_NEAR(a.lon, -179.9995, 1e-6);

    LiveAircraft& b = aircraft({at(50, 179.999, 0, 10), at(50, -179.999, 100, 20)});
    insertMidPosition(b);
    ASSERT_EQ(b.stream.size(), 3u);
    EXPECT_NEAR(std::fabs(b.stream[1].lon), 180.0, 1e-9);
}

TEST_F(Motion, DeadReckoning)
{
    struct Case {
        const char* name;
        bool onGround, landingRoll, departing, approach, parked;
        double speed, alt;
        std::int32_t n;
        double expectedSpeed, expectedVs;
        bool stop;
        std::uint32_t dt; // ticks after the current position
        std::uint32_t category = categoryLarge;
    };
    const Case cases[] = {
        {"parked", true, false, false, false, true, 0, 0, 1, 0, 0, true, 60480000},
        {"taxi", true, false, false, false, false, 12, 0, 10, 0, 0, true, 300},
        {"roll 150", true, true, false, false, false, 150, 0, 10, 100, 0, false, 300},
        {"roll 90", true, true, false, false, false, 90, 0, 10, 60, 0, false, 300},
        {"roll 50", true, true, false, false, false, 50, 0, 10, 20, 0, false, 300},
        {"depart 30", true, false, true, false, false, 30, 0, 10, 40, 0, false, 300},
        {"depart 120", true, false, true, false, false, 120, 0, 10, 150, 600, false, 300},
        {"depart 170", true, false, true, false, false, 170, 0, 10, 180, 2400, false, 300},
        {"cruise", false, false, false, false, false, 400, 30000, 8, 380, 0, false, 800},
        {"approach", false, false, false, true, false, 200, 3000, 8, 180, -667, false, 800},
        {"approach late", false, false, false, true, false, 200, 3000, 3, 200, -667, false, 800},
        {"hovering", false, false, false, false, false, 1, 1900, 8, 0, 0, true, 800, categoryRotorcraft},
        {"slow helicopter", false, false, false, false, false, 4, 1900, 8, 3.8, 0, false, 800, categoryRotorcraft},
        {"no hover without rotors", false, false, false, false, false, 1, 1900, 8, 1, 0, false, 800},
    };
    for (const Case& c : cases) {
        LiveAircraft& a = aircraft({at(50, 8, 1000, c.speed, c.alt)}, c.category);
        a.onGround = c.onGround ? 1 : 0;
        a.landingRoll = c.landingRoll;
        a.departing = c.departing;
        a.approach = c.approach;
        a.heading = pi / 2;
        if (c.parked) setPhase(a, phaseParked);
        extrapolatePosition(a, c.n);
        ASSERT_EQ(a.stream.size(), 2u) << c.name;
        const Position& p = a.stream[1];
        EXPECT_EQ(a.extrapolations, c.n) << c.name;
        EXPECT_DOUBLE_EQ(p.speed, c.expectedSpeed) << c.name;
        EXPECT_DOUBLE_EQ(p.verticalSpeed, c.expectedVs) << c.name;
        EXPECT_EQ(p.stop != 0, c.stop) << c.name;
        EXPECT_EQ(p.time, 1000 + c.dt) << c.name;
        const double step = c.onGround ? 3.0 : 8.0;
        const double moved = distanceNm(LatLon{50, 8}, LatLon{p.lat, p.lon});
        EXPECT_NEAR(moved, c.stop ? 0.0 : step * 100 * c.expectedSpeed / 360000.0, 1e-6) << c.name;
        if (!c.stop) {
            EXPECT_NEAR(initialBearing(LatLon{50, 8}, LatLon{p.lat, p.lon}), pi / 2, 1e-3) << c.name;
        }
        if (c.approach) {
            EXPECT_NEAR(p.alt, c.alt - step * 10.005, 1e-9) << c.name;
        }
    }
}

TEST_F(Motion, PushbackOrPullOut)
{
    struct Case {
        double wayOut; // degrees off the parked heading (north)
        std::uint32_t phase;
    };
    const Case cases[] = {{89, phaseTaxi},         {-89, phaseTaxi},        {90, phasePushingBack},
                          {-90, phasePushingBack}, {180, phasePushingBack}, {0, phaseTaxi}};
    for (const Case& c : cases) {
        resetTrafficManager();
        liveAircraft.reserve(4);
        replaceStands({TrafficHarness::stand(1, "A1", 50, 8)});
        const LatLon out = destinationPoint(LatLon{50, 8}, c.wayOut * degToRad, 200 * 3.28084);
        Position parked = at(50, 8, 0);
        parked.stop = 1;
        Position leaving = at(out.lat, out.lon, 500, 5);
        LiveAircraft& a = aircraft({parked, leaving});
        a.parkLat = 50;
        a.parkLon = 8;
        a.parkHeading = 0;
        a.sid = 1;
        setPhase(a, phaseParked);
        a.leaveStandPending = 1;
        tickCount = 10;
        nextPosGround(a);
        EXPECT_EQ(a.phase, c.phase) << c.wayOut;
        if (c.phase == phasePushingBack) {
            // Straight back 2.5 stand radii through its middle, then one aircraft radius to a side.
            ASSERT_EQ(a.stream.size(), 4u);
            EXPECT_NEAR(distanceNm(LatLon{50, 8}, LatLon{a.stream[2].lat, a.stream[2].lon}), 2.5 * 0.03, 1e-6);
            EXPECT_NEAR(a.stream[2].lat, 50 - 2.5 * 0.03 / 60, 1e-6);
            EXPECT_NEAR(distanceNm(LatLon{a.stream[2].lat, a.stream[2].lon}, LatLon{a.stream[3].lat, a.stream[3].lon}),
                        a.radius, 1e-6);
        } else {
            ASSERT_EQ(a.stream.size(), 2u);
            EXPECT_NEAR(a.stream[1].lat, 50 + 2 * a.radius / 60, 1e-6); // two radii ahead of the stand
        }
        liveAircraft.clear();
    }
}

// A taxiing aircraft whose next point lies more than 3 degrees off its heading, on either side,
// turns in place toward it before rolling on; within 3 degrees it only rolls.
TEST_F(Motion, TaxiTurnsInPlaceTowardANextPointOffItsHeading)
{
    const struct {
        double off; // degrees, next point's bearing minus the heading
        bool turns;
    } cases[] = {{0, false}, {2.9, false}, {-2.9, false}, {3.5, true}, {-3.5, true}, {40, true}, {-170, true}};
    for (const auto& c : cases) {
        const LatLon next = destinationPoint(LatLon{50, 8}, (90 + c.off) * degToRad, 300);
        LiveAircraft& a = aircraft({at(50, 8, 0, 10), at(next.lat, next.lon, 1000, 10)});
        setPhase(a, phaseTaxi);
        a.heading = 90 * degToRad;
        a.bearingToNext = initialBearing(LatLon{50, 8}, next);
        nextPosGround(a);
        EXPECT_EQ(a.turnInPlace != 0, c.turns) << c.off;
        moveLiveAcTick(a);
        const double turned = wrapSigned(a.heading - 90 * degToRad);
        EXPECT_EQ(turned * c.off > 0.0, c.turns) << c.off; // toward the point, or not at all
    }
}

TEST_F(Motion, HoldingAtTheEndOfAStream)
{
    MAX_HOLDING_MINUTES.setValue(2);
    LiveAircraft& a = aircraft({at(50, 8, 1000, 0)});
    setPhase(a, phaseTaxi);
    tickCount = 1000;
    // Holds in place in 3-second steps.
    ASSERT_TRUE(holdAtStreamEnd(a));
    EXPECT_TRUE(a.holding);
    EXPECT_EQ(a.holdStart, 1000u);
    EXPECT_EQ(a.extrapolations, 1);
    ASSERT_EQ(a.stream.size(), 2u);
    EXPECT_EQ(a.stream[1].time, 1300u);
    EXPECT_TRUE(a.stream[1].stop);
    a.stream.pop_front();
    // Still holding after 2 whole minutes; not after more than that.
    tickCount = 1000 + 2 * 6000 + 5999;
    EXPECT_TRUE(holdAtStreamEnd(a));
    a.stream.pop_front();
    tickCount = 1000 + 3 * 6000;
    EXPECT_FALSE(holdAtStreamEnd(a));

    // Another active taxiing aircraft within 1.2 times both radii ends the hold at once.
    LiveAircraft& b = aircraft({at(50, 8, 1000, 0)});
    LiveAircraft& other = aircraft({at(50 + 1.1 * 2 * 0.0096 / 60, 8, 1000, 0)});
    setPhase(b, phaseTaxi);
    setPhase(other, phaseTaxi);
    b.holding = 1;
    EXPECT_FALSE(holdAtStreamEnd(b));
    EXPECT_FALSE(b.holding);
    MAX_HOLDING_MINUTES.setValue(20);
}

TEST_F(Motion, TakeOffRollRotationAndClimbOut)
{
    LiveAircraft& a = aircraft({at(50, 8, 0, 150), at(50.1, 8, 3000, 160, 500)});
    setPhase(a, phaseTaxi);
    a.throttleLevel = 0;
    a.altRate = 0.5;
    a.heightAboveGround = 0;
    startTakeOffRoll(a);
    EXPECT_EQ(a.phase, phaseTakeOff);
    EXPECT_TRUE(a.departing);
    EXPECT_NEAR(a.pitchRate, a.rotationPitch / 200, 1e-12);
    events();
    std::vector<double> climbs, pitches;
    int gearTick = -1, flyingTick = -1;
    for (int k = 1; k <= 900; ++k) {
        const double before = a.alt;
        if (k == 700) a.heightAboveGround = 800;
        takeOffRollTick(a);
        pitches.push_back(a.pitch);
        climbs.push_back(a.alt - before);
        if (!dataOf(events(), eventGear).empty()) gearTick = k;
        if (flyingTick < 0 && a.phase == phaseFlying) flyingTick = k;
    }
    // Rotation for 199 ticks with the wheels still on the runway (no climb), lift-off at tick 200.
    EXPECT_FALSE(a.onGround);
    EXPECT_DOUBLE_EQ(climbs[198], 0.0);
    EXPECT_DOUBLE_EQ(climbs[199], 0.0);
    EXPECT_NEAR(climbs[200], 0.05, 1e-9); // a tenth, a fifth and a half of the rate in turn
    EXPECT_NEAR(climbs[300], 0.1, 1e-9);
    EXPECT_NEAR(climbs[400], 0.25, 1e-9);
    EXPECT_NEAR(climbs[500], 0.5, 1e-9);
    EXPECT_EQ(gearTick, 200 + 300); // the gear goes up 300 ticks after lift-off
    // The nose comes up evenly to the rotation pitch during the rotation, then on to the climb pitch.
    EXPECT_NEAR(pitches[98], a.rotationPitch * 99 / 200, 1e-9);
    EXPECT_NEAR(pitches[198], a.rotationPitch * 199 / 200, 1e-9);
    // Flying once the climb pitch is reached and the aircraft is 800 ft above the ground.
    EXPECT_EQ(flyingTick, 700);
    EXPECT_NEAR(a.pitch, a.climbPitch, 1e-3);
    EXPECT_EQ(a.throttleLevel, 3u);
}

TEST_F(Motion, FlareStages)
{
    struct Step {
        double height;
        std::uint32_t stage;
        double rate;
        double vs;
    };
    // Static CG height 10 ft; no park airport, so the height above ground decides.
    const Step steps[] = {{41, 0, 0, 0},        {40, 1, -0.1, -601},  {31, 1, -0.1, -601},  {30, 2, -0.075, -450},
                          {20, 3, -0.05, -300}, {14, 3, -0.05, -300}, {13, 4, -0.025, -150}};
    LiveAircraft& a = aircraft({at(50, 8, 0, 140, 100), at(50.01, 8, 2000, 140, 0)});
    a.staticCgHeight = 10;
    a.approach = 1;
    a.throttleLevel = 1;
    for (const Step& s : steps) {
        a.heightAboveGround = s.height;
        flareTick(a);
        EXPECT_EQ(a.flareStage, s.stage) << s.height;
        if (s.stage > 0) {
            EXPECT_DOUBLE_EQ(a.altRate, s.rate) << s.height;
            EXPECT_DOUBLE_EQ(a.stream.front().verticalSpeed, s.vs) << s.height;
        }
    }
    EXPECT_EQ(a.throttleLevel, 0u);
    // With a park airport the height above its elevation may start the flare earlier.
    TrafficHarness::setParkAirport("EDDF", 50, 8, 300, {});
    LiveAircraft& b = aircraft({at(50, 8, 0, 140, 335), at(50.01, 8, 2000, 140, 0)});
    b.staticCgHeight = 10;
    b.approach = 1;
    b.alt = 335;
    b.heightAboveGround = 60;
    flareTick(b);
    EXPECT_EQ(b.flareStage, 1u);
    EXPECT_NEAR(b.pitchRate, -4 * degToRad / b.flareTicks, 1e-12);
}

TEST_F(Motion, ApproachConfigurationAndGoAround)
{
    TrafficHarness::setParkAirport("EDDF", 50, 8, 300, {});
    Position cur = at(50.05, 8, 0, 160, 1500);
    cur.verticalSpeed = -700;
    LiveAircraft& a = aircraft({cur, at(50.04, 8, 1000, 150, 1400)});
    a.sid = 7;
    a.parkLat = 50;
    a.heightAboveGround = 1200;
    events();
    setLowConfiguration(a);
    const auto e = events();
    EXPECT_TRUE(a.approach);
    EXPECT_EQ(dataOf(e, eventThrottle), std::vector<std::uint32_t>{4914});
    EXPECT_EQ(dataOf(e, eventFlaps), std::vector<std::uint32_t>{16383});
    EXPECT_EQ(dataOf(e, eventGear), std::vector<std::uint32_t>{1});
    EXPECT_EQ(dataOf(e, eventCabinLights), std::vector<std::uint32_t>{0});
    EXPECT_EQ(a.sid, 0u);
    EXPECT_DOUBLE_EQ(a.parkLat, 0);
    ASSERT_EQ(replacementChecks.size(), 1u);
    EXPECT_EQ(replacementChecks.front(), a.flightId);
    // Once on approach, the configuration is not repeated.
    setLowConfiguration(a);
    EXPECT_TRUE(dataOf(events(), eventFlaps).empty());
    // Climbing fast below the configuration height while not approaching: a go-around, once.
    Position climbing = at(50.05, 8, 0, 160, 1500);
    climbing.verticalSpeed = 1500;
    LiveAircraft& b = aircraft({climbing, at(50.04, 8, 1000, 150, 1600)});
    b.heightAboveGround = 1200;
    events();
    setLowConfiguration(b);
    const auto g = events();
    EXPECT_TRUE(b.goAround);
    EXPECT_FALSE(b.approach);
    EXPECT_EQ(dataOf(g, eventThrottle), std::vector<std::uint32_t>{16383});
    EXPECT_EQ(dataOf(g, eventGear), std::vector<std::uint32_t>{0});
    EXPECT_EQ(dataOf(g, eventFlaps), std::vector<std::uint32_t>{0});
    setLowConfiguration(b);
    EXPECT_TRUE(dataOf(events(), eventThrottle).empty());
}

TEST_F(Motion, AirborneLegPitchAndClimb)
{
    struct Case {
        double vs;          // ft/min of the next position
        double targetPitch; // degrees
    };
    const Case cases[] = {{2400, -11.8}, {4000, -11.8}, {0, -3.0}, {-3000, 2.5}, {-6000, 2.5}};
    for (const Case& c : cases) {
        Position next = at(50.1, 8, 100000, 250, 5000);
        next.verticalSpeed = c.vs;
        LiveAircraft& a = aircraft({at(50, 8, 0, 250, 5000), next});
        setPhase(a, phaseFlying);
        a.pitch = c.targetPitch * degToRad; // already there: no pitch rate
        a.heightAboveGround = 5000;
        tickCount = 0;
        airborneStep(a);
        EXPECT_NEAR(a.pitchRate, 0.0, 1e-12) << c.vs;
    }
    // Low down and not approaching, the reported altitudes set the rate (ft a tick over the 1000
    // ticks of the leg): no floor of climb toward a lower report or past a higher one.
    struct Low {
        double nextAlt, altRate;
    };
    for (const Low& c :
         {Low{700, -0.1}, Low{800, 0.0}, Low{850, 0.05}, Low{100000, categoryMaxClimbRate(categoryLarge)}}) {
        LiveAircraft& low = aircraft({at(50, 8, 0, 150, 800), at(50.1, 8, 1000, 150, c.nextAlt)});
        setPhase(low, phaseFlying);
        low.heightAboveGround = 500;
        airborneVerticalRate(low);
        EXPECT_DOUBLE_EQ(low.altRate, c.altRate) << c.nextAlt;
    }
    // QNH 1020: the final descent rate is the mean reported rate less 42 ft/min, at most -601.
    currentQnh = 1020;
    Position c1 = at(50, 8, 0, 150, 800);
    c1.verticalSpeed = -700;
    Position n1 = at(50.1, 8, 1000, 150, 0);
    n1.verticalSpeed = -800;
    LiveAircraft& d = aircraft({c1, n1});
    d.heightAboveGround = 700;
    EXPECT_DOUBLE_EQ(descentVerticalSpeed(d), -792.0);
    currentQnh = 1013;
}

TEST_F(Motion, LightsOnAgainBelowTenThousandFeetAfterCruise)
{
    const auto legAt = [this](double alt) -> LiveAircraft& {
        LiveAircraft& a = aircraft({at(50, 8, 0, 250, alt), at(50.1, 8, 100000, 250, alt)});
        setPhase(a, phaseFlying);
        a.heightAboveGround = alt;
        return a;
    };
    LiveAircraft& a = legAt(12000);
    events();
    airborneStep(a);
    EXPECT_EQ(dataOf(events(), eventLandingLights), std::vector<std::uint32_t>{0}); // cruise
    // Descending through 10000 ft: all lights on again.
    a.stream.front().alt = 9000;
    airborneStep(a);
    EXPECT_EQ(dataOf(events(), eventLandingLights), std::vector<std::uint32_t>{1});
    a.stream.front().alt = 8000;
    airborneStep(a);
    EXPECT_TRUE(dataOf(events(), eventLandingLights).empty()); // once
}

TEST(InjectionRange, AutoRangeTable)
{
    struct Case {
        bool onGround;
        double alt;
        double distance; // nm to the first park airport; < 0: no park airport
        std::int32_t expected;
    };
    const Case cases[] = {
        {true, 0, 100, 10},       {false, 10000, 20.4, 23}, {false, 10000, 20.51, 24}, {false, 10000, 7, 10},
        {false, 10000, 36.9, 40}, {false, 10000, 37, 40},   {false, 10000, -1, 40},    {false, 18001, 5, 40},
        {false, 49000, 5, 40},    {false, 49001, 5, 100},
    };
    TrafficHarness h;
    AUTO_RANGE_ABOVE_HEIGHT.setValue(49000);
    AIRPORT_HEIGHT.setValue(18000);
    for (const Case& c : cases) {
        parkAirportList.clear();
        if (c.distance >= 0)
            parkAirportList.push_back(
                ParkAirportEntry{"KXXX", "", destinationPoint(LatLon{10, 10}, 0, c.distance * feetPerNm), 0});
        h.setUser(10, 10, c.onGround, c.alt);
        autoRange();
        EXPECT_EQ(LATERAL_RANGE.value(), c.expected) << c.alt << " " << c.distance;
        EXPECT_DOUBLE_EQ(lateralRangeNm.load(), c.expected);
        EXPECT_EQ(lateralRangeMetres.load(), c.expected * 1852);
    }
    setRangeNm(150);
    EXPECT_EQ(LATERAL_RANGE.value(), 100);
    EXPECT_EQ(lateralRangeMetres.load(), 185200);
    setRangeNm(1);
    EXPECT_EQ(LATERAL_RANGE.value(), 2);
    EXPECT_DOUBLE_EQ(lateralRangeNm.load(), 2.0);
    EXPECT_EQ(lateralRangeMetres.load(), 3704);
    setRangeNm(40);
}

} // namespace
