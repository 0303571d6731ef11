#include "foundation/geometry.h"
#include "foundation/parameters/parameter_table.h"
#include "liveries/livery_matcher.h"
#include "liveries/type_data_base.h"
#include "liveries/type_queries.h"
#include "traffic/parking/live_parking.h"
#include "traffic/flights/motion.h"
#include "traffic/state/records.h"
#include "traffic/parking/park_airports.h"
#include "traffic/flights/spawning.h"
#include "traffic/state/stands.h"
#include "traffic/parking/static_parking.h"
#include "traffic/state/traffic_state.h"
#include "../traffic_harness.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace qtr;
using qtest::TrafficHarness;

namespace {

constexpr double standLat = 50.0, standLon = 8.0;

class Spawning : public ::testing::Test {
protected:
    void SetUp() override
    {
        liveAircraft.reserve(64); // the tests hold references across appends
        TrafficHarness::addType("A320", categoryLarge, 0.0096);
        TrafficHarness::addLivery("DLH", "A320", "Airbus A320 Lufthansa");
    }
    // A buffered aircraft with two positions due at 3000 and 3500 ticks.
    LiveAircraft& buffered(const std::string& callsign, double lat, double lon, double speed, double alt = 0,
                           bool secondStop = true)
    {
        Position p;
        p.lat = lat;
        p.lon = lon;
        p.alt = alt;
        p.airborne = alt > 0;
        p.speed = p.tas = speed;
        p.time = 3000;
        FlightRecord r;
        r.callsign = callsign;
        r.type = "A320";
        r.airline = "DLH";
        r.flightId = 20001 + static_cast<std::uint32_t>(liveAircraft.size());
        r.radius = 0.0096;
        LiveAircraft& a = liveAircraft.emplace_back(p, std::move(r), 0.0);
        Position q = p;
        q.time = 3500;
        if (secondStop) {
            q.stop = 1;
        } else {
            q.lat += 0.001;
        }
        a.stream.push_back(q);
        return a;
    }
    TrafficHarness h;
};

TEST_F(Spawning, AppearsAheadOfItsFirstPosition)
{
    struct Case {
        double speed;
        std::uint32_t lead;
    };
    for (const Case c : {Case{0.0, 100}, Case{10.0, 300}}) {
        SCOPED_TRACE(c.lead);
        liveAircraft.clear();
        LiveAircraft& a = buffered("DLH4AB", 10.5, 10.5, c.speed, 0, c.speed == 0.0);
        tickCount = 3000 - c.lead - 1;
        maySpawn(a);
        EXPECT_EQ(a.state, stateBuffer);
        tickCount = 3000 - c.lead;
        maySpawn(a);
        EXPECT_EQ(a.state, stateAdding2Sim);
        EXPECT_EQ(readyToSpawn.back(), a.flightId);
        EXPECT_EQ(a.livery, "Airbus A320 Lufthansa");
        EXPECT_EQ(a.phase, phaseTaxi); // no park airport
        readyToSpawn.clear();
    }
}

TEST_F(Spawning, RefusalsAndCallsigns)
{
    tickCount = 2900;
    // A single due report is dropped without reaching the simulator.
    LiveAircraft& single = buffered("DLH1", 10.5, 10.5, 0);
    single.stream.pop_back();
    maySpawn(single);
    EXPECT_TRUE(single.eraseFromBuffer);

    BLOCK_CALLSIGN.setValue("DLH2");
    LiveAircraft& blocked = buffered("DLH2", 10.5, 10.5, 0);
    maySpawn(blocked);
    EXPECT_TRUE(blocked.eraseFromBuffer);

    // No callsign: the registration stands in when the data base knows it; else never created.
    registrations["D-AIAB"] = RegistrationInfo{"DLH", "A320", "", false};
    LiveAircraft& byReg = buffered("", 10.5, 10.5, 0);
    byReg.registration = "D-AIAB";
    maySpawn(byReg);
    EXPECT_EQ(byReg.state, stateAdding2Sim);
    EXPECT_EQ(byReg.callsign, "D-AIAB");
    LiveAircraft& nameless = buffered("", 10.5, 10.5, 0);
    maySpawn(nameless);
    EXPECT_TRUE(nameless.eraseFromBuffer);

    // No airline and none in the callsign: PVT.
    TrafficHarness::addLivery("", "A320", "Generic A320");
    LiveAircraft& priv = buffered("N123AB", 10.5, 10.5, 0);
    priv.airline.clear();
    maySpawn(priv);
    EXPECT_EQ(priv.airline, "PVT");
    EXPECT_EQ(priv.state, stateAdding2Sim);
}

// The registration's record fills in what it knows and nothing else: an empty field is an unknown,
// a new type brings its category and size, and a freight airline's flight without a record is cargo.
TEST_F(Spawning, TheRegistrationsRecordFillsInWhatItKnows)
{
    TrafficHarness::addType("B763", categoryHeavy, 0.0128);
    cargoOperators.insert("FDX");
    registrations["N1NOAIRL"] = RegistrationInfo{"", "B763", "", false};
    registrations["N2NOTYPE"] = RegistrationInfo{"UAE", "", "", false};
    registrations["N3OPR"] = RegistrationInfo{"UAE", "", "FDX", true};
    registrations["N4FDX"] = RegistrationInfo{"FDX", "B763", "", false};
    struct Case {
        const char* what;
        const char* callsign;
        const char* registration;
        const char* airline;
        const char* type;
        std::uint32_t category;
        std::uint8_t cargo;
    };
    const Case cases[] = {
        {"record without airline", "DLH1", "N1NOAIRL", "DLH", "B763", categoryHeavy, 0},
        {"record without type", "DLH1", "N2NOTYPE", "UAE", "A320", categoryLarge, 0},
        {"record with an operator", "DLH1", "N3OPR", "FDX", "A320", categoryLarge, 1},
        {"freight airline, no record", "FDX5678", "N105FE", "FDX", "A320", categoryLarge, 1},
        {"freight airline, the record says pax", "FDX5678", "N4FDX", "FDX", "B763", categoryHeavy, 0},
        {"airline, no record", "DLH1", "D-AXXX", "DLH", "A320", categoryLarge, 0},
    };
    tickCount = 2900;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        liveAircraft.clear();
        LiveAircraft& a = buffered(c.callsign, 10.5, 10.5, 0);
        a.airline = c.callsign == std::string("DLH1") ? "DLH" : "";
        a.category = categoryLarge;
        a.baseTurnRate = a.turnRate = categoryBaseTurnRate(categoryLarge);
        a.registration = c.registration;
        maySpawn(a);
        EXPECT_EQ(a.airline, c.airline);
        EXPECT_EQ(a.type, c.type);
        EXPECT_EQ(a.category, c.category);
        EXPECT_EQ(a.radius, wingspanOfType(c.type));
        EXPECT_EQ(a.baseTurnRate, categoryBaseTurnRate(c.category));
        EXPECT_EQ(a.cargo, c.cargo);
        readyToSpawn.clear();
    }
    registrations.clear();
    cargoOperators.clear();
}

