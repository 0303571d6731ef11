#include "traffic/worker.h"

#include "app/main_window.h"
#include "foundation/clock.h"
#include "foundation/errors.h"
#include "foundation/log.h"
#include "foundation/paths.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/time_text.h"
#include "foundation/version.h"
#include "links/feed.h"
#include "links/simconnect_client.h"
#include "traffic/run_control.h"
#include "traffic/tick.h"

#include <fmt/format.h>

#include <filesystem>
#include <new>

namespace qtr {

std::mutex trafficMutex;
bool trafficRunning = false;
bool feedOnThisPc = false;
std::jthread simConnectThread;

namespace {

std::string wrongFolderText() { return fmt::format("{} must be run from the {} folder!", programName, programName); }

void detectInstall()
{
    loadParameters();
    mainWindow.invalidate(parametersBand);
}

} // namespace

void workerMain()
{
    try {
        std::error_code ec;
        if (!std::filesystem::is_directory(docsFolder, ec)) throw UserErrorException(41, wrongFolderText());
        detectInstall();
        if (stopRequested.load() || windowClosed.load()) {
            requestUserClose();
        } else {
            run();
        }
    } catch (const UserErrorException& e) {
        setError(e.what());
        exitCode.store(ExitCode::SystemError);
    } catch (const std::bad_alloc& e) {
        fatalStop(e.what());
    } catch (const std::out_of_range& e) {
        fatalStop(e.what());
    } catch (const std::exception& e) {
        fatalStop(e.what());
    } catch (...) {
        setError("Unknown exception");
        exitCode.store(ExitCode::SystemError);
    }
    lf_closingDown();
}

void run()
{
    mainWindow.feedConnected = false;
    mainWindow.simConnected = false;
    mainWindow.invalidate(linksBand);
    reserveTables();
    reserveSimConnectQueues();
    simConnectThread = std::jthread(gf_simConnectThread);
    if (!waitForSimAndUser()) return;
    if (feedOnThisPc && !TELLMOOR.value()) {
        startTcpServer(PORT_NUMBER.value());
    } else {
        mainWindow.feedConnected = true;
        mainWindow.invalidate(linksBand);
    }
    if (stopRequested.load() || windowClosed.load()) return;
    if (TELLMOOR.value()) {
        feedProfessional.store(false);
    } else {
        waitForFeedClient();
    }
    if (stopRequested.load() || windowClosed.load()) return;
    {
        std::lock_guard lock(trafficMutex);
        trafficRunning = false;
    }
    startQnhReader();
    sleepMs(2000);
    startTrafficReader();
    sendOwnPosition();
    mainLoop();
}

bool waitForSimAndUser()
{
    while (!simRunning.load() || simConnectFailed.load()) {
        if (stopRequested.load() || windowClosed.load()) return false;
        sleepMs(100);
    }
    return !(stopRequested.load() || windowClosed.load());
}

void mainLoop()
{
    {
        std::lock_guard lock(trafficMutex);
        trafficRunning = true;
    }
    auto deadline = clock().steadyNow() + std::chrono::milliseconds(10);
    while (runCycle()) {
        clock().sleepUntil(deadline);
        if (newUserData.load()) deadline = clock().steadyNow();
        deadline += std::chrono::milliseconds(10);
    }
}

bool runCycle()
{
    if (simRunning.load() && !simConnectFailed.load()) {
        trafficTick();
        bool expected = true;
        if (!newUserData.compare_exchange_strong(expected, false)) return true;
        statusCycle();
        return !(stopRequested.load() || windowClosed.load());
    }
    return !(stopRequested.load() || windowClosed.load());
}

void fatalStop(const std::string& text)
{
    setError(text);
    requestStop(ExitCode::SystemError, 0);
}

void simNotConnected()
{
    if (stopRequested.load()) return;
    logLine(fmt::format("{} Flight Simulator no longer connected, {} will stop ...", nowTimeText(), programName));
    requestStop(ExitCode::SimWasClosed, 0);
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
    resetTrafficState();
    resetSimConnectState();
    mainWindow.resetIndicators();
    windowClosed.store(false);
    stopRequested.store(false);
    exitCode.store(ExitCode::NotYetSet);
    newUserData.store(false);
    feedProfessional.store(false);
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
        if (simConnectThread.joinable()) simConnectThread.request_stop();
    });
    guardedStep([] { stopReaders(); });
    guardedStep([] { sleepMs(500); });
    guardedStep([] {
        if (feedClientConnected()) sendDataPacket("exit\r\n");
    });
    guardedStep([] { closeFeedSockets(); });
    guardedStep([] {
        if (exitCode.load() == ExitCode::SystemError) {
            while (!windowClosed.load()) sleepMs(500);
            setStatus(fmt::format("User closed {}", programName), true);
        }
    });
    guardedStep([] {
        DESTINATION.setValue("");
        DESTINATION.save();
        BLOCK_CALLSIGN.setValue("");
        BLOCK_CALLSIGN.save();
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
                setStatus(fmt::format("New flight detected, {} will close, please restart manually ...", programName),
                          true);
                sleepMs(10000);
            }
        }
    });
    // A restart that failed half-way ends the program rather than leaving it without a worker.
    postToMainWindow(decided && restart ? WM_APP_START_WORKER : WM_APP_END_PROGRAM);
}

} // namespace qtr
