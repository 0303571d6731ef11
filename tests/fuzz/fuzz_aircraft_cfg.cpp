// Feeds an aircraft.cfg to the livery scan's file readers: the text decoded (UTF-16 either way,
// UTF-8 with or without mark, 8-bit), its [fltsim.N] numbering checked, its type found and each
// section turned into livery records; the first byte's lowest bit chooses the IVAO package
// reader instead, whose path gives the type.
#include "liveries/livery_folder_walk.h"
#include "liveries/scan_problems.h"
#include "foundation/utilities.h"
#include "fuzz_support.h"

namespace {

void clearProblemLists()
{
    qtr::emptyCfgFiles.clear();
    qtr::invalidCfgFiles.clear();
    qtr::incompleteSections.clear();
    qtr::invalidAirlineCodes.clear();
    qtr::invalidModelCodes.clear();
    qtr::codeFixes.clear();
    qtr::clearSeenTitles();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qfuzz::start(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    const bool ivao = (data[0] & 1) != 0;
    const auto path = qfuzz::writeInput(ivao ? "Community/IVAO_MTL/SimObjects/Airplanes/IVAO_B738/aircraft.cfg"
                                             : "Community/pkg/SimObjects/Airplanes/livery/aircraft.cfg",
                                        data + 1, size - 1);
    // Each task body gives back a scan slot when it ends; it is taken here as the walk does.
    ++qtr::scanTasksRunning;
    try {
        if (ivao)
            (void)qtr::lf_searchLiveriesInIvaoFile(1, path);
        else
            (void)qtr::lf_searchLiveriesinFile(1, path);
    } catch (const std::exception&) {
        // Thrown to the walk, which reports the file and goes on (UTF-16 that does not convert,
        // a section reader's failure).
    }
    clearProblemLists();
    return 0;
}
