// The worker's start as the window starts it: its steps in order on a fresh data folder and on
// a restart, what it leaves behind at its exit, and each error of its handler ending in SYSTEM
// ERROR. The worker runs on a thread of its own against a local download site; no simulator
// answers, so a run that starts waits for it until the test closes the window.
#include "app/controls.h"
#include "foundation/indicators.h"
#include "foundation/errors.h"
#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/paths.h"
#include "foundation/version.h"
#include "foundation/win_text.h"
#include "http_server.h"
#include "support/test_support.h"
#include "foundation/run_control.h"
#include "traffic/run/startup.h"

#include <fmt/format.h>
#include "links/flight_plan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <new>
#include <optional>
#include <thread>

using namespace qtr;
using namespace std::chrono_literals;

namespace {

bool contains(const std::vector<std::string>& steps, const std::string& step)
{
    return std::find(steps.begin(), steps.end(), step) != steps.end();
}

// Waits until the worker has taken the step (generous limit; no timing is asserted).
bool waitForStep(const std::string& step)
{
    const auto end = std::chrono::steady_clock::now() + 30s;
    while (!contains(startupSteps(), step)) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

class Startup : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = qtest::freshFolder("startup");
        std::filesystem::create_directories(folder_ / "docs");
        std::filesystem::create_directories(folder_ / "input");
        std::filesystem::copy_file(std::filesystem::path(QM_STAGE_DIR) / "input" / "airports_msfs.xml",
                                   folder_ / "input" / "airports_msfs.xml");
        packages_ = folder_ / "packages";
        for (const char* sub : {"Community", "Official", "Official2024"})
            std::filesystem::create_directories(packages_ / sub);
        // An installed AI package, so that the automatic livery scan finds liveries.
        const char* package = "user-aitraffic-quillmarsh-klax";
        std::filesystem::copy(std::filesystem::path(QM_SOURCE_DIR) / "tools" / "run" / "community" / package,
                              packages_ / "Community" / package, std::filesystem::copy_options::recursive);
        cwd_.emplace(folder_);
        site_.setRoute("/release/version.json", qmhttp::Route::ok(programVersion().toString()));
        site_.setRoute("/myvendrake24/version.json", qmhttp::Route::ok("0.0.1"));
        site_.setRoute("/MSFS/dbase.zip", qmhttp::Route::ok(qtest::readFile(QM_DBASE_ZIP)));
        site_.start();
        std::filesystem::remove(parametersXmlPath());
        std::filesystem::remove_all(dataFolder() / "orig_dest");
        writeSettings("");
        gf_startLog();
        resetRunControl();
        restartRequested = false;
        indicators.resetIndicators();
    }
    void TearDown() override
    {
        startupStepHook = nullptr;
        closeLog();
        resetRunControl();
        restartRequested = false;
        for (CheckBoxParameter* box : {&MSFS_2020, &AUTO_RANGE, &SCAN_AIRPORTS, &SCAN_LIVERIES})
            box->setValue(box->defaultValue());
        cwd_.reset();
    }
    static void resetRunControl()
    {
        stopRequested = false;
        windowClosed = false;
        exitCode = ExitCode::NotYetSet;
        restartDelaySeconds = 0;
    }
    void writeSettings(const std::string& elements)
    {
        qtest::writeFile(parametersXmlPath(), "<?xml version=\"1.0\"?>\n<parameters>\n"
                                              "\t<parameter name=\"MSFS_INSTALL_PATH\" value=\"" +
                                                  packages_.string() +
                                                  "\" />\n"
                                                  "\t<parameter name=\"MSFS_2024_INSTALL_PATH\" value=\"" +
                                                  packages_.string() +
                                                  "\" />\n"
                                                  "\t<parameter name=\"DOWNLOAD_SITE\" value=\"" +
                                                  site_.baseUrl() + "\" />\n" + elements + "</parameters>\n");
    }

