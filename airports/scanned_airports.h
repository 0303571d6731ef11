#pragma once
// Stands of scanned add-on airports: the helipads and parkings of an airport record become
// stands with unique names, the airport is linked to an archived airport file when the site has
// one for its publisher, and otherwise (or when the scenery has more stands than the archived
// file) a generated airport file is planned. Runs on scan tasks, many at once; nothing here
// writes a file: every file a task wants written is returned as an output, and the scan writes
// them in walk order on the worker thread, so the result never depends on which task ends first.
#include "airports/airport_file_writer.h"
#include "airports/bgl_file.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace qtr {

// A file the scan of one BGL file wants written.
struct AirportScanOutput {
    enum class Kind { redirect, generated, tblo };
    Kind kind = Kind::redirect;
    std::string icao;
    std::filesystem::path path;
    std::string text; // redirect: the archive path; TBLO entry: its lines
    ApfRecord record; // generated airport file
};

// What the scan of one BGL file gives: its scan messages and its files, in the order found, and
// the error that ended it early (empty when none).
struct BglScanResult {
    std::vector<std::string> messages;
    std::vector<AirportScanOutput> outputs;
    std::string error;
};

// The stand count of an archived file whose list entry gives no number: known to exist, not how big.
inline constexpr std::int32_t unknownArchivedCount = -1;

// One airport being processed (owned by its task).
struct BglScanContext {
    std::string icao;
    std::string airportName;
    std::string bglPath;
    std::string publisher;
    std::string title;
    std::string creator;
    std::string manufacturer;
    std::int32_t elevationFt = 0;
    std::vector<Stand> stands;
    // Working state of the airport.
    std::uint32_t helipadNumber = 1;
    std::vector<LatLon> helipadPositions;
    std::set<std::string> parkingNames;
    std::vector<bool> reletter; // per stand: its name carries a letter given to make it unique
    bool nameChanged = false;
    std::int32_t archivedCount = 0;
};

// Set once an airport was linked or a generated file saved; cleared when the simulator
// selection changes. Any thread.
extern std::atomic<bool> airportScanSucceeded;
// TBLO entries made by the current scan (shown by the window). Any thread.
extern std::atomic<std::int32_t> tbloEntryCount;
// Serialises the publisher look-up and linking of scanned airports.
extern std::mutex airportLinkMutex;

// The per-airport step for an airport record with a valid identifier.
void lf_processAirport(const BglFile& file, const BglRecord& airport, const std::string& icao, const std::string& path,
                       BglScanResult& result);
// An airport record the 2024 builder wrote (0x113): recognised by the file's name, the package
// title or the path, then linked, or left as a TBLO entry for the user to send in.
void lf_identifyAirport(const std::string& path, BglScanResult& result);

void lf_readHelipads(const BglFile& file, const BglRecord& subrecord, BglScanContext& context);
void lf_readParkingPositions(const BglFile& file, const BglRecord& subrecord, BglScanContext& context);
// Among stands sharing a name (plain or with a letter a-f), the largest keeps the plain name and
// the others get the letters in order of decreasing radius.
void lf_uniqueParkingIds(BglScanContext& context);

// Finds the publisher and links the airport to its archived file (a redirect output); true when
// linked.
bool lf_linkAirport(BglScanContext& context, const std::string& path, BglScanResult& result);
// "archive/vendrake/<ICAO>.xml" and whether the add-on package has it.
std::string lf_findVendrakeArchiveFile(const std::string& icao, bool& found);
// "archive/thirdparty/<publisher, blanks as %20>/<ICAO>.xml" and whether that publisher's archive
// list has it (its stand count into archivedCount; a count that is no number is logged and gives
// unknownArchivedCount).
std::string lf_findThirdPartyArchiveFile(const std::string& publisher, const std::string& icao, bool& found,
                                         std::int32_t& archivedCount);
// Plans the generated airport file of the airport (nothing without stands).
void lf_generateAirportFile(BglScanContext& context, BglScanResult& result);
// Cuts the text to its part from the first "Community" on (unchanged without one).
void lf_pathFromCommunity(std::string& path);

// A position no stand can have: off the globe, or unset (next to 0,0).
bool invalidStandPosition(const LatLon& position);

} // namespace qtr
