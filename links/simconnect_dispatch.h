#pragma once
// The handlers of the simulator's messages, run on the SimConnect thread.
#include "foundation/geometry.h"

#include <windows.h>

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

struct SIMCONNECT_RECV;

namespace qtr {

// The dispatch callback handed to SimConnect_CallDispatch. It never lets an exception out into
// the library: the first one of a dispatch is kept for the thread (takeDispatchError) and the
// rest of the messages are then ignored.
void CALLBACK lf_dispatch(SIMCONNECT_RECV* message, DWORD size, void* context);
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
