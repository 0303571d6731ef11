// The real program, started as a user starts it: its own folder, its own settings, real windows.
#include "foundation/geometry.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/text_files.h"
#include "liveries/aircraft_cfg.h"
#include "foundation/version.h"
#include "rtpeer.h"
#include "http_server.h"
#include "foundation/site_fixture.h"
#include "support/test_support.h"

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <atomic>
#include <functional>
#include <sstream>
#include <thread>

#include <windows.h>

namespace {

using namespace std::chrono_literals;

// Waits for a condition, giving up after a generous limit (no timing is asserted).
bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = 20s)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

std::filesystem::path communityFixture() { return std::filesystem::path(QM_SOURCE_DIR "/tools/run/community"); }

// The titles of the AI packages' aircraft.cfg files, which the simulator lists as installed.
std::vector<std::string> communityTitles()
{
    std::vector<std::string> titles;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(communityFixture())) {
        if (entry.path().filename() != "aircraft.cfg") continue;
        std::vector<std::string> lines;
        if (!qtr::gf_readTextFile(qtr::gf_detectEncoding(entry.path()), entry.path(), lines)) continue;
        for (const std::string& line : lines)
            if (std::string title; qtr::lf_parseTitle(line, title)) titles.push_back(title);
    }
    return titles;
}

class ProgramFolder {
public:
    ProgramFolder()
    {
        root_ = qtest::freshFolder("program");
        program_ = root_ / "Quillmarsh";
        appData_ = root_ / "appdata";
        std::filesystem::create_directories(appData_ / "Roaming");
        std::filesystem::create_directories(appData_ / "Local");
        std::filesystem::copy(std::filesystem::path(QM_STAGE_DIR), program_, std::filesystem::copy_options::recursive);
        // An installed simulator and the download site, both of this test's own.
        packages_ = root_ / "packages";
        std::filesystem::create_directories(packages_ / "Community");
        std::filesystem::create_directories(packages_ / "Official");
        site_.setRoute("/release/version.json", qmhttp::Route::ok(qtr::programVersion().toString()));
        // The aircraft type data base; the run's AI traffic package, which the program scans.
        site_.setRoute("/MSFS/dbase.zip", qmhttp::Route::ok(qtest::readFile(QM_DBASE_ZIP)));
        qtest::copyTree(communityFixture(), packages_ / "Community");
        site_.start();
        writeSettings("");
    }
    // parameters.xml with the simulator's folder, the site and further elements.
    void writeSettings(const std::string& elements)
    {
        qtest::writeFile(parametersXml(), "<?xml version=\"1.0\"?>\n<parameters>\n"
                                          "\t<parameter name=\"MSFS_INSTALL_PATH\" value=\"" +
                                              packages_.string() +
                                              "\" />\n"
                                              "\t<parameter name=\"DOWNLOAD_SITE\" value=\"" +
                                              site_.baseUrl() + "\" />\n" + elements + "</parameters>\n");
    }
    // The stand-in simulator as the program's SimConnect.dll (the staged folder has none).
    void addStandInSimulator() const
    {
        std::filesystem::copy_file(std::filesystem::path(QM_TEST_BIN_DIR) / "SimConnect.dll",
                                   program_ / "SimConnect.dll");
    }
    const qmhttp::Server& site() const { return site_; }
    qmhttp::Server& site() { return site_; }
    const std::filesystem::path& program() const { return program_; }
    std::filesystem::path parametersXml() const { return appData_ / "Roaming" / "Quillmarsh" / "parameters.xml"; }
    std::filesystem::path log() const { return program_ / "Log.txt"; }
    const std::filesystem::path& appData() const { return appData_; }

private:
    std::filesystem::path root_, program_, appData_, packages_;
    qmhttp::Server site_;
};

