#include "airports/airports_db.h"

#include "airports/airport_file_queries.h"
#include "foundation/errors.h"
#include "foundation/log.h"
#include "foundation/geometry.h"
#include "foundation/utilities.h"

#include <fmt/format.h>
#include <pugixml.hpp>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace qtr {

std::vector<Airport> airports;
std::unordered_map<std::string, std::string> airportNames;

namespace {

// Set once the list is complete (release): from then on the list is only read, so any thread that
// sees it set may search the list.
std::atomic<bool> airportsRead{false};

std::filesystem::path inputFile(const char* name) { return std::filesystem::path("input") / name; }

// Reads a number the way strtod does (leading blanks skipped, the rest after the number
// ignored); nothing readable, or a value that is not finite, is refused.
double readDouble(const char* text)
{
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text, &end);
    if (end == text || std::isnan(value)) throw std::invalid_argument("invalid stod argument");
    if (errno == ERANGE || !std::isfinite(value)) throw std::out_of_range("stod argument out of range");
    return value;
}

// An airport no real place can have: the position off the globe, or the altitude outside what
// real airports have (the lowest lie about 1,300 ft below sea level, the highest near 14,500 ft;
// a few strips reach 16,000 ft).
bool lf_impossibleAirport(const Airport& airport)
{
    return !(airport.latitude >= -90.0 && airport.latitude <= 90.0 && airport.longitude >= -180.0 &&
             airport.longitude <= 180.0 && airport.altitude >= -1500.0 && airport.altitude <= 20000.0);
}

} // namespace

void parseAirportElement(const pugi::xml_node& element, const std::string& code, std::vector<Airport>& list)
{
    const double altitude = readDouble(element.attribute("alt").value());
    const double latitude = readDouble(element.attribute("lat").value());
    const double longitude = readDouble(element.attribute("lon").value());
    Airport airport{code, element.attribute("iata").value(), latitude, longitude, altitude};
    if (lf_impossibleAirport(airport)) {
        logMarked(fmt::format("airport \"{}\" skipped: position {},{} altitude {} ft is impossible", code, latitude,
                              longitude, altitude));
        return;
    }
    list.push_back(std::move(airport));
}

bool readAirports()
{
    if (airportsRead.load(std::memory_order_acquire)) return !airports.empty();
    try {
        // Read into a list of its own, taken over only when the whole file was read: a failed
        // read leaves nothing behind that a later one would add to.
        std::vector<Airport> list;
        list.reserve(44000);
        const std::filesystem::path path = inputFile("airports_msfs.xml");
        pugi::xml_document doc;
        const pugi::xml_parse_result loaded = doc.load_file(path.c_str());
        if (!loaded) throw std::runtime_error(fmt::format("{} not loaded {}", path.string(), loaded.description()));
        const pugi::xml_node root = doc.child("airports");
        if (!root) throw std::runtime_error(fmt::format("{} not found", path.string()));
        for (const pugi::xml_node element : root.children("airport"))
            parseAirportElement(element, element.attribute("code").value(), list);
        std::sort(list.begin(), list.end(), [](const Airport& a, const Airport& b) { return a.code < b.code; });
        logLine(fmt::format("{} airports read from \"{}\"", list.size(), path.string()));
        list.shrink_to_fit();
        installAirports(std::move(list));
        return !airports.empty();
    } catch (const pugi::xpath_exception& e) {
        throw UserErrorException(87, e.what());
    } catch (const UserErrorException&) {
        throw;
    } catch (const std::exception& e) {
        throw UserErrorException(88, e.what());
    }
}

void installAirports(std::vector<Airport> list)
{
    airportsRead.store(false, std::memory_order_release);
    airports = std::move(list);
    airportsRead.store(true, std::memory_order_release);
}

bool airportsAvailable() { return airportsRead.load(std::memory_order_acquire); }

void forgetAirports()
{
    airportsRead.store(false, std::memory_order_release);
    airports.clear();
}

bool readAirportNames()
{
    const std::filesystem::path path = inputFile("airports_msfs_names.xml");
    pugi::xml_document doc;
    if (doc.load_file(path.c_str())) {
        if (const pugi::xml_node root = doc.child("AirportNames")) {
            for (const pugi::xml_node element : root.children("airport"))
                airportNames.emplace(element.attribute("ICAO").value(), element.attribute("name").value());
        }
    }
    logLine(fmt::format("{} airport names read from \"{}\"", airportNames.size(), path.string()));
    return !airportNames.empty();
}

std::optional<Airport> findAirport(std::string_view code)
{
    const auto it = std::find_if(airports.begin(), airports.end(), [code](const Airport& a) { return a.code == code; });
    if (it == airports.end()) return std::nullopt;
    return *it;
}

std::optional<Airport> closestAirport(double latitude, double longitude, const ClosestStandLookup& standLookup)
{
    const Airport* best = nullptr;
    const Airport* neighbour = nullptr;
    double bestDistance = 100.0;
    for (const Airport& airport : airports) {
        const double d = distanceNm({latitude, longitude}, {airport.latitude, airport.longitude});
        if (d <= 5.0 && d < bestDistance) {
            bestDistance = d;
            if (best) neighbour = best;
            best = &airport;
        }
    }
    if (!best) return std::nullopt;
    if (!neighbour) return *best;
    logLine(fmt::format("Airport {} is closest, neighbour is {}", best->code, neighbour->code));
    const ClosestStandLookup lookup =
        standLookup ? standLookup : [](const std::string& icao, double lat, double lon, std::string& stand) {
            return gf_readDestApfForClosestStand(icao, LatLon{lat, lon}, stand);
        };
    std::string bestStand, neighbourStand;
    const double d1 = lookup(best->code, latitude, longitude, bestStand);
    const double d2 = lookup(neighbour->code, latitude, longitude, neighbourStand);
    if (d2 >= d1) return *best;
    logLine(
        fmt::format("Airport {} is closest, but stand {} at neighbouring airport {} is closest at {:.0F} meters ...",
                    best->code, neighbourStand, neighbour->code, d2 * 1852.0));
    return *neighbour;
}

std::optional<Airport> nearestAirportWithin(double latitude, double longitude, double rangeNm)
{
    // A degree of latitude is 60 nm and no great circle is shorter than its latitude difference:
    // the cheap test skips nearly all of the list before any trigonometry.
    const double latitudeSpan = rangeNm / 60.0;
    const Airport* best = nullptr;
    double bestDistance = rangeNm;
    for (const Airport& airport : airports) {
        if (std::fabs(airport.latitude - latitude) > latitudeSpan) continue;
        const double d = distanceNm({latitude, longitude}, {airport.latitude, airport.longitude});
        if (d <= bestDistance) {
            bestDistance = d;
            best = &airport;
        }
    }
    if (!best) return std::nullopt;
    return *best;
}

std::string airportDisplayText(const Airport& airport)
{
    std::string text = airport.code.empty() ? "?" : airport.code;
    if (!airport.iata.empty()) text += fmt::format(" ({})", airport.iata);
    return text;
}

bool containsTaggedToken(std::string_view text, std::string_view token)
{
    std::string tag = fmt::format("-{}-", token);
    if (text.find(tag) != std::string_view::npos) return true;
    std::transform(tag.begin(), tag.end(), tag.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text.find(tag) != std::string_view::npos;
}

} // namespace qtr
