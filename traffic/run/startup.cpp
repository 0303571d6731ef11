#include "traffic/run/startup.h"

#include "airports/airport_scan.h"
#include "airports/scanned_airports.h"
#include "airports/airports_db.h"
#include "liveries/livery_data_base.h"
#include "foundation/indicators.h"
#include "foundation/parameters/parameter_display.h"
#include "foundation/errors.h"
#include "foundation/install_detect.h"
#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/parameters/parameters_file.h"
#include "foundation/paths.h"
#include "foundation/text_files.h"
#include "foundation/time_text.h"
#include "foundation/update.h"
#include "foundation/utilities.h"
#include "foundation/version.h"
#include "foundation/win_text.h"
#include "links/flight_plan.h"
#include "liveries/livery_scan.h"
#include "liveries/type_data_base.h"
#include "traffic/run/callsigns.h"
#include "traffic/run/data_cycle.h"
#include "traffic/run/link_handlers.h"
#include "traffic/parking/park_airports.h"
#include "traffic/run/range.h"
#include "foundation/run_control.h"
#include "traffic/state/traffic_state.h"
#include "traffic/run/worker.h"

#include <fmt/format.h>

#include <filesystem>
#include <mutex>
#include <new>

namespace qtr {

std::atomic<bool> clearLiveriesRequest{false};
std::atomic<bool> resetAirportScanRequest{false};

void serveFreshScanRequests()
{
    if (clearLiveriesRequest.exchange(false)) {
        gf_clearLiveries();
        liveriesProcessed = false;
    }
    if (resetAirportScanRequest.exchange(false)) resetAirportScanCollection();
}

std::function<void(std::string_view step)> startupStepHook;

namespace {

// The steps of the last start; written by the worker, read by tests (startupSteps).
std::mutex stepsMutex;
std::vector<std::string> steps;

void step(std::string_view name)
{
    {
        std::lock_guard lock(stepsMutex);
        steps.emplace_back(name);
    }
    if (startupStepHook) startupStepHook(name);
}

bool stopping() { return stopRequested.load() || windowClosed.load(); }

// The aircraft type data base is read once per process; a failed read is tried again at the
// next start.
bool dataBaseRead = false;

// An existence query that fails is an error of the start, named after its operation.
bool existsOrThrow(const std::filesystem::path& path)
{
    std::error_code ec;
    const bool exists = std::filesystem::exists(path, ec);
    if (ec) throw std::filesystem::filesystem_error("exists", path, ec);
    return exists;
}

void showAirportFileCounts()
{
    indicators.thirdPartyLiveryCount = gf_countFiles(myThirdpartyFolder);
    indicators.vendrakeLiveryCount = gf_countFiles(myVendrakeFolder);
    indicators.invalidate(Band::links);
}

void applySavedDestination()
{
    const std::string destination = DESTINATION.value();
    if (destination.empty()) return;
    if (const std::optional<Airport> airport = findAirport(destination))
        applyNewDestination(destination, LatLon{airport->latitude, airport->longitude});
    // The entry goes into the park-airport list before the run chooses its park airport.
    serveCallsignRequests();
}

void placeOnTop() { askWindow(WindowRequest::applyAlwaysOnTop); }

// The steps of workerMain before run; returns false when a stop came during the scans.
bool prepareRun()
{
    step("docs");
    std::error_code ec;
    if (!std::filesystem::is_directory(docsFolder, ec)) throw UserErrorException(41, wrongFolderText());
    detectInstall();
    step("workerSlots");
    gf_initWorkerSlots();
    step("liveriesFile");
    gf_rescanWhenFileIsGone();
    serveFreshScanRequests();
    step("gf_scanLiveries");
    gf_scanLiveries();
    if (stopping()) return false;
    if (SCAN_AIRPORTS.value()) {
        step("lf_airportsScan");
        indicators.thirdPartyLiveryCount = 0;
        indicators.vendrakeLiveryCount = 0;
        indicators.invalidate(Band::links);
        lf_airportsScan();
    }
    step("airportFileCounts");
    showAirportFileCounts();
    if (stopping()) {
        requestUserClose();
        return false;
    }
    step("createFlightPlanFolders");
    createFlightPlanFolders();
    step("lf_readMyParkAirports");
    lf_readMyParkAirports();
    gf_enableControl(rereadButton, true);
    step("destination");
    applySavedDestination();
    step("alwaysOnTop");
    placeOnTop();
    if (AUTO_RANGE.value()) {
        step("autoRange");
        autoRange();
        gf_enableControl(LATERAL_RANGE, false);
    }
    return true;
}

void findPackagesFolder()
{
    ALL_INSTALL_PATH.setValue(MSFS_2020.value() ? MSFS_INSTALL_PATH.value() : MSFS_2024_INSTALL_PATH.value());
    gf_enableControl(ALL_INSTALL_PATH, true);
    showTextParameter(ALL_INSTALL_PATH);
    if (!ALL_INSTALL_PATH.value().empty()) return;
    step("getPackagesPath");
    // Finds the folder and stores it for the selected simulator, or raises user error 150.
    ALL_INSTALL_PATH.setValue(pathToUtf8(detectAndStorePackagesPath()));
    showTextParameter(ALL_INSTALL_PATH);
}

void detectFeedOnThisPc()
{
    const std::filesystem::path appData = getAppDataPath();
    feedOnThisPc = !appData.empty() && existsOrThrow(appData / insideSystemsFolderName / "RealTraffic.jar");
    setStatus(fmt::format("RealTraffic {}detected at this PC", feedOnThisPc ? "" : "not "), true);
}

} // namespace

std::vector<std::string> startupSteps()
{
    std::lock_guard lock(stepsMutex);
    return steps;
}

void clearStartupSteps()
{
    std::lock_guard lock(stepsMutex);
    steps.clear();
}

std::string wrongFolderText() { return fmt::format("{} must be run from the {} folder!", programName, programName); }

void stripCommunityFolder(StringParameter& parameter)
{
    const std::string value = parameter.value();
    const std::string ending = "\\Community";
    // Only the last component goes: "D:\Community Games\MSFS\Community" keeps its first part.
    if (value.size() > ending.size() && value.ends_with(ending))
        parameter.set(value.substr(0, value.size() - ending.size()));
}

void setupAirportsFolder()
{
    for (const auto* folder : {&outputFolder, &infoFolder, &errorsFolder, &airportsFolder, &learnedFolder,
                               &learnedStockFolder, &learnedVendrakeFolder, &learnedThirdpartyFolder, &myVendrakeFolder,
                               &myThirdpartyFolder, &myRegcodesFolder}) {
        if (existsOrThrow(*folder)) continue;
        std::error_code ec;
        std::filesystem::create_directory(*folder, ec);
        if (ec) throw std::filesystem::filesystem_error("create_directory", *folder, ec);
    }
}

std::vector<RunControlState> runControlStates()
{
    const bool autoRange = AUTO_RANGE.value();
    return {
        {&MATCHING_DEPTH, true},
        {&MAX_LIVE, true},
        {&AIRPORT_RANGE, true},
        {&AIRPORT_HEIGHT, true},
        {&CUSTOM_MAX_PARK, true},
        // The block edit answers at once on the window thread, also while the run waits for the
        // simulator; the destination edit opens with the park-airport choice (airports read).
        {&BLOCK_CALLSIGN, true},
        {&ALL_INSTALL_PATH, true},
        {&LATERAL_RANGE, !autoRange},
        {&AUTO_RANGE_ABOVE_HEIGHT, autoRange},
        {&unblockButton, !BLOCK_CALLSIGN.value().empty()},
        {&AI_PACKAGE_ORDER, LIG_AUTOMATIC.value()},
        {&CALLSIGN_OBJECTIDS, MSFS_2020.value()},
        {&LIGHT_AIRCRAFT, true},
        {&HELICOPTERS, true},
        {&HIGH_PERF_AIRCRAFT, true},
        // Live aircraft, a park airport and its stands come with the main loop.
        {&CALLSIGN_2_OBJECTID, false},
        {&DESTINATION, false},
        {&rereadButton, false},
        {&LEARN_SOFT, false},
        {&flushStaticButton, false},
        {&parking_percentage, false},
        {&MAX_FIT_FL, false},
    };
}

void enableRunControls()
{
    for (const RunControlState& state : runControlStates()) gf_enableControl(*state.control, state.enabled);
    parking_percentage.setValue(30);
    showIntParameter(parking_percentage);
    clearEditText(parking_percentage.id);
    // The maximum fit in use is shown from the start; a park airport's file may change it.
    MAX_FIT_FL.setValue(MAX_FIT_FL.clamp(static_cast<float>(MAX_FIT.value()) * 0.5f + 0.5f));
    showFloatParameter(MAX_FIT_FL);
}

void detectInstall()
{
    step("loadParameters");
    loadParameters();
    indicators.invalidate(Band::parameters);
    step("stripCommunityFolder");
    stripCommunityFolder(MSFS_2020.value() ? MSFS_INSTALL_PATH : MSFS_2024_INSTALL_PATH);
    step("setupAirportsFolder");
    setupAirportsFolder();
    userMaxLive = MAX_LIVE.value();
    if (!restartRequested.load()) {
        step("checkForNewVersion");
        checkForNewVersion();
    }
    if (!MSFS_2020.value()) {
        if (addonPackageMissing()) {
            step("updateAddonPackage");
            updateAddonPackage();
        }
        if (!restartRequested.load()) {
            step("updateAddonPackage");
            updateAddonPackage();
        }
    }
    step("enableRunControls");
    enableRunControls();
    step("programInstallPath");
    PROGRAM_INSTALL_PATH.set(pathToUtf8(std::filesystem::current_path()));
    currentSlot.store(currentDaySlot());
    if (!dataBaseRead) {
        step("readDataBase");
        readDataBase();
        dataBaseRead = true;
    }
    step("readAirports");
    readAirports();
    step("installPath");
    findPackagesFolder();
    indicators.invalidate(Band::statistics);
    step("realTraffic");
    detectFeedOnThisPc();
    manualRadius = LATERAL_RANGE.value();
    // A settings file that could not be read is worth more than the RealTraffic notice.
    if (const std::string problem = parametersFileProblem(); !problem.empty()) setStatus(problem, false);
}

void workerMain()
{
    clearStartupSteps();
    // A park airport's learned file may switch the automatic range on while it is read.
    setRangeChooser(&autoRange);
    registerLinkHandlers();
    try {
        if (prepareRun()) {
            step("run");
            run();
        }
    } catch (const UserErrorException& e) {
        setError(e.what());
        exitCode.store(ExitCode::SystemError);
    } catch (const fmt::format_error& e) {
        setError(std::string("std::format error: ") + e.what());
        fatalStop(e.what());
    } catch (const std::bad_alloc& e) {
        fatalStop(e.what());
    } catch (const std::out_of_range& e) {
        fatalStop(e.what());
    } catch (const std::runtime_error& e) {
        fatalStop(e.what());
    } catch (const std::exception& e) {
        fatalStop(e.what());
    } catch (...) {
        setError("Unknown exception");
        exitCode.store(ExitCode::SystemError);
    }
    {
        // Noted without the hook: nothing may keep the exit step from running.
        std::lock_guard lock(stepsMutex);
        steps.emplace_back("lf_closingDown");
    }
    lf_closingDown();
}

} // namespace qtr
