// Rules of the traffic manager that a broken line would otherwise pass unnoticed: resuming after
// a pause, the removals near the user, arrivals at a taken stand, departures and go-arounds from
// the reports, the intake's elevation filter, the approach heights per category, the live limit,
// the creation requests of aircraft that share a callsign, the static twins of a new live
// aircraft, flights across the antimeridian, and window requests raised while being served.
#include "foundation/geometry.h"
#include "foundation/parameters/parameter_table.h"
#include "links/simconnect_client.h"
#include "links/udp_receiver.h"
#include "traffic/run/data_cycle.h"
#include "traffic/flights/intake.h"
#include "traffic/flights/live_update.h"
#include "traffic/flights/motion.h"
#include "traffic/state/removal.h"
#include "foundation/run_control.h"
#include "traffic/flights/spawning.h"
#include "traffic/parking/static_parking.h"
#include "traffic/state/traffic_state.h"
#include "traffic/run/worker.h"
#include "../traffic_harness.h"

#include <gtest/gtest.h>

#include <mutex>

using namespace qtr;
using qtest::TrafficHarness;

namespace {

class Rules : public ::testing::Test {
protected:
    void SetUp() override
    {
        liveAircraft.reserve(64);
        TrafficHarness::addType("A320", categoryLarge, 0.0096);
        TrafficHarness::addType("C172", categoryLight, 0.0030);
        TrafficHarness::addLivery("DLH", "A320", "Airbus A320 Lufthansa");
    }
    // An aircraft in the simulator with its first position where it is.
    LiveAircraft& active(std::uint32_t id, const std::string& callsign, double lat, double lon, double alt = 0,
                         const std::string& type = "A320")
    {
        Position p;
        p.lat = lat;
        p.lon = lon;
        p.alt = alt;
        p.airborne = alt > 0;
        p.time = tickCount;
        FlightRecord r;
        r.callsign = callsign;
        r.airline = "DLH";
        r.type = type;
        r.flightId = id;
        r.radius = 0.0096;
        r.category = type == "C172" ? categoryLight : categoryLarge;
        LiveAircraft& a = liveAircraft.emplace_back(p, std::move(r), 0.0);
        a.state = stateActive;
        a.objectid = id - 19000;
        a.lat = lat;
        a.lon = lon;
        a.alt = alt;
        a.onGround = alt > 0 ? 0 : 1;
        return a;
    }
    TrafficHarness h;
};

// One pause stops the reports; the first data cycle after it takes them in again.
TEST_F(Rules, TrafficResumesAfterAPause)
{
    simRunning = false;
    h.pass();
    EXPECT_TRUE(flightPaused);
    processLine(TrafficHarness::report(20001, "DLH1", "A320", 10, 10, 5000, 250, 0, 1000));
    EXPECT_TRUE(incomingTraffic.empty());
    simRunning = true;
    h.dataCycles(1, 1);
    EXPECT_FALSE(flightPaused);
    processLine(TrafficHarness::report(20001, "DLH1", "A320", 10, 10, 5000, 250, 0, 1000));
    EXPECT_EQ(incomingTraffic.size(), 1u);
}

// A flood of plausible reports faster than the tick takes them in: the queue stays bounded and
// keeps the newest reports, the oldest go first.
TEST_F(Rules, IncomingQueueOfAFloodKeepsTheNewestReports)
{
    const std::uint32_t extra = 3;
    for (std::uint32_t k = 0; k < maxIncomingReports + extra; ++k)
        processLine(TrafficHarness::report(20001 + k, "DLH1", "A320", 10, 10, 5000, 250, 0, 1000));
    std::lock_guard lock(trafficMutex);
    ASSERT_EQ(incomingTraffic.size(), maxIncomingReports);
    EXPECT_EQ(incomingTraffic.front().flightId, 20001 + extra);
    EXPECT_EQ(incomingTraffic.back().flightId, 20001 + maxIncomingReports + extra - 1);
}

// A flying user: traffic 4000 ft below on the user's track stays, traffic at its level goes.
TEST_F(Rules, UserProximityKeepsTrafficFarBelowAFlyingUser)
{
    h.setUser(10, 10, false, 10000, 0, 8000);
    const struct {
        double alt;
        bool removed;
    } cases[] = {{6000, false}, {9500, true}};
    std::uint32_t id = 20001;
    for (const auto& c : cases) {
        LiveAircraft& a = active(id++, "DLH1", 10 + 2.0 / 60.0, 10, c.alt);
        a.heading = 0;
        EXPECT_EQ(isNearUserAircraft(a), c.removed) << c.alt;
        EXPECT_EQ(a.state == stateRemovingFromSim, c.removed);
    }
}

// An arrival at a stand another live aircraft holds is removed, and the stand stays taken.
TEST_F(Rules, ArrivalAtAnOccupiedStandIsRemovedNotParked)
{
    replaceStands({TrafficHarness::stand(1, "A1", 10, 10)});
    stands[0].occupied = true;
    LiveAircraft& a = active(20001, "DLH1", 10, 10);
    setPhase(a, phaseParking);
    a.sid = 1;
    a.parkLat = 10;
    a.parkLon = 10;
    arriveAtStand(a);
    EXPECT_EQ(a.state, stateRemovingFromSim);
    EXPECT_NE(a.phase, phaseParked);
    EXPECT_TRUE(stands[0].occupied);
}

// A taxiing aircraft that slows down does not start its departure; two reports at take-off speed
// do. A landing roll that gets two airborne reports goes around: departing, take-off throttle.
TEST_F(Rules, DeparturesAndGoAroundsFromTheReports)
{
    const struct {
        double lastSpeed, newSpeed;
        bool departs;
    } cases[] = {{45, 30, false}, {20, 25, false}, {45, 50, true}};
    std::uint32_t id = 20001;
    for (const auto& c : cases) {
        LiveAircraft& a = active(id++, "DLH1", 10, 10);
        setPhase(a, phaseTaxi);
        a.stream.front().speed = c.lastSpeed;
        Position p = a.stream.front();
        p.lat += 0.001;
        p.speed = c.newSpeed;
        p.time += 800;
        addPositionToStream(a, p);
        EXPECT_EQ(a.departing != 0, c.departs) << c.lastSpeed << " -> " << c.newSpeed;
    }
    LiveAircraft& landing = active(id++, "DLH9", 10, 10);
    setPhase(landing, phaseTaxi);
    landing.landingRoll = 1;
    landing.stream.front().airborne = 1;
    landing.stream.front().speed = 130;
    Position p = landing.stream.front();
    p.lat += 0.005;
    p.alt = 500;
    p.time += 800;
    addPositionToStream(landing, p);
    EXPECT_TRUE(landing.departing);
    EXPECT_EQ(landing.throttleLevel, 3u);
}

// A take-off and a go-around leave the ground alike, flaps 1, approach and go-around over and the
// departure windows; the take-off with idle throttle and spoilers in, the go-around with throttle up
// and spoilers out.
TEST_F(Rules, TakeOffAndGoAroundConfiguration)
{
    const struct {
        const char* name;
        bool landingRoll;
        double speed, alt;
        std::uint32_t throttle, spoilers;
    } cases[] = {{"take-off", false, 50, 0, 0, 0}, {"go-around", true, 130, 500, 3, 16383}};
    std::uint32_t id = 20101;
    for (const auto& c : cases) {
        LiveAircraft& a = active(id++, "DLH1", 10, 10);
        setPhase(a, phaseTaxi);
        a.landingRoll = c.landingRoll ? 1 : 0;
        a.stream.front().airborne = c.alt > 0;
        a.stream.front().speed = c.speed;
        a.throttleLevel = 1;
        a.approach = 1;
        a.goAround = 1;
        a.stayCheckPending = 1;
        a.aheadWindow = a.backWindow = 100;
        Position p = a.stream.front();
        p.lat += 0.005;
        p.alt = c.alt;
        p.time += 800;
        clientEventQueue.clear();
        addPositionToStream(a, p);
        EXPECT_TRUE(a.departing) << c.name;
        EXPECT_EQ(a.throttleLevel, c.throttle) << c.name;
        EXPECT_EQ(a.flapStage, 1u) << c.name;
        EXPECT_FALSE(a.approach || a.goAround || a.stayCheckPending) << c.name;
        EXPECT_EQ(a.aheadWindow, 5000u) << c.name;
        EXPECT_EQ(a.backWindow, 3000u) << c.name;
        std::vector<std::uint32_t> spoilers;
        for (const ClientEvent& e : clientEventQueue)
            if (e.objectId == a.objectid && e.eventId == eventSpoilers) spoilers.push_back(e.data);
        EXPECT_EQ(spoilers, std::vector<std::uint32_t>{c.spoilers}) << c.name;
    }
}

// Reports at the park airport's elevation are dropped for aircraft still in the buffer only.
TEST_F(Rules, ElevationFilterAppliesToBufferedAircraftOnly)
{
    parkAirportIcao = "LSZH";
    parkAirportElevation = 1500;
    for (const std::uint32_t state : {stateBuffer, stateActive}) {
        liveAircraft.clear();
        LiveAircraft& a = active(20001, "DLH1", 47, 8, 3000);
        a.state = state;
        a.lastReportTime = 900;
        a.stream.front().speed = 160;
        setPhase(a, phaseFlying);
        const std::size_t before = a.stream.size();
        TrafficReport r = TrafficHarness::report(20001, "DLH1", "A320", 47.01, 8, 1550, 160, 0, 1000);
        ASSERT_TRUE(matchReport(r, a));
        EXPECT_EQ(a.stream.size(), state == stateBuffer ? before : before + 1) << state;
    }
}

// On the way down near the park airport a Large aircraft configures for landing at 1200 ft above
// the ground; a Light one at the same place not yet (its height is 625 ft).
TEST_F(Rules, ApproachConfigurationHeightsPerCategory)
{
    parkAirportIcao = "EDDF";
    parkAirportPosition = LatLon{10, 10};
    std::uint32_t id = 20001;
    for (const char* type : {"A320", "C172"}) {
        LiveAircraft& a = active(id++, "DLH1", 10.05, 10, 1500, type);
        Position next = a.stream.front();
        next.lat = 10.03;
        next.alt = 1000;
        next.verticalSpeed = -700;
        next.time = tickCount + 1000;
        a.stream.front().verticalSpeed = -700;
        a.stream.push_back(next);
        a.heightAboveGround = 1200;
        airborneStep(a);
        EXPECT_EQ(a.approach != 0, std::string(type) == "A320") << type;
    }
}

// MAX_LIVE 3: the fourth aircraft takes the place of the farthest, never a fourth in the simulator.
TEST_F(Rules, MaxLiveKeepsExactlyThatManyLiveAircraft)
{
    MAX_LIVE.setValue(3);
    h.setUser(10, 10, false, 30000, 0, 29000);
    for (int k = 0; k < 6; ++k) {
        h.feed(TrafficHarness::report(20001 + k, "DLH" + std::to_string(k), "A320", 10.2 + 0.05 * k, 10, 20000, 300, 0,
                                      1000));
        h.feed(TrafficHarness::report(20001 + k, "DLH" + std::to_string(k), "A320", 10.21 + 0.05 * k, 10, 20000, 300, 0,
                                      1010));
    }
    std::size_t most = 0;
    for (int pass = 0; pass < 4000; ++pass) {
        h.pass();
        const auto inSim = std::count_if(liveAircraft.begin(), liveAircraft.end(), [](const LiveAircraft& a) {
            return a.state == stateActive || a.state == stateAdding2Sim;
        });
        most = std::max<std::size_t>(most, static_cast<std::size_t>(inSim));
    }
    EXPECT_EQ(most, 3u);
    MAX_LIVE.setValue(-1);
}

// Two aircraft with one callsign: removing one drops its own queued creation, not the other's.
TEST_F(Rules, PendingCreationsAreMatchedByRecordNotCallsign)
{
    LiveAircraft& first = active(20001, "DLH1", 10, 10);
    LiveAircraft& second = active(20002, "DLH1", 11, 11);
    first.state = second.state = stateAdding2Sim;
    pendingLiveCreations.push_back(AiCreateRequest{{}, "DLH1", "T", 20001});
    pendingLiveCreations.push_back(AiCreateRequest{{}, "DLH1", "T", 20002});
    removeAircraftFromSim(first);
    EXPECT_TRUE(first.erase);
    ASSERT_EQ(pendingLiveCreations.size(), 1u);
    EXPECT_EQ(pendingLiveCreations.front().recordId, 20002u);
}

// A new live aircraft is looked at in the next data cycle: its static twin (the static aircraft
// of the same flight) goes.
TEST_F(Rules, SpawnLooksForTheStaticTwinOfTheNewFlight)
{
    FlightRecord r;
    r.callsign = "DLH4AB*";
    r.callsignKey = "DLH4AB";
    r.flightId = 7;
    StaticAircraft& twin = staticAircraft.emplace_back(std::move(r), 1, ParkPlace{}, 0);
    twin.state = stateActive;
    twin.objectid = 700;
    tickCount = 2900;
    LiveAircraft& a = active(20001, "DLH4AB", 12, 12, 5000);
    a.state = stateBuffer;
    a.objectid = 0;
    a.stream.front().time = 3000;
    Position q = a.stream.front();
    q.lat += 0.01;
    q.time = 3800;
    a.stream.push_back(q);
    maySpawn(a);
    ASSERT_EQ(a.state, stateAdding2Sim);
    EXPECT_EQ(replacementChecks, (std::deque<std::uint32_t>{20001}));
    h.dataCycles(1, 1);
    EXPECT_EQ(staticAircraft[0].state, stateRemovingFromSim);
    EXPECT_TRUE(replacementChecks.empty());
}

// From 179.995 E to 179.995 W is 0.01 degrees east, not 359.99 degrees west.
TEST_F(Rules, FlightsCrossTheAntimeridianTheShortWay)
{
    LiveAircraft& a = active(20001, "DLH1", 0, 179.995, 30000);
    Position next = a.stream.front();
    next.lon = -179.995;
    next.time = tickCount + 100;
    a.stream.push_back(next);
    nextPos(a);
    EXPECT_GT(a.lonRate, 0.0);
    EXPECT_LT(a.lonRate, 0.01 / 25);
    for (int k = 0; k < 100; ++k) moveLiveAcTick(a);
    EXPECT_NEAR(a.lon, -179.995, 0.001);
}

// A renewal requested while one runs is not lost: another one follows.
TEST_F(Rules, RenewalRequestedWhileOneRunsIsServedNext)
{
    renewalRequested = true;
    everyFifteenCycles(15);
    EXPECT_TRUE(renewalBusy);
    EXPECT_TRUE(trafficReader.collectReportedFlights.load());
    renewalRequested = true; // the window, meanwhile
    everyFifteenCycles(30);
    EXPECT_FALSE(renewalBusy);
    everyFifteenCycles(45);
    EXPECT_TRUE(renewalBusy);
    trafficReader.collectReportedFlights = false;
    parkingBusy = false;
}

} // namespace
