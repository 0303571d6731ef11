#pragma once
// The aircraft records of the traffic manager: the aircraft placed in the simulator and the live
// aircraft that follows the feed with its stream of timed positions, built on the flight as the
// feed describes it (foundation/flight_record.h); their per-category performance values.
#include "foundation/flight_record.h"
#include "foundation/geometry.h"
#include "foundation/time_text.h"
#include "traffic/state/position_stream.h"

#include <cmath>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>
#include <chrono>

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

// Per-category values; each throws std::out_of_range for a category outside 0...5.
double categoryBaseTurnRate(std::uint32_t category);  // rad per tick
double categoryRotationPitch(std::uint32_t category); // deg
double categoryClimbPitch(std::uint32_t category);    // deg
std::uint32_t categoryFlareTicks(std::uint32_t category);
std::uint32_t categoryRolloutTicks(std::uint32_t category);
std::uint32_t categoryRotationTicks(std::uint32_t category);
std::uint32_t categoryClimbPitchTicks(std::uint32_t category);
double categoryMaxClimbRate(std::uint32_t category);   // ft per tick
double categoryStandTaxiSpeed(std::uint32_t category); // kn

struct ParkPlace {
    double lat = 0, lon = 0; // deg
    double heading = 0;      // rad
};

struct StaticAircraft : FlightRecord {
    std::uint32_t objectid = 0;
    double parkLat = 0, parkLon = 0, parkHeading = 0;
    DaySlot daySlot{0, 0};
    std::uint32_t sid = 0;
    std::uint32_t state = stateBuffer;
    std::uint32_t throttleLevel = 5; // unknown, so the first setting is always sent
    std::uint32_t flapStage = 4;     // unknown
    std::uint8_t atCargoStand = 0;
    std::uint8_t removeWhenCreated = 0;
    std::uint8_t eraseFromBuffer = 0;
    std::uint8_t erase = 0;

    StaticAircraft() = default;
    StaticAircraft(FlightRecord&& record, std::uint32_t sid, const ParkPlace& place, std::uint8_t atCargoStand);
};

struct LiveAircraft : StaticAircraft {
    double lat = 0, lon = 0;
    double pitch = 0, bank = 0, heading = 0; // rad
    double alt = 0;                          // ft
    double verticalSpeedFps = 0;
    double speed = 0; // kn
    PositionStream stream;
    double lastReportTime = 0; // s
    std::chrono::system_clock::time_point parkedAt{};
    std::int32_t extrapolations = 0;
    // Where the current dead reckoning left the last report, and how many reports it has
    // refused since, so that a turn made during a report gap is followed, not outvoted.
    double reckonedFromLat = 0, reckonedFromLon = 0;
    std::uint8_t refusedDuringReckoning = 0;
    std::uint32_t holdStart = 0;
    std::uint32_t phase = phaseBirth;
    std::uint32_t previousPhase = phaseBirth;
    std::uint8_t parkedReportSeen = 0;
    std::uint8_t onGround = 0;
    std::uint8_t hasFlightPlan = 0;
    std::uint8_t heldForUser = 0;
    std::uint8_t holding = 0;
    double latRate = 0, lonRate = 0, pitchRate = 0, bankRate = 0, headingRate = 0, altRate = 0;
    double verticalSpeed = 0; // ft/min
    double signedSpeed = 0;   // kn
    // The quadratic Bezier segment in use (local metres); a NaN control point: none.
    double curveOriginLat = 0, curveOriginLon = 0, curveStartT = 0, curveEndX = 0, curveEndY = 0, curveEndT = 0;
    double curveControlX = std::nan(""), curveControlY = std::nan(""), curveT = 0, curveStep = 0;
    double curveAngle = 0;
    // The planned pushback.
    double pushbackLat = 0, pushbackLon = 0, pushbackHeading = 0;
    std::uint8_t pushbackPlanned = 0;
    // The sideways end of a pushback toward the other side, taken when the tail swings that way.
    Position pushbackAlternative;
    double standTargetLat = 0, standTargetLon = 0;
    double collisionCheckLat = 0, collisionCheckLon = 0;
    std::uint32_t backWindow = 1000;
    std::uint32_t aheadWindow = 1000;
    std::int32_t rotationCounter = 1;
    // Ticks of the take-off roll still to run before the rotation (a take-off between two reports).
    std::int32_t rollTicksLeft = 0;
    std::int32_t pushbackCounter = 0;
    std::uint32_t smallMoves = 0;
    double bearingToNext = 0;
    // The last leg worked out (legOf): the leg after the next point, taken for the turn there, is
    // the leg toward the next point once that point is reached.
    LatLon legFrom{std::nan(""), std::nan("")}, legTo{std::nan(""), std::nan("")};
    Leg leg;
    double heightAboveGround = 2500; // ft
    double landingHeading = 0;
    double holdDistance = 0;
    double parkedDistanceRef = 0, parkedDistanceLast = 0;
    double headingDiff = 0; // deg
    std::optional<double> savedHeading;
    std::uint8_t pushbackTurnRight = 0;
    std::uint8_t pushbackTurnKnown = 0;
    std::optional<double> flareReference;
    std::uint32_t flareStage = 0;
    std::uint8_t approach = 0;
    std::uint8_t stayCheckPending = 0;
    std::uint8_t towed = 0;
    std::uint8_t goAround = 0;
    std::uint8_t departing = 0;
    std::uint8_t lightSetOneDone = 0;
    std::uint8_t lightSetTwoDone = 0;
    std::uint8_t pitchRamp = 0;
    std::uint8_t landingRoll = 0;
    std::uint8_t leaveStandPending = 0;
    std::uint8_t turnInPlace = 0;
    // In the air: the heading turns by headingRate onto bearingToNext and stops there; 2: a
    // helicopter far off the leg turns on the spot until it is nearly on it, then flies.
    std::uint8_t turnOntoLeg = 0;
    // State of the touchdown and landing roll as the object events drive it.
    std::uint32_t groundTimer = 0;
    std::int32_t groundState = 0; // 1 on the ground, 2 and above rolling
    std::int32_t landingCounter = 0;
    double rollBankStep = 0, rollPitchStep = 0;

    LiveAircraft() = default;
    LiveAircraft(const Position& first, FlightRecord&& record, double reportTime);
};

// Builds a complete record from a report or an option's record: identity, radius, category and
// the per-category values (rotation and climb pitch with their random spread).
FlightRecord makeFlightRecord(const FlightRecord& source);
FlightRecord makeFlightRecord(const TrafficReport& source);
// Gives the record another type (the registration's record knows better than the report): the
// radius, category and per-category values follow it. An empty type is an unknown and changes
// nothing.
void takeRecordType(FlightRecord& record, const std::string& type);

std::string_view phaseName(std::uint32_t phase);
std::string_view simStateName(std::uint32_t state);
// Every change of phase keeps the old one as the previous phase, only on a real change.
void setPhase(LiveAircraft& a, std::uint32_t phase);

// The aircraft leaves its stand: no park place, stand or cargo stand any more.
void forgetParkPlace(StaticAircraft& aircraft);

} // namespace qtr
