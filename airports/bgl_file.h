#pragma once
// Compiled scenery (BGL) files as the add-on airport scan reads them: the header, the section
// table, airport records (0x56; 0x113 for the 2024 builder's airports, which cannot be decoded)
// with their helipad (0x26) and taxiway-parking (0xE7) subrecords. Little-endian throughout.
// Every offset and count read from a file is checked against the file and the enclosing record
// before it is used, so a damaged or hostile file ends in an error, never in a hang or a read
// beyond the data. The layout is written down in docs/dev/bgl_format.md.
#include "foundation/geometry.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qtr {

inline constexpr std::uint16_t bglAirportRecord = 0x56;
inline constexpr std::uint16_t bglHelipadRecord = 0x26;
inline constexpr std::uint16_t bglParkingRecord = 0xE7;
inline constexpr std::uint16_t bglUndecodableAirportRecord = 0x113;
inline constexpr std::uint32_t bglAirportSection = 3;
inline constexpr std::uint32_t bglHeaderSize = 56;

// A BGL file with bounds-checked little-endian reads; a read beyond the file throws
// std::out_of_range naming the offset. A file on disk is read in windows of a bounded size as
// the reads come, never whole: scenery files run to gigabytes, while the airport records are a
// small part of them. Two windows are kept, as the walks go back and forth between a table and
// the records it points to.
class BglFile {
public:
    // Reads up to size bytes from offset into into; the count read.
    using Source = std::function<std::uint64_t(std::uint64_t offset, char* into, std::uint64_t size)>;
    // The smallest window: room for any single read wherever a window starts.
    static constexpr std::size_t smallestWindow = 16;

    // Bytes already in memory.
    explicit BglFile(std::string bytes);
    // A file of size bytes read through source, windowBytes (at least smallestWindow) at a time.
    BglFile(std::uint64_t size, Source source, std::size_t windowBytes);
    // The file on disk, read in windows; nothing when it cannot be opened.
    static std::optional<BglFile> read(const std::filesystem::path& path, std::size_t windowBytes = 64 * 1024);

    std::uint64_t size() const { return size_; }
    std::uint16_t u16(std::uint64_t offset) const;
    std::uint32_t u32(std::uint64_t offset) const;
    std::int32_t i32(std::uint64_t offset) const { return static_cast<std::int32_t>(u32(offset)); }
    float f32(std::uint64_t offset) const;

private:
    struct Window {
        std::uint64_t start = 0;
        std::string bytes;
    };
    // Where the width bytes at offset are, after a check against the file and a window read.
    const char* at(std::uint64_t offset, std::uint64_t width) const;

    std::uint64_t size_ = 0;
    Source source_;
    std::size_t windowBytes_ = 0;
    // Reads go to the window that holds them, else refill the one used least recently.
    mutable std::array<Window, 2> windows_;
    mutable std::size_t lastUsed_ = 0;
};

// A record or subrecord: where it starts and its size in bytes (header included), both checked
// to lie inside its parent.
struct BglRecord {
    std::uint16_t id = 0;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
};

// The records from begin up to end, each advanced by its size, until visit returns false. The
// walk stops at a record whose size is below its 6-byte header or that would end past end, and
// at a begin beyond the file (a damaged file); that stop is reported by returning false.
bool forEachBglRecord(const BglFile& file, std::uint64_t begin, std::uint64_t end,
                      const std::function<bool(const BglRecord&)>& visit);

// The top-level records of every airport section: of each of its subsections, the records inside
// that subsection's data (never beyond it). Sections whose subsection entries are not 16 bytes
// are passed over. False when a record walk stopped at a damaged record; throws
// std::out_of_range for a section or subsection table beyond the file.
bool forEachAirportSectionRecord(const BglFile& file, const std::function<bool(const BglRecord&)>& visit);

// One parking entry of a taxiway-parking subrecord.
struct BglParking {
    std::uint8_t nameCode = 0; // see lf_parkingNameText
    std::uint8_t type = 0;     // 0, 12, 13 no stand; 1-7, 14 ramps (5 cargo); 8-11, 15 gates
    std::uint16_t number = 0;
    std::uint8_t airlineCount = 0;
    float radiusMetres = 0;
    float headingDeg = 0;
    LatLon position;
};
// The entries of a taxiway-parking subrecord, each checked to lie inside it.
std::vector<BglParking> readBglParkings(const BglFile& file, const BglRecord& subrecord);

struct BglHelipad {
    LatLon position;
    float sizeMetres = 0;
};
BglHelipad readBglHelipad(const BglFile& file, const BglRecord& subrecord);

// Longitude and latitude of the packed forms.
double bglLongitude(std::uint32_t value);
double bglLatitude(std::uint32_t value);
// The airport record's elevation in whole feet (millimetres at offset 20); 0 outside the range
// real airports have (about -1,300 ft at the Dead Sea to above 14,000 ft in Tibet).
std::int32_t bglAirportElevationFt(const BglFile& file, const BglRecord& airport);

// A packed identifier: base 38 digits of code >> 5 (2-11 digits, 12-37 letters, 0 blank). valid
// is true for exactly 4 characters without a blank.
std::string lf_decodeIdentifierOrRegionCode(std::uint32_t code, bool& valid);
// The name prefix of a parking name code: "", "r", "p", "np", ..., "g", "" and "A" to "Z".
std::string lf_parkingNameText(std::uint8_t code);
// True for the extensions ".BGL" and ".bgl" only.
bool lf_isBglFile(std::string_view extension);
// What the quick pass found: an airport section, none, or no readable BGL header and section
// table (a file too short for them, or one that cannot be opened).
enum class BglQuickPass { airport, noAirport, damaged };
// The quick pass: reads only the header and the section table.
BglQuickPass bglQuickPass(const std::filesystem::path& path);
// True when the file's section table holds an airport section.
bool lf_scanBglForAirports(const std::filesystem::path& path);

} // namespace qtr