    // Runs one worker until it waits for the simulator (or has ended), closes the window as the
    // user does, and returns the steps it took.
    std::vector<std::string> runWorker()
    {
        clearStartupSteps();
        std::thread worker(workerMain);
        const auto end = std::chrono::steady_clock::now() + 30s;
        auto reached = [](const std::string& step) { return contains(startupSteps(), step); };
        while (!reached("run") && !reached("lf_closingDown") && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(10ms);
        EXPECT_TRUE(reached("run") || reached("lf_closingDown"));
        requestUserClose();
        worker.join();
        return startupSteps();
    }
    std::string log() { return qtest::readFile("Log.txt"); }
    // The version checks the start made (the program's and the add-on package's).
    std::size_t versionRequests() const
    {
        const auto requests = site_.requests();
        return static_cast<std::size_t>(std::count_if(requests.begin(), requests.end(), [](const qmhttp::Request& r) {
            return r.path.ends_with("/version.json");
        }));
    }

    std::filesystem::path folder_, packages_;
    std::optional<qtest::ScopedCwd> cwd_;
    qmhttp::Server site_;
};

// The steps of a start that reaches the run, without the data base read (first start only).
const std::vector<std::string> stepsOfAStart{"docs",
                                             "loadParameters",
                                             "stripCommunityFolder",
                                             "setupAirportsFolder",
                                             "checkForNewVersion",
                                             "enableRunControls",
                                             "programInstallPath",
                                             "readAirports",
                                             "installPath",
                                             "realTraffic",
                                             "workerSlots",
                                             "liveriesFile",
                                             "gf_scanLiveries",
                                             "lf_airportsScan",
                                             "airportFileCounts",
                                             "createFlightPlanFolders",
                                             "lf_readMyParkAirports",
                                             "destination",
                                             "alwaysOnTop",
                                             "autoRange",
                                             "run",
                                             "lf_closingDown"};

std::vector<std::string> withoutDataBase(std::vector<std::string> steps)
{
    std::erase(steps, "readDataBase");
    return steps;
}

} // namespace

TEST_F(Startup, StepsInOrderOnAFreshDataFolderAndOnARestart)
{
    // Fresh: the version is checked, the flight-plan folder is made for the run.
    bool flightPlanFolderDuringRun = false;
    startupStepHook = [&](std::string_view step) {
        if (step == "run") flightPlanFolderDuringRun = std::filesystem::is_directory(dataFolder() / "orig_dest");
    };
    EXPECT_EQ(withoutDataBase(runWorker()), stepsOfAStart);
    EXPECT_TRUE(flightPlanFolderDuringRun);
    EXPECT_EQ(exitCode.load(), ExitCode::UserClosedProgram);
    EXPECT_EQ(versionRequests(), 1u);
    // The exit removed the flight plans and forgot destination and blocked callsign.
    EXPECT_FALSE(std::filesystem::exists(dataFolder() / "orig_dest"));
    const std::string xml = qtest::readFile(parametersXmlPath());
    EXPECT_NE(xml.find("name=\"DESTINATION\" value=\"\""), std::string::npos);
    EXPECT_NE(xml.find("name=\"BLOCK_CALLSIGN\" value=\"\""), std::string::npos);
    EXPECT_NE(log().find("RealTraffic not detected at this PC"), std::string::npos);
    for (const auto* folder : {&outputFolder, &learnedThirdpartyFolder, &myRegcodesFolder})
        EXPECT_TRUE(std::filesystem::is_directory(*folder));

    // A restart reads the parameters afresh but neither checks the version nor updates the
    // add-on package; with the scans and the automatic range off, those steps are left out too.
    resetRunControl();
    restartRequested = true;
    site_.clearRequests();
    writeSettings("\t<parameter name=\"SCAN_AIRPORTS\" value=\"false\" />\n"
                  "\t<parameter name=\"AUTO_RANGE\" value=\"false\" />\n"
                  "\t<parameter name=\"MSFS_2020\" value=\"false\" />\n"
                  "\t<parameter name=\"MYVENDRAKE24_VERSION\" value=\"0.0.1\" />\n");
    std::vector<std::string> expected = stepsOfAStart;
    for (const char* skipped : {"checkForNewVersion", "lf_airportsScan", "autoRange"}) std::erase(expected, skipped);
    EXPECT_EQ(runWorker(), expected);
    EXPECT_EQ(versionRequests(), 0u);

    // A first start in 2024 mode asks for the add-on package's version as well.
    resetRunControl();
    restartRequested = false;
    const auto steps = runWorker();
    EXPECT_EQ(std::count(steps.begin(), steps.end(), "updateAddonPackage"), 1);
    EXPECT_LT(std::find(steps.begin(), steps.end(), "checkForNewVersion"),
              std::find(steps.begin(), steps.end(), "updateAddonPackage"));
    EXPECT_EQ(versionRequests(), 2u);
}

