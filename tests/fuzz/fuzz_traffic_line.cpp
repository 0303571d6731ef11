// Feeds one traffic datagram (port 49005) to the traffic reader, as its receive loop does:
// copied into the reader's buffer, then onPacket (split into fields, checked, converted).
#include "foundation/parameters/parameter_table.h"
#include "links/feed.h"
#include "links/udp_receiver.h"
#include "fuzz_support.h"

#include <algorithm>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qfuzz::start(argc, argv);
    // Every position is in range, so the parser's later checks are reached too; the traffic
    // run is off, so no report is queued and nothing grows from run to run.
    qtr::lateralRangeNm = 1.0e9;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // A fresh reader per run: its callsign sets must not carry over.
    auto reader = std::make_unique<qtr::TrafficReader>();
    qfuzz::receiveDatagram(*reader, data, size, qtr::receiveBufferSize);
    // A park airport near the equator and prime meridian, which generated lines reach easily.
    reader->parkAirportSet = true;
    reader->parkLat = 0.01;
    reader->parkLon = 0.1;
    reader->onPacket();
    qtr::latestFeedReportTime = 0.0;
    return 0;
}
