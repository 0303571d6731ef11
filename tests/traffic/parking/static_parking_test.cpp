// The pieces of static parking on small stand lists: the wanted count, the stand search by fit,
// weekday, neighbours and keys, static callsigns and placement, the parking limit of live and
// static aircraft, and the free-stand search of stand learning.
#include "foundation/indicators.h"
#include "foundation/parameters/parameter_table.h"
#include "links/simconnect_queues.h"
#include "traffic/parking/live_parking.h"
#include "traffic/flights/motion.h"
#include "traffic/parking/parking_renewal.h"
#include "traffic/parking/park_airports.h"
#include "traffic/parking/stand_learning.h"
#include "traffic/parking/static_parking.h"
#include "traffic/state/traffic_state.h"
#include "../traffic_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

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
        for (int k = 1; k <= n; ++k)
            list.push_back(TrafficHarness::stand(k, "S" + std::to_string(k), 50 + 0.001 * k, 8, 0.011));
        replaceStands(std::move(list));
    }
    // The static aircraft DLH1* (a DLH A320) standing on the first stand since the slot given.
    static StaticAircraft dlh1OnTheFirstStand(DaySlot placed)
    {
        FlightRecord r;
        r.callsign = "DLH1*";
        r.airline = "DLH";
        r.type = "A320";
        StaticAircraft s(std::move(r), 1, ParkPlace{stands[0].lat, stands[0].lon, 0}, 0);
        s.state = stateActive;
        s.daySlot = placed;
        return s;
    }
    TrafficHarness h;
};

