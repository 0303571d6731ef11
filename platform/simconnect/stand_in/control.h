#pragma once
// The stand-in simulator's own exports beside the SimConnect functions: how tests and tools drive
// it. Plain C, so that nothing of either side's C++ library crosses the DLL boundary: numbers,
// zero-terminated texts (UTF-8; paths UTF-16) and JSON texts. Texts come back through a caller's
// buffer: each such function returns the bytes the whole text needs with its terminator, and
// copies it only when the buffer is large enough.
//
// The C++ view of these functions for tests and tools is standin::Simulator (stand_in.h).
#include <stdint.h>

extern "C" {

// Nanoseconds of the caller's steady clock, for the time stamps of recorded calls.
typedef int64_t (*StandInClock)(void* context);

// Forgets everything (connection, objects, faults, journal) and takes the scenario (JSON text);
// switches to manual stepping and keeps the journal and the call list in memory. 0 on success;
// else the scenario's error goes into the buffer and the simulation is left as it was.
int StandIn_Reset(const char* scenarioJson, char* error, uint32_t errorSize);
// Whether SimConnect_Open succeeds.
void StandIn_SetPresent(int present);
// The time stamps of recorded calls come from this clock (null: the stand-in's own).
void StandIn_SetCallClock(StandInClock clock, void* context);
// Also appends the journal to this file (null or empty: none).
void StandIn_SetJournalPath(const wchar_t* path);

// Manual stepping: one frame, the once-a-second replies.
void StandIn_Frame(void);
void StandIn_Second(void);
// Waits until every queued message has been dispatched and no dispatch is running; 0 on time-out.
int StandIn_WaitIdle(uint32_t timeoutMs);
int StandIn_Connected(void);

// Faults.
void StandIn_FailCalls(const char* function, int count); // -1: until cleared with 0
void StandIn_RefuseCreations(int count);                 // exception 22 for installed titles too
void StandIn_LoseCreations(int count);                   // the call succeeds, but no object ever appears
void StandIn_VersionMismatch(uint32_t index);
void StandIn_Quit(void);
void StandIn_NewFlight(int asFileNameMessage);
void StandIn_SetFlightRunning(int running);
void StandIn_TeleportUser(double latitude, double longitude);
void StandIn_SetUserTitleModel(const char* title, const char* atcModel);
void StandIn_SetUserGroundVelocity(double knots);
// A message whose size field claims more bytes than the dispatch hands over: a broken stream.
void StandIn_SendBrokenMessage(void);
// An aircraft that the client did not create, announced with "ObjectAdded"; its id.
uint32_t StandIn_AddForeignObject(const char* atcId, double altitudeAboveGround, int onGround, uint32_t objectType);
// Moves an object as the simulation would (without a client call).
void StandIn_PlaceObject(uint32_t objectId, double altitude, int onGround);
// The simulation removes an object ("ObjectRemoved").
void StandIn_RemoveObject(uint32_t objectId);

// Views, as JSON texts.
uint32_t StandIn_Journal(char* buffer, uint32_t size);                         // array of journal entries
uint32_t StandIn_Calls(char* buffer, uint32_t size);                           // array of recorded calls
uint32_t StandIn_CallTimes(const char* function, char* buffer, uint32_t size); // array of nanoseconds
uint32_t StandIn_Object(uint32_t objectId, char* buffer, uint32_t size);       // object, or null
uint32_t StandIn_Objects(char* buffer, uint32_t size);                         // array of objects

} // extern "C"
