// The intake of reports into the stream of a live aircraft, by phase.
#include "../positions.h"
#include "foundation/geometry.h"
#include "foundation/parameters/parameter_table.h"
#include "traffic/flights/live_update.h"
#include "traffic/flights/motion.h"
#include "traffic/state/stands.h"
#include "traffic/state/traffic_state.h"
#include "../traffic_harness.h"

#include <gtest/gtest.h>

#include <optional>

using namespace qtr;
using qtest::TrafficHarness;

namespace {

constexpr double metre = 1.0 / 1852.0 / 60.0; // degrees of latitude per metre

using qtest::at;

class LiveUpdate : public ::testing::Test {
protected:
    void SetUp() override { liveAircraft.reserve(8); }
    LiveAircraft& aircraft(Position first, std::uint32_t phase, std::uint32_t category = categoryLarge)
    {
        FlightRecord r;
        r.callsign = "TST" + std::to_string(liveAircraft.size());
        r.type = "A320";
        r.flightId = 20001 + static_cast<std::uint32_t>(liveAircraft.size());
        r.category = category;
        r.radius = 0.0096;
        LiveAircraft& a = liveAircraft.emplace_back(first, std::move(r), 0.0);
        a.state = stateActive;
        a.objectid = 700 + static_cast<std::uint32_t>(liveAircraft.size());
        a.onGround = first.airborne ? 0 : 1;
        a.lat = first.lat;
        a.lon = first.lon;
        setPhase(a, phase);
        return a;
    }
    TrafficHarness h;
};

TEST_F(LiveUpdate, DuplicatesAndSmallMovesOnTheGround)
{
    // A report at exactly the last position of a taxiing aircraft: a stop with speed 0.
    LiveAircraft& taxi = aircraft(at(50, 8, 100, 12), phaseTaxi);
    addPositionToStream(taxi, at(50, 8, 3000, 4));
    ASSERT_EQ(taxi.stream.size(), 2u);
    EXPECT_TRUE(taxi.stream[1].stop);
    EXPECT_DOUBLE_EQ(taxi.stream[1].speed, 0.0);
    // Within 0.0001 degree while departing at 60 kt: dropped.
    LiveAircraft& rolling = aircraft(at(50, 8, 100, 60), phaseTaxi);
    rolling.departing = 1;
    addPositionToStream(rolling, at(50.0001, 8, 3000, 62));
    EXPECT_EQ(rolling.stream.size(), 1u);
    // A stream of more than 200 positions queues the removal; the report is still appended.
    LiveAircraft& longStream = aircraft(at(50, 8, 100, 12), phaseTaxi);
    for (int k = 1; k <= 200; ++k) longStream.stream.push_back(at(50 + k * 0.001, 8, 100 + k, 12));
    addPositionToStream(longStream, at(50.3, 8, 5000, 12));
    EXPECT_EQ(longStream.state, stateRemovingFromSim);
    EXPECT_EQ(longStream.stream.size(), 202u);
    // A holding aircraft whose next report is 300 m away (threshold 250 m) is removed.
    LiveAircraft& holding = aircraft(at(50, 8, 100, 0), phaseTaxi);
    holding.holding = 1;
    addPositionToStream(holding, at(50 + 300 * metre, 8, 3000, 10));
    EXPECT_EQ(holding.state, stateRemovingFromSim);
    EXPECT_EQ(holding.stream.size(), 1u);
}

TEST_F(LiveUpdate, LeavingTheStandAndStayingThere)
{
    replaceStands({TrafficHarness::stand(1, "A1", 50, 8)});
    LiveAircraft& a = aircraft(at(50, 8, 100), phaseParked);
    a.parkLat = 50;
    a.parkLon = 8;
    a.sid = 1;
    // Drifting 3 m at a time: it leaves only after the third such move once half its radius away.
    const double half = a.radius / 2 * 1852.0; // m
    double d = 1;
    addPositionToStream(a, at(50 + d * metre, 8, 3000));
    int moves = 0;
    while (!a.leaveStandPending && moves < 20) {
        d += 3.1;
        ++moves;
        addPositionToStream(a, at(50 + d * metre, 8, 3000 + moves));
    }
    EXPECT_TRUE(a.leaveStandPending);
    EXPECT_GE(moves, 3);
    EXPECT_GE(d - 1, half);
    EXPECT_LT(d - 1 - 3.1, half);

    // A parked Heavy that moves after 40 minutes of its stay was towed; a Large was not.
    for (const std::uint32_t category : {categoryHeavy, categoryLarge}) {
        LiveAircraft& p = aircraft(at(50, 8, 0), phaseParked, category);
        p.parkLat = 50;
        p.parkLon = 8;
        p.sid = 1;
        p.stayCheckPending = 1;
        tickCount = 1000;
        extrapolatePosition(p, 1); // its stand position, one week ahead
        p.stream.pop_front();
        tickCount = 1000 + 40 * 6000;
        addPositionToStream(p, at(50 + 100 * metre, 8, tickCount + 3000, 3));
        EXPECT_EQ(p.towed != 0, category == categoryHeavy) << category;
        EXPECT_TRUE(p.leaveStandPending);
    }
}

TEST_F(LiveUpdate, PushbackSideFromTheReports)
{
    for (const bool straightOnly : {false, true}) {
        STRAIGHT_PBS_ONLY.setValue(straightOnly);
        LiveAircraft& a = aircraft(at(50, 8, 100), phasePushingBack);
        a.pushbackCounter = 2;
        a.heading = 0;
        Position p = at(50 - 20 * metre, 8, 3000, 3);
        p.track = 30;
        addPositionToStream(a, p);
        EXPECT_EQ(a.pushbackTurnKnown != 0, !straightOnly);
        EXPECT_EQ(a.pushbackTurnRight != 0, !straightOnly);
        EXPECT_EQ(a.stream.size(), 1u); // never appended while pushing back
    }
    STRAIGHT_PBS_ONLY.setValue(false);
}

TEST_F(LiveUpdate, ExtendedStreamDropsAReportFarOffTheHeading)
{
    LiveAircraft& a = aircraft(at(50, 8, 100, 250, 5000), phaseFlying);
    a.heading = 0;
    extrapolatePosition(a, 7); // 8 s at 95 % of 250 kt: 0.53 nm ahead of the last report
    // The aircraft has flown there when the reports come.
    a.lat = a.stream.back().lat;
    // 120 degrees off the heading, 0.3 nm back from the reckoned point: the reckoning merely ran
    // past it on a straight track, so the report is dropped rather than flown back to.
    const LatLon off = destinationPoint(LatLon{a.stream.back().lat, a.stream.back().lon}, 120 * degToRad, 0.3 * 6076.0);
    addPositionToStream(a, at(off.lat, off.lon, 3000, 250, 5000));
    EXPECT_EQ(a.stream.size(), 2u);
    EXPECT_EQ(a.extrapolations, 7);
    // Ahead of it: taken, and the extension ends.
    const LatLon ahead = destinationPoint(LatLon{a.stream.back().lat, a.stream.back().lon}, 10 * degToRad, 6076.0);
    addPositionToStream(a, at(ahead.lat, ahead.lon, 3000, 250, 5000));
    EXPECT_EQ(a.stream.size(), 3u);
    EXPECT_EQ(a.extrapolations, 0);
}

TEST_F(LiveUpdate, ReportsOffTheReckonedHeadingWinOverTheReckoning)
{
    struct Case {
        const char* name;
        std::vector<double> nmBackFromReckonedPoint; // successive reports, all 120 degrees off the heading
        std::size_t firstTaken;                      // index of the first report taken (size: none)
        std::optional<double> flownNm = {};          // from the last report (none: to the reckoned point)
    };
    constexpr double toReckonedPoint = 8 * 0.95 * 250 / 3600; // nm
    for (const Case& c :
         {Case{"ran past it", {0.3}, 1}, Case{"turned in the gap: beyond the reckoned distance", {1.0}, 0},
          Case{"a second report off the heading", {0.3, 0.25}, 1},
          Case{"short of the reckoned point, turned: farther than flown so far", {0.45}, 0, 0.1}}) {
        SCOPED_TRACE(c.name);
        liveAircraft.clear();
        LiveAircraft& a = aircraft(at(50, 8, 100, 250, 5000), phaseFlying);
        a.heading = 0;
        extrapolatePosition(a, 7);
        const LatLon reckoned{a.stream.back().lat, a.stream.back().lon};
        // Where the aircraft has got to on its reckoned track when the reports come.
        const LatLon here = destinationPoint(LatLon{50, 8}, 0, c.flownNm.value_or(toReckonedPoint) * 6076.0);
        a.lat = here.lat;
        a.lon = here.lon;
        std::size_t taken = c.nmBackFromReckonedPoint.size();
        for (std::size_t k = 0; k < c.nmBackFromReckonedPoint.size() && taken == c.nmBackFromReckonedPoint.size();
             ++k) {
            const LatLon p = destinationPoint(reckoned, 120 * degToRad, c.nmBackFromReckonedPoint[k] * 6076.0);
            addPositionToStream(a, at(p.lat, p.lon, 3000, 250, 5000));
            if (a.extrapolations == 0) taken = k;
        }
        EXPECT_EQ(taken, c.firstTaken);
        // A taken report ends the reckoning: the reckoned point is due now, the report follows.
        if (taken < c.nmBackFromReckonedPoint.size()) {
            EXPECT_EQ(a.stream.size(), 3u);
            EXPECT_EQ(a.stream.front().time, tickCount.load() + 1);
        } else {
            EXPECT_EQ(a.stream.size(), 2u);
        }
    }
}

TEST_F(LiveUpdate, VerticalSpeedFollowsTheAltitudesWhereTheFeedGivesNoneOrContradictsThem)
{
    // Two reports 20 s (2000 ticks) apart; the feed's vertical speed of the second against the
    // altitudes' own rate.
    struct Case {
        const char* name;
        double lastAlt, alt, feedVs, expectedVs;
    };
    const Case cases[] = {
        {"a few ft/min on a descent", 850, 600, -4, -750},  {"a few ft/min on a climb", 1100, 1975, 18, 2625},
        {"none on a descent", 1000, 951, 0, -147},          {"a descent while level", 2150, 2150, -1088, 0},
        {"agreeing: the feed's own", 1300, 1500, 768, 768}, {"on the ground: untouched", 450, 0, -128, -128},
    };
    for (const Case& c : cases) {
        LiveAircraft& a = aircraft(at(34.0, -118.3, 1000, 150, c.lastAlt), phaseFlying);
        Position p = at(34.0, -118.31, 3000, 150, c.alt);
        p.verticalSpeed = c.feedVs;
        addPositionToStream(a, p);
        ASSERT_EQ(a.stream.size(), 2u) << c.name;
        EXPECT_DOUBLE_EQ(a.stream.back().verticalSpeed, c.expectedVs) << c.name;
    }
}

} // namespace
