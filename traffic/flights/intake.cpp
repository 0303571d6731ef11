#include "traffic/flights/intake.h"

#include "foundation/clock.h"
#include "foundation/geometry.h"
#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"
#include "liveries/type_queries.h"
#include "links/simconnect_queues.h"
#include "traffic/flights/live_update.h"
#include "traffic/flights/livery_respawn.h"
#include "traffic/state/traffic_state.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>
#include <utility>
#include <optional>

namespace qtr {

namespace {

// Within 120 ft of the park airport's elevation (-1000 ft without one) and between 0 and
// 10000 ft: a report of an aircraft at the airport that the feed gives a wrong altitude.
bool nearAirportElevation(double alt)
{
    const double elevation = parkAirportIcao.empty() ? -1000.0 : parkAirportElevation;
    return alt > 0.0 && alt < 10000.0 && std::fabs(alt - elevation) <= 120.0;
}

// Stragglers of the feed trail the newest reports by a minute at most. A report this much older
// than its aircraft's last one means that the feed's clock went back (a replay started again, a
// clock set back): every later report would look old too and be dropped until the stream ran
// out and the aircraft went, to be created afresh. Its stream carries over to the new clock.
constexpr double feedClockJumpSeconds = 300.0;

// The report's time after the aircraft's last report; infinite (no repeat, no gap rule) when the
// feed's clock went back between the two.
double secondsSinceLastReport(const TrafficReport& report, const LiveAircraft& aircraft)
{
    const double dt = report.reportTime - aircraft.lastReportTime;
    if (dt >= -feedClockJumpSeconds) return dt;
    static RepeatLimitedLog clockLog;
    clockLog.write("feed clock went back",
                   fmt::format("feed clock went back {:.0f} s: the live aircraft carry over to it", -dt));
    return std::numeric_limits<double>::infinity();
}

// A report ten times faster than the last is the feed's glitch unless the ground covered since
// the last report bears its speed out: with reports 20 s apart a take-off roll runs from a hold
// at a few knots to the first airborne report at 130, and refusing it would refuse every later
// report too (each is compared with the last one taken), leaving the aircraft at the hold. A
// glitch moves the aircraft no faster than its old speed; a real acceleration about as fast as
// the mean of the two speeds. Half that mean tells them apart.
bool accelerationBorneOut(const Position& last, const Position& p, double seconds)
{
    if (!(seconds > 0.0) || std::isinf(seconds) || p.speed <= last.speed) return false;
    const double coveredKt = distanceNm(at(last), at(p)) * 3600.0 / seconds;
    return coveredKt >= (last.speed + p.speed) / 4.0;
}

// Legs are timed by the reported ground speed. Some sources of the feed give it in metres per
// second (half the knots) while their positions and times go on at the true speed: timed by that
// speed an aircraft falls behind its reports until the window around their times holds it, half a
// minute late. Where the ground covered between two airborne reports a few seconds to a minute
// apart is half as fast again as the reported speed or more, the covered speed stands for it. The
// other way round is no contradiction: an aircraft that turns covers less ground than it flies.
void speedFromPositions(const Position& last, Position& p, double seconds)
{
    constexpr double contradiction = 1.5;
    if (!last.airborne || !p.airborne || !(seconds >= 5.0 && seconds <= 60.0) || p.speed <= 0.0) return;
    const double coveredKt = distanceNm(at(last), at(p)) * 3600.0 / seconds;
    if (coveredKt > contradiction * p.speed) p.speed = coveredKt;
}

// Reports the reader handed up while the traffic manager took none (under trafficMutex).
std::uint64_t reportsRefused = 0;

} // namespace

void stopTakingReports()
{
    std::lock_guard lock(trafficMutex);
    trafficRunning = false;
    reportsRefused = 0;
}

std::uint64_t startTakingReports()
{
    std::lock_guard lock(trafficMutex);
    trafficRunning = true;
    return std::exchange(reportsRefused, 0);
}

namespace {

void queueReport(TrafficReport&& report, std::optional<std::uint32_t> leadTicks)
{
    static RepeatLimitedLog queueFullLog;
    static std::uint64_t dropped = 0; // under trafficMutex
    {
        std::lock_guard lock(trafficMutex);
        if (!trafficRunning) {
            ++reportsRefused;
            return;
        }
        if (leadTicks) report.position.time = tickCount.load() + *leadTicks;
        if (incomingTraffic.size() >= maxIncomingReports) {
            incomingTraffic.pop_front();
            ++dropped;
            queueFullLog.write("incoming reports full",
                               fmt::format("incoming traffic queue full ({} reports): the oldest dropped, {} in all",
                                           maxIncomingReports, dropped));
        }
        incomingTraffic.push_back(std::move(report));
    }
    workerWake.wake();
}

} // namespace

void processLine(TrafficReport&& report) { queueReport(std::move(report), std::nullopt); }

void processLineAt(TrafficReport&& report, std::uint32_t leadTicks) { queueReport(std::move(report), leadTicks); }

bool processIncomingTraffic()
{
    if (incomingTraffic.empty()) return false;
    TrafficReport& report = incomingTraffic.front();
    bool matched = false;
    for (LiveAircraft& a : liveAircraft)
        if (matchReport(report, a)) {
            matched = true;
            break;
        }
    if (!matched) {
        const bool secondId = !report.callsign.empty() &&
                              std::any_of(liveAircraft.begin(), liveAircraft.end(), [&report](const LiveAircraft& a) {
                                  return a.callsign == report.callsign && a.type == report.type;
                              });
        if (!secondId) completeReportType(report);
    }
    incomingTraffic.pop_front();
    return true;
}

bool matchReport(const TrafficReport& report, LiveAircraft& aircraft)
{
    if (report.flightId != aircraft.flightId) return false;
    if (aircraft.state == stateLiveryRespawn || aircraft.state == stateRemovingFromSim) return true;
    const Position& p = report.position;
    double dt = std::numeric_limits<double>::infinity();
    if (!aircraft.stream.empty()) {
        dt = secondsSinceLastReport(report, aircraft);
        const Position& last = aircraft.stream.back();
        if (dt <= 1.0) return true;
        const bool accelerated = accelerationBorneOut(last, p, dt);
        if (last.speed > 5.0 && p.speed >= 10.0 * last.speed && !accelerated) return true;
        if (p.speed > 5.0 && last.speed >= 10.0 * p.speed) return true;
        if (last.speed <= 5.0 && p.speed >= 80.0 && !accelerated) return true;
        if (p.speed <= 5.0 && last.speed >= 80.0) return true;
        if (aircraft.extrapolations < 1) {
            const double trackDiff = std::fabs(p.track - last.track);
            if (p.airborne && p.speed > 120.0 && trackDiff <= 1.0 && dt <= 0.2429805615550756 / (p.speed / 3600.0))
                return true;
            if (!p.airborne && p.speed <= 30.0 && trackDiff <= 2.0) {
                const double limit = p.speed == 0.0 ? 15.0 : std::min(0.010799136069114472 / (p.speed / 3600.0), 15.0);
                if (dt <= limit) return true;
            }
        }
    }
    if (aircraft.state == stateBuffer && nearAirportElevation(p.alt)) return true;
    if (!checkLiveryRespawn(aircraft, report)) return true;
    aircraft.lastReportTime = report.reportTime;
    Position timed = p;
    // While the aircraft is reckoned, the stream ends in reckoned positions: the ground covered
    // counts from the report the reckoning started at.
    if (!aircraft.stream.empty()) {
        Position from = aircraft.stream.back();
        if (aircraft.extrapolations > 0) {
            from.lat = aircraft.reckonedFromLat;
            from.lon = aircraft.reckonedFromLon;
        }
        speedFromPositions(from, timed, dt);
    }
    addPositionToStream(aircraft, timed);
    return true;
}

void completeReportType(TrafficReport& report)
{
    const auto info = report.registration.empty() ? std::nullopt : registrationInfo(report.registration);
    if (report.type.empty() && info) report.type = info->type;
    if (isValidType(report.type)) {
        createLiveFromReport(report);
        return;
    }
    // A registration the data base does not know gives no type.
    if (info && !info->type.empty()) {
        report.type = info->type;
        createLiveFromReport(report);
    }
}

void createLiveFromReport(TrafficReport& report)
{
    const std::uint32_t category = categoryOfType(report.type);
    if (!categoryWanted(category)) return;
    if (nearAirportElevation(report.position.alt)) return;
    report.callsignKey = report.callsign;
    report.coupledCallsign.clear();
    report.coupledSearched = 0;
    FlightRecord record = makeFlightRecord(report);
    record.flightId = report.flightId;
    record.turnRate = record.baseTurnRate;
    record.maxClimbRate = categoryMaxClimbRate(record.category);
    record.standTaxiSpeed = categoryStandTaxiSpeed(record.category);
    liveAircraft.emplace_back(report.position, std::move(record), report.reportTime);
}

void updateAllLiveAc()
{
    bool anyErase = false;
    for (std::size_t i = 0; i < liveAircraft.size(); ++i)
        if (updateLiveAc(liveAircraft[i])) anyErase = true;
    if (anyErase) std::erase_if(liveAircraft, [](const LiveAircraft& a) { return a.eraseFromBuffer || a.erase; });
    gf_exchangePositionBuffers();
}

bool categoryWanted(std::uint32_t category)
{
    switch (category) {
    case categoryLight:
        return LIGHT_AIRCRAFT.value();
    case categoryHighPerf:
        return HIGH_PERF_AIRCRAFT.value();
    case categoryRotorcraft:
        return HELICOPTERS.value();
    default:
        return category <= 5;
    }
}

} // namespace qtr
