#include "traffic/state/stands.h"

#include "foundation/indicators.h"
#include "foundation/log.h"
#include "links/simconnect_client.h"
#include "liveries/type_queries.h"

#include <fmt/format.h>

#include <algorithm>
#include <optional>
#include <stdexcept>

namespace qtr {

namespace {

constexpr double oneMetre = 0.0005399568034557236;
constexpr double allowedExcess = 0.0009719222462203025; // 1.8 m
constexpr double adjustDistance = 0.010799136069114472; // 20 m
constexpr double nearestCapture = 0.029697624190064796; // 55 m
constexpr double optionCapture = 0.0458963282937365;    // 85 m

struct NearestCache {
    std::uint64_t generation = 0;
    double lat = 0, lon = 0;
    std::string answer;
};
thread_local NearestCache nearestCache;

Stand* standById(std::uint32_t sid)
{
    for (Stand& s : stands)
        if (s.id == sid) return &s;
    return nullptr;
}

std::string stripOneUnderscore(const std::string& callsign)
{
    if (!callsign.empty() && callsign.back() == '_') return callsign.substr(0, callsign.size() - 1);
    return callsign;
}

const std::string& keyOf(const FlightRecord& aircraft)
{
    return aircraft.registration.empty() ? aircraft.callsign : aircraft.registration;
}

StandOption* optionById(Stand& stand, std::uint32_t id)
{
    for (StandOption& o : stand.options)
        if (o.id == id) return &o;
    return nullptr;
}

// Where an aircraft's stay is recorded: the stand, the aircraft's key and the first option of its
// own of that kind for the weekday that the slot may go into (id 0: none yet). A real option that
// holds the slot already is passed over, a soft one is taken whatever it holds. Nothing when the
// aircraft has no key, the stand is unknown or an option fixed by hand leaves the slot out.
struct OwnOption {
    Stand* stand;
    const std::string& key;
    std::uint32_t id;
};

std::optional<OwnOption> ownOption(std::uint32_t sid, const FlightRecord& aircraft, std::uint32_t kind, DaySlot daySlot)
{
    const std::string& key = keyOf(aircraft);
    if (key.empty()) return std::nullopt;
    Stand* stand = standById(sid);
    if (!stand) return std::nullopt;
    std::uint32_t foundId = 0;
    for (const StandOption& o : stand->options) {
        if (o.id == 0 || o.day != daySlot.weekday || o.reg != key || o.kind != kind) continue;
        if (o.fixed == 1 && !o.slots.test(daySlot.slot)) return std::nullopt;
        if (o.fixed == 0 && foundId == 0 && (kind == optionSoft || !o.slots.test(daySlot.slot))) foundId = o.id;
    }
    return OwnOption{stand, key, foundId};
}

} // namespace

void forgetNearestStand() { ++standsGeneration; }

Stand* findStandById(std::uint32_t sid) { return standById(sid); }

DaySlot daySlotMinus(DaySlot daySlot, std::uint32_t n)
{
    std::int64_t weekday = daySlot.weekday;
    std::int64_t slot = static_cast<std::int64_t>(daySlot.slot) - n;
    while (slot < 0) {
        slot += 48;
        weekday = weekday == 1 ? 7 : weekday - 1;
    }
    return DaySlot{static_cast<std::uint32_t>(weekday), static_cast<std::uint32_t>(slot)};
}

std::int64_t slotsAgo(DaySlot then, DaySlot now)
{
    const auto index = [](DaySlot d) { return static_cast<std::int64_t>(d.weekday - 1) * 48 + d.slot; };
    return ((index(now) - index(then)) % 336 + 336) % 336;
}

DaySlot nextDaySlot(DaySlot daySlot)
{
    if (daySlot.slot < 47) return DaySlot{daySlot.weekday, daySlot.slot + 1};
    return DaySlot{daySlot.weekday % 7 + 1, 0};
}

void countStandChange()
{
    const std::int32_t now = ++standChangeCount;
    if (indicators.updateCount.exchange(now) != now) indicators.invalidate(Band::statistics);
}

std::vector<Stand>::iterator findStandByName(const std::string& name)
{
    return std::find_if(stands.begin(), stands.end(), [&name](const Stand& s) { return s.name == name; });
}

std::string sidName(std::uint32_t sid)
{
    if (sid == 0) return "sid==0?";
    const Stand* s = standById(sid);
    return s ? s->name : "unknown";
}

void markStandTaken(Stand& stand)
{
    stand.taken = true;
    for (std::uint32_t id : stand.adjacent)
        if (Stand* other = standById(id)) other->blocked = true;
}

std::string nearestStandName(const LatLon& position)
{
    if (!userOnGround.load()) return {};
    std::lock_guard lock(standsMutex);
    const std::uint64_t generation = standsGeneration.load();
    NearestCache& cache = nearestCache;
    if (cache.generation == generation && cache.lat == position.lat && cache.lon == position.lon) return cache.answer;
    std::string answer;
    double best = nearestCapture;
    for (const Stand& s : stands) {
        const double d = distanceNm(position, LatLon{s.lat, s.lon});
        if (d <= best) {
            best = d;
            answer = s.name;
        }
    }
    cache = NearestCache{generation, position.lat, position.lon, answer};
    return answer;
}

std::vector<Stand>::iterator standAtAircraft(const LatLon& position, const FlightRecord& aircraft, double maxDistance,
                                             bool allowOptionCapture)
{
    auto best = stands.end();
    auto candidate = stands.end();
    double bestDistance = 900.0;
    double bestOptionDistance = 900.0;
    bool capture = allowOptionCapture && hasCallsign(aircraft);
    bool tooSmall = false;
    for (auto it = stands.begin(); it != stands.end(); ++it) {
        if (it->occupied) continue;
        const double d = distanceNm(position, LatLon{it->lat, it->lon});
        const bool fits = aircraft.radius - it->radius <= allowedExcess;
        if (d <= maxDistance && d < bestDistance) {
            if (fits || d <= adjustDistance) {
                best = it;
                bestDistance = d;
                tooSmall = !fits;
                capture = false;
                candidate = stands.end();
            }
            continue;
        }
        if (!capture || d > optionCapture || d >= bestOptionDistance || !fits) continue;
        const bool matched = std::any_of(it->options.begin(), it->options.end(), [&](const StandOption& o) {
            return matchesOption(aircraft.callsign, aircraft, o);
        });
        if (matched) {
            candidate = it;
            bestOptionDistance = d;
        }
    }
    auto result = best != stands.end() ? best : candidate;
    if (result == stands.end()) return result;
    if (result->heli != (aircraft.category == categoryRotorcraft)) return stands.end();
    if (result == best && tooSmall) {
        result->radius = aircraft.radius - oneMetre;
        result->radius_change = true;
        countStandChange();
    }
    return result;
}

bool matchesOption(const std::string& callsign, const FlightRecord& aircraft, const StandOption& option)
{
    if (option.id == 0 || option.kind != optionReal) return false;
    if (!callsign.empty() && (callsign == option.cs || callsign == option.cs2)) return true;
    return aircraft.airline == option.airline && aircraft.type == option.type;
}

std::uint32_t findOrAddOption(Stand& stand, const FlightRecord& aircraft, std::uint32_t kind, DaySlot daySlot,
                              const std::string& callsign, const std::string& key)
{
    if (key.empty()) return 0;
    const std::string cs = stripOneUnderscore(callsign);
    std::bitset<48> slots;
    slots.set(daySlot.slot);
    // The highest id + 1: options switched off (id 0) or added out of order must not make an id
    // repeat, or learned slots would land in the wrong option.
    std::uint32_t id = 1;
    for (const StandOption& o : stand.options) id = std::max(id, o.id + 1);
    std::string airline = aircraft.airline;
    std::string type = aircraft.type;
    if (const auto info = registrationInfo(key)) {
        if (const std::string recorded = flyingAirline(*info); !recorded.empty()) airline = recorded;
        if (!info->type.empty()) type = info->type;
    }
    for (const StandOption& o : stand.options)
        if (o.reg == key && o.day == daySlot.weekday && o.slots == slots && o.cs == cs) return 0;
    stand.options.push_back(StandOption{airline, type, key, cs, "", slots, id, daySlot.weekday, 0, kind});
    return id;
}

bool optionIdMatches(std::uint32_t id, const std::string& callsign, StandOption& option)
{
    if (option.id == 0 || option.id != id) return false;
    if (option.cs.empty()) {
        option.cs = callsign;
    } else if (callsign != option.cs && callsign != option.cs2) {
        option.cs2 = callsign;
    }
    return true;
}

void registerOptionId(Stand& stand, std::uint32_t id, const std::string& callsign)
{
    const std::string cs = stripOneUnderscore(callsign);
    if (cs.empty()) return;
    for (StandOption& o : stand.options)
        if (optionIdMatches(id, cs, o)) return;
}

bool updateOptions(Stand& stand, const std::vector<std::uint32_t>& slots, std::uint32_t id)
{
    try {
        StandOption* o = optionById(stand, id);
        if (!o) return false;
        for (auto it = slots.rbegin(); it != slots.rend(); ++it) o->slots.set(*it);
        return true;
    } catch (const std::exception& e) {
        logLine(fmt::format("{} exception:{}", "updateOptions", e.what()));
        return false;
    }
}

bool updateOptionsWrapped(Stand& stand, const std::vector<std::uint32_t>& slots, std::uint32_t id1, std::uint32_t id2)
{
    try {
        StandOption* first = optionById(stand, id1);
        StandOption* second = optionById(stand, id2);
        if (!first || !second || slots.empty()) return false;
        // Oldest first into the earlier day's option, up to its last slot.
        std::ptrdiff_t i = static_cast<std::ptrdiff_t>(slots.size()) - 1;
        if (slots.back() != 0) {
            while (i >= 0) {
                const std::uint32_t s = slots[static_cast<std::size_t>(i)];
                first->slots.set(s);
                --i;
                if (s == 47) break;
            }
        }
        // The rest belongs to the new day; its first element, the current slot, is there already.
        for (std::ptrdiff_t j = 1; j <= i; ++j) second->slots.set(slots[static_cast<std::size_t>(j)]);
        return true;
    } catch (const std::exception& e) {
        logLine(fmt::format("{} exception:{}", "updateOptionsWrapped", e.what()));
        return false;
    }
}

std::vector<std::uint32_t> previousSlots(std::uint32_t n, DaySlot daySlot)
{
    std::vector<std::uint32_t> result;
    result.reserve(n);
    std::uint32_t slot = daySlot.slot;
    for (std::uint32_t k = 0; k < n; ++k) {
        result.push_back(slot);
        slot = slot == 0 ? 47 : slot - 1;
    }
    return result;
}

void addOccupancy(Stand& stand, DaySlot daySlot, const std::string& callsign, std::uint32_t n, std::uint32_t id1,
                  std::uint32_t id2)
{
    updateOptionsWrapped(stand, previousSlots(n, daySlot), id1, id2);
    registerOptionId(stand, id1, callsign);
    registerOptionId(stand, id2, callsign);
}

bool addStandStaySlots(DaySlot daySlot, Stand& stand, std::uint32_t id, StandArrival& arrival,
                       const FlightRecord& aircraft, const std::string& key, std::uint32_t kind)
{
    if (id == 0) return true;
    const std::uint32_t window = aircraft.cargo ? 12 : (aircraft.category == categoryHeavy ? 8 : 6);
    const std::uint32_t nextDay = arrival.weekday % 7 + 1;
    std::uint32_t k = 0;
    bool crossed = false;
    for (std::uint32_t n = 1; n < window; ++n) {
        if (daySlot.weekday == arrival.weekday && (arrival.slot + n) % 48 == daySlot.slot) {
            k = n;
            break;
        }
        if (daySlot.weekday == nextDay && static_cast<std::int64_t>(daySlot.slot) - arrival.slot + 48 == n) {
            k = n;
            crossed = true;
            break;
        }
    }
    if (k == 0) return false;
    if (!crossed) {
        updateOptions(stand, previousSlots(k, daySlot), id);
        registerOptionId(stand, id, aircraft.callsign);
    } else {
        const std::uint32_t newId = findOrAddOption(stand, aircraft, kind, daySlot, aircraft.callsign, key);
        if (newId > 0) {
            addOccupancy(stand, daySlot, aircraft.callsign, k, id, newId);
            arrival.id = newId;
        }
    }
    arrival.weekday = daySlot.weekday;
    arrival.slot = daySlot.slot;
    return true;
}

bool lf_addRealStandOption(std::uint32_t sid, const FlightRecord& aircraft, DaySlot daySlot, bool leaving)
{
    try {
        const auto own = ownOption(sid, aircraft, optionReal, daySlot);
        if (!own) return false;
        const auto& [stand, key, foundId] = *own;
        if (foundId == 0) {
            const std::uint32_t id = findOrAddOption(*stand, aircraft, optionReal, daySlot, aircraft.callsign, key);
            if (!leaving) stand->realArrivals[aircraft.flightId] = StandArrival{daySlot.weekday, daySlot.slot, id};
        } else if (!leaving) {
            optionById(*stand, foundId)->slots.set(daySlot.slot);
        } else {
            const auto it = stand->realArrivals.find(aircraft.flightId);
            if (it == stand->realArrivals.end()) {
                findOrAddOption(*stand, aircraft, optionReal, daySlot, aircraft.callsign, key);
            } else {
                if ((it->second.weekday != daySlot.weekday || it->second.slot != daySlot.slot) &&
                    !addStandStaySlots(daySlot, *stand, foundId, it->second, aircraft, key, optionReal))
                    findOrAddOption(*stand, aircraft, optionReal, daySlot, aircraft.callsign, key);
                stand->realArrivals.erase(aircraft.flightId);
            }
        }
        countStandChange();
        return true;
    } catch (const std::exception& e) {
        logMarked(fmt::format("{}: hh_now: {}, {}", "lf_addRealStandOption", daySlot.slot, e.what()));
        return false;
    }
}

bool lf_addSoftStandOption(std::uint32_t sid, const FlightRecord& aircraft, bool leaving, DaySlot daySlot, bool flying)
{
    try {
        const auto own = ownOption(sid, aircraft, optionSoft, daySlot);
        if (!own) return false;
        const auto& [stand, key, foundId] = *own;
        const auto enterArrival = [&](std::uint32_t id) {
            if (id > 0) own->stand->softArrivals[aircraft.flightId] = StandArrival{daySlot.weekday, daySlot.slot, id};
        };
        if (foundId == 0) {
            enterArrival(findOrAddOption(*stand, aircraft, optionSoft, daySlot, aircraft.callsign, key));
        } else if (StandOption* found = optionById(*stand, foundId); found->slots.test(daySlot.slot)) {
            // already recorded for this slot
        } else if (!leaving && !flying) {
            found->slots.set(daySlot.slot);
        } else {
            const auto it = stand->softArrivals.find(aircraft.flightId);
            if (it == stand->softArrivals.end()) {
                const std::uint32_t id = findOrAddOption(*stand, aircraft, optionSoft, daySlot, aircraft.callsign, key);
                if (!flying) enterArrival(id);
            } else {
                if ((it->second.weekday != daySlot.weekday || it->second.slot != daySlot.slot) &&
                    !addStandStaySlots(daySlot, *stand, foundId, it->second, aircraft, key, optionSoft) && flying)
                    findOrAddOption(*stand, aircraft, optionSoft, daySlot, aircraft.callsign, key);
                if (flying) stand->softArrivals.erase(aircraft.flightId);
            }
        }
        countStandChange();
        return true;
    } catch (const std::exception& e) {
        logMarked(fmt::format("{}: hh_now: {}, {}", "lf_addSoftStandOption", daySlot.slot, e.what()));
        return false;
    }
}

bool testRange(const StandOption& option, std::int32_t start, std::int32_t offset, std::int32_t& spill)
{
    spill = -1;
    try {
        const std::int32_t low = std::max(start - offset, 0);
        for (std::int32_t s = start; s >= low; --s)
            if (option.slots.test(static_cast<std::size_t>(s))) return true;
        if (start - offset < 0) spill = std::min(offset - start, 46);
        return false;
    } catch (const std::exception& e) {
        logLine(fmt::format("{}exception {} in testRange, start: {}, offset: {}", "===> ", e.what(), start, offset));
        return false;
    }
}

bool coupledCandidateMatches(const StandOption& option, DaySlot daySlot, const std::bitset<48>& mask,
                             const FlightRecord& aircraft, const std::string& callsign)
{
    return option.id != 0 && option.day == daySlot.weekday && (option.slots & mask).any() &&
           option.airline == aircraft.airline && !option.cs2.empty() &&
           (callsign == option.cs || callsign == option.cs2);
}

void lf_searchForCoupledCsAroundThisTime(DaySlot daySlot, FlightRecord& aircraft)
{
    try {
        const std::int32_t window = aircraft.category == categoryHeavy ? 14 : 10;
        std::bitset<48> mask;
        const std::int32_t slot = static_cast<std::int32_t>(daySlot.slot);
        for (std::int32_t s = std::max(slot - window, 0); s <= std::min(slot + window, 47); ++s) mask.set(s);
        const std::string callsign = stripOneUnderscore(aircraft.callsign);
        for (const Stand& stand : stands)
            for (const StandOption& o : stand.options)
                if (coupledCandidateMatches(o, daySlot, mask, aircraft, callsign)) {
                    aircraft.callsignKey = o.cs;
                    aircraft.coupledCallsign = o.cs2;
                    return;
                }
    } catch (const std::exception& e) {
        logLine(fmt::format("{}: {}", "lf_searchForCoupledCsAroundThisTime", e.what()));
    }
}

} // namespace qtr
