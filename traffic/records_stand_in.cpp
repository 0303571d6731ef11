// STAND-IN for the traffic manager's records and operations used by the simulator link (see the
// header).
#include "traffic/records_stand_in.h"

#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"
#include "links/simconnect_client.h"

#include <fmt/format.h>

#include <cmath>
#include <mutex>
#include <numbers>
#include <stdexcept>

namespace qtr {

std::vector<StaticAircraft> staticAircraft;
std::vector<LiveAircraft> liveAircraft;
std::vector<Stand> parkStands;
std::vector<ParkAirportEntry> parkAirportList;
std::string parkAirportIcao;
std::uint64_t currentDaySlot = 0;
int myParkAirportsWrites = 0;
std::vector<std::uint32_t> droppedCandidateStands;

std::string_view categoryName(std::uint32_t category)
{
    static constexpr std::string_view names[] = {"Light", "Buzjets", "Large", "Heavy", "HighPerf", "Rotorcraft"};
    if (category > 5) throw std::out_of_range("invalid unordered_map<K, T> key");
    return names[category];
}

std::string flightText(const FlightRecord& r)
{
    const std::string route =
        r.origin.empty() && r.destination.empty() ? std::string(8, ' ') : fmt::format("{:3}->{:3}", r.origin, r.destination);
    return fmt::format("{:8} {:8} {} {:3} {:4}", r.callsign, r.registration, route, r.airline, r.type);
}

std::string flightFullText(const FlightRecord& r)
{
    return fmt::format("{:8} {} {:3} {:4}", r.callsign, r.registration, r.airline, r.type);
}

void removeAircraftFromSim(StaticAircraft& record)
{
    if (record.state == stateBuffer) {
        record.eraseFromBuffer = true;
        return;
    }
    if (record.state == stateAdding2Sim) {
        std::lock_guard lock(simConnectMutex);
        if (!removeFromPendingQueue(aiCreateQueue, record.callsign)) record.removeWhenCreated = true;
        return;
    }
    record.state = stateRemovingFromSim;
    record.sid = 0; // the stand is free again
    gf_queueRemoval(record.objectid);
}

void setParkedLights(StaticAircraft& record)
{
    const std::uint32_t id = record.objectid;
    std::lock_guard lock(simConnectMutex);
    if (record.throttleLevel != 0) {
        clientEventQueue.push_back({id, eventThrottle, 0});
        record.throttleLevel = 0;
    }
    if (record.category != categoryRotorcraft && record.flapStage != 0) {
        clientEventQueue.push_back({id, eventFlaps, 0});
        record.flapStage = 0;
    }
    clientEventQueue.push_back({id, eventEngineAutoShutdown, 0});
    clientEventQueue.push_back({id, eventNavLights, NAV_LIGHTS_WHILE_PARKED.value() ? 1u : 0u});
    clientEventQueue.push_back({id, eventBeaconLights, 0});
    clientEventQueue.push_back({id, eventLandingLights, 0});
    clientEventQueue.push_back({id, eventTaxiLights, 0});
    clientEventQueue.push_back({id, eventStrobes, 0});
    clientEventQueue.push_back({id, eventLogoLights, 0});
    clientEventQueue.push_back({id, eventCabinLights, record.atCargoStand ? 0u : 1u});
}

std::string nearestStandName(double lat, double lon)
{
    for (const Stand& s : parkStands)
        if (distanceNm(lat, lon, s.lat, s.lon) <= 0.0297) return s.name;
    return {};
}

std::string sidName(std::uint32_t sid)
{
    if (sid == 0) return "sid==0?";
    for (const Stand& s : parkStands)
        if (s.id == sid) return s.name;
    return "unknown";
}

void writeMyParkAirports() { ++myParkAirportsWrites; }

void dropStaticCandidates(std::uint32_t sid) { droppedCandidateStands.push_back(sid); }

double distanceNm(double lat1, double lon1, double lat2, double lon2)
{
    constexpr double rad = std::numbers::pi / 180.0;
    const double dLat = (lat2 - lat1) * rad, dLon = (lon2 - lon1) * rad;
    const double a = std::sin(dLat / 2) * std::sin(dLat / 2) +
                     std::cos(lat1 * rad) * std::cos(lat2 * rad) * std::sin(dLon / 2) * std::sin(dLon / 2);
    return 6875.493541569878 * std::atan2(std::sqrt(a), std::sqrt(1.0 - a));
}

void clearTrafficStandIn()
{
    staticAircraft.clear();
    liveAircraft.clear();
    parkStands.clear();
    parkAirportList.clear();
    parkAirportIcao.clear();
    currentDaySlot = 0;
    myParkAirportsWrites = 0;
    droppedCandidateStands.clear();
}

} // namespace qtr
