#pragma once
// Destination and callsign blocking, the callsign list file and the callsign lookup.
//
// The main window only hands what the user typed to the worker (request*); the worker checks it,
// stores the parameter and changes the park-airport list in its next data cycle, so that no
// parameter or list that the worker reads is written by the window thread while it reads.
#include "foundation/geometry.h"
#include "traffic/records.h"

#include <string>
#include <vector>

namespace qtr {

// Window thread: what was typed into the DESTINATION or BLOCK_CALLSIGN edit, or the "Unblock"
// button. Requests are served in the order they were made.
void requestDestination(std::string typed);
void requestBlockCallsign(std::string typed);
void requestUnblockCallsign();
// Worker thread (data cycle): serves every request made since the last call.
void serveCallsignRequests();
// Forgets requests that were not served (end of a run).
void dropCallsignRequests();

// Worker thread. setDestination and blockCallsign take the text as it was typed.
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
