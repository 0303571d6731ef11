#include "links/simconnect_client.h"

#include "foundation/indicators.h"
#include "foundation/clock.h"
#include "foundation/errors.h"
#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/version.h"
#include "links/object_events.h"
#include "links/simconnect_connection.h"
#include "links/simconnect_dispatch.h"
#include "platform/simconnect/event_handle.h"
#include "platform/simconnect/simconnect.h"
#include "foundation/run_control.h"
#include "foundation/time_text.h"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>

#ifdef _WIN32
#include <mmsystem.h> // the 1 ms timer resolution of the worker's 10 ms ticks
#endif

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
    SIMCONNECT_DATATYPE type;
};

struct Definition {
    DataDefinitionId id;
    std::vector<Variable> variables;
};

// In the order they are built; within each, the order of the fields of its data block.
const std::vector<Definition>& definitions()
{
    static const std::vector<Definition> table = {
        {defUserTitle, {{"TITLE", nullptr, SIMCONNECT_DATATYPE_STRINGV}}},
        {defUserModel, {{"ATC MODEL", nullptr, SIMCONNECT_DATATYPE_STRING32}}},
        {defUserOnGround, {{"SIM ON GROUND", "Bool", SIMCONNECT_DATATYPE_INT64}}},
        {defPosition,
         {{"Plane Latitude", "degree", SIMCONNECT_DATATYPE_FLOAT64},
          {"Plane Longitude", "degree", SIMCONNECT_DATATYPE_FLOAT64},
          {"Plane Pitch degrees", "radians", SIMCONNECT_DATATYPE_FLOAT64},
          {"Plane Bank degrees", "radians", SIMCONNECT_DATATYPE_FLOAT64},
          {"Plane Heading degrees true", "radians", SIMCONNECT_DATATYPE_FLOAT64},
          {"Plane Altitude", "feet", SIMCONNECT_DATATYPE_FLOAT64},
          {"Vertical Speed", "feet per second", SIMCONNECT_DATATYPE_FLOAT64},
          {"Airspeed True", "knots", SIMCONNECT_DATATYPE_FLOAT64}}},
        {defUserState,
         {{"Plane Latitude", "degree", SIMCONNECT_DATATYPE_FLOAT64},
          {"Plane Longitude", "degree", SIMCONNECT_DATATYPE_FLOAT64},
          {"Plane Pitch degrees", "radians", SIMCONNECT_DATATYPE_FLOAT64},
          {"Plane Bank degrees", "radians", SIMCONNECT_DATATYPE_FLOAT64},
          {"Plane Heading degrees true", "radians", SIMCONNECT_DATATYPE_FLOAT64},
          {"Plane Altitude", "feet", SIMCONNECT_DATATYPE_FLOAT64},
          {"Plane Alt Above Ground", "feet", SIMCONNECT_DATATYPE_FLOAT64},
          {"Ground Velocity", "knots", SIMCONNECT_DATATYPE_FLOAT64},
          {"ZULU TIME", "Seconds", SIMCONNECT_DATATYPE_INT64},
          {"ZULU DAY OF YEAR", "Number", SIMCONNECT_DATATYPE_INT64},
          {"ZULU YEAR", "Number", SIMCONNECT_DATATYPE_INT64},
          {"LIGHT STATES", "Mask", SIMCONNECT_DATATYPE_INT64}}},
        {defStaticCg,
         {{"Static CG to Ground", "feet", SIMCONNECT_DATATYPE_FLOAT64},
          {"Static Pitch", "radians", SIMCONNECT_DATATYPE_FLOAT64}}},
        {defLightStates, {{"Light On States", "Mask", SIMCONNECT_DATATYPE_INT64}}},
        {defAircraftInRange,
         {{"Plane Alt Above Ground", "feet", SIMCONNECT_DATATYPE_FLOAT64},
          {"Ground Altitude", "feet", SIMCONNECT_DATATYPE_FLOAT64},
          {"SIM ON GROUND", "Bool", SIMCONNECT_DATATYPE_INT64},
          {"ATC ID", nullptr, SIMCONNECT_DATATYPE_STRING32}}},
        {defSpoilersThrottle,
         {{"SPOILERS HANDLE POSITION", "percent", SIMCONNECT_DATATYPE_FLOAT64},
          {"GENERAL ENG THROTTLE LEVER POSITION:1", "percent", SIMCONNECT_DATATYPE_FLOAT64},
          {"GENERAL ENG THROTTLE LEVER POSITION:2", "percent", SIMCONNECT_DATATYPE_FLOAT64}}},
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
    eventNavLights, eventBeaconLights, eventLandingLights,  eventTaxiLights,
    eventStrobes,   eventLogoLights,   eventCabinLights,    eventAllLightsToggle,
    eventFlaps,     eventSpoilers,     eventGear,           eventEngineAutoShutdown,
    eventThrottle,  eventFreezeLatLon, eventFreezeAltitude, eventFreezeAttitude,
};

void lf_addToGroup(const OpenConnection& c, ClientEventId event)
{
    c.sc.AddClientEventToNotificationGroup(c.handle, notificationGroup, event, TRUE);
}

HRESULT requestOnUser(const OpenConnection& c, RequestId request, DataDefinitionId definition, SIMCONNECT_PERIOD period)
{
    return c.sc.RequestDataOnSimObject(c.handle, request, definition, SIMCONNECT_OBJECT_ID_USER, period, 0, 0, 0, 0);
}

std::string waitingText() { return std::string("Waiting for MSFS 20") + (MSFS_2020.value() ? "20" : "24") + " ..."; }

bool anyStop(const std::stop_token& stop)
{
    return stopRequested.load() || windowClosed.load() || stop.stop_requested();
}

// What the user reads while the library is missing; the program keeps waiting for it.
std::string missingLibraryText(const std::string& problem)
{
    return fmt::format("{}: copy the SimConnect.dll of the MSFS SDK (folder \"SimConnect SDK\\lib\") beside {}.exe, "
                       "{} waits for it",
                       problem, programName, programName);
}

// Shows a missing library on the status line, logged once per problem, and again whenever the
// line is free; takes the notice back once the library loads. A status text, not an error: an
// error would hide what the window's edits answer meanwhile.
class LibraryNotice {
public:
    void show(const std::string& problem)
    {
        const bool fresh = problem != shownProblem_;
        if (!fresh && !indicators.statusLine().empty()) return;
        shownProblem_ = problem;
        shownText_ = missingLibraryText(problem);
        setStatus(shownText_, fresh);
    }
    void withdraw()
    {
        if (shownText_.empty()) return;
        if (indicators.statusLine() == shownText_) clearStatus();
        shownText_.clear();
        shownProblem_.clear();
    }

private:
    std::string shownProblem_, shownText_;
};

// Tries the library and the simulator once; true when the connection is open. The simulator
// sets the event whenever a message waits for the dispatch.
bool tryOpen(LibraryNotice& notice, const AutoResetEvent& messages)
{
    const SimConnectLoad library = gf_loadSimConnect();
    if (!library.functions) {
        notice.show(library.problem);
        return false;
    }
    notice.withdraw();
    HANDLE handle = nullptr;
    if (library.functions->Open(&handle, programName, nullptr, 0, messages.handle(), 0) < 0 || !handle) return false;
    std::lock_guard lock(simConnectMutex);
    simConnectHandle = handle;
    return true;
}

// The close steps. The handle is closed and cleared under simConnectMutex, so that no call of the
// worker can reach a closed connection.
void closeConnection()
{
    lf_reserveUserStand();
    indicators.simConnected = false;
    indicators.invalidate(Band::links);
    std::lock_guard lock(simConnectMutex);
    const auto c = openConnection();
    if (!c) return;
    if (c->sc.Close(c->handle) < 0) {
        logMarked("Closing SimConnect failed?!");
    } else {
        logLine("SimConnect closed ok");
    }
    simConnectHandle.store(nullptr);
}

// Why the dispatch loop ended, shown and acted on: a user error leaves the run going without the
// connection; anything else, and a simulator that quit, ends it as a lost simulator.
void reportEndOfDispatch(std::exception_ptr failure)
{
    // No flight of ours runs without the connection: the worker stops its tick work.
    simRunning.store(false);
    if (!failure) {
        if (simulatorQuit()) simNotConnected();
        return;
    }
    try {
        std::rethrow_exception(failure);
    } catch (const UserErrorException& e) {
        // The user must switch the simulator, the check box or the aircraft.
        setError(e.what());
    } catch (const std::exception& e) {
        setError(e.what());
        simNotConnected();
    } catch (...) {
        setError("unknown exception in gf_simConnectThread");
        simNotConnected();
    }
}

} // namespace

