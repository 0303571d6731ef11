#pragma once
// Small read-only questions asked of airport files: one named parameter of a loaded file, the
// publisher of a file and whether its publisher information is usable, whether the archived stock
// file of an airport is fit for offline learning, and the stand of an airport closest to a
// position. They load, answer and keep nothing.
#include "foundation/geometry.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace pugi {
class xml_document;
}

namespace qtr {

// The `parameter` entry named name below the top-level `parameters`: nothing when there is no
// such entry; with one, its `value` as text ("" when the attribute is missing), as an integer
// (decimal or 0x-hexadecimal, clamped to 32 bits, 0 when unreadable or missing) or as a boolean
// (first character one of 1tTyY).
std::optional<std::string> gf_getParameterString(const pugi::xml_document& doc, const std::string& name);
std::optional<std::int32_t> gf_getParameterInt(const pugi::xml_document& doc, const std::string& name);
std::optional<bool> gf_getParameterBool(const pugi::xml_document& doc, const std::string& name);

// The `publisher` of the airport file; "" when the file does not load or has none.
std::string gf_readPublisher(const std::filesystem::path& path);
// "" when the file's publisher information is usable (a known publisher, or "unknown" with a
// manufacturer or creator of at least 4 characters), else a text naming the problem.
std::string gf_publisherText(const std::filesystem::path& path);
// Whether the archived stock file of icao is fit for offline learning: it has quality factors
// and at least 24 weeks of traffic. The file is fetched into the program folder and removed on
// every path.
bool gf_checkStockArchive(const std::string& icao);
// The distance in nm of icao's stand closest to position, with that stand's name in stand
// (unchanged when none); 100.0 when the airport has no airport file or no stand. Fetches an
// archived file into the program folder's "airport.xml" (removed again), so worker thread only.
// Never throws.
double gf_readDestApfForClosestStand(const std::string& icao, const LatLon& position, std::string& stand);
// As above, from an airport file at hand: nm to its closest stand, 100.0 when it cannot be loaded
// or has no stand. Never throws.
double closestStandInFile(const std::filesystem::path& file, const LatLon& position, std::string& stand);

} // namespace qtr
