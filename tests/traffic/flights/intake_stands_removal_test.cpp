#include "foundation/parameters/parameter_table.h"
#include "foundation/utilities.h"
#include "liveries/type_queries.h"
#include "traffic/flights/intake.h"
#include "traffic/state/removal.h"
#include "traffic/state/stands.h"
#include "traffic/state/traffic_state.h"
#include "../traffic_harness.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <thread>

using namespace qtr;
using qtest::TrafficHarness;

namespace {

void takeIn(TrafficReport r)
{
    incomingTraffic.push_back(std::move(r));
    processIncomingTraffic();
}

TEST(Intake, KeptOrDropped)
{
    TrafficHarness h;
    TrafficHarness::addType("A320", categoryLarge, 0.0096);
    TrafficHarness::addType("EC35", categoryRotorcraft, 0.0028);
    takeIn(TrafficHarness::report(20001, "DLH1", "A320", 50, 8, 0, 4, 0, 1000));
    ASSERT_EQ(liveAircraft.size(), 1u);
    EXPECT_EQ(liveAircraft[0].state, stateBuffer);
    EXPECT_EQ(liveAircraft[0].phase, phaseBirth);
    EXPECT_EQ(liveAircraft[0].callsignKey, "DLH1");
    EXPECT_EQ(liveAircraft[0].stream.front().time, 3000u);
    struct Case {
        double last, next, dt;
        bool kept;
    };
    // Speeds (kn) of the last and the new report, seconds between them.
    const Case cases[] = {{4, 90, 20, false},   {6, 60, 20, false},   {6, 59, 20, true},
                          {50, 50, 1.0, false}, {50, 50, 0.5, false}, {10, 10, 3.5, false},
                          {10, 10, 4.0, true},  {0, 0, 15, false},    {0, 0, 16, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.last << "->" << c.next << " after " << c.dt);
        LiveAircraft& a = liveAircraft[0];
        a.stream.resize(1);
        a.stream.back().speed = c.last;
        a.lastReportTime = 1000;
        takeIn(TrafficHarness::report(20001, "DLH1", "A320", 50.001, 8, 0, c.next, 0, 1000 + c.dt));
        EXPECT_EQ(a.stream.size(), c.kept ? 2u : 1u);
    }
    // Airborne at 240 kn on an unchanged track: 3 s ignored, 4 s taken.
    LiveAircraft& a = liveAircraft[0];
    for (const auto& [dt, kept] : {std::pair{3.0, false}, std::pair{4.0, true}}) {
        a.stream.resize(1);
        a.stream.back().speed = 240;
        a.lastReportTime = 1000;
        takeIn(TrafficHarness::report(20001, "DLH1", "A320", 50.1, 8, 20000, 240, 0, 1000 + dt));
        EXPECT_EQ(a.stream.size(), kept ? 2u : 1u) << dt;
    }
    // A second id of a known flight creates nothing.
    takeIn(TrafficHarness::report(20002, "DLH1", "A320", 51, 8, 0, 0, 0, 1000));
    EXPECT_EQ(liveAircraft.size(), 1u);
    // Rotorcraft switched off: no new ones.
    HELICOPTERS.setValue(false);
    takeIn(TrafficHarness::report(20003, "HEL1", "EC35", 51, 8, 0, 0, 0, 1000));
    EXPECT_EQ(liveAircraft.size(), 1u);
}

TEST(Intake, AltitudeFilterAndMissingTypes)
{
    TrafficHarness h;
    TrafficHarness::addType("A320", categoryLarge, 0.0096);
    parkAirportIcao = "LSZH";
    parkAirportElevation = 1500;
    const std::pair<double, bool> altitudes[] = {{1600, false}, {1621, true}, {0, true}};
    std::uint32_t id = 20001;
    for (const auto& [alt, created] : altitudes) {
        const std::size_t before = liveAircraft.size();
        takeIn(TrafficHarness::report(id, "X" + std::to_string(id), "A320", 47, 8, alt, 0, 0, 1000));
        ++id;
        EXPECT_EQ(liveAircraft.size(), before + (created ? 1 : 0)) << alt;
    }
    const std::size_t before = liveAircraft.size();
    registrations["HB-JLA"] = RegistrationInfo{"SWR", "A320", "", false};
    TrafficReport byReg = TrafficHarness::report(30001, "SWR1", "", 47, 8, 0, 0, 0, 1000);
    byReg.registration = "HB-JLA";
    takeIn(byReg);
    ASSERT_EQ(liveAircraft.size(), before + 1);
    EXPECT_EQ(liveAircraft.back().type, "A320");
    // An unknown type with a registration that the data base does not know: no type, nothing made.
    TrafficReport unknown = TrafficHarness::report(30002, "XXX1", "ZZZZ", 47, 8, 0, 0, 0, 1000);
    unknown.registration = "N-NOPE";
    takeIn(unknown);
    TrafficReport bare = TrafficHarness::report(30003, "XXX2", "", 47, 8, 0, 0, 0, 1000);
    takeIn(bare);
    EXPECT_EQ(liveAircraft.size(), before + 1);
}

DaySlot ds(std::uint32_t weekday, std::uint32_t slot) { return DaySlot{weekday, slot}; }

// A Large aircraft known by its registration, staying at the stands.
FlightRecord stayingAircraft()
{
    FlightRecord a;
    a.callsign = "ABC12";
    a.registration = "D-AAAA";
    a.flightId = 20001;
    a.category = categoryLarge;
    return a;
}

TEST(Stands, OptionIdsAndKeys)
{
    TrafficHarness h;
    Stand s = TrafficHarness::stand(1, "A1", 1, 1);
    FlightRecord a;
    a.callsign = "ABC12__";
    a.registration = "D-AAAA";
    EXPECT_EQ(findOrAddOption(s, a, optionReal, ds(1, 10), a.callsign, a.registration), 1u);
    EXPECT_EQ(s.options[0].cs, "ABC12_");
    // The same option again: nothing added.
    EXPECT_EQ(findOrAddOption(s, a, optionReal, ds(1, 10), a.callsign, a.registration), 0u);
    // Ids stay unique when options were switched off or came out of order.
    s.options[0].id = 7;
    s.options.push_back(StandOption{});
    s.options.back().id = 0;
    EXPECT_EQ(findOrAddOption(s, a, optionReal, ds(2, 10), "ABC12_", "D-AAAA"), 8u);
    EXPECT_EQ(s.options.back().cs, "ABC12");
    EXPECT_EQ(findOrAddOption(s, a, optionReal, ds(3, 10), "ABC12", ""), 0u);
    EXPECT_EQ(sidName(0), "sid==0?");
    replaceStands({s});
    EXPECT_EQ(sidName(1), "A1");
    EXPECT_EQ(sidName(2), "unknown");
    FlightRecord nobody;
    EXPECT_FALSE(lf_addRealStandOption(1, nobody, ds(1, 1), false));
}

TEST(Stands, StaysExtendTheRightOptions)
{
    TrafficHarness h;
    const FlightRecord a = stayingAircraft();
    replaceStands({TrafficHarness::stand(1, "A1", 1, 1)});
    Stand& s = stands[0];
    // Same day: arrived at slot 10, leaving at 13.
    ASSERT_TRUE(lf_addRealStandOption(1, a, ds(3, 10), false));
    ASSERT_TRUE(lf_addRealStandOption(1, a, ds(3, 13), true));
    ASSERT_EQ(s.options.size(), 1u);
    EXPECT_EQ(gf_bitset2hours(s.options[0].slots), "10,11,12,13");
    EXPECT_TRUE(s.realArrivals.empty());
    // Sunday 46 to Monday 1: slot 47 goes to Sunday, 0 and 1 to a new Monday option.
    s.options.clear();
    const std::uint32_t sunday = findOrAddOption(s, a, optionReal, ds(7, 46), a.callsign, a.registration);
    StandArrival arrival{7, 46, sunday};
    ASSERT_TRUE(addStandStaySlots(ds(1, 1), s, sunday, arrival, a, a.registration, optionReal));
    ASSERT_EQ(s.options.size(), 2u);
    EXPECT_EQ(arrival.id, s.options[1].id);
    EXPECT_EQ(arrival.weekday, 1u);
    EXPECT_EQ(s.options[0].day, 7u);
    EXPECT_EQ(gf_bitset2hours(s.options[0].slots), "46,47");
    EXPECT_EQ(s.options[1].day, 1u);
    EXPECT_EQ(gf_bitset2hours(s.options[1].slots), "0,1");
    // Six slots or more later: not extended, a fresh option instead.
    s.options.clear();
    ASSERT_TRUE(lf_addRealStandOption(1, a, ds(2, 10), false));
    ASSERT_TRUE(lf_addRealStandOption(1, a, ds(2, 16), true));
    ASSERT_EQ(s.options.size(), 2u);
    EXPECT_EQ(gf_bitset2hours(s.options[0].slots), "10");
    EXPECT_EQ(gf_bitset2hours(s.options[1].slots), "16");
    // testRange spills into the previous day.
    std::int32_t spill = 0;
    EXPECT_FALSE(testRange(s.options[0], 3, 5, spill));
    EXPECT_EQ(spill, 2);
    EXPECT_TRUE(testRange(s.options[0], 12, 5, spill));
    EXPECT_FALSE(testRange(s.options[0], 48, 1, spill));
}

// A stay at a stand goes into the aircraft's own option of the weekday: a real option that holds
// the slot already is passed over for a new one, a soft one is kept as it is. A hand-fixed option
// that leaves the slot out, or an unknown stand, changes nothing.
TEST(Stands, RealAndSoftStaysFindTheOwnOption)
{
    TrafficHarness h;
    const FlightRecord a = stayingAircraft();
    const struct {
        std::uint32_t kind, fixed, slot, sid;
        bool result;
        std::size_t options;
        const char* firstSlots;
    } cases[] = {
        {optionReal, 0, 10, 1, true, 2, "9,10"},    {optionSoft, 0, 10, 1, true, 1, "9,10"},
        {optionReal, 0, 12, 1, true, 1, "9,10,12"}, {optionSoft, 0, 12, 1, true, 1, "9,10,12"},
        {optionReal, 1, 12, 1, false, 1, "9,10"},   {optionSoft, 1, 12, 1, false, 1, "9,10"},
        {optionReal, 0, 10, 2, false, 1, "9,10"},   {optionSoft, 0, 10, 2, false, 1, "9,10"},
    };
    for (const auto& c : cases) {
        replaceStands({TrafficHarness::stand(1, "A1", 1, 1)});
        StandOption own;
        own.reg = "D-AAAA";
        own.cs = "ABC12";
        own.slots.set(9).set(10);
        own.id = 1;
        own.day = 3;
        own.fixed = c.fixed;
        own.kind = c.kind;
        stands[0].options = {own};
        const DaySlot now = ds(3, c.slot);
        const bool result = c.kind == optionReal ? lf_addRealStandOption(c.sid, a, now, false)
                                                 : lf_addSoftStandOption(c.sid, a, false, now, false);
        const std::string row = fmt::format("kind {} fixed {} slot {} sid {}", c.kind, c.fixed, c.slot, c.sid);
        EXPECT_EQ(result, c.result) << row;
        ASSERT_EQ(stands[0].options.size(), c.options) << row;
        EXPECT_EQ(gf_bitset2hours(stands[0].options[0].slots), c.firstSlots) << row;
    }
}

TEST(Stands, LookupsAndTheSharedNearestStand)
{
    TrafficHarness h;
    TrafficHarness::setParkAirport(
        "EDDF", 50, 8, 300,
        {TrafficHarness::stand(1, "A1", 50, 8, 0.01), TrafficHarness::stand(2, "H1", 50.01, 8, 0.01)});
    stands[1].heli = true;
    FlightRecord big;
    big.radius = 0.01 + 5.0 / 1852; // 5 m larger than the stand
    big.type = "A320";
    EXPECT_EQ(standAtAircraft(LatLon{50.0002, 8}, big, 0.0297), stands.end()); // 22 m away: too far to adjust
    auto it = standAtAircraft(LatLon{50.00005, 8}, big, 0.0297);
    ASSERT_NE(it, stands.end());
    EXPECT_EQ(it->name, "A1");
    EXPECT_NEAR(it->radius, big.radius - 1.0 / 1852, 1e-12);
    EXPECT_TRUE(it->radius_change);
    EXPECT_EQ(standAtAircraft(LatLon{50.01, 8}, big, 0.0297), stands.end()); // helipad
    big.category = categoryRotorcraft;
    EXPECT_EQ(standAtAircraft(LatLon{50.01, 8}, big, 0.0297)->name, "H1");

    EXPECT_EQ(nearestStandName(LatLon{50.0001, 8}), "A1");
    // The answer follows a change of the stands, on every thread.
    replaceStands({TrafficHarness::stand(5, "B5", 50.0001, 8)});
    EXPECT_EQ(nearestStandName(LatLon{50.0001, 8}), "B5");
    std::string fromOtherThread;
    std::thread([&] {
        for (int k = 0; k < 200; ++k) fromOtherThread = nearestStandName(LatLon{50.0001, 8});
    }).join();
    EXPECT_EQ(fromOtherThread, "B5");
    // A reader on another thread while the worker empties and refills the list.
    std::atomic<bool> done{false};
    std::thread reader([&] {
        while (!done) {
            const std::string name = nearestStandName(LatLon{50.0001, 8 + (std::rand() % 2) * 1e-7});
            ASSERT_TRUE(name.empty() || name == "B5");
        }
    });
    for (int k = 0; k < 2000; ++k) {
        clearStands();
        replaceStands({TrafficHarness::stand(5, "B5", 50.0001, 8)});
    }
    done = true;
    reader.join();
    h.setUser(10, 10, false);
    EXPECT_EQ(nearestStandName(LatLon{50.0001, 8}), ""); // the user is not on the ground
}

TEST(Removal, EveryState)
{
    TrafficHarness h;
    replaceStands({TrafficHarness::stand(1, "A1", 1, 1)});
    stands[0].occupied = true;
    const auto live = [](std::uint32_t state, std::uint32_t objectId, const std::string& cs) -> LiveAircraft& {
        FlightRecord r;
        r.callsign = cs;
        r.flightId = 20000 + objectId;
        LiveAircraft& a = liveAircraft.emplace_back(Position{}, std::move(r), 0.0);
        a.state = state;
        a.objectid = objectId;
        return a;
    };
    liveAircraft.reserve(16);
    LiveAircraft& buffered = live(stateBuffer, 0, "B1");
    removeAircraftFromSim(buffered);
    EXPECT_TRUE(buffered.eraseFromBuffer);

    LiveAircraft& queued = live(stateAdding2Sim, 0, "Q1");
    pendingLiveCreations.push_back(AiCreateRequest{{}, "Q1", "T", queued.flightId});
    removeAircraftFromSim(queued);
    EXPECT_TRUE(queued.erase);
    EXPECT_TRUE(pendingLiveCreations.empty());

    LiveAircraft& sent = live(stateAdding2Sim, 0, "S1");
    removeAircraftFromSim(sent);
    EXPECT_TRUE(sent.removeWhenCreated);
    removeAircraftFromSim(sent);
    EXPECT_EQ(sent.state, stateAdding2Sim);

    LiveAircraft& active = live(stateActive, 501, "A1");
    active.sid = 1;
    removeAircraftFromSim(active);
    EXPECT_EQ(active.state, stateRemovingFromSim);
    EXPECT_FALSE(stands[0].occupied);
    // Removing again does not queue the object a second time.
    removeAircraftFromSim(active);
    LiveAircraft& respawning = live(stateLiveryRespawn, 502, "R1");
    removeAircraftFromSim(respawning);
    EXPECT_EQ(respawning.state, stateRemovingFromSim);
    EXPECT_EQ(std::vector<std::uint32_t>(pendingRemovals.begin(), pendingRemovals.end()),
              std::vector<std::uint32_t>{501});

    // A static aircraft never frees its stand here.
    stands[0].occupied = true;
    FlightRecord r;
    r.flightId = 5;
    StaticAircraft st(std::move(r), 1, ParkPlace{}, 0);
    st.state = stateActive;
    st.objectid = 600;
    removeAircraftFromSim(st);
    EXPECT_TRUE(stands[0].occupied);
    EXPECT_EQ(pendingRemovals.back(), 600u);
}

TEST(Removal, LimitsAndCollisions)
{
    TrafficHarness h;
    h.setUser(0, 0, true);
    liveAircraft.reserve(16);
    const auto activeAt = [](double nm, std::uint32_t objectId) {
        FlightRecord r;
        r.callsign = "L" + std::to_string(objectId);
        r.flightId = 20000 + objectId;
        r.radius = 0.01;
        LiveAircraft& a = liveAircraft.emplace_back(Position{}, std::move(r), 0.0);
        a.state = stateActive;
        a.objectid = objectId;
        a.lat = nm / 60.0;
    };
    activeAt(10.0, 1);
    activeAt(10.05, 2); // not 0.1 nm farther
    EXPECT_FALSE(removeFarthestLive(-1.0));
    EXPECT_EQ(liveAircraft[0].state, stateRemovingFromSim);
    EXPECT_EQ(liveAircraft[1].state, stateActive);
    EXPECT_TRUE(removeFarthestLive(20.0)); // nothing beyond 20 nm

    liveAircraft.clear();
    pendingRemovals.clear();
    for (std::uint32_t k = 1; k <= 5; ++k) activeAt(k, k);
    MAX_LIVE.setValue(3);
    enforceMaxLive();
    EXPECT_EQ(std::vector<std::uint32_t>(pendingRemovals.begin(), pendingRemovals.end()),
              (std::vector<std::uint32_t>{5, 4}));

    // A static aircraft in the way of a moving live one.
    FlightRecord sr;
    sr.callsign = "S1*";
    sr.radius = 0.01;
    StaticAircraft& near1 = staticAircraft.emplace_back(std::move(sr), 1, ParkPlace{0.02 / 60.0, 0, 0}, 0);
    near1.state = stateActive;
    near1.objectid = 700;
    LiveAircraft taxiing = liveAircraft[0];
    taxiing.lat = 0;
    removeForCollisionAvoidance(taxiing); // 0.02 nm apart: within 1.1 x 0.02
    EXPECT_EQ(staticAircraft[0].state, stateRemovingFromSim);
}

} // namespace
