#include "airports/scan_messages.h"

namespace qtr {

std::vector<std::string> airportScanMessages;
std::mutex airportScanMessagesMutex;

void lf_addScanMessage(const std::string& line)
{
    std::lock_guard lock(airportScanMessagesMutex);
    airportScanMessages.push_back(line);
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
