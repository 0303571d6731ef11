// The SimConnect thread's half of the created objects: recognition of the simulator's objects by
// their ATC ID, foreign objects and their ground data, and the requests it sends. The worker's
// half (the events drained each tick) is tested in tests/traffic/run/sim_objects_test.cpp.
#include "support/sim_fixture.h"

#include <tuple>

using namespace qtr;
using qtest::SimFixture;

TEST_F(SimFixture, RotorcraftAnnouncedAsHelicoptersAreRecognisedLikeAircraft)
{
    // The simulator announces and lists a rotorcraft livery's object with the helicopter type.
    standin::Scenario s = scenario();
    s.installedTitles.push_back("Bell 206 Test Livery");
    s.rotorcraftTitles = {"Bell 206 Test Livery"};
    sim.reset(s);
    connect();
    for (const auto& [flightId, callsign, title] : {std::tuple{10001u, "N306FD", "Bell 206 Test Livery"},
                                                    std::tuple{10002u, "DLH4AB", "Airbus A320 Test Livery"}}) {
        SCOPED_TRACE(callsign);
        addLive(flightId, callsign, true).livery = title;
        const std::uint32_t id = createAndRecognise(*live(flightId), false);
        ASSERT_GT(id, 0u);
        EXPECT_EQ(sim.object(id)->objectType, std::string(callsign) == "N306FD" ? 3u : 2u);
        EXPECT_TRUE(pendingCreations.empty());
        EXPECT_TRUE(addedObjects.empty());
        std::lock_guard lock(objectEventMutex);
        ASSERT_FALSE(objectEventQueue.empty());
        EXPECT_EQ(objectEventQueue.back().kind, liveCreated);
        EXPECT_EQ(objectEventQueue.back().recordId, flightId);
    }
    // Its removal by the simulation is seen too.
    const std::uint32_t heli = journal("created")[0]["object"].get<std::uint32_t>();
    sim.removeObject(heli);
    idle();
    std::lock_guard lock(objectEventMutex);
    EXPECT_EQ(objectEventQueue.back().kind, objectRemoved);
    EXPECT_EQ(objectEventQueue.back().objectId, heli);
}

TEST_F(SimFixture, ForeignObjectsAreOnlyLoggedAndGiveGroundData)
{
    connect();
    const std::string longId(40, 'X');
    const DWORD foreign = sim.addForeignObject("N123AB", 0, true);
    const DWORD high = sim.addForeignObject("N777", 3000, false);
    const DWORD starred = sim.addForeignObject("N888*", 0, true);
    const DWORD cut = sim.addForeignObject(longId, 0, true);
    const DWORD helicopter = sim.addForeignObject("HELI1", 0, true, 3);
    idle();
    EXPECT_EQ(addedObjects.size(), 5u); // the helicopter too
    gf_requestAircraftInRange(20000);
    idle();
    EXPECT_TRUE(journal("released").empty());
    const std::string log = qtest::logText();
    EXPECT_NE(
        log.find(fmt::format("just spawned, but not by Quillmarsh, oid: {}, callsign \"N123AB\", altaboveGnd:0 ft, "
                             "onground:1, gnd_alt:1416 ft ",
                             foreign)),
        std::string::npos);
    // The ATC ID field holds 32 characters without a terminator: read with its bound.
    EXPECT_NE(log.find(fmt::format("oid: {}, callsign \"{}\",", cut, std::string(32, 'X'))), std::string::npos);
    {
        std::lock_guard lock(objectEventMutex);
        EXPECT_TRUE(objectEventQueue.empty());
    }
    gf_requestAircraftInRange(20000); // now known objects: ground data for the low ones only
    idle();
    std::lock_guard lock(objectEventMutex);
    std::vector<std::uint32_t> grounded;
    for (const auto& e : objectEventQueue) {
        EXPECT_EQ(e.kind, groundData);
        EXPECT_EQ(e.recordId, 1u);
        EXPECT_DOUBLE_EQ(e.value1, 1416.0);
        grounded.push_back(e.objectId);
    }
    EXPECT_EQ(grounded, (std::vector<std::uint32_t>{foreign, cut, helicopter}));
    (void)high, (void)starred;
}

TEST_F(SimFixture, CallsignsThatCannotBeATailNumberAreRefused)
{
    AiCreateRequest request;
    request.liveryTitle = "Airbus A320 Test Livery";
    request.callsign = std::string(13, 'C');
    EXPECT_FALSE(gf_queueAiCreate(request));
    request.callsign = "";
    EXPECT_FALSE(gf_queueAiCreate(request));
    EXPECT_TRUE(aiCreateQueue.empty());
    request.callsign = std::string(12, 'C');
    EXPECT_TRUE(gf_queueAiCreate(request));
    EXPECT_EQ(aiCreateQueue.size(), 1u);
}

TEST_F(SimFixture, TheRequestKeepsItsTitleWhenTheRecordsTitleGoes)
{
    connect();
    std::string title = "Airbus A320 Test Livery";
    LiveAircraft& a = addLive(10001, "EZY12", true);
    a.livery = title;
    ASSERT_TRUE(gf_queueAiCreate(requestFor(a, false)));
    title.assign(title.size(), '#'); // the livery data is cleared before the frame
    frame();
    ASSERT_EQ(journal("created").size(), 1u);
    EXPECT_EQ(journal("created")[0]["title"], "Airbus A320 Test Livery");
}
