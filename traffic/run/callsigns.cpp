#include "traffic/run/callsigns.h"

#include "airports/airports_db.h"
#include "foundation/indicators.h"
#include "foundation/parameters/parameter_display.h"
#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/paths.h"
#include "foundation/text_files.h"
#include "foundation/utilities.h"
#include "traffic/run/data_cycle.h"
#include "traffic/parking/park_airports.h"
#include "traffic/state/stands.h"
#include "traffic/state/traffic_state.h"

#include <fmt/format.h>

#include <algorithm>
#include <deque>
#include <fstream>
#include <mutex>

namespace qtr {

namespace {

// A destination's entry of the park-airport list: made on the window thread, served on the
// worker, which alone changes that list; guarded by requestMutex.
struct ParkAirportEntryRequest {
    std::string icao;
    LatLon position;
};
std::mutex requestMutex;
std::deque<ParkAirportEntryRequest> pendingEntries;

// Status line and log.
void tell(const std::string& text) { setStatus(text, true); }

} // namespace

void serveCallsignRequests()
{
    std::deque<ParkAirportEntryRequest> entries;
    {
        std::lock_guard lock(requestMutex);
        entries.swap(pendingEntries);
    }
    for (const ParkAirportEntryRequest& e : entries) setParkAirportEntry(e.icao, e.position);
}

void dropCallsignRequests()
{
    std::lock_guard lock(requestMutex);
    pendingEntries.clear();
}

void setDestination(const std::string& typed)
{
    clearStatus();
    if (typed.empty()) {
        DESTINATION.setValue("");
        gf_enableControl(rereadButton, true);
        tell("destination set to empty");
        return;
    }
    if (gf_utf8Length(typed) != 4) {
        tell(fmt::format("destination \"{}\" is not valid", typed));
        showTextParameter(DESTINATION);
        return;
    }
    const std::string icao = gf_toUpperAscii(typed);
    if (icao == DESTINATION.value()) {
        tell(fmt::format("destination \"{}\" was already set ...", icao));
        showTextParameter(DESTINATION);
        return;
    }
    // The edit opens once the worker has read the airports; until then no code is known.
    const std::optional<Airport> airport = airportsAvailable() ? findAirport(icao) : std::nullopt;
    if (!airport) {
        tell(fmt::format("destination \"{}\" is unknown ...", icao));
        showTextParameter(DESTINATION);
        return;
    }
    applyNewDestination(icao, LatLon{airport->latitude, airport->longitude});
}

void applyNewDestination(const std::string& icao, LatLon position)
{
    DESTINATION.set(icao);
    showTextParameter(DESTINATION);
    tell(fmt::format("New destination: {}", icao));
    {
        std::lock_guard lock(requestMutex);
        pendingEntries.push_back({icao, position});
    }
    gf_enableControl(rereadButton, false);
}

void blockCallsign(const std::string& typed)
{
    clearStatus();
    if (typed.empty()) {
        if (!BLOCK_CALLSIGN.value().empty()) unblockCallsign();
        return;
    }
    const std::size_t length = gf_utf8Length(typed);
    if (length < 4 || length > 8) {
        tell(fmt::format("callsign \"{}\" is not valid", typed));
        showTextParameter(BLOCK_CALLSIGN);
        return;
    }
    const std::string callsign = gf_toUpperAscii(typed);
    if (callsign == BLOCK_CALLSIGN.value()) {
        tell(fmt::format("callsign \"{}\" was already set ...", callsign));
        showTextParameter(BLOCK_CALLSIGN);
        return;
    }
    BLOCK_CALLSIGN.set(callsign);
    showTextParameter(BLOCK_CALLSIGN);
    gf_enableControl(unblockButton, true);
    tell(fmt::format("live aircraft with callsign \"{}\" will be blocked", callsign));
    blockRequest = true;
}

void unblockCallsign()
{
    const std::string blocked = BLOCK_CALLSIGN.value();
    if (blocked.empty()) return;
    BLOCK_CALLSIGN.set("");
    showTextParameter(BLOCK_CALLSIGN);
    gf_enableControl(unblockButton, false);
    tell(fmt::format("no more blocking of live aircraft \"{}\"", blocked));
    blockRequest = true;
}

void callsignObjectIdLine(std::vector<std::string>& lines, const LiveAircraft& aircraft)
{
    if (aircraft.state != stateActive) return;
    const std::string parked = aircraft.phase == phaseParked ? fmt::format("Parked at {}", sidName(aircraft.sid)) : "";
    lines.push_back(fmt::format("{} {:9} {} {}: {} {}", aircraft.onGround ? "Gnd" : "Air", aircraft.callsign,
                                aircraft.airline, aircraft.type, aircraft.objectid, parked));
}

void writeCallsignObjectIds()
{
    std::vector<std::string> lines;
    for (const LiveAircraft& a : liveAircraft) callsignObjectIdLine(lines, a);
    std::sort(lines.begin(), lines.end());
    std::string text;
    for (const std::string& line : lines) text += line + '\n';
    // A file that cannot be written now is tried again at the next period.
    gf_writeReplacing(text, callsign2ObjectIdPath);
}

void resolveCallsignObjectId()
{
    const std::string wanted = CALLSIGN_2_OBJECTID.value();
    const auto found = std::find_if(liveAircraft.begin(), liveAircraft.end(), [&wanted](const LiveAircraft& a) {
        return a.callsign == wanted && a.state == stateActive;
    });
    if (found != liveAircraft.end()) {
        resolvedObjectId = found->objectid;
        indicators.setText(indicators.callsignText, fmt::format("= {}", found->objectid));
        indicators.invalidate(Band::parameters);
        return;
    }
    indicators.setText(indicators.callsignText, "");
    indicators.invalidate(Band::parameters);
    tell(fmt::format("callsign \"{}\" is unknown", wanted));
}

} // namespace qtr
