// The stop request that every thread may make: the first reason wins, whatever the race.
#include "foundation/run_control.h"

#include "support/stop_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <iterator>
#include <thread>
#include <vector>

using namespace qtr;

namespace {

void resetStop() { qtest::resetStopRequests(); }

} // namespace

TEST(RunControl, FirstReasonStandsAmongConcurrentRequests)
{
    const ExitCode codes[] = {ExitCode::SimWasClosed,    ExitCode::NewFlight,   ExitCode::NewSettings,
                              ExitCode::SimConnectError, ExitCode::ReaderError, ExitCode::SystemError};
    for (int round = 0; round < 200; ++round) {
        resetStop();
        // All six start together (a spinning start: the library's barrier can lose a wake-up here).
        std::atomic<int> ready{0};
        std::atomic<bool> go{false};
        std::atomic<int> winners{0};
        std::atomic<int> winnerCode{-1};
        {
            std::vector<std::jthread> threads;
            for (int t = 0; t < 6; ++t)
                threads.emplace_back([&, t] {
                    ++ready;
                    while (!go.load()) std::this_thread::yield();
                    if (requestStop(codes[t], t + 1)) {
                        ++winners;
                        winnerCode = static_cast<int>(codes[t]);
                    }
                });
            while (ready.load() < 6) std::this_thread::yield();
            go = true;
        }
        ASSERT_EQ(winners.load(), 1);
        EXPECT_EQ(static_cast<int>(exitCode.load()), winnerCode.load());
        EXPECT_EQ(restartDelaySeconds.load(),
                  static_cast<int>(std::find(std::begin(codes), std::end(codes), exitCode.load()) - codes) + 1);
        // A later request changes nothing.
        EXPECT_FALSE(requestStop(ExitCode::ReaderError, 99));
    }
    resetStop();
}

TEST(RunControl, UserCloseSetsCodeFourOnlyWhenNoneWasSet)
{
    resetStop();
    requestUserClose();
    EXPECT_TRUE(stopRequested && windowClosed);
    EXPECT_EQ(exitCode.load(), ExitCode::UserClosedProgram);

    resetStop();
    ASSERT_TRUE(requestStop(ExitCode::SystemError, 0));
    requestUserClose();
    EXPECT_EQ(exitCode.load(), ExitCode::SystemError);
    EXPECT_TRUE(windowClosed);
    resetStop();
}
