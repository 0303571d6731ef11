#include "links/simconnect_client.h"

#include "app/main_window.h"
#include "foundation/clock.h"
#include "foundation/errors.h"
#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/version.h"
#include "links/object_events.h"
#include "links/simconnect_dispatch.h"
#include "platform/simconnect/simconnect.h"
#include "traffic/run_control.h"
#include "traffic/worker.h"

#include <fmt/format.h>

#include <chrono>

#include <mmsystem.h>

namespace qtr {

std::atomic<void*> simConnectHandle{nullptr};
std::atomic<std::uint32_t> userObjectId{2};
UserAircraftState userState;
UserAircraftState workerUserState;
std::atomic<bool> userOnGround{false};
std::atomic<bool> userOnGroundKnown{false};
std::atomic<std::int64_t> simEpochTime{0};
std::atomic<float> frameRate{0.0f};
std::atomic<double> userHalfWingSpan{0.0};
std::atomic<bool> userModelKnown{false};
std::atomic<std::uint32_t> userCategory{0};

namespace {

struct Variable {
    const char* name;
    const char* unit; // null: none
    DWORD type;
};

struct Definition {
    DataDefinitionId id;
    std::vector<Variable> variables;
};

// In the order they are built; within each, the order of the fields of its data block.
const std::vector<Definition>& definitions()
{
    static const std::vector<Definition> table = {
        {defUserTitle, {{"TITLE", nullptr, scDataStringV}}},
        {defUserModel, {{"ATC MODEL", nullptr, scDataString32}}},
        {defUserOnGround, {{"SIM ON GROUND", "Bool", scDataInt64}}},
        {defPosition,
         {{"Plane Latitude", "degree", scDataFloat64},
          {"Plane Longitude", "degree", scDataFloat64},
          {"Plane Pitch degrees", "radians", scDataFloat64},
          {"Plane Bank degrees", "radians", scDataFloat64},
          {"Plane Heading degrees true", "radians", scDataFloat64},
          {"Plane Altitude", "feet", scDataFloat64},
          {"Vertical Speed", "feet per second", scDataFloat64},
          {"Airspeed True", "knots", scDataFloat64}}},
        {defUserState,
         {{"Plane Latitude", "degree", scDataFloat64},
          {"Plane Longitude", "degree", scDataFloat64},
          {"Plane Pitch degrees", "radians", scDataFloat64},
          {"Plane Bank degrees", "radians", scDataFloat64},
          {"Plane Heading degrees true", "radians", scDataFloat64},
          {"Plane Altitude", "feet", scDataFloat64},
          {"Plane Alt Above Ground", "feet", scDataFloat64},
          {"Ground Velocity", "knots", scDataFloat64},
          {"ZULU TIME", "Seconds", scDataInt64},
          {"ZULU DAY OF YEAR", "Number", scDataInt64},
          {"ZULU YEAR", "Number", scDataInt64},
          {"LIGHT STATES", "Mask", scDataInt64}}},
        {defStaticCg, {{"Static CG to Ground", "feet", scDataFloat64}, {"Static Pitch", "radians", scDataFloat64}}},
        {defLightStates, {{"Light On States", "Mask", scDataInt64}}},
        {defAircraftInRange,
         {{"Plane Alt Above Ground", "feet", scDataFloat64},
          {"Ground Altitude", "feet", scDataFloat64},
          {"SIM ON GROUND", "Bool", scDataInt64},
          {"ATC ID", nullptr, scDataString32}}},
        {defSpoilersThrottle,
         {{"SPOILERS HANDLE POSITION", "percent", scDataFloat64},
          {"GENERAL ENG THROTTLE LEVER POSITION:1", "percent", scDataFloat64},
          {"GENERAL ENG THROTTLE LEVER POSITION:2", "percent", scDataFloat64}}},
    };
    return table;
}

struct Mapping {
    ClientEventId id;
    const char* simEvent;
};

const Mapping mappings[] = {
    {eventGear, "GEAR_SET"},
    {eventEngineAutoStart, "ENGINE_AUTO_START"},
    {eventEngineAutoShutdown, "ENGINE_AUTO_SHUTDOWN"},
    {eventThrottle, "THROTTLE_SET"},
    {eventFlaps, "FLAPS_SET"},
    {eventSpoilers, "SPOILERS_SET"},
    {eventNavLights, "NAV_LIGHTS_SET"},
    {eventBeaconLights, "BEACON_LIGHTS_SET"},
    {eventLandingLights, "LANDING_LIGHTS_SET"},
    {eventTaxiLights, "TAXI_LIGHTS_SET"},
    {eventStrobes, "STROBES_SET"},
    {eventLogoLights, "LOGO_LIGHTS_SET"},
    {eventCabinLights, "CABIN_LIGHTS_SET"},
    {eventAllLightsToggle, "ALL_LIGHTS_TOGGLE"},
    {eventFreezeLatLon, "FREEZE_LATITUDE_LONGITUDE_SET"},
    {eventFreezeAltitude, "FREEZE_ALTITUDE_SET"},
    {eventFreezeAttitude, "FREEZE_ATTITUDE_SET"},
};

// Every mapped event but ENGINE_AUTO_START, which is still transmitted with this group.
const ClientEventId groupEvents[] = {
    eventNavLights,  eventBeaconLights, eventLandingLights, eventTaxiLights,     eventStrobes,      eventLogoLights,
    eventCabinLights, eventAllLightsToggle, eventFlaps,     eventSpoilers,       eventGear,         eventEngineAutoShutdown,
    eventThrottle,   eventFreezeLatLon, eventFreezeAltitude, eventFreezeAttitude,
};

void lf_addToGroup(ClientEventId event)
{
    SimConnect_AddClientEventToNotificationGroup(simConnectHandle.load(), notificationGroup, event, TRUE);
}

HRESULT requestOnUser(RequestId request, DataDefinitionId definition, DWORD period)
{
    return SimConnect_RequestDataOnSimObject(simConnectHandle.load(), request, definition, scUserObject, period, 0, 0, 0, 0);
}

std::string waitingText() { return std::string("Waiting for MSFS 20") + (MSFS_2020.value() ? "20" : "24") + " ..."; }

bool anyStop(const std::stop_token& stop) { return stopRequested.load() || windowClosed.load() || stop.stop_requested(); }

void closeConnection()
{
    lf_reserveUserStand();
    mainWindow.simConnected = false;
    mainWindow.invalidate(linksBand);
    if (!simConnectHandle.load()) return;
    if (SimConnect_Close(simConnectHandle.load()) < 0) {
        logMarked("Closing SimConnect failed?!");
    } else {
        logLine("SimConnect closed ok");
    }
}

} // namespace

void lf_registerSimConnect()
{
    HANDLE h = simConnectHandle.load();
    SimConnect_SubscribeToSystemEvent(h, eventSim, "Sim");
    SimConnect_SubscribeToSystemEvent(h, eventObjectAdded, "ObjectAdded");
    SimConnect_SubscribeToSystemEvent(h, eventObjectRemoved, "ObjectRemoved");
    SimConnect_SubscribeToSystemEvent(h, eventFlightLoaded, "FlightLoaded");
    SimConnect_SubscribeToSystemEvent(h, eventFrame, "Frame");
    for (const Definition& d : definitions())
        for (const Variable& v : d.variables) SimConnect_AddToDataDefinition(h, d.id, v.name, v.unit, v.type, 0.0f, scUnused);
    for (const Mapping& m : mappings) SimConnect_MapClientEventToSimEvent(h, m.id, m.simEvent);
    for (ClientEventId e : groupEvents) lf_addToGroup(e);
    SimConnect_SetNotificationGroupPriority(h, notificationGroup, 1);
}

void gf_simConnectThread(std::stop_token stop)
{
    bool firstPass = true;
    while (!anyStop(stop)) {
        if (firstPass) {
            firstPass = false;
            setStatus(waitingText(), true);
            mainWindow.invalidate(statusBand);
        }
        HANDLE handle = nullptr;
        if (SimConnect_Open(&handle, programName, nullptr, 0, nullptr, 0) >= 0 && handle) {
            simConnectHandle = handle;
            break;
        }
        sleepMs(1000);
    }
    if (!simConnectHandle.load()) {
        closeConnection();
        return;
    }
    lf_registerSimConnect();
    timeBeginPeriod(1);
    std::exception_ptr failure;
    while (!stop.stop_requested()) {
        SimConnect_CallDispatch(simConnectHandle.load(), lf_dispatch, nullptr);
        failure = takeDispatchError();
        if (failure || simulatorQuit()) break;
        const auto began = clock().steadyNow();
        clock().sleepUntil(began + std::chrono::milliseconds(1));
    }
    timeEndPeriod(1);
    if (failure) {
        try {
            std::rethrow_exception(failure);
        } catch (const UserErrorException& e) {
            // The user must switch the simulator, the check box or the aircraft: the run goes on
            // without the connection until it is stopped otherwise.
            setError(e.what());
        } catch (const std::exception& e) {
            setError(e.what());
            simRunning.store(false);
            simNotConnected();
        } catch (...) {
            setError("unknown exception in gf_simConnectThread");
            simRunning.store(false);
            simNotConnected();
        }
    } else if (simulatorQuit()) {
        // The simulator closed: the same end as a lost simulator.
        simRunning.store(false);
        simNotConnected();
    }
    closeConnection();
}

void reserveSimConnectQueues()
{
    {
        std::lock_guard lock(simConnectMutex);
        fillPositions.reserve(256);
        sendPositions.reserve(256);
        aiCreateQueue.reserve(256);
        removalQueue.reserve(256);
    }
    pendingCreations.reserve(256);
    addedObjects.reserve(256);
    simConnectFailed.store(false);
}

void resetSimConnectState()
{
    simRunning.store(false);
    simConnectHandle.store(nullptr);
    userObjectId.store(2);
    {
        std::lock_guard lock(simConnectMutex);
        userState = UserAircraftState{};
        workerUserState = UserAircraftState{};
    }
    simConnectFailed.store(false);
    clearSimConnectQueues();
    clearObjectEvents();
    resetDispatchState();
    userOnGround.store(false);
    userOnGroundKnown.store(false);
    newUserData.store(false);
}

void gf_simConnectRequestError()
{
    setStatus("SimConnect request error", true);
    simConnectFailed.store(true);
    requestStop(ExitCode::SimConnectError, 9);
}

void gf_requestUserAircraftTitleModel()
{
    std::lock_guard lock(simConnectMutex);
    if (requestOnUser(requestUserTitle, defUserTitle, scPeriodOnce) < 0) {
        logMarked("SimConnect request user ac title fails");
        gf_simConnectRequestError();
    }
    if (requestOnUser(requestUserModel, defUserModel, scPeriodOnce) < 0) {
        logMarked("SimConnect reques user ac model fails");
        gf_simConnectRequestError();
    }
}

UserAircraftState gf_getUserAircraftState()
{
    std::lock_guard lock(simConnectMutex);
    if (!simConnectFailed.load() && requestOnUser(requestUserState, defUserState, scPeriodOnce) < 0) {
        logMarked("SimConnect request user ac position fails");
        gf_simConnectRequestError();
    }
    workerUserState = userState;
    return userState;
}

void gf_requestAircraftInRange(std::uint32_t radiusMetres)
{
    if (simConnectFailed.load()) return;
    std::lock_guard lock(simConnectMutex);
    if (SimConnect_RequestDataOnSimObjectType(simConnectHandle.load(), requestAircraftInRange, defAircraftInRange, radiusMetres,
                                              scObjectAircraft) < 0) {
        logLine("SimConnect request ac within range fails");
        gf_simConnectRequestError();
    }
}

void gf_requestUserOnGround()
{
    std::lock_guard lock(simConnectMutex);
    if (requestOnUser(requestUserOnGround, defUserOnGround, scPeriodSecond) < 0) {
        logLine("SimConnect request ac gnd/air fails");
        gf_simConnectRequestError();
    }
}

} // namespace qtr
