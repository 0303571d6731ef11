#pragma once
// The worker's half of the simulator's object events: the drain of the queue at the start of
// every tick, the set-up of a created object over its first ticks (lights, flight plan, parking),
// touchdown and removal, applied to the traffic manager's aircraft records.
#include "links/object_events.h"

#include <cstdint>
#include <vector>

namespace qtr {

struct LiveAircraft;
struct StaticAircraft;

inline constexpr std::int32_t setupTicks = 200;

// The objects in their set-up ticks; guarded by objectEventMutex, used by the worker only.
extern std::vector<SimObjectEvent> createdObjects;

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

// Empties the queue and the objects in set-up (before a restart).
void clearObjectEvents();

} // namespace qtr
