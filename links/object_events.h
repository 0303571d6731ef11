#pragma once
// What the simulator reports about single objects, handed from the SimConnect thread to the
// worker, which applies it to its aircraft records at the start of every tick.
#include <cstdint>
#include <mutex>
#include <vector>

namespace qtr {

struct LiveAircraft;
struct StaticAircraft;

enum SimObjectEventKind : std::uint32_t {
    liveCreated = 0,
    staticCreated = 1,
    objectRemoved = 2,
    groundData = 3,
    staticCg = 4,
    creationFailed = 6,
    creationExpired = 7, // the object of a creation never appeared: its record is freed
};

struct SimObjectEvent {
    std::uint32_t objectId = 0;
    std::uint32_t recordId = 0; // the flight id; for groundData the SIM ON GROUND value
    std::int32_t tick = 0;      // ticks since creation; -1 marks a finished entry
    std::uint32_t kind = 0;
    double value1 = 0; // groundData: ground altitude (ft); staticCg: static CG (ft)
    double value2 = 0; // liveCreated, groundData: height above ground (ft); staticCg: pitch (rad)
};

inline constexpr std::int32_t setupTicks = 200;

extern std::mutex objectEventMutex;
extern std::vector<SimObjectEvent> objectEventQueue; // guarded by objectEventMutex
extern std::vector<SimObjectEvent> createdObjects;   // guarded by objectEventMutex; worker only

// SimConnect thread.
void queueSimObjectEvent(const SimObjectEvent& event);

// Worker: the drain at the start of every tick (and of every pass while no flight runs).
void processSimObjectEvents();
void handleSimObjectEvent(const SimObjectEvent& event);
void onObjectCreatedStep(SimObjectEvent& entry);
bool onStaticObjectParked(SimObjectEvent& entry, StaticAircraft& record);
bool onLiveObjectCreated(LiveAircraft& record, const SimObjectEvent& event);
void setInitialLights(LiveAircraft& record);
void onTouchdown(LiveAircraft& record);
void createFlightPlan(LiveAircraft& record);
void onObjectRemoved(std::uint32_t objectId);

// Empties both containers (before a restart).
void clearObjectEvents();

} // namespace qtr
