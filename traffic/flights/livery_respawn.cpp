#include "traffic/flights/livery_respawn.h"

#include "foundation/indicators.h"
#include "foundation/parameters/parameter_display.h"
#include "foundation/geometry.h"
#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"
#include "liveries/livery_matcher.h"
#include "liveries/regcodes.h"
#include "liveries/type_queries.h"
#include "traffic/flights/spawning.h"
#include "traffic/state/records.h"
#include "traffic/state/traffic_state.h"

#include <fmt/format.h>

namespace qtr {

namespace {

bool endsInUnderscore(const std::string& s) { return !s.empty() && s.back() == '_'; }

// An empty field of the record is an unknown: it agrees with anything and replaces nothing.
bool sameAirlineAndType(const RegistrationInfo& info, const FlightRecord& a)
{
    return (info.airline.empty() || info.airline == a.airline) && (info.type.empty() || info.type == a.type);
}

void takeAirlineAndType(LiveAircraft& a, const RegistrationInfo& info)
{
    if (const std::string airline = flyingAirline(info); !airline.empty()) a.airline = airline;
    takeRecordType(a, info.type);
}

// Takes over the report's route; false when the route changed (the aircraft belongs to another
// flight now, so it may need another livery).
bool routeUnchanged(LiveAircraft& a, const TrafficReport& r)
{
    bool unchanged = true;
    bool destinationDiffers = false, originDiffers = false;
    const auto compare = [&unchanged](std::string& mine, const std::string& reported, bool& differs) {
        if (reported.empty()) return;
        if (!mine.empty()) {
            differs = mine != reported;
        } else {
            mine = reported;
            unchanged = false;
        }
    };
    compare(a.destination, r.destination, destinationDiffers);
    compare(a.origin, r.origin, originDiffers);
    if (!(destinationDiffers && originDiffers)) return unchanged;
    // An aircraft that came from here and is now reported flying back here: the same rotation.
    if (!parkAirportIata.empty() && a.origin == parkAirportIata && r.destination == parkAirportIata) return unchanged;
    a.origin = r.origin;
    a.destination = r.destination;
    if (a.onGround && (a.phase == phaseParking || a.phase == phaseParked)) {
        setPhase(a, phaseTaxi);
        a.bearingToNext = a.heading;
    }
    return false;
}

// The registration under which a known livery of another airline or type flies: changes the
// aircraft's airline and type and gives false.
bool registrationUnchanged(LiveAircraft& a, const TrafficReport& r, bool& liveryStale)
{
    const std::string& reg = r.registration;
    if (reg.empty()) return true;
    bool unchanged = true;
    const auto info = registrationInfo(reg);
    if ((!a.registration.empty() && a.registration != a.callsign) || a.registration == reg) {
        if (a.registration != reg && info && !sameAirlineAndType(*info, a) && info->operatorCode != a.airline) {
            FlightRecord reported;
            reported.callsign = r.callsign;
            if (setAirlineFromCallsign(reported) &&
                (reported.airline == info->airline ||
                 (!info->operatorCode.empty() && info->operatorCode == reported.airline))) {
                takeAirlineAndType(a, *info);
                unchanged = false;
            }
        }
    } else if (const TitleView title = gf_regcodeTitle(reg); !title.empty()) {
        if (title != a.livery) {
            if (info) takeAirlineAndType(a, *info);
            unchanged = false;
        }
    } else if (reg != a.registration && info && !sameAirlineAndType(*info, a) && info->operatorCode != a.airline) {
        takeAirlineAndType(a, *info);
        unchanged = false;
    }
    if (!unchanged) liveryStale = true;
    a.registration = reg;
    return unchanged;
}

void takeOverWhileBuffered(LiveAircraft& a, const TrafficReport& r)
{
    for (auto [mine, reported] : {std::pair{&a.destination, &r.destination}, std::pair{&a.origin, &r.origin},
                                  std::pair{&a.callsign, &r.callsign}, std::pair{&a.registration, &r.registration}})
        if (!reported->empty() && *reported != *mine) *mine = *reported;
}

} // namespace

bool checkLiveryRespawn(LiveAircraft& a, const TrafficReport& r)
{
    if (a.departing || a.approach) return true;
    if (a.state == stateBuffer) {
        takeOverWhileBuffered(a, r);
        return true;
    }
    if (a.state != stateActive || a.phase == phasePushingBack || a.extrapolations >= 1) return true;
    bool liveryStale = false;
    const bool routeSame = routeUnchanged(a, r);
    const bool registrationSame = registrationUnchanged(a, r, liveryStale);
    const bool unchanged = routeSame && registrationSame;
    if (!r.callsign.empty()) {
        if (r.callsign == a.callsign || r.callsign == a.registration) {
            if (unchanged) return true;
        } else {
            if (!endsInUnderscore(r.callsign)) {
                removeGhost(r.callsign);
            } else if (liveCallsignExists(r.callsign)) {
                return false; // the ghost of a flight that is still there
            }
            a.callsign = r.callsign;
            a.callsignKey = a.callsign;
            a.coupledCallsign.clear();
        }
    } else if (unchanged) {
        return true;
    }
    // Without respawns the object keeps its livery and tail number, and the aircraft flies on as
    // it is: only what the report said is taken over.
    if (!GUID_CHANGES.value()) return true;
    if (liveryStale) {
        liveryChoices.erase(a.flightId);
        a.livery = {};
        setPhase(a, phaseBirth);
    }
    if (LOG.value()) logLine(fmt::format("          {} respawns", routeCallsignText(a)));
    liveryRespawn(a);
    return false;
}

void liveryRespawn(LiveAircraft& a)
{
    try {
        if (a.stream.empty()) {
            logMarked(fmt::format("{}: {}", "liveryRespawn", "no position to respawn at"));
            return;
        }
        Position p = a.stream.front();
        if (a.phase != phaseParked) {
            p.lat = a.lat;
            p.lon = a.lon;
            p.bank = a.bank;
            p.alt = a.alt;
            Position& front = a.stream.front();
            front.stop = (front.lat == a.lat && front.lon == a.lon) ? 1 : 0;
        } else {
            a.stream.resize(1);
            Position& front = a.stream.front();
            front.stop = 1;
            front.track = a.heading * radToDeg;
            p.stop = 1;
        }
        p.time = tickCount.load() + 1;
        a.stream.push_front(p);
        a.state = stateLiveryRespawn;
        a.savedHeading = a.heading;
        if (a.objectid != 0 && a.objectid == resolvedObjectId) {
            resolvedObjectId = 0;
            indicators.setText(indicators.callsignText, "");
            indicators.invalidate(Band::parameters);
            CALLSIGN_2_OBJECTID.setValue(a.callsign);
            showTextParameter(CALLSIGN_2_OBJECTID);
        }
        if (a.objectid != 0) {
            pendingRemovals.push_back(a.objectid);
        } else {
            logMarked(fmt::format("{} removing act {} with objectid=0 ?", "liveryRespawn", flightText(a)));
        }
    } catch (const std::exception& e) {
        logMarked(fmt::format("{}: {}", "liveryRespawn", e.what()));
    }
}

} // namespace qtr
