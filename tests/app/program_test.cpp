// The real program, started as a user starts it: its own folder, its own settings, real windows.
#include "foundation/version.h"
#include "http_server.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
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
        site_.start();
        writeSettings("");
    }
    // parameters.xml with the simulator's folder, the site and further elements.
    void writeSettings(const std::string& elements)
    {
        qtest::writeFile(parametersXml(),
                         "<?xml version=\"1.0\"?>\n<parameters>\n"
                         "\t<parameter name=\"MSFS_INSTALL_PATH\" value=\"" + packages_.string() + "\" />\n"
                         "\t<parameter name=\"DOWNLOAD_SITE\" value=\"" + site_.baseUrl() + "\" />\n" +
                             elements + "</parameters>\n");
    }
    const qmhttp::Server& site() const { return site_; }
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

TEST(Program, RunsWaitsForTheSimulatorAndClosesLikeAUser)
{
    ProgramFolder folder;
    Process first(folder);
    ASSERT_TRUE(first.started());
    HWND window = nullptr;
    ASSERT_TRUE(waitFor([&] { return (window = first.window(L"Quillmarsh")) != nullptr; }));
    ASSERT_TRUE(waitFor([&] { return fileText(folder.log()).find("Waiting for MSFS 2020 ...") != std::string::npos; }));
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

    // Move the window, then close it as the close button does.
    SetWindowPos(window, nullptr, 123, 45, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    GetWindowRect(window, &rect);
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(first.waitExit(), std::optional<DWORD>(0));
    const std::string log = fileText(folder.log());
    EXPECT_NE(log.find("Exiting: USER CLOSED SIM"), std::string::npos);
    EXPECT_EQ(storedInt(folder.parametersXml(), "MAIN_WINDOW_X"), rect.left);
    EXPECT_EQ(storedInt(folder.parametersXml(), "MAIN_WINDOW_Y"), rect.top);
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
        EXPECT_NE(text.find("Exiting: USER CLOSED SIM"), std::string::npos) << name;
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
