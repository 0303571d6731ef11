#include "traffic/parking/stand_learning.h"

#include "airports/airport_file_reader.h"
#include "airports/airport_file_writer.h"
#include "airports/learned_file.h"
#include "foundation/indicators.h"
#include "foundation/geometry.h"
#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/utilities.h"
#include "foundation/win_text.h"
#include "foundation/xml_meta.h"
#include "traffic/parking/live_parking.h"
#include "traffic/parking/park_airports.h"
#include "traffic/state/traffic_state.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>

namespace qtr {

std::vector<LearnedSlot> learnedSlots;
bool learningAllowed = false;
std::atomic<bool> parkingParameterChanged{false};

namespace {

constexpr double allowedExcess = 0.0009719222462203025; // 1.8 m
constexpr double smallStep = 0.00755939524838013;       // 14 m
constexpr double largeStep = 0.011339092872570195;      // 21 m
constexpr double stepThreshold = 0.009611230689557531;  // 17.8 m

std::vector<LearnedSlot>::iterator learnedSlotOf(std::uint32_t flightId)
{
    return std::find_if(learnedSlots.begin(), learnedSlots.end(),
                        [flightId](const LearnedSlot& l) { return l.flightId == flightId; });
}

void forgetLearnedSlot(std::uint32_t flightId)
{
    const auto it = learnedSlotOf(flightId);
    if (it == learnedSlots.end()) return;
    *it = learnedSlots.back();
    learnedSlots.pop_back();
}

// ---- free-stand search ----

using StandFilter = std::function<bool(const Stand&)>;

// No active option of the weekday holds the slot: the stand is free then.
bool freeAt(const Stand& stand, DaySlot daySlot)
{
    return std::none_of(stand.options.begin(), stand.options.end(), [daySlot](const StandOption& o) {
        return o.id != 0 && o.day == daySlot.weekday && o.slots.test(daySlot.slot);
    });
}

std::int32_t matchedFlag(const Stand& stand, const FlightRecord& aircraft)
{
    if (!hasCallsign(aircraft)) return 0;
    return std::any_of(stand.options.begin(), stand.options.end(),
                       [&aircraft](const StandOption& o) { return matchesOption(aircraft.callsign, aircraft, o); })
               ? 1
               : 0;
}

void addCandidateByRadiusClass(const Stand& stand, DaySlot daySlot, double step, const FlightRecord& aircraft,
                               std::int32_t& best, std::vector<FreeStandCandidate>& candidates)
{
    if (!freeAt(stand, daySlot) || aircraft.radius - stand.radius > allowedExcess) return;
    const auto value = static_cast<std::int32_t>(std::lround((stand.radius - aircraft.radius) / step));
    if (value > best) return;
    best = value;
    candidates.push_back(FreeStandCandidate{stand.name, value, matchedFlag(stand, aircraft)});
}

void addCandidateByRadiusDifference(const Stand& stand, DaySlot daySlot, const FlightRecord& aircraft,
                                    std::int32_t& best, std::vector<FreeStandCandidate>& candidates)
{
    if (!freeAt(stand, daySlot)) return;
    const auto value = static_cast<std::int32_t>(std::lround(std::fabs(aircraft.radius - stand.radius)));
    if (value > best) return;
    best = value;
    candidates.push_back(FreeStandCandidate{stand.name, value, matchedFlag(stand, aircraft)});
}

enum class Rating { byClass, byDifference };

// One stage: the stands the filter admits, rated one way, with a running best of its own.
bool stage(const StandFilter& filter, Rating rating, DaySlot daySlot, const FlightRecord& aircraft,
           std::vector<FreeStandCandidate>& candidates)
{
    const double step = aircraft.radius <= stepThreshold ? smallStep : largeStep;
    std::int32_t best = 100;
    for (const Stand& s : stands) {
        if (!filter(s)) continue;
        if (rating == Rating::byClass) {
            addCandidateByRadiusClass(s, daySlot, step, aircraft, best, candidates);
        } else {
            addCandidateByRadiusDifference(s, daySlot, aircraft, best, candidates);
        }
    }
    return !candidates.empty();
}

bool stages(std::initializer_list<std::pair<StandFilter, Rating>> list, DaySlot daySlot, const FlightRecord& aircraft,
            std::vector<FreeStandCandidate>& candidates)
{
    for (const auto& [filter, rating] : list)
        if (stage(filter, rating, daySlot, aircraft, candidates)) return true;
    return false;
}

void collectAirlineStandCandidates(DaySlot daySlot, bool gates, const FlightRecord& aircraft,
                                   std::vector<FreeStandCandidate>& candidates)
{
    const StandFilter kind = [gates](const Stand& s) { return !s.cargo && !s.heli && s.ramp != gates; };
    stages({{kind, Rating::byClass}, {kind, Rating::byDifference}}, daySlot, aircraft, candidates);
}

void collectCandidates(DaySlot daySlot, const FlightRecord& aircraft, std::vector<FreeStandCandidate>& candidates)
{
    const StandFilter heli = [](const Stand& s) { return s.heli; };
    const StandFilter ramp = [](const Stand& s) { return s.ramp; };
    if (aircraft.category == categoryRotorcraft) {
        stages({{heli, Rating::byClass},
                {ramp, Rating::byClass},
                {heli, Rating::byDifference},
                {ramp, Rating::byDifference}},
               daySlot, aircraft, candidates);
        return;
    }
    if (aircraft.cargo) {
        const StandFilter cargo = [](const Stand& s) { return s.cargo && !s.heli; };
        const StandFilter notHeli = [](const Stand& s) { return !s.heli; };
        stages({{cargo, Rating::byClass},
                {cargo, Rating::byDifference},
                {notHeli, Rating::byClass},
                {notHeli, Rating::byDifference}},
               daySlot, aircraft, candidates);
        return;
    }
    if (aircraft.category == categoryLight || aircraft.category == categoryBuzjets || aircraft.airline == "PVT") {
        const StandFilter generalAviation = [](const Stand& s) { return s.ramp && !s.cargo && !s.heli; };
        stages({{generalAviation, Rating::byClass}, {generalAviation, Rating::byDifference}}, daySlot, aircraft,
               candidates);
        return;
    }
    // Airliners go to gates nine times in ten, always at airports of the United States.
    const bool gates = (!parkAirportIcao.empty() && parkAirportIcao.front() == 'K') || gf_randomIndex(100) >= 10;
    collectAirlineStandCandidates(daySlot, gates, aircraft, candidates);
    if (candidates.empty()) collectAirlineStandCandidates(daySlot, !gates, aircraft, candidates);
}

// Insertion order: a candidate moves ahead while it is matched at least as well and rated no
// worse than the one before it.
void orderCandidates(std::vector<FreeStandCandidate>& candidates)
{
    for (std::size_t i = 1; i < candidates.size(); ++i)
        for (std::size_t j = i; j > 0; --j) {
            const FreeStandCandidate& c = candidates[j];
            const FreeStandCandidate& before = candidates[j - 1];
            if (!(c.matched >= before.matched && c.value <= before.value)) break;
            std::swap(candidates[j], candidates[j - 1]);
        }
}

// ---- the learned file ----

// A stand worth saving: it has learned options, or was made or changed by learning.
bool worthSaving(const Stand& s) { return !s.options.empty() || s.manual || s.radius_change || s.cargo_change; }

ApfRecord learnedRecord()
{
    ApfRecord record;
    record.airportName = parkFileRecord.airportName;
    record.publisher = parkFileRecord.publisher;
    record.elevationFt = parkFileRecord.elevationFt;
    record.handmade = parkHandmade;
    if (record.handmade) {
        record.quality = gf_qualityFactor(stands);
        record.stands = stands;
        return record;
    }
    // The airport file's own options come back with it at the next read.
    for (Stand& s : stands) std::erase_if(s.options, [](const StandOption& o) { return o.fixed == 1; });
    for (const Stand& s : stands)
        if (worthSaving(s)) record.stands.push_back(s);
    return record;
}

} // namespace

void noteParkingSettingChange(const Parameter& changed)
{
    // The settings of the learned file's parameters; MAX_FIT is typed in hours in MAX_FIT_FL.
    static const Parameter* const travelling[] = {
        &LATERAL_RANGE,     &AUTO_RANGE, &WEEK,       &PARK_FAKE, &PARK_SOFT, &parking_percentage,
        &INITIAL_LOAD_ONLY, &MAX_FIT,    &MAX_FIT_FL, &MAX_LIVE,  &LEARN_SOFT};
    if (!indicators.parkAirportLoaded.load()) return;
    if (std::find(std::begin(travelling), std::end(travelling), &changed) != std::end(travelling))
        parkingParameterChanged.store(true);
}

bool rememberLearnedSlot(DaySlot daySlot, std::uint32_t flightId, bool force)
{
    const auto it = learnedSlotOf(flightId);
    if (it == learnedSlots.end()) {
        learnedSlots.push_back(LearnedSlot{flightId, daySlot.slot});
        return true;
    }
    if (!force && (daySlot.slot + 48 - it->slot) % 48 < 3) return false;
    it->slot = daySlot.slot;
    return true;
}

void learnParking(LiveAircraft& a, bool notFlying)
{
    if (!LEARN_SOFT.value() || !learningAllowed || parkAirportIcao.empty()) return;
    if (distanceNm(LatLon{a.lat, a.lon}, parkAirportPosition) > 5.0) return;
    if (!notFlying && a.heightAboveGround >= 2500.0) return;
    if (a.sid != 0) return;
    const DaySlot now = currentDaySlot();
    for (Stand& stand : stands) {
        const auto arrival = stand.softArrivals.find(a.flightId);
        if (arrival == stand.softArrivals.end()) continue;
        if ((arrival->second.weekday != now.weekday || arrival->second.slot != now.slot) &&
            lf_addSoftStandOption(stand.id, a, true, now, !notFlying)) {
            rememberLearnedSlot(now, a.flightId, true);
            return;
        }
        break;
    }
    if (!rememberLearnedSlot(now, a.flightId, false)) return;
    if (findOptionBySlot(a, now) != stands.end()) return;
    const auto stand = searchFreeStand(now, a, true);
    if (stand == stands.end()) return;
    if (!lf_addSoftStandOption(stand->id, a, false, now, !notFlying)) forgetLearnedSlot(a.flightId);
}

void saveLearnedAirport()
{
    const std::filesystem::path path = mapAirportPath(parkFilePath, parkFileRecord.publisher);
    const std::int32_t changes = standChangeCount.load();
    const bool parameters = parkingParameterChanged.load();
    bool saved = false;
    if (!path.empty()) {
        // A folder that cannot be made fails this save only; the run goes on without it.
        std::error_code ec;
        if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
        if (ec) {
            logMarked(fmt::format("{}: {}", "create_directory", ec.message()));
        } else {
            simulatorName = MSFS_2020.value() ? "MSFS" : "MSFS2024";
            saved = saveApf(learnedRecord(), path, apfKindLearned);
        }
    }
    // The exit saves too, after the stop: the line goes to the log all the same.
    const std::string text = saved ? fmt::format("{}{} \"{}\" saved with {} update{} {}", nowTimeText(),
                                                 parkHandmade ? " handmade" : "", pathToUtf8(path), changes,
                                                 gf_plural(changes),
                                                 parameters ? "and one or more parameter changes" : "")
                                   : fmt::format("{} saving \"{}\" did not succeed", nowTimeText(), pathToUtf8(path));
    setStatus(text, false);
    logLine(text);
    standChangeCount.store(0);
    parkingParameterChanged.store(false);
}

std::vector<Stand>::iterator searchFreeStand(DaySlot daySlot, const FlightRecord& aircraft, bool retryNextSlot)
{
    std::vector<FreeStandCandidate> candidates;
    candidates.reserve(256);
    collectCandidates(daySlot, aircraft, candidates);
    if (candidates.empty()) {
        if (retryNextSlot && stands.size() <= 10) return searchFreeStand(nextDaySlot(daySlot), aircraft, false);
        return stands.end();
    }
    if (candidates.size() >= 2 && RANDOM.value()) std::shuffle(candidates.begin(), candidates.end(), randomEngine());
    orderCandidates(candidates);
    return findStandByName(candidates.front().name);
}

} // namespace qtr
