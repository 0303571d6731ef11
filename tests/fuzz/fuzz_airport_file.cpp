// Feeds an airport file (stands of one airport: meta, parameters and parkpositions) to the
// reader of the park airport's file, then the same bytes as that airport's learned file to the
// learned-file reader.
#include "airports/airport_file_reader.h"
#include "airports/learned_file.h"
#include "foundation/errors.h"
#include "traffic/state/stands.h"
#include "traffic/state/traffic_state.h"
#include "fuzz_support.h"

#include <vector>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qfuzz::start(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // A learned file that did not load is moved aside; start each run from an empty folder.
    qfuzz::clearFolder("airports");
    qfuzz::writeInput("airports/my_thirdparty/ZZZZ.xml", data, size);
    qtr::parkAirportIcao = "ZZZZ";
    qtr::ApfFileRecord record;
    qtr::QualityPair quality;
    try {
        (void)qtr::gf_readApf("airports/my_thirdparty/ZZZZ.xml", record, quality);
    } catch (const qtr::UserErrorException&) {
        // A missing altitude (65) or a stand named twice (94) is a user error by design.
    }

    const auto learned = qfuzz::writeInput("airports/learned/ZZZZ.xml", data, size);
    std::vector<qtr::Stand> list = qtr::stands;
    bool handmade = false;
    qtr::lf_readLearned(learned, record, list, handmade);

    qtr::clearStands();
    qtr::parkFileLoaded = false;
    qtr::parkAirportIcao.clear();
    return 0;
}
