#include "foundation/run_control.h"

#include "foundation/clock.h"

namespace qtr {

std::atomic<bool> stopRequested{false};
std::atomic<bool> windowClosed{false};
std::atomic<bool> simRunning{false};
std::atomic<bool> simConnectFailed{false};
std::atomic<bool> newUserData{false};
std::atomic<bool> restartRequested{false};
std::atomic<ExitCode> exitCode{ExitCode::NotYetSet};
std::atomic<int> restartDelaySeconds{0};

std::string exitCodeText(ExitCode code)
{
    switch (code) {
    case ExitCode::NotYetSet:
        return "NOT YET SET";
    case ExitCode::SimWasClosed:
        return "SIM WAS CLOSED";
    case ExitCode::NewFlight:
        return "NEW FLIGHT";
    case ExitCode::NewSettings:
        return "NEW SETTINGS";
    case ExitCode::UserClosedProgram:
        return "USER CLOSED PROGRAM";
    case ExitCode::SimConnectError:
        return "SIMCONNECT ERROR";
    case ExitCode::ReaderError:
        return "READER ERROR";
    case ExitCode::SystemError:
        return "SYSTEM ERROR";
    }
    return "UNKNOWN";
}

bool isRestartCode(ExitCode code)
{
    return code == ExitCode::NewSettings || code == ExitCode::SimConnectError || code == ExitCode::ReaderError;
}

bool requestStop(ExitCode code, int restartDelay)
{
    bool expected = false;
    if (!stopRequested.compare_exchange_strong(expected, true)) return false;
    exitCode.store(code);
    restartDelaySeconds.store(restartDelay);
    workerWake.wake();
    return true;
}

void requestUserClose()
{
    windowClosed.store(true);
    // Claim the stop first: a reason whose setter won the stop before us overwrites the 4 below
    // (it came first); a setter after us finds the stop taken and changes nothing.
    stopRequested.store(true);
    ExitCode none = ExitCode::NotYetSet;
    exitCode.compare_exchange_strong(none, ExitCode::UserClosedProgram);
    workerWake.wake();
}

} // namespace qtr