void simNotConnected()
{
    if (stopRequested.load()) return;
    logLine(fmt::format("{} Flight Simulator no longer connected, {} will stop ...", nowTimeText(), programName));
    requestStop(ExitCode::SimWasClosed, 0);
}

std::optional<OpenConnection> openConnection()
{
    HANDLE handle = simConnectHandle.load();
    const SimConnectFunctions* functions = simConnectFunctions();
    if (!handle || !functions) return std::nullopt;
    return OpenConnection{handle, *functions};
}

void lf_registerSimConnect()
{
    const auto c = openConnection();
    if (!c) return;
    HANDLE h = c->handle;
    const SimConnectFunctions& sc = c->sc;
    sc.SubscribeToSystemEvent(h, eventSim, "Sim");
    sc.SubscribeToSystemEvent(h, eventObjectAdded, "ObjectAdded");
    sc.SubscribeToSystemEvent(h, eventObjectRemoved, "ObjectRemoved");
    sc.SubscribeToSystemEvent(h, eventFlightLoaded, "FlightLoaded");
    sc.SubscribeToSystemEvent(h, eventFrame, "Frame");
    for (const Definition& d : definitions())
        for (const Variable& v : d.variables)
            sc.AddToDataDefinition(h, d.id, v.name, v.unit, v.type, 0.0f, SIMCONNECT_UNUSED);
    for (const Mapping& m : mappings) sc.MapClientEventToSimEvent(h, m.id, m.simEvent);
    for (ClientEventId e : groupEvents) lf_addToGroup(*c, e);
    sc.SetNotificationGroupPriority(h, notificationGroup, 1);
}