TEST_F(Spawning, KeepsClearOfTheUserOnTheGround)
{
    tickCount = 2900;
    // The user parked at (10, 10); 150 m is too near, 200 m is fine.
    const double metre = 1.0 / 1852.0 / 60.0; // degrees of latitude per metre
    LiveAircraft& tooNear = buffered("DLH1", 10.0 + 140 * metre, 10.0, 0);
    maySpawn(tooNear);
    EXPECT_EQ(tooNear.state, stateBuffer);
    EXPECT_EQ(tooNear.stream.size(), 1u); // one position popped
    LiveAircraft& farEnough = buffered("DLH2", 10.0 + 200 * metre, 10.0, 0);
    maySpawn(farEnough);
    EXPECT_EQ(farEnough.state, stateAdding2Sim);
}

TEST_F(Spawning, HeldAheadOfTheFlyingUser)
{
    tickCount = 2900;
    h.setUser(10.0, 10.0, false, 5000, 0.0, 5000);
    // 4 nm ahead, 1000 ft above, flying toward the user: the user lies on its line.
    LiveAircraft& ahead = buffered("DLH1", 10.0 + 4.0 / 60.0, 10.0, 250, 6000, false);
    ahead.stream[0].track = 180;
    maySpawn(ahead);
    EXPECT_TRUE(ahead.heldForUser);
    EXPECT_EQ(ahead.stream.size(), 1u);
    // Crossing 4 nm ahead, the user is far from its line: created.
    LiveAircraft& crossing = buffered("DLH2", 10.0 + 4.0 / 60.0, 10.0, 250, 6000, false);
    crossing.stream[0].track = 90;
    maySpawn(crossing);
    EXPECT_FALSE(crossing.heldForUser);
    EXPECT_EQ(crossing.state, stateAdding2Sim);
}

