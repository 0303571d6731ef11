// Feeds the simulator's "UserCfg.opt" to the reader of its "InstalledPackagesPath" line: the
// file cut into lines as userCfgPackagesPath reads it, each line offered until one holds the
// key. (Where the file lies is found through Windows' known folders; the fuzzer feeds its
// text.)
#include "foundation/install_detect.h"
#include "fuzz_support.h"

#include <filesystem>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qfuzz::start(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::istringstream in{std::string(qfuzz::asText(data, size))};
    std::filesystem::path result;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (qtr::parseInstalledPackagesPath(result, line)) break;
    }
    (void)qtr::isValidPackagesDir(result);
    return 0;
}