class Process {
public:
    Process(const ProgramFolder& folder)
    {
        _wputenv_s(L"QUILLMARSH_APPDATA_ROOT", folder.appData().c_str());
        STARTUPINFOW si{};
        si.cb = sizeof(si);
        std::wstring command = L"\"" + (folder.program() / "Quillmarsh.exe").wstring() + L"\"";
        started_ = CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                  folder.program().c_str(), &si, &info_) != 0;
    }
    ~Process()
    {
        if (!started_) return;
        if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(info_.hProcess, 99);
        WaitForSingleObject(info_.hProcess, 10000);
        CloseHandle(info_.hThread);
        CloseHandle(info_.hProcess);
    }
    bool started() const { return started_; }
    // The exit code once the process ended within the limit, else nothing.
    std::optional<DWORD> waitExit(DWORD ms = 20000)
    {
        if (WaitForSingleObject(info_.hProcess, ms) != WAIT_OBJECT_0) return std::nullopt;
        DWORD code = 0;
        GetExitCodeProcess(info_.hProcess, &code);
        return code;
    }
    // The process's top-level window of the given class (nullptr when none).
    HWND window(const wchar_t* className) const
    {
        struct Search {
            DWORD pid;
            const wchar_t* cls;
            HWND found;
        } search{info_.dwProcessId, className, nullptr};
        EnumWindows(
            [](HWND w, LPARAM p) -> BOOL {
                auto* s = reinterpret_cast<Search*>(p);
                DWORD pid = 0;
                GetWindowThreadProcessId(w, &pid);
                wchar_t cls[64] = {};
                GetClassNameW(w, cls, 64);
                if (pid == s->pid && wcscmp(cls, s->cls) == 0) {
                    s->found = w;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

private:
    PROCESS_INFORMATION info_{};
    bool started_ = false;
};

std::string fileText(const std::filesystem::path& path) { return qtest::readFile(path); }

int storedInt(const std::filesystem::path& xml, const std::string& key)
{
    const std::string text = fileText(xml);
    const std::string tag = "name=\"" + key + "\" value=\"";
    const auto at = text.find(tag);
    if (at == std::string::npos) return -999999;
    return std::stoi(text.substr(at + tag.size()));
}

} // namespace

// The staged program folder as a user copies it, without a SimConnect.dll beside the program:
// it starts, says what is missing and where it belongs, waits, answers what is typed into the
// block edit meanwhile, and closes as usual.
TEST(Program, RunsWithoutSimConnectDllSaysSoWaitsAndClosesLikeAUser)
{
    ProgramFolder folder;
    ASSERT_FALSE(std::filesystem::exists(folder.program() / "SimConnect.dll"));
    Process first(folder);
    ASSERT_TRUE(first.started());
    HWND window = nullptr;
    ASSERT_TRUE(waitFor([&] { return (window = first.window(L"Quillmarsh")) != nullptr; }));
    ASSERT_TRUE(waitFor([&] { return fileText(folder.log()).find("Waiting for MSFS 2020 ...") != std::string::npos; }));
    ASSERT_TRUE(
        waitFor([&] { return fileText(folder.log()).find("SimConnect.dll not found in ") != std::string::npos; }));
    EXPECT_NE(fileText(folder.log())
                  .find(": copy the SimConnect.dll of the MSFS SDK (folder \"SimConnect SDK\\lib\") beside "
                        "Quillmarsh.exe, Quillmarsh waits for it"),
              std::string::npos);
    // No loader dialog: the only window of the program is its main window.
    EXPECT_EQ(first.window(L"#32770"), nullptr);
    // The start asked the download site for the published version, as the program does.
    EXPECT_TRUE(folder.site().waitForRequests(1, 20s));
    RECT rect{};
    GetWindowRect(window, &rect);
    EXPECT_EQ(rect.left, 400);

    // A second start returns -1 at once and touches neither the log nor the settings.
    const std::string logBefore = fileText(folder.log());
    const std::string xmlBefore = fileText(folder.parametersXml());
    {
        Process second(folder);
        ASSERT_TRUE(second.started());
        EXPECT_EQ(second.waitExit(), std::optional<DWORD>(static_cast<DWORD>(-1)));
    }
    EXPECT_EQ(fileText(folder.log()), logBefore);
    EXPECT_EQ(fileText(folder.parametersXml()), xmlBefore);
    EXPECT_FALSE(std::filesystem::exists(folder.program() / "Log0.txt"));

    // The notice of the missing library leaves the status line to the edits' answers.
    HWND block = GetDlgItem(window, qtr::BLOCK_CALLSIGN.id);
    ASSERT_NE(block, nullptr);
    SendMessageW(block, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"abc12"));
    PostMessageW(block, WM_CHAR, 13, 0);
    EXPECT_TRUE(waitFor([&] {
        return fileText(folder.log()).find("live aircraft with callsign \"ABC12\" will be blocked") !=
               std::string::npos;
    }));

    // Move the window, then close it as the close button does.
    SetWindowPos(window, nullptr, 123, 45, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    GetWindowRect(window, &rect);
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(first.waitExit(), std::optional<DWORD>(0));
    const std::string log = fileText(folder.log());
    EXPECT_NE(log.find("Exiting: USER CLOSED PROGRAM"), std::string::npos);
    EXPECT_EQ(storedInt(folder.parametersXml(), "MAIN_WINDOW_X"), rect.left);
    EXPECT_EQ(storedInt(folder.parametersXml(), "MAIN_WINDOW_Y"), rect.top);
}

// A data base from the site whose XML is cut short does not end the start: the program reads
// the copy it ships with and waits for the simulator as usual.
TEST(Program, UnreadableDataBaseFromTheSiteFallsBackToTheShippedCopy)
{
    ProgramFolder folder;
    folder.site().setRoute("/MSFS/dbase.zip",
                           qmhttp::Route::ok(qtest::makeZip({{"dbase.xml", "<aircrafts><aircraft types=\"B7"}})));
    Process program(folder);
    HWND window = nullptr;
    ASSERT_TRUE(waitFor([&] { return (window = program.window(L"Quillmarsh")) != nullptr; }));
    const std::string fallback = "data base could not be read from on-line, reading the shipped input";
    ASSERT_TRUE(waitFor([&] { return fileText(folder.log()).find(fallback) != std::string::npos; }))
        << fileText(folder.log());
    ASSERT_TRUE(waitFor([&] { return fileText(folder.log()).find("Waiting for MSFS") != std::string::npos; }));
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(program.waitExit(), std::optional<DWORD>(0));
    const std::string log = fileText(folder.log());
    EXPECT_EQ(log.find("SYSTEM ERROR"), std::string::npos) << log;
    EXPECT_TRUE(std::filesystem::exists(folder.program() / "input" / "dbase.zip"));
    EXPECT_FALSE(std::filesystem::exists(folder.program() / "input" / "temp2.xml"));
}

TEST(Program, PositionOnABoundFallsBackToTheLastGoodOne)
{
    ProgramFolder folder;
    // A stored edge on a bound opens the window at the default and rewrites it.
    folder.writeSettings("\t<parameter name=\"MAIN_WINDOW_X\" value=\"-30000\" />\n"
                         "\t<parameter name=\"MAIN_WINDOW_Y\" value=\"30\" />\n");
    Process program(folder);
    HWND window = nullptr;
    ASSERT_TRUE(waitFor([&] { return (window = program.window(L"Quillmarsh")) != nullptr; }));
    RECT rect{};
    GetWindowRect(window, &rect);
    EXPECT_EQ(rect.left, 400);
    EXPECT_EQ(rect.top, 30);
    ASSERT_TRUE(waitFor([&] { return fileText(folder.log()).find("Waiting for MSFS") != std::string::npos; }));
    // Dragged beyond the left limit: the stored x goes back to the last good position.
    SetWindowPos(window, nullptr, -40000, 60, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(program.waitExit(), std::optional<DWORD>(0));
    EXPECT_EQ(storedInt(folder.parametersXml(), "MAIN_WINDOW_X"), 400);
    EXPECT_EQ(storedInt(folder.parametersXml(), "MAIN_WINDOW_Y"), 60);
}

TEST(Program, ThreeStartsLeaveTwoLogGenerations)
{
    ProgramFolder folder;
    for (int run = 0; run < 3; ++run) {
        Process program(folder);
        HWND window = nullptr;
        ASSERT_TRUE(waitFor([&] { return (window = program.window(L"Quillmarsh")) != nullptr; }));
        ASSERT_TRUE(waitFor([&] { return fileText(folder.log()).find("Waiting for MSFS") != std::string::npos; }));
        PostMessageW(window, WM_CLOSE, 0, 0);
        ASSERT_EQ(program.waitExit(), std::optional<DWORD>(0));
    }
    for (const char* name : {"Log.txt", "Log0.txt", "Log00.txt"}) {
        const std::string text = fileText(folder.program() / name);
        EXPECT_NE(text.find(" (utc) Quillmarsh version "), std::string::npos) << name;
        EXPECT_NE(text.find("Exiting: USER CLOSED PROGRAM"), std::string::npos) << name;
    }
}

TEST(Program, UnwritableLogIsReportedInsteadOfDyingSilently)
{
    ProgramFolder folder;
    // A folder where the log file should be: the log cannot be opened.
    std::filesystem::create_directories(folder.program() / "Log.txt");
    Process program(folder);
    HWND box = nullptr;
    ASSERT_TRUE(waitFor([&] { return (box = program.window(L"#32770")) != nullptr; }));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    const auto code = program.waitExit();
    ASSERT_TRUE(code.has_value());
    EXPECT_NE(*code, 0u);
    EXPECT_EQ(program.window(L"Quillmarsh"), nullptr);
}

namespace {

// The journal of the stand-in simulator: one JSON object a line.
std::vector<nlohmann::json> journalEntries(const std::filesystem::path& path)
{
    std::vector<nlohmann::json> entries;
    std::istringstream in(fileText(path));
    for (std::string line; std::getline(in, line);) {
        if (line.empty()) continue;
        try {
            entries.push_back(nlohmann::json::parse(line));
        } catch (const std::exception&) {
        }
    }
    return entries;
}

class ScopedEnvironment {
public:
    ScopedEnvironment(const wchar_t* name, const std::wstring& value) : name_(name) { _wputenv_s(name, value.c_str()); }
    ~ScopedEnvironment() { _wputenv_s(name_, L""); }

private:
    const wchar_t* name_;
};

} // namespace

// The program with the stand-in simulator at Los Angeles (the user aircraft on the ground) and
// RealTraffic replaying a short flight of one aircraft: the simulator gets an AI aircraft with the
// callsign as tail number, moved every frame along the reported track, and removed when the
// reports end (its last position lies near the edge of the 10 nm range, so it is not prolonged).
TEST(Program, LiveTrafficReachesTheSimulator)
{
    ProgramFolder folder;
    folder.writeSettings("\t<parameter name=\"TELLMOOR\" value=\"true\" />\n"
                         "\t<parameter name=\"AUTO_RANGE\" value=\"false\" />\n"
                         "\t<parameter name=\"LATERAL_RANGE\" value=\"10\" />\n");
    nlohmann::json scenario =
        nlohmann::json::parse(fileText(std::filesystem::path(QM_SOURCE_DIR) / "tools/run/klax_scenario.json"));
    scenario["presentAfterSeconds"] = 0;
    for (const std::string& title : communityTitles()) scenario["installedTitles"].push_back(title);
    const auto scenarioPath = folder.appData() / "scenario.json";
    qtest::writeFile(scenarioPath, scenario.dump());
    const auto journal = folder.appData() / "journal.jsonl";
    ScopedEnvironment sim(L"QUILLMARSH_SIM_SCENARIO", scenarioPath.wstring());
    ScopedEnvironment notes(L"QUILLMARSH_SIM_JOURNAL", journal.wstring());

    folder.addStandInSimulator();
    Process program(folder);
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(
        waitFor([&] { return fileText(folder.log()).find("Traffic Reader connected") != std::string::npos; }, 60s));

    // Three reports 4 s apart, flying west at 300 kt from 8.9 nm west of the user aircraft.
    const qtr::LatLon user{scenario["user"]["latitude"].get<double>(), scenario["user"]["longitude"].get<double>()};
    std::vector<rtpeer::RecordedDatagram> recording;
    std::vector<qtr::LatLon> reported;
    // The first datagram only wakes the program's wait for traffic; the main loop takes in the rest.
    for (int k = -1; k < 3; ++k) {
        const qtr::LatLon p =
            qtr::destinationPoint(user, 1.5 * 3.141592653589793, (8.9 + std::max(k, 0) / 3.0) * 6076.11549);
        if (k >= 0) reported.push_back(p);
        recording.push_back(rtpeer::RecordedDatagram{
            1.0 + 4.0 * k, false,
            fmt::format("RTTFC,11000001,{:.6f},{:.6f},3000,0,0,270,300,AAL42,A320,N42AA,LAX,PHX,0,,,adsb_icao,3000,,-1,"
                        ",,-1,,300,0,none,A3,,,,,,,,,,,,,,0",
                        p.lat, p.lon)});
    }
    // The main loop takes reports only once the park airport's fetches are done: the rest goes
    // when the log says that it runs.
    std::atomic<bool> stop{false};
    EXPECT_EQ(rtpeer::play({recording.front()}, rtpeer::PlayOptions{}, stop), 1u);
    ASSERT_TRUE(waitFor([&] { return fileText(folder.log()).find("Main loop running") != std::string::npos; }, 60s));
    recording.erase(recording.begin());
    EXPECT_EQ(rtpeer::play(recording, rtpeer::PlayOptions{}, stop), 3u);

    // The object is created, moved and removed again (the reports are due 30 s after they came).
    // Another RealTraffic on this machine may send to the same port: only this flight counts.
    const auto objectOfFlight = [&]() -> int {
        for (const auto& e : journalEntries(journal))
            if (e.value("kind", "") == "created" && e.value("tail", "") == "AAL42") return e.value("object", 0);
        return -1;
    };
    ASSERT_TRUE(waitFor(
        [&] {
            const int object = objectOfFlight();
            for (const auto& e : journalEntries(journal))
                if (e.value("kind", "") == "removed" && e.value("object", 0) == object) return true;
            return false;
        },
        60s));
    const HWND window = program.window(L"Quillmarsh");
    ASSERT_NE(window, nullptr);
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(program.waitExit(), std::optional<DWORD>(0));

    const int object = objectOfFlight();
    std::vector<nlohmann::json> created, poses, removed;
    for (const auto& e : journalEntries(journal)) {
        const std::string kind = e.value("kind", "");
        if (e.value("object", -2) != object) continue;
        if (kind == "created") created.push_back(e);
        if (kind == "pose") poses.push_back(e);
        if (kind == "removed") removed.push_back(e);
    }
    ASSERT_EQ(created.size(), 1u);
    // No American A320 is installed: the matcher gives the airline's similar A321.
    EXPECT_EQ(created[0].value("title", ""), "Airbus A321 American Airlines");
    ASSERT_EQ(removed.size(), 1u);
    EXPECT_NE(removed[0].value("reason", ""), "client closed");
    // About 8 s between the first and the last report at 30 frames a second; each pose lies on
    // the reported track and farther west than the one before.
    EXPECT_GT(poses.size(), 150u);
    double lastLon = 0;
    for (std::size_t k = 0; k < poses.size(); ++k) {
        const double lat = poses[k].value("lat", 0.0);
        const double lon = poses[k].value("lon", 0.0);
        EXPECT_NEAR(lat, reported[0].lat, 0.002);
        EXPECT_GE(lon, reported[2].lon - 0.002);
        EXPECT_LE(lon, reported[0].lon + 0.002);
        if (k > 0) {
            EXPECT_LE(lon, lastLon);
        }
        lastLon = lon;
    }
}
