#include "links/simconnect_queues.h"

#include "foundation/log.h"
#include "foundation/time_text.h"
#include "app/main_window.h"
#include "links/simconnect_client.h"
#include "platform/simconnect/simconnect.h"
#include "traffic/run_control.h"

#include <fmt/format.h>

#include <algorithm>

namespace qtr {

std::mutex simConnectMutex;
std::vector<AiCreateRequest> aiCreateQueue;
std::vector<ClientEvent> clientEventQueue;
std::vector<std::uint32_t> removalQueue;
std::vector<PositionUpdate> sendPositions;
std::vector<PositionUpdate> fillPositions;
std::vector<PendingCreation> pendingCreations;

bool isValidAtcId(const std::string& callsign) { return !callsign.empty() && callsign.size() <= maxAtcIdLength; }

bool gf_queueAiCreate(const AiCreateRequest& request)
{
    if (!isValidAtcId(request.callsign)) {
        logMarked(fmt::format("callsign \"{}\" cannot serve as an ATC ID, no creation", request.callsign));
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

void gf_queueNavLights(std::uint32_t objectId, std::uint32_t value) { gf_queueAiEvent(objectId, eventNavLights, value); }

void gf_queueCabinLights(std::uint32_t objectId, std::uint32_t value) { gf_queueAiEvent(objectId, eventCabinLights, value); }

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

void lf_createAiAircraft(const AiCreateRequest& request)
{
    HANDLE handle = simConnectHandle.load();
    SimConnectInitPosition position{};
    position.latitude = request.position.latitude;
    position.longitude = request.position.longitude;
    position.altitude = request.position.altitude;
    position.pitch = request.position.pitch;
    position.bank = request.position.bank;
    position.heading = request.position.heading;
    position.onGround = request.position.onGround;
    position.airspeed = request.position.airspeed;
    const HRESULT result = SimConnect_AICreateNonATCAircraft(handle, request.liveryTitle.c_str(),
                                                             request.callsign.c_str(), position, requestCreate);
    if (result < 0) {
        logMarked(fmt::format("! Simcon call to create ac in sim failed, hexid:{}, liv: \"{}\", callsign: {}",
                              request.recordId, request.liveryTitle, request.callsign));
        gf_simConnectRequestError();
        return;
    }
    DWORD sendId = 0;
    if (SimConnect_GetLastSentPacketID(handle, &sendId) != 0) {
        logMarked("GetLastSentPacketID");
        sendId = 0;
    }
    pendingCreations.push_back(PendingCreation{static_cast<std::uint32_t>(sendId), request.recordId, request.callsign});
}

namespace {

void emptyQueues()
{
    aiCreateQueue.clear();
    clientEventQueue.clear();
    removalQueue.clear();
    sendPositions.clear();
}

void sendClientEvents(HANDLE handle)
{
    for (const ClientEvent& e : clientEventQueue) {
        // Flaps only move on an object that is out of the simulator's hands.
        if (e.eventId == eventFlaps) SimConnect_AIReleaseControl(handle, e.objectId, requestRelease);
        const HRESULT result =
            SimConnect_TransmitClientEvent(handle, e.objectId, e.eventId, e.data, notificationGroup, 0);
        if (result != 0) {
            setStatus(fmt::format("SimConnect TransmitClientEvent: {} fails", e.eventId), true);
            continue;
        }
        if (e.eventId == eventFlaps) SimConnect_AIReleaseControl(handle, e.objectId, requestRelease);
    }
    clientEventQueue.clear();
}

} // namespace

void lf_onFrame()
{
    std::unique_lock lock(simConnectMutex, std::try_to_lock);
    if (!lock.owns_lock()) return; // everything stays queued for the next frame
    if (simConnectFailed.load()) {
        emptyQueues();
        return;
    }
    HANDLE handle = simConnectHandle.load();
    const std::uint32_t user = userObjectId.load();
    for (PositionUpdate& p : sendPositions) {
        if (p.objectId <= user) continue;
        SimConnect_SetDataOnSimObject(handle, defPosition, p.objectId, 0, 0, 64, &p);
    }
    sendPositions.clear();
    sendClientEvents(handle);
    for (const AiCreateRequest& request : aiCreateQueue) lf_createAiAircraft(request);
    aiCreateQueue.clear();
    for (std::uint32_t id : removalQueue) {
        if (id <= user) {
            logMarked(fmt::format("Simconnect call to remove ac with objectid {}", id));
            continue;
        }
        if (SimConnect_AIRemoveObject(handle, id, requestRemove) != 0) {
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
    }
    pendingCreations.clear();
}

} // namespace qtr
