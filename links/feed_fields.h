#pragma once
// The fields of RealTraffic's traffic datagrams, numbered from 0 as they stand between the commas,
// with their units. Only the fields the program reads or writes are named.
#include <cstddef>

namespace qtr {

// The traffic datagram of the feed ("RTTFC,..."): at least 28 fields are read (0 to 27), and
// field 28 when it is there.
struct TrafficField {
    enum : std::size_t {
        tag = 0,                     // "RTTFC"
        flightId = 1,                // decimal, 32 bits; above 10000 (isLiveFlightId)
        latitude = 2,                // degrees
        longitude = 3,               // degrees
        altitude = 4,                // barometric, feet; 0 or less on the ground
        verticalSpeed = 5,           // feet per minute
        onGround = 6,                // "1" on the ground, "0" in the air
        track = 7,                   // degrees true; may be empty
        groundSpeed = 8,             // knots
        callsign = 9,                // text, "null" for none
        type = 10,                   // ICAO type code; "null", "0" or "ZZZZ" for none
        registration = 11,           // text, "null" for none; at most 12 characters
        origin = 12,                 // airport code, "null" for none
        destination = 13,            // airport code, "null" for none
        timestamp = 14,              // seconds since 1970-01-01 UTC, decimal
        dataSource = 17,             // text; "adsb_icao" makes the true heading valid
        geometricAltitude = 18,      // feet (not read)
        trueAirspeed = 20,           // knots; -1 for none
        roll = 23,                   // degrees, right wing down positive; -1 or 0 for none
        trueHeading = 25,            // degrees; read only from "adsb_icao"
        geometricVerticalSpeed = 26, // feet per minute (not read)
        emitterCategory = 28,        // ADS-B category (A1...C3); empty or "null" for none
    };
};
// Fields a datagram needs at the least (0 to 27); the emitter category may be missing.
inline constexpr std::size_t trafficFieldsRead = TrafficField::emitterCategory;
// Fields of a whole datagram of the current format (0 to 41).
inline constexpr std::size_t trafficFieldCount = 42;

// The older datagram ("AITFC,...") that captures hold: 15 fields. The program reads none; the
// RealTraffic peer reads captures by these names and lays them into the fields of the current
// format by position, not by TrafficField, on purpose: a field number wrong in TrafficField then
// shows as a failing test instead of being shared by the parser and the peer.
struct AitfcField {
    enum : std::size_t {
        tag = 0,           // "AITFC"
        flightId = 1,      // decimal
        latitude = 2,      // degrees
        longitude = 3,     // degrees
        altitude = 4,      // feet
        verticalSpeed = 5, // feet per minute
        airborne = 6,      // "1" in the air, "0" on the ground (the reverse of TrafficField::onGround)
        track = 7,         // degrees true
        groundSpeed = 8,   // knots
        callsign = 9,
        type = 10,
        registration = 11,
        origin = 12,
        destination = 13,
        timestamp = 14, // seconds since 1970-01-01 UTC
    };
};
inline constexpr std::size_t aitfcFieldCount = 15;

} // namespace qtr
