// Feeds the airports data base ("input/airports_msfs.xml") and its names file
// ("input/airports_msfs_names.xml") to their readers; the same bytes serve as both.
#include "airports/airports_db.h"
#include "foundation/errors.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qfuzz::start(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    qfuzz::writeInput("input/airports_msfs.xml", data, size);
    qfuzz::writeInput("input/airports_msfs_names.xml", data, size);
    qtr::forgetAirports();
    qtr::airportNames.clear();
    try {
        if (qtr::readAirports()) {
            // The lookups the program makes right after reading.
            (void)qtr::findAirport(qtr::airports.front().code);
            (void)qtr::closestAirport(qtr::airports.front().latitude, qtr::airports.front().longitude,
                                      [](const std::string&, double, double, std::string&) { return 100.0; });
        }
    } catch (const qtr::UserErrorException&) {
        // A broken file is a user error (87 or 88) by design.
    }
    qtr::readAirportNames();
    qtr::forgetAirports();
    qtr::airportNames.clear();
    return 0;
}
