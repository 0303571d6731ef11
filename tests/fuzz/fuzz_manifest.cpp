// Feeds a package's "manifest.json" to the manifest reader (title, creator, manufacturer).
#include "airports/manifest.h"
#include "fuzz_support.h"

#include <nlohmann/json.hpp>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qfuzz::start(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto path = qfuzz::writeInput("Community/pkg/manifest.json", data, size);
    try {
        (void)qtr::readManifestInfo(path);
    } catch (const nlohmann::json::exception&) {
        // Syntax and type errors are thrown to the scan, which reports them.
    }
    return 0;
}
