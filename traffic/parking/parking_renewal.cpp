#include "traffic/parking/parking_renewal.h"

#include "foundation/indicators.h"
#include "foundation/geometry.h"
#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/utilities.h"
#include "liveries/type_queries.h"
#include "traffic/parking/live_parking.h"
#include "traffic/state/removal.h"
#include "traffic/state/traffic_state.h"

#include <fmt/format.h>

#include <algorithm>

namespace qtr {

std::vector<KeptStatic> keptStatics;
std::vector<StaticRemoval> staticRemovals;

namespace {

std::string withoutAsterisk(const std::string& callsign)
{
    if (!callsign.empty() && callsign.back() == '*') return callsign.substr(0, callsign.size() - 1);
    return callsign;
}

void keep(const StaticAircraft& s)
{
    keptStatics.push_back(KeptStatic{s.callsign, s.callsignKey, s.coupledCallsign, s.registration, s.airline, s.type,
                                     s.daySlot, s.sid, false});
}

void removeLater(const StaticAircraft& s) { staticRemovals.push_back(StaticRemoval{s.callsign, s.sid}); }

bool namedByCandidate(const StaticCandidate& c, const std::string& callsign)
{
    return (!c.cs.empty() && gf_equalsBeforeAsterisk(c.cs, callsign)) ||
           (!c.cs2.empty() && gf_equalsBeforeAsterisk(c.cs2, callsign));
}

// An option of the aircraft's airline and type on its stand that held the stand at some slot of
// the window that ends now and reaches back max fit slots (into the day before when needed).
bool optionStillHolds(DaySlot now, const Stand& stand, const StaticAircraft& s)
{
    const std::int32_t maxFit = std::min(std::max(realFit, softFit), 47);
    const auto ofAircraft = [&s](const StandOption& o, std::uint32_t day) {
        return o.id != 0 && o.airline == s.airline && o.type == s.type && o.day == day;
    };
    std::int32_t unused = -1;
    for (const StandOption& o : stand.options)
        if (ofAircraft(o, now.weekday) && testRange(o, static_cast<std::int32_t>(now.slot), maxFit, unused))
            return true;
    // The slots of the window before midnight, looked up whether or not the stand has an option
    // of today: a static placed from yesterday's option must not go just after midnight.
    const std::int32_t beforeMidnight = maxFit - static_cast<std::int32_t>(now.slot);
    if (beforeMidnight <= 0) return false;
    const std::uint32_t previousDay = now.weekday == 1 ? 7 : now.weekday - 1;
    for (const StandOption& o : stand.options)
        if (ofAircraft(o, previousDay) && testRange(o, 47, beforeMidnight - 1, unused)) return true;
    return false;
}

// The candidates that are too close to an aircraft on a neighbouring stand.
std::vector<StaticCandidate>::iterator collidingCandidate(const Stand& stand, const StaticAircraft& s)
{
    for (auto c = staticCandidates.begin(); c != staticCandidates.end(); ++c) {
        if (std::find(stand.adjacent.begin(), stand.adjacent.end(), c->sid) == stand.adjacent.end()) continue;
        const Stand* neighbour = findStandById(c->sid);
        if (!neighbour) continue;
        const double d = distanceNm(LatLon{s.parkLat, s.parkLon}, LatLon{neighbour->lat, neighbour->lon});
        if (wingspanOfType(c->type) + wingspanOfType(s.type) > d) return c;
    }
    return staticCandidates.end();
}

void turnLeavingIntoCandidates()
{
    for (auto k = keptStatics.begin(); k != keptStatics.end();) {
        if (!k->leaving) {
            ++k;
            continue;
        }
        staticCandidates.push_back(StaticCandidate{k->sid, k->placed.slot, k->airline, k->type, k->callsignKey,
                                                   k->coupledCallsign, k->registration, false});
        staticRemovals.push_back(StaticRemoval{k->callsign, k->sid});
        k = keptStatics.erase(k);
    }
}

// Drops what exceeds the wanted number: new candidates first, then statics that would stay, then
// (unless only the initial load is wanted) parked live aircraft the feed no longer reports,
// youngest first.
void trimSurplus(std::int64_t wanted)
{
    std::int64_t surplus =
        static_cast<std::int64_t>(staticCandidates.size() + keptStatics.size() + liveStayers.size()) - wanted;
    while (surplus > 0) {
        if (!staticCandidates.empty()) {
            staticCandidates.pop_back();
        } else if (!keptStatics.empty()) {
            staticRemovals.push_back(StaticRemoval{keptStatics.back().callsign, keptStatics.back().sid});
            keptStatics.pop_back();
        } else {
            break; // only parked live aircraft are left
        }
        --surplus;
    }
    if (INITIAL_LOAD_ONLY.value()) return;
    while (surplus > 0 && !liveStayers.empty()) {
        const std::uint32_t sid = liveStayers.back().sid;
        liveStayers.pop_back();
        for (LiveAircraft& a : liveAircraft)
            if (a.sid == sid && a.state == stateActive && a.phase == phaseParked && !reportedOnStand(a)) {
                removeAircraftFromSim(a);
                break;
            }
        --surplus;
    }
}

void removeStaticsOnTheList()
{
    for (auto r = staticRemovals.rbegin(); r != staticRemovals.rend(); ++r)
        for (StaticAircraft& s : staticAircraft)
            if (s.sid == r->sid && s.callsign == r->callsign &&
                (s.state == stateActive || s.state == stateRemovingFromSim)) {
                removeAircraftFromSim(s);
                break;
            }
}

} // namespace

void clearRenewalLists()
{
    keptStatics.clear();
    staticRemovals.clear();
}

void adjustParking()
{
    const DaySlot now = logDayAndHour();
    resetMaps();
    disableParkingControls();
    indicators.staticMarker.store(false);
    clearRenewalLists();
    liveStayers.clear();
    staticCandidates.clear();
    // Taken, reserved and blocked belong to this calculation. Occupied follows the live aircraft
    // and stays: clearing it would let a second arrival park on a stand a live aircraft holds.
    for (Stand& s : stands) {
        s.taken = s.reserved = s.blocked = false;
        for (StandOption& o : s.options) o.off = false;
    }
    markReservedStands();
    const std::int64_t wanted = publishParkingLimit();
    ageLiveParked();
    if (wanted >= 1 && static_cast<std::int64_t>(liveStayers.size()) > wanted) {
        const std::int64_t more = static_cast<std::int64_t>(liveStayers.size()) - wanted;
        setStatus(fmt::format("Parking adjustments: {} more live ac than wanted", more), true);
        removeOldestLiveParked(static_cast<std::size_t>(more));
        ageLiveParked();
    }
    for (const LiveStayer& l : liveStayers)
        if (Stand* s = findStandById(l.sid)) markStandTaken(*s);
    const std::size_t kept = liveStayers.size();
    if (wanted - static_cast<std::int64_t>(kept) > 0) runStaticParkingPasses(now, wanted, kept);
    decodeExisting(now);
    turnLeavingIntoCandidates();
    std::stable_sort(staticCandidates.begin(), staticCandidates.end(),
                     [](const StaticCandidate& a, const StaticCandidate& b) { return a.fit < b.fit; });
    trimSurplus(wanted);
    std::stable_sort(staticCandidates.begin(), staticCandidates.end(),
                     [](const StaticCandidate& a, const StaticCandidate& b) { return a.fit > b.fit; });
    setStatus(fmt::format("Parking adjustments: {} to be removed, {} to be added\n", staticRemovals.size(),
                          staticCandidates.size()),
              true);
    removeStaticsOnTheList();
    if (!staticCandidates.empty()) disableParkingControls();
}

void decodeExisting(DaySlot now)
{
    for (const StaticAircraft& s : staticAircraft) relateStaticAircraft(now, s);
    std::stable_sort(keptStatics.begin(), keptStatics.end(), [now](const KeptStatic& a, const KeptStatic& b) {
        return slotsAgo(a.placed, now) > slotsAgo(b.placed, now);
    });
    for (KeptStatic& k : keptStatics) {
        if (k.coupledCallsign.empty()) continue;
        if (!k.callsignKey.empty() && k.callsign.find(k.callsignKey) == std::string::npos) continue;
        const Stand* stand = findStandById(k.sid);
        if (!stand) continue;
        for (const StandOption& o : stand->options)
            if (optionLeavesAfterSlot(now, *stand, k, o)) break;
    }
}

void relateStaticAircraft(DaySlot now, const StaticAircraft& s)
{
    if (s.state != stateActive) return;
    if ((!s.callsignKey.empty() && recentlyReported.count(s.callsignKey) != 0) ||
        (!s.coupledCallsign.empty() && recentlyReported.count(s.coupledCallsign) != 0)) {
        removeLater(s); // its flight is live now
        return;
    }
    const auto own = std::find_if(staticCandidates.begin(), staticCandidates.end(),
                                  [&s](const StaticCandidate& c) { return c.sid == s.sid; });
    if (own != staticCandidates.end()) {
        if (own->airline == s.airline && own->type == s.type && namedByCandidate(*own, s.callsign)) {
            keep(s);
            staticCandidates.erase(own);
        } else {
            resolveStandConflict(now, s, own);
        }
        return;
    }
    const Stand* stand = findStandById(s.sid);
    if (!stand) {
        removeLater(s);
        return;
    }
    if (const auto neighbour = collidingCandidate(*stand, s); neighbour != staticCandidates.end()) {
        resolveStandConflict(now, s, neighbour);
        return;
    }
    if (optionStillHolds(now, *stand, s)) {
        keep(s);
    } else {
        removeLater(s);
    }
}

void resolveStandConflict(DaySlot now, const StaticAircraft& s, std::vector<StaticCandidate>::iterator candidate)
{
    const DaySlot start = daySlotMinus(now, candidate->fit);
    const DaySlot placed = s.daySlot;
    bool after;
    if (start.weekday == 1 && placed.weekday == 7) {
        after = true;
    } else if (start.weekday == 7 && placed.weekday == 1) {
        after = false;
    } else {
        after = start.weekday > placed.weekday || (start.weekday == placed.weekday && start.slot > placed.slot);
    }
    if (after) {
        removeLater(s);
    } else {
        keep(s);
        staticCandidates.erase(candidate);
    }
}

bool optionLeavesAfterSlot(DaySlot now, const Stand& stand, KeptStatic& entry, const StandOption& option)
{
    if (option.id < 1 || option.day != now.weekday || option.cs != withoutAsterisk(entry.callsign) ||
        option.airline != entry.airline || option.type != entry.type)
        return false;
    const DaySlot next = nextDaySlot(now);
    if (next.weekday == now.weekday) {
        entry.leaving = !option.slots.test(next.slot);
    } else {
        const bool continues = std::any_of(stand.options.begin(), stand.options.end(), [&](const StandOption& o) {
            return o.id != 0 && o.day == next.weekday && o.airline == option.airline && o.type == option.type &&
                   o.slots.test(0);
        });
        entry.leaving = !continues;
    }
    return true;
}

} // namespace qtr
