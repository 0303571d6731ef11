#include "foundation/geometry.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/utilities.h"
#include "liveries/type_queries.h"
#include "traffic/state/records.h"
#include "../traffic_harness.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

using namespace qtr;

namespace {

struct CategoryCase {
    std::uint32_t category;
    const char* name;
    double turnDeg, rotationPitch, climbPitch;
    std::uint32_t flare, rollout, rotation, climbTicks;
    double maxClimb, taxi;
};

TEST(Records, PerCategoryValues)
{
    const CategoryCase cases[] = {
        {0, "Light", 0.15, -9, -15, 250, 250, 100, 200, 0.5, 5.0},
        {1, "Buzjets", 0.10, -8, -18, 300, 300, 200, 250, 0.75, 4.5},
        {2, "Large", 0.07, -6, -16.5, 400, 350, 200, 300, 0.6, 4.0},
        {3, "Heavy", 0.05, -5, -12.5, 450, 450, 250, 400, 0.5, 3.0},
        {4, "HighPerf", 0.10, -6, -20, 150, 150, 100, 200, 1.0, 4.5},
        {5, "Rotorcraft", 0.20, -20, -30, 100, 100, 100, 100, 0.75, 5.0},
    };
    for (const CategoryCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(categoryName(c.category), c.name);
        EXPECT_DOUBLE_EQ(categoryBaseTurnRate(c.category), c.turnDeg * degToRad);
        EXPECT_DOUBLE_EQ(categoryRotationPitch(c.category), c.rotationPitch);
        EXPECT_DOUBLE_EQ(categoryClimbPitch(c.category), c.climbPitch);
        EXPECT_EQ(categoryFlareTicks(c.category), c.flare);
        EXPECT_EQ(categoryRolloutTicks(c.category), c.rollout);
        EXPECT_EQ(categoryRotationTicks(c.category), c.rotation);
        EXPECT_EQ(categoryClimbPitchTicks(c.category), c.climbTicks);
        EXPECT_DOUBLE_EQ(categoryMaxClimbRate(c.category), c.maxClimb);
        EXPECT_DOUBLE_EQ(categoryStandTaxiSpeed(c.category), c.taxi);
    }
    EXPECT_DOUBLE_EQ(categoryBaseTurnRate(0), 0.002617993877991494);
    EXPECT_EQ(phaseName(0), "pushing_back");
    EXPECT_EQ(phaseName(7), "birth");
    EXPECT_EQ(simStateName(3), "liveryrespawn");
    EXPECT_EQ(simStateName(4), "removingfromsim");
    // A number without a row throws with the text of a hash map's lookup, which the logs show.
    const std::function<void()> unknown[] = {[] { categoryName(6); }, [] { categoryStandTaxiSpeed(6); },
                                             [] { categoryName(99); }, [] { phaseName(8); }, [] { simStateName(5); }};
    for (const auto& lookUp : unknown) {
        try {
            lookUp();
            ADD_FAILURE() << "no exception";
        } catch (const std::out_of_range& e) {
            EXPECT_STREQ(e.what(), "invalid unordered_map<K, T> key");
        }
    }
}

TEST(Records, AirlineCodeAndCallsign)
{
    const std::pair<const char*, const char*> codes[] = {
        {"ab1", ""}, {"abc1", "ABC"}, {"ab12", ""}, {"abcd", ""}, {"N123AB", ""}, {"ABC", ""}, {"dlh4AB", "DLH"}};
    for (const auto& [callsign, code] : codes) {
        SCOPED_TRACE(callsign);
        const auto result = airlineCodeFromCallsign(callsign);
        EXPECT_EQ(result.value_or(""), code);
    }
    const std::pair<const char*, bool> callsigns[] = {
        {"", false}, {"@@@@@@@@", false}, {"ABCDEFGH", true}, {"ABCDEFGHI", false}, {"A", true}};
    for (const auto& [callsign, expected] : callsigns) {
        FlightRecord r;
        r.callsign = callsign;
        EXPECT_EQ(hasCallsign(r), expected) << callsign;
    }
    FlightRecord r;
    r.callsign = "N123AB";
    r.airline = "XYZ";
    EXPECT_FALSE(setAirlineFromCallsign(r));
    EXPECT_EQ(r.airline, "XYZ");
}

TEST(Records, Texts)
{
    FlightRecord r;
    r.destination = "EDDF";
    EXPECT_EQ(routeText(r), "   ->EDDF");
    r.destination.clear();
    EXPECT_EQ(routeText(r), "        ");
    r.callsign = "ABC12";
    r.registration = "D-ABCD";
    r.origin = "EDDF";
    r.destination = "KJFK";
    r.airline = "ABC";
    r.type = "A319";
    EXPECT_EQ(flightText(r), "ABC12    D-ABCD   EDDF->KJFK ABC A319");
    EXPECT_EQ(flightFullText(r), "ABC12    D-ABCD ABC A319");
    EXPECT_EQ(coupleKey(r), "ABC A319 D-ABCD");
    std::string copy;
    flightTextCopy(r, copy);
    EXPECT_EQ(copy, flightText(r));
    FlightRecord other = FlightRecord::identityOf(r);
    other.airline = "ABC";
    EXPECT_TRUE(sameAirlineAndType(r, other));
}

TEST(Records, NewLiveAircraft)
{
    Position first;
    first.lat = 1;
    first.time = 3000;
    FlightRecord record;
    record.callsign = "ABC1";
    const LiveAircraft a(first, std::move(record), 55.0);
    EXPECT_EQ(a.state, stateBuffer);
    EXPECT_EQ(a.phase, phaseBirth);
    EXPECT_EQ(a.previousPhase, phaseBirth);
    EXPECT_EQ(a.sid, 0u);
    EXPECT_EQ(a.objectid, 0u);
    EXPECT_EQ(a.throttleLevel, 5u);
    EXPECT_EQ(a.flapStage, 4u);
    EXPECT_EQ(a.heightAboveGround, 2500.0);
    EXPECT_EQ(a.backWindow, 1000u);
    EXPECT_EQ(a.aheadWindow, 1000u);
    EXPECT_EQ(a.rotationCounter, 1);
    EXPECT_EQ(a.lastReportTime, 55.0);
    EXPECT_EQ(a.callsign, "ABC1");
    ASSERT_EQ(a.stream.size(), 1u);
    EXPECT_EQ(a.stream.front().time, 3000u);
}

TEST(Records, MakeFlightRecordSpreadsPitches)
{
    qtest::TrafficHarness h;
    qtest::TrafficHarness::addType("F16", categoryHighPerf, 0.0026);
    RANDOM.setValue(true);
    gf_seedRandom(11);
    FlightRecord source;
    source.type = "F16";
    source.callsign = "VIPER1";
    bool sawBoth[2] = {false, false};
    for (int k = 0; k < 20; ++k) {
        const FlightRecord r = makeFlightRecord(source);
        EXPECT_EQ(r.category, categoryHighPerf);
        EXPECT_EQ(r.callsign, "VIPER1");
        EXPECT_DOUBLE_EQ(r.radius, 0.0026);
        EXPECT_EQ(r.rotationTicks, 100u);
        EXPECT_EQ(r.climbPitchTicks, 200u);
        EXPECT_NEAR(std::fabs(r.rotationPitch * radToDeg - -6.0), 0.15, 1e-9);
        EXPECT_NEAR(std::fabs(r.climbPitch * radToDeg - -20.0), 1.0, 1e-9);
        sawBoth[r.rotationPitch * radToDeg < -6.0 ? 0 : 1] = true;
    }
    EXPECT_TRUE(sawBoth[0] && sawBoth[1]);
    // An unknown type is Light (category 0) with its category's average radius.
    source.type = "ZZZZ";
    EXPECT_EQ(makeFlightRecord(source).category, categoryLight);
}

} // namespace
