#pragma once
// The run's stop state as a fresh process has it, between tests that request stops.
#include "foundation/run_control.h"

namespace qtest {

inline void resetStopRequests()
{
    qtr::stopRequested = false;
    qtr::windowClosed = false;
    qtr::exitCode = qtr::ExitCode::NotYetSet;
    qtr::restartDelaySeconds = 0;
}

} // namespace qtest
