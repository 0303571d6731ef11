// STAND-IN for the aircraft type data base (see the header).
#include "liveries/type_data_stand_in.h"

#include "foundation/log.h"
#include "traffic/records.h"

#include <fmt/format.h>

#include <algorithm>

namespace qtr {

std::map<std::string, double> typeHalfWingSpans;
double maxHalfWingSpan = 0.0;
std::array<double, 6> categoryHalfWingSpans{};
std::map<std::string, std::uint32_t> typeCategories;
std::vector<std::string> failedTitles;
std::map<std::string, RegistrationRecord> registrationRecords;

bool isValidType(const std::string& type) { return typeCategories.count(type) != 0; }

std::optional<RegistrationRecord> registrationInfo(const std::string& registration)
{
    if (registration.empty()) return std::nullopt;
    if (const auto it = registrationRecords.find(registration); it != registrationRecords.end()) return it->second;
    std::string plain = registration;
    std::erase(plain, '-');
    if (const auto it = registrationRecords.find(plain); it != registrationRecords.end()) return it->second;
    return std::nullopt;
}

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
    registrationRecords.clear();
}

} // namespace qtr
