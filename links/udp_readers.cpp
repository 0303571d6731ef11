// The two readers of RealTraffic's datagrams and what they share with the rest of the program,
// apart from the sockets (udp_receiver.cpp): the parsers and the state they fill need no Windows.
#include "links/udp_receiver.h"

#include "foundation/indicators.h"
#include "foundation/log.h"
#include "foundation/time_text.h"
#include "links/feed.h"

namespace qtr {

// Owned by their reader threads; the rest of the program reads their atomics.
TrafficReader trafficReader;
QnhReader qnhReader;
std::atomic<std::int32_t> currentQnh{1013};

namespace {
// Each lamp's latch remembers that the lamp was set to 1 since it last went to 2.
std::atomic<bool> trafficLatch{true};
std::atomic<bool> weatherLatch{true};
} // namespace

void TrafficReader::onStopped()
{
    indicators.trafficLamp = 3;
    indicators.invalidate(Band::links);
    logLine("Traffic Reader has stopped");
}

void QnhReader::onStopped() { logLine("QNH Reader has stopped"); }

namespace {

void checkLamp(UdpReceiver& reader, std::atomic<std::int32_t>& lamp, std::atomic<bool>& latch)
{
    const std::uint32_t now = reader.packets.load();
    const std::uint32_t before = reader.packetsAtLastCheck.exchange(now);
    if (now == before) {
        lamp = 2;
        indicators.invalidate(Band::links);
        latch = false;
    } else if (!latch.load()) {
        latch = true;
        lamp = 1;
        indicators.invalidate(Band::links);
    }
}

} // namespace

void updateReaderLamps()
{
    if (!indicators.feedConnected.load()) return;
    checkLamp(qnhReader, indicators.weatherLamp, weatherLatch);
    checkLamp(trafficReader, indicators.trafficLamp, trafficLatch);
}

void resetTrafficState()
{
    currentQnh = 1013;
    trafficReader.currentQnh = 1013;
    latestFeedReportTime = 0.0;
    {
        std::lock_guard lock(trafficReader.reportedFlightsMutex);
        trafficReader.reportedFlights.clear();
    }
    trafficReader.stop = false;
    qnhReader.stop = false;
    qnhReader.packets = 0;
    qnhReader.packetsAtLastCheck = 0;
    trafficLatch = true;
    weatherLatch = true;
    indicators.qnh = 1013;
}

void setReaderUserPosition(double latitude, double longitude)
{
    trafficReader.userLat = latitude;
    trafficReader.userLon = longitude;
}

void setReaderParkAirport(std::optional<std::pair<double, double>> position)
{
    if (position) {
        trafficReader.parkLat = position->first;
        trafficReader.parkLon = position->second;
    }
    trafficReader.parkAirportSet = position.has_value();
}

void setReaderParkAltitude(std::optional<double> altitudeFeet)
{
    if (altitudeFeet) trafficReader.parkAltitude = *altitudeFeet;
    trafficReader.parkAltitudeKnown = altitudeFeet.has_value();
}

} // namespace qtr
