#include "traffic/run/worker.h"

#include "foundation/indicators.h"
#include "foundation/clock.h"
#include "foundation/errors.h"
#include "foundation/log.h"
#include "foundation/paths.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/time_text.h"
#include "foundation/version.h"
#include "foundation/install_detect.h"
#include "foundation/update.h"
#include "foundation/utilities.h"
#include "foundation/win_text.h"
#include "foundation/parameters/parameter_control.h"
#include "foundation/parameters/parameter_display.h"
#include "airports/airport_scan.h"
#include "airports/airports_db.h"
#include "links/feed.h"
#include "links/traffic_standins.h"
#include "links/simconnect_client.h"
#include "links/flight_plan.h"
#include "liveries/livery_data_base.h"
#include "liveries/livery_matcher.h"
#include "liveries/livery_reports.h"
#include "liveries/type_data_base.h"
#include "traffic/parking/airport_file_fetch.h"
#include "traffic/run/data_cycle.h"
#include "traffic/flights/intake.h"
#include "traffic/parking/park_airports.h"
#include "traffic/run/range.h"
#include "foundation/run_control.h"
#include "traffic/run/tick.h"
#include "traffic/state/traffic_state.h"

#include <fmt/format.h>

#include <algorithm>
#include <filesystem>
#include <new>

