// The pieces of static parking on small stand lists: the wanted count, the stand search by fit,
// weekday, neighbours and keys, static callsigns and placement, the parking limit of live and
// static aircraft, and the free-stand search of stand learning.
#include "foundation/indicators.h"
#include "foundation/parameters/parameter_table.h"
#include "traffic/live_parking.h"
#include "traffic/park_airports.h"
#include "traffic/stand_learning.h"
#include "traffic/static_parking.h"
#include "traffic/traffic_state.h"
#include "traffic_harness.h"

#include <gtest/gtest.h>

using namespace qtr;
using qtest::TrafficHarness;

namespace {

StandOption option(const std::string& reg, const std::string& cs, std::uint32_t day, std::initializer_list<int> slots,
                   std::uint32_t id = 1, const std::string& cs2 = "")
{
    StandOption o;
    o.airline = "DLH";
    o.type = "A320";
    o.reg = reg;
    o.cs = cs;
    o.cs2 = cs2;
    o.day = day;
    o.id = id;
    for (int s : slots) o.slots.set(static_cast<std::size_t>(s));
    return o;
}

class StaticParkingParts : public ::testing::Test {
protected:
    void SetUp() override
    {
        TrafficHarness::addType("A320", categoryLarge, 0.0096);
        TrafficHarness::addType("EC35", categoryRotorcraft, 0.0030);
        TrafficHarness::addLivery("DLH", "A320", "Airbus A320 Lufthansa");
        for (CheckBoxParameter* p : {&WEEK, &HELICOPTERS}) p->setValue(p->defaultValue());
        parking_percentage.setValue(30);
        CUSTOM_MAX_PARK.setValue(-1);
        CUSTOM_PARKING_PERCENTAGE.setValue(-1);
        INITIAL_LOAD_ONLY.setValue(false);
    }
    // n stands in a row 111 m apart, none next to another.
    static void rowOfStands(int n)
    {
        std::vector<Stand> list;
        for (int k = 1; k <= n; ++k) list.push_back(TrafficHarness::stand(k, "S" + std::to_string(k), 50 + 0.001 * k, 8, 0.011));
        replaceStands(std::move(list));
    }
    TrafficHarness h;
};

TEST_F(StaticParkingParts, WantedCount)
{
    const struct {
        int stands, percent, customMax;
        std::int64_t wanted;
        std::int32_t shownPercent;
    } cases[] = {{20, 30, -1, 6, 30}, {20, 30, 4, 4, 20}, {3, 30, -1, 1, 30}, {3, 50, -1, 2, 50},
                 {0, 30, -1, 1, 30},  {10, 0, -1, 0, 0}};
    for (const auto& c : cases) {
        rowOfStands(c.stands);
        parking_percentage.setValue(c.percent);
        CUSTOM_MAX_PARK.setValue(c.customMax);
        EXPECT_EQ(wantedStaticCount(), c.wanted) << c.stands << " " << c.percent;
        EXPECT_EQ(indicators.maxParkPercent.load(), c.shownPercent);
    }
}

// The search of one fit: weekday and slot (reaching back over midnight), the reserved stand,
// a neighbour with a static aircraft too close, one registration on two stands, a live flight.
TEST_F(StaticParkingParts, StandSearch)
{
    rowOfStands(6);
    stands[0].options = {option("D-AIAA", "DLH1", 7, {46})};           // Sunday 23:00
    stands[1].options = {option("D-AIAB", "DLH2", 1, {1}, 1, "DLH3")}; // coupled, leaves after slot 1
    stands[2].options = {option("D-AIAC", "DLH4", 1, {1})};
    stands[2].reserved = true;
    stands[3].options = {option("D-AIAD", "DLH5", 1, {1})};
    stands[3].adjacent = {6};
    stands[4].options = {option("D-AIAB", "DLH6", 1, {1}, 7)}; // D-AIAB again
    stands[5].options = {option("D-AIAF", "LIVE1", 1, {1})};
    recentlyReported = {"LIVE1_"};
    FlightRecord r;
    r.type = "A320";
    r.flightId = 3;
    StaticAircraft& neighbour = staticAircraft.emplace_back(std::move(r), 6, ParkPlace{stands[3].lat + 0.0001, 8, 0}, 0);
    neighbour.state = stateActive;

    std::vector<StaticCandidate> found;
    lf_searchStands(DaySlot{1, 1}, optionReal, 3, found); // Monday slot 1 minus 3: Sunday 46
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].cs, "DLH1");

    found.clear();
    lf_searchStands(DaySlot{1, 1}, optionReal, 0, found);
    ASSERT_EQ(found.size(), 1u); // S2 only: S3 reserved, S4 blocked, S5's registration, S6 live
    EXPECT_EQ(found[0].sid, 2u);
    EXPECT_FALSE(found[0].staysOverNextSlot);
    EXPECT_EQ(lf_detcs(found[0]), "DLH3*"); // named by the flight it leaves as
    EXPECT_FALSE(stands[3].options[0].off); // blocked by its neighbour: not switched off
    EXPECT_TRUE(stands[4].options[0].off);  // switched off, but keeps its id for its arrivals
    EXPECT_EQ(stands[4].options[0].id, 7u);
    EXPECT_TRUE(stands[5].options[0].off);
    recentlyReported.clear();
}

