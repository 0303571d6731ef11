#pragma once
// Stand-ins for what the feed links need of the traffic manager that is not built yet: the
// flag that the feed is still pending and the worker's copy of the user aircraft. The traffic
// manager replaces them under the same names.
#include <atomic>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

namespace qtr {

// True from the start and after each restart until RealTraffic has connected in the run.
extern std::atomic<bool> feedPending;

// The worker's last snapshot of the user aircraft, as far as the position line needs it
// (worker thread only).
struct UserStateForFeed {
    double latitude = 0.0;    // degrees
    double longitude = 0.0;   // degrees
    double pitch = 0.0;       // radians
    double bank = 0.0;        // radians
    double heading = 0.0;     // true, radians
    double altitude = 0.0;    // feet
    double groundSpeed = 0.0; // knots
};
extern UserStateForFeed userStateForFeed;

} // namespace qtr