TEST_F(StaticParkingParts, WantedCount)
{
    const struct {
        int stands, percent, customMax;
        std::int64_t wanted;
        std::int32_t shownPercent;
    } cases[] = {{20, 30, -1, 6, 30}, {20, 30, 4, 4, 20}, {3, 30, -1, 1, 30},
                 {3, 50, -1, 2, 50},  {0, 30, -1, 1, 30}, {10, 0, -1, 0, 0}};
    for (const auto& c : cases) {
        rowOfStands(c.stands);
        parking_percentage.setValue(c.percent);
        CUSTOM_MAX_PARK.setValue(c.customMax);
        maxParkedAircraft = -7;
        indicators.maxParkPercent.store(-7);
        EXPECT_EQ(wantedStaticCount(), c.wanted) << c.stands << " " << c.percent;
        EXPECT_EQ(maxParkedAircraft, -7); // a query: the limit and the display stay
        EXPECT_EQ(indicators.maxParkPercent.load(), -7);
        EXPECT_EQ(publishParkingLimit(), c.wanted);
        EXPECT_EQ(maxParkedAircraft, c.wanted);
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
    StaticAircraft& neighbour =
        staticAircraft.emplace_back(std::move(r), 6, ParkPlace{stands[3].lat + 0.0001, 8, 0}, 0);
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

// A static aircraft on a neighbouring stand blocks an option while the two type radii together
// (0.0192 nm for two A320s) exceed its distance from the stand: no overlap, and no margin added.
TEST_F(StaticParkingParts, NeighbourBlocksByBothRadii)
{
    const struct {
        double distanceNm;
        bool blocked;
    } cases[] = {{0.0090, true}, {0.0185, true}, {0.0200, false}, {0.0500, false}};
    for (const auto& c : cases) {
        rowOfStands(2);
        stands[0].options = {option("D-AIAA", "DLH1", 1, {1})};
        stands[0].adjacent = {2};
        staticAircraft.clear();
        FlightRecord r;
        r.type = "A320";
        r.flightId = 3;
        staticAircraft.emplace_back(std::move(r), 2, ParkPlace{stands[0].lat + c.distanceNm / 60, 8, 0}, 0).state =
            stateActive;
        std::vector<StaticCandidate> found;
        lf_searchStands(DaySlot{1, 1}, optionReal, 0, found);
        EXPECT_EQ(found.empty(), c.blocked) << c.distanceNm;
    }
    staticAircraft.clear();
}

TEST_F(StaticParkingParts, StaticCallsignsAndPlacement)
{
    const std::pair<const char*, const char*> names[] = {
        {"BAW12_", "BAW12*"}, {"BAW12*", "BAW12*"}, {"BAW12__", "BAW12*"}};
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

// A live aircraft arriving at its stand already counts as parked: at max park 3 beside two static
// aircraft it removes nothing, beside three the one placed longest ago (since Sunday) goes.
TEST_F(StaticParkingParts, ArrivalAtTheLimitRemovesTheOldestStatic)
{
    maxParkedAircraft = 3;
    currentSlot = DaySlot{1, 10};
    const DaySlot placed[] = {{1, 5}, {7, 40}, {1, 2}};
    for (const std::size_t statics : {2u, 3u}) {
        rowOfStands(4);
        liveAircraft.clear();
        staticAircraft.clear();
        for (std::uint32_t k = 0; k < statics; ++k) {
            FlightRecord r;
            r.callsign = "S" + std::to_string(k) + "*";
            r.flightId = k + 1;
            StaticAircraft& s = staticAircraft.emplace_back(std::move(r), k + 2, ParkPlace{}, 0);
            s.state = stateActive;
            s.objectid = 700 + k;
            s.daySlot = placed[k];
        }
        FlightRecord r;
        r.callsign = "DLH9";
        r.airline = "DLH";
        r.type = "A320";
        r.flightId = 20009;
        Position p;
        p.lat = stands[0].lat;
        p.lon = stands[0].lon;
        LiveAircraft& a = liveAircraft.emplace_back(p, std::move(r), 0.0);
        a.state = stateActive;
        a.objectid = 900;
        a.phase = phaseParking;
        a.sid = 1;
        a.lat = a.parkLat = p.lat;
        a.lon = a.parkLon = p.lon;
        arriveAtStand(a);
        ASSERT_EQ(a.phase, phaseParked);
        std::vector<std::string> removed;
        for (const StaticAircraft& s : staticAircraft)
            if (s.state == stateRemovingFromSim) removed.push_back(s.callsign);
        EXPECT_EQ(removed, statics == 3 ? std::vector<std::string>{"S1*"} : std::vector<std::string>{}) << statics;
        EXPECT_EQ(a.state, stateActive);
    }
    liveAircraft.clear();
    staticAircraft.clear();
}

// The free stand that suits an aircraft: helicopters without helipads take ramps, airliners at
// an airport of the United States take gates, and a small airport without a free stand now is
// tried at the next slot once.
TEST_F(StaticParkingParts, FreeStandSearch)
{
    std::vector<Stand> list;
    for (int k = 1; k <= 3; ++k)
        list.push_back(TrafficHarness::stand(k, "S" + std::to_string(k), 50 + 0.001 * k, 8, 0.011));
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

// Max park 4 with a static aircraft, two parked live aircraft the feed still reports and two it
// stopped reporting: a spawn on a stand (one more) makes two too many, yet one aircraft goes per
// event: the static first, at the next event the one unreported for longest. The reported ones
// stay even when the limit is still exceeded, and a flight removed for the limit is kept off its
// stand until the limit allows it.
TEST_F(StaticParkingParts, ParkingLimitSparesLiveAircraftTheFeedStillReports)
{
    const auto parked = [this](const std::string& callsign, int minutesAgo, bool reported) -> LiveAircraft& {
        FlightRecord r;
        r.callsign = callsign;
        r.flightId = 20000 + static_cast<std::uint32_t>(liveAircraft.size());
        LiveAircraft& a = liveAircraft.emplace_back(Position{}, std::move(r), 0.0);
        a.state = stateActive;
        a.objectid = 600 + a.flightId;
        a.phase = phaseParked;
        a.parkedReportSeen = reported ? 1 : 0;
        a.parkedAt = h.clock().systemNow() - std::chrono::minutes(minutesAgo);
        return a;
    };
    liveAircraft.reserve(8);
    parked("JAL61", 1, true);    // its last report a minute ago
    parked("SWA240", 30, false); // parked half an hour ago, never reported since
    parked("SWA648", 20, true);  // reported once, but not for 20 minutes
    parked("JBU688", 0, false);  // parked a moment ago: its first report on the stand is to come
    FlightRecord r;
    r.callsign = "DLH1*";
    r.flightId = 1;
    StaticAircraft& s = staticAircraft.emplace_back(std::move(r), 1, ParkPlace{}, 0);
    s.state = stateActive;
    s.objectid = 700;
    currentSlot = DaySlot{1, 10};
    s.daySlot = DaySlot{1, 9};

    maxParkedAircraft = 4;
    const auto stateOf = [](const std::string& callsign) {
        for (const LiveAircraft& a : liveAircraft)
            if (a.callsign == callsign) return a.state;
        return std::uint32_t{99};
    };
    removeOldLiveParked(1); // 1 static + 4 live + 1 = 6: two too many
    EXPECT_EQ(staticAircraft[0].state, stateRemovingFromSim);
    EXPECT_EQ(stateOf("SWA240"), stateActive);          // its turn comes at the next event
    removeOldLiveParked(1);                             // 4 live + 1: one too many
    EXPECT_EQ(stateOf("SWA240"), stateRemovingFromSim); // without a report for longest
    EXPECT_EQ(stateOf("JAL61"), stateActive);
    EXPECT_EQ(stateOf("JBU688"), stateActive);
    EXPECT_EQ(stateOf("SWA648"), stateActive);
    maxParkedAircraft = 3;
    removeOldLiveParked(1); // 3 live + 1: one too many
    EXPECT_EQ(stateOf("SWA648"), stateRemovingFromSim);
    maxParkedAircraft = 1;
    removeOldLiveParked(1); // two too many, but both are reported
    EXPECT_EQ(stateOf("JAL61"), stateActive);
    EXPECT_EQ(stateOf("JBU688"), stateActive);

    // The removed flights report again: on a stand they stay away while it would exceed the limit.
    maxParkedAircraft = 2;
    LiveAircraft again;
    again.callsign = "SWA240";
    EXPECT_TRUE(keptOffStandForLimit(again));
    again.callsign = "QFA12"; // never removed: not this rule's to refuse
    EXPECT_FALSE(keptOffStandForLimit(again));
    maxParkedAircraft = 5;
    again.callsign = "SWA240";
    EXPECT_FALSE(keptOffStandForLimit(again));
    maxParkedAircraft = 2;
    EXPECT_FALSE(keptOffStandForLimit(again)); // once let through, it is forgotten
    EXPECT_TRUE(evictedForLimit.count("SWA648") == 1);
    evictedForLimit.clear();
}

// A candidate whose stand (or neighbour) a static aircraft is still leaving is dropped, like one
// whose stand is taken, and the others go on; a callsign too long for a tail number is refused
// at once.
TEST_F(StaticParkingParts, PlacementDropsCandidatesOfStandsBeingClearedAndRefusesLongCallsigns)
{
    rowOfStands(3);
    stands[0].adjacent = {2}; // S1 has S2 next to it (not the other way round here)
    currentSlot = DaySlot{1, 1};
    FlightRecord r;
    r.callsign = "DLH9*";
    r.flightId = 9;
    StaticAircraft& leaving = staticAircraft.emplace_back(std::move(r), 2, ParkPlace{}, 0);
    leaving.state = stateRemovingFromSim;
    leaving.objectid = 900;
    staticCandidates = {StaticCandidate{3, 0, "DLH", "A320", "DLH3", "", "D-AIAC", true},
                        StaticCandidate{2, 0, "DLH", "A320", "DLH2", "", "D-AIAB", true},
                        StaticCandidate{1, 0, "DLH", "A320", "DLH1", "", "D-AIAA", true}};
    placeStaticAircraft(); // next to the one leaving: dropped
    placeStaticAircraft(); // on its stand: dropped
    EXPECT_TRUE(staticAircraft.size() == 1 && pendingStaticCreations.empty());
    ASSERT_EQ(staticCandidates.size(), 1u);
    placeStaticAircraft(); // DLH3, far away
    ASSERT_EQ(pendingStaticCreations.size(), 1u);
    EXPECT_EQ(pendingStaticCreations.back().callsign, "DLH3*");
    EXPECT_TRUE(staticCandidates.empty());

    // 12 characters take 13 with the asterisk: refused, nothing holds the stand.
    staticAircraft.clear();
    pendingStaticCreations.clear();
    staticCandidates = {StaticCandidate{3, 0, "DLH", "A320", "ABCDEFGHIJKL", "", "D-AIAX", true},
                        StaticCandidate{1, 0, "DLH", "A320", "ABCDEFGHIJK", "", "D-AIAY", true}};
    placeStaticAircraft();
    ASSERT_EQ(pendingStaticCreations.size(), 1u);
    EXPECT_EQ(pendingStaticCreations[0].callsign, "ABCDEFGHIJK*");
    placeStaticAircraft();
    EXPECT_EQ(staticAircraft.size(), 1u);
    EXPECT_EQ(pendingStaticCreations.size(), 1u);
}

// A static creation the queue refuses takes its record with it.
TEST_F(StaticParkingParts, RefusedCreationDropsTheStaticRecord)
{
    rowOfStands(2);
    FlightRecord r;
    r.callsign = "ABCDEFGHIJKLM";
    r.flightId = 5;
    staticAircraft.emplace_back(std::move(r), 1, ParkPlace{}, 0).state = stateAdding2Sim;
    pendingStaticCreations.push_back(AiCreateRequest{{}, "ABCDEFGHIJKLM", "Airbus A320 Lufthansa", 5});
    h.passes(60);
    EXPECT_TRUE(pendingStaticCreations.empty());
    EXPECT_TRUE(staticAircraft.empty());
}

// Whether a static aircraft whose stand got no candidate stays at a renewal: one of its stand's
// options of its airline and type holds a slot of the window that ends now and reaches back as
// far as the calculation widened it, across midnight into the day before (Monday's is Sunday).
TEST_F(StaticParkingParts, RenewalWindowOfAStaticAircraft)
{
    const struct {
        DaySlot now;
        std::vector<std::pair<std::uint32_t, int>> options; // weekday, slot
        std::int32_t fit;
        bool kept;
        std::int32_t soft = -1; // the soft pass's fit
    } cases[] = {
        {{1, 1}, {{7, 47}}, 2, true},                                         // Sunday's option, no option today
        {{1, 1}, {{1, 30}, {7, 47}}, 2, true},                                // one of today out of the window
        {{1, 1}, {{7, 46}}, 2, false},                                        // the window ends at Sunday 47
        {{1, 1}, {{7, 46}}, 3, true},          {{1, 1}, {{6, 47}}, 2, false}, // Saturday's is not the day before
        {{3, 0}, {{2, 47}}, 1, true},                                         // Tuesday's on Wednesday
        {{1, 5}, {{1, 3}}, 2, true},           {{1, 5}, {{1, 2}}, 2, false},
        {{1, 5}, {{7, 47}}, 2, false},   // the window stays within today
        {{1, 5}, {{1, 6}}, 2, false},    // later today
        {{1, 1}, {{7, 47}}, 0, true, 2}, // placed by the soft pass at its fit
        {{1, 5}, {{1, 3}}, 2, true, 0},  // the wider of the two fits counts
    };
    rowOfStands(1);
    for (const auto& c : cases) {
        stands[0].options.clear();
        std::uint32_t id = 1;
        for (const auto& [day, slot] : c.options)
            stands[0].options.push_back(option("D-AIAA", "DLH1", day, {slot}, id++));
        realFit = c.fit;
        softFit = c.soft;
        staticCandidates.clear();
        clearRenewalLists();
        relateStaticAircraft(c.now, dlh1OnTheFirstStand(DaySlot{0, 0}));
        EXPECT_EQ(keptStatics.size(), c.kept ? 1u : 0u) << c.now.weekday << "/" << c.now.slot << " fit " << c.fit;
        EXPECT_EQ(staticRemovals.size(), c.kept ? 0u : 1u);
    }
    clearRenewalLists();
}

// The window of the calculation: it widens slot by slot back from now, stops at MAX_FIT and as
// soon as enough stands are taken; WEEK takes options of every weekday; the soft pass runs when
// the real one falls short and PARK_SOFT or PARK_FAKE is on.
TEST_F(StaticParkingParts, CalculationWindowWeekAndSoftPass)
{
    RANDOM.setValue(false);
    rowOfStands(3);
    const auto run = [](std::int64_t wanted) {
        staticCandidates.clear();
        for (Stand& s : stands) s.taken = s.blocked = false;
        runStaticParkingPasses(DaySlot{1, 10}, wanted, 0);
        std::vector<std::uint32_t> sids;
        for (const StaticCandidate& c : staticCandidates) sids.push_back(c.sid);
        std::sort(sids.begin(), sids.end());
        return sids;
    };
    stands[0].options = {option("D-AIAA", "DLH1", 1, {10})}; // fit 0
    stands[1].options = {option("D-AIAB", "DLH2", 1, {8})};  // fit 2
    stands[2].options = {option("D-AIAC", "DLH3", 1, {5})};  // fit 5
    const struct {
        int maxFit;
        std::int64_t wanted;
        std::vector<std::uint32_t> sids;
        std::int32_t reached;
    } cases[] = {{3, 3, {1, 2}, 3}, {47, 2, {1, 2}, 2}, {47, 3, {1, 2, 3}, 5}, {47, 1, {1}, 0}, {4, 3, {1, 2}, 4}};
    for (const auto& c : cases) {
        MAX_FIT.setValue(c.maxFit);
        EXPECT_EQ(run(c.wanted), c.sids) << c.maxFit << " " << c.wanted;
        EXPECT_EQ(realFit, c.reached) << c.maxFit << " " << c.wanted;
    }

    MAX_FIT.setValue(0);
    stands[1].options = {option("D-AIAB", "DLH2", 3, {10})}; // Wednesday's
    EXPECT_EQ(run(3), (std::vector<std::uint32_t>{1}));
    WEEK.setValue(true);
    EXPECT_EQ(run(3), (std::vector<std::uint32_t>{1, 2}));
    WEEK.setValue(false);

    stands[2].options = {option("D-AIAC", "DLH3", 1, {10})};
    stands[2].options[0].kind = optionSoft;
    for (const auto& [soft, fake, found] :
         {std::tuple{false, false, false}, std::tuple{true, false, true}, std::tuple{false, true, true}}) {
        PARK_SOFT.setValue(soft);
        PARK_FAKE.setValue(fake);
        const auto sids = run(3);
        EXPECT_EQ(std::count(sids.begin(), sids.end(), 3u), found ? 1 : 0) << soft << fake;
        EXPECT_EQ(softFit, found ? 0 : -1);
    }
    for (CheckBoxParameter* p : {&PARK_SOFT, &PARK_FAKE}) p->setValue(p->defaultValue());
    RANDOM.setValue(RANDOM.defaultValue());
    MAX_FIT.setValue(MAX_FIT.defaultValue());
}

// Placement drops a candidate whose stand holds, or whose neighbour holds, a parked or parking
// live aircraft or a static aircraft; a taxiing one or one on a stand further away is no obstacle.
TEST_F(StaticParkingParts, PlacementKeepsOffStandsInUse)
{
    const struct {
        bool live;
        std::uint32_t sid;
        std::uint32_t phase;
        bool placed;
    } cases[] = {{true, 1, phaseParked, false}, {true, 2, phaseParking, false},
                 {true, 2, phaseParked, false}, {true, 1, phaseTaxi, true},
                 {true, 3, phaseParked, true},  {false, 1, 0, false},
                 {false, 2, 0, false},          {false, 3, 0, true}};
    for (const auto& c : cases) {
        rowOfStands(3);
        stands[0].adjacent = {2};
        liveAircraft.clear();
        staticAircraft.clear();
        pendingStaticCreations.clear();
        if (c.live) {
            FlightRecord r;
            r.callsign = "BAW1";
            r.flightId = 20001;
            LiveAircraft& a = liveAircraft.emplace_back(Position{}, std::move(r), 0.0);
            a.state = stateActive;
            a.phase = c.phase;
            a.sid = c.sid;
        } else {
            FlightRecord r;
            r.callsign = "BAW1*";
            staticAircraft.emplace_back(std::move(r), c.sid, ParkPlace{}, 0).state = stateActive;
        }
        staticCandidates = {StaticCandidate{1, 0, "DLH", "A320", "DLH1", "", "D-AIAA", true}};
        placeStaticAircraft();
        EXPECT_EQ(pendingStaticCreations.size(), c.placed ? 1u : 0u) << c.live << " on " << c.sid << " " << c.phase;
    }
}

// A candidate of another aircraft for the stand of a static aircraft: whoever's window starts
// later wins; in the same slot the standing aircraft stays. Across the week's end Monday is
// later than Sunday.
TEST_F(StaticParkingParts, RenewalStandConflict)
{
    const struct {
        DaySlot now;
        std::uint32_t fit;
        DaySlot placed;
        bool kept;
    } cases[] = {{{1, 10}, 2, {1, 8}, true},  {{1, 10}, 1, {1, 8}, false}, {{1, 10}, 3, {1, 8}, true},
                 {{1, 1}, 0, {7, 47}, false}, {{1, 1}, 3, {1, 0}, true},   {{3, 1}, 0, {2, 5}, false},
                 {{2, 1}, 0, {3, 5}, true}};
    rowOfStands(1);
    for (const auto& c : cases) {
        clearRenewalLists();
        staticCandidates = {StaticCandidate{1, c.fit, "BAW", "A320", "BAW7", "", "G-EUUA", true}};
        relateStaticAircraft(c.now, dlh1OnTheFirstStand(c.placed));
        EXPECT_EQ(keptStatics.size(), c.kept ? 1u : 0u) << c.now.weekday << "/" << c.now.slot << " fit " << c.fit;
        EXPECT_EQ(staticCandidates.size(), c.kept ? 0u : 1u);
    }
    // The candidate of the standing aircraft's own flight keeps it whatever the window, but only
    // when airline, type and callsign (cs or cs2) all match; otherwise the window decides.
    const struct {
        const char *airline, *type, *cs, *cs2;
        bool kept;
    } own[] = {{"DLH", "A320", "DLH1", "", true},
               {"DLH", "A320", "DLH9", "DLH1", true},
               {"DLH", "B744", "DLH1", "", false},
               {"BAW", "A320", "DLH1", "", false},
               {"DLH", "A320", "DLH2", "", false}};
    for (const auto& c : own) {
        clearRenewalLists();
        staticCandidates = {StaticCandidate{1, 1, c.airline, c.type, c.cs, c.cs2, "D-AIAA", true}};
        relateStaticAircraft(DaySlot{1, 10}, dlh1OnTheFirstStand(DaySlot{1, 8})); // before the window
        EXPECT_EQ(keptStatics.size(), c.kept ? 1u : 0u) << c.airline << " " << c.type << " " << c.cs;
        EXPECT_EQ(staticCandidates.size(), c.kept ? 0u : 1u);
    }
    clearRenewalLists();
    staticCandidates.clear();
}

// The free stand by size: a 20 m aircraft (radius) takes a 25 m stand, not the 10 m one (too
// small) nor the 40 m one (a class larger). Between equal stands the later one of the list comes
// first, unless the other holds an option of this aircraft. Classes are 14 m wide for aircraft of
// up to 17.8 m, 21 m above. Slot 0 looks back to slot 47 for the aircraft's own real option.
TEST_F(StaticParkingParts, FreeStandBySizeAndTies)
{
    constexpr double metre = 1.0 / 1852.0;
    RANDOM.setValue(false);
    std::vector<Stand> list;
    const double radii[] = {25, 40, 25, 10};
    for (int k = 1; k <= 4; ++k)
        list.push_back(TrafficHarness::stand(k, "S" + std::to_string(k), 50 + 0.001 * k, 8, radii[k - 1] * metre));
    replaceStands(list);
    parkAirportIcao = "KLAX";
    FlightRecord aircraft;
    aircraft.callsign = "AAL1";
    aircraft.airline = "AAL";
    aircraft.type = "A320";
    aircraft.radius = 20 * metre;
    aircraft.category = categoryLarge;
    auto found = searchFreeStand(DaySlot{1, 5}, aircraft, false);
    ASSERT_NE(found, stands.end());
    EXPECT_EQ(found->name, "S3"); // S1 and S3 tie: the later one
    StandOption own = option("N1", "AAL1", 1, {30});
    own.airline = "AAL";
    stands[0].options = {own};
    found = searchFreeStand(DaySlot{1, 5}, aircraft, false);
    ASSERT_NE(found, stands.end());
    EXPECT_EQ(found->name, "S1"); // its own option decides the tie
    stands[0].options.clear();
    aircraft.radius = 11 * metre; // 25 m is one class up, 10 m within 1.8 m
    found = searchFreeStand(DaySlot{1, 5}, aircraft, false);
    ASSERT_NE(found, stands.end());
    EXPECT_EQ(found->name, "S4");
    stands[2].radius = 20 * metre; // 20 m and 30 m: one class of 14 m for an 11 m aircraft
    stands[3].radius = 30 * metre;
    stands[0].radius = 50 * metre;
    found = searchFreeStand(DaySlot{1, 5}, aircraft, false);
    ASSERT_NE(found, stands.end());
    EXPECT_EQ(found->name, "S4");
    RANDOM.setValue(RANDOM.defaultValue());

    FlightRecord parked;
    parked.registration = "N1";
    stands[1].options = {option("N1", "AAL1", 1, {47})};
    stands[1].options[0].kind = optionReal;
    EXPECT_EQ(findOptionBySlot(parked, DaySlot{1, 0}), stands.begin() + 1);
    EXPECT_EQ(findOptionBySlot(parked, DaySlot{1, 46}), stands.begin() + 1);
    EXPECT_EQ(findOptionBySlot(parked, DaySlot{1, 2}), stands.end());
    stands[1].options[0].slots.reset();
    stands[1].options[0].slots.set(0);
    EXPECT_EQ(findOptionBySlot(parked, DaySlot{1, 47}), stands.begin() + 1);
}

} // namespace
