#include "airports/scan_messages.h"

namespace qtr {

std::vector<std::string> airportScanMessages;
std::mutex airportScanMessagesMutex;

namespace {

// The capture of the calling thread, if any (each thread its own).
thread_local std::vector<std::string>* capturedLines = nullptr;

} // namespace

void lf_addScanMessage(const std::string& line)
{
    if (capturedLines != nullptr) {
        capturedLines->push_back(line);
        return;
    }
    std::lock_guard lock(airportScanMessagesMutex);
    airportScanMessages.push_back(line);
}

ScanMessageCapture::ScanMessageCapture(std::vector<std::string>& lines) : previous_(capturedLines)
{
    capturedLines = &lines;
}

ScanMessageCapture::~ScanMessageCapture() { capturedLines = previous_; }

void addScanMessages(const std::vector<std::string>& lines)
{
    std::lock_guard lock(airportScanMessagesMutex);
    airportScanMessages.insert(airportScanMessages.end(), lines.begin(), lines.end());
}

std::vector<std::string> scanMessagesCopy()
{
    std::lock_guard lock(airportScanMessagesMutex);
    return airportScanMessages;
}

void clearScanMessages()
{
    std::lock_guard lock(airportScanMessagesMutex);
    airportScanMessages.clear();
}

} // namespace qtr
