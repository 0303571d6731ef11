#pragma once
// The aircraft type data base: which ICAO type codes exist and their categories, similar types,
// wing spans, airline codes, fixes of wrong type codes, the airports of the add-on package and
// of other scenery publishers, and the airline, type and operator of real registrations. It is
// fetched as "dbase.zip" and read once per process by the worker at its first start; its codes
// are stored scrambled (liveries/code_unscrambler.h).
//
// Ownership: every container below is written only by readDataBase on the worker thread, before
// the traffic run starts; afterwards the worker, the aircraft.cfg scan tasks and the airport scan
// only read them, without a lock.
#include "liveries/fnv_hash.h"

#include <array>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace pugi {
class xml_document;
class xml_node;
} // namespace pugi

namespace qtr {

// Sorted by byte-wise comparison; looked up by string_view without a copy.
using OrderedSet = std::set<std::string, std::less<>>;

struct ThirdPartyAirports {
    std::string publisher;
    std::vector<std::string> airports; // ICAO code followed by the archived stand count
};

struct RegistrationInfo {
    std::string airline;      // ICAO code of the airline, may be empty
    std::string type;         // ICAO type, may be empty
    std::string operatorCode; // ICAO code of the operator, may be empty ("operator" is a keyword)
    bool cargo = false;
};

extern OrderedSet validTypes;
extern OrderedSet highPerfTypeSet;
extern OrderedSet heavyTypeSet;
extern OrderedSet largeTypeSet;
extern OrderedSet buzjetTypeSet;
extern OrderedSet rotorcraftTypeSet;
extern OrderedSet cargoTypeSet;
// Groups of mutually similar types, each sorted, in document order.
extern std::vector<std::vector<std::string>> similarGroups;
extern OrderedSet icaoAirlines;
extern OrderedSet cargoOperators;
// The first name of a group is the publisher's canonical name; every name of it recognises it.
extern std::vector<std::vector<std::string>> publisherGroups;
// Half the wing span in nautical miles; the largest value; the average of each category.
extern std::map<std::string, double, std::less<>> typeHalfWingSpans;
extern double maxHalfWingSpan;
extern std::array<double, 6> categoryHalfWingSpans;
// Wrong type code of AI packages -> correct type code.
extern FnvMap<std::string> typeFixes;
extern OrderedSet vendrakeAirports;
extern std::vector<ThirdPartyAirports> thirdPartyAirports20;
extern std::vector<ThirdPartyAirports> thirdPartyAirports24;
// Registration as written on the aircraft -> its record.
extern FnvMap<RegistrationInfo> registrations;

// The data base's file name on the download site and its temporary copy in "input".
inline const std::filesystem::path dataBaseZipName{"dbase.zip"};
inline const std::filesystem::path dataBaseTempPath = std::filesystem::path("input") / "temp2.xml";
// The copy the program ships with, so that it starts without the site.
inline const std::filesystem::path shippedDataBaseZip = std::filesystem::path("input") / "dbase.zip";

// Fetches "dbase.zip" into "input/temp2.xml" and reads it (readDataBaseFile). When the fetch
// fails, or the fetched data base cannot be read (what it filled in is cleared), the shipped
// copy is unpacked instead, with a log line; only when that is missing or unreadable too, throws
// std::runtime_error "data base could not be read from on-line?".
void readDataBase();
// Reads a data base document into the containers and removes the file after a complete reading.
// Throws UserErrorException 60 (not XML) or 61 (a required section without value) and
// std::runtime_error for a failure in the publishers or wingspans; the file then stays.
// A record whose scrambled code cannot be read is logged and skipped.
void readDataBaseFile(const std::filesystem::path& path);

// The section readers (public for their tests).
void readTypesSection(const pugi::xml_document& doc, const char* section, OrderedSet& target, const char* element);
void readIcaoCodesSection(const pugi::xml_document& doc, const char* section, OrderedSet& target);
void readXmlSectionSet(const pugi::xml_document& doc, const char* section, OrderedSet& target, const char* element,
                       const char* attribute);
void readPackageAirports(const pugi::xml_document& doc, const char* section, std::vector<ThirdPartyAirports>& target,
                         const char* element);
void splitCommaList(const std::string& names);
double attributeAsDouble(const pugi::xml_node& element, const char* attribute);

// Empties every container (tests; the program reads the data base once per process).
void clearTypeDataBase();

} // namespace qtr
