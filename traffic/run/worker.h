#pragma once
// The worker thread: start-up checks, one run of the traffic manager, and the exit step.
#include "links/feed.h" // feedOnThisPc, set by the start
#include "links/simconnect_client.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>

namespace qtr {

extern std::jthread simConnectThread;

// The worker's copy of the user aircraft, renewed while it waits for the simulator and
// every 100 ticks (worker thread only).
extern UserAircraftState workerState;
// Takes a snapshot of the user aircraft for the run: the feed's position line and the readers'
// range filter use it.
void takeUserState(const UserAircraftState& state);

// The worker's start (workerMain) is in traffic/run/startup.h.
void run();
bool waitForSimAndUser();
void mainLoop();
bool runCycle();
// The main loop's passes are 10 ms apart: the tick count is the clock of motion in hundredths of
// a second.
inline constexpr std::chrono::milliseconds passPeriod{10};
// Called between passes with the time of the next one: while the passes up to the next one with
// work would only count the tick, sleeps through them instead of waking for each, woken at once
// by work handed over meanwhile (a report, the simulator's message, a stop), and counts those
// whose time came, moving the deadline on as far.
void sleepThroughIdlePasses(std::chrono::steady_clock::time_point& deadline);

void lf_closingDown();
void fatalStop(const std::string& text);
void restartCountdown();
void resetRunState();

} // namespace qtr