// A settings folder where the flight-plan folder cannot be made (here a file holds its name, as
// a read-only folder refuses it): the run goes on without plans, says so once, and the exit
// leaves what holds the name alone.
TEST_F(Startup, FlightPlanFolderThatCannotBeMadeCostsOnlyThePlans)
{
    const auto blocker = dataFolder() / "orig_dest";
    qtest::writeFile(blocker, "not ours");
    EXPECT_EQ(withoutDataBase(runWorker()), stepsOfAStart);
    EXPECT_EQ(exitCode.load(), ExitCode::UserClosedProgram);
    EXPECT_TRUE(flightPlanFolder.empty());
    const std::string text = log();
    const std::string said = "No flight plans in this run, their folder cannot be made";
    EXPECT_NE(text.find(said), std::string::npos);
    EXPECT_EQ(text.find(said), text.rfind(said));
    EXPECT_EQ(qtest::readFile(blocker), "not ours");
    std::filesystem::remove(blocker);
}

TEST_F(Startup, StopDuringTheScansEndsBeforeTheRun)
{
    startupStepHook = [](std::string_view step) {
        if (step == "airportFileCounts") stopRequested = true;
    };
    const auto steps = runWorker();
    EXPECT_FALSE(contains(steps, "createFlightPlanFolders"));
    EXPECT_FALSE(contains(steps, "run"));
    EXPECT_TRUE(contains(steps, "lf_closingDown"));
    EXPECT_TRUE(windowClosed.load());
    EXPECT_EQ(exitCode.load(), ExitCode::UserClosedProgram);
}

TEST_F(Startup, EveryErrorEndsInSystemErrorWithItsMessage)
{
    struct Case {
        const char* what;
        std::function<void()> fail;
        std::string error; // on the status line
        std::string logged;
    };
    const Case cases[] = {
        {"user error", [] { throw UserErrorException(88, "input/airports_msfs.xml not found"); },
         "88: input/airports_msfs.xml not found", "Error 88: input/airports_msfs.xml not found"},
        {"format error", [] { throw fmt::format_error("argument not found"); }, "argument not found",
         "Error std::format error: argument not found"},
        {"allocation", [] { throw std::bad_alloc(); }, std::bad_alloc().what(), ""},
        {"out of range", [] { throw std::out_of_range("vector::at"); }, "vector::at", "Error vector::at"},
        {"runtime", [] { throw std::runtime_error("disk full"); }, "disk full", "Error disk full"},
        {"logic", [] { throw std::logic_error("broken"); }, "broken", "Error broken"},
        {"anything", [] { throw 42; }, "Unknown exception", "Error Unknown exception"},
    };
    for (const Case& c : cases) {
        resetRunControl();
        indicators.resetIndicators();
        startupStepHook = [&c](std::string_view step) {
            if (step == "readAirports") c.fail();
        };
        clearStartupSteps();
        std::thread worker(workerMain);
        // With SYSTEM ERROR the exit step keeps the error on screen until the window is closed.
        EXPECT_TRUE(waitForStep("lf_closingDown")) << c.what;
        EXPECT_EQ(exitCode.load(), ExitCode::SystemError) << c.what;
        EXPECT_EQ(indicators.errorLine(), c.error) << c.what;
        windowClosed = true;
        worker.join();
        EXPECT_FALSE(contains(startupSteps(), "run")) << c.what;
        if (!c.logged.empty()) {
            EXPECT_NE(log().find(c.logged), std::string::npos) << c.what;
        }
    }
    EXPECT_NE(log().find("Exiting: SYSTEM ERROR"), std::string::npos);
}