TEST_F(StaticParkingParts, StaticCallsignsAndPlacement)
{
    const std::pair<const char*, const char*> names[] = {{"BAW12_", "BAW12*"}, {"BAW12*", "BAW12*"}, {"BAW12__", "BAW12*"}};
    for (const auto& [key, expected] : names) EXPECT_EQ(makeStaticCallsign(key), expected);

    rowOfStands(3);
    currentSlot = DaySlot{1, 1};
    staticRunningNumber = 9999;
    staticCandidates = {StaticCandidate{1, 3, "DLH", "A320", "", "", "D-AIAA", true},
                        StaticCandidate{2, 0, "XXX", "B744", "XXX1", "", "N1", true}};
    placeStaticAircraft(); // no livery for XXX B744: counted, nothing queued
    EXPECT_EQ(staticRunningNumber, 0u);
    EXPECT_TRUE(staticAircraft.empty());
    EXPECT_TRUE(pendingStaticCreations.empty());
    placeStaticAircraft();
    ASSERT_EQ(staticAircraft.size(), 1u);
    EXPECT_EQ(staticAircraft[0].callsign, "DLH1*"); // without cs: airline and running number
    EXPECT_EQ(staticAircraft[0].daySlot, (DaySlot{7, 46}));
    ASSERT_EQ(pendingStaticCreations.size(), 1u);
    EXPECT_EQ(pendingStaticCreations[0].recordId, 1u);
}

// Max park 10: a spawn on a stand beside 9 parked live aircraft removes nothing, beside 10 the
// oldest; with 4 live and 7 static aircraft the static placed longest ago goes, even with only
// the initial load wanted; no limit (-1) removes nothing.
TEST_F(StaticParkingParts, ParkingLimitOfLiveAndStaticAircraft)
{
    const auto parkLive = [this](int n) {
        for (int k = 0; k < n; ++k) {
            FlightRecord r;
            r.callsign = "L" + std::to_string(k);
            r.flightId = 20000 + k;
            LiveAircraft& a = liveAircraft.emplace_back(Position{}, std::move(r), 0.0);
            a.state = stateActive;
            a.objectid = 500 + k;
            a.phase = phaseParked;
            a.parkedAt = h.clock().systemNow() - std::chrono::minutes(10 + k);
        }
    };
    const auto removedLive = [] {
        return std::count_if(liveAircraft.begin(), liveAircraft.end(),
                             [](const LiveAircraft& a) { return a.state == stateRemovingFromSim; });
    };
    maxParkedAircraft = 10;
    parkLive(9);
    removeOldLiveParked(1);
    EXPECT_EQ(removedLive(), 0);
    liveAircraft.clear();
    parkLive(10);
    removeOldLiveParked(1);
    EXPECT_EQ(removedLive(), 1);
    EXPECT_EQ(liveAircraft.back().state, stateRemovingFromSim); // parked longest

    liveAircraft.clear();
    parkLive(4);
    currentSlot = DaySlot{1, 10};
    for (std::uint32_t k = 0; k < 7; ++k) {
        FlightRecord r;
        r.callsign = "S" + std::to_string(k) + "*";
        r.flightId = k;
        StaticAircraft& s = staticAircraft.emplace_back(std::move(r), k + 1, ParkPlace{}, 0);
        s.state = stateActive;
        s.objectid = 700 + k;
        s.daySlot = k == 3 ? DaySlot{7, 40} : DaySlot{1, k}; // S3 since Sunday evening
    }
    INITIAL_LOAD_ONLY.setValue(true);
    removeOldLiveParked(0);
    EXPECT_EQ(removedLive(), 0);
    EXPECT_EQ(staticAircraft.back().callsign, "S3*");
    EXPECT_EQ(staticAircraft.back().state, stateRemovingFromSim);

    maxParkedAircraft = -1;
    liveAircraft.clear();
    parkLive(20);
    removeOldLiveParked(1);
    EXPECT_EQ(removedLive(), 0);
    removeOldestLiveParked(0);
    EXPECT_EQ(removedLive(), 0);
}

// The free stand that suits an aircraft: helicopters without helipads take ramps, airliners at
// an airport of the United States take gates, and a small airport without a free stand now is
// tried at the next slot once.
TEST_F(StaticParkingParts, FreeStandSearch)
{
    std::vector<Stand> list;
    for (int k = 1; k <= 3; ++k) list.push_back(TrafficHarness::stand(k, "S" + std::to_string(k), 50 + 0.001 * k, 8, 0.011));
    list[0].ramp = true;
    list[2].cargo = true;
    replaceStands(list);
    parkAirportIcao = "KLAX";
    FlightRecord airliner;
    airliner.callsign = "AAL1";
    airliner.airline = "AAL";
    airliner.type = "A320";
    airliner.radius = 0.0096;
    airliner.category = categoryLarge;
    auto found = searchFreeStand(DaySlot{1, 5}, airliner, true);
    ASSERT_NE(found, stands.end());
    EXPECT_EQ(found->name, "S2"); // the gate; S1 is a ramp, S3 cargo
    FlightRecord heli = airliner;
    heli.type = "EC35";
    heli.radius = 0.003;
    heli.category = categoryRotorcraft;
    found = searchFreeStand(DaySlot{1, 5}, heli, true);
    ASSERT_NE(found, stands.end());
    EXPECT_EQ(found->name, "S1");

    // Every stand taken at slot 5; S2 free at slot 6.
    for (Stand& s : stands) s.options = {option("X", "X", 1, {5, 6})};
    stands[1].options = {option("X", "X", 1, {5})};
    found = searchFreeStand(DaySlot{1, 5}, airliner, true);
    ASSERT_NE(found, stands.end());
    EXPECT_EQ(found->name, "S2");
    EXPECT_EQ(searchFreeStand(DaySlot{1, 5}, airliner, false), stands.end());
}

} // namespace
