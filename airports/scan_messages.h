#pragma once
// The message list of an add-on airport scan: every task of the scan reports what it did as one
// line, and the scan writes the list to "AirportsScanLog.txt" when it ends.
#include <mutex>
#include <string>
#include <vector>

namespace qtr {

// The lines of the current scan, in the order they were added. Any scan task appends (through
// lf_addScanMessage, under airportScanMessagesMutex); the scan driver on the worker thread
// reserves, writes out and clears it.
extern std::vector<std::string> airportScanMessages;
extern std::mutex airportScanMessagesMutex;

// Appends one line (any thread).
void lf_addScanMessage(const std::string& line);
// A copy of the lines (any thread; tests and the driver).
std::vector<std::string> scanMessagesCopy();
void clearScanMessages();

} // namespace qtr