TEST_F(Spawning, GroundTrafficAheadOfTheLandingUserIsMeasuredFromItsFirstPosition)
{
    tickCount = 2900;
    // The user 500 ft above the ground heading north; a taxiing aircraft that was never created
    // stands 1 nm ahead on that line: held (its pose is still 0,0, its first position counts).
    h.setUser(10.0, 10.0, false, 500, 0.0, 500);
    LiveAircraft& ahead = buffered("DLH1", 10.0 + 1.0 / 60.0, 10.0, 10, 0, false);
    ASSERT_DOUBLE_EQ(ahead.lat, 0.0);
    maySpawn(ahead);
    EXPECT_TRUE(ahead.heldForUser);
    EXPECT_EQ(ahead.state, stateBuffer);
    // 2 nm ahead it is out of the user's way.
    LiveAircraft& farther = buffered("DLH2", 10.0 + 2.0 / 60.0, 10.0, 10, 0, false);
    maySpawn(farther);
    EXPECT_FALSE(farther.heldForUser);
    EXPECT_EQ(farther.state, stateAdding2Sim);
}

TEST_F(Spawning, TakesItsStandAndStaticsMakeWay)
{
    TrafficHarness::setParkAirport("EDDF", standLat, standLon, 300,
                                   {TrafficHarness::stand(1, "A1", standLat, standLon, 0.03, {2, 3}),
                                    TrafficHarness::stand(2, "A2", standLat, standLon + 0.0005, 0.03),
                                    TrafficHarness::stand(3, "A3", standLat, standLon + 0.01, 0.03)});
    const auto staticOn = [](std::uint32_t sid, const std::string& callsign, std::uint32_t state,
                             std::uint32_t objectId) {
        FlightRecord r;
        r.callsign = callsign;
        r.type = "A320";
        r.flightId = sid;
        StaticAircraft& s = staticAircraft.emplace_back(std::move(r), sid, ParkPlace{}, 0);
        s.state = state;
        s.objectid = objectId;
    };
    staticOn(1, "S1*", stateActive, 501);
    staticOn(2, "S2*", stateActive, 502); // about 36 m away: within both radii + 10 %
    staticOn(3, "S3*", stateActive, 503); // 700 m away
    tickCount = 2900;
    LiveAircraft& a = buffered("DLH4AB", standLat + 0.00005, standLon, 0);
    maySpawn(a);
    ASSERT_EQ(a.state, stateAdding2Sim);
    EXPECT_EQ(a.phase, phaseParked);
    EXPECT_EQ(a.sid, 1u);
    EXPECT_TRUE(stands[0].occupied);
    EXPECT_EQ(a.stream.size(), 1u);
    EXPECT_EQ(a.stream.front().lat, standLat);
    EXPECT_DOUBLE_EQ(a.lat, standLat);
    EXPECT_EQ(std::vector<std::uint32_t>(pendingRemovals.begin(), pendingRemovals.end()),
              (std::vector<std::uint32_t>{501, 502}));
    EXPECT_EQ(staticAircraft[2].state, stateActive);
    // The stay is learned as a real option of the stand.
    ASSERT_EQ(stands[0].options.size(), 1u);
    EXPECT_EQ(stands[0].options[0].cs, "DLH4AB");
    // Created a moment later, it has just parked: the renewal's ageing keeps it.
    a.state = stateActive;
    ageLiveParked();
    EXPECT_EQ(a.state, stateActive);
    ASSERT_EQ(liveStayers.size(), 1u);
    EXPECT_EQ(liveStayers[0].ageMinutes, 0);

    // A static aircraft whose creation is still queued is dropped from the queue instead.
    staticAircraft.clear();
    stands[0].occupied = false;
    staticOn(1, "S4*", stateAdding2Sim, 0);
    pendingStaticCreations.push_back(AiCreateRequest{{}, "S4*", "T", 1});
    LiveAircraft& b = buffered("DLH5AB", standLat, standLon, 0);
    maySpawn(b);
    EXPECT_EQ(b.sid, 1u);
    EXPECT_TRUE(pendingStaticCreations.empty());
    EXPECT_TRUE(staticAircraft.empty());
}

