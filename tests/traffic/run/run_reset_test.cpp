#include "foundation/indicators.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/run_control.h"
#include "foundation/time_text.h"
#include "links/traffic_standins.h"
#include "support/clean_start.h"
#include "traffic/state/traffic_state.h"
#include "traffic/run/worker.h"

#include <gtest/gtest.h>

#include <functional>
#include <mutex>

using namespace qtr;

namespace {

std::string errorShown()
{
    std::lock_guard lock(indicators.statusMutex);
    return indicators.errorText;
}

} // namespace

// What one run leaves behind is gone after the reset between two runs (and at every test's
// start, which uses the same reset); a piece the reset forgot would carry into the next run.
TEST(RunReset, ClearsWhatARunLeavesBehind)
{
    struct Case {
        const char* what;
        std::function<void()> leave;
        std::function<bool()> clean;
    };
    const Case cases[] = {
        {"stop request", [] { stopRequested = true; }, [] { return !stopRequested; }},
        {"closed window", [] { windowClosed = true; }, [] { return !windowClosed; }},
        {"exit code", [] { exitCode = ExitCode::NewSettings; }, [] { return exitCode == ExitCode::NotYetSet; }},
        {"restart delay", [] { restartDelaySeconds = 3; }, [] { return restartDelaySeconds == 0; }},
        {"error line", [] { setError("Error 5"); }, [] { return errorShown().empty(); }},
        {"failed SimConnect call", [] { simConnectFailed = true; }, [] { return !simConnectFailed; }},
        {"user data pending", [] { newUserData = true; }, [] { return !newUserData; }},
        {"professional feed", [] { feedProfessional = true; }, [] { return !feedProfessional; }},
        {"feed awaited", [] { feedPending = false; }, [] { return feedPending.load(); }},
        {"resolved callsign", [] { resolvedObjectId = 77; }, [] { return resolvedObjectId == 0; }},
        {"update count", [] { indicators.updateCount = 9; }, [] { return indicators.updateCount == 0; }},
    };
    for (const Case& c : cases) c.leave();
    resetRunState();
    for (const Case& c : cases) EXPECT_TRUE(c.clean()) << c.what;
}

// The run keeps the user's settings (the next start reads them from the file again); a test
// starts from the defaults and its own motion clock, so that nothing of one test reaches the next.
TEST(RunReset, SettingsLastTheRunButNotTheTest)
{
    LATERAL_RANGE.setValue(77);
    LOG.setValue(false);
    resetRunState();
    EXPECT_EQ(LATERAL_RANGE.value(), 77);
    EXPECT_FALSE(LOG.value());
    tickCount = 1234;
    qtest::startClean();
    EXPECT_EQ(LATERAL_RANGE.value(), 40);
    EXPECT_TRUE(LOG.value());
    EXPECT_EQ(lateralRangeMetres.load(), 40 * 1852);
    EXPECT_EQ(tickCount.load(), 0u);
}
