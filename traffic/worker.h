#pragma once
// The worker thread: start-up checks, one run of the traffic manager, and the exit step.
#include <atomic>
#include <mutex>
#include <string>
#include <thread>

namespace qtr {

extern std::mutex trafficMutex;
extern bool trafficRunning; // guarded by trafficMutex
extern bool feedOnThisPc;
extern std::jthread simConnectThread;

void workerMain();
void run();
bool waitForSimAndUser();
void mainLoop();
bool runCycle();

void lf_closingDown();
void fatalStop(const std::string& text);
void simNotConnected();
void restartCountdown();
void resetRunState();

} // namespace qtr