// A flight removed for the parking limit that reports from its stand again is not created there
// while the limit holds; once there is room it takes its stand.
TEST_F(Spawning, RemovedForTheLimitStaysAwayWhileTheLimitHolds)
{
    TrafficHarness::setParkAirport("EDDF", standLat, standLon, 300,
                                   {TrafficHarness::stand(1, "A1", standLat, standLon, 0.03),
                                    TrafficHarness::stand(2, "A2", standLat, standLon + 0.01, 0.03)});
    LiveAircraft& other = buffered("JBU688", standLat, standLon + 0.01, 0);
    other.state = stateActive;
    other.phase = phaseParked;
    other.sid = 2;
    maxParkedAircraft = 1;
    evictedForLimit = {"JAL61"};
    tickCount = 2900;
    LiveAircraft& a = buffered("JAL61", standLat, standLon, 0);
    maySpawn(a);
    EXPECT_TRUE(a.eraseFromBuffer);
    EXPECT_NE(a.state, stateAdding2Sim);
    EXPECT_FALSE(stands[0].occupied);

    maxParkedAircraft = 2;
    LiveAircraft& b = buffered("JAL61", standLat, standLon, 0);
    maySpawn(b);
    EXPECT_EQ(b.state, stateAdding2Sim);
    EXPECT_EQ(b.sid, 1u);
    EXPECT_TRUE(evictedForLimit.empty());
}

// Which live aircraft replaces a static one: the same registration, its callsign or coupled
// callsign (either way round), or a ghost by the key it was learned under. Empty keys match nothing.
TEST_F(Spawning, StaticReplacedByItsLiveFlight)
{
    FlightRecord r;
    r.callsign = "DLH1*";
    r.callsignKey = "DLH1";
    r.coupledCallsign = "DLH2";
    r.registration = "D-AIAA";
    StaticAircraft s(std::move(r), 1, ParkPlace{}, 0);
    s.state = stateActive;
    const struct {
        const char *callsign, *coupled, *registration, *key;
        bool replaced;
    } cases[] = {{"BAW9", "", "D-AIAA", "", true}, {"BAW9", "", "D-AIZZ", "", false},
                 {"DLH1", "", "", "", true},       {"DLH2", "", "", "", true},
                 {"XXX1", "DLH1", "", "", true},   {"DLH7_", "", "", "DLH1", true},
                 {"DLH7", "", "", "DLH1", false},  {"", "", "", "", false}};
    for (const auto& c : cases) {
        LiveAircraft live;
        live.callsign = c.callsign;
        live.coupledCallsign = c.coupled;
        live.registration = c.registration;
        EXPECT_EQ(isReplacedByLive(live, c.key, true, s), c.replaced) << c.callsign << " " << c.registration;
    }
    LiveAircraft same;
    same.registration = "D-AIAA";
    s.state = stateRemovingFromSim;
    EXPECT_FALSE(isReplacedByLive(same, "", true, s)); // already going
    s.state = stateActive;
    s.registration.clear();
    same.registration.clear();
    same.callsign = "BAW9";
    EXPECT_FALSE(isReplacedByLive(same, "", true, s));
}

