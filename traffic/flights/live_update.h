#pragma once
// The per-tick update of a live aircraft, the choice of its livery, and the intake of each
// accepted report into its stream of positions.
#include "traffic/state/records.h"

#include <cstddef>

namespace qtr {

bool updateLiveAc(LiveAircraft& aircraft);
bool assignLivery(LiveAircraft& aircraft);
void addPositionToStream(LiveAircraft& aircraft, Position p);

// The checks of addPositionToStream; a false result drops the report.
bool markDuplicatePosition(LiveAircraft& aircraft, Position& p);
bool checkMoveFromParked(LiveAircraft& aircraft, Position& p);
void updateParkedTimers(LiveAircraft& aircraft);
bool checkExtendingSituations(LiveAircraft& aircraft, Position& p);
bool checkNewPosDuringLanding(LiveAircraft& aircraft, Position& p);
void checkStops(LiveAircraft& aircraft, std::size_t n, const Position& p);
void removeSmallStop(LiveAircraft& aircraft, const Position& p);

} // namespace qtr
