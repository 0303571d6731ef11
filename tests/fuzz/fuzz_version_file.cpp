// Feeds a version file of the download site ("version.json": dotted text or a JSON object) to
// the version reader.
#include "foundation/version.h"
#include "fuzz_support.h"

#include <string>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qfuzz::start(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const qtr::VersionData version{std::string(qfuzz::asText(data, size))};
    // Compared and written as the update check does with what it read.
    (void)(version > qtr::programVersion());
    (void)version.toString();
    return 0;
}