TEST_F(Startup, RealErrorsOfTheStart)
{
    // Started from a folder without "docs".
    std::filesystem::remove_all(folder_ / "docs");
    clearStartupSteps();
    std::thread worker(workerMain);
    EXPECT_TRUE(waitForStep("lf_closingDown"));
    EXPECT_EQ(indicators.errorLine(), "41: Quillmarsh must be run from the Quillmarsh folder!");
    EXPECT_EQ(exitCode.load(), ExitCode::SystemError);
    windowClosed = true;
    worker.join();
    std::filesystem::create_directories(folder_ / "docs");

    // No packages folder stored and none to be found.
    resetRunControl();
    indicators.resetIndicators();
    qtest::writeFile(parametersXmlPath(),
                     "<?xml version=\"1.0\"?>\n<parameters>\n\t<parameter name=\"DOWNLOAD_SITE\" value=\"" +
                         site_.baseUrl() + "\" />\n</parameters>\n");
    clearStartupSteps();
    std::thread second(workerMain);
    EXPECT_TRUE(waitForStep("lf_closingDown"));
    EXPECT_EQ(indicators.errorLine(),
              "150: No install path detected, type full path to your Community folder above, and press Enter");
    // The user does as told: the Community folder typed into the install-path edit ends the
    // error's wait with a restart, without closing the window.
    lf_newSimPath(MSFS_INSTALL_PATH, pathToUtf8(packages_ / "Community"));
    second.join();
    EXPECT_EQ(MSFS_INSTALL_PATH.value(), pathToUtf8(packages_));
    EXPECT_TRUE(restartRequested.load());
    EXPECT_EQ(indicators.errorLine(), "");
    EXPECT_NE(log().find("Community path found, Quillmarsh will restart ..."), std::string::npos);
    EXPECT_NE(log().find("Restarting after 3 seconds"), std::string::npos);
    EXPECT_EQ(log().find("User closed Quillmarsh"), std::string::npos);
    EXPECT_FALSE(windowClosed.load());
}

// A saved install path that names the Community folder keeps only the packages folder; only the
// last component goes, so a folder whose name begins with "Community" earlier in the path stays.
TEST_F(Startup, SavedInstallPathLosesItsCommunityFolder)
{
    struct Case {
        std::string saved, kept;
    };
    const Case cases[] = {
        {"D:\\MSFS\\Community", "D:\\MSFS"},
        {"D:\\Community Games\\MSFS\\Community", "D:\\Community Games\\MSFS"},
        {"D:\\Community Games\\MSFS", "D:\\Community Games\\MSFS"},
        {"D:\\MSFS\\Community2", "D:\\MSFS\\Community2"},
        {"\\Community", "\\Community"},
        {"", ""},
    };
    for (const Case& c : cases) {
        MSFS_INSTALL_PATH.setValue(c.saved);
        stripCommunityFolder(MSFS_INSTALL_PATH);
        EXPECT_EQ(MSFS_INSTALL_PATH.value(), c.kept) << c.saved;
    }
    MSFS_INSTALL_PATH.setValue("");
}