// The coupled callsign of a flight is looked up among the options of its airline around the
// current slot: 10 slots either way, 14 for a heavy aircraft.
TEST_F(Spawning, CoupledCallsignFoundAroundTheCurrentSlot)
{
    TrafficHarness::setParkAirport("EDDF", standLat, standLon, 300,
                                   {TrafficHarness::stand(1, "A1", standLat, standLon)});
    StandOption o;
    o.id = 1;
    o.airline = "DLH";
    o.type = "A320";
    o.cs = "DLH1";
    o.cs2 = "DLH2";
    o.day = 1;
    o.slots.set(20);
    stands[0].options = {o};
    const struct {
        std::uint32_t category, slot, day;
        const char* airline;
        bool found;
    } cases[] = {{categoryLarge, 30, 1, "DLH", true},  {categoryLarge, 31, 1, "DLH", false},
                 {categoryLarge, 10, 1, "DLH", true},  {categoryLarge, 9, 1, "DLH", false},
                 {categoryHeavy, 34, 1, "DLH", true},  {categoryHeavy, 35, 1, "DLH", false},
                 {categoryLarge, 20, 2, "DLH", false}, {categoryLarge, 20, 1, "BAW", false}};
    for (const auto& c : cases) {
        FlightRecord a;
        a.callsign = "DLH2_";
        a.airline = c.airline;
        a.category = c.category;
        lf_searchForCoupledCsAroundThisTime(DaySlot{c.day, c.slot}, a);
        EXPECT_EQ(a.callsignKey, c.found ? "DLH1" : "") << c.category << " " << c.slot;
        EXPECT_EQ(a.coupledCallsign, c.found ? "DLH2" : "");
    }
}

// A live aircraft parked on a neighbouring stand too close for both wing spans (with 10 % to
// spare) keeps another off the stand; one further away, or the aircraft itself, does not.
TEST_F(Spawning, NeighbourTooCloseAndStaticsOnNeighbours)
{
    TrafficHarness::setParkAirport("EDDF", standLat, standLon, 300,
                                   {TrafficHarness::stand(1, "A1", standLat, standLon, 0.03, {2, 3}),
                                    TrafficHarness::stand(2, "A2", standLat, standLon + 0.0005, 0.03, {1}),
                                    TrafficHarness::stand(3, "A3", standLat, standLon + 0.0007, 0.03, {1})});
    FlightRecord me;
    me.callsign = "DLH4AB";
    me.type = "A320";
    const std::vector<std::uint32_t>& adjacent = stands[0].adjacent;
    for (const auto& [sid, callsign, phase, blocks] :
         {std::tuple{2u, "BAW1", phaseParked, true}, std::tuple{2u, "BAW1", phasePushingBack, true},
          std::tuple{2u, "BAW1", phaseTaxi, false}, std::tuple{3u, "BAW1", phaseParked, false},
          std::tuple{2u, "DLH4AB", phaseParked, false}}) {
        liveAircraft.clear();
        LiveAircraft& other = buffered(callsign, standLat, standLon, 0);
        other.state = stateActive;
        other.phase = phase;
        other.sid = sid;
        EXPECT_EQ(findLiveOnStand(adjacent, stands[0], me) != adjacent.end(), blocks)
            << sid << " " << callsign << " " << phase;
    }

    // Static aircraft on the neighbours: the close one goes, the one 50 m away stays.
    liveAircraft.clear();
    for (std::uint32_t sid : {2u, 3u}) {
        FlightRecord r;
        r.callsign = "S" + std::to_string(sid) + "*";
        r.type = "A320";
        StaticAircraft& st = staticAircraft.emplace_back(std::move(r), sid, ParkPlace{}, 0);
        st.state = stateActive;
        st.objectid = 500 + sid;
    }
    LiveAircraft& a = buffered("DLH4AB", standLat, standLon, 0);
    makeWayForLiveAircraft(a, stands[0]);
    EXPECT_EQ(staticAircraft[0].state, stateRemovingFromSim);
    EXPECT_EQ(staticAircraft[1].state, stateActive);
}

