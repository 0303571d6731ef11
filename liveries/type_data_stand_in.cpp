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

std::vector<std::vector<std::string>> publisherGroups;
std::set<std::string> vendrakeAirports;
std::vector<ThirdPartyAirports> thirdPartyAirports20;
std::vector<ThirdPartyAirports> thirdPartyAirports24;

bool containsIgnoreCase(const std::string& text, const std::string& token)
{
    if (token.empty()) return true;
    if (token.size() > text.size()) return false;
    const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    return std::search(text.begin(), text.end(), token.begin(), token.end(),
                       [&](char a, char b) { return lower(a) == lower(b); }) != text.end();
}

std::string publisherOf(const std::string& text)
{
    for (const auto& group : publisherGroups)
        for (const std::string& name : group)
            if (name.empty() || text.find(name) != std::string::npos || containsIgnoreCase(text, name))
                return group.front();
    return "unknown";
}

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

void readDataBase()
{
    struct Entry {
        const char* type;
        std::uint32_t category;
        double wingspanMetres;
    };
    // A few common types, until the data base itself is read.
    static constexpr Entry entries[] = {
        {"C152", 0, 10.1}, {"C172", 0, 11.0}, {"C82S", 0, 11.0}, {"T210", 0, 11.2}, {"P28A", 0, 10.7},
        {"PA44", 0, 11.6}, {"PA46", 0, 13.1}, {"S22T", 0, 11.7}, {"PC12", 0, 16.3}, {"C56X", 1, 16.0},
        {"CL60", 1, 19.6}, {"GLF5", 1, 28.5}, {"E75L", 2, 28.7}, {"CRJ9", 2, 24.9}, {"DH8D", 2, 28.4},
        {"A319", 2, 35.8}, {"A320", 2, 35.8}, {"A20N", 2, 35.8}, {"A321", 2, 35.8}, {"A21N", 2, 35.8},
        {"B737", 2, 34.3}, {"B738", 2, 35.8}, {"B739", 2, 35.8}, {"B38M", 2, 35.9}, {"B39M", 2, 35.9},
        {"B752", 2, 38.1}, {"B763", 3, 47.6}, {"B772", 3, 60.9}, {"B77L", 3, 64.8}, {"B77W", 3, 64.8},
        {"B788", 3, 60.1}, {"B789", 3, 60.1}, {"B744", 3, 64.4}, {"B748", 3, 68.4}, {"A333", 3, 60.3},
        {"A359", 3, 64.8}, {"A388", 3, 79.8}, {"MD11", 3, 51.7}, {"F16", 4, 9.8},   {"AS50", 5, 10.7},
        {"R66", 5, 10.1},  {"EC35", 5, 10.2}};
    if (!typeCategories.empty()) return;
    std::array<double, 6> sums{};
    std::array<int, 6> counts{};
    for (const Entry& e : entries) {
        const double radius = e.wingspanMetres * 0.5 / 1852.0;
        typeCategories[e.type] = e.category;
        typeHalfWingSpans[e.type] = radius;
        maxHalfWingSpan = std::max(maxHalfWingSpan, radius);
        sums[e.category] += radius;
        ++counts[e.category];
    }
    for (std::size_t c = 0; c < sums.size(); ++c)
        if (counts[c] > 0) categoryHalfWingSpans[c] = sums[c] / counts[c];
}

void clearTypeDataStandIn()
{
    typeHalfWingSpans.clear();
    maxHalfWingSpan = 0.0;
    categoryHalfWingSpans.fill(0.0);
    typeCategories.clear();
    failedTitles.clear();
    registrationRecords.clear();
    publisherGroups.clear();
    vendrakeAirports.clear();
    thirdPartyAirports20.clear();
    thirdPartyAirports24.clear();
}

} // namespace qtr
