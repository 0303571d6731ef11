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

// Appends one line (any thread): to the list, or, on a thread inside a ScanMessageCapture, to
// that capture, so that the scan can add each task's lines in walk order.
void lf_addScanMessage(const std::string& line);

// While it lives, the calling thread's scan messages go into lines instead of the list.
class ScanMessageCapture {
public:
    explicit ScanMessageCapture(std::vector<std::string>& lines);
    ~ScanMessageCapture();
    ScanMessageCapture(const ScanMessageCapture&) = delete;
    ScanMessageCapture& operator=(const ScanMessageCapture&) = delete;

private:
    std::vector<std::string>* previous_;
};
// Appends lines to the list in their order (any thread).
void addScanMessages(const std::vector<std::string>& lines);
// A copy of the lines (any thread; tests and the driver).
std::vector<std::string> scanMessagesCopy();
void clearScanMessages();

} // namespace qtr