// A taxiing aircraft that parks clears its stand and every neighbour standing within 1.1 times
// both wing spans (0.0211 nm for two A320s), parked or pushing back; one just outside stays, and
// so does one merely taxiing past on a neighbour.
TEST_F(Spawning, ParkingClearsItsStandAndNeighboursTooClose)
{
    constexpr double feetPerNm = 6076.11549;
    const LatLon inside = destinationPoint(LatLon{standLat, standLon}, 90 * degToRad, 0.020 * feetPerNm);
    const LatLon outside = destinationPoint(LatLon{standLat, standLon}, 270 * degToRad, 0.022 * feetPerNm);
    const struct {
        std::uint32_t sid, phase;
        bool removed;
    } cases[] = {{1, phaseParked, true}, {2, phaseParked, true},  {2, phasePushingBack, true},
                 {2, phaseTaxi, false},  {3, phaseParked, false}, {3, phasePushingBack, false}};
    for (const auto& c : cases) {
        TrafficHarness::setParkAirport("EDDF", standLat, standLon, 300,
                                       {TrafficHarness::stand(1, "A1", standLat, standLon, 0.03, {2, 3}),
                                        TrafficHarness::stand(2, "A2", inside.lat, inside.lon, 0.03, {1}),
                                        TrafficHarness::stand(3, "A3", outside.lat, outside.lon, 0.03, {1})});
        liveAircraft.clear();
        LiveAircraft& other = buffered("BAW1", standLat, standLon, 0);
        other.state = stateActive;
        other.objectid = 601;
        other.phase = c.phase;
        other.sid = c.sid;
        LiveAircraft& me = buffered("DLH4AB", standLat - 0.0003, standLon, 5);
        me.state = stateActive;
        me.objectid = 602;
        me.phase = phaseTaxi;
        me.stream.back().lat = standLat;
        try2Park(me, false);
        EXPECT_EQ(me.phase, phaseParking) << c.sid << " " << c.phase;
        EXPECT_EQ(me.sid, 1u);
        EXPECT_EQ(other.state == stateRemovingFromSim, c.removed) << c.sid << " " << c.phase;
    }
}

// Removing every static aircraft: active ones go through the simulator, one whose creation is
// still queued leaves the queue, one whose creation went out goes once created. The aircraft on
// the user's reserved stand goes: a static first, else a parked live one.
TEST_F(Spawning, RemovingStaticsAndTheAircraftOnTheReservedStand)
{
    const auto addStatic = [](std::uint32_t sid, std::uint32_t state, std::uint32_t objectId) -> StaticAircraft& {
        FlightRecord r;
        r.callsign = "S" + std::to_string(sid) + "*";
        r.type = "A320";
        r.flightId = sid;
        StaticAircraft& st = staticAircraft.emplace_back(std::move(r), sid, ParkPlace{}, 0);
        st.state = state;
        st.objectid = objectId;
        return st;
    };
    staticAircraft.reserve(8);
    addStatic(1, stateActive, 501);
    addStatic(2, stateAdding2Sim, 0);
    pendingStaticCreations.push_back(AiCreateRequest{{}, "S2*", "T", 2});
    addStatic(3, stateAdding2Sim, 0);
    removeAllStaticAircraft();
    ASSERT_EQ(staticAircraft.size(), 2u);
    EXPECT_EQ(staticAircraft[0].state, stateRemovingFromSim);
    EXPECT_EQ(staticAircraft[1].callsign, "S3*");
    EXPECT_EQ(staticAircraft[1].removeWhenCreated, 1);
    EXPECT_TRUE(pendingStaticCreations.empty());

    TrafficHarness::setParkAirport("EDDF", standLat, standLon, 300,
                                   {TrafficHarness::stand(1, "A1", standLat, standLon),
                                    TrafficHarness::stand(2, "A2", standLat, standLon + 0.01)});
    parkAirportList.push_back(ParkAirportEntry{"EDDF", "A2", {}, 0});
    takeReservedStandFromList();
    staticAircraft.clear();
    pendingRemovals.clear();
    addStatic(1, stateActive, 601);
    addStatic(2, stateActive, 602);
    LiveAircraft& live = buffered("DLH4AB", standLat, standLon + 0.01, 0);
    live.state = stateActive;
    live.phase = phaseParked;
    live.sid = 2;
    live.objectid = 603;
    removeAircraftAtStand();
    EXPECT_EQ(std::vector<std::uint32_t>(pendingRemovals.begin(), pendingRemovals.end()),
              (std::vector<std::uint32_t>{602}));
    staticAircraft.clear();
    removeAircraftAtStand();
    EXPECT_EQ(live.state, stateRemovingFromSim);
}

