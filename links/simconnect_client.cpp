#include "links/simconnect_client.h"

#include "app/main_window.h"
#include "foundation/clock.h"
#include "foundation/parameters/parameter_table.h"
#include "traffic/run_control.h"

namespace qtr {

std::mutex simConnectMutex;

void gf_simConnectThread(std::stop_token stop)
{
    setStatus(std::string("Waiting for MSFS 20") + (MSFS_2020.value() ? "20" : "24") + " ...", true);
    while (!stop.stop_requested()) sleepMs(100);
}

void reserveSimConnectQueues() { simConnectFailed.store(false); }

void resetSimConnectState()
{
    simRunning.store(false);
    simConnectFailed.store(false);
}

} // namespace qtr
