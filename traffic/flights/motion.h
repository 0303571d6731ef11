#pragma once
// Motion of live aircraft along their streams of timed positions: the shared primitives (timing
// windows, segment speed, curves, dead reckoning, the per-tick move), the ground motion (pushback,
// pull-out, taxi, departure), the air motion (leg rates and configuration by height), the take-off
// roll, flare and landing roll, and the end of a stream with the drive into a stand.
#include "foundation/geometry.h"
#include "traffic/state/records.h"

#include <cstdint>

namespace qtr {

// Per-category performance of the air and take-off motion.
double categoryTakeOffSpeed(std::uint32_t category);   // kt
double categoryMaxBank(std::uint32_t category);        // rad
double categoryRollRate(std::uint32_t category);       // rad per tick
double categoryPitchRateLimit(std::uint32_t category); // rad per tick

// Client events of one aircraft; throttle and flaps go out only on a change, flaps, gear and
// spoilers never for rotorcraft.
void setThrottleLevel(LiveAircraft& a, std::uint32_t level);
void setThrottleIdle(LiveAircraft& a);
void setFlapStage(LiveAircraft& a, std::uint32_t stage);
void setGear(LiveAircraft& a, std::uint32_t down);
void setSpoilers(LiveAircraft& a, std::uint32_t value);
// Spoiler handle and both throttle levers (reverse thrust off).
void clearSpoilersAndThrottles(const LiveAircraft& a);

// Primitives.
void nextPosMain(LiveAircraft& a);
void nextPos(LiveAircraft& a);
void moveLiveAcTick(LiveAircraft& a);
struct CurveSegment {
    double originLat = 0, originLon = 0, startT = 0, endNorth = 0, endEast = 0, endT = 0;
    double controlEast = 0, controlNorth = 0;
};
CurveSegment curveOf(const LiveAircraft& a);
bool evaluateCurveSegment(const CurveSegment& curve, double t, LatLon& position, double& heading);
void clearCurve(LiveAircraft& a);
bool hasCurve(const LiveAircraft& a);
void extrapolatePosition(LiveAircraft& a, std::int32_t count);
void setNextPositionTime(LiveAircraft& a, std::uint32_t ticks);
// A computed span of ticks as a tick count: rounded, at least 0 and at most a day, with a NaN or
// an infinity (a segment flown at speed 0) taken as the longest span instead of reaching the cast.
std::uint32_t gf_tickSpan(double ticks);
inline constexpr std::uint32_t longestTickSpan = 8640000; // 24 h in hundredths of a second
// A heading this far off the leg being flown (an orbit's chords, a join after a reckoning) is
// turned onto that leg first: spreading the turn onto a later leg over this one flies it sideways.
inline constexpr double farOffLeg = 45.0 * degToRad;
// The window rule around the next position's own time: the time it gets for a candidate.
std::uint32_t windowedTime(const LiveAircraft& a, std::uint32_t candidate);
double segmentSpeed(const LiveAircraft& a);
// Length and bearing of the leg between two stream points, worked out once for consecutive asks
// (each reached point asks for the leg it starts and the one after it).
const Leg& legOf(LiveAircraft& a, const Position& from, const Position& to);
double turnAngleAtNextPoint(LiveAircraft& a);
bool restOfStreamAirborne(const LiveAircraft& a);
bool restOfStreamAtTakeOffSpeed(const LiveAircraft& a);
void insertMidPosition(LiveAircraft& a);
void checkSpeedJump(LiveAircraft& a);
bool dropPositionsUpTo(LiveAircraft& a, std::size_t n);
void setBankRate(LiveAircraft& a, double turn, double ticks);
// The signed difference to within (-pi, pi].
double wrapSigned(double angle);
// Ticks from now to the next position's time, at least 25.
double ticksToNext(const LiveAircraft& a);

// Ground motion.
void nextPosGround(LiveAircraft& a);
void groundStep(LiveAircraft& a);
std::uint32_t retimeNextPosition(LiveAircraft& a);
void planPushback(LiveAircraft& a);
void pullOut(LiveAircraft& a);
void setupCurve(LiveAircraft& a);
// Departing from the ground: flaps 1, approach and go-around over, take-off lights, departure
// windows; the throttle level and the spoilers differ between a take-off and a go-around.
void configureForDeparture(LiveAircraft& a, std::uint32_t throttleLevel, std::uint32_t spoilers);
void startDeparture(LiveAircraft& a);

// Air motion.
void nextPosAir(LiveAircraft& a);
void airborneStep(LiveAircraft& a);
void setCruiseConfiguration(LiveAircraft& a);
void setHighConfiguration(LiveAircraft& a);
void setLowConfiguration(LiveAircraft& a);
double descentVerticalSpeed(const LiveAircraft& a);
void climbRateToNext(LiveAircraft& a);
void airborneVerticalRate(LiveAircraft& a);
void landingVerticalRate(LiveAircraft& a);

// Take-off roll, flare and landing roll.
// keepCurve: the roll follows the ground curve it is on (a take-off between two reports).
void startTakeOffRoll(LiveAircraft& a, bool keepCurve = false);
void takeOffRollTick(LiveAircraft& a);
void flareTick(LiveAircraft& a);
void landingRoll(LiveAircraft& a);

// Stream end and arrival at the stand.
bool holdAtStreamEnd(LiveAircraft& a);
void drive2Stand(LiveAircraft& a, const ParkPlace& stand);
void arriveAtStand(LiveAircraft& a);
void markCargoStand(LiveAircraft& a);
void try2Park(LiveAircraft& a, bool wide);
void removeByCollidingStand(std::uint32_t adjacentId, const LiveAircraft& a, const struct Stand& stand,
                            LiveAircraft& other);

} // namespace qtr