TEST_F(Spawning, LeavesTheUsersReservedStandAlone)
{
    TrafficHarness::setParkAirport("EDDF", standLat, standLon, 300,
                                   {TrafficHarness::stand(1, "A1", standLat, standLon)});
    parkAirportList.push_back(ParkAirportEntry{"EDDF", "A1", {}, 0});
    takeReservedStandFromList();
    ASSERT_EQ(reservedStandName(), "A1");
    tickCount = 2900;
    LiveAircraft& a = buffered("DLH4AB", standLat, standLon, 0);
    maySpawn(a);
    EXPECT_EQ(a.state, stateAdding2Sim);
    EXPECT_EQ(a.sid, 0u);
    EXPECT_FALSE(stands[0].occupied);
    // It leaves like any taxiing aircraft: no phase birth, no heading rate that spins it.
    EXPECT_EQ(a.phase, phaseTaxi);
    EXPECT_EQ(a.headingRate, 0.0);
}

TEST_F(Spawning, GhostsGoWhenTheirFlightSpawns)
{
    LiveAircraft& ghost = buffered("DLH4AB_", 10.5, 10.5, 0);
    ghost.state = stateActive;
    ghost.objectid = 900;
    tickCount = 2900;
    LiveAircraft& a = buffered("DLH4AB", 10.6, 10.6, 0);
    maySpawn(a);
    EXPECT_EQ(a.state, stateAdding2Sim);
    EXPECT_EQ(liveAircraft[0].state, stateRemovingFromSim);
    EXPECT_EQ(ghostList, std::vector<std::string>{"DLH4AB_"});
    // A later buffered aircraft of that ghost callsign is dropped.
    LiveAircraft& again = buffered("DLH4AB_", 10.7, 10.7, 0);
    maySpawn(again);
    EXPECT_TRUE(again.eraseFromBuffer);
}

TEST_F(Spawning, ShortStreamIsLoggedAndLeftAlone)
{
    LiveAircraft& a = buffered("DLH4AB", 10.5, 10.5, 0);
    a.stream.pop_back();
    spawnLiveAc(a);
    EXPECT_EQ(a.state, stateBuffer);
    EXPECT_TRUE(readyToSpawn.empty());
    a.stream.clear();
    spawnLiveAc(a);
    EXPECT_EQ(a.state, stateBuffer);
}

TEST(EndToEnd, ParkedThenDepartingFlight)
{
    TrafficHarness h;
    MAX_HOLDING_MINUTES.setValue(1);
    TrafficHarness::addType("A320", categoryLarge, 0.0096);
    TrafficHarness::addLivery("DLH", "A320", "Airbus A320 Lufthansa");
    TrafficHarness::setParkAirport("EDDF", standLat, standLon, 300,
                                   {TrafficHarness::stand(1, "A1", standLat, standLon)});
    double reportTime = 1000.0;
    int departed = 0;
    for (int pass = 0; pass < 22000; ++pass) {
        if (pass % 500 == 0 && pass <= 6000) {
            const bool parked = pass < 3500;
            const double lat = parked ? standLat : standLat + 0.001 + 0.0003 * departed++;
            h.feed(TrafficHarness::report(20001, "DLH4AB", "A320", lat, standLon, 0, parked ? 0 : 15, 0, reportTime));
            reportTime += 5.0;
        }
        h.pass();
    }
    ASSERT_EQ(h.creations.size(), 1u);
    const auto& c = h.creations[0];
    EXPECT_EQ(c.tick, 2950u); // decided 100 ticks before its first position (3000), sent on the next 50th tick
    EXPECT_EQ(c.request.callsign, "DLH4AB");
    EXPECT_EQ(c.request.liveryTitle, "Airbus A320 Lufthansa");
    EXPECT_EQ(c.request.recordId, 20001u);
    EXPECT_DOUBLE_EQ(c.request.position.latitude, standLat);
    ASSERT_EQ(h.removals.size(), 1u);
    EXPECT_EQ(h.removals[0].objectId, c.objectId);
    // The last position was due at 6000 + 3000; a taxiing aircraft then holds where its reports
    // ended, and is removed once it has held for more than MAX_HOLDING_MINUTES whole minutes.
    EXPECT_GE(h.removals[0].tick, 21000u);
    EXPECT_LT(h.removals[0].tick, 21400u);
    MAX_HOLDING_MINUTES.setValue(20);
    EXPECT_TRUE(liveAircraft.empty());
    // Poses went out while the aircraft was active.
    std::size_t posed = 0;
    for (const auto& p : h.poses) posed += p.size();
    EXPECT_GT(posed, 1000u);
}

} // namespace
