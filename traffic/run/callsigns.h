#pragma once
// Destination and callsign blocking, the callsign list file and the callsign lookup.
//
// What the user types into the DESTINATION and BLOCK_CALLSIGN edits is checked, stored and
// answered on the window thread at once, also while the worker still waits for the simulator:
// both parameters guard their text themselves. Only what the worker's own tables hold crosses
// over: a blocked callsign's removal through blockRequest, a destination's park-airport entry
// through a queue the worker serves.
#include "foundation/geometry.h"
#include "traffic/state/records.h"

#include <string>
#include <vector>

namespace qtr {

// Worker thread: puts every destination entered since the last call into the park-airport list
// (data cycle, and the worker's start for a saved destination).
void serveCallsignRequests();
// Forgets entries that were not served (end of a run).
void dropCallsignRequests();

// Window thread (the edits and the "Unblock" button); the worker's start also calls
// applyNewDestination for a saved destination. setDestination and blockCallsign take the text as
// it was typed.
void setDestination(const std::string& typed);
void applyNewDestination(const std::string& icao, LatLon position);
void blockCallsign(const std::string& typed);
void unblockCallsign();

// "Callsign2ObjectId.txt": one line per active live aircraft, sorted (worker thread).
void writeCallsignObjectIds();
// Appends the aircraft's line when it is active: "{} {:9} {} {}: {} {}".
void callsignObjectIdLine(std::vector<std::string>& lines, const LiveAircraft& aircraft);
// Shows the object id of the active live aircraft whose callsign CALLSIGN_2_OBJECTID holds.
void resolveCallsignObjectId();

} // namespace qtr
