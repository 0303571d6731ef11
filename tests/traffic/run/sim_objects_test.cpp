// The worker's half of the created objects (traffic/run/sim_objects.h) against the real SimConnect
// thread and the stand-in: the object events the worker drains, their 200 ticks of set-up
// (release, freeze, lights, flight plan, parking), refusal, touchdown and removal.
#include "support/sim_fixture.h"

#include "liveries/livery_matcher.h"

#include <filesystem>

using namespace qtr;
using qtest::SimFixture;

namespace {

int countEvents(const std::vector<nlohmann::ordered_json>& events, std::uint32_t object, const std::string& name)
{
    int n = 0;
    for (const auto& e : events)
        if (e["object"] == object && e["event"] == name) ++n;
    return n;
}

} // namespace

TEST_F(SimFixture, LiveObjectIsRecognisedReleasedFrozenLitGivenItsPlanAndRemoved)
{
    connect();
    addLive(10001, "DLH4AB", true);
    const std::uint32_t id = createAndRecognise(*live(10001), false);
    ASSERT_GT(id, 0u);
    EXPECT_EQ(journal("created")[0]["tail"], "DLH4AB");
    EXPECT_EQ(journal("released").size(), 1u);
    EXPECT_TRUE(pendingCreations.empty());
    EXPECT_TRUE(addedObjects.empty());
    frame();
    const auto freezes = journal("event");
    for (const char* name : {"FREEZE_LATITUDE_LONGITUDE_SET", "FREEZE_ALTITUDE_SET", "FREEZE_ATTITUDE_SET"})
        EXPECT_EQ(countEvents(freezes, id, name), 1) << name;
    ASSERT_TRUE(sim.object(id)->frozenLatLon && sim.object(id)->frozenAltitude && sim.object(id)->frozenAttitude);
    {
        std::lock_guard lock(objectEventMutex);
        ASSERT_EQ(objectEventQueue.size(), 1u);
        EXPECT_EQ(objectEventQueue[0].kind, liveCreated);
        EXPECT_EQ(objectEventQueue[0].recordId, 10001u);
        EXPECT_DOUBLE_EQ(objectEventQueue[0].value2, 5000.0 - 1416.0 - 8.5);
    }

    processSimObjectEvents(); // tick 1: bound, flight plan, static CG asked for
    EXPECT_EQ(live(10001)->objectid, id);
    const auto planFile = flightPlanFolder / fmt::format("{}.pln", id);
    EXPECT_TRUE(std::filesystem::exists(planFile));
    EXPECT_TRUE(live(10001)->hasFlightPlan);
    ASSERT_EQ(journal("plan").size(), 1u);
    EXPECT_EQ(journal("plan")[0]["departure"], "EDDF");
    EXPECT_EQ(journal("plan")[0]["destination"], "EGLL");
    idle();

    std::vector<int> toggleTicks;
    for (int tick = 2; tick <= 200; ++tick) {
        const int before = countEvents(journal("event"), id, "ALL_LIGHTS_TOGGLE");
        if (tick == 200) {
            EXPECT_EQ(live(10001)->state, stateAdding2Sim);
        }
        processSimObjectEvents();
        if (countEvents(journal("event"), id, "ALL_LIGHTS_TOGGLE") > before) toggleTicks.push_back(tick);
    }
    EXPECT_EQ(toggleTicks, (std::vector<int>{50, 100}));
    EXPECT_DOUBLE_EQ(live(10001)->staticCgHeight, 8.5);
    EXPECT_DOUBLE_EQ(live(10001)->staticPitch, 0.01);
    EXPECT_EQ(live(10001)->state, stateActive);
    EXPECT_TRUE(createdObjects.empty());
    frame();
    const auto events = journal("event");
    EXPECT_EQ(countEvents(events, id, "ENGINE_AUTO_START"), 1);
    EXPECT_EQ(countEvents(events, id, "STROBES_SET"), 1);
    EXPECT_EQ(sim.object(id)->lightStates & 0x1, 1); // navigation lights on

    removeAircraftFromSim(*live(10001));
    // The tick work hands one waiting removal to the link every 10 ticks.
    ASSERT_EQ(pendingRemovals, std::deque<std::uint32_t>{id});
    gf_queueRemoval(pendingRemovals.front());
    pendingRemovals.clear();
    frame();
    EXPECT_EQ(journal("removed").size(), 1u);
    processSimObjectEvents();
    EXPECT_FALSE(std::filesystem::exists(planFile));
    EXPECT_EQ(live(10001), nullptr);
}

