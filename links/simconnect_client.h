#pragma once
// The simulator link as the traffic manager sees it. (Until the SimConnect client lands, the
// thread only waits for the simulator and shows the waiting status.)
#include <mutex>
#include <stop_token>

namespace qtr {

extern std::mutex simConnectMutex;

// Body of the SimConnect thread.
void gf_simConnectThread(std::stop_token stop);
// Reserves the request queues and clears simConnectFailed (once per run).
void reserveSimConnectQueues();
// Empties the queues and forgets the connection (before a restart).
void resetSimConnectState();

} // namespace qtr
