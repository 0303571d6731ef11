// Feeds one weather datagram (port 49004) to the QNH reader, as its receive loop does.
#include "links/udp_receiver.h"
#include "fuzz_support.h"

#include <algorithm>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qfuzz::start(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    auto reader = std::make_unique<qtr::QnhReader>();
    qfuzz::receiveDatagram(*reader, data, size, qtr::receiveBufferSize);
    reader->onPacket();
    // The accepted value goes to program-wide state; back to the start value.
    qtr::currentQnh = 1013;
    qtr::trafficReader.currentQnh = 1013;
    return 0;
}
