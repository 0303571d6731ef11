#pragma once
// STAND-IN for the live-aircraft update, the motion along the stream, the livery respawn, the
// arrival at a stand and the ageing of parked aircraft: the least of each that intake and
// spawning call, under their own names. A buffered aircraft is offered to maySpawn; an active one
// steps to its next position when that is due and hands its pose over; a parked one stays on its
// stand until a report shows it 85 m away; an active aircraft whose stream has run out is
// removed. The motion work replaces this file when it lands.
#include "traffic/records.h"

namespace qtr {

bool updateLiveAc(LiveAircraft& aircraft);
void addPositionToStream(LiveAircraft& aircraft, Position p);
bool assignLivery(LiveAircraft& aircraft);
bool checkLiveryRespawn(LiveAircraft& aircraft, const TrafficReport& report);
void markCargoStand(LiveAircraft& aircraft);
void removeOldLiveParked(int count);
void nextPosMain(LiveAircraft& aircraft);

} // namespace qtr
