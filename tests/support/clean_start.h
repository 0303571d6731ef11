#pragma once
// The one clean start of every test that runs the worker's or the SimConnect thread's code: the
// run's own reset (as at a restart of the worker), and what a run keeps but a test must not
// inherit from the test before it: the settings, the motion clock, the livery matcher and the
// data bases.
#include "foundation/parameters/parameter_table.h"
#include "links/simconnect_client.h"
#include "liveries/livery_matcher.h"
#include "support/livery_support.h"
#include "traffic/state/traffic_state.h"
#include "traffic/run/worker.h"

namespace qtest {

inline void startClean()
{
    qtr::resetParametersToDefaults();
    qtr::resetRunState();
    qtr::tickCount = 0;
    // Kept across runs so that restarts back off; each test starts without a history.
    qtr::simConnectErrorRuns = 0;
    qtr::clearLiveryMatcher();
    clearTestDataBases();
}

} // namespace qtest
