#pragma once
// The SimConnect client: its thread (open, registration, dispatch of the messages whenever the
// simulator signals them, close), the identifiers fixed for the whole program, and what the
// worker asks of the simulator itself.
#include "links/simconnect_queues.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <stop_token>
#include <string>

namespace qtr {

enum SystemEventId : std::uint32_t {
    eventSim = 201,
    eventObjectAdded = 202,
    eventObjectRemoved = 203,
    eventFrame = 204,
    eventFlightLoaded = 205,
};

enum ClientEventId : std::uint32_t {
    eventBeaconLights = 206,
    eventNavLights = 207,
    eventTaxiLights = 208,
    eventStrobes = 209,
    eventLandingLights = 210,
    eventCabinLights = 211,
    eventLogoLights = 212,
    eventAllLightsToggle = 213,
    eventFreezeLatLon = 214,
    eventFreezeAltitude = 215,
    eventFreezeAttitude = 216,
    eventFlaps = 217,
    eventSpoilers = 218,
    eventGear = 219,
    eventEngineAutoStart = 220,
    eventEngineAutoShutdown = 221,
    eventThrottle = 222,
};

inline constexpr std::uint32_t notificationGroup = 301;

enum DataDefinitionId : std::uint32_t {
    defSpoilersThrottle = 401,
    defPosition = 402,
    defUserState = 403,
    defAircraftInRange = 404,
    defStaticCg = 405,
    defLightStates = 406,
    defUserTitle = 407,
    defUserModel = 408,
    defUserOnGround = 409,
};

enum RequestId : std::uint32_t {
    requestAircraftInRange = 101,
    requestStaticCg = 102,
    requestRelease = 103,
    requestCreate = 104,
    requestRemove = 105,
    requestUserTitle = 106,
    requestUserModel = 107,
    requestUserOnGround = 108,
    requestUserState = 109,
    requestFlightPlan = 110,
    requestHelicoptersInRange = 111,
};

// The user aircraft block of definition 403, field by field.
struct UserAircraftState {
    double lat = 0;            // degrees
    double lon = 0;            // degrees
    double pitch = 0;          // radians
    double bank = 0;           // radians
    double heading = 0;        // radians, true
    double alt = 0;            // feet
    double altAboveGround = 0; // feet
    double groundVelocity = 0; // knots
    std::int64_t zuluTime = 0; // seconds of the UTC day
    std::int64_t zuluDayOfYear = 0;
    std::int64_t zuluYear = 0;
    std::int64_t lightStates = 0;
};
static_assert(sizeof(UserAircraftState) == 96, "twelve 8-byte fields");

// The connection handle: null until the open succeeds and after the run.
extern std::atomic<void*> simConnectHandle;
// Object id of the user aircraft; ids at or below it are never moved, removed or taken over.
extern std::atomic<std::uint32_t> userObjectId;
// The last user-data reply (guarded by simConnectMutex).
extern UserAircraftState userState;
// The worker's last copy, as gf_getUserAircraftState returned it (guarded by simConnectMutex).
extern UserAircraftState workerUserState;
extern std::atomic<bool> userOnGround;
extern std::atomic<bool> userOnGroundKnown;
extern std::atomic<std::int64_t> simEpochTime;
extern std::atomic<float> frameRate;
// The user aircraft's model as deduced from its ATC MODEL, its half wing span (nm) and category.
extern std::atomic<double> userHalfWingSpan;
extern std::atomic<bool> userModelKnown;
extern std::atomic<std::uint32_t> userCategory;

// The longest the SimConnect thread sleeps between two dispatches when the simulator signals
// nothing: so long at most it takes to see a stop.
inline constexpr std::chrono::milliseconds dispatchWaitLimit{100};

// Body of the SimConnect thread: runSimConnectThread with dispatchWaitLimit.
void gf_simConnectThread(std::stop_token stop);
// The thread with another longest wait (tests: a long one shows that the simulator's signal
// wakes it).
void runSimConnectThread(std::stop_token stop, std::chrono::milliseconds dispatchWait);
void lf_registerSimConnect();
// Reserves the request queues and clears simConnectFailed (once per run, before the thread).
void reserveSimConnectQueues();
// Empties the queues and forgets the connection and the user data (before a restart).
void resetSimConnectState();
// The simulator went away: the run stops (unless a stop is already under way).
void simNotConnected();
// After a failed SimConnect call: status, simConnectFailed, and the SimConnect-error stop, whose
// restart waits the longer the more runs in a row ended so (simConnectErrorRestartDelay).
void gf_simConnectRequestError();
// Runs in a row that ended in a SimConnect error (process-wide, so it outlasts the restarts); a
// creation call that succeeds sets it back to 0.
extern std::atomic<int> simConnectErrorRuns;
// Seconds before the restart after a SimConnect error: 9, doubled for each earlier such run in
// a row, at most 300.
int simConnectErrorRestartDelay(int earlierErrorRuns);
void gf_requestUserAircraftTitleModel();
// The previous user-data reply; asks for the next one.
UserAircraftState gf_getUserAircraftState();
// The worker's own requests: aircraft within the radius (every 20 ticks) and the user
// aircraft's ground state every second (while it waits for the simulator). Both under
// simConnectMutex; a failure is logged and reported with gf_simConnectRequestError.
void gf_requestAircraftInRange(std::uint32_t radiusMetres);
void gf_requestUserOnGround();

} // namespace qtr