// A run whose flight-plan folder could not be made: the aircraft fly without a plan, nothing is
// written anywhere else, and the start's one log line is not repeated for each aircraft.
TEST_F(SimFixture, NoFlightPlanFolderMeansNoPlansAndNoNoise)
{
    connect();
    flightPlanFolder.clear();
    addLive(10001, "DLH4AB", true);
    const std::uint32_t id = createAndRecognise(*live(10001), false);
    ASSERT_GT(id, 0u);
    processSimObjectEvents(); // the tick that would give the plan
    EXPECT_FALSE(live(10001)->hasFlightPlan);
    EXPECT_TRUE(journal("plan").empty());
    EXPECT_FALSE(std::filesystem::exists(fmt::format("{}.pln", id)));
    EXPECT_EQ(qtest::logText().find("creating a flight plan failed"), std::string::npos);
}

TEST_F(SimFixture, AircraftCreatedInTheAirGetTheLightsOfTheirAltitude)
{
    struct Case {
        double altitudeFt;
        std::int64_t lights; // NAV 0x1, BEACON 0x2, LANDING 0x4, STROBES 0x10, LOGO 0x100, CABIN 0x200
    };
    connect();
    std::uint32_t flightId = 10001;
    for (const Case c :
         {Case{5000.0, 0x1 | 0x2 | 0x4 | 0x10 | 0x100 | 0x200}, Case{30000.0, 0x1 | 0x2 | 0x10 | 0x200}}) {
        SCOPED_TRACE(c.altitudeFt);
        const std::string callsign = fmt::format("AIR{}", flightId);
        addLive(flightId, callsign, true, "EDDF", "EGLL", c.altitudeFt);
        const std::uint32_t id = createAndRecognise(*live(flightId), false, c.altitudeFt);
        ASSERT_GT(id, 0u);
        for (int tick = 1; tick <= 200; ++tick) processSimObjectEvents();
        ASSERT_EQ(live(flightId)->state, stateActive);
        frame();
        EXPECT_EQ(sim.object(id)->lightStates, c.lights);
        EXPECT_EQ(countEvents(journal("event"), id, "ENGINE_AUTO_START"), 1);
        ++flightId;
    }
}

TEST_F(SimFixture, ACreationWhoseObjectNeverAppearsIsGivenUpAndItsRecordFreed)
{
    qtest::SettableClock time;
    setClock(&time);
    connect();
    addLive(10001, "LOST1", true);
    addLive(10002, "SEEN2", true);
    sim.loseCreations(1); // the simulator takes the call but never shows the object
    ASSERT_TRUE(gf_queueAiCreate(requestFor(*live(10001), false)));
    ASSERT_TRUE(gf_queueAiCreate(requestFor(*live(10002), false)));
    frame();
    ASSERT_EQ(pendingCreations.size(), 1u + 1u); // SEEN2 waits for the next in-range reply
    gf_requestAircraftInRange(20000);
    idle();
    ASSERT_EQ(pendingCreations.size(), 1u);
    time.advance(pendingCreationLifetime - std::chrono::seconds(1));
    frame();
    EXPECT_EQ(pendingCreations.size(), 1u);
    time.advance(std::chrono::seconds(1));
    frame();
    EXPECT_TRUE(pendingCreations.empty());
    processSimObjectEvents();
    EXPECT_EQ(live(10001), nullptr); // its record no longer waits in "adding2sim"
    ASSERT_NE(live(10002), nullptr);
    EXPECT_NE(qtest::logText().find("LOST1 was not seen in the simulator 60 s after its creation"), std::string::npos);
    EXPECT_NE(qtest::logText().find("dropped: its object never appeared in the simulator"), std::string::npos);
}

