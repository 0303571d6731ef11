#include "traffic/parking/static_parking.h"

#include "foundation/indicators.h"
#include "foundation/parameters/parameter_display.h"
#include "foundation/geometry.h"
#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/utilities.h"
#include "links/simconnect_client.h"
#include "links/simconnect_queues.h"
#include "links/udp_receiver.h"
#include "liveries/livery_matcher.h"
#include "liveries/type_queries.h"
#include "traffic/parking/live_parking.h"
#include "traffic/parking/park_airports.h"
#include "traffic/parking/parking_renewal.h"
#include "traffic/state/traffic_state.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>

namespace qtr {

std::vector<StaticCandidate> staticCandidates;
std::vector<LiveStayer> liveStayers;
std::int32_t realFit = 0;
std::int32_t softFit = -1;
std::atomic<bool> parkingBusy{false};
std::uint32_t staticRunningNumber = 0;
std::set<std::string> recentlyReported;

namespace {

// Whole numbers "2", halves "2.5": the hours of slot counts in log lines.
std::string hoursText(std::int64_t slots) { return gf_floatToText(static_cast<float>(slots) * 0.5f + 0.5f); }

// p x n / 100 rounded half away from zero (the product in integers, the division as a double).
std::int64_t percentOf(std::int64_t p, std::int64_t n) { return std::llround(static_cast<double>(p * n) / 100.0); }

std::int64_t takenStands()
{
    return std::count_if(stands.begin(), stands.end(), [](const Stand& s) { return s.taken; });
}

bool hasKey(const std::string& key, const std::string& a, const std::string& b)
{
    return !key.empty() && (key == a || key == b);
}

// The option's keys (cs, cs2, reg) against an aircraft's callsign key and registration. Empty keys
// never match: an option without callsigns must not claim every aircraft that has none.
bool carriesKeys(const StandOption& o, const std::string& callsignKey, const std::string& registration)
{
    return hasKey(callsignKey, o.cs, o.cs2) || (!o.reg.empty() && registration == o.reg);
}

// An active static aircraft on an adjacent stand closer to this one than the two radii.
bool blockedByNeighbour(const Stand& stand, const StandOption& option)
{
    for (std::uint32_t id : stand.adjacent) {
        const auto s = std::find_if(staticAircraft.begin(), staticAircraft.end(),
                                    [id](const StaticAircraft& a) { return a.state == stateActive && a.sid == id; });
        if (s == staticAircraft.end()) continue;
        const double d = distanceNm(LatLon{s->parkLat, s->parkLon}, LatLon{stand.lat, stand.lon});
        if (wingspanOfType(option.type) + wingspanOfType(s->type) > d) return true;
    }
    return false;
}

bool qualifies(const Stand& stand, const StandOption& o, std::uint32_t kind, DaySlot test)
{
    if (o.id == 0 || o.off || o.kind != kind) return false;
    if (!WEEK.value() && o.day != test.weekday) return false;
    if (!o.slots.test(test.slot)) return false;
    if (stand.heli && !HELICOPTERS.value()) return false;
    return !stand.blocked && !blockedByNeighbour(stand, o);
}

// The option of the aircraft that already stands on the stand, when it is one of the collected.
bool preferStanding(const Stand& stand, std::vector<std::uint32_t>& ids)
{
    for (const StaticAircraft& s : staticAircraft) {
        if (s.sid != stand.id) continue;
        for (const StandOption& o : stand.options) {
            const bool named = (!o.cs.empty() && gf_equalsBeforeAsterisk(o.cs, s.callsign)) ||
                               (!o.cs2.empty() && gf_equalsBeforeAsterisk(o.cs2, s.callsign));
            if (!named || o.airline != s.airline || o.type != s.type) continue;
            if (std::find(ids.begin(), ids.end(), o.id) == ids.end()) continue;
            ids.front() = o.id;
            return true;
        }
    }
    return false;
}

bool reportedLive(const std::string& cs)
{
    return !cs.empty() && (recentlyReported.count(cs) != 0 || recentlyReported.count(cs + "_") != 0);
}

bool isLiveStayer(const std::string& cs)
{
    return !cs.empty() &&
           std::any_of(liveStayers.begin(), liveStayers.end(), [&cs](const LiveStayer& l) { return l.callsign == cs; });
}

// Why an option must not give a static aircraft now: its flight is live, or its aircraft stands
// or is about to stand elsewhere. The static aircraft that already stands on this very stand is
// no obstacle: it is the one the option describes, and the renewal keeps it for the candidate.
bool switchedOff(const StandOption& o, const std::vector<StaticCandidate>& step, std::uint32_t sid)
{
    const auto sameReg = [&o](const StaticCandidate& c) { return c.reg == o.reg; };
    if (!o.reg.empty() && std::any_of(step.begin(), step.end(), sameReg)) return true;
    if (reportedLive(o.cs) || reportedLive(o.cs2)) return true;
    const bool elsewhere =
        std::any_of(staticAircraft.begin(), staticAircraft.end(), [&o, sid](const StaticAircraft& s) {
            return s.sid != sid && carriesKeys(o, s.callsignKey, s.registration);
        });
    if (elsewhere) return true;
    if (findStaticByKeys2(o) != staticCandidates.end()) return true;
    const auto carries = [&o](const StaticCandidate& c) {
        return hasKey(c.cs, o.cs, o.cs2) || hasKey(c.cs2, o.cs, o.cs2) || (!o.reg.empty() && c.reg == o.reg);
    };
    if (std::any_of(step.begin(), step.end(), carries)) return true;
    return isLiveStayer(o.cs) || isLiveStayer(o.cs2);
}

// Whether the aircraft of the option is still there in the slot after the test slot. An option
// without a coupled callsign stays; one with a coupled flight leaves when its slots end.
bool staysOverNextSlot(const Stand& stand, const StandOption& o, DaySlot test, DaySlot now)
{
    if (o.cs2.empty()) return true;
    const DaySlot next = nextDaySlot(test);
    if (next.weekday == now.weekday) return o.slots.test(next.slot);
    return std::any_of(stand.options.begin(), stand.options.end(), [&](const StandOption& other) {
        return &other != &o && other.id != 0 && !other.off && other.day == next.weekday && other.airline == o.airline &&
               other.type == o.type && other.slots.test(0);
    });
}

void searchOneStand(Stand& stand, DaySlot daySlot, DaySlot test, std::uint32_t kind, std::uint32_t fit,
                    std::vector<StaticCandidate>& candidates, std::vector<std::uint32_t>& ids)
{
    ids.clear();
    for (const StandOption& o : stand.options)
        if (qualifies(stand, o, kind, test)) ids.push_back(o.id);
    if (ids.empty()) return;
    if (ids.size() >= 2 && RANDOM.value() && !preferStanding(stand, ids))
        std::shuffle(ids.begin(), ids.end(), randomEngine());
    const auto chosen = std::find_if(stand.options.begin(), stand.options.end(),
                                     [&ids](const StandOption& o) { return o.id == ids.front(); });
    if (chosen == stand.options.end()) return;
    if (switchedOff(*chosen, candidates, stand.id)) {
        chosen->off = true;
        return;
    }
    candidates.push_back(StaticCandidate{stand.id, fit, chosen->airline, chosen->type, chosen->cs, chosen->cs2,
                                         chosen->reg, staysOverNextSlot(stand, *chosen, test, daySlot)});
    markStandTaken(stand);
}

void logPass(std::uint32_t kind, std::int64_t taken, DaySlot daySlot, std::uint32_t fit)
{
    logLine(fmt::format(
        "{} {} position{} found, Max fit={} hours{}{}", taken, kind == optionReal ? "real" : "soft", gf_plural(taken),
        hoursText(MAX_FIT.value()),
        fmt::format(", hh:{} or {} hrs fit: {} hour", daySlot.slot, hoursText(daySlot.slot), hoursText(fit)),
        WEEK.value() ? std::string(", week") : fmt::format(", day {}", daySlot.weekday)));
}

void enableParkingControlsTo(bool enable)
{
    for (const ParameterControl* control : std::initializer_list<const ParameterControl*>{
             &parking_percentage, &INITIAL_LOAD_ONLY, &PARK_FAKE, &PARK_SOFT, &CUSTOM_MAX_PARK, &MAX_FIT_FL, &WEEK,
             &flushStaticButton, &rereadButton})
        gf_enableControl(*control, enable);
    clearStatus();
    indicators.invalidate(Band::statistics);
    indicators.invalidate(Band::parameters);
}

} // namespace

void startCollectingReportedFlights()
{
    {
        std::lock_guard lock(trafficReader.reportedFlightsMutex);
        trafficReader.reportedFlights.clear();
    }
    trafficReader.collectReportedFlights.store(true);
}

void resetMaps()
{
    recentlyReported.clear();
    trafficReader.collectReportedFlights.store(false);
    std::lock_guard lock(trafficReader.reportedFlightsMutex);
    recentlyReported.swap(trafficReader.reportedFlights);
}

std::int64_t wantedStaticCount()
{
    const std::int64_t p = CUSTOM_PARKING_PERCENTAGE.value() >= 0 ? CUSTOM_PARKING_PERCENTAGE.value()
                                                                  : parking_percentage.value();
    const auto n = static_cast<std::int64_t>(stands.size());
    const std::int64_t wanted = (n > 1 && (n > 3 || p >= 50)) ? percentOf(p, n) : 1;
    if (CUSTOM_MAX_PARK.value() == CUSTOM_MAX_PARK.defaultValue()) return wanted;
    return std::min<std::int64_t>(CUSTOM_MAX_PARK.value(), wanted);
}

std::int64_t shownParkingPercent(std::int64_t wanted)
{
    if (CUSTOM_MAX_PARK.value() == CUSTOM_MAX_PARK.defaultValue())
        return CUSTOM_PARKING_PERCENTAGE.value() >= 0 ? CUSTOM_PARKING_PERCENTAGE.value() : parking_percentage.value();
    const auto n = static_cast<std::int64_t>(stands.size());
    return n < 1 ? 0 : std::llround(static_cast<double>(wanted * 100) / static_cast<double>(n));
}

std::int64_t publishParkingLimit()
{
    const std::int64_t wanted = wantedStaticCount();
    maxParkedAircraft = wanted;
    indicators.maxPark.store(static_cast<std::int32_t>(wanted));
    indicators.maxParkPercent.store(static_cast<std::int32_t>(shownParkingPercent(wanted)));
    indicators.invalidate(Band::statistics);
    return wanted;
}

DaySlot logDayAndHour()
{
    const DaySlot now = currentSlot.load();
    logLine(fmt::format("\n{} (utc) It is day {} ({}), {} hours", simTimeText(), now.weekday,
                        weekdayName(static_cast<int>(now.weekday)), hoursText(now.slot)));
    return now;
}

void markReservedStands()
{
    const std::string reserved = reservedStandName();
    if (!reserved.empty())
        if (auto it = findStandByName(reserved); it != stands.end()) it->reserved = true;
    const std::string underUser = nearestStandName(LatLon{workerUser().lat, workerUser().lon});
    if (!underUser.empty() && underUser != reserved)
        if (auto it = findStandByName(underUser); it != stands.end()) it->reserved = true;
}

void disableParkingControls()
{
    parkingBusy.store(true);
    enableParkingControlsTo(false);
}

void enableParkingControls()
{
    parkingBusy.store(false);
    enableParkingControlsTo(true);
    indicators.parkingMinutes.store(19);
}

void computeStaticParking()
{
    const DaySlot daySlot = logDayAndHour();
    setStatus("Making changes to airport parking parameters is disabled while static parking takes place ...", false);
    staticCandidates.clear();
    clearRenewalLists();
    liveStayers.clear();
    indicators.averageFitStatic.store(-1.0f);
    indicators.averageFitLive.store(-1.0f);
    indicators.staticMarker.store(false);
    resetMaps();
    for (Stand& s : stands) {
        s.taken = s.occupied = s.reserved = s.blocked = false;
        for (StandOption& o : s.options) o.off = false;
    }
    markReservedStands();
    const std::int64_t wanted = publishParkingLimit();
    if (wanted > static_cast<std::int64_t>(staticCandidates.size())) runStaticParkingPasses(daySlot, wanted, 0);
    std::stable_sort(staticCandidates.begin(), staticCandidates.end(),
                     [](const StaticCandidate& a, const StaticCandidate& b) { return a.fit < b.fit; });
    while (!staticCandidates.empty() && static_cast<std::int64_t>(staticCandidates.size()) > wanted)
        staticCandidates.pop_back();
    if (staticCandidates.empty()) {
        logLine("no parking positions found");
        enableParkingControls();
        return;
    }
    const auto count = static_cast<std::int64_t>(staticCandidates.size());
    const std::int64_t percent = std::llround(static_cast<double>(count * 100) / static_cast<double>(stands.size()));
    logLine(fmt::format("{} positions ({}% vs wanted {}%, with Max fit={} hours)\n", count, percent,
                        parking_percentage.value(), hoursText(MAX_FIT.value())));
    std::stable_sort(staticCandidates.begin(), staticCandidates.end(),
                     [](const StaticCandidate& a, const StaticCandidate& b) { return a.fit > b.fit; });
    disableParkingControls();
}

void runStaticParkingPasses(DaySlot daySlot, std::int64_t wanted, std::size_t kept)
{
    realFit = 0;
    softFit = -1;
    staticParkingPass(daySlot, wanted, kept, optionReal);
    if (static_cast<std::int64_t>(staticCandidates.size() + kept) < wanted && (PARK_SOFT.value() || PARK_FAKE.value()))
        staticParkingPass(daySlot, wanted, kept, optionSoft);
}

void staticParkingPass(DaySlot daySlot, std::int64_t wanted, std::size_t kept, std::uint32_t kind)
{
    std::vector<StaticCandidate> step;
    step.reserve(512);
    if (!fillStaticParking(daySlot, kind, wanted, step)) return;
    std::int64_t surplus = static_cast<std::int64_t>(staticCandidates.size() + step.size() + kept) - wanted;
    if (surplus > 0 && !step.empty()) shuffleCandidates(surplus, step);
    staticCandidates.insert(staticCandidates.end(), step.begin(), step.end());
    surplus = static_cast<std::int64_t>(staticCandidates.size() + kept) - wanted;
    if (surplus > 0 && surplus <= static_cast<std::int64_t>(staticCandidates.size()))
        staticCandidates.resize(staticCandidates.size() - static_cast<std::size_t>(surplus));
}

bool fillStaticParking(DaySlot daySlot, std::uint32_t kind, std::int64_t wanted, std::vector<StaticCandidate>& step)
{
    const std::int64_t t0 = takenStands();
    const std::uint32_t maxFit = static_cast<std::uint32_t>(std::clamp(MAX_FIT.value(), 0, 47));
    bool enough = false;
    std::uint32_t fit = 0;
    for (;; ++fit) {
        lf_searchStands(daySlot, kind, fit, step);
        if (takenStands() >= wanted) {
            enough = true;
            break;
        }
        staticCandidates.insert(staticCandidates.end(), step.begin(), step.end());
        step.clear();
        if (fit >= maxFit) break;
    }
    if (kind == optionReal) {
        realFit = static_cast<std::int32_t>(fit);
        softFit = -1;
    } else {
        softFit = static_cast<std::int32_t>(fit);
    }
    const std::int64_t taken = takenStands() - t0;
    if (taken >= 1) logPass(kind, taken, daySlot, fit);
    if (kind == optionSoft) {
        indicators.staticMarker.store(taken >= 1);
        indicators.invalidate(Band::statistics);
    }
    return enough;
}

void shuffleCandidates(std::int64_t surplus, std::vector<StaticCandidate>& list)
{
    if (RANDOM.value()) std::shuffle(list.begin(), list.end(), randomEngine());
    if (surplus >= 1 && surplus <= static_cast<std::int64_t>(list.size()))
        list.resize(list.size() - static_cast<std::size_t>(surplus));
}

void lf_searchStands(DaySlot daySlot, std::uint32_t kind, std::uint32_t fit, std::vector<StaticCandidate>& candidates)
{
    try {
        if (kind != optionReal && kind != optionSoft) return;
        const DaySlot test = daySlotMinus(daySlot, fit);
        std::vector<std::uint32_t> ids;
        ids.reserve(256);
        for (Stand& stand : stands)
            if (!stand.reserved && !stand.taken) searchOneStand(stand, daySlot, test, kind, fit, candidates, ids);
    } catch (const std::exception& e) {
        logLine(fmt::format("{}: day: {}, offset {}: {}", "lf_searchStands",
                            fmt::format("[{},{}]", daySlot.weekday, daySlot.slot), fit, e.what()));
    }
}

std::vector<StaticAircraft>::iterator findStaticByKeys(const StandOption& option)
{
    return std::find_if(staticAircraft.begin(), staticAircraft.end(), [&option](const StaticAircraft& s) {
        return carriesKeys(option, s.callsignKey, s.registration);
    });
}

std::vector<StaticCandidate>::iterator findStaticByKeys2(const StandOption& option)
{
    return std::find_if(staticCandidates.begin(), staticCandidates.end(), [&option](const StaticCandidate& c) {
        return hasKey(c.cs, option.cs, option.cs2) || hasKey(c.cs2, option.cs, option.cs2) ||
               (!option.reg.empty() && c.reg == option.reg);
    });
}

std::string makeStaticCallsign(const std::string& key)
{
    std::string cs = key;
    while (!cs.empty() && cs.back() == '_') cs.pop_back();
    if (!cs.empty() && cs.back() == '*') return cs;
    return fmt::format("{}{}", cs, '*');
}

std::string lf_detcs(const StaticCandidate& c)
{
    const std::string& first = c.staysOverNextSlot ? c.cs : c.cs2;
    const std::string& second = c.staysOverNextSlot ? c.cs2 : c.cs;
    const std::string& key = first.empty() ? second : first;
    if (key.empty()) {
        logMarked(fmt::format("{} callsign is empty..", "lf_detcs"));
        return {};
    }
    return makeStaticCallsign(key);
}

namespace {

bool onStandOrNext(std::uint32_t sid, const Stand& stand)
{
    return sid != 0 &&
           (sid == stand.id || std::find(stand.adjacent.begin(), stand.adjacent.end(), sid) != stand.adjacent.end());
}

// A live or static aircraft on the candidate's stand or next to it: the candidate goes.
bool standInUse(const StaticCandidate& c, const Stand& stand)
{
    for (const LiveAircraft& a : liveAircraft) {
        if ((a.phase != phaseParking && a.phase != phaseParked) || !onStandOrNext(a.sid, stand)) continue;
        if (LOG.value()) {
            if (a.sid == stand.id)
                logLine(fmt::format("{:8}: no static parking for {}, live aircraft {} standing here", stand.name, c.cs,
                                    a.callsign));
            else
                logLine(fmt::format(
                    "{:8}: no static parking for {}, live aircraft {} is adjacent at {}, possibly colliding",
                    stand.name, c.cs, a.callsign, sidName(a.sid)));
        }
        return true;
    }
    for (const StaticAircraft& s : staticAircraft) {
        // Whatever its state: one still being removed stands there until the simulator confirms it.
        if (!onStandOrNext(s.sid, stand)) continue;
        if (LOG.value())
            logLine(
                fmt::format("{:8}: no static parking for {}, static aircraft {} is adjacent at {}, possibly colliding",
                            stand.name, c.cs, s.callsign, sidName(s.sid)));
        return true;
    }
    return false;
}

AiCreateRequest staticCreationRequest(const StaticAircraft& s, const Stand& stand)
{
    // On the ground at the stand, level and at rest.
    return creationRequest(
        s, AiInitialPosition{
               .latitude = stand.lat, .longitude = stand.lon, .heading = stand.heading * radToDeg, .onGround = 1});
}

} // namespace

void placeStaticAircraft()
{
    if (staticCandidates.empty() || stands.empty()) return;
    const StaticCandidate c = std::move(staticCandidates.back());
    staticCandidates.pop_back();
    Stand* stand = findStandById(c.sid);
    if (stand && standInUse(c, *stand)) return;
    if (!stand) {
        logMarked(fmt::format("stand with id {} not found", c.sid));
        return;
    }
    const std::uint32_t number = (staticRunningNumber + 1) % 10000;
    FlightRecord identity;
    identity.airline = c.airline;
    identity.type = c.type;
    identity.callsign = c.cs.empty() ? fmt::format("{}{}{}", c.airline, number, '*') : lf_detcs(c);
    // The simulator takes tail numbers of up to 12 characters: a longer one would never be
    // created, and its record would hold the stand for the whole run.
    if (!isValidTailNumber(identity.callsign)) {
        logLine(fmt::format("{:8}: no static parking for {}, callsign {} is too long", stand->name, c.cs,
                            identity.callsign));
        return;
    }
    staticRunningNumber = number;
    identity.callsignKey = c.cs;
    identity.coupledCallsign = c.cs2;
    identity.registration = c.reg;
    FlightRecord record = makeFlightRecord(identity);
    record.flightId = staticRunningNumber;
    StaticAircraft& s = staticAircraft.emplace_back(
        std::move(record), stand->id, ParkPlace{stand->lat, stand->lon, stand->heading}, stand->cargo ? 1 : 0);
    if (!gf_matchLiveryParked(s, stand->cargo, stand->name)) {
        staticAircraft.pop_back();
        return;
    }
    s.daySlot = daySlotMinus(currentSlot.load(), c.fit);
    s.state = stateAdding2Sim;
    pendingStaticCreations.push_back(staticCreationRequest(s, *stand));
}

void dropStaticCandidates(std::uint32_t sid)
{
    std::erase_if(staticCandidates, [sid](const StaticCandidate& c) { return c.sid == sid; });
}

int countStaticParked(bool updateDisplay)
{
    int count = 0;
    std::int64_t slots = 0;
    const DaySlot now = currentSlot.load();
    for (const StaticAircraft& s : staticAircraft) {
        if (s.state != stateActive && s.state != stateRemovingFromSim) continue;
        ++count;
        if (updateDisplay) slots += compareDaySlot(s.daySlot, now);
    }
    if (updateDisplay && !WEEK.value()) {
        const float average = averageFitHours(slots, count);
        if (indicators.averageFitStatic.exchange(average) != average) indicators.invalidate(Band::statistics);
    }
    return count;
}

void clearStaticParking()
{
    staticCandidates.clear();
    liveStayers.clear();
    clearRenewalLists();
    recentlyReported.clear();
    realFit = 0;
    softFit = -1;
    parkingBusy.store(false);
    indicators.invalidate(Band::statistics);
}

} // namespace qtr
