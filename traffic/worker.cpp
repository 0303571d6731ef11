#include "traffic/worker.h"

#include "app/main_window.h"
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
#include "app/parameter_display.h"
#include "airports/airport_scan.h"
#include "airports/airports_db.h"
#include "links/feed.h"
#include "links/traffic_standins.h"
#include "links/simconnect_client.h"
#include "liveries/livery_data_base.h"
#include "liveries/livery_matcher.h"
#include "liveries/livery_reports.h"
#include "liveries/livery_scan.h"
#include "liveries/type_data_base.h"
#include "traffic/data_cycle.h"
#include "traffic/park_airports.h"
#include "traffic/range.h"
#include "traffic/run_control.h"
#include "traffic/tick.h"
#include "traffic/traffic_state.h"

#include <fmt/format.h>

#include <filesystem>
#include <new>

namespace qtr {

std::mutex trafficMutex;
bool trafficRunning = false;
bool feedOnThisPc = false;
std::jthread simConnectThread;
UserAircraftState workerState;

namespace {

std::string wrongFolderText() { return fmt::format("{} must be run from the {} folder!", programName, programName); }

// A path typed or stored with its "\Community" ending keeps only the packages folder.
void stripCommunityFolder(StringParameter& parameter)
{
    const std::string value = parameter.value();
    const std::string ending = "\\Community";
    if (value.size() >= 10 && value.ends_with(ending)) {
        std::string stripped = value;
        stripped.erase(stripped.find(ending), ending.size());
        parameter.set(stripped);
    }
}

void setupAirportsFolder()
{
    for (const auto* folder : {&outputFolder, &infoFolder, &errorsFolder, &airportsFolder, &learnedFolder,
                               &learnedStockFolder, &learnedVendrakeFolder, &learnedThirdpartyFolder,
                               &myVendrakeFolder, &myThirdpartyFolder, &myRegcodesFolder})
        if (!std::filesystem::exists(*folder)) std::filesystem::create_directory(*folder);
}

void enableControl(const ParameterControl& control, bool enable)
{
    if (HWND window = control.hwnd.load()) EnableWindow(window, enable ? TRUE : FALSE);
}

// The controls of a run: enabled, with the exceptions of the run's own rules.
void enableRunControls()
{
    for (const ParameterControl* control :
         std::initializer_list<const ParameterControl*>{&MATCHING_DEPTH, &MAX_LIVE, &AIRPORT_RANGE, &AIRPORT_HEIGHT,
                                                        &CUSTOM_MAX_PARK, &BLOCK_CALLSIGN, &ALL_INSTALL_PATH})
        enableControl(*control, true);
    enableControl(LATERAL_RANGE, !AUTO_RANGE.value());
    enableControl(AUTO_RANGE_ABOVE_HEIGHT, AUTO_RANGE.value());
    enableControl(unblockButton, !BLOCK_CALLSIGN.value().empty());
    enableControl(AI_PACKAGE_ORDER, LIG_AUTOMATIC.value());
    enableControl(CALLSIGN_OBJECTIDS, MSFS_2020.value());
    for (const ParameterControl* control : std::initializer_list<const ParameterControl*>{
             &CALLSIGN_2_OBJECTID, &DESTINATION, &rereadButton, &LEARN_SOFT, &flushStaticButton, &parking_percentage,
             &MAX_FIT_FL})
        enableControl(*control, false);
    parking_percentage.setValue(30);
    showIntParameter(parking_percentage);
    if (HWND edit = parking_percentage.hwnd.load()) SetWindowTextW(edit, L"");
    MAX_FIT_FL.setValue(static_cast<float>(MAX_FIT.value()) * 0.5f + 0.5f);
    if (HWND edit = MAX_FIT_FL.hwnd.load()) SetWindowTextW(edit, L"");
}

void detectInstall()
{
    loadParameters();
    mainWindow.invalidate(parametersBand);
    stripCommunityFolder(MSFS_2020.value() ? MSFS_INSTALL_PATH : MSFS_2024_INSTALL_PATH);
    setupAirportsFolder();
    if (!restartRequested.load()) checkForNewVersion();
    if (!MSFS_2020.value()) {
        if (addonPackageMissing()) updateAddonPackage();
        if (!restartRequested.load()) updateAddonPackage();
    }
    enableRunControls();
    if (AUTO_RANGE.value()) autoRange();
    PROGRAM_INSTALL_PATH.set(pathToUtf8(std::filesystem::current_path()));
    readAirports();
    static bool dataBaseRead = false;
    if (!dataBaseRead) {
        readDataBase();
        dataBaseRead = true;
    }
    ALL_INSTALL_PATH.setValue(MSFS_2020.value() ? MSFS_INSTALL_PATH.value() : MSFS_2024_INSTALL_PATH.value());
    enableControl(ALL_INSTALL_PATH, true);
    showTextParameter(ALL_INSTALL_PATH);
    if (ALL_INSTALL_PATH.value().empty()) {
        // Finds the packages folder or raises the user error that asks for it.
        ALL_INSTALL_PATH.setValue(pathToUtf8(detectAndStorePackagesPath()));
        showTextParameter(ALL_INSTALL_PATH);
    }
    mainWindow.invalidate(statisticsBand);
    const std::filesystem::path appData = getAppDataPath();
    feedOnThisPc = !appData.empty() && std::filesystem::exists(appData / insideSystemsFolderName / "RealTraffic.jar");
    setStatus(fmt::format("RealTraffic {}detected at this PC", feedOnThisPc ? "" : "not "), true);
}

} // namespace

void workerMain()
{
    try {
        std::error_code ec;
        if (!std::filesystem::is_directory(docsFolder, ec)) throw UserErrorException(41, wrongFolderText());
        detectInstall();
        gf_initWorkerSlots();
        gf_rescanWhenFileIsGone();
        gf_scanLiveries();
        if (SCAN_AIRPORTS.value() && !stopRequested.load() && !windowClosed.load()) lf_airportsScan();
        userMaxLive.store(MAX_LIVE.value());
        lf_readMyParkAirports();
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
    gf_reserveLiveryContainers();
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
        if (feedProfessional.load()) sendQs123(simEpochTime.load());
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
    userStateForFeed = UserStateForFeed{state.lat, state.lon, state.pitch, state.bank, state.heading, state.alt,
                                        state.groundVelocity};
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
    resetDataCycle();
    freeTables();
    setRangeNm(LATERAL_RANGE.value());
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
        if (simConnectThread.joinable()) {
            simConnectThread.request_stop();
            simConnectThread.join();
        }
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
        // The user's stand, handed over by the SimConnect thread as it closed, is kept first.
        serveUserStandRequest();
        if (!parkAirportIcao.empty()) removeAllParkedAircraft();
    });
    guardedStep([] { liveryChoices.clear(); });
    guardedStep([] {
        DESTINATION.setValue("");
        DESTINATION.save();
        BLOCK_CALLSIGN.setValue("");
        BLOCK_CALLSIGN.save();
    });
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
