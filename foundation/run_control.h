#pragma once
// Run control: why and when a run of the traffic manager ends. Any thread may request a stop;
// the first reason of a run stands.
#include <atomic>
#include <cstdint>
#include <string>

namespace qtr {

enum class ExitCode : std::int32_t {
    NotYetSet = 0,
    SimWasClosed = 1,
    NewFlight = 2,
    NewSettings = 3,
    UserClosedProgram = 4,
    SimConnectError = 5,
    ReaderError = 6,
    SystemError = 7,
};

// "NOT YET SET", "SIM WAS CLOSED", ... (the text of the log line "Exiting: {}").
std::string exitCodeText(ExitCode code);
// Codes 3, 5 and 6 restart the worker in the same process.
bool isRestartCode(ExitCode code);

extern std::atomic<bool> stopRequested;
extern std::atomic<bool> windowClosed;
extern std::atomic<bool> simRunning;
extern std::atomic<bool> simConnectFailed;
extern std::atomic<bool> newUserData;
extern std::atomic<bool> restartRequested;
extern std::atomic<ExitCode> exitCode;
extern std::atomic<int> restartDelaySeconds;

// Sets stopRequested with the code and delay when no stop was requested yet (compare-exchange,
// so of several threads asking at once exactly one reason stands). True when this call set it.
bool requestStop(ExitCode code, int restartDelay);
// The user closed the window (or asked to stop during the scans): windowClosed and
// stopRequested, and code 4 only when no code was set.
void requestUserClose();

} // namespace qtr
