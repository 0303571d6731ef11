#pragma once
// STAND-IN for the aircraft type data base and the livery failure report, with only what the
// simulator link reads (categories and half wing spans of types) and writes (titles the
// simulator failed to create), under the data base's names. The liveries subsystem replaces
// this file when it lands.
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
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

// Publisher names of the "publishers" section: the first name of a group is the canonical
// publisher, every name of the group is a text by which it is recognised.
extern std::vector<std::vector<std::string>> publisherGroups;
// The canonical publisher of the first group with a name that is empty or occurs in the text
// (as written or ignoring letter case); "unknown" when none does.
std::string publisherOf(const std::string& text);
// True for an empty token; else whether the token occurs in the text, ASCII letters compared
// without regard to case.
bool containsIgnoreCase(const std::string& text, const std::string& token);

// Archived airport files: the ICAO codes of the maker's add-on airports, and per outside
// publisher its archived airports, each an ICAO code followed by the stand count ("EGLL203").
extern std::set<std::string> vendrakeAirports;
struct ThirdPartyAirports {
    std::string publisher;
    std::vector<std::string> airports;
};
extern std::vector<ThirdPartyAirports> thirdPartyAirports20;
extern std::vector<ThirdPartyAirports> thirdPartyAirports24;

// Titles the simulator failed to create.
extern std::vector<std::string> failedTitles;
void onLiveryNotCreated(const FlightRecord& record);

// Loads the type data base (here: a small table of common types) when it is still empty.
void readDataBase();
// Empties every container above (tests).
void clearTypeDataStandIn();

} // namespace qtr
