#pragma once
// STAND-IN for the aircraft type data base and the livery failure report, with only what the
// simulator link reads (categories and half wing spans of types) and writes (titles the
// simulator failed to create), under the data base's names. The liveries subsystem replaces
// this file when it lands.
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qtr {

struct FlightRecord;

// Half the wingspan of each type in nautical miles, and the largest of them.
extern std::map<std::string, double> typeHalfWingSpans;
extern double maxHalfWingSpan;
// Average half wingspan of each category (0 until computed).
extern std::array<double, 6> categoryHalfWingSpans;
// The type lists of the data base, as type -> category (types in none are Light).
extern std::map<std::string, std::uint32_t> typeCategories;

std::uint32_t categoryOfType(const std::string& type);
// The type's entry, else the average of its category.
double wingspanOfType(const std::string& type);

bool isValidType(const std::string& type);

// A registration's record of the data base: airline, type, an alternative airline (or empty) and
// the cargo flag.
struct RegistrationRecord {
    std::string airline;
    std::string type;
    std::string altAirline;
    bool cargo = false;
};
extern std::map<std::string, RegistrationRecord> registrationRecords;
// The registration as given, then without its hyphens; empty when none matches.
std::optional<RegistrationRecord> registrationInfo(const std::string& registration);

// Titles the simulator failed to create.
extern std::vector<std::string> failedTitles;
void onLiveryNotCreated(const FlightRecord& record);

// Loads the type data base (here: a small table of common types) when it is still empty.
void readDataBase();
// Empties every container above (tests).
void clearTypeDataStandIn();

} // namespace qtr
