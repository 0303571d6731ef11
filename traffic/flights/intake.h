#pragma once
// Traffic intake: queued reports become updates of live aircraft or new live aircraft, and once
// per tick every live aircraft is updated and its pose handed to the SimConnect thread.
#include "traffic/state/records.h"

#include <cstddef>
#include <cstdint>

namespace qtr {

// The tick takes in two queued reports every 10 ms (200 a second). A feed, or a flood of
// plausible reports from the network, that sends faster for long would grow the queue without
// end; past this many the oldest report, the least worth keeping, is dropped.
inline constexpr std::size_t maxIncomingReports = 4000;

// The run's start: no report is taken until the main loop starts taking them, which gives the
// number refused meanwhile (the feed is read a while before, during the park airport's fetches).
void stopTakingReports();
std::uint64_t startTakingReports();
// The traffic reader's side: appends the report under trafficMutex while trafficRunning is set,
// dropping the oldest queued one (counted in the log) when the queue is full, and wakes the worker.
void processLine(TrafficReport&& report);
// The same for a report as the feed brings it: its position falls due leadTicks after the tick
// count as it stands when queued. The count is read under trafficMutex, under which the worker
// catches it up after sleeping through idle passes (countIdlePasses).
void processLineAt(TrafficReport&& report, std::uint32_t leadTicks);
// Whether the user wants aircraft of this category (light, high-performance, rotorcraft switches).
bool categoryWanted(std::uint32_t category);

bool processIncomingTraffic();
bool matchReport(const TrafficReport& report, LiveAircraft& aircraft);
void completeReportType(TrafficReport& report);
void createLiveFromReport(TrafficReport& report);
void updateAllLiveAc();

} // namespace qtr
