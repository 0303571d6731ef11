#pragma once
// The once-a-second work of the traffic manager: the data cycle that follows each reply on the
// user aircraft, its periodic tasks, the requests of the main window, and the paused work while
// the simulator's flight does not run.
#include <atomic>
#include <cstdint>

namespace qtr {

// Count of data cycles, reset daily; compared as signed.
extern std::int32_t dataCycleCount;
extern bool flightPaused;
extern std::int32_t pausedCountdown;

// Requests raised by the window thread, served here.
extern std::atomic<bool> removeStaticsRequest;
extern std::atomic<bool> recheckRequest;
extern std::atomic<bool> blockRequest;
extern std::atomic<bool> callsignResolveRequest;
extern std::atomic<bool> clearNoMatchRequest;
extern std::atomic<bool> renewalRequested;
// Also raised by the window, served by serveWindowRequests: the navigation lights of parked
// aircraft follow NAV_LIGHTS_WHILE_PARKED; live aircraft above a new MAX_LIVE go; a setting
// that affects the range or the parking changed (the automatic range is taken again).
extern std::atomic<bool> navLightsRequest;
extern std::atomic<bool> enforceMaxLiveRequest;
extern std::atomic<bool> reevaluationRequest;
extern bool renewalBusy;

void dataCycle();
// The periodic work of a data cycle numbered n: the fifteen-cycle step or the 16, 59, 61 and 62
// steps (what runCycle does after dataCycle).
void periodicWork(std::int32_t n);
void fifteenCycleStep(std::int32_t n);
void everyFifteenCycles(std::int32_t n);
void recheckParkAirports();
void removeStaticTwinsOnGround();
void flightNotRunning();
void updateLiveCounts();
void checkTrafficArrives();
// Serves the window's requests that change the traffic manager's own tables (worker thread).
void serveWindowRequests();

// Back to the start of a run.
void resetDataCycle();

} // namespace qtr
