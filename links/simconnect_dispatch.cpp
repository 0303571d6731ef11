#include "links/simconnect_dispatch.h"

#include "app/main_window.h"
#include "foundation/errors.h"
#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/utilities.h"
#include "foundation/version.h"
#include "links/feed.h"
#include "links/object_events.h"
#include "links/simconnect_client.h"
#include "liveries/type_data_stand_in.h"
#include "platform/simconnect/simconnect.h"
#include "traffic/records.h"
#include "traffic/park_airports_stand_in.h"
#include "traffic/removal.h"
#include "traffic/stands.h"
#include "traffic/traffic_state.h"
#include "traffic/run_control.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace qtr {

std::vector<std::uint32_t> addedObjects;
LatLon lastUserPosition;

namespace {

std::exception_ptr dispatchError;
std::atomic<bool> quitSeen{false};
std::string lastUserStand;
std::string lastUserTitle;
std::uint32_t frameCounter = 0;
std::mutex userModelMutex;
std::string userModel;

constexpr std::size_t maxTitleLength = 48;

void repaintPanel() { mainWindow.invalidate(linksBand); }

// A text field of a message, read only up to its bound.
std::string boundedText(const void* bytes, std::size_t bound)
{
    const char* text = static_cast<const char*>(bytes);
    std::size_t n = 0;
    while (n < bound && text[n] != '\0') ++n;
    return std::string(text, n);
}

// The message as its record type, or null when the message is shorter than the record.
template <class T>
const T* messageAs(const SimConnectRecv& message, DWORD size)
{
    if (size < sizeof(T) || message.size < sizeof(T)) {
        logLine(fmt::format("! SimConnect message {} too short ({} bytes)", message.id, std::min<DWORD>(size, message.size)));
        return nullptr;
    }
    return static_cast<const T*>(&message);
}

double readDouble(const unsigned char* bytes)
{
    double value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

std::int64_t readInt64(const unsigned char* bytes)
{
    std::int64_t value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

// Seconds since 1970-01-01 UTC of a Gregorian year, day of year (1 = 1 January) and second of day.
std::int64_t epochSeconds(std::int64_t year, std::int64_t dayOfYear, std::int64_t secondOfDay)
{
    // Days from 1970-01-01 to 1 January of the year.
    const std::int64_t y = year - 1;
    const auto leapDays = [](std::int64_t n) { return n / 4 - n / 100 + n / 400; };
    const std::int64_t days = 365 * (year - 1970) + (leapDays(y) - leapDays(1969)) + (dayOfYear - 1);
    return days * 86400 + secondOfDay;
}

void lf_onOpen(const SimConnectRecvOpen& open)
{
    const std::string raw = boundedText(open.applicationName, sizeof(open.applicationName));
    if (raw.empty()) {
        logLine("! Simulator name empty?");
        return;
    }
    mainWindow.simConnected = true;
    repaintPanel();
    std::string name;
    for (char c : raw) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isalnum(u) || std::isspace(u)) name += c;
    }
    std::string label;
    if (name == "KittyHawk") {
        if (!MSFS_2020.value()) throw UserErrorException(71, lf_wrongSimVersion());
        label = "MSFS 2020";
    } else if (name == "SunRise") {
        if (MSFS_2020.value()) throw UserErrorException(71, lf_wrongSimVersion());
        label = "MSFS 2024";
    } else {
        throw UserErrorException(77, fmt::format("\"{}\" not being MSFS 2020 or MSFS 2024 connects ... ? ", name));
    }
    const std::string shown =
        MSFS_2020.value() ? fmt::format("{} ({}.{}.{}.{})", label, open.applicationVersionMajor, open.applicationVersionMinor,
                                        open.applicationBuildMajor, open.applicationBuildMinor)
                          : label;
    logLine(fmt::format("{} connected", shown));
    mainWindow.setText(mainWindow.simulatorText, shown);
    repaintPanel();
    clearStatus();
}

void lf_onFlightLoaded(const SimConnectRecvEvent& event)
{
    if (event.eventId == eventSim) {
        const bool running = event.data == 1;
        simRunning.store(running);
        mainWindow.flightLoaded = running;
        repaintPanel();
    } else if (event.eventId == eventFlightLoaded) {
        logLine("Simconnect: flight loaded event");
        lf_reserveUserStand();
        requestStop(ExitCode::NewFlight, 45);
    }
}

void lf_onException(const SimConnectRecvException& e)
{
    switch (e.exception) {
    case scExUnrecognizedId: {
        UserAircraftState state;
        {
            std::lock_guard lock(simConnectMutex);
            state = userState;
        }
        if (isNullPosition(state.lat, state.lon) || stopRequested.load() || windowClosed.load()) return;
        logMarked("SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID");
        return;
    }
    case scExVersionMismatch:
        throw UserErrorException(95, fmt::format("Simconnect Version Mismatch, dwindex: {} ", e.index));
    case scExTooManyObjects:
        setStatus("SimConnect: too many objects (max 1000)", true);
        return;
    case scExInvalidDataSize:
        logLine("SIMCON EXCEP 19");
        return;
    case scExCreateObjectFailed: {
        const auto it = std::find_if(pendingCreations.begin(), pendingCreations.end(),
                                     [&e](const PendingCreation& p) { return p.sendId == e.sendId; });
        if (it == pendingCreations.end()) return;
        const std::uint32_t recordId = it->recordId;
        *it = std::move(pendingCreations.back());
        pendingCreations.pop_back();
        if (recordId != 0) queueSimObjectEvent(SimObjectEvent{0, recordId, 0, creationFailed, 0, 0});
        return;
    }
    case scExLoadFlightPlanFailed:
        logMarked("Simconnect exception: load flight plan failed");
        return;
    case scExOperationInvalidForObjectType:
        logLine("SIMCON EXCEP 24");
        return;
    default:
        logMarked(fmt::format("SIMCON EXCEP {}", e.exception));
    }
}

void lf_onObjectAddRemove(const SimConnectRecvObjectAddRemove& e)
{
    if (e.objectType != scObjectAircraft) return;
    const std::uint32_t objectId = e.data;
    if (e.eventId == eventObjectAdded) {
        if (objectId > userObjectId.load()) addedObjects.push_back(objectId);
    } else if (e.eventId == eventObjectRemoved) {
        queueSimObjectEvent(SimObjectEvent{objectId, 0, 0, objectRemoved, 0, 0});
    }
}

void lf_onUserAircraftTitle(const std::string& received)
{
    // Cut at a character boundary: half a character would leave a text that cannot be drawn.
    const std::string title = gf_utf8Prefix(received, maxTitleLength);
    if (title.empty()) {
        logLine("! title of your ac is empty?");
        return;
    }
    if (title == lastUserTitle) return;
    mainWindow.setText(mainWindow.userAircraftText, title);
    repaintPanel();
    lastUserTitle = title;
    logIndented("SimConnect: User aircraft title: " + title);
}

void setUserModel(const std::string& model)
{
    std::lock_guard lock(userModelMutex);
    userModel = model;
}

double spanOr(double span, double fallback) { return span == 0.0 ? fallback : span; }

void deduceModel(const std::string& text)
{
    if (text.empty()) {
        mainWindow.setText(mainWindow.userAircraftText, "Unknown (encrypted?) aircraft");
        repaintPanel();
        setStatus("171: No model info from your user aircraft received in SimConnect, CRJ7 is taken instead", true);
        userHalfWingSpan.store(spanOr(wingspanOfType("CRJ7"), maxHalfWingSpan));
        userModelKnown.store(true);
        setUserModel("CRJ7");
        return;
    }
    logIndented("model raw: " + text);
    std::string model = text;
    static const std::pair<const char*, const char*> fixed[] = {
        {"A350-900", "A359"}, {"N738B", "B38M"}, {"777", "772"}, {"A330-200 (RR)", "A332"}};
    const auto translated = std::find_if(std::begin(fixed), std::end(fixed), [&text](const auto& f) { return text == f.first; });
    if (translated != std::end(fixed)) {
        model = translated->second;
    } else if (const std::size_t p = text.find(".0.text"); p != std::string::npos) {
        for (std::size_t n : {4u, 3u, 2u}) {
            // Too near the start of the text, substr throws: no aircraft was selected.
            const std::string candidate = text.substr(p - n, n);
            if (wingspanOfType(candidate) != 0.0) {
                model = candidate;
                break;
            }
        }
    } else if (text.size() >= 5 && text.starts_with("$$:")) {
        model = text.substr(3);
    } else if (text == "737") {
        if (lastUserTitle.find("DG 737-800") != std::string::npos) model = "B738";
        else if (lastUserTitle.find("DG 737-700") != std::string::npos) model = "B737";
        else if (lastUserTitle.find("DG 737-600") != std::string::npos) model = "B736";
        else if (lastUserTitle.find("DG 737-900") != std::string::npos) model = "B739";
    }
    std::string line = "SimConnect: User aircraft model: " + model;
    if (model.find("camerapod") != std::string::npos || model.find("Crew Vessel") != std::string::npos) {
        mainWindow.aircraftKnown = true;
        repaintPanel();
        userHalfWingSpan.store(wingspanOfType("E190"));
        userModelKnown.store(true);
        userCategory.store(categoryLight);
        setUserModel(model);
        return;
    }
    double span = model.size() <= 4 ? wingspanOfType(model) : maxHalfWingSpan;
    userModelKnown.store(true);
    bool known = span != maxHalfWingSpan;
    if (!known) {
        static const std::pair<const char*, const char*> titles[] = {
            {"Aerosoft A319", "A319"}, {"Aerosoft A320", "A320"}, {"Aerosoft A321", "A321"}};
        for (const auto& [start, type] : titles) {
            if (lastUserTitle.size() >= 13 && lastUserTitle.compare(0, 13, start) == 0) {
                model = type;
                line = "SimConnect: User aircraft model deduced from title: " + model;
                const double fromTitle = wingspanOfType(model);
                span = spanOr(fromTitle, maxHalfWingSpan);
                known = fromTitle != 0.0;
                break;
            }
        }
    }
    userHalfWingSpan.store(span);
    mainWindow.aircraftKnown = known;
    repaintPanel();
    if (known) {
        line += fmt::format(", half wing span: {:.1F} meter", span * 1852);
    } else {
        setStatus("User aircraft wing span unknown, max is taken instead, please report in my Forum!", true);
    }
    const std::uint32_t category = categoryOfType(model);
    userCategory.store(category);
    line += fmt::format(", category: {}", categoryName(category));
    logIndented(line);
    setUserModel(model);
}

void lf_deduceUserAircraftModel(const std::string& text)
{
    try {
        deduceModel(text);
    } catch (const UserErrorException&) {
        throw;
    } catch (const std::exception&) {
        throw UserErrorException(73, "It looks like you have not selected an aircraft as user vehicle");
    }
}

void onUserState(const SimConnectRecvObjectData& d, const unsigned char* bytes)
{
    UserAircraftState s;
    std::memcpy(&s, bytes, sizeof s);
    if (s.alt < 0) s.alt = 0;
    {
        std::lock_guard lock(simConnectMutex);
        userState = s;
    }
    if (!isNullPosition(lastUserPosition.lat, lastUserPosition.lon) &&
        distanceNm(lastUserPosition, LatLon{s.lat, s.lon}) > 10.0) {
        logLine("Teleport");
        requestStop(ExitCode::NewFlight, 45);
    }
    lastUserPosition = LatLon{s.lat, s.lon};
    const std::string stand = nearestStandName(LatLon{s.lat, s.lon});
    if (!stand.empty() && stand != lastUserStand) {
        mainWindow.setText(mainWindow.userStandText, stand);
        repaintPanel();
    } else if (stand.empty() && !lastUserStand.empty()) {
        mainWindow.setText(mainWindow.userStandText, "");
        repaintPanel();
    }
    lastUserStand = stand;
    if (feedProfessional.load()) simEpochTime.store(epochSeconds(s.zuluYear, s.zuluDayOfYear, s.zuluTime));
    userObjectId.store(d.objectId);
}

void lf_onUserAircraftData(const SimConnectRecvObjectData& d, DWORD size)
{
    const unsigned char* bytes = simConnectDataBytes(&d);
    const std::size_t length = simConnectDataLength(&d, size);
    const auto needs = [&](std::size_t n) {
        if (length >= n) return true;
        logLine(fmt::format("! SimConnect reply {} too short ({} bytes)", d.requestId, length));
        return false;
    };
    switch (d.requestId) {
    case requestStaticCg:
        if (needs(16)) queueSimObjectEvent(SimObjectEvent{d.objectId, 0, 0, staticCg, readDouble(bytes), readDouble(bytes + 8)});
        return;
    case requestUserTitle:
        lf_onUserAircraftTitle(boundedText(bytes, length));
        return;
    case requestUserModel:
        if (needs(scString32Size)) lf_deduceUserAircraftModel(boundedText(bytes, scString32Size));
        return;
    case requestUserOnGround: {
        if (!needs(8)) return;
        double lat, lon;
        {
            std::lock_guard lock(simConnectMutex);
            lat = userState.lat;
            lon = userState.lon;
        }
        if (!isNullPosition(lat, lon)) {
            userOnGround.store(readInt64(bytes) != 0);
            userOnGroundKnown.store(true);
        }
        newUserData.store(true);
        return;
    }
    case requestUserState:
        if (needs(sizeof(UserAircraftState))) onUserState(d, bytes);
        return;
    default:
        return;
    }
}

void lf_onObjectData(const SimConnectRecvObjectData& d, DWORD size)
{
    if (d.requestId != requestAircraftInRange) return;
    const std::uint32_t objectId = d.objectId;
    if (objectId <= userObjectId.load()) return;
    const unsigned char* bytes = simConnectDataBytes(&d);
    if (simConnectDataLength(&d, size) < 24 + scString32Size) {
        logLine(fmt::format("! SimConnect reply {} too short", d.requestId));
        return;
    }
    const double aboveGround = readDouble(bytes);
    const double groundAltitude = readDouble(bytes + 8);
    const std::int64_t onGround = readInt64(bytes + 16);
    const std::string atcId = boundedText(bytes + 24, scString32Size);

    const auto added = std::find(addedObjects.begin(), addedObjects.end(), objectId);
    if (added != addedObjects.end()) {
        *added = addedObjects.back();
        addedObjects.pop_back();
        std::uint32_t recordId = 0;
        if (!atcId.empty()) {
            const auto pending = std::find_if(pendingCreations.begin(), pendingCreations.end(),
                                              [&atcId](const PendingCreation& p) { return p.tailNumber == atcId; });
            if (pending != pendingCreations.end()) {
                recordId = pending->recordId;
                *pending = std::move(pendingCreations.back());
                pendingCreations.pop_back();
            }
        }
        if (recordId == 0) {
            logLine(fmt::format("just spawned, but not by {}, oid: {}, callsign \"{}\", altaboveGnd:{:.0f} ft, onground:{}, "
                                "gnd_alt:{:.0f} ft ",
                                programName, objectId, atcId, aboveGround, onGround, groundAltitude));
            return;
        }
        {
            std::lock_guard lock(simConnectMutex);
            SimConnect_AIReleaseControl(simConnectHandle.load(), objectId, requestRelease);
            clientEventQueue.push_back(ClientEvent{objectId, eventFreezeLatLon, 1});
            clientEventQueue.push_back(ClientEvent{objectId, eventFreezeAltitude, 1});
            clientEventQueue.push_back(ClientEvent{objectId, eventFreezeAttitude, 1});
        }
        const bool live = recordId > 10000;
        queueSimObjectEvent(
            SimObjectEvent{objectId, recordId, 0, live ? liveCreated : staticCreated, 0, live ? aboveGround : 0.0});
        return;
    }
    if (aboveGround <= 2500.0 && !atcId.empty() && atcId.back() != '*')
        queueSimObjectEvent(SimObjectEvent{objectId, static_cast<std::uint32_t>(onGround), 0, groundData, groundAltitude, aboveGround});
}

void dispatchMessage(const SimConnectRecv& m, DWORD size)
{
    switch (m.id) {
    case scRecvException:
        if (const auto* e = messageAs<SimConnectRecvException>(m, size)) lf_onException(*e);
        return;
    case scRecvOpen:
        if (const auto* o = messageAs<SimConnectRecvOpen>(m, size)) lf_onOpen(*o);
        return;
    case scRecvQuit:
        logLine("SimConnect: the simulator quits");
        simRunning.store(false);
        quitSeen.store(true);
        return;
    case scRecvEvent:
        if (const auto* e = messageAs<SimConnectRecvEvent>(m, size)) lf_onFlightLoaded(*e);
        return;
    case scRecvObjectAddRemove:
        if (const auto* e = messageAs<SimConnectRecvObjectAddRemove>(m, size)) lf_onObjectAddRemove(*e);
        return;
    case scRecvFileName:
        logMarked("SimConnect: New file event");
        lf_reserveUserStand();
        requestStop(ExitCode::NewFlight, 45);
        return;
    case scRecvFrame:
        if (const auto* f = messageAs<SimConnectRecvFrame>(m, size)) {
            lf_onFrame();
            if (++frameCounter == 30) {
                frameCounter = 0;
                frameRate.store(f->frameRate);
            }
        }
        return;
    case scRecvObjectData:
        if (const auto* d = messageAs<SimConnectRecvObjectData>(m, size)) lf_onUserAircraftData(*d, size);
        return;
    case scRecvObjectDataByType:
        if (const auto* d = messageAs<SimConnectRecvObjectData>(m, size)) lf_onObjectData(*d, size);
        return;
    case 12:
    case 16:
    case 27:
        return;
    default:
        logLine(fmt::format("! Unknown Dispatch dwID {}", m.id));
    }
}

} // namespace