TEST_F(SimFixture, StaticObjectIsParkedAfterItsTwoHundredTicks)
{
    connect();
    qtest::addStand("E12", 47.47, 8.55, 3);
    StaticAircraft parked;
    parked.flightId = 42;
    parked.callsign = "SWR8";
    parked.livery = "Boeing 747 Cargo Test";
    parked.state = stateAdding2Sim;
    parked.sid = 3;
    parked.atCargoStand = true;
    staticAircraft.push_back(parked);
    const std::uint32_t id = createAndRecognise(parked, true);
    ASSERT_GT(id, 0u);
    {
        std::lock_guard lock(objectEventMutex);
        ASSERT_EQ(objectEventQueue.size(), 1u);
        EXPECT_EQ(objectEventQueue[0].kind, staticCreated);
        EXPECT_EQ(objectEventQueue[0].value2, 0.0);
    }
    for (int tick = 1; tick < 200; ++tick) processSimObjectEvents();
    EXPECT_EQ(staticAircraft[0].state, stateAdding2Sim);
    processSimObjectEvents();
    EXPECT_EQ(staticAircraft[0].state, stateActive);
    EXPECT_EQ(staticAircraft[0].objectid, id);
    EXPECT_TRUE(createdObjects.empty());
    EXPECT_NE(qtest::logText().find("E12     : SWR8     parked"), std::string::npos);
    frame();
    EXPECT_EQ(countEvents(journal("event"), id, "ENGINE_AUTO_SHUTDOWN"), 1);
    // Navigation and logo lights; no cabin lights on a cargo stand.
    EXPECT_EQ(sim.object(id)->lightStates, 0x1 | 0x100);
}

TEST_F(SimFixture, RefusedCreationsComeBackAsCreationFailed)
{
    connect();
    LiveAircraft& unknown = addLive(10001, "AAL1", true);
    unknown.livery = "Not Installed Anywhere";
    StaticAircraft refused;
    refused.flightId = 7;
    refused.callsign = "STAT7";
    refused.livery = "Boeing 747 Cargo Test";
    staticAircraft.push_back(refused);
    sim.refuseCreations(1); // the installed title too
    ASSERT_TRUE(gf_queueAiCreate(requestFor(liveAircraft[0], false)));
    ASSERT_TRUE(gf_queueAiCreate(requestFor(refused, true)));
    frame();
    EXPECT_EQ(journal("refused").size(), 2u);
    EXPECT_TRUE(pendingCreations.empty());
    {
        std::lock_guard lock(objectEventMutex);
        ASSERT_EQ(objectEventQueue.size(), 2u);
        EXPECT_EQ(objectEventQueue[0].kind, creationFailed);
        EXPECT_EQ(objectEventQueue[0].recordId, 10001u);
        EXPECT_EQ(objectEventQueue[1].recordId, 7u);
    }
    processSimObjectEvents();
    EXPECT_TRUE(liveAircraft.empty());
    EXPECT_TRUE(staticAircraft.empty());
    EXPECT_EQ(failedTitles, (std::vector<std::string>{"Not Installed Anywhere", "Boeing 747 Cargo Test"}));
}

TEST_F(SimFixture, SetUpOfAnObjectWhoseRecordWentEnds)
{
    connect();
    addLive(10001, "GONE1", true);
    createAndRecognise(*live(10001), false);
    processSimObjectEvents();
    ASSERT_EQ(createdObjects.size(), 1u);
    liveAircraft.clear();                                                  // the worker dropped the record meanwhile
    queueSimObjectEvent(SimObjectEvent{4321, 55, 0, staticCreated, 0, 0}); // no static record 55
    for (int tick = 2; tick <= 201; ++tick) processSimObjectEvents();
    EXPECT_TRUE(createdObjects.empty());
}

