#pragma once
// The worker thread: start-up checks, one run of the traffic manager, and the exit step.
#include "links/feed.h" // feedOnThisPc, set by the start
#include "links/simconnect_client.h"

#include <atomic>
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

void lf_closingDown();
void fatalStop(const std::string& text);
void restartCountdown();
void resetRunState();

} // namespace qtr
