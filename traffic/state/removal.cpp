#include "traffic/state/removal.h"

#include "foundation/indicators.h"
#include "foundation/parameters/parameter_display.h"
#include "foundation/geometry.h"
#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/utilities.h"
#include "links/simconnect_client.h"
#include "traffic/state/lights.h"
#include "traffic/state/stands.h"
#include "traffic/state/traffic_state.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace qtr {

namespace {

void forgetResolvedObject(const StaticAircraft& aircraft)
{
    if (!isLiveFlightId(aircraft.flightId) || aircraft.objectid == 0 || aircraft.objectid != resolvedObjectId) return;
    resolvedObjectId = 0;
    indicators.setText(indicators.callsignText, "");
    indicators.invalidate(Band::parameters);
    if (!CALLSIGN_2_OBJECTID.value().empty()) {
        CALLSIGN_2_OBJECTID.setValue("");
        showTextParameter(CALLSIGN_2_OBJECTID);
    }
}

void freeStandOf(const StaticAircraft& aircraft)
{
    if (!isLiveFlightId(aircraft.flightId) || aircraft.sid == 0) return;
    for (Stand& s : stands)
        if (s.id == aircraft.sid) {
            s.occupied = false;
            break;
        }
}

} // namespace

void removeAircraftFromSim(StaticAircraft& aircraft)
{
    switch (aircraft.state) {
    case stateBuffer:
        aircraft.eraseFromBuffer = 1;
        return;
    case stateAdding2Sim:
        if (aircraft.removeWhenCreated) return;
        if (removeFromPendingQueue(isLiveFlightId(aircraft.flightId) ? pendingLiveCreations : pendingStaticCreations,
                                   aircraft)) {
            aircraft.erase = 1;
        } else {
            aircraft.removeWhenCreated = 1;
        }
        return;
    case stateRemovingFromSim:
        // Its removal is requested already; a second request would remove a later object that
        // the simulator may give the same id.
        return;
    default:
        break;
    }
    if (aircraft.removeWhenCreated) return;
    const bool queue = aircraft.state == stateActive; // a livery respawn has queued its removal itself
    aircraft.state = stateRemovingFromSim;
    freeStandOf(aircraft);
    forgetResolvedObject(aircraft);
    if (!queue) return;
    if (aircraft.objectid != 0) {
        pendingRemovals.push_back(aircraft.objectid);
    } else {
        logLine(fmt::format("{} removing act {}, with objectid=0 ?", "removeAircraftFromSim", flightText(aircraft)));
    }
}

void removeOrCancel(StaticAircraft& aircraft)
{
    if (aircraft.state == stateActive || aircraft.state == stateAdding2Sim) removeAircraftFromSim(aircraft);
}

void removeLiveAircraftAfterFeedLoss()
{
    for (LiveAircraft& a : liveAircraft) removeOrCancel(a);
    // Creations that had not left the worker's queue go with their records.
    std::erase_if(liveAircraft, [](const LiveAircraft& a) { return a.erase != 0; });
}

bool removeFromPendingQueue(std::deque<AiCreateRequest>& queue, const StaticAircraft& aircraft)
{
    const std::uint32_t id = aircraft.flightId;
    return std::erase_if(queue, [id](const AiCreateRequest& r) { return r.recordId == id; }) > 0;
}

void setParkedLights(StaticAircraft& aircraft)
{
    const std::uint32_t id = aircraft.objectid;
    if (aircraft.throttleLevel != 0) {
        gf_queueAiEvent(id, eventThrottle, 0);
        aircraft.throttleLevel = 0;
    }
    if (aircraft.flapStage != 0 && aircraft.category != categoryRotorcraft) {
        gf_queueAiEvent(id, eventFlaps, 0);
        aircraft.flapStage = 0;
    }
    gf_queueAiEvent(id, eventEngineAutoShutdown, 0);
    const bool cabinLit = staticCabinLit(aircraft.atCargoStand, RANDOM.value(), randomEngine());
    gf_queueLights(id, parkedLights(NAV_LIGHTS_WHILE_PARKED.value(), cabinLit));
}

bool removeFarthestLive(double minDistance)
{
    LiveAircraft* farthest = nullptr;
    double best = minDistance;
    const LatLon user = userPosition();
    for (LiveAircraft& a : liveAircraft) {
        if (a.state != stateActive) continue;
        const double d = distanceNm(user, LatLon{a.lat, a.lon});
        if (d > best + 0.1) {
            best = d;
            farthest = &a;
        }
    }
    if (!farthest) return true;
    removeAircraftFromSim(*farthest);
    return false;
}

void enforceMaxLive()
{
    const std::int32_t limit = MAX_LIVE.value();
    if (limit == -1) return;
    const auto count = std::count_if(liveAircraft.begin(), liveAircraft.end(),
                                     [](const LiveAircraft& a) { return a.state == stateActive; });
    for (auto k = count; k > limit; --k) removeFarthestLive(-1.0);
}

bool isNearUserAircraft(LiveAircraft& aircraft)
{
    if (aircraft.state != stateActive) return false;
    const auto& user = workerUser();
    const LatLon from = userPosition();
    const LatLon to{aircraft.lat, aircraft.lon};
    const double d = distanceNm(from, to);
    const double bearing = initialBearing(from, to);
    bool close = false;
    if (aircraft.onGround) {
        close = user.altAboveGround < 500.0 && d <= 1.0 &&
                d * feetPerNm * std::sin(std::fabs(wrapPi(user.heading - bearing))) <= 50.0;
    } else {
        close = d <= 4.0 && std::fabs(aircraft.alt - user.alt) < 1000.0 &&
                d * feetPerNm * std::fabs(std::sin(aircraft.heading - bearing)) <= 700.0;
    }
    if (!close) return false;
    removeAircraftFromSim(aircraft);
    return true;
}

void removeForCollisionAvoidance(LiveAircraft live)
{
    for (StaticAircraft& s : staticAircraft) {
        if (s.state != stateActive) continue;
        const double d = distanceNm(LatLon{live.lat, live.lon}, LatLon{s.parkLat, s.parkLon});
        if (1.1 * (live.radius + s.radius) < d) continue;
        if (LOG.value())
            logLine(fmt::format("{:8}: {:8} removed for collision avoidance with live {}", sidName(s.sid), s.callsign,
                                live.callsign));
        removeAircraftFromSim(s);
        return;
    }
}

void maxParkExceeded(std::uint32_t flightId)
{
    for (LiveAircraft& a : liveAircraft) {
        if (a.state != stateActive || a.flightId != flightId) continue;
        logLine(fmt::format("{:}: {:8} max park exceeded, removed", sidName(a.sid), a.callsign));
        removeAircraftFromSim(a);
        return;
    }
}

} // namespace qtr
