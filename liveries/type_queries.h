#pragma once
// Read operations on the aircraft type data base: category, validity and half wing span of a
// type, the similar types that can stand in for a type without livery, registration records
// with their lookup forms, publisher names and the archive-list test of the airport scan.
//
// Ownership: similarInstalledTypes and airlineSimilarTypes are built on the worker by
// buildSimilarModels when the livery data base is built; substituteModels and similarTypesOf
// reorder their stored lists and are called by the matcher on the worker only. Every other query
// only reads and may run on the scan tasks at the same time.
#include "liveries/fnv_hash.h"
#include "liveries/type_data_base.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qtr {

struct FlightRecord;

using TypeList = std::vector<std::string>;

extern FnvMap<TypeList> similarInstalledTypes;
extern FnvMap<FnvMap<TypeList>> airlineSimilarTypes;
extern const TypeList emptyTypeList;
extern TypeList substituteTypeList;

// 2 Large, 3 Heavy, 1 Buzjets, 5 Rotorcraft, 4 HighPerf, tested in this order; else 0 Light.
std::uint32_t categoryOfType(std::string_view type);
bool isValidType(std::string_view type);
bool isIcaoAirline(std::string_view airline);
// Half the wing span in nm: the type's own, else the average of its category.
double wingspanOfType(std::string_view type);
// The average half span of each category; 0 for a category without any span.
void computeAverageWingspans();

// Builds the similar-type tables from similarGroups and the installed liveries.
void buildSimilarModels();
// The installed similar types of the type (shuffled when RANDOM is on), else one installed type
// of its category (Light, Buzjets, Rotorcraft only); emptyTypeList when there is none. The list
// stays valid until the next call.
const TypeList& substituteModels(const std::string& type);
// The similar types of the record's type of which its airline has liveries (shuffled when RANDOM
// is on); emptyTypeList when none.
const TypeList& similarTypesOf(const FlightRecord& record);

// The forms under which a registration is looked up: "DABCD" gives DA-BCD, D-ABCD, DABCD.
std::vector<std::string> registrationVariants(const std::string& registration);
bool findRegistrationInfo(std::optional<RegistrationInfo>& info, const std::string& form);
std::optional<RegistrationInfo> registrationInfo(const std::string& registration);
std::string registrationAirline(const std::string& registration);
// The record's operator (its third field).
std::string registrationField3(const std::string& registration);
// The airline under which the record's aircraft flies: its operator when the record names one,
// else its airline. Empty when it names neither: an unknown, never a value to copy over another.
std::string flyingAirline(const RegistrationInfo& info);
// Whether the airline flies freight only (the data base's cargo operators).
bool isCargoOperator(const std::string& airline);
// A private ("PVT") registration of fewer than 5 characters that occurs in the text; "" if none.
std::string privateRegistrationIn(std::string_view text);

bool containsIgnoreCase(std::string_view text, std::string_view token);
// The canonical name of the first publisher group with a name found in the text; "unknown".
std::string publisherOf(std::string_view text);

struct PrefixedNumberContext {
    std::string label;       // the publisher
    std::string code;        // the airport's ICAO code
    std::int32_t number = 0; // receives the archived stand count
};
// False when the item does not begin with the code; else true, with the number after the first
// four characters stored (or logged as invalid, the number unchanged).
bool checkPrefixedNumber(PrefixedNumberContext& context, std::string_view item);

// Empties the similar-type tables (with the livery data base).
void clearSimilarModels();

} // namespace qtr
