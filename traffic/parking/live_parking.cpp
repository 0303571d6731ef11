#include "traffic/parking/live_parking.h"

#include "foundation/indicators.h"
#include "foundation/clock.h"
#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"
#include "traffic/parking/park_airports.h"
#include "traffic/state/removal.h"
#include "traffic/parking/static_parking.h"
#include "traffic/state/traffic_state.h"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>

namespace qtr {

std::int64_t maxParkedAircraft = -1;
std::set<std::string> evictedForLimit;

namespace {

bool isParkedLive(const LiveAircraft& a) { return a.state == stateActive && a.phase == phaseParked; }

bool keyMatches(const std::string& callsign, const StaticAircraft& s)
{
    return !callsign.empty() && (callsign == s.callsignKey || callsign == s.coupledCallsign);
}

std::int64_t secondsParked(const LiveAircraft& a)
{
    using namespace std::chrono;
    return duration_cast<seconds>(clock().systemNow() - a.parkedAt).count();
}

void logReplacement(const LiveAircraft& live, const StaticAircraft& s, bool byRegistration)
{
    if (!LOG.value()) return;
    if (byRegistration) {
        logLine(fmt::format("{:8}: {:8} {} removed, new {} {} has same regcode {}", sidName(s.sid), s.callsign,
                            s.registration, live.callsign, live.onGround ? "on ground" : "airborne",
                            live.registration));
        return;
    }
    logLine(fmt::format("{:8}: {:8} \"{} {}\" removed, new {} {} \"{} {}\" has {} callsign", sidName(s.sid), s.callsign,
                        s.callsignKey, s.coupledCallsign, live.onGround ? "on ground" : "airborne", live.callsign,
                        live.callsignKey, live.coupledCallsign, s.callsignKey == live.callsign ? "same" : "coupled"));
}

// A parked live aircraft's reports on its stand renew parkedAt; one parked this long ago without a
// report since has left the feed.
constexpr std::int64_t reportedWithinSeconds = 300;

std::int64_t countActiveStatics()
{
    return std::count_if(staticAircraft.begin(), staticAircraft.end(),
                         [](const StaticAircraft& s) { return s.state == stateActive; });
}

// The static aircraft placed longest ago goes first: its window is the stalest.
bool evictOldestStatic()
{
    const DaySlot now = currentSlot.load();
    std::stable_sort(staticAircraft.begin(), staticAircraft.end(),
                     [now](const StaticAircraft& a, const StaticAircraft& b) {
                         return slotsAgo(a.daySlot, now) < slotsAgo(b.daySlot, now);
                     });
    const auto oldest = std::find_if(staticAircraft.rbegin(), staticAircraft.rend(),
                                     [](const StaticAircraft& s) { return s.state == stateActive; });
    if (oldest == staticAircraft.rend()) return false;
    logLine(fmt::format("{}: {:8} max park exceeded, removed", sidName(oldest->sid), oldest->callsign));
    removeAircraftFromSim(*oldest);
    return true;
}

// A live aircraft that the feed still reports on its stand stays: removed, it would be created
// again on its stand by its next report and push the next one out. So does one that parked a
// moment ago (created from its reports, its first report on the stand is still to come). Only
// one whose reports ended goes, the one without a report for longest first; never when only the
// initial load is wanted.
bool evictLiveNoLongerReported()
{
    if (INITIAL_LOAD_ONLY.value() || maxParkedAircraft < 1) return false;
    const LiveAircraft* oldest = nullptr;
    for (const LiveAircraft& a : liveAircraft)
        if (isParkedLive(a) && !parkedOrReportedLately(a) && (!oldest || a.parkedAt < oldest->parkedAt)) oldest = &a;
    if (!oldest) return false;
    evictedForLimit.insert(oldest->callsign);
    maxParkExceeded(oldest->flightId);
    return true;
}

} // namespace

bool parkedOrReportedLately(const LiveAircraft& a) { return secondsParked(a) < reportedWithinSeconds; }

bool reportedOnStand(const LiveAircraft& a) { return a.parkedReportSeen && parkedOrReportedLately(a); }

bool isReplacedByLive(const LiveAircraft& live, const std::string& key, bool onGround, StaticAircraft& s)
{
    (void)onGround; // the log line reads it from the aircraft
    if (s.state != stateActive) return false;
    if (!live.registration.empty() && live.registration == s.registration) {
        logReplacement(live, s, true);
        return true;
    }
    const bool ghost = !live.callsign.empty() && live.callsign.back() == '_';
    const bool replaced = keyMatches(live.callsign, s) || keyMatches(live.coupledCallsign, s) ||
                          (ghost && keyMatches(key, s));
    if (replaced) logReplacement(live, s, false);
    return replaced;
}

void removeAllStaticAircraft()
{
    for (StaticAircraft& s : staticAircraft) removeOrCancel(s);
    std::erase_if(staticAircraft, [](const StaticAircraft& s) { return s.erase != 0; });
}

void removeAircraftAtStand()
{
    const auto stand = findStandByName(reservedStandName());
    if (stand == stands.end() || stand->id == 0) return;
    const std::uint32_t sid = stand->id;
    for (StaticAircraft& s : staticAircraft)
        if (s.state == stateActive && s.sid == sid) {
            removeAircraftFromSim(s);
            return;
        }
    for (LiveAircraft& a : liveAircraft)
        if (isParkedLive(a) && a.sid == sid) {
            removeAircraftFromSim(a);
            return;
        }
}

int countLiveParked(bool updateDisplay)
{
    int count = 0;
    std::int64_t slots = 0; // liveParkedSlots
    const DaySlot now = currentSlot.load();
    for (const LiveAircraft& a : liveAircraft) {
        if (!isParkedLive(a)) continue;
        ++count;
        if (updateDisplay) slots += compareDaySlot(a.daySlot, now);
    }
    if (updateDisplay) {
        const float average = averageFitHours(slots, count);
        if (indicators.averageFitLive.exchange(average) != average) indicators.invalidate(Band::statistics);
    }
    return count;
}

void ageLiveParked()
{
    liveStayers.clear();
    for (LiveAircraft& a : liveAircraft) {
        if (!isParkedLive(a)) continue;
        if (a.parkedReportSeen) {
            liveStayers.push_back(LiveStayer{a.callsign, a.sid, 0});
            continue;
        }
        const std::int64_t minutes = secondsParked(a) / 60;
        const std::int64_t limit = a.category == categoryHeavy ? 180 : 90;
        if (minutes > limit && !INITIAL_LOAD_ONLY.value()) {
            removeAircraftFromSim(a);
        } else {
            liveStayers.push_back(LiveStayer{a.callsign, a.sid, minutes});
        }
    }
    std::stable_sort(liveStayers.begin(), liveStayers.end(),
                     [](const LiveStayer& x, const LiveStayer& y) { return x.ageMinutes > y.ageMinutes; });
}

void parkedAges(std::vector<ParkedAge>& list)
{
    list.clear();
    for (const LiveAircraft& a : liveAircraft)
        if (isParkedLive(a) && !reportedOnStand(a)) list.push_back(ParkedAge{a.flightId, secondsParked(a)});
    std::stable_sort(list.begin(), list.end(),
                     [](const ParkedAge& x, const ParkedAge& y) { return x.ageSeconds > y.ageSeconds; });
}

void removeOldLiveParked(int extra)
{
    const std::int64_t maxPark = maxParkedAircraft;
    if (maxPark < 0) return; // no calculation yet: no limit
    // One aircraft per parking event: the next event takes the next one.
    if (countActiveStatics() + countLiveParked(false) + extra <= maxPark) return;
    if (!evictOldestStatic()) evictLiveNoLongerReported();
}

bool keptOffStandForLimit(const LiveAircraft& aircraft)
{
    if (evictedForLimit.count(aircraft.callsign) == 0) return false;
    const std::int64_t maxPark = maxParkedAircraft;
    if (maxPark >= 0 && countActiveStatics() + countLiveParked(false) + 1 > maxPark) return true;
    evictedForLimit.erase(aircraft.callsign);
    return false;
}

void removeOldestLiveParked(std::size_t n)
{
    std::vector<ParkedAge> ages;
    parkedAges(ages);
    std::set<std::uint32_t> ids;
    for (std::size_t k = 0; k < std::min(n, ages.size()); ++k) ids.insert(ages[k].flightId);
    if (ids.empty()) return;
    for (LiveAircraft& a : liveAircraft) removeLiveParked(ids, a);
}

void removeLiveParked(const std::set<std::uint32_t>& flightIds, LiveAircraft& a)
{
    if (flightIds.count(a.flightId) == 0) return;
    logLine(fmt::format("live parked {} at {} removed", flightText(a), sidName(a.sid)));
    removeAircraftFromSim(a);
}

std::vector<Stand>::iterator findOptionBySlot(const FlightRecord& aircraft, DaySlot daySlot)
{
    if (aircraft.registration.empty()) return stands.end();
    const std::uint32_t before = daySlot.slot == 0 ? 47 : daySlot.slot - 1;
    const std::uint32_t after = daySlot.slot == 47 ? 0 : daySlot.slot + 1;
    return std::find_if(stands.begin(), stands.end(), [&](const Stand& stand) {
        return std::any_of(stand.options.begin(), stand.options.end(), [&](const StandOption& o) {
            return o.id != 0 && o.day == daySlot.weekday && o.kind == optionReal && o.reg == aircraft.registration &&
                   (o.slots.test(daySlot.slot) || o.slots.test(before) || o.slots.test(after));
        });
    });
}

} // namespace qtr
