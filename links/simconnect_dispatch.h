#pragma once
// The handlers of the simulator's messages, run on the SimConnect thread.
#include "foundation/geometry.h"

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

namespace qtr {

// The dispatch callback itself (lf_dispatch) has the library's Windows signature: it is declared
// with the connection in links/simconnect_connection.h.
// The first exception of a dispatch, kept for the thread.
std::exception_ptr takeDispatchError();
// True once the simulator said it quits; the thread then ends as for a lost simulator.
bool simulatorQuit();
// After a wait for RealTraffic the last user position is stale (the user flew on meanwhile):
// the next user-data reply starts afresh instead of reading as a teleport. Any thread.
void gf_forgetLastUserPosition();

void lf_reserveUserStand();
// The text of user error 71.
std::string lf_wrongSimVersion();

// State of the handlers (SimConnect thread).
extern std::vector<std::uint32_t> addedObjects;
extern LatLon lastUserPosition;
// The user aircraft's model as last deduced (for the log and tests).
std::string userModelText();

// The null position of a simulator without a loaded flight.
bool isNullPosition(double lat, double lon);

// Forgets the handlers' state (before a restart).
void resetDispatchState();

} // namespace qtr
