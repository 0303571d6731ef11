#include "app/main_window.h"
#include "foundation/log.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <thread>

using namespace qtr;

namespace {

class StatusLine : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = qtest::freshFolder("status");
        cwd_ = std::make_unique<qtest::ScopedCwd>(folder_);
        gf_startLog();
        indicators.resetIndicators();
    }
    void TearDown() override
    {
        closeLog();
        indicators.resetIndicators();
        cwd_.reset();
    }
    std::string log() { return qtest::readFile(folder_ / "Log.txt"); }
    std::uint32_t stamp()
    {
        std::lock_guard lock(indicators.statusMutex);
        return indicators.statusStamp;
    }

    std::filesystem::path folder_;
    std::unique_ptr<qtest::ScopedCwd> cwd_;
};

} // namespace

TEST_F(StatusLine, ErrorStaysUntilClearedAndSwallowsStatusTexts)
{
    setStatus("working", true);
    setError("41: broken");
    EXPECT_EQ(indicators.statusLine(), "");
    EXPECT_EQ(indicators.errorLine(), "41: broken");
    setStatus("ignored while the error shows", true);
    for (int i = 0; i < 40; ++i) statusCycle();
    EXPECT_EQ(indicators.errorLine(), "41: broken");
    EXPECT_EQ(indicators.statusLine(), "");
    const std::string text = log();
    EXPECT_NE(text.find("Error 41: broken"), std::string::npos);
    EXPECT_EQ(text.find("ignored while the error shows"), std::string::npos);
    // After the error is cleared the line is empty, not the text shown before the error.
    clearError();
    EXPECT_EQ(indicators.statusLine(), "");
    setStatus("again", false);
    EXPECT_EQ(indicators.statusLine(), "again");
}

TEST_F(StatusLine, StatusTextExpiresAfterTwentyFiveCycles)
{
    setStatus("hello", false);
    EXPECT_EQ(stamp(), 1u); // set at cycle 0: stamped 1
    for (int cycle = 1; cycle <= 25; ++cycle) {
        statusCycle();
        EXPECT_EQ(indicators.statusLine(), "hello") << cycle;
    }
    statusCycle(); // cycle 26
    EXPECT_EQ(indicators.statusLine(), "");
    EXPECT_EQ(stamp(), 0u);
}

TEST_F(StatusLine, EmptyTextClearsWithoutLogLine)
{
    setStatus("shown", true);
    const auto before = log();
    setStatus("", true);
    EXPECT_EQ(indicators.statusLine(), "");
    EXPECT_EQ(stamp(), 0u);
    EXPECT_EQ(log(), before);
}

TEST_F(StatusLine, ConcurrentWritersLeaveOneWholeText)
{
    const std::string a(300, 'a'), b(300, 'b');
    {
        std::jthread first([&] {
            for (int i = 0; i < 2000; ++i) setStatus(a, false);
        });
        std::jthread second([&] {
            for (int i = 0; i < 2000; ++i) setStatus(b, false);
        });
    }
    const std::string line = indicators.statusLine();
    EXPECT_TRUE(line == a || line == b);
}
