// STAND-IN for the add-on airport scan (see the header).
#include "airports/airport_scan_stand_in.h"

#include "foundation/log.h"

namespace qtr {

std::atomic<bool> airportScanSucceeded{false};
std::atomic<int> tbloEntryCount{0};

void lf_airportsScan()
{
    tbloEntryCount = 0;
    logLine("add-on airport scan: not available in this build");
}

void resetAirportScanCollection() {}

} // namespace qtr
