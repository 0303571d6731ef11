#pragma once
// What the simulator reports about single objects, handed from the SimConnect thread to the
// worker as values through this queue; the worker applies them to its aircraft records at the
// start of every tick (traffic/run/sim_objects.h).
#include <cstdint>
#include <mutex>
#include <vector>

namespace qtr {

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

extern std::mutex objectEventMutex;
extern std::vector<SimObjectEvent> objectEventQueue; // guarded by objectEventMutex

// SimConnect thread.
void queueSimObjectEvent(const SimObjectEvent& event);
// Empties the queue (before a restart).
void clearObjectEventQueue();

} // namespace qtr
