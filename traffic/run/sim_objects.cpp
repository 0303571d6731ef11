#include "traffic/run/sim_objects.h"

#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/win_text.h"
#include "links/flight_plan.h"
#include "links/object_events.h"
#include "links/simconnect_client.h"
#include "links/simconnect_connection.h"
#include "liveries/livery_reports.h"
#include "liveries/type_queries.h"
#include "platform/simconnect/simconnect.h"
#include "traffic/state/lights.h"
#include "traffic/state/records.h"
#include "traffic/parking/static_parking.h"
#include "traffic/state/removal.h"
#include "traffic/state/stands.h"
#include "traffic/state/traffic_state.h"

#include <fmt/format.h>

#include <algorithm>

namespace qtr {

namespace {
// The removal asked for while the object was being created is due now: the flag has done its
// work, and removal refuses records that still carry it.
void removeNowCreated(StaticAircraft& record)
{
    record.removeWhenCreated = 0;
    removeAircraftFromSim(record);
}
} // namespace

std::vector<SimObjectEvent> createdObjects;

namespace {

constexpr std::uint32_t throttleValues[] = {0, 4914, 8191, 11468, 16383};
constexpr std::uint32_t flapValues[] = {0, 3072, 10240, 16383};

LiveAircraft* liveWithFlightId(std::uint32_t flightId)
{
    for (LiveAircraft& a : liveAircraft)
        if (a.flightId == flightId) return &a;
    return nullptr;
}

LiveAircraft* liveWithObjectId(std::uint32_t objectId)
{
    for (LiveAircraft& a : liveAircraft)
        if (a.objectid == objectId) return &a;
    return nullptr;
}

template <class Record>
void eraseAt(std::vector<Record>& records, Record* record)
{
    if (record != &records.back()) *record = std::move(records.back());
    records.pop_back();
}

void allLightsToggle(std::uint32_t objectId)
{
    std::lock_guard lock(simConnectMutex);
    const auto c = openConnection();
    if (c && c->sc.TransmitClientEvent(c->handle, objectId, eventAllLightsToggle, 0, notificationGroup, 0) < 0) {
        logMarked("SimConnect gf_allLightsToggle fails");
        gf_simConnectRequestError();
    }
}

// The record of a creation that came to nothing: refused by the simulator (its livery is
// reported as one that failed) or never seen after it was sent.
void dropCreatedRecord(std::uint32_t recordId, bool refused)
{
    const auto drop = [refused](auto& records, auto* record) {
        if (refused) {
            onLiveryNotCreated(*record);
        } else {
            logLine(fmt::format("{} dropped: its object never appeared in the simulator", flightText(*record)));
        }
        eraseAt(records, record);
    };
    if (isLiveFlightId(recordId)) {
        if (LiveAircraft* record = liveWithFlightId(recordId)) drop(liveAircraft, record);
        return;
    }
    for (StaticAircraft& record : staticAircraft)
        if (record.flightId == recordId) return drop(staticAircraft, &record);
}

} // namespace

void processSimObjectEvents()
{
    std::lock_guard lock(objectEventMutex);
    for (const SimObjectEvent& event : objectEventQueue) handleSimObjectEvent(event);
    objectEventQueue.clear();
    bool finished = false;
    for (SimObjectEvent& entry : createdObjects) {
        onObjectCreatedStep(entry);
        if (entry.tick < 0) finished = true;
    }
    if (finished) std::erase_if(createdObjects, [](const SimObjectEvent& e) { return e.tick < 0; });
}

void handleSimObjectEvent(const SimObjectEvent& event)
{
    switch (event.kind) {
    case liveCreated:
        if (LiveAircraft* record = liveWithFlightId(event.recordId); record && onLiveObjectCreated(*record, event))
            createdObjects.push_back(event);
        return;
    case staticCreated:
        createdObjects.push_back(event);
        return;
    case objectRemoved:
        onObjectRemoved(event.objectId);
        return;
    case groundData: {
        LiveAircraft* record = liveWithObjectId(event.objectId);
        if (!record) return;
        if (event.recordId == 1 && !record->onGround && record->groundState < 2) onTouchdown(*record);
        record->heightAboveGround = event.value2;
        if (record->onGround || record->groundState >= 2) record->alt = record->staticCgHeight + event.value1;
        return;
    }
    case staticCg: {
        LiveAircraft* record = liveWithObjectId(event.objectId);
        if (!record) return;
        if (event.value1 >= 1.0 && event.value1 <= 35.0) {
            record->staticCgHeight = event.value1;
        } else if (LOG.value()) {
            logMarked(fmt::format("{}: static CG {:.1F}ft wrong?", flightText(*record), event.value1));
        }
        const double pitch = event.value2;
        record->staticPitch = (pitch <= -0.017453292519943295 || pitch > 0.04363323129985824) ? 0.012217304763960306
                                                                                              : pitch;
        return;
    }
    case creationFailed:
        dropCreatedRecord(event.recordId, true);
        return;
    case creationExpired:
        dropCreatedRecord(event.recordId, false);
        return;
    default:
        return;
    }
}

void onObjectCreatedStep(SimObjectEvent& entry)
{
    if (entry.tick < 0) return;
    if (entry.tick < setupTicks) {
        ++entry.tick;
        if (entry.kind == liveCreated && (entry.tick == 50 || entry.tick == 100)) allLightsToggle(entry.objectId);
    }
    if (entry.tick != setupTicks) return;
    if (entry.kind == staticCreated) {
        for (StaticAircraft& record : staticAircraft)
            if (onStaticObjectParked(entry, record)) return;
    } else if (entry.kind == liveCreated) {
        if (LiveAircraft* record = liveWithFlightId(entry.recordId)) {
            setInitialLights(*record);
            entry.tick = -1;
            if (record->removeWhenCreated) removeNowCreated(*record);
            return;
        }
    }
    // The record went before its object was set up: nothing is left to do for it.
    if (LOG.value()) logIndented(fmt::format("object {} has no record left to set up", entry.objectId));
    entry.tick = -1;
}

bool onStaticObjectParked(SimObjectEvent& entry, StaticAircraft& record)
{
    if (record.flightId != entry.recordId) return false;
    record.state = stateActive;
    record.objectid = entry.objectId;
    setParkedLights(record);
    entry.tick = -1;
    if (LOG.value()) logLine(fmt::format("{:8}: {:8} parked", sidName(record.sid), record.callsign));
    if (record.removeWhenCreated) removeNowCreated(record);
    return true;
}

bool onLiveObjectCreated(LiveAircraft& record, const SimObjectEvent& event)
{
    if (event.objectId < 3) return false;
    record.objectid = event.objectId;
    record.heightAboveGround = event.value2;
    if (!record.stream.empty() && !record.stream.back().airborne) {
        record.onGround = true;
        if (record.category != categoryRotorcraft) gf_queueAiEvent(record.objectid, eventGear, 1);
        record.groundTimer = 0;
        if (record.phase != phaseParked) {
            record.groundState = 1;
        } else {
            record.daySlot = currentSlot.load();
            if (LOG.value()) logLine(fmt::format("{:8}: {:8} parks", sidName(record.sid), record.callsign));
            dropStaticCandidates(record.sid);
            for (StaticAircraft& other : staticAircraft) {
                if (other.state != stateActive || other.sid != record.sid) continue;
                logLine(fmt::format("{:8}: {:8} parks over static {} ? static will be removed ...", sidName(record.sid),
                                    record.callsign, other.callsign));
                removeAircraftFromSim(other);
            }
            record.groundState = 1;
        }
    }
    createFlightPlan(record);
    std::lock_guard lock(simConnectMutex);
    const auto c = openConnection();
    if (c && c->sc.RequestDataOnSimObject(c->handle, requestStaticCg, defStaticCg, record.objectid,
                                          SIMCONNECT_PERIOD_ONCE, 0, 0, 0, 0) < 0) {
        logMarked("SimConnect request StaticCG fails");
        gf_simConnectRequestError();
    }
    return true;
}

void setInitialLights(LiveAircraft& record)
{
    const std::uint32_t id = record.objectid;
    const bool rotorcraft = record.category == categoryRotorcraft;
    const bool airborne = record.stream.empty() || record.stream.back().airborne;
    if (airborne) {
        gf_queueAiEvent(id, eventEngineAutoStart, 0);
        if (!rotorcraft) gf_queueAiEvent(id, eventSpoilers, 0);
        gf_queueLights(id, airborneLightsOnAppearing(record.alt, record.heightAboveGround));
        record.state = stateActive;
        return;
    }
    if (!rotorcraft) gf_queueAiEvent(id, eventSpoilers, 0);
    const bool parked = record.phase == phaseParked;
    if (parked) {
        gf_queueAiEvent(id, eventEngineAutoShutdown, 0);
    } else {
        gf_queueAiEvent(id, eventEngineAutoStart, 0);
    }
    gf_queueLights(id, groundLightsOnAppearing(record.phase, NAV_LIGHTS_WHILE_PARKED.value()));
    const std::uint32_t throttle = rotorcraft ? 4 : 0;
    if (record.throttleLevel != throttle) {
        gf_queueAiEvent(id, eventThrottle, throttleValues[throttle]);
        record.throttleLevel = throttle;
    }
    if (!rotorcraft) {
        const std::uint32_t stage = record.phase == phaseTaxi ? 1 : 0;
        if (record.flapStage != stage) {
            gf_queueAiEvent(id, eventFlaps, flapValues[stage]);
            record.flapStage = stage;
        }
    }
    record.state = stateActive;
}

void onTouchdown(LiveAircraft& record)
{
    if (record.state == stateRemovingFromSim || record.phase == phaseTakeOff) return;
    if (record.landingCounter != 0 || record.approach) {
        record.landingRoll = true;
        record.landingHeading = record.heading;
        if (record.category != categoryRotorcraft) gf_queueAiEvent(record.objectid, eventSpoilers, 16383);
        if (record.category != categoryLight) {
            const double throttle = record.reverseByThrottle ? -100.0 : 100.0;
            double data[3] = {100.0, throttle, throttle};
            std::lock_guard lock(simConnectMutex);
            if (const auto c = openConnection())
                c->sc.SetDataOnSimObject(c->handle, defSpoilersThrottle, record.objectid, 0, 0, sizeof data, data);
        }
        const std::int32_t n = static_cast<std::int32_t>(record.rolloutTicks);
        if (n <= 0) {
            logLine(fmt::format("{} ! onGround slots {:.1F}", record.callsign, static_cast<double>(n)));
            record.rollBankStep = 0;
            record.rollPitchStep = record.staticPitch;
        } else {
            record.rollBankStep = (0 - record.bank) / n;
            record.rollPitchStep = (record.staticPitch - record.pitch) / n;
        }
        // The nose comes down to the static pitch tick by tick (the motion's pitch ramp).
        record.pitchRamp = 1;
        record.pitchRate = record.rollPitchStep;
        record.bankRate = record.rollBankStep;
    }
    record.onGround = true;
    record.groundTimer = 0;
    record.groundState = 1;
}

void createFlightPlan(LiveAircraft& record)
{
    if (record.origin.empty() || record.destination.empty()) return;
    // No folder for plans in this run: said once at the start, not for every aircraft.
    if (flightPlanFolder.empty()) {
        record.hasFlightPlan = false;
        return;
    }
    if (!isFlightPlanAirportCode(record.origin) || !isFlightPlanAirportCode(record.destination)) {
        logLine(fmt::format("{} no flight plan for the airport codes \"{}\" and \"{}\"", flightFullText(record),
                            record.origin, record.destination));
        record.hasFlightPlan = false;
        return;
    }
    const std::filesystem::path path = flightPlanFolder / flightPlanPath(record.objectid);
    bool assigned = false;
    if (writeFlightPlanFile(path, record)) {
        if (MSFS_2020.value()) {
            const std::string narrow = pathInCodePage(path);
            std::lock_guard lock(simConnectMutex);
            const auto c = openConnection();
            assigned = c && !narrow.empty() &&
                       c->sc.AISetAircraftFlightPlan(c->handle, record.objectid, narrow.c_str(), requestFlightPlan) >=
                           0;
        } else {
            assigned = true; // the 2024 simulator only gets the file
        }
    }
    if (!assigned) logMarked(fmt::format("{} creating a flight plan failed", flightFullText(record)));
    record.hasFlightPlan = assigned;
}

void onObjectRemoved(std::uint32_t objectId)
{
    if (LiveAircraft* record = liveWithObjectId(objectId)) {
        if (record->state == stateLiveryRespawn) {
            record->state = stateBuffer;
            record->throttleLevel = 5;
            record->flapStage = 4;
            record->objectid = 0;
            return;
        }
        if (record->hasFlightPlan) {
            std::error_code ec;
            std::filesystem::remove(flightPlanFolder / flightPlanPath(objectId), ec);
        }
        eraseAt(liveAircraft, record);
        return;
    }
    for (StaticAircraft& record : staticAircraft) {
        if (record.objectid != objectId) continue;
        eraseAt(staticAircraft, &record);
        return;
    }
}

void clearObjectEvents()
{
    std::lock_guard lock(objectEventMutex);
    objectEventQueue.clear();
    createdObjects.clear();
}

} // namespace qtr
