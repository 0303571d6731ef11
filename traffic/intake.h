#pragma once
// Traffic intake: queued reports become updates of live aircraft or new live aircraft, and once
// per tick every live aircraft is updated and its pose handed to the SimConnect thread.
#include "traffic/records.h"

namespace qtr {

// The traffic reader's side: appends the report under trafficMutex while trafficRunning is set.
void processLine(TrafficReport&& report);
// Whether the user wants aircraft of this category (light, high-performance, rotorcraft switches).
bool categoryWanted(std::uint32_t category);

bool processIncomingTraffic();
bool matchReport(const TrafficReport& report, LiveAircraft& aircraft);
void completeReportType(TrafficReport& report);
void createLiveFromReport(TrafficReport& report);
void updateAllLiveAc();

} // namespace qtr
