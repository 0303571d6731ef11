// The two readers of RealTraffic's datagrams and what they share with the rest of the program,
// apart from the sockets (udp_receiver.cpp): the parsers and the state they fill need no Windows.
#include "links/udp_receiver.h"

#include "foundation/indicators.h"
#include "foundation/log.h"

namespace qtr {

// Owned by their reader threads; the rest of the program reads their atomics.
TrafficReader trafficReader;
QnhReader qnhReader;
std::atomic<std::int32_t> currentQnh{1013};

void TrafficReader::onStopped()
{
    indicators.trafficLamp = 3;
    indicators.invalidate(Band::links);
    logLine("Traffic Reader has stopped");
}

void QnhReader::onStopped() { logLine("QNH Reader has stopped"); }

} // namespace qtr
