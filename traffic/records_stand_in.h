#pragma once
// STAND-IN for the traffic manager's aircraft records and the few of its operations that the
// simulator link calls (object events, lights, removal, stands, park airports). Only the fields
// and operations the link touches, under the traffic manager's names; the traffic manager
// replaces this file when it lands.
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace qtr {

enum SimState : std::uint32_t {
    stateBuffer = 0,
    stateAdding2Sim = 1,
    stateActive = 2,
    stateLiveryRespawn = 3,
    stateRemovingFromSim = 4,
};

enum FlightPhase : std::uint32_t {
    phasePushingBack = 0,
    phasePushedBack = 1,
    phaseTaxi = 2,
    phaseTakeOff = 3,
    phaseFlying = 4,
    phaseParking = 5,
    phaseParked = 6,
    phaseBirth = 7,
};

inline constexpr std::uint32_t categoryLight = 0;
inline constexpr std::uint32_t categoryRotorcraft = 5;

// One timed point of a live aircraft's stream (only what the link reads).
struct Position {
    double lat = 0, lon = 0;
    double alt = 0; // feet
    bool airborne = false;
};

struct FlightRecord {
    std::string airline;
    std::string type;
    std::string origin;
    std::string destination;
    std::string callsign;
    std::string registration;
    double staticCgHeight = 0; // feet
    double staticPitch = 0;    // radians
    std::uint32_t flightId = 0;
    std::uint32_t category = 2;
    std::string_view livery; // points into the livery data base
    bool reverseByThrottle = false;
    std::int32_t decelerationSlots = 0; // per category, for the landing roll
};

struct StaticAircraft : FlightRecord {
    std::uint32_t objectid = 0;
    double parkLat = 0, parkLon = 0, parkHeading = 0;
    std::uint64_t daySlot = 0;
    std::uint32_t sid = 0;
    std::uint32_t state = stateBuffer;
    std::uint32_t throttleLevel = 5; // 5 = not yet set
    std::uint32_t flapStage = 4;     // 4 = not yet set
    bool atCargoStand = false;
    bool removeWhenCreated = false;
    bool eraseFromBuffer = false;
};

struct LiveAircraft : StaticAircraft {
    double lat = 0, lon = 0;
    double pitch = 0, bank = 0, heading = 0; // radians
    double alt = 0;                          // feet
    std::deque<Position> stream;
    std::uint32_t phase = phaseBirth;
    bool onGround = false;
    bool hasFlightPlan = false;
    double heightAboveGround = 2500; // feet
    std::uint32_t groundTimer = 0;
    std::int32_t groundState = 0; // 1 on the ground, 2 and above rolling
    std::int32_t landingCounter = 0;
    bool approach = false; // the landing flag
    bool landingRoll = false;
    double landingHeading = 0;
    double rollBankStep = 0, rollPitchStep = 0;
};

extern std::vector<StaticAircraft> staticAircraft;
extern std::vector<LiveAircraft> liveAircraft;

struct Stand {
    std::string name;
    double lat = 0, lon = 0;
    std::uint32_t id = 0;
};
// The park airport's stands.
extern std::vector<Stand> parkStands;

struct ParkAirportEntry {
    std::string icao;
    std::string reservedStand;
};
extern std::vector<ParkAirportEntry> parkAirportList;
extern std::string parkAirportIcao;      // the current park airport
extern std::uint64_t currentDaySlot;     // weekday and half-hour slot
extern int myParkAirportsWrites;         // how often the list was saved (stand-in)
extern std::vector<std::uint32_t> droppedCandidateStands; // stands whose static candidates went

std::string_view categoryName(std::uint32_t category);
std::string flightText(const FlightRecord& record);
std::string flightFullText(const FlightRecord& record);

void removeAircraftFromSim(StaticAircraft& record);
void setParkedLights(StaticAircraft& record);
std::string nearestStandName(double lat, double lon);
std::string sidName(std::uint32_t sid);
void writeMyParkAirports();
void dropStaticCandidates(std::uint32_t sid);

// Great-circle distance in nautical miles between two positions in degrees.
double distanceNm(double lat1, double lon1, double lat2, double lon2);

// Empties every container above (tests).
void clearTrafficStandIn();

} // namespace qtr
