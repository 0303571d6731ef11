// STAND-IN for the live-aircraft update and motion (see the header).
#include "traffic/motion_stand_in.h"

#include "foundation/geometry.h"
#include "foundation/log.h"
#include "liveries/livery_matcher_stand_in.h"
#include "liveries/type_data_stand_in.h"
#include "links/simconnect_queues.h"
#include "traffic/removal.h"
#include "traffic/spawning.h"
#include "traffic/traffic_state.h"

#include <fmt/format.h>

#include <algorithm>

namespace qtr {

namespace {

constexpr double standCapture = 0.0458963282937365; // 85 m
constexpr std::uint32_t oneWeekTicks = 60480000;

void poseFrom(LiveAircraft& a, const Position& p)
{
    a.lat = p.lat;
    a.lon = p.lon;
    a.alt = p.alt;
    a.speed = p.stop ? 0.0 : p.tas;
    a.verticalSpeedFps = p.verticalSpeed / 60.0;
    a.onGround = p.airborne ? 0 : 1;
}

} // namespace

void nextPosMain(LiveAircraft& a)
{
    if (a.stream.size() > 1) {
        a.stream.pop_front();
        poseFrom(a, a.stream.front());
        return;
    }
    if (a.phase == phaseParked) {
        // A parked aircraft waits on its stand; its position is next due a week later.
        a.stream.front().time = tickCount + oneWeekTicks;
        return;
    }
    a.stream.pop_front();
}

bool updateLiveAc(LiveAircraft& a)
{
    if (a.state == stateBuffer) {
        maySpawn(a);
    } else if (a.state == stateActive) {
        if (a.stream.empty()) {
            logLine(fmt::format("{} stream empty ? {}, hexid:{}, objectid:{}, alt:{:.0f} ft, lalo:{}, TAS:{:.0f}",
                                "updateLiveAc", flightText(a), a.flightId, a.objectid, a.alt,
                                fmt::format("{:.6f},{:.6f}", a.lat, a.lon), a.speed));
            removeAircraftFromSim(a);
        } else {
            if (tickCount >= a.stream.front().time) nextPosMain(a);
            if (a.objectid == 0) {
                removeAircraftFromSim(a);
            } else {
                fillPositions.push_back(PositionUpdate{a.lat, a.lon, a.pitch, a.bank, a.heading, a.alt,
                                                       a.verticalSpeedFps, a.speed, a.objectid});
            }
        }
    }
    return a.eraseFromBuffer || a.erase;
}

void addPositionToStream(LiveAircraft& a, Position p)
{
    if (a.phase == phaseParked || a.phase == phaseParking) {
        if (a.state == stateBuffer || a.state == stateAdding2Sim) return;
        a.parkedReportSeen = 1;
        if (distanceNm(LatLon{p.lat, p.lon}, LatLon{a.parkLat, a.parkLon}) <= standCapture) return;
        // Leaving the stand.
        for (auto& s : stands)
            if (s.id == a.sid) s.occupied = false;
        setPhase(a, phaseTaxi);
        a.stream.front().time = tickCount + 1;
    }
    if (!a.stream.empty()) {
        const Position& last = a.stream.back();
        p.stop = (p.lat == last.lat && p.lon == last.lon) ? 1 : 0;
        if (p.stop && !p.airborne) p.speed = 0;
        p.time = std::max(p.time, last.time + 1);
    }
    a.stream.push_back(p);
}

bool assignLivery(LiveAircraft& a)
{
    if (!a.livery.empty()) return true;
    if (const auto it = liveryChoices.find(a.flightId); it != liveryChoices.end()) {
        if (std::find(failedTitles.begin(), failedTitles.end(), it->second) == failedTitles.end()) {
            a.livery = it->second;
            return true;
        }
        liveryChoices.erase(it);
    }
    gf_matchLiveryLive(a);
    if (a.livery.empty()) return false;
    liveryChoices[a.flightId] = std::string(a.livery);
    return true;
}

bool checkLiveryRespawn(LiveAircraft&, const TrafficReport&) { return true; }

void markCargoStand(LiveAircraft&) {}

void removeOldLiveParked(int) {}

} // namespace qtr
