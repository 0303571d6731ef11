#include "foundation/log.h"
#include "foundation/version.h"
#include "foundation/clock.h"
#include "log_capture.h"
#include <fmt/format.h>
#include <algorithm>
#include "support/test_support.h"
#include "foundation/run_control.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace qtr;

namespace {

// The log is a text-mode file: CRLF on disk.
std::string readLog(const std::filesystem::path& path)
{
    std::string text = qtest::readFile(path);
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
    return out;
}

std::string firstLine(const std::filesystem::path& path)
{
    const std::string text = readLog(path);
    return text.substr(0, text.find('\n'));
}

void expectBanner(const std::string& line)
{
    // "Thu Jan 01 00:00:00 1970 (utc) Quillmarsh version 10.10.10 for MSFS 2020/2024"
    ASSERT_GE(line.size(), 25u) << line;
    EXPECT_EQ(line.substr(24), " (utc) Quillmarsh version " + programVersion().toString() + " for MSFS 2020/2024");
}

} // namespace

TEST(Log, WritersBeforeStartDoNothing)
{
    const auto folder = qtest::freshFolder("log-closed");
    qtest::ScopedCwd cwd(folder);
    closeLog();
    logLine("x");
    logMarked("x");
    logIndented("x");
    logLineWhileRunning("x");
    EXPECT_FALSE(std::filesystem::exists(folder / "Log.txt"));
}

TEST(Log, ThreeStartsKeepTwoBackupGenerations)
{
    const auto folder = qtest::freshFolder("log-generations");
    qtest::ScopedCwd cwd(folder);
    for (const char* run : {"first", "second", "third"}) {
        gf_startLog();
        logLine(run);
        closeLog();
        if (std::string(run) == "first") {
            // A first start creates no backups.
            EXPECT_FALSE(std::filesystem::exists(folder / "Log0.txt"));
        }
    }
    for (auto [name, run] : {std::pair{"Log.txt", "third"}, {"Log0.txt", "second"}, {"Log00.txt", "first"}}) {
        const auto path = folder / name;
        ASSERT_TRUE(std::filesystem::exists(path)) << name;
        expectBanner(firstLine(path));
        const std::string text = readLog(path);
        EXPECT_NE(text.find(std::string("\n") + run), std::string::npos) << name;
    }
}

TEST(Log, PrefixesAndLinesWhileRunning)
{
    const auto folder = qtest::freshFolder("log-prefixes");
    qtest::ScopedCwd cwd(folder);
    gf_startLog();
    logMarked("marked");
    logIndented("detail");
    windowClosed = true;
    logLineWhileRunning("after close");
    logLine("plain");
    windowClosed = false;
    closeLog();
    const std::string text = readLog(folder / "Log.txt");
    EXPECT_NE(text.find("\n===> marked\n"), std::string::npos);
    EXPECT_NE(text.find("\n          detail\n"), std::string::npos);
    EXPECT_EQ(text.find("after close"), std::string::npos);
    EXPECT_NE(text.find("\nplain\n"), std::string::npos);
}

TEST(Log, BackupOfNameWithoutDotDoesNothing)
{
    const auto folder = qtest::freshFolder("log-nodot");
    qtest::writeFile(folder / "README", "x");
    gf_backupFile(folder / "README");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()), 1);
    // A dot in a folder's name is no extension of the file.
    const std::filesystem::path dotted = folder / L"Program.Files";
    qtest::writeFile(dotted / "README", "x");
    gf_backupFile(dotted / "README");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dotted), std::filesystem::directory_iterator()), 1);
    qtest::writeFile(dotted / "Log.txt", "first");
    gf_backupFile(dotted / "Log.txt");
    qtest::writeFile(dotted / "Log.txt", "second");
    gf_backupFile(dotted / "Log.txt");
    EXPECT_EQ(qtest::readFile(dotted / "Log0.txt"), "second");
    EXPECT_EQ(qtest::readFile(dotted / "Log00.txt"), "first");
}

TEST(Log, LinesOfManyThreadsStayWhole)
{
    const auto folder = qtest::freshFolder("log-threads");
    qtest::ScopedCwd cwd(folder);
    gf_startLog();
    constexpr int threads = 8, lines = 400;
    const std::string body(120, 'x');
    {
        std::vector<std::jthread> writers;
        for (int t = 0; t < threads; ++t)
            writers.emplace_back([t, &body] {
                for (int i = 0; i < lines; ++i) logLine("T" + std::to_string(t) + ":" + body + ":end");
            });
    }
    closeLog();
    const std::string text = readLog(folder / "Log.txt");
    int count = 0;
    std::size_t pos = text.find('\n') + 1;
    while (pos < text.size()) {
        const auto end = text.find('\n', pos);
        const std::string line = text.substr(pos, end - pos);
        ASSERT_EQ(line.substr(line.find(':')), ":" + body + ":end") << line;
        ++count;
        pos = end + 1;
    }
    EXPECT_EQ(count, threads * lines);
}

// Bytes from outside are cut and escaped for the log.
TEST(Log, ExcerptsOfOutsideBytes)
{
    const struct {
        std::string bytes;
        std::size_t maxChars;
        std::string expected;
    } cases[] = {
        {"{\"QNH\": 1013}", 200, "{\"QNH\": 1013}"},
        {std::string("a\nb\r\0\\\xFF", 7), 200, "a\\x0Ab\\x0D\\x00\\x5C\\xFF"},
        {std::string(300, 'y'), 200, std::string(200, 'y') + " ... (300 bytes)"},
        {"abc\n", 4, "abc ... (4 bytes)"}, // an escape is never cut in half
    };
    for (const auto& c : cases) EXPECT_EQ(gf_logExcerpt(c.bytes, c.maxChars), c.expected) << c.expected;
}

// One line of a kind a second, then the count of the ones left out; other kinds are independent.
TEST(Log, RepeatsOfAKindAtMostOnceASecond)
{
    struct ManualClock final : Clock {
        std::chrono::steady_clock::time_point now{};
        std::chrono::steady_clock::time_point steadyNow() override { return now; }
        void sleepFor(std::chrono::milliseconds d) override { now += d; }
        void sleepUntil(std::chrono::steady_clock::time_point t) override { now = std::max(now, t); }
    } manual;
    setClock(&manual);
    qtest::LogCapture capture("repeats");
    RepeatLimitedLog limited;
    for (int i = 0; i < 5; ++i) {
        limited.write("overrun", fmt::format("overrun {}", i));
        limited.write("no QNH", fmt::format("no QNH {}", i));
        manual.now += std::chrono::milliseconds(300);
    }
    limited.write("overrun", "overrun last");
    // After a stop the lines still reach the log, but for the kinds written only while running.
    manual.now += std::chrono::seconds(2);
    stopRequested = true;
    limited.write("no QNH", "no QNH after the stop");
    limited.write("overrun", "overrun after the stop", true);
    stopRequested = false;
    EXPECT_EQ(capture.lines(),
              (std::vector<std::string>{"overrun 0", "no QNH 0", "overrun 4",
                                        "          (3 more \"overrun\" lines left out)", "no QNH 4",
                                        "          (3 more \"no QNH\" lines left out)", "no QNH after the stop"}));
    setClock(nullptr);
}
