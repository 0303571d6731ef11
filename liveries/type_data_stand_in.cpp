// STAND-IN for the aircraft type data base (see the header).
#include "liveries/type_data_stand_in.h"

#include "foundation/log.h"
#include "traffic/records_stand_in.h"

#include <fmt/format.h>

#include <algorithm>

namespace qtr {

std::map<std::string, double> typeHalfWingSpans;
double maxHalfWingSpan = 0.0;
std::array<double, 6> categoryHalfWingSpans{};
std::map<std::string, std::uint32_t> typeCategories;
std::vector<std::string> failedTitles;

std::uint32_t categoryOfType(const std::string& type)
{
    const auto it = typeCategories.find(type);
    return it == typeCategories.end() ? 0 : it->second;
}

double wingspanOfType(const std::string& type)
{
    const auto it = typeHalfWingSpans.find(type);
    if (it != typeHalfWingSpans.end()) return it->second;
    return categoryHalfWingSpans[categoryOfType(type)];
}

void onLiveryNotCreated(const FlightRecord& record)
{
    const std::string title(record.livery);
    if (std::find(failedTitles.begin(), failedTitles.end(), title) != failedTitles.end()) return;
    failedTitles.push_back(title);
    logLine(fmt::format("{} \"{}\" could not be created by your Sim!", flightText(record), title));
}

void clearTypeDataStandIn()
{
    typeHalfWingSpans.clear();
    maxHalfWingSpan = 0.0;
    categoryHalfWingSpans.fill(0.0);
    typeCategories.clear();
    failedTitles.clear();
}

} // namespace qtr
