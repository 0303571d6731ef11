// Feeds RealTraffic's reply to "Qs999=version" (the feed handshake) to its parser.
#include "links/feed.h"
#include "fuzz_support.h"

#include <string>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qfuzz::start(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    qtr::parseFeedVersion(std::string(qfuzz::asText(data, size)));
    qtr::feedProfessional = false;
    return 0;
}