TEST_F(SimFixture, ObjectEventKinds)
{
    connect();
    // Static CG and pitch bounds.
    LiveAircraft& a = addLive(10001, "CG1", false);
    a.objectid = 5001;
    handleSimObjectEvent(SimObjectEvent{5001, 0, 0, staticCg, 0.5, 3.0 * 0.017453292519943295});
    EXPECT_EQ(liveAircraft[0].staticCgHeight, 0.0);
    EXPECT_DOUBLE_EQ(liveAircraft[0].staticPitch, 0.012217304763960306);
    EXPECT_NE(qtest::logText().find("static CG 0.5ft wrong?"), std::string::npos);
    handleSimObjectEvent(SimObjectEvent{5001, 0, 0, staticCg, 12.0, 0.02});
    EXPECT_EQ(liveAircraft[0].staticCgHeight, 12.0);
    EXPECT_EQ(liveAircraft[0].staticPitch, 0.02);

    // First ground contact of a landing: spoilers, reverse thrust, the landing roll.
    liveAircraft[0].approach = true;
    liveAircraft[0].reverseByThrottle = true;
    liveAircraft[0].rolloutTicks = 4;
    liveAircraft[0].bank = 0.04;
    liveAircraft[0].pitch = 0.06;
    liveAircraft[0].heading = 1.5;
    handleSimObjectEvent(SimObjectEvent{5001, 1, 0, groundData, 400.0, 0.0});
    LiveAircraft& landed = liveAircraft[0];
    EXPECT_TRUE(landed.onGround && landed.landingRoll);
    EXPECT_EQ(landed.groundState, 1);
    EXPECT_EQ(landed.landingHeading, 1.5);
    EXPECT_DOUBLE_EQ(landed.rollBankStep, -0.01);
    EXPECT_DOUBLE_EQ(landed.rollPitchStep, (0.02 - 0.06) / 4);
    EXPECT_EQ(landed.alt, 412.0);
    ASSERT_EQ(clientEventQueue.back().eventId, eventSpoilers);
    EXPECT_EQ(clientEventQueue.back().data, 16383u);

    // Removal of an object in livery respawn keeps the record for a new creation.
    landed.state = stateLiveryRespawn;
    landed.throttleLevel = 0;
    landed.flapStage = 1;
    handleSimObjectEvent(SimObjectEvent{5001, 0, 0, objectRemoved, 0, 0});
    EXPECT_EQ(landed.state, stateBuffer);
    EXPECT_EQ(landed.objectid, 0u);
    EXPECT_EQ(landed.throttleLevel, 5u);
    EXPECT_EQ(landed.flapStage, 4u);
}

TEST_F(SimFixture, ALiveAircraftParkingOverAStaticOneRemovesItAndRemoveWhenCreatedGoesAfterSetUp)
{
    connect();
    qtest::addStand("A1", 47.47, 8.55, 9);
    StaticAircraft other;
    other.flightId = 3;
    other.callsign = "STAT3";
    other.sid = 9;
    other.state = stateActive;
    other.objectid = 6000;
    staticAircraft.push_back(other);
    LiveAircraft& a = addLive(10001, "PARK1", false, "", "");
    a.phase = phaseParked;
    a.sid = 9;
    a.removeWhenCreated = true;
    currentSlot = DaySlot{3, 5};
    staticCandidates = {StaticCandidate{9}, StaticCandidate{4}};
    ASSERT_TRUE(onLiveObjectCreated(a, SimObjectEvent{7000, 10001, 0, liveCreated, 0, 0}));
    EXPECT_EQ(a.daySlot, currentSlot.load());
    EXPECT_EQ(staticAircraft[0].state, stateRemovingFromSim);
    EXPECT_EQ(pendingRemovals, (std::deque<std::uint32_t>{6000}));
    ASSERT_EQ(staticCandidates.size(), 1u); // the candidate of its stand went
    EXPECT_EQ(staticCandidates[0].sid, 4u);
    EXPECT_FALSE(a.hasFlightPlan); // no origin and destination: no file
    EXPECT_FALSE(std::filesystem::exists(flightPlanFolder / flightPlanPath(7000)));
    EXPECT_EQ(clientEventQueue[0].eventId, eventGear);
    EXPECT_FALSE(onLiveObjectCreated(a, SimObjectEvent{2, 10001, 0, liveCreated, 0, 0}));

    createdObjects.push_back(SimObjectEvent{7000, 10001, 199, liveCreated, 0, 0});
    processSimObjectEvents();
    EXPECT_EQ(liveAircraft[0].state, stateRemovingFromSim);
    ASSERT_FALSE(pendingRemovals.empty());
    EXPECT_EQ(pendingRemovals.back(), 7000u);
    EXPECT_EQ(liveAircraft[0].throttleLevel, 0u);
    EXPECT_EQ(liveAircraft[0].flapStage, 0u);
}