void gf_simConnectThread(std::stop_token stop) { runSimConnectThread(stop, dispatchWaitLimit); }

void runSimConnectThread(std::stop_token stop, std::chrono::milliseconds dispatchWait)
{
    // Outlives the connection, through which the simulator may set it until the close. A stop
    // does not set it (a std::stop_callback's end can hang with this toolchain's library, whose
    // semaphores may miss a wake-up without futexes): the bounded wait sees the stop instead.
    AutoResetEvent messages;
    bool firstPass = true;
    LibraryNotice notice;
    while (!anyStop(stop)) {
        if (firstPass) {
            firstPass = false;
            setStatus(waitingText(), true);
            indicators.invalidate(Band::status);
        }
        if (tryOpen(notice, messages)) break;
        sleepMs(1000);
    }
    const auto connection = openConnection();
    if (!connection) {
        closeConnection();
        return;
    }
    lf_registerSimConnect();
#ifdef _WIN32
    timeBeginPeriod(1);
#endif
    std::exception_ptr failure;
    while (!stop.stop_requested()) {
        connection->sc.CallDispatch(connection->handle, lf_dispatch, nullptr);
        failure = takeDispatchError();
        if (failure || simulatorQuit()) break;
        // Until the simulator has a message, or for at most dispatchWait, after which the stop
        // is looked at and the dispatch finds nothing, as the polling loop's did.
        messages.wait(dispatchWait);
    }
#ifdef _WIN32
    timeEndPeriod(1);
#endif
    if (failure || simulatorQuit()) reportEndOfDispatch(failure);
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
    clearObjectEventQueue();
    resetDispatchState();
    userOnGround.store(false);
    userOnGroundKnown.store(false);
    newUserData.store(false);
}

std::atomic<int> simConnectErrorRuns{0};

int simConnectErrorRestartDelay(int earlierErrorRuns)
{
    constexpr int firstDelaySeconds = 9, longestDelaySeconds = 300;
    int delay = firstDelaySeconds;
    for (int k = 0; k < earlierErrorRuns && delay < longestDelaySeconds; ++k) delay *= 2;
    return std::min(delay, longestDelaySeconds);
}

void gf_simConnectRequestError()
{
    setStatus("SimConnect request error", true);
    simConnectFailed.store(true);
    // A call that fails in every run would otherwise restart the run, downloads and all, every
    // half minute: each restart in a row waits twice as long.
    if (requestStop(ExitCode::SimConnectError, simConnectErrorRestartDelay(simConnectErrorRuns.load())))
        ++simConnectErrorRuns;
}

void gf_requestUserAircraftTitleModel()
{
    std::lock_guard lock(simConnectMutex);
    const auto c = openConnection();
    if (!c) return;
    if (requestOnUser(*c, requestUserTitle, defUserTitle, SIMCONNECT_PERIOD_ONCE) < 0) {
        logMarked("SimConnect request user ac title fails");
        gf_simConnectRequestError();
    }
    if (requestOnUser(*c, requestUserModel, defUserModel, SIMCONNECT_PERIOD_ONCE) < 0) {
        logMarked("SimConnect reques user ac model fails");
        gf_simConnectRequestError();
    }
}

UserAircraftState gf_getUserAircraftState()
{
    std::lock_guard lock(simConnectMutex);
    const auto c = openConnection();
    if (c && !simConnectFailed.load() &&
        requestOnUser(*c, requestUserState, defUserState, SIMCONNECT_PERIOD_ONCE) < 0) {
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
    const auto c = openConnection();
    if (!c) return;
    // The simulator keeps airplanes and helicopters apart, and a request id answers one type: the
    // objects of rotorcraft liveries are only seen through a request of their own.
    if (c->sc.RequestDataOnSimObjectType(c->handle, requestAircraftInRange, defAircraftInRange, radiusMetres,
                                         SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT) < 0 ||
        c->sc.RequestDataOnSimObjectType(c->handle, requestHelicoptersInRange, defAircraftInRange, radiusMetres,
                                         SIMCONNECT_SIMOBJECT_TYPE_HELICOPTER) < 0) {
        logLine("SimConnect request ac within range fails");
        gf_simConnectRequestError();
    }
}

void gf_requestUserOnGround()
{
    std::lock_guard lock(simConnectMutex);
    const auto c = openConnection();
    if (c && requestOnUser(*c, requestUserOnGround, defUserOnGround, SIMCONNECT_PERIOD_SECOND) < 0) {
        logLine("SimConnect request ac gnd/air fails");
        gf_simConnectRequestError();
    }
}

} // namespace qtr