bool isNullPosition(double lat, double lon) { return lat >= 0 && lat <= 0.0009 && lon >= 0 && lon <= 0.05; }

void lf_dispatch(SimConnectRecv* message, unsigned long size, void*)
{
    if (!message || dispatchError) return;
    try {
        dispatchMessage(*message, static_cast<DWORD>(size));
    } catch (...) {
        dispatchError = std::current_exception();
    }
}

std::exception_ptr takeDispatchError()
{
    std::exception_ptr e = dispatchError;
    dispatchError = nullptr;
    return e;
}

bool simulatorQuit() { return quitSeen.load(); }

std::string lf_wrongSimVersion()
{
    return fmt::format("MSFS 20{} is running ..., switch Sim or toggle the Install path checkbox of {}",
                       MSFS_2020.value() ? "24" : "20", programName);
}

void lf_reserveUserStand()
{
    if (!userOnGroundKnown.load()) return;
    UserAircraftState state;
    double groundVelocity;
    {
        std::lock_guard lock(simConnectMutex);
        state = userState;
        groundVelocity = workerUserState.groundVelocity;
    }
    if (groundVelocity > 2.0) return;
    const std::string stand = nearestStandName(LatLon{state.lat, state.lon});
    if (stand.empty() || parkAirportList.empty()) return;
    ParkAirportEntry& first = parkAirportList.front();
    if (first.icao != parkAirportIcao || first.reservedStand == stand) return;
    first.reservedStand = stand;
    writeMyParkAirports();
}

std::string userModelText()
{
    std::lock_guard lock(userModelMutex);
    return userModel;
}

void resetDispatchState()
{
    dispatchError = nullptr;
    quitSeen.store(false);
    addedObjects.clear();
    lastUserPosition = LatLon{};
    lastUserStand.clear();
    lastUserTitle.clear();
    frameCounter = 0;
    setUserModel("");
}

} // namespace qtr
