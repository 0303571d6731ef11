#pragma once
// The flight as the feed describes it: its identity texts, category and the values the traffic
// manager fills in, one timed point of its stream and the head of a traffic report; with the
// text and key helpers that label and compare flights. Below every folder that handles flights
// (the feed links, the livery matcher, the traffic manager), so none of them needs another's
// records.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qtr {

enum AircraftCategory : std::uint32_t {
    categoryLight = 0,
    categoryBuzjets = 1,
    categoryLarge = 2,
    categoryHeavy = 3,
    categoryHighPerf = 4,
    categoryRotorcraft = 5,
};

// One timed point of a live aircraft's stream.
struct Position {
    double lat = 0, lon = 0;           // deg
    std::optional<double> bank;        // rad
    std::optional<double> trueHeading; // rad
    double alt = 0;                    // ft; 0 on the ground, never negative
    double speed = 0;                  // kn, ground speed
    double track = 0;                  // deg
    double verticalSpeed = 0;          // ft/min
    double tas = 0;                    // kn
    std::uint32_t time = 0;            // tick at which the aircraft is due here
    std::uint8_t airborne = 0;
    std::uint8_t stop = 0;
    std::uint8_t attitudeFromFeed = 0;
};

// Flight ids above 10000 are the feed's live flights; static aircraft number theirs below it.
inline constexpr bool isLiveFlightId(std::uint32_t flightId) { return flightId > 10000; }

struct FlightRecord {
    std::string airline;
    std::string type;
    std::string origin;
    std::string destination;
    std::string callsign;
    std::string callsignKey;
    std::string coupledCallsign;
    std::string registration;
    std::uint8_t coupledSearched = 0;
    double radius = 0;         // nm, half the wingspan
    double staticCgHeight = 0; // ft
    double staticPitch = 0;    // rad
    double rotationPitch = 0;  // rad
    double climbPitch = 0;     // rad
    double baseTurnRate = 0;   // rad per tick
    double turnRate = 0;       // rad per tick
    double maxClimbRate = 0;   // ft per tick
    double standTaxiSpeed = 0; // kn
    std::uint32_t flightId = 0;
    std::uint32_t category = categoryLarge;
    std::string_view livery; // points into the livery data base
    std::uint32_t flareTicks = 0;
    std::uint32_t rolloutTicks = 0;
    std::uint32_t rotationTicks = 0;
    std::uint32_t climbPitchTicks = 0;
    std::uint8_t cargo = 0;
    std::uint8_t reverseByThrottle = 0;

    FlightRecord() = default;
    // The identity copy: the eight texts and coupledSearched only.
    static FlightRecord identityOf(const FlightRecord& source);
};

// The head of a traffic report (the eight texts and the flag) is a FlightRecord's identity.
struct TrafficReport {
    std::string airline;
    std::string type;
    std::string origin;
    std::string destination;
    std::string callsign;
    std::string callsignKey;
    std::string coupledCallsign;
    std::string registration;
    std::uint8_t coupledSearched = 0;
    Position position;
    double reportTime = 0; // s, the feed's clock
    std::uint32_t flightId = 0;
};

std::string airlineTypeText(const FlightRecord& r);
bool sameAirlineAndType(const FlightRecord& a, const FlightRecord& b);
std::string routeText(const FlightRecord& r);
std::string callsignText(const FlightRecord& r);
std::string routeCallsignText(const FlightRecord& r);
std::string flightText(const FlightRecord& r);
void flightTextCopy(const FlightRecord& r, std::string& out);
std::string flightFullText(const FlightRecord& r);
std::string coupleKey(const FlightRecord& r);
bool hasCallsign(const FlightRecord& r);
std::optional<std::string> airlineCodeFromCallsign(std::string_view callsign);
bool setAirlineFromCallsign(FlightRecord& r);
std::string_view categoryName(std::uint32_t category);

} // namespace qtr
