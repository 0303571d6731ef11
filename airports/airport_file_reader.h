#pragma once
// Finding and reading the park airport's airport file. The traffic manager asks whether an
// airport has a file (ensureAirportFile, while it chooses), where it is (findAirportFile), and
// reads it into the stand list (gf_readApf), merged with the airport's learned file. All of it
// runs on the worker thread.
//
// Where a file is looked for, first hit wins: airports/my_thirdparty/<ICAO>.txt (a redirect: its
// first line names an archive path), airports/my_thirdparty/<ICAO>.xml, the same two in
// airports/my_vendrake, then the site's stock archive (archive/stock/<ICAO>.xml).
#include "airports/airport_file_format.h"
#include "airports/stand_records.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qtr {

// What the read found about the file besides its stands.
struct ApfFileRecord {
    std::string airportName;
    std::string publisher;
    std::int32_t elevationFt = 0;
};

// Quality of the stand data: of the real (observed) and of the soft (guessed) options, 0...100,
// -1 when none was computed. With real at 45 or more and 20 stands or more nothing more is
// learned at the airport.
struct QualityPair {
    std::int32_t real = -1;
    std::int32_t soft = -1;
};

// Left by the last gf_readApf for the traffic manager, the writer and the window (worker thread):
// the stands came from a handmade learned file (the next learned file is written whole), and
// the weeks of live traffic in the archived file's options.
extern bool parkHandmade;
extern std::uint32_t parkTrafficWeek;

// The airport file's path text ("airports\my_thirdparty\EGLL.xml"), or an archive path from a
// redirect or the stock probe ("archive/stock/EGLL.xml"); "" when the airport has none. A
// redirect whose first line holds no "l" gives "" as well. File-system errors are thrown.
std::string findAirportFile(const std::string& icao);
// findAirportFile without asking the site: nothing when neither folder has a file or redirect
// for the airport (then only the stock archive, stockArchivePath, may hold one).
std::optional<std::string> findLocalAirportFile(const std::string& icao);
// "archive/stock/<ICAO>.xml"
std::string stockArchivePath(const std::string& icao);
// A path text that names a file of the site's archive rather than one below "airports".
bool isArchivePath(const std::string& pathText);
// True when the airport has a local file or redirect, else whether the stock archive has one.
bool ensureAirportFile(const std::string& icao);

// Reads the park airport's file (findAirportFile's text; an archive path is fetched into
// airports/park_airport.xml first) and merges its learned file. "" on success, else the reason
// ("no stands found" when the file holds none). Needs the park airport set (parkAirportIcao).
//
// On success and on "no stands found" it has: replaced the stand list with the file's stands,
// numbered 1...n, each with its adjacent stands; filled record and quality; set parkHandmade,
// parkTrafficWeek, parkAirportElevation, parkFileLoaded, the stand count, quality text and
// handmade mark of the window, and enabled "Flush static"; reset standChangeCount. A message about the file itself
// (missing, not loading, no meta block) leaves the stand list alone. A file without `altitude` (or with one that is not
// a number) throws UserErrorException 65, a stand name used twice 94; both are logged with the file's path and leave
// the stand list alone.
std::string gf_readApf(const std::string& pathText, ApfFileRecord& record, QualityPair& quality);
// gf_readApf of a path text whose file is already at hand in file (an archive path fetched
// before): nothing is downloaded.
std::string gf_readFetchedApf(const std::string& pathText, const std::filesystem::path& file, ApfFileRecord& record,
                              QualityPair& quality);
// The reason gf_readApf gives for a file that was read but holds no stands.
inline constexpr std::string_view noStandsFound = "no stands found";

// The quality pair of a stand list: -1/-1 when no stand has an option (see
// docs/dev/airport_files.md for the formula).
QualityPair gf_qualityFactor(const std::vector<Stand>& list);
// "  " when both are negative; "63" when real is 45 or more; else "30/12".
std::string qualityFactorText(const QualityPair& quality);

// Real stands touch a handful of others; a file whose stands crowd together more (on average)
// is refused as well.
inline constexpr std::size_t maximumLinksPerStand = 32;
std::string crowdedStandsText();

// Numbers the stands 1...n and gives each the ids of the stands it overlaps (distance below 1.1 x
// the sum of the radii), in ascending order. Near-linear (stands sorted by latitude). False, with
// the links unfinished, when a stop was requested meanwhile; std::length_error for more than
// maximumStands stands or more than maximumLinksPerStand links per stand.
bool numberAndLinkStands(std::vector<Stand>& list);

} // namespace qtr
