#include "traffic/run/data_cycle.h"

#include "foundation/indicators.h"
#include "foundation/parameters/parameter_display.h"
#include "foundation/clock.h"
#include "foundation/geometry.h"
#include "foundation/log.h"
#include "foundation/parameters/parameter_control.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/time_text.h"
#include "links/feed.h"
#include "links/simconnect_dispatch.h"
#include "traffic/run/sim_objects.h"
#include "links/simconnect_client.h"
#include "liveries/livery_matcher.h"
#include "liveries/livery_reports.h"
#include "traffic/parking/live_parking.h"
#include "traffic/parking/park_airports.h"
#include "traffic/parking/parking_renewal.h"
#include "traffic/run/range.h"
#include "traffic/state/removal.h"
#include "foundation/run_control.h"
#include "traffic/state/stands.h"
#include "traffic/run/callsigns.h"
#include "traffic/parking/static_parking.h"
#include "traffic/state/traffic_state.h"
#include "traffic/run/worker.h"

#include <fmt/format.h>

#include <cmath>

#include <algorithm>
#include <mutex>

namespace qtr {

std::int32_t dataCycleCount = 0;
bool flightPaused = false;
std::int32_t pausedCountdown = 100;
std::atomic<bool> removeStaticsRequest{false};
std::atomic<bool> recheckRequest{false};
std::atomic<bool> blockRequest{false};
std::atomic<bool> callsignResolveRequest{false};
std::atomic<bool> clearNoMatchRequest{false};
std::atomic<bool> renewalRequested{false};
std::atomic<bool> navLightsRequest{false};
std::atomic<bool> enforceMaxLiveRequest{false};
std::atomic<bool> reevaluationRequest{false};
bool renewalBusy = false;

namespace {

double lastStaticCheckLat = 0.0, lastStaticCheckLon = 0.0;

void replaceStaticTwin()
{
    if (replacementChecks.empty() || liveAircraft.empty()) return;
    const std::uint32_t id = replacementChecks.front();
    const auto live = std::find_if(liveAircraft.begin(), liveAircraft.end(),
                                   [id](const LiveAircraft& a) { return a.flightId == id; });
    if (live == liveAircraft.end()) {
        // Its aircraft is gone: nothing is left to look for.
        replacementChecks.pop_front();
        return;
    }
    if (!live->coupledSearched) {
        lf_searchForCoupledCsAroundThisTime(currentSlot.load(), *live);
        live->coupledSearched = 1;
    }
    if (!live->callsign.empty()) {
        const std::string key = live->callsign.substr(0, live->callsign.size() - 1);
        for (StaticAircraft& s : staticAircraft)
            if (isReplacedByLive(*live, key, live->onGround != 0, s)) {
                removeAircraftFromSim(s);
                break;
            }
    }
    replacementChecks.pop_front();
}

void avoidUserCollisions()
{
    if (!userOnGround.load()) {
        if (!COLLISION_USER_AIR.value()) return;
        for (LiveAircraft& a : liveAircraft)
            if (isNearUserAircraft(a)) break;
        return;
    }
    if (!COLLISION_USER_GND.value()) return;
    const double r = userHalfWingSpan.load();
    const LatLon user = userPosition();
    for (LiveAircraft& a : liveAircraft) {
        if (!a.onGround || a.state != stateActive) continue;
        if (distanceNm(user, LatLon{a.lat, a.lon}) <= (r + a.radius) * 1.15) {
            removeAircraftFromSim(a);
            return;
        }
    }
    if (user.lat == lastStaticCheckLat && user.lon == lastStaticCheckLon) return;
    lastStaticCheckLat = user.lat;
    lastStaticCheckLon = user.lon;
    for (StaticAircraft& s : staticAircraft) {
        if (s.state != stateActive) continue;
        if (distanceNm(user, LatLon{s.parkLat, s.parkLon}) <= (r + s.radius) * 1.1) {
            removeAircraftFromSim(s);
            return;
        }
    }
}

void avoidParkedCollisions()
{
    if (!COLLISION_LIVE_PARKED_GND.value() || staticAircraft.empty()) return;
    for (LiveAircraft& a : liveAircraft) {
        if (!a.onGround || (a.phase != phaseTaxi && a.phase != phaseParking)) continue;
        if (a.lat == a.collisionCheckLat && a.lon == a.collisionCheckLon) continue;
        if (a.state != stateActive || a.landingRoll || a.departing) continue;
        a.collisionCheckLat = a.lat;
        a.collisionCheckLon = a.lon;
        removeForCollisionAvoidance(a);
    }
}

} // namespace

void dataCycle()
{
    if (flightPaused) {
        flightPaused = false;
        logLine(fmt::format("{} Flight resumed", nowTimeText()));
        std::lock_guard lock(trafficMutex);
        trafficRunning = true;
    }
    statusCycle();
    serveUserStandRequest();
    serveWindowRequests();
    updateLiveCounts();
    currentSlot.store(currentDaySlot());
    ++dataCycleCount;
    replaceStaticTwin();
    // Each request is taken with one exchange: one raised while it is served is served next time.
    if (callsignResolveRequest.exchange(false)) resolveCallsignObjectId();
    if (removeStaticsRequest.exchange(false)) {
        removeAllStaticAircraft();
        if (!INITIAL_LOAD_ONLY.value()) {
            INITIAL_LOAD_ONLY.setValue(true);
            showCheckBoxParameter(INITIAL_LOAD_ONLY);
        }
    }
    avoidUserCollisions();
    avoidParkedCollisions();
    if (blockRequest.exchange(false)) {
        const std::string blocked = BLOCK_CALLSIGN.value();
        if (!blocked.empty())
            for (LiveAircraft& a : liveAircraft)
                if (a.callsign == blocked && a.state == stateActive) {
                    removeAircraftFromSim(a);
                    break;
                }
    }
}

void periodicWork(std::int32_t n)
{
    if (n % 15 == 0) {
        fifteenCycleStep(n);
        return;
    }
    if (n % 16 == 0 && !renewalBusy) {
        updateParkAirport(false);
    } else if (!renewalBusy) {
        updateParkAirportWhenFileArrives();
    }
    if (n % 59 == 0) updateReaderLamps();
    if (n % 61 == 0) removeStaticTwinsOnGround();
    if (n % 62 == 0 && CALLSIGN_OBJECTIDS.value() && MSFS_2020.value()) writeCallsignObjectIds();
}

void fifteenCycleStep(std::int32_t n)
{
    if (feedProfessional.load()) sendQs123(simEpochTime.load());
    if (!reservedStandName().empty()) removeAircraftAtStand();
    recheckParkAirports();
    everyFifteenCycles(n);
}

void recheckParkAirports()
{
    // While static parking is busy the request waits.
    if (parkingBusy.load() || !recheckRequest.exchange(false)) return;
    std::string message;
    if (checkParkAirportsAndStands(true, message)) setStatus(message, true);
    gf_enableControl(rereadButton, true);
    gf_enableControl(DESTINATION, true);
}

void everyFifteenCycles(std::int32_t n)
{
    // The request is taken at the first step; one raised while the renewal runs starts another.
    if (renewalBusy) {
        renewalBusy = false;
        clearError();
        clearStatus();
        if (!parkAirportIcao.empty() && !stands.empty()) adjustParking();
    } else if (renewalRequested.exchange(false)) {
        renewalBusy = true;
        disableParkingControls();
        // The flights reported in the next 15 cycles are the live ones the renewal leaves out.
        startCollectingReportedFlights();
    }
    if (indicators.trafficLamp.load() == 2 || indicators.weatherLamp.load() == 2) updateReaderLamps();
    if (n % 30 != 0) return;
    if (clearNoMatchRequest.exchange(false) && !unmatchedNames.empty()) unmatchedNames.clear();
    if (AUTO_RANGE.value()) autoRange();
    if (n % 60 != 0) return;
    const std::int32_t m = n / 60;
    // "(next in N min)" stands in the parameter band.
    const std::int32_t minutes = ((m / 20) + 1) * 20 - m;
    if (indicators.parkingMinutes.exchange(minutes) != minutes) indicators.invalidate(Band::parameters);
    indicators.invalidate(Band::statistics);
    if (n % 1200 != 0) return;
    logNoMatchList();
    if (parkFileLoaded && !INITIAL_LOAD_ONLY.value() && !renewalBusy) renewalRequested.store(true);
    if (n % 86400 != 0) return;
    dataCycleCount = 0;
    gf_writeLiveryMatchSummary();
    liveryChoices.clear();
}

void removeStaticTwinsOnGround()
{
    if (staticAircraft.empty() || liveAircraft.empty()) return;
    for (const LiveAircraft& a : liveAircraft) {
        if (!a.onGround || a.state != stateActive) continue;
        const std::string key = a.callsign + "*";
        for (StaticAircraft& s : staticAircraft) {
            const bool same = s.callsign == key || (!a.registration.empty() && s.registration == a.registration);
            if (!same || s.state != stateActive) continue;
            removeAircraftFromSim(s);
            break;
        }
    }
}

void flightNotRunning()
{
    if (!flightPaused) {
        {
            std::lock_guard lock(trafficMutex);
            trafficRunning = false;
        }
        flightPaused = true;
        pausedCountdown = 100;
        {
            std::lock_guard lock(simConnectMutex);
            fillPositions.clear();
            sendPositions.clear();
        }
        logLine(fmt::format("{} Flight not running", nowTimeText()));
    }
    processSimObjectEvents();
    --pausedCountdown;
    if (pausedCountdown % 100 == 0) {
        serveUserStandRequest();
        serveWindowRequests();
        recheckParkAirports();
        sendOwnPosition();
    }
    if (pausedCountdown < 1) {
        pausedCountdown = 100;
        updateLiveCounts();
        currentSlot.store(currentDaySlot());
    }
}

void updateLiveCounts()
{
    const auto active = std::count_if(liveAircraft.begin(), liveAircraft.end(), [](const LiveAircraft& a) {
        return a.state == stateActive && a.phase != phaseParked;
    });
    if (indicators.liveCount.load() != active) {
        indicators.liveCount.store(active);
        indicators.invalidate(Band::links);
    }
    const std::int64_t parked = countLiveParked(true);
    const std::int64_t statics = countStaticParked(true);
    if (parked != indicators.parkedLiveCount.load() || statics != indicators.parkedStaticCount.load()) {
        indicators.parkedLiveCount.store(parked);
        indicators.parkedStaticCount.store(statics);
        indicators.invalidate(Band::statistics);
    }
}

void checkTrafficArrives()
{
    // No whole second of feed time yet (compared as a double: a wild time stamp must not reach
    // an integer cast).
    const auto noReportYet = [] { return std::fabs(latestFeedReportTime.load()) < 1.0; };
    // A close of the window during the wait is not kept waiting for the rest of the 15 s.
    for (int k = 0; k < 150 && noReportYet(); ++k) {
        if (stopRequested.load() || windowClosed.load()) return;
        sleepMs(100);
    }
    if (noReportYet()) logLine("No traffic in this region?");
    // The user flew on during the wait: the next user position starts afresh.
    gf_forgetLastUserPosition();
}

namespace {

// Parked aircraft in the simulator: every active static one, and active live ones that parked.
void queueParkedNavLights()
{
    const std::uint32_t on = NAV_LIGHTS_WHILE_PARKED.value() ? 1 : 0;
    for (const StaticAircraft& s : staticAircraft)
        if (s.state == stateActive) gf_queueNavLights(s.objectid, on);
    for (const LiveAircraft& a : liveAircraft)
        if (a.state == stateActive && a.phase == phaseParked) gf_queueNavLights(a.objectid, on);
}

} // namespace

void serveWindowRequests()
{
    serveCallsignRequests();
    if (navLightsRequest.exchange(false)) queueParkedNavLights();
    if (enforceMaxLiveRequest.exchange(false)) enforceMaxLive();
    if (reevaluationRequest.exchange(false) && AUTO_RANGE.value()) autoRange();
}

void resetDataCycle()
{
    dataCycleCount = 0;
    flightPaused = false;
    pausedCountdown = 100;
    removeStaticsRequest = false;
    recheckRequest = false;
    blockRequest = false;
    callsignResolveRequest = false;
    clearNoMatchRequest = false;
    renewalRequested = false;
    navLightsRequest = false;
    enforceMaxLiveRequest = false;
    reevaluationRequest = false;
    dropCallsignRequests();
    renewalBusy = false;
    lastStaticCheckLat = 0.0;
    lastStaticCheckLon = 0.0;
}

} // namespace qtr
