#include "links/simconnect_queues.h"

#include "foundation/log.h"
#include "foundation/time_text.h"
#include "foundation/indicators.h"
#include "links/simconnect_client.h"
#include "links/simconnect_connection.h"
#include "links/object_events.h"
#include "foundation/clock.h"
#include "foundation/parameters/parameter_table.h"
#include "platform/simconnect/simconnect.h"
#include "foundation/run_control.h"
#include "foundation/utilities.h"

#include <fmt/format.h>

#include <algorithm>
#include <optional>

namespace qtr {

std::mutex simConnectMutex;
std::vector<AiCreateRequest> aiCreateQueue;
std::vector<ClientEvent> clientEventQueue;
std::vector<std::uint32_t> removalQueue;
std::vector<PositionUpdate> sendPositions;
std::vector<PositionUpdate> fillPositions;
std::vector<PendingCreation> pendingCreations;
std::atomic<std::uint64_t> failedPositionUpdates{0};

bool isValidTailNumber(const std::string& callsign)
{
    return !callsign.empty() && callsign.size() <= maxTailNumberLength;
}

bool gf_queueAiCreate(const AiCreateRequest& request)
{
    if (!isValidTailNumber(request.callsign)) {
        logMarked(fmt::format("callsign \"{}\" cannot serve as a tail number, no creation", request.callsign));
        return false;
    }
    std::lock_guard lock(simConnectMutex);
    aiCreateQueue.push_back(request);
    return true;
}

void gf_queueAiEvent(std::uint32_t objectId, std::uint32_t eventId, std::uint32_t data)
{
    std::lock_guard lock(simConnectMutex);
    clientEventQueue.push_back(ClientEvent{objectId, eventId, data});
}

void gf_queueLights(std::uint32_t id, const Lights& l)
{
    std::lock_guard lock(simConnectMutex);
    clientEventQueue.insert(clientEventQueue.end(), {{id, eventNavLights, l.nav},
                                                     {id, eventBeaconLights, l.beacon},
                                                     {id, eventLandingLights, l.landing},
                                                     {id, eventTaxiLights, l.taxi},
                                                     {id, eventStrobes, l.strobes},
                                                     {id, eventLogoLights, l.logo},
                                                     {id, eventCabinLights, l.cabin}});
}

void gf_queueNavLights(std::uint32_t objectId, std::uint32_t value)
{
    gf_queueAiEvent(objectId, eventNavLights, value);
}

void gf_queueCabinLights(std::uint32_t objectId, std::uint32_t value)
{
    gf_queueAiEvent(objectId, eventCabinLights, value);
}

void gf_queueRemoval(std::uint32_t objectId)
{
    std::lock_guard lock(simConnectMutex);
    removalQueue.push_back(objectId);
}

void gf_exchangePositionBuffers()
{
    std::unique_lock lock(simConnectMutex, std::try_to_lock);
    if (!lock.owns_lock()) {
        // A slow simulator loses this tick's positions rather than stalling the worker.
        if (frameRate.load() <= 50.0f) {
            fillPositions.clear();
            return;
        }
        lock.lock();
    }
    std::swap(fillPositions, sendPositions);
    fillPositions.clear();
}

bool removeFromPendingQueue(std::vector<AiCreateRequest>& queue, const std::string& callsign)
{
    return std::erase_if(queue, [&callsign](const AiCreateRequest& r) { return r.callsign == callsign; }) > 0;
}

bool lf_createsWithEx1(const SimConnectFunctions& sc) { return !MSFS_2020.value() && sc.AICreateNonATCAircraft_EX1; }

void lf_createAiAircraft(const OpenConnection& c, const AiCreateRequest& request)
{
    SIMCONNECT_DATA_INITPOSITION position{};
    position.Latitude = request.position.latitude;
    position.Longitude = request.position.longitude;
    position.Altitude = request.position.altitude;
    position.Pitch = request.position.pitch;
    position.Bank = request.position.bank;
    position.Heading = request.position.heading;
    position.OnGround = request.position.onGround;
    position.Airspeed = request.position.airspeed;
    // MSFS 2024 creates modular aircraft only through its own call; the title names the livery,
    // so the livery name stays empty.
    const HRESULT result = lf_createsWithEx1(c.sc)
                               ? c.sc.AICreateNonATCAircraft_EX1(c.handle, request.liveryTitle.c_str(), "",
                                                                 request.callsign.c_str(), position, requestCreate)
                               : c.sc.AICreateNonATCAircraft(c.handle, request.liveryTitle.c_str(),
                                                             request.callsign.c_str(), position, requestCreate);
    if (result < 0) {
        logMarked(fmt::format("! Simcon call to create ac in sim failed, hexid:{}, liv: \"{}\", callsign: {}",
                              request.recordId, request.liveryTitle, request.callsign));
        gf_simConnectRequestError();
        return;
    }
    simConnectErrorRuns.store(0); // the simulator takes creations: no more waiting before restarts
    DWORD sendId = 0;
    if (c.sc.GetLastSentPacketID(c.handle, &sendId) != 0) {
        logMarked("GetLastSentPacketID");
        sendId = 0;
    }
    pendingCreations.push_back(
        PendingCreation{static_cast<std::uint32_t>(sendId), request.recordId, request.callsign, clock().steadyNow()});
}

void lf_expirePendingCreations()
{
    const auto now = clock().steadyNow();
    for (std::size_t i = 0; i < pendingCreations.size();) {
        const PendingCreation& p = pendingCreations[i];
        if (now - p.sentAt < pendingCreationLifetime) {
            ++i;
            continue;
        }
        logMarked(fmt::format("{} was not seen in the simulator {} s after its creation, its record is dropped",
                              p.tailNumber,
                              std::chrono::duration_cast<std::chrono::seconds>(pendingCreationLifetime).count()));
        const std::uint32_t recordId = p.recordId;
        pendingCreations[i] = std::move(pendingCreations.back());
        pendingCreations.pop_back();
        if (recordId != 0) queueSimObjectEvent(SimObjectEvent{0, recordId, 0, creationExpired, 0, 0});
    }
}

namespace {

// The failed position updates since the last line about them, and when that line was written.
std::uint64_t unreportedPositionFailures = 0;
std::optional<std::chrono::steady_clock::time_point> lastPositionFailureLine;

// An aircraft whose updates fail stands still in the simulator: worth a line, but one a while
// at most, since there may be one failure per aircraft and frame.
void notePositionFailure(std::uint32_t objectId, HRESULT result)
{
    ++failedPositionUpdates;
    ++unreportedPositionFailures;
    constexpr auto quietTime = std::chrono::seconds(10);
    const auto now = clock().steadyNow();
    if (lastPositionFailureLine && now - *lastPositionFailureLine < quietTime) return;
    logMarked(fmt::format("SimConnect position update failed ({:#x}) for object {}: {} failure{} since the last such "
                          "line, {} in all",
                          static_cast<std::uint32_t>(result), objectId, unreportedPositionFailures,
                          pluralS(unreportedPositionFailures), failedPositionUpdates.load()));
    unreportedPositionFailures = 0;
    lastPositionFailureLine = now;
}

void emptyQueues()
{
    aiCreateQueue.clear();
    clientEventQueue.clear();
    removalQueue.clear();
    sendPositions.clear();
}

void sendClientEvents(const OpenConnection& c)
{
    for (const ClientEvent& e : clientEventQueue) {
        // Flaps only move on an object that is out of the simulator's hands.
        if (e.eventId == eventFlaps) c.sc.AIReleaseControl(c.handle, e.objectId, requestRelease);
        const HRESULT result = c.sc.TransmitClientEvent(c.handle, e.objectId, e.eventId, e.data, notificationGroup, 0);
        if (result != 0) {
            setStatus(fmt::format("SimConnect TransmitClientEvent: {} fails", e.eventId), true);
            continue;
        }
        if (e.eventId == eventFlaps) c.sc.AIReleaseControl(c.handle, e.objectId, requestRelease);
    }
    clientEventQueue.clear();
}

} // namespace

void lf_onFrame()
{
    // Outside simConnectMutex: expiry queues object events, which take objectEventMutex.
    lf_expirePendingCreations();
    std::unique_lock lock(simConnectMutex, std::try_to_lock);
    if (!lock.owns_lock()) return; // everything stays queued for the next frame
    const auto c = openConnection();
    if (simConnectFailed.load() || !c) {
        emptyQueues();
        return;
    }
    const std::uint32_t user = userObjectId.load();
    for (PositionUpdate& p : sendPositions) {
        if (p.objectId <= user) continue;
        const HRESULT result = c->sc.SetDataOnSimObject(c->handle, defPosition, p.objectId, 0, 0, 64, &p);
        if (result < 0) notePositionFailure(p.objectId, result);
    }
    sendPositions.clear();
    sendClientEvents(*c);
    for (const AiCreateRequest& request : aiCreateQueue) lf_createAiAircraft(*c, request);
    aiCreateQueue.clear();
    for (std::uint32_t id : removalQueue) {
        if (id <= user) {
            logMarked(fmt::format("Simconnect call to remove ac with objectid {}", id));
            continue;
        }
        if (c->sc.AIRemoveObject(c->handle, id, requestRemove) != 0) {
            logMarked(fmt::format("{}!Simconnect call to remove AI ac from sim failed, id {}?", nowTimeText(), id));
            gf_simConnectRequestError();
        }
    }
    removalQueue.clear();
}

void clearSimConnectQueues()
{
    {
        std::lock_guard lock(simConnectMutex);
        emptyQueues();
        fillPositions.clear();
        failedPositionUpdates = 0;
        unreportedPositionFailures = 0;
        lastPositionFailureLine.reset();
    }
    pendingCreations.clear();
}

} // namespace qtr
