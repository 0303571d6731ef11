// The SimConnect thread against the stand-in simulator: waiting, registration, the frame's
// sending order, and the ends of a run that the simulator causes.
#include "support/sim_fixture.h"

#include "foundation/errors.h"
#include "foundation/paths.h"
#include "links/simconnect_connection.h"
#include "rtpeer.h"
#include "traffic/run/worker.h"

#include <atomic>

using namespace qtr;
using qtest::SimFixture;
using qtest::waitUntil;

namespace {

// Time that moves only when the program sleeps.
class SteppedClock final : public Clock {
public:
    std::chrono::steady_clock::time_point steadyNow() override
    {
        return start_ + std::chrono::milliseconds(ms_.load());
    }
    void sleepFor(std::chrono::milliseconds d) override
    {
        ms_ += d.count();
        std::this_thread::sleep_for(std::chrono::milliseconds(1)); // pacing only
    }
    void sleepUntil(std::chrono::steady_clock::time_point t) override
    {
        const auto now = steadyNow();
        if (t > now) ms_ += std::chrono::duration_cast<std::chrono::milliseconds>(t - now).count();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

private:
    const std::chrono::steady_clock::time_point start_{};
    std::atomic<std::int64_t> ms_{0};
};

std::string fn(const nlohmann::ordered_json& call) { return call["fn"].get<std::string>(); }

} // namespace

TEST_F(SimFixture, WaitsForTheSimulatorRetryingEverySecondAndClosesNothingWithoutHandle)
{
    SteppedClock clock;
    setClock(&clock);
    sim.setCallClock([&clock] { return clock.steadyNow(); });
    sim.setPresent(false);
    reserveSimConnectQueues();
    thread = std::jthread(gf_simConnectThread);
    ASSERT_TRUE(waitUntil([this] { return sim.callTimes("SimConnect_Open").size() >= 4; }));
    stopThread();

    const auto opens = sim.callTimes("SimConnect_Open");
    for (std::size_t i = 1; i < opens.size(); ++i) EXPECT_EQ(opens[i] - opens[i - 1], std::chrono::seconds(1)) << i;
    EXPECT_EQ(qtest::countOccurrences(qtest::logText(), "Waiting for MSFS 2020 ..."), 1);
    EXPECT_EQ(indicators.statusLine(), "Waiting for MSFS 2020 ...");
    for (const auto& call : sim.calls()) EXPECT_NE(fn(call), "SimConnect_Close");
    EXPECT_FALSE(indicators.simConnected.load());
}

TEST_F(SimFixture, ConnectsWhenTheSimulatorComesAndShowsTheWaitingTextOnce)
{
    MSFS_2020.setValue(false);
    sim.reset([] {
        auto s = scenario();
        s.applicationName = "SunRise";
        return s;
    }());
    SteppedClock clock;
    setClock(&clock);
    sim.setPresent(false);
    reserveSimConnectQueues();
    thread = std::jthread(gf_simConnectThread);
    ASSERT_TRUE(waitUntil([this] { return sim.callTimes("SimConnect_Open").size() >= 2; }));
    sim.setPresent(true);
    ASSERT_TRUE(waitUntil([this] { return sim.connected(); }));
    idle();
    EXPECT_TRUE(indicators.simConnected.load());
    EXPECT_EQ(indicators.text(indicators.simulatorText), "MSFS 2024");
    EXPECT_TRUE(simRunning.load());
    EXPECT_EQ(qtest::countOccurrences(qtest::logText(), "Waiting for MSFS 2024 ..."), 1);
    EXPECT_EQ(sim.calls().front()["name"], "Quillmarsh");
    stopThread();
    EXPECT_EQ(fn(sim.calls().back()), "SimConnect_Close");
    EXPECT_NE(qtest::logText().find("SimConnect closed ok"), std::string::npos);
}

TEST_F(SimFixture, RegistersEventsDefinitionsMappingsAndGroupInOrder)
{
    connect();
    std::vector<std::string> got;
    for (const auto& c : sim.calls()) {
        const std::string f = fn(c);
        if (f == "SimConnect_SubscribeToSystemEvent")
            got.push_back(fmt::format("sub {} {}", c["event"].get<int>(), c["name"].get<std::string>()));
        if (f == "SimConnect_AddToDataDefinition") {
            ASSERT_EQ(c["epsilon"], 0.0);
            got.push_back(fmt::format("def {} {}|{}|{}", c["define"].get<int>(), c["name"].get<std::string>(),
                                      c["unit"].get<std::string>(), c["type"].get<int>()));
        }
        if (f == "SimConnect_MapClientEventToSimEvent")
            got.push_back(fmt::format("map {} {}", c["event"].get<int>(), c["name"].get<std::string>()));
        if (f == "SimConnect_AddClientEventToNotificationGroup") {
            ASSERT_EQ(c["group"], 301);
            ASSERT_EQ(c["maskable"], true);
            got.push_back(fmt::format("grp {}", c["event"].get<int>()));
        }
        if (f == "SimConnect_SetNotificationGroupPriority")
            got.push_back(fmt::format("prio {} {}", c["group"].get<int>(), c["priority"].get<int>()));
    }
    const int f64 = SIMCONNECT_DATATYPE_FLOAT64, i64 = SIMCONNECT_DATATYPE_INT64, s32 = SIMCONNECT_DATATYPE_STRING32,
              sv = SIMCONNECT_DATATYPE_STRINGV;
    const std::vector<std::string> expected = {
        "sub 201 Sim",
        "sub 202 ObjectAdded",
        "sub 203 ObjectRemoved",
        "sub 205 FlightLoaded",
        "sub 204 Frame",
        fmt::format("def 407 TITLE||{}", sv),
        fmt::format("def 408 ATC MODEL||{}", s32),
        fmt::format("def 409 SIM ON GROUND|Bool|{}", i64),
        fmt::format("def 402 Plane Latitude|degree|{}", f64),
        fmt::format("def 402 Plane Longitude|degree|{}", f64),
        fmt::format("def 402 Plane Pitch degrees|radians|{}", f64),
        fmt::format("def 402 Plane Bank degrees|radians|{}", f64),
        fmt::format("def 402 Plane Heading degrees true|radians|{}", f64),
        fmt::format("def 402 Plane Altitude|feet|{}", f64),
        fmt::format("def 402 Vertical Speed|feet per second|{}", f64),
        fmt::format("def 402 Airspeed True|knots|{}", f64),
        fmt::format("def 403 Plane Latitude|degree|{}", f64),
        fmt::format("def 403 Plane Longitude|degree|{}", f64),
        fmt::format("def 403 Plane Pitch degrees|radians|{}", f64),
        fmt::format("def 403 Plane Bank degrees|radians|{}", f64),
        fmt::format("def 403 Plane Heading degrees true|radians|{}", f64),
        fmt::format("def 403 Plane Altitude|feet|{}", f64),
        fmt::format("def 403 Plane Alt Above Ground|feet|{}", f64),
        fmt::format("def 403 Ground Velocity|knots|{}", f64),
        fmt::format("def 403 ZULU TIME|Seconds|{}", i64),
        fmt::format("def 403 ZULU DAY OF YEAR|Number|{}", i64),
        fmt::format("def 403 ZULU YEAR|Number|{}", i64),
        fmt::format("def 403 LIGHT STATES|Mask|{}", i64),
        fmt::format("def 405 Static CG to Ground|feet|{}", f64),
        fmt::format("def 405 Static Pitch|radians|{}", f64),
        fmt::format("def 406 Light On States|Mask|{}", i64),
        fmt::format("def 404 Plane Alt Above Ground|feet|{}", f64),
        fmt::format("def 404 Ground Altitude|feet|{}", f64),
        fmt::format("def 404 SIM ON GROUND|Bool|{}", i64),
        fmt::format("def 404 ATC ID||{}", s32),
        fmt::format("def 401 SPOILERS HANDLE POSITION|percent|{}", f64),
        fmt::format("def 401 GENERAL ENG THROTTLE LEVER POSITION:1|percent|{}", f64),
        fmt::format("def 401 GENERAL ENG THROTTLE LEVER POSITION:2|percent|{}", f64),
        "map 219 GEAR_SET",
        "map 220 ENGINE_AUTO_START",
        "map 221 ENGINE_AUTO_SHUTDOWN",
        "map 222 THROTTLE_SET",
        "map 217 FLAPS_SET",
        "map 218 SPOILERS_SET",
        "map 207 NAV_LIGHTS_SET",
        "map 206 BEACON_LIGHTS_SET",
        "map 210 LANDING_LIGHTS_SET",
        "map 208 TAXI_LIGHTS_SET",
        "map 209 STROBES_SET",
        "map 212 LOGO_LIGHTS_SET",
        "map 211 CABIN_LIGHTS_SET",
        "map 213 ALL_LIGHTS_TOGGLE",
        "map 214 FREEZE_LATITUDE_LONGITUDE_SET",
        "map 215 FREEZE_ALTITUDE_SET",
        "map 216 FREEZE_ATTITUDE_SET",
        "grp 207",
        "grp 206",
        "grp 210",
        "grp 208",
        "grp 209",
        "grp 212",
        "grp 211",
        "grp 213",
        "grp 217",
        "grp 218",
        "grp 219",
        "grp 221",
        "grp 222",
        "grp 214",
        "grp 215",
        "grp 216",
        "prio 301 1"};
    EXPECT_EQ(got, expected);
    // Every definition was accepted: the simulator raised no exception.
    EXPECT_TRUE(journal("exception").empty());
}

TEST_F(SimFixture, AFrameSendsPositionsEventsCreationsRemovalsInOrderAndABusyMutexPostponesIt)
{
    connect();
    const std::uint32_t oldId = createAndRecognise(addLive(10001, "OLD1", true), false);
    ASSERT_GT(oldId, 0u);
    frame(); // the freeze events of the recognised object
    const std::uint32_t user = userObjectId.load();

    // Queued while the worker holds the mutex: the frame finds it busy and sends nothing.
    std::size_t mark;
    {
        std::unique_lock lock(simConnectMutex);
        mark = sim.calls().size();
        sendPositions.push_back(PositionUpdate{47.5, 8.6, 0, 0, 1.0, 3000, 0, 200, oldId});
        sendPositions.push_back(PositionUpdate{47.5, 8.6, 0, 0, 1.0, 3000, 0, 200, user}); // skipped silently
        clientEventQueue.push_back(ClientEvent{oldId, eventFlaps, 3072});
        clientEventQueue.push_back(ClientEvent{oldId, eventEngineAutoStart, 0});
        aiCreateQueue.push_back(requestFor(addLive(10002, "NEW2", true), false));
        removalQueue.push_back(user); // never sent
        removalQueue.push_back(oldId);
        frame();
        EXPECT_EQ(sim.calls().size(), mark);
    }
    frame();
    std::vector<std::string> order;
    for (const auto& c : callsSince(mark)) order.push_back(fn(c));
    const std::vector<std::string> expected = {"SimConnect_SetDataOnSimObject",  "SimConnect_AIReleaseControl",
                                               "SimConnect_TransmitClientEvent", "SimConnect_AIReleaseControl",
                                               "SimConnect_TransmitClientEvent", "SimConnect_AICreateNonATCAircraft",
                                               "SimConnect_GetLastSentPacketID", "SimConnect_AIRemoveObject"};
    EXPECT_EQ(order, expected);
    const auto calls = callsSince(mark);
    EXPECT_EQ(calls[0]["object"], oldId);
    EXPECT_EQ(calls[0]["size"], 64);
    EXPECT_EQ(calls[4]["event"], 220);
    EXPECT_EQ(calls[4]["group"], 301);
    EXPECT_EQ(calls[7]["object"], oldId);
    EXPECT_NE(qtest::logText().find(fmt::format("Simconnect call to remove ac with objectid {}", user)),
              std::string::npos);
    const auto poses = journal("pose");
    ASSERT_EQ(poses.size(), 1u);
    EXPECT_DOUBLE_EQ(poses[0]["lat"].get<double>(), 47.5);
    EXPECT_NEAR(poses[0]["heading"].get<double>(), 57.29577951308232, 1e-9);
    EXPECT_EQ(poses[0]["alt"], 3000.0);
    EXPECT_EQ(journal("removed").size(), 1u);
}

TEST_F(SimFixture, BufferExchangeHandsTheTicksPositionsToTheFrame)
{
    connect();
    const std::uint32_t id = createAndRecognise(addLive(10001, "POS1", true), false);
    fillPositions.push_back(PositionUpdate{47.1, 8.1, 0, 0, 0, 4000, 0, 250, id});
    gf_exchangePositionBuffers();
    EXPECT_TRUE(fillPositions.empty());
    fillPositions.push_back(PositionUpdate{47.2, 8.2, 0, 0, 0, 4100, 0, 250, id});
    gf_exchangePositionBuffers(); // a newer tick replaces the unsent one
    frame();
    const auto poses = journal("pose");
    ASSERT_EQ(poses.size(), 1u);
    EXPECT_EQ(poses[0]["lat"], 47.2);
    // A slow simulator with a busy mutex loses the tick's positions.
    frameRate = 30.0f;
    fillPositions.push_back(PositionUpdate{47.3, 8.3, 0, 0, 0, 4200, 0, 250, id});
    {
        std::lock_guard lock(simConnectMutex);
        std::jthread worker([] { gf_exchangePositionBuffers(); });
    }
    EXPECT_TRUE(fillPositions.empty());
    frame();
    EXPECT_EQ(journal("pose").size(), 1u);
}

TEST_F(SimFixture, FailedCallStopsTheRunAndLaterFramesDiscardTheQueues)
{
    connect();
    sim.failCalls("SimConnect_AICreateNonATCAircraft", 1);
    addLive(10001, "FAIL1", true);
    ASSERT_TRUE(gf_queueAiCreate(requestFor(liveAircraft.back(), false)));
    frame();
    EXPECT_TRUE(simConnectFailed.load());
    EXPECT_TRUE(stopRequested.load());
    EXPECT_EQ(exitCode.load(), ExitCode::SimConnectError);
    EXPECT_EQ(restartDelaySeconds.load(), 9);
    EXPECT_TRUE(pendingCreations.empty());
    // From now on the queues are emptied without a call.
    ASSERT_TRUE(gf_queueAiCreate(requestFor(liveAircraft.back(), false)));
    gf_queueAiEvent(5000, eventNavLights, 1);
    const std::size_t mark = sim.calls().size();
    frame();
    EXPECT_EQ(sim.calls().size(), mark);
    EXPECT_TRUE(aiCreateQueue.empty());
    EXPECT_TRUE(clientEventQueue.empty());
    EXPECT_TRUE(pendingCreations.empty());
}

TEST_F(SimFixture, SimulatorNameChecks)
{
    struct Case {
        const char* name;
        bool msfs2020;
        const char* expected; // simulator text, or the error line
    };
    const Case cases[] = {
        {"KittyHawk", true, "MSFS 2020 (11.0.282174.999)"},
        {"KittyHawk!", true, "MSFS 2020 (11.0.282174.999)"},
        {"SunRise", false, "MSFS 2024"},
        {"KittyHawk", false,
         "71: MSFS 2020 is running ..., switch Sim or toggle the Install path checkbox of Quillmarsh"},
        {"SunRise", true, "71: MSFS 2024 is running ..., switch Sim or toggle the Install path checkbox of Quillmarsh"},
        {"Kitty Hawk", true, "77: \"Kitty Hawk\" not being MSFS 2020 or MSFS 2024 connects ... ? "},
        {"!?!", true, "77: \"\" not being MSFS 2020 or MSFS 2024 connects ... ? "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        clearError();
        indicators.resetIndicators();
        resetSimConnectState();
        MSFS_2020.setValue(c.msfs2020);
        auto s = scenario();
        s.applicationName = c.name;
        sim.reset(s);
        connect();
        const bool error = c.expected[0] == '7';
        if (error) {
            // The user error ends the thread: shown, the connection closed, the run left alone.
            thread.join();
            EXPECT_EQ(indicators.errorLine(), c.expected);
            EXPECT_FALSE(sim.connected());
            EXPECT_FALSE(stopRequested.load());
        } else {
            EXPECT_EQ(indicators.text(indicators.simulatorText), c.expected);
            EXPECT_EQ(indicators.errorLine(), "");
            stopThread();
        }
    }
}

TEST_F(SimFixture, VersionMismatchIsAUserErrorThatEndsTheThread)
{
    connect();
    sim.versionMismatch(7);
    thread.join();
    EXPECT_EQ(indicators.errorLine(), "95: Simconnect Version Mismatch, dwindex: 7 ");
    EXPECT_FALSE(sim.connected());
}

TEST_F(SimFixture, QuitEndsTheRunAsALostSimulator)
{
    connect();
    ASSERT_TRUE(simRunning.load());
    sim.quit();
    thread.join(); // ends by itself
    EXPECT_FALSE(simRunning.load());
    EXPECT_TRUE(stopRequested.load());
    EXPECT_EQ(exitCode.load(), ExitCode::SimWasClosed);
    EXPECT_NE(qtest::logText().find("Flight Simulator no longer connected, Quillmarsh will stop ..."),
              std::string::npos);
}

TEST_F(SimFixture, NewFlightAndTeleportEndTheRunWithNewFlight)
{
    for (int way = 0; way < 3; ++way) {
        SCOPED_TRACE(way);
        stopRequested = false;
        exitCode = ExitCode::NotYetSet;
        resetSimConnectState();
        sim.reset(scenario());
        connect();
        if (way == 0) {
            sim.newFlight(true);
            idle();
        } else if (way == 1) {
            sim.newFlight(false);
            idle();
        } else {
            gf_getUserAircraftState(); // the first reply never counts as a teleport
            idle();
            EXPECT_FALSE(stopRequested.load());
            sim.teleportUser(47.4612 + 0.15, 8.5535); // 9 nm
            gf_getUserAircraftState();
            idle();
            EXPECT_FALSE(stopRequested.load());
            sim.teleportUser(47.4612 + 0.35, 8.5535); // a further 12 nm
            gf_getUserAircraftState();
            idle();
            EXPECT_NE(qtest::logText().find("Teleport"), std::string::npos);
        }
        EXPECT_TRUE(stopRequested.load());
        EXPECT_EQ(exitCode.load(), ExitCode::NewFlight);
        EXPECT_EQ(restartDelaySeconds.load(), 45);
        stopThread();
    }
}

TEST_F(SimFixture, UserDataRepliesFillTheUserState)
{
    feedProfessional = true;
    qtest::addStand("A12", 47.4612, 8.5535, 1);
    connect();
    gf_requestUserOnGround();
    sim.second();
    idle();
    // No position yet: only the data cycle is triggered.
    EXPECT_TRUE(newUserData.exchange(false));
    EXPECT_FALSE(userOnGroundKnown.load());
    // The stand under the user aircraft counts only while it stands on the ground.
    userOnGround = true;
    gf_getUserAircraftState();
    idle();
    const UserAircraftState s = gf_getUserAircraftState();
    EXPECT_DOUBLE_EQ(s.lat, 47.4612);
    EXPECT_NEAR(s.heading, 280.0 * 0.017453292519943295, 1e-12);
    EXPECT_EQ(s.zuluYear, 2024);
    EXPECT_EQ(userObjectId.load(), 1u);
    EXPECT_EQ(indicators.text(indicators.userStandText), "A12");
    EXPECT_EQ(simEpochTime.load(), 1717156800); // 2024-05-31 12:00:00 UTC: day 152 of a leap year
    sim.second();
    idle();
    EXPECT_TRUE(userOnGroundKnown.load());
    EXPECT_TRUE(userOnGround.load());
    EXPECT_TRUE(newUserData.load());
}

TEST_F(SimFixture, ReservesTheUserStandWhenTheUserStandsStill)
{
    qtest::addStand("B7", 47.4612, 8.5535, 1);
    parkAirportIcao = "LSZH";
    parkAirportList.push_back(ParkAirportEntry{"LSZH", ""});
    connect();
    gf_requestUserOnGround();
    gf_getUserAircraftState();
    idle();
    sim.second();
    idle();
    gf_getUserAircraftState(); // the worker's copy: standing still
    stopThread();              // the close steps hand the stand over to the worker
    EXPECT_EQ(parkAirportList.front().reservedStand, "");
    serveUserStandRequest(); // which alone changes its list and file
    EXPECT_EQ(parkAirportList.front().reservedStand, "B7");
    EXPECT_EQ(qtest::readFile(myParkAirportsPath), std::string("LSZH,B7") + qtest::textLineEnd);
}

TEST_F(SimFixture, AUserErrorInARunningFlightClosesTheConnectionForGood)
{
    connect();
    gf_requestUserOnGround();
    gf_getUserAircraftState();
    idle();
    ASSERT_TRUE(simRunning.load());
    // An ATC MODEL too short for its ".0.text": no aircraft selected (user error 73).
    sim.setUserTitleModel("Nothing", "X.0.text");
    gf_requestUserAircraftTitleModel();
    thread.join();
    EXPECT_EQ(indicators.errorLine(), "73: It looks like you have not selected an aircraft as user vehicle");
    EXPECT_EQ(simConnectHandle.load(), nullptr);
    EXPECT_FALSE(simRunning.load()); // the worker's tick work stops
    EXPECT_FALSE(sim.connected());
    // The worker's own calls no longer reach the library: no call, no failure, the run goes on.
    const std::size_t mark = sim.calls().size();
    gf_getUserAircraftState();
    gf_requestAircraftInRange(20000);
    gf_requestUserOnGround();
    gf_requestUserAircraftTitleModel();
    EXPECT_EQ(sim.calls().size(), mark);
    EXPECT_FALSE(simConnectFailed.load());
    EXPECT_FALSE(stopRequested.load());
    EXPECT_EQ(exitCode.load(), ExitCode::NotYetSet);
}

// The library hands each message over on its own: one whose size field lies is skipped with a
// line in the log, and the simulator, which still runs, stays connected and heard.
TEST_F(SimFixture, AMalformedMessageIsSkippedAndTheRunGoesOn)
{
    connect();
    ASSERT_TRUE(simRunning.load());
    sim.sendBrokenMessage(); // its size field claims more bytes than it brings
    idle();
    EXPECT_TRUE(simRunning.load());
    EXPECT_FALSE(stopRequested.load());
    EXPECT_EQ(exitCode.load(), ExitCode::NotYetSet);
    EXPECT_EQ(indicators.errorLine(), "");
    EXPECT_NE(qtest::logText().find("SimConnect message 7 claims 96 bytes, 32 were delivered, skipped"),
              std::string::npos);
    EXPECT_TRUE(sim.connected());
    const std::uint32_t later = sim.addForeignObject("N1", 0, true);
    idle();
    EXPECT_EQ(addedObjects, std::vector<std::uint32_t>{later});
}

// Refused position updates leave an aircraft standing in the air: they are counted, and logged
// in one line per ten seconds at most, however many aircraft and frames fail.
TEST_F(SimFixture, RefusedPositionUpdatesAreCountedAndLoggedNowAndThen)
{
    qtest::SettableClock clock;
    setClock(&clock);
    connect();
    const std::uint32_t first = createAndRecognise(addLive(10001, "POS1", true), false);
    const std::uint32_t second = createAndRecognise(addLive(10002, "POS2", true), false);
    sim.failCalls("SimConnect_SetDataOnSimObject", -1);
    const auto sendBoth = [&] {
        fillPositions.push_back(PositionUpdate{47.1, 8.1, 0, 0, 0, 4000, 0, 250, first});
        fillPositions.push_back(PositionUpdate{47.2, 8.2, 0, 0, 0, 4000, 0, 250, second});
        gf_exchangePositionBuffers();
        frame();
    };
    for (int k = 0; k < 3; ++k) sendBoth();
    EXPECT_EQ(failedPositionUpdates.load(), 6u);
    EXPECT_EQ(qtest::countOccurrences(qtest::logText(), "SimConnect position update failed"), 1);
    clock.advance(std::chrono::seconds(10));
    sendBoth();
    EXPECT_EQ(failedPositionUpdates.load(), 8u);
    EXPECT_EQ(qtest::countOccurrences(qtest::logText(), "SimConnect position update failed"), 2);
    EXPECT_NE(qtest::logText().find(fmt::format("for object {}: 6 failures since the last such line, 7 in all", first)),
              std::string::npos);
    EXPECT_FALSE(stopRequested.load()); // the run goes on
    sim.failCalls("SimConnect_SetDataOnSimObject", 0);
}

// A creation call that fails in every run restarts the run each time, but each restart in a row
// waits twice as long (at most five minutes); a creation that works ends the waiting.
TEST_F(SimFixture, ACreationCallThatKeepsFailingBacksOff)
{
    connect();
    simConnectErrorRuns = 0;
    sim.failCalls("SimConnect_AICreateNonATCAircraft", -1);
    addLive(10001, "FAIL1", true);
    std::vector<int> delays;
    const auto failOnce = [&] {
        stopRequested = false; // as the restart leaves it
        exitCode = ExitCode::NotYetSet;
        simConnectFailed = false;
        ASSERT_TRUE(gf_queueAiCreate(requestFor(liveAircraft.back(), false)));
        frame();
        ASSERT_EQ(exitCode.load(), ExitCode::SimConnectError);
        delays.push_back(restartDelaySeconds.load());
    };
    for (int k = 0; k < 8; ++k) failOnce();
    EXPECT_EQ(delays, (std::vector<int>{9, 18, 36, 72, 144, 288, 300, 300}));
    sim.failCalls("SimConnect_AICreateNonATCAircraft", 0);
    stopRequested = false;
    exitCode = ExitCode::NotYetSet;
    simConnectFailed = false;
    createAndRecognise(addLive(10002, "WORKS2", true), false);
    sim.failCalls("SimConnect_AICreateNonATCAircraft", 1);
    delays.clear();
    failOnce();
    EXPECT_EQ(delays, std::vector<int>{9});
}

TEST_F(SimFixture, ObjectsThatGoBeforeAnyInRangeReplySawThemAreForgotten)
{
    connect();
    const std::uint32_t first = sim.addForeignObject("N1", 0, true);
    const std::uint32_t second = sim.addForeignObject("N2", 0, true);
    idle();
    EXPECT_EQ(addedObjects, (std::vector<std::uint32_t>{first, second}));
    sim.removeObject(first);
    idle();
    EXPECT_EQ(addedObjects, (std::vector<std::uint32_t>{second}));
    sim.removeObject(second);
    idle();
    EXPECT_TRUE(addedObjects.empty());
}

TEST_F(SimFixture, Msfs2024CreatesWithTheNewerCallWhenTheLibraryHasIt)
{
    MSFS_2020.setValue(false);
    auto s = scenario();
    s.applicationName = "SunRise";
    sim.reset(s);
    connect();
    addLive(10001, "NEW1", true);
    const std::uint32_t id = createAndRecognise(liveAircraft.back(), false);
    ASSERT_GT(id, 0u); // recognised by its tail number like a legacy creation
    std::vector<nlohmann::ordered_json> creations;
    for (const auto& c : sim.calls())
        if (fn(c).rfind("SimConnect_AICreateNonATCAircraft", 0) == 0) creations.push_back(c);
    ASSERT_EQ(creations.size(), 1u);
    EXPECT_EQ(fn(creations[0]), "SimConnect_AICreateNonATCAircraft_EX1");
    EXPECT_EQ(creations[0]["title"], "Airbus A320 Test Livery");
    EXPECT_EQ(creations[0]["livery"], ""); // the livery that the title names
    EXPECT_EQ(creations[0]["tail"], "NEW1");

    // A library without the newer call, and MSFS 2020 with it: the legacy call.
    SimConnectFunctions older = *simConnectFunctions();
    older.AICreateNonATCAircraft_EX1 = nullptr;
    EXPECT_FALSE(lf_createsWithEx1(older));
    MSFS_2020.setValue(true);
    EXPECT_FALSE(lf_createsWithEx1(*simConnectFunctions()));
    MSFS_2020.setValue(false);
    EXPECT_TRUE(lf_createsWithEx1(*simConnectFunctions()));
    addLive(10002, "OLD2", true);
    {
        std::lock_guard lock(simConnectMutex);
        lf_createAiAircraft(OpenConnection{simConnectHandle.load(), older}, requestFor(liveAircraft.back(), false));
    }
    EXPECT_EQ(fn(sim.calls()[sim.calls().size() - 2]), "SimConnect_AICreateNonATCAircraft");
}

TEST_F(SimFixture, AWaitForRealTrafficStartsTheUserPositionAfresh)
{
    connect();
    gf_getUserAircraftState(); // the position before the wait
    idle();
    // The user flies 20 nm while the program waits for RealTraffic.
    feedOnThisPc = true;
    feedHandshakeTimeoutMs = 2000;
    startTcpServer("0");
    rtpeer::FeedClientOptions options;
    options.port = feedServerPort();
    rtpeer::FeedClient peer(options);
    peer.start();
    sim.teleportUser(47.4612 + 0.35, 8.5535);
    waitForFeedClient();
    EXPECT_TRUE(feedClientConnected());
    gf_getUserAircraftState();
    idle();
    EXPECT_FALSE(stopRequested.load()); // no "Teleport", no new flight
    EXPECT_EQ(qtest::logText().find("Teleport"), std::string::npos);
    closeFeedSockets();
    feedOnThisPc = false;
}

// The thread sleeps on the event it handed to Open, which the simulator sets for every message:
// with a wait between dispatches far longer than any waitIdle allows, the simulator's messages
// are still taken as they come, and a stop is seen at the next message.
TEST_F(SimFixture, TheThreadWakesForEachMessageOnTheEventItGaveToOpen)
{
    constexpr auto longerThanAnyIdleWait = std::chrono::minutes(1);
    reserveSimConnectQueues();
    thread = std::jthread(
        [longerThanAnyIdleWait](std::stop_token stop) { runSimConnectThread(stop, longerThanAnyIdleWait); });
    ASSERT_TRUE(waitUntil([this] { return !journal("connected").empty(); }));
    idle(); // the open and "Sim" messages
    EXPECT_TRUE(simRunning.load());
    const auto calls = sim.calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(fn(calls.front()), "SimConnect_Open");
    EXPECT_EQ(calls.front()["event"], true);

    // A frame of the test's, then the replies to requests of the worker's.
    const std::uint32_t id = createAndRecognise(addLive(10001, "WAKE1", true), false);
    EXPECT_GT(id, 0u);
    EXPECT_TRUE(pendingCreations.empty()) << "the in-range reply was dispatched";
    gf_requestUserOnGround();
    sim.second();
    idle();
    EXPECT_TRUE(newUserData.load()) << "the once-a-second reply was dispatched";

    thread.request_stop();
    sim.frame();
    thread.join();
    EXPECT_EQ(fn(sim.calls().back()), "SimConnect_Close");
}

TEST_F(SimFixture, TheSimulatorsNewsForTheWorkerWakesIt)
{
    connect();
    gf_requestUserOnGround();
    idle();
    const std::vector<std::pair<const char*, std::function<void()>>> news{
        {"the once-a-second reply", [this] { sim.second(); }},
        {"the flight paused", [this] { sim.setFlightRunning(false); }},
        {"the flight running again", [this] { sim.setFlightRunning(true); }},
    };
    for (const auto& [what, bring] : news) {
        SCOPED_TRACE(what);
        workerWake.arm();
        bring();
        idle();
        EXPECT_TRUE(workerWake.waitFor(std::chrono::milliseconds(0)));
    }
}
