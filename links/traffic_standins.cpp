#include "links/traffic_standins.h"

namespace qtr {

std::deque<TrafficReport> incomingReports;
std::atomic<std::uint32_t> tickCount{0};
std::atomic<bool> feedPending{true};
UserStateForFeed userStateForFeed;

void removeLiveAircraftAfterFeedLoss() {}

} // namespace qtr
