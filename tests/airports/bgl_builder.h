#pragma once
// Small BGL files for tests: a header, one airport section with one subsection, and airport
// records with helipad and taxiway-parking subrecords, laid out as the simulator's compiler
// does. Fields can be bent afterwards through the offsets the builder reports.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace qtest {

inline void putU16(std::string& bytes, std::uint16_t v) { bytes.append(reinterpret_cast<const char*>(&v), 2); }
inline void putU32(std::string& bytes, std::uint32_t v) { bytes.append(reinterpret_cast<const char*>(&v), 4); }
inline void putF32(std::string& bytes, float v) { bytes.append(reinterpret_cast<const char*>(&v), 4); }
inline void setU32(std::string& bytes, std::size_t at, std::uint32_t v) { std::memcpy(bytes.data() + at, &v, 4); }
inline void setU16(std::string& bytes, std::size_t at, std::uint16_t v) { std::memcpy(bytes.data() + at, &v, 2); }

inline std::uint32_t bglLongitudeValue(double lon)
{
    return static_cast<std::uint32_t>((lon + 180.0) / 4.470348358154297e-07 + 0.5);
}
inline std::uint32_t bglLatitudeValue(double lat)
{
    return static_cast<std::uint32_t>((90.0 - lat) / 3.3527612686157227e-07 + 0.5);
}

// The packed form of an identifier of digits and capital letters.
inline std::uint32_t packIdentifier(const std::string& text)
{
    std::uint32_t v = 0;
    for (char c : text) v = v * 38 + static_cast<std::uint32_t>(c >= 'A' ? c - 53 : c == ' ' ? 0 : c - 46);
    return v << 5;
}

struct ParkingSpec {
    std::uint8_t nameCode = 12; // "A"
    std::uint16_t number = 1;
    std::uint8_t type = 8; // gate
    float radius = 20.0f;
    float heading = 90.0f;
    double lat = 44.05, lon = -101.6;
    std::uint8_t airlines = 0;
};

inline std::string record(std::uint16_t id, const std::string& body)
{
    std::string bytes;
    putU16(bytes, id);
    putU32(bytes, static_cast<std::uint32_t>(6 + body.size()));
    return bytes + body;
}

inline std::string parkingSubrecord(const std::vector<ParkingSpec>& parkings)
{
    std::string body;
    putU16(body, static_cast<std::uint16_t>(parkings.size()));
    for (const ParkingSpec& p : parkings) {
        putU32(body, p.nameCode | p.type << 8 | static_cast<std::uint32_t>(p.number) << 12 |
                         static_cast<std::uint32_t>(p.airlines) << 24);
        putF32(body, p.radius);
        putF32(body, p.heading);
        body.append(16, '\0');
        putU32(body, bglLongitudeValue(p.lon));
        putU32(body, bglLatitudeValue(p.lat));
        body.append(20, '\0');
        body.append(4u * p.airlines, 'X');
    }
    return record(0xE7, body);
}

inline std::string helipadSubrecord(double lat, double lon, float size)
{
    std::string body(6, '\0');
    putU32(body, bglLongitudeValue(lon));
    putU32(body, bglLatitudeValue(lat));
    body.append(8, '\0');
    putF32(body, size);
    body.append(4, '\0');
    return record(0x26, body); // 36 bytes, as the compiler writes it
}

// An airport record (id 0x56 unless told) with its subrecords after the 68-byte head.
inline std::string airportRecord(const std::string& icao, std::int32_t altitudeMm,
                                 const std::vector<std::string>& subrecords, std::uint16_t id = 0x56)
{
    std::string head(62, '\0'); // 68 bytes with the record header
    std::memcpy(head.data() + 14, &altitudeMm, 4);
    const std::uint32_t ident = packIdentifier(icao);
    std::memcpy(head.data() + 34, &ident, 4);
    std::string body = head;
    for (const std::string& sub : subrecords) body += sub;
    return record(id, body);
}

// A whole file: header, one section of the type with one subsection holding the records.
inline std::string bglFile(const std::string& records, std::uint32_t sectionType = 3, std::uint32_t flags = 1)
{
    std::string bytes;
    putU32(bytes, 0x19920201);
    putU32(bytes, 56);
    bytes.append(12, '\0');
    putU32(bytes, 1); // sections
    bytes.append(32, '\0');
    const std::uint32_t subsectionTable = 56 + 20;
    const std::uint32_t data = subsectionTable + 16;
    putU32(bytes, sectionType);
    putU32(bytes, flags);
    putU32(bytes, 1);
    putU32(bytes, subsectionTable);
    putU32(bytes, 16);
    putU32(bytes, 0x83107); // cell id
    putU32(bytes, 1);
    putU32(bytes, data);
    putU32(bytes, static_cast<std::uint32_t>(records.size()));
    return bytes + records;
}

// Offsets in a file of bglFile: the record data, and the parking subrecord of a record whose
// subrecords are only that one.
inline constexpr std::size_t recordsOffset = 92;
inline constexpr std::size_t firstSubrecordOffset = recordsOffset + 68;

} // namespace qtest
