#include "foundation/clock.h"
#include "foundation/indicators.h"
#include "foundation/paths.h"
#include "liveries/livery_matcher.h"
#include "traffic/run/sim_objects.h"
#include "links/simconnect_client.h"
#include "support/test_support.h"
#include "foundation/run_control.h"
#include "support/stop_support.h"
#include "traffic/flights/intake.h"
#include "traffic/run/tick.h"
#include "traffic/state/traffic_state.h"
#include "traffic/run/worker.h"
#include "../traffic_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

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

// A report as the feed's reader queues it: due 30 s after the tick of its arrival.
void queueFeedReport()
{
    processLineAt(TrafficHarness::report(20001, "ABC1", "A320", 50, 8, 30000, 400, 90, 1000), 3000);
}

// A clock of the tests whose long sleeps can end early, as a wake of the worker ends them.
class WakeableClock final : public Clock {
public:
    std::chrono::steady_clock::time_point now{std::chrono::hours(1)};
    std::optional<std::chrono::steady_clock::time_point> wakeAt; // a wake comes then, if before the deadline
    std::function<void()> atWake;                                // what was handed over at the wake
    std::vector<std::chrono::milliseconds> longSleeps;

    std::chrono::steady_clock::time_point steadyNow() override { return now; }
    void sleepFor(std::chrono::milliseconds d) override { now += d; }
    void sleepUntil(std::chrono::steady_clock::time_point t) override { now = std::max(now, t); }
    void sleepUntilWoken(std::chrono::steady_clock::time_point t, WakeSignal&) override
    {
        longSleeps.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(t - now));
        if (wakeAt && *wakeAt < t) {
            now = *wakeAt;
            if (atWake) atWake();
        } else {
            now = std::max(now, t);
        }
    }
};

TEST(IdlePasses, AreSleptThroughAndCountedAsTheTenMillisecondPassesWould)
{
    using std::chrono::milliseconds;
    struct Case {
        const char* what;
        std::uint32_t tick;
        std::function<void()> setUp;
        std::optional<int> wakeAfterDeadlineMs;
        std::optional<int> sleepMs; // the long sleep asked for, none when the next pass has work
        std::uint32_t tickAfter;
        int deadlineMovedMs;
    };
    const std::vector<Case> cases{
        {"nothing to do up to the range request", 3, {}, {}, 180, 20, 170},
        {"the range request is due", 40, {}, {}, {}, 40, 0},
        {"the own position is due", 100, {}, {}, {}, 100, 0},
        {"an aircraft to move", 7, [] { liveAircraft.emplace_back(); }, {}, {}, 7, 0},
        {"a removal waits", 7, [] { pendingRemovals.push_back(5); }, {}, {}, 7, 0},
        {"a static creation waits", 7, [] { pendingStaticCreations.push_back(request("S1*", 1)); }, {}, {}, 7, 0},
        {"a report is queued", 7, queueFeedReport, {}, {}, 7, 0},
        {"an object event is queued", 7, [] { queueSimObjectEvent(SimObjectEvent{}); }, {}, {}, 7, 0},
        {"the simulator is paused", 7, [] { simRunning = false; }, {}, {}, 7, 0},
        {"a stop is requested", 7, [] { requestStop(ExitCode::NewSettings, 0); }, {}, {}, 7, 0},
        {"a report wakes it after six passes' times", 3, {}, 55, 180, 9, 60},
        {"woken before the next pass's time", 3, {}, -5, 180, 3, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WakeableClock wakeable;
        TrafficHarness h;
        setClock(&wakeable);
        tickCount = c.tick;
        if (c.setUp) c.setUp();
        const auto deadline0 = wakeable.now + milliseconds(10);
        if (c.wakeAfterDeadlineMs) {
            wakeable.wakeAt = deadline0 + milliseconds(*c.wakeAfterDeadlineMs);
            wakeable.atWake = queueFeedReport;
        }
        auto deadline = deadline0;
        sleepThroughIdlePasses(deadline);
        EXPECT_EQ(wakeable.longSleeps.size(), c.sleepMs ? 1u : 0u);
        if (c.sleepMs && !wakeable.longSleeps.empty()) {
            EXPECT_EQ(wakeable.longSleeps[0], milliseconds(*c.sleepMs));
        }
        EXPECT_EQ(tickCount.load(), c.tickAfter);
        EXPECT_EQ(deadline - deadline0, milliseconds(c.deadlineMovedMs));
        // A report queued while the worker slept falls due 30 s after the tick of its arrival.
        if (c.wakeAfterDeadlineMs) {
            std::lock_guard lock(trafficMutex);
            EXPECT_EQ(incomingTraffic.size(), 1u);
            if (!incomingTraffic.empty()) {
                EXPECT_EQ(incomingTraffic.front().position.time, c.tickAfter + 3000);
            }
        }
        qtest::resetStopRequests();
    }
}

TEST(IdlePasses, HandingTheWorkerWorkWakesItOncePerArm)
{
    TrafficHarness h;
    const std::vector<std::pair<const char*, std::function<void()>>> sources{
        {"a report", queueFeedReport},
        {"an object event", [] { queueSimObjectEvent(SimObjectEvent{}); }},
        {"a stop", [] { requestStop(ExitCode::NewSettings, 0); }},
        {"the user closing", [] { requestUserClose(); }},
    };
    for (const auto& [what, handOver] : sources) {
        SCOPED_TRACE(what);
        workerWake.arm();
        handOver();
        handOver();
        EXPECT_TRUE(workerWake.waitFor(std::chrono::milliseconds(0)));
        EXPECT_FALSE(workerWake.waitFor(std::chrono::milliseconds(0))); // one set for both
        qtest::resetStopRequests();
    }
    // Unarmed, a wake sets nothing.
    requestStop(ExitCode::NewSettings, 0);
    EXPECT_FALSE(workerWake.waitFor(std::chrono::milliseconds(0)));
    qtest::resetStopRequests();
    // The real clock's long sleep ends at a wake, not at its deadline an hour on.
    setClock(nullptr);
    workerWake.arm();
    workerWake.wake();
    const auto start = std::chrono::steady_clock::now();
    qtr::clock().sleepUntilWoken(start + std::chrono::hours(1), workerWake);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::minutes(1));
}

} // namespace