// What a start mends in the saved state, one start per case in this order: the Community folder
// of a saved path, and the liveries scanned again when their scan's file is gone while
// SCAN_LIVERIES is off (never when the file is there).
TEST_F(Startup, StartMendsTheSavedState)
{
    struct Case {
        const char* what;
        std::string settings;
        bool removeLiveriesFile;
        bool rescanTold;
    };
    const std::string community =
        "\t<parameter name=\"MSFS_INSTALL_PATH\" value=\"" + packages_.string() + "\\Community\" />\n";
    const std::string scanOff = "\t<parameter name=\"SCAN_LIVERIES\" value=\"false\" />\n";
    const Case cases[] = {
        {"saved path of the Community folder", community, false, false},
        {"scan off, the file there", scanOff, false, false},
        {"scan off, the file gone", scanOff, true, true},
    };
    for (const Case& c : cases) {
        resetRunControl();
        qtest::writeFile(parametersXmlPath(), "<?xml version=\"1.0\"?>\n<parameters>\n" + c.settings +
                                                  "\t<parameter name=\"MSFS_INSTALL_PATH\" value=\"" +
                                                  packages_.string() +
                                                  "\" />\n\t<parameter name=\"DOWNLOAD_SITE\" value=\"" +
                                                  site_.baseUrl() + "\" />\n</parameters>\n");
        if (c.removeLiveriesFile) std::filesystem::remove(liveriesScannedPath);
        const std::size_t logged = log().size();
        const auto steps = runWorker();
        EXPECT_TRUE(contains(steps, "run")) << c.what;
        EXPECT_EQ(MSFS_INSTALL_PATH.value(), packages_.string()) << c.what;
        EXPECT_EQ(log().find("is gone, rescan liveries", logged) != std::string::npos, c.rescanTold) << c.what;
        EXPECT_TRUE(std::filesystem::exists(liveriesScannedPath)) << c.what;
    }
    EXPECT_NE(
        qtest::readFile(parametersXmlPath()).find("name=\"MSFS_INSTALL_PATH\" value=\"" + packages_.string() + "\""),
        std::string::npos);
    MSFS_INSTALL_PATH.setValue("");
}

// Which controls a run's start enables, as the settings ask; the block edit that answers at once
// is open from the start, the destination edit and the controls of the main loop are not.
TEST_F(Startup, RunControlsFollowTheSettings)
{
    struct Case {
        bool autoRange, blocked, automaticLiveries, msfs2020;
    };
    const auto enabled = [](const ParameterControl& control) {
        std::optional<bool> found;
        for (const RunControlState& s : runControlStates())
            if (s.control == &control) {
                EXPECT_FALSE(found.has_value()) << control.id << " listed twice";
                found = s.enabled;
            }
        return found;
    };
    for (const Case& c : {Case{true, false, true, true}, Case{false, true, false, false}}) {
        AUTO_RANGE.setValue(c.autoRange);
        BLOCK_CALLSIGN.setValue(c.blocked ? "DLH4AB" : "");
        LIG_AUTOMATIC.setValue(c.automaticLiveries);
        MSFS_2020.setValue(c.msfs2020);
        EXPECT_EQ(enabled(LATERAL_RANGE), !c.autoRange);
        EXPECT_EQ(enabled(AUTO_RANGE_ABOVE_HEIGHT), c.autoRange);
        EXPECT_EQ(enabled(unblockButton), c.blocked);
        EXPECT_EQ(enabled(AI_PACKAGE_ORDER), c.automaticLiveries);
        EXPECT_EQ(enabled(CALLSIGN_OBJECTIDS), c.msfs2020);
        for (const ParameterControl* open : std::initializer_list<const ParameterControl*>{
                 &BLOCK_CALLSIGN, &ALL_INSTALL_PATH, &MAX_LIVE, &MATCHING_DEPTH})
            EXPECT_EQ(enabled(*open), std::optional<bool>(true)) << open->id;
        for (const ParameterControl* closed : std::initializer_list<const ParameterControl*>{
                 &CALLSIGN_2_OBJECTID, &DESTINATION, &rereadButton, &flushStaticButton, &parking_percentage,
                 &MAX_FIT_FL, &LEARN_SOFT})
            EXPECT_EQ(enabled(*closed), std::optional<bool>(false)) << closed->id;
    }
    BLOCK_CALLSIGN.setValue("");
    LIG_AUTOMATIC.setValue(LIG_AUTOMATIC.defaultValue());
}
