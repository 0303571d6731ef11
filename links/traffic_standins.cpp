#include "links/traffic_standins.h"

namespace qtr {

std::atomic<bool> feedPending{true};
UserStateForFeed userStateForFeed;

} // namespace qtr
