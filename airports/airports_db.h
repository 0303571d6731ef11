#pragma once
// The airports data base: every airport's ICAO code, IATA code, position and altitude from
// "input/airports_msfs.xml" (read once per process), and their names for the add-on scan.
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace pugi {
class xml_node;
}

namespace qtr {

struct Airport {
    std::string code;
    std::string iata;
    double latitude = 0.0;
    double longitude = 0.0;
    double altitude = 0.0; // feet
};

// Sorted by code after reading.
extern std::vector<Airport> airports;
extern std::unordered_map<std::string, std::string> airportNames;

// Reads "airports_msfs.xml" once; true when the list is not empty. Errors become user errors
// 87 (XPath) and 88 (anything else) and leave the list as it was, so a later call reads afresh.
bool readAirports();
// Appends the airport of one element to the list; an airport with an impossible position or
// altitude is logged and left out.
void parseAirportElement(const pugi::xml_node& element, const std::string& code, std::vector<Airport>& list);
// Reads "airports_msfs_names.xml"; a missing or broken file gives none. True when any.
bool readAirportNames();
std::optional<Airport> findAirport(std::string_view code);
// True once readAirports has read the list; then any thread may call findAirport (the window
// checks a typed destination with it).
bool airportsAvailable();

// The closest stand of an airport's park-position file to a position: distance in nm (100.0
// when there is none) and the stand's name.
using ClosestStandLookup = std::function<double(const std::string& icao, double lat, double lon, std::string& stand)>;
// The airport within 5 nm nearest the position; the neighbour wins when one of its stands is
// strictly nearer than the best's closest stand.
std::optional<Airport> closestAirport(double latitude, double longitude, const ClosestStandLookup& standLookup = {});
// The airport nearest the position within rangeNm, by distance alone: it writes no log and reads
// no file, so any thread may ask once airportsAvailable() is true.
std::optional<Airport> nearestAirportWithin(double latitude, double longitude, double rangeNm);
// "KJFK (JFK)", "EDXY", "?".
std::string airportDisplayText(const Airport& airport);
// The text holds "-token-", as written or with the token in lower case.
bool containsTaggedToken(std::string_view text, std::string_view token);

// Takes list as the read list (readAirports, and tests with airports of their own).
void installAirports(std::vector<Airport> list);
// Forgets the list so it can be read again (tests).
void forgetAirports();

} // namespace qtr
