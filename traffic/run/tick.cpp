#include "traffic/run/tick.h"

#include "foundation/geometry.h"
#include "foundation/indicators.h"
#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/paths.h"
#include "links/feed.h"
#include "traffic/run/sim_objects.h"
#include "links/simconnect_client.h"
#include "liveries/livery_matcher.h"
#include "traffic/flights/intake.h"
#include "traffic/run/link_handlers.h"
#include "traffic/parking/park_airports.h"
#include "traffic/parking/stand_learning.h"
#include "traffic/parking/parking_renewal.h"
#include "traffic/parking/static_parking.h"
#include "traffic/state/stands.h"
#include "traffic/state/traffic_state.h"
#include "foundation/run_control.h"
#include "traffic/run/worker.h"

#include <fmt/format.h>

#include <algorithm>
#include <filesystem>
#include <mutex>

namespace qtr {

namespace {

constexpr std::uint32_t rangeRequestTicks = 20;

void deleteCallsignList()
{
    std::error_code ec;
    const bool exists = std::filesystem::exists(callsign2ObjectIdPath, ec);
    if (ec) throw std::filesystem::filesystem_error("exists", callsign2ObjectIdPath, ec);
    if (!exists) return;
    std::filesystem::remove(callsign2ObjectIdPath, ec);
    if (ec) throw std::filesystem::filesystem_error("remove", callsign2ObjectIdPath, ec);
}

template <class Container>
void reserveAtLeast(Container& c, std::size_t n)
{
    if (c.capacity() < n) c.reserve(n);
}

AiCreateRequest liveCreationRequest(const LiveAircraft& a)
{
    return creationRequest(a, AiInitialPosition{.latitude = a.lat,
                                                .longitude = a.lon,
                                                .altitude = a.alt,
                                                .pitch = a.pitch * radToDeg,
                                                .bank = a.bank * radToDeg,
                                                .heading = a.heading * radToDeg,
                                                .onGround = 0});
}

// A static creation the queue refused never reaches the simulator: its record goes, so that it
// does not hold its stand waiting for a creation that never comes.
void dropRefusedStatic(std::uint32_t recordId)
{
    std::erase_if(staticAircraft,
                  [recordId](const StaticAircraft& s) { return s.state == stateAdding2Sim && s.flightId == recordId; });
}

} // namespace

void trafficTick()
{
    const std::uint32_t t = tickCount;
    processSimObjectEvents();
    updateAllLiveAc();
    if (t % 10 == 0) {
        if (!pendingRemovals.empty()) {
            gf_queueRemoval(pendingRemovals.front());
            pendingRemovals.pop_front();
        }
        if (t % 50 == 0) {
            if (!pendingLiveCreations.empty()) {
                gf_queueAiCreate(pendingLiveCreations.front());
                pendingLiveCreations.pop_front();
            } else {
                if (!pendingStaticCreations.empty()) {
                    if (!gf_queueAiCreate(pendingStaticCreations.front()))
                        dropRefusedStatic(pendingStaticCreations.front().recordId);
                    pendingStaticCreations.pop_front();
                }
                if (!staticCandidates.empty()) placeStaticAircraft();
            }
        }
    }
    {
        std::lock_guard lock(trafficMutex);
        for (int k = 0; k < 2; ++k)
            if (!processIncomingTraffic()) break;
    }
    if (!readyToSpawn.empty()) {
        const std::uint32_t id = readyToSpawn.back();
        readyToSpawn.pop_back();
        const auto it = std::find_if(liveAircraft.begin(), liveAircraft.end(),
                                     [id](const LiveAircraft& a) { return a.flightId == id; });
        if (it != liveAircraft.end()) {
            if (it->callsign.empty()) {
                logMarked(fmt::format("{} {} objectid = 0?", "operator ()", flightText(*it)));
            } else {
                pendingLiveCreations.push_back(liveCreationRequest(*it));
            }
        }
    }
    if (t % rangeRequestTicks == 0 && !simConnectFailed.load())
        gf_requestAircraftInRange(static_cast<std::uint32_t>(lateralRangeMetres.load()));
    if (t % 100 == 0) {
        sendOwnPosition();
        takeUserState(gf_getUserAircraftState());
    }
    ++tickCount;
}

std::uint32_t idlePasses()
{
    if (!liveAircraft.empty() || !readyToSpawn.empty() || !pendingRemovals.empty() || !pendingLiveCreations.empty() ||
        !pendingStaticCreations.empty() || !staticCandidates.empty())
        return 0;
    {
        std::lock_guard lock(objectEventMutex);
        if (!objectEventQueue.empty() || !createdObjects.empty()) return 0;
    }
    std::lock_guard lock(trafficMutex);
    if (!incomingTraffic.empty()) return 0;
    return (rangeRequestTicks - tickCount.load() % rangeRequestTicks) % rangeRequestTicks;
}

void countIdlePasses(std::uint32_t passes)
{
    std::lock_guard lock(trafficMutex);
    tickCount += passes;
    for (TrafficReport& report : incomingTraffic) report.position.time += passes;
}

void reserveTables()
{
    // Once per process: the list of a previous run is stale.
    if (!tablesReserved) {
        reserveAtLeast(liveAircraft, 512);
        reserveAtLeast(staticAircraft, 256);
        {
            std::lock_guard lock(standsMutex);
            reserveAtLeast(stands, 512);
        }
        reserveAtLeast(readyToSpawn, 64);
        reserveAtLeast(ghostList, 64);
        reserveAtLeast(staticCandidates, 64);
        reserveAtLeast(keptStatics, 256);
        reserveAtLeast(staticRemovals, 256);
        reserveAtLeast(liveStayers, 128);
        {
            std::lock_guard lock(objectEventMutex);
            reserveAtLeast(objectEventQueue, 256);
            reserveAtLeast(createdObjects, 128);
        }
        tablesReserved = true;
        deleteCallsignList();
    }
}

void resetTrafficManager()
{
    registerLinkHandlers();
    {
        std::lock_guard lock(trafficMutex);
        incomingTraffic.clear();
    }
    liveAircraft.clear();
    staticAircraft.clear();
    readyToSpawn.clear();
    pendingRemovals.clear();
    pendingLiveCreations.clear();
    pendingStaticCreations.clear();
    ghostList.clear();
    replacementChecks.clear();
    clearObjectEvents();
    clearSimConnectQueues();
    currentSlot.store(DaySlot{0, 0});
    resolvedObjectId = 0;
    deleteCallsignList();
    parkAirportIcao.clear();
    parkAirportIata.clear();
    parkAirportPosition = LatLon{};
    parkAirportElevation = 0.0;
    parkFileLoaded = false;
    clearParkAirportState();
    clearStands();
    forgetNearestStand();
    standChangeCount.store(0);
    learnedSlots.clear();
    clearStaticParking();
    // The livery choices of this run's flights; what the matcher learned about the installed
    // liveries (failed titles, the counts of its summary) stays for the program's life.
    liveryChoices.clear();
    unmatchedNames.clear();
    indicators.updateCount.store(0);
}

} // namespace qtr
