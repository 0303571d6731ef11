#pragma once
// Compiled scenery (BGL) files as the add-on airport scan reads them: the header, the section
// table, airport records (0x56; 0x113 for the 2024 builder's airports, which cannot be decoded)
// with their helipad (0x26) and taxiway-parking (0xE7) subrecords. Little-endian throughout.
// Every offset and count read from a file is checked against the file and the enclosing record
// before it is used, so a damaged or hostile file ends in an error, never in a hang or a read
// beyond the data. The layout is written down in docs/dev/bgl_format.md.
#include "foundation/geometry.h"

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

// A whole BGL file in memory with bounds-checked little-endian reads; a read beyond the file
// throws std::out_of_range naming the offset.
class BglFile {
public:
    explicit BglFile(std::string bytes) : bytes_(std::move(bytes)) {}
    // The whole file; nothing when it cannot be opened.
    static std::optional<BglFile> read(const std::filesystem::path& path);

    std::uint64_t size() const { return bytes_.size(); }
    std::uint16_t u16(std::uint64_t offset) const;
    std::uint32_t u32(std::uint64_t offset) const;
    std::int32_t i32(std::uint64_t offset) const { return static_cast<std::int32_t>(u32(offset)); }
    float f32(std::uint64_t offset) const;

private:
    void check(std::uint64_t offset, std::uint64_t width) const;
    std::string bytes_;
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