namespace qtr {

std::jthread simConnectThread;
UserAircraftState workerState;

void run()
{
    indicators.notRunning = false;
    indicators.feedConnected = false;
    indicators.simConnected = false;
    indicators.invalidate(Band::links);
    reserveTables();
    reserveSimConnectQueues();
    gf_reserveLiveryContainers();
    simConnectThread = std::jthread(gf_simConnectThread);
    if (!waitForSimAndUser()) return;
    if (feedOnThisPc && !TELLMOOR.value()) {
        startTcpServer(PORT_NUMBER.value());
    } else {
        indicators.feedConnected = true;
        indicators.invalidate(Band::links);
    }
    if (stopRequested.load() || windowClosed.load()) return;
    if (TELLMOOR.value()) {
        feedProfessional.store(false);
    } else {
        waitForFeedClient();
        if (feedProfessional.load()) sendQs123(simEpochTime.load());
    }
    if (stopRequested.load() || windowClosed.load()) return;
    stopTakingReports();
    startQnhReader();
    sleepMs(2000);
    startTrafficReader();
    sendOwnPosition();
    checkTrafficArrives();
    mainLoop();
}

namespace {

bool stopping() { return stopRequested.load() || windowClosed.load(); }

// A position in this box near 0,0 is the simulator's way of saying it does not know it yet.
bool inNoPositionBox(const UserAircraftState& state)
{
    return state.lat >= 0.0 && state.lat <= 0.0009 && state.lon >= 0.0 && state.lon <= 0.05;
}

} // namespace

void takeUserState(const UserAircraftState& state)
{
    workerState = state;
    userStateForFeed =
        UserStateForFeed{state.lat, state.lon, state.pitch, state.bank, state.heading, state.alt, state.groundVelocity};
    setReaderUserPosition(state.lat, state.lon);
}

bool waitForSimAndUser()
{
    while (!simRunning.load() || simConnectFailed.load()) {
        if (stopping()) return false;
        sleepMs(100);
    }
    // The every-second ground-state reply drives the data cycle of the main loop.
    gf_requestUserOnGround();
    while (!userOnGroundKnown.load() || inNoPositionBox(workerState)) {
        takeUserState(gf_getUserAircraftState());
        if (userOnGroundKnown.load() && !inNoPositionBox(workerState)) break;
        if (stopping()) return false;
        sleepMs(500);
    }
    gf_requestUserAircraftTitleModel();
    while (inNoPositionBox(workerState)) {
        takeUserState(gf_getUserAircraftState());
        if (stopping()) return false;
        sleepMs(200);
    }
    return !stopping();
}

void mainLoop()
{
    updateParkAirport(true);
    dataCycleCount = 0;
    currentSlot.store(currentDaySlot());
    logLine(fmt::format("Main loop running: {} traffic reports refused before it", startTakingReports()));
    // Callsigns can be looked up once live aircraft can exist.
    gf_enableControl(CALLSIGN_2_OBJECTID, true);
    auto deadline = clock().steadyNow() + passPeriod;
    while (runCycle()) {
        sleepThroughIdlePasses(deadline);
        clock().sleepUntil(deadline);
        if (newUserData.load()) deadline = clock().steadyNow();
        deadline += passPeriod;
    }
}

void sleepThroughIdlePasses(std::chrono::steady_clock::time_point& deadline)
{
    const auto idleNow = [] {
        return simRunning.load() && !simConnectFailed.load() && !stopping() ? idlePasses() : 0u;
    };
    if (idleNow() == 0) return;
    // Work handed over before the arm woke nobody: look once more after it.
    workerWake.arm();
    const std::uint32_t idle = idleNow();
    if (idle == 0) return;
    clock().sleepUntilWoken(deadline + idle * passPeriod, workerWake);
    const auto now = clock().steadyNow();
    if (now < deadline) return;
    const auto due = static_cast<std::uint32_t>((now - deadline) / passPeriod) + 1;
    const std::uint32_t passed = std::min(due, idle);
    countIdlePasses(passed);
    deadline += passed * passPeriod;
}

bool runCycle()
{
    if (simRunning.load() && !simConnectFailed.load()) {
        trafficTick();
        bool expected = true;
        if (!newUserData.compare_exchange_strong(expected, false)) return true;
        dataCycle();
        if (stopRequested.load() || windowClosed.load()) return false;
        periodicWork(dataCycleCount);
        return true;
    }
    flightNotRunning();
    return !(stopRequested.load() || windowClosed.load());
}

void fatalStop(const std::string& text)
{
    setError(text);
    requestStop(ExitCode::SystemError, 0);
}

void restartCountdown()
{
    const int seconds = restartDelaySeconds.load();
    if (seconds < 1) return;
    logLine(fmt::format("Restarting after {} seconds\n\n\n\n\n", seconds));
    for (int k = seconds; k >= 1; --k) {
        setStatus(fmt::format("Restarting after {} second{}", k, k == 1 ? "" : "s"), false);
        sleepMs(1000);
    }
}

void resetRunState()
{
    // Everything one run leaves behind, and nothing that lasts for the program's life (the
    // settings are read again at the start; the livery matcher keeps what it learned). The
    // tests start from here too (tests/support/clean_start.h).
    resetTrafficState();
    resetSimConnectState();
    resetDataCycle();
    resetTrafficManager();
    setRangeNm(LATERAL_RANGE.value());
    indicators.resetIndicators();
    windowClosed.store(false);
    stopRequested.store(false);
    exitCode.store(ExitCode::NotYetSet);
    restartDelaySeconds.store(0);
    clearError();
    newUserData.store(false);
    feedProfessional.store(false);
    feedPending.store(true);
}

namespace {

// Runs one step of the exit; a failing step is reported and the exit goes on, so that the
// threads are always told to stop and the window always gets its message.
template <class Step>
bool guardedStep(Step&& step)
{
    try {
        step();
        return true;
    } catch (const std::exception& e) {
        setStatus(fmt::format("{} exception {}", "lf_closingDown", e.what()), true);
    } catch (...) {
        setStatus(fmt::format("{} exception {}", "lf_closingDown", "unknown"), true);
    }
    return false;
}

} // namespace

void lf_closingDown()
{
    guardedStep([] { logLine(fmt::format("Exiting: {}", exitCodeText(exitCode.load()))); });
    guardedStep([] {
        std::lock_guard lock(trafficMutex);
        trafficRunning = false;
    });
    guardedStep([] {
        if (simConnectThread.joinable()) {
            simConnectThread.request_stop();
            simConnectThread.join();
        }
    });
    guardedStep([] { stopReaders(); });
    // An airport file still on its way: its transfer ends at the stop request.
    guardedStep([] { finishAirportFileFetch(); });
    guardedStep([] { sleepMs(500); });
    guardedStep([] {
        if (feedClientConnected()) sendDataPacket("exit\r\n");
    });
    guardedStep([] { closeFeedSockets(); });
    guardedStep([] {
        if (exitCode.load() == ExitCode::SystemError) {
            // The error stays on screen until the window is closed, or until the user mends it
            // with a setting that asks for a new run (the Community folder typed after error 150).
            while (!windowClosed.load() && exitCode.load() == ExitCode::SystemError) sleepMs(500);
            if (windowClosed.load()) setStatus(fmt::format("User closed {}", programName), true);
        }
    });
    guardedStep([] {
        // The user's stand, handed over by the SimConnect thread as it closed, is kept first.
        serveUserStandRequest();
        if (!parkAirportIcao.empty()) removeAllParkedAircraft();
    });
    guardedStep([] {
        liveryChoices.clear();
        gf_removeFlightPlanFolder();
    });
    guardedStep([] {
        DESTINATION.setValue("");
        DESTINATION.save();
        BLOCK_CALLSIGN.setValue("");
        BLOCK_CALLSIGN.save();
    });
    guardedStep([] { ghostList.clear(); });
    guardedStep([] {
        gf_writeLiveryMatchSummary();
        logNoMatchList();
    });
    bool restart = false;
    const bool decided = guardedStep([&restart] {
        const ExitCode code = exitCode.load();
        if (isRestartCode(code)) {
            restart = true;
            restartRequested.store(true);
            clearError();
            clearStatus();
            setStatus("Prepare for a restart ...", true);
            if (code != ExitCode::NewSettings) {
                SCAN_LIVERIES.setValue(false);
                SCAN_LIVERIES.save();
                SCAN_AIRPORTS.setValue(false);
                SCAN_AIRPORTS.save();
            }
            restartCountdown();
            resetRunState();
        } else {
            restartRequested.store(false);
            if (code == ExitCode::NewFlight) {
                // The stop is already requested here, which silences the status line's own
                // logging: the user's only note of why the program closed goes to the log directly.
                const std::string text =
                    fmt::format("New flight detected, {} will close, please restart manually ...", programName);
                setStatus(text, false);
                logLine(text);
                sleepMs(10000);
            }
        }
    });
    // A restart that failed half-way ends the program rather than leaving it without a worker.
    askWindow(decided && restart ? WindowRequest::startWorker : WindowRequest::endProgram);
}

} // namespace qtr
