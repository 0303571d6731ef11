#pragma once
// STAND-IN for the add-on airport scan: the names the worker's start-up, the main window and its
// simulator switch use, with the least behaviour. The add-on airport scan replaces this file.
#include <atomic>

namespace qtr {

// Set whenever the scan linked an airport or saved a generated airport file.
extern std::atomic<bool> airportScanSucceeded;
// Entries the last scan made in the folder "TBLO" (shown by the main window while above 0).
extern std::atomic<int> tbloEntryCount;

// The scan of the add-on airport scenery (worker thread, at the start of a run while
// SCAN_AIRPORTS is on). Here: nothing is scanned.
void lf_airportsScan();
// Back to the state of a process that never scanned: the running number of collected entries
// to 1 and their list emptied (worker thread).
void resetAirportScanCollection();

} // namespace qtr
