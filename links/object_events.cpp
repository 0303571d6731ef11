#include "links/object_events.h"

#include "foundation/clock.h"

namespace qtr {

std::mutex objectEventMutex;
std::vector<SimObjectEvent> objectEventQueue;

void queueSimObjectEvent(const SimObjectEvent& event)
{
    {
        std::lock_guard lock(objectEventMutex);
        objectEventQueue.push_back(event);
    }
    workerWake.wake();
}

void clearObjectEventQueue()
{
    std::lock_guard lock(objectEventMutex);
    objectEventQueue.clear();
}

} // namespace qtr
