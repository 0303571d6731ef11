#include "traffic_harness.h"

#include "foundation/parameters/parameter_table.h"
#include "foundation/utilities.h"
#include "traffic/run/sim_objects.h"
#include "links/simconnect_client.h"
#include "liveries/livery_matcher.h"
#include "liveries/type_queries.h"
#include "support/clean_start.h"
#include "support/livery_support.h"
#include "platform/simconnect/simconnect.h"
#include "platform/simconnect/stand_in.h"
#include "traffic/run/data_cycle.h"
#include "traffic/flights/intake.h"
#include "foundation/run_control.h"
#include "traffic/state/traffic_state.h"
#include "traffic/run/worker.h"

#include <algorithm>
#include <mutex>

using namespace qtr;

namespace qtest {

namespace {

// The liveries added in this test; the data base is rebuilt from all of them at each addition.
std::vector<LiveryRecord>& installedRecords()
{
    static std::vector<LiveryRecord> records;
    return records;
}

} // namespace

TrafficHarness::TrafficHarness()
{
    setClock(&clock_);
    startClean();
    installedRecords().clear();
    gf_seedRandom(7);
    // Where the harness differs from the defaults: choices are not random, the log stays short,
    // and live aircraft avoid parked ones.
    RANDOM.setValue(false);
    LOG.setValue(false);
    COLLISION_LIVE_PARKED_GND.setValue(true);
    simRunning = true;
    {
        std::lock_guard lock(trafficMutex);
        trafficRunning = true;
    }
    // The worker's own SimConnect calls go to the stand-in simulator.
    standin::Scenario scenario;
    standin::simulator().reset(scenario);
    // Calls are stamped with the tick in milliseconds, so tests can read the tick of each.
    standin::simulator().setCallClock(
        [] { return std::chrono::steady_clock::time_point(std::chrono::milliseconds(tickCount)); });
    simConnectHandle.store(standin::openClient("Quillmarsh"));
    setUser(10.0, 10.0, true);
}

TrafficHarness::~TrafficHarness()
{
    if (void* h = simConnectHandle.exchange(nullptr)) standin::closeClient(h);
    {
        std::lock_guard lock(trafficMutex);
        trafficRunning = false;
    }
    startClean();
    installedRecords().clear();
    setClock(nullptr);
}

void TrafficHarness::setUser(double lat, double lon, bool onGround, double alt, double headingRad, double aboveGround,
                             double groundSpeed)
{
    UserAircraftState s;
    s.lat = lat;
    s.lon = lon;
    s.alt = alt;
    s.heading = headingRad;
    s.altAboveGround = aboveGround;
    s.groundVelocity = groundSpeed;
    {
        std::lock_guard lock(simConnectMutex);
        userState = s;
        workerUserState = s;
    }
    userOnGround.store(onGround);
    userOnGroundKnown.store(true);
    forgetNearestStand();
}

void TrafficHarness::addType(const std::string& type, std::uint32_t category, double radiusNm)
{
    addTestType(type, category, radiusNm);
}

void TrafficHarness::addLivery(const std::string& airline, const std::string& type, const std::string& title)
{
    // An empty airline: a generic livery, which every airline's flight may get.
    installedRecords().push_back(LiveryRecord{airline.empty() ? "ZZZ" : airline, type, title});
    installTestLiveries(installedRecords());
}

void TrafficHarness::setParkAirport(const std::string& icao, double lat, double lon, double elevation,
                                    std::vector<Stand> newStands)
{
    parkAirportIcao = icao;
    parkAirportPosition = LatLon{lat, lon};
    parkAirportElevation = elevation;
    parkFileLoaded = true;
    replaceStands(std::move(newStands));
}

Stand TrafficHarness::stand(std::uint32_t id, const std::string& name, double lat, double lon, double radiusNm,
                            std::vector<std::uint32_t> adjacent)
{
    Stand s;
    s.id = id;
    s.name = name;
    s.lat = lat;
    s.lon = lon;
    s.radius = radiusNm;
    s.adjacent = std::move(adjacent);
    return s;
}

TrafficReport TrafficHarness::report(std::uint32_t flightId, const std::string& callsign, const std::string& type,
                                     double lat, double lon, double alt, double speed, double track, double reportTime)
{
    TrafficReport r;
    r.type = type;
    r.callsign = callsign;
    r.flightId = flightId;
    r.reportTime = reportTime;
    r.position.lat = lat;
    r.position.lon = lon;
    r.position.alt = alt;
    r.position.speed = speed;
    r.position.tas = speed;
    r.position.track = track;
    r.position.time = tickCount + 3000;
    r.position.airborne = alt > 0 ? 1 : 0;
    return r;
}

void TrafficHarness::feed(TrafficReport r) { processLine(std::move(r)); }

void TrafficHarness::pass()
{
    const std::uint32_t tick = tickCount;
    runCycle();
    std::vector<AiCreateRequest> created;
    std::vector<std::uint32_t> removed;
    {
        std::lock_guard lock(simConnectMutex);
        created.swap(aiCreateQueue);
        removed.swap(removalQueue);
        for (const ClientEvent& e : clientEventQueue) events.push_back(EventRecord{tick, e});
        clientEventQueue.clear();
        poses.push_back(sendPositions);
        sendPositions.clear();
    }
    for (AiCreateRequest& r : created) {
        const std::uint32_t id = nextObjectId_++;
        if (simulatorAnswers)
            queueSimObjectEvent(
                SimObjectEvent{id, r.recordId, 0, r.recordId > 10000 ? liveCreated : staticCreated, 0,
                               groundElevation ? std::max(r.position.altitude - *groundElevation, 0.0) : 0.0});
        creations.push_back(Creation{tick, std::move(r), id});
    }
    // Every 20 ticks the simulator answers the aircraft-in-range request: height above the
    // ground and whether each moved object touches it.
    if (groundElevation && tick % 20 == 0)
        for (const PositionUpdate& p : poses.back()) {
            const double above = std::max(p.altitude - *groundElevation, 0.0);
            queueSimObjectEvent(
                SimObjectEvent{p.objectId, above <= 1.0 ? 1u : 0u, 0, groundData, *groundElevation, above});
        }
    for (std::uint32_t id : removed) {
        removals.push_back(Removal{tick, id});
        if (simulatorAnswers) queueSimObjectEvent(SimObjectEvent{id, 0, 0, objectRemoved, 0, 0});
    }
}

std::vector<std::uint32_t> TrafficHarness::callTicks(const std::string& function)
{
    std::vector<std::uint32_t> ticks;
    for (const auto& t : standin::simulator().callTimes(function))
        ticks.push_back(static_cast<std::uint32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count()));
    return ticks;
}

void TrafficHarness::passes(int n)
{
    for (int k = 0; k < n; ++k) pass();
}

void TrafficHarness::dataCycles(int count, int passesEach)
{
    for (int c = 0; c < count; ++c) {
        newUserData = true;
        passes(passesEach);
    }
}

} // namespace qtest
