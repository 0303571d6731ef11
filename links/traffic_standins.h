#pragma once
// Stand-ins for what the feed links need of the traffic manager that is not built yet: the
// report record the parser fills, the incoming report queue, the tick count, the flag that the
// feed is still pending, the worker's copy of the user aircraft and the removal of live
// aircraft when RealTraffic goes away. The traffic manager replaces them under the same names.
#include <atomic>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

namespace qtr {

// One timed point of an aircraft, as a traffic report carries it.
struct Position {
    double lat = 0.0;
    double lon = 0.0;
    std::optional<double> bank;        // radians, the feed's roll with its sign inverted
    std::optional<double> trueHeading; // radians
    double alt = 0.0;                  // feet, 0 on the ground
    double speed = 0.0;                // knots
    double track = 0.0;                // degrees
    double verticalSpeed = 0.0;        // as received
    double tas = 0.0;                  // knots
    std::uint32_t time = 0;            // tick at which the aircraft is to be here
    bool airborne = false;
    bool stop = false;
    bool attitudeFromFeed = false;     // the feed gave a true heading
};

// One parsed traffic line.
struct TrafficReport {
    std::string airline;
    std::string type;
    std::string origin;
    std::string destination;
    std::string callsign;
    std::string callsignKey;
    std::string coupledCallsign;
    std::string registration;
    std::uint8_t coupledSearched = 0;
    Position pos;
    double reportTime = 0.0; // seconds of the feed's clock
    std::uint32_t flightId = 0;
};

// Guarded by trafficMutex (traffic/worker.h).
extern std::deque<TrafficReport> incomingReports;
// The motion clock in hundredths of a second.
extern std::atomic<std::uint32_t> tickCount;
// True from the start and after each restart until RealTraffic has connected in the run.
extern std::atomic<bool> feedPending;

// The worker's last snapshot of the user aircraft, as far as the position line needs it
// (worker thread only).
struct UserStateForFeed {
    double latitude = 0.0;  // degrees
    double longitude = 0.0; // degrees
    double pitch = 0.0;     // radians
    double bank = 0.0;      // radians
    double heading = 0.0;   // true, radians
    double altitude = 0.0;  // feet
    double groundSpeed = 0.0; // knots
};
extern UserStateForFeed userStateForFeed;

// RealTraffic went away: active live aircraft are removed, those being created are dropped.
// (No live aircraft exist yet; the traffic manager brings the real loop.)
void removeLiveAircraftAfterFeedLoss();

} // namespace qtr
