// Feeds a compiled scenery (BGL) file to the add-on airport scan's readers: the quick pass over
// its header and section table, then the full read of its airports, stands and helipads, once
// as the 2020 simulator's scan and once as the 2024 one's (which stops at its own airport
// record). Nothing is written: the scan's results are dropped.
#include "airports/airport_scan.h"
#include "airports/bgl_file.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/utilities.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qfuzz::start(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto path = qfuzz::writeInput("Community/pkg/scenery/airport.bgl", data, size);
    (void)qtr::bglQuickPass(path);
    for (const bool msfs2020 : {true, false}) {
        qtr::MSFS_2020.setValue(msfs2020);
        // The task body gives back a scan slot when it ends; it is taken here as the scan does.
        ++qtr::scanTasksRunning;
        (void)qtr::lf_toParkingPositions(path);
    }
    qtr::MSFS_2020.setValue(true);
    return 0;
}
