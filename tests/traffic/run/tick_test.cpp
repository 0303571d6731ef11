#include "foundation/indicators.h"
#include "foundation/paths.h"
#include "liveries/livery_matcher.h"
#include "traffic/run/sim_objects.h"
#include "links/simconnect_client.h"
#include "support/test_support.h"
#include "foundation/run_control.h"
#include "traffic/run/tick.h"
#include "traffic/state/traffic_state.h"
#include "../traffic_harness.h"

#include <gtest/gtest.h>

using namespace qtr;
using qtest::TrafficHarness;

namespace {

AiCreateRequest request(const std::string& callsign, std::uint32_t id)
{
    AiCreateRequest r;
    r.callsign = callsign;
    r.recordId = id;
    r.liveryTitle = "T";
    return r;
}

TEST(TickSchedule, ThousandPasses)
{
    TrafficHarness h;
    h.simulatorAnswers = false;
    TrafficHarness::addType("A320", categoryLarge, 0.0096);
    for (std::uint32_t k = 0; k < 7; ++k)
        h.feed(TrafficHarness::report(20001 + k, "ABC" + std::to_string(k + 1), "A320", 50.0 + k, 8.0, 30000, 400, 90,
                                      1000.0));
    for (std::uint32_t id = 101; id <= 105; ++id) pendingRemovals.push_back(id);
    pendingStaticCreations = {request("S1*", 1), request("S2*", 2), request("S3*", 3)};
    pendingLiveCreations = {request("L1", 30001), request("L2", 30002)};

    // Intake: at most two reports per pass.
    const std::size_t expectedLive[] = {2, 4, 6, 7, 7};
    for (std::size_t expected : expectedLive) {
        h.pass();
        EXPECT_EQ(liveAircraft.size(), expected);
    }
    h.passes(995);
    EXPECT_EQ(tickCount, 1000u);

    // One removal every 10 ticks, from the front.
    ASSERT_EQ(h.removals.size(), 5u);
    for (std::size_t k = 0; k < 5; ++k) {
        EXPECT_EQ(h.removals[k].tick, 10 * k);
        EXPECT_EQ(h.removals[k].objectId, 101 + k);
    }
    // One creation every 50 ticks, live ones first.
    ASSERT_EQ(h.creations.size(), 5u);
    const char* order[] = {"L1", "L2", "S1*", "S2*", "S3*"};
    for (std::size_t k = 0; k < 5; ++k) {
        EXPECT_EQ(h.creations[k].tick, 50 * k);
        EXPECT_EQ(h.creations[k].request.callsign, order[k]);
    }
    // Aircraft and helicopters in range every 20 ticks (a request for each); the user aircraft every 100.
    const auto range = TrafficHarness::callTicks("SimConnect_RequestDataOnSimObjectType");
    ASSERT_EQ(range.size(), 2 * 50u);
    for (std::size_t k = 0; k < range.size(); ++k) EXPECT_EQ(range[k], 20 * (k / 2));
    std::vector<std::uint32_t> userRequests;
    for (std::uint32_t t : TrafficHarness::callTicks("SimConnect_RequestDataOnSimObject")) userRequests.push_back(t);
    ASSERT_EQ(userRequests.size(), 10u);
    for (std::size_t k = 0; k < userRequests.size(); ++k) EXPECT_EQ(userRequests[k], 100 * k);
}

// A live aircraft is created in the air where it flies, its angles in degrees, with its callsign,
// livery title and flight id.
TEST(TickSchedule, LiveCreationRequestPlacesTheAircraftWhereItFlies)
{
    TrafficHarness h;
    h.simulatorAnswers = false;
    FlightRecord r;
    r.callsign = "DLH7";
    r.flightId = 20007;
    r.livery = "Airbus A320 Lufthansa";
    LiveAircraft& a = liveAircraft.emplace_back(Position{}, std::move(r), 0.0);
    a.state = stateAdding2Sim;
    a.lat = 50.5;
    a.lon = 8.25;
    a.alt = 4200;
    a.pitch = 0.1;
    a.bank = -0.2;
    a.heading = 1.5;
    readyToSpawn = {20007};
    tickCount = 1; // off the creation grid
    h.pass();
    ASSERT_EQ(pendingLiveCreations.size(), 1u);
    const AiCreateRequest& q = pendingLiveCreations[0];
    const double got[] = {q.position.latitude, q.position.longitude, q.position.altitude,
                          q.position.pitch,    q.position.bank,      q.position.heading};
    const double want[] = {50.5, 8.25, 4200, 0.1 * radToDeg, -0.2 * radToDeg, 1.5 * radToDeg};
    for (std::size_t k = 0; k < std::size(want); ++k) EXPECT_DOUBLE_EQ(got[k], want[k]) << k;
    EXPECT_EQ(q.position.onGround, 0u);
    EXPECT_EQ(q.position.airspeed, 0u);
    EXPECT_EQ(q.callsign, "DLH7");
    EXPECT_EQ(q.liveryTitle, "Airbus A320 Lufthansa");
    EXPECT_EQ(q.recordId, 20007u);
}

TEST(TickSchedule, SpawnsServedLastFirstAndFailedSimConnectStopsRangeRequests)
{
    TrafficHarness h;
    h.simulatorAnswers = false;
    Position p;
    for (std::uint32_t id : {20001u, 20002u}) {
        FlightRecord r;
        r.callsign = "C" + std::to_string(id);
        r.flightId = id;
        liveAircraft.emplace_back(p, std::move(r), 0.0).state = stateAdding2Sim;
    }
    FlightRecord nameless;
    nameless.flightId = 20003;
    liveAircraft.emplace_back(p, std::move(nameless), 0.0).state = stateAdding2Sim;
    readyToSpawn = {20001, 20002, 20003, 29999};
    tickCount = 1; // off the creation grid
    h.passes(4);
    // 29999 has no aircraft and 20003 no callsign: both dropped; the others in reverse order.
    ASSERT_EQ(pendingLiveCreations.size(), 2u);
    EXPECT_EQ(pendingLiveCreations[0].recordId, 20002u);
    EXPECT_EQ(pendingLiveCreations[1].recordId, 20001u);
    EXPECT_TRUE(readyToSpawn.empty());

    simConnectFailed = true;
    const auto before = TrafficHarness::callTicks("SimConnect_RequestDataOnSimObjectType").size();
    pendingRemovals.push_back(77);
    tickCount = 20;
    trafficTick();
    EXPECT_EQ(TrafficHarness::callTicks("SimConnect_RequestDataOnSimObjectType").size(), before);
    std::lock_guard lock(simConnectMutex);
    EXPECT_EQ(removalQueue, std::vector<std::uint32_t>{77});
}

TEST(Tables, ReserveOnceAndFree)
{
    TrafficHarness h;
    const auto folder = qtest::freshFolder("tables");
    qtest::ScopedCwd cwd(folder);
    qtest::writeFile(folder / callsign2ObjectIdPath, "x");
    tablesReserved = false;
    reserveTables();
    EXPECT_TRUE(tablesReserved);
    EXPECT_GE(liveAircraft.capacity(), 512u);
    EXPECT_GE(staticAircraft.capacity(), 256u);
    EXPECT_FALSE(std::filesystem::exists(callsign2ObjectIdPath));
    qtest::writeFile(folder / callsign2ObjectIdPath, "x");
    reserveTables(); // a later run keeps the file
    EXPECT_TRUE(std::filesystem::exists(callsign2ObjectIdPath));

    liveAircraft.emplace_back();
    staticAircraft.emplace_back();
    pendingRemovals.push_back(1);
    replaceStands({TrafficHarness::stand(1, "A1", 1, 1)});
    parkAirportIcao = "EDDF";
    // What the restart and the tests' reset used to clear apart: the one reset clears it all.
    tickCount = 1234;
    resolvedObjectId = 7001;
    incomingTraffic.emplace_back();
    createdObjects.push_back(SimObjectEvent{7001, 10001, 5, liveCreated, 0, 0});
    liveryChoices.emplace(10001, TitleView{});
    unmatchedNames.insert("X");
    indicators.updateCount.store(3);
    resetTrafficManager();
    EXPECT_TRUE(liveAircraft.empty());
    EXPECT_TRUE(staticAircraft.empty());
    EXPECT_TRUE(pendingRemovals.empty());
    EXPECT_TRUE(stands.empty());
    EXPECT_TRUE(parkAirportIcao.empty());
    EXPECT_FALSE(std::filesystem::exists(callsign2ObjectIdPath));
    EXPECT_EQ(tickCount.load(), 1234u); // the motion clock runs on for the whole process
    EXPECT_EQ(resolvedObjectId, 0u);
    EXPECT_TRUE(incomingTraffic.empty());
    EXPECT_TRUE(createdObjects.empty());
    EXPECT_TRUE(liveryChoices.empty());
    EXPECT_TRUE(unmatchedNames.empty());
    EXPECT_EQ(indicators.updateCount.load(), 0);
}

} // namespace
