#include "liveries/livery_matcher.h"

#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/utilities.h"
#include "liveries/livery_reports.h"
#include "liveries/regcodes.h"
#include "liveries/type_queries.h"
#include "foundation/flight_record.h"

#include <fmt/format.h>

#include <algorithm>

namespace qtr {

std::array<std::uint32_t, 6> matchCounters{};
std::vector<std::string> failedTitles;
std::unordered_map<std::uint32_t, TitleView> liveryChoices;
std::set<std::string> unmatchedNames;

namespace {

constexpr std::uint32_t noStep = 0;
const std::string genericAirline = "ZZZ";
const std::string privateAirline = "PVT";

enum TitleMap : int { paxTitles = 0, cargoTitles = 1 };

bool lf_isSpecial(TitleView title)
{
    return std::find(specialTitles.begin(), specialTitles.end(), title) != specialTitles.end();
}

TitleView lf_draw(const TitleList& list)
{
    return list[static_cast<std::size_t>(gf_randomIndex(static_cast<std::int64_t>(list.size())))];
}

// A title of the list, avoiding the special ones; a title the simulator refused is never a
// candidate, so a list of nothing else gives nothing and the search goes on.
void lf_pickTitle(FlightRecord& flight, const TitleList& candidates)
{
    if (candidates.empty()) return;
    const TitleList* list = &candidates;
    TitleList usable;
    if (!failedTitles.empty()) {
        for (const TitleView t : candidates)
            if (!isFailedTitle(t)) usable.push_back(t);
        if (usable.empty()) return;
        list = &usable;
    }
    TitleView title = lf_draw(*list);
    for (int test = 1; test <= 5; ++test) {
        if (specialTitles.empty() || !lf_isSpecial(title)) {
            flight.livery = title;
            return;
        }
        if (test < 5) title = lf_draw(*list);
    }
    TitleList plain;
    for (const TitleView t : *list)
        if (!lf_isSpecial(t)) plain.push_back(t);
    flight.livery = plain.empty() ? TitleView() : lf_draw(plain);
}

void lf_lookupAirlineModel(FlightRecord& flight, const std::string& airline, const std::string& type, TitleMap map)
{
    const auto& titles = map == cargoTitles ? cargoAirlineTitles : paxAirlineTitles;
    const auto a = titles.find(airline);
    if (a == titles.end()) return;
    const auto t = a->second.find(type);
    if (t == a->second.end()) return;
    lf_pickTitle(flight, t->second);
}

// The airline's titles of the type: a cargo flight prefers cargo liveries, a pax flight only
// gets pax ones. True when the flight has a title afterwards.
bool lf_lookup(FlightRecord& flight, const std::string& airline, const std::string& type)
{
    if (flight.cargo) {
        lf_lookupAirlineModel(flight, airline, type, cargoTitles);
        if (!flight.livery.empty()) return true;
    }
    lf_lookupAirlineModel(flight, airline, type, paxTitles);
    return !flight.livery.empty();
}

bool lf_hasAirlineModel(const std::string& airline, const std::string& type, TitleMap map)
{
    const auto& titles = map == cargoTitles ? cargoAirlineTitles : paxAirlineTitles;
    const auto a = titles.find(airline);
    return a != titles.end() && a->second.find(type) != a->second.end();
}

// The airline's own titles of the flight's type (step 2): as lf_lookup, and a pax flight of an
// airline whose installed liveries of the type are all freighters flies one of them rather than
// another airline's livery (a freight airline the data base does not name, or a package of an
// airline's freighters only). Only live flights: a parked aircraft's stand decides pax or cargo.
bool lf_lookupOwnType(FlightRecord& flight, const std::string& airline, const std::string& type, bool live)
{
    if (lf_lookup(flight, airline, type)) return true;
    if (!live || flight.cargo || lf_hasAirlineModel(airline, type, paxTitles)) return false;
    lf_lookupAirlineModel(flight, airline, type, cargoTitles);
    return !flight.livery.empty();
}

bool lf_lookupModel(FlightRecord& flight, const std::string& type)
{
    const auto& models = flight.cargo ? cargoModelTitles : paxModelTitles;
    if (const auto it = models.find(type); it != models.end()) lf_pickTitle(flight, it->second);
    return !flight.livery.empty();
}

bool lf_matchRegistration(FlightRecord& flight)
{
    if (flight.registration.empty()) return false;
    const TitleView title = gf_regcodeTitle(flight.registration);
    if (title.empty() || isFailedTitle(title)) return false;
    flight.livery = title;
    return true;
}

bool lf_similarOfAirline(FlightRecord& flight, const std::string& airline, bool sameCategory)
{
    for (const std::string& s : similarTypesOf(flight)) {
        if (sameCategory && categoryOfType(s) != flight.category) continue;
        if (lf_lookup(flight, airline, s)) return true;
    }
    return false;
}

// Steps 2 to 6, after the registration's own livery (step 1) was not found. Live flights test
// an empty airline and the category of similar types; parked ones do not.
std::uint32_t lf_matchAirlineAndType(FlightRecord& flight, bool live)
{
    const std::int32_t depth = MATCHING_DEPTH.value();
    if (depth < 2) return noStep;
    const std::string& airline = flight.airline;
    const std::string& type = flight.type;
    if (airline == privateAirline && lf_lookup(flight, genericAirline, type)) return 4;
    const std::string operatorCode = registrationField3(flight.registration);
    if (!live || !airline.empty()) {
        if (lf_lookupOwnType(flight, airline, type, live)) return 2;
        if (!operatorCode.empty() &&
            lf_lookupOwnType(flight, registrationInfo(flight.registration)->airline, type, live))
            return 2;
    }
    if (depth < 3) return noStep;
    if (!live || !airline.empty()) {
        if (lf_similarOfAirline(flight, airline, live)) return 3;
        if (!operatorCode.empty() && lf_similarOfAirline(flight, registrationAirline(flight.registration), live))
            return 3;
    }
    return lf_matchFallbacks(flight);
}

} // namespace

bool isFailedTitle(std::string_view title)
{
    return std::find(failedTitles.begin(), failedTitles.end(), title) != failedTitles.end();
}

std::uint32_t lf_matchFallbacks(FlightRecord& flight)
{
    const std::string& type = flight.type;
    if (MATCHING_DEPTH.value() == 4 && lf_lookup(flight, genericAirline, type)) return 4;
    const std::uint32_t c = flight.category;
    if (c != categoryLight && c != categoryBuzjets && c != categoryRotorcraft) return noStep;
    if (flight.airline != privateAirline && lf_lookup(flight, genericAirline, type)) return 4;
    if (lf_lookupModel(flight, type)) return 5;
    for (const std::string& s : substituteModels(type))
        if (lf_lookupModel(flight, s)) return 6;
    return noStep;
}

std::uint32_t gf_matchLivery(FlightRecord& flight)
{
    if (lf_matchRegistration(flight)) return 1;
    return lf_matchAirlineAndType(flight, true);
}

void gf_matchLiveryLive(FlightRecord& flight)
{
    const std::uint32_t step = gf_matchLivery(flight);
    if (flight.livery.empty()) return;
    if (isFailedTitle(flight.livery)) {
        flight.livery = {};
        return;
    }
    ++matchCounters[step - 1];
    if (LOG.value()) logIndented(fmt::format("{} ={}= {}", flightText(flight), step, flight.livery));
    flight.reverseByThrottle = flight.livery.find("FSLTL_") != std::string_view::npos ? 1 : 0;
}

bool gf_matchLiveryParked(FlightRecord& aircraft, bool cargoStand, const std::string& standName)
{
    if (!aircraft.livery.empty()) {
        if (LOG.value()) logIndented(fmt::format("{} =s= {}", flightText(aircraft), aircraft.livery));
        return true;
    }
    std::uint32_t step = 1;
    if (!lf_matchRegistration(aircraft)) {
        aircraft.cargo = cargoStand ? 1 : 0;
        step = lf_matchAirlineAndType(aircraft, false);
    }
    if (aircraft.livery.empty()) {
        if (LOG.value()) logLine(fmt::format("{:8}: {} no livery match ...", standName, flightFullText(aircraft)));
        return false;
    }
    if (isFailedTitle(aircraft.livery)) {
        aircraft.livery = {};
        return false;
    }
    if (LOG.value()) logIndented(fmt::format("{} ={}= {}", flightText(aircraft), step, aircraft.livery));
    return true;
}

void gf_writeLiveryMatchSummary()
{
    std::vector<std::string> lines;
    lines.push_back(gf_framedLine(32, 32, true, false, "live traffic livery matching summary"));
    lines.push_back("Matches at step: ");
    for (std::size_t step = 1; step <= matchCounters.size(); ++step)
        lines.push_back(fmt::format("  {}: {}", step, matchCounters[step - 1]));
    const std::vector<std::string> failed = failedLiveries();
    if (!failed.empty()) {
        lines.push_back(fmt::format("\nCould not be created by {}:", "MSFS"));
        lines.insert(lines.end(), failed.begin(), failed.end());
    }
    lines.push_back(std::string(100, '*') + "\n");
    for (const std::string& line : lines) logLine(line);
}

void clearLiveryMatcher()
{
    matchCounters.fill(0);
    failedTitles.clear();
    liveryChoices.clear();
    unmatchedNames.clear();
    clearFailedLiveries();
}

} // namespace qtr
