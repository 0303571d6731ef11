#include "links/simconnect_dispatch.h"

#include "foundation/clock.h"
#include "foundation/indicators.h"
#include "foundation/errors.h"
#include "foundation/flight_record.h"
#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/utilities.h"
#include "foundation/version.h"
#include "links/feed.h"
#include "links/object_events.h"
#include "links/simconnect_client.h"
#include "links/simconnect_connection.h"
#include "links/traffic_handlers.h"
#include "platform/simconnect/simconnect.h"
#include "foundation/run_control.h"

#include <fmt/format.h>

#include <algorithm>
#include <stdexcept>
#include <type_traits>
#include <cctype>
#include <cstring>

namespace qtr {

std::vector<std::uint32_t> addedObjects;
LatLon lastUserPosition;

namespace {

std::exception_ptr dispatchError;
std::atomic<bool> quitSeen{false};
// Set by the worker after a wait for RealTraffic: the next user position starts afresh.
std::atomic<bool> forgetUserPosition{false};
std::string lastUserStand;
std::string lastUserTitle;
std::uint32_t frameCounter = 0;
std::mutex userModelMutex;
std::string userModel;

constexpr std::size_t maxTitleLength = 48;

void repaintPanel() { indicators.invalidate(Band::links); }

// A text field of a message, read only up to its bound.
std::string boundedText(const void* bytes, std::size_t bound)
{
    const char* text = static_cast<const char*>(bytes);
    std::size_t n = 0;
    while (n < bound && text[n] != '\0') ++n;
    return std::string(text, n);
}

constexpr std::size_t string32Size = 32;
// An object-data reply: its head up to the data block, which begins where dwData stands.
constexpr std::size_t objectDataHeadSize = sizeof(SIMCONNECT_RECV_SIMOBJECT_DATA) - sizeof(DWORD);

// The bytes a message must have to be read as the record T.
template <class T>
constexpr std::size_t recordSize()
{
    if constexpr (std::is_base_of_v<SIMCONNECT_RECV_SIMOBJECT_DATA, T>) return objectDataHeadSize;
    return sizeof(T);
}

// The message as its record type, or null when the message is shorter than the record (the
// size field and the delivered size agree: lf_dispatch checked them).
template <class T>
const T* messageAs(const SIMCONNECT_RECV& message)
{
    if (message.dwSize < recordSize<T>()) {
        logLine(fmt::format("! SimConnect message {} too short ({} bytes)", message.dwID, message.dwSize));
        return nullptr;
    }
    return static_cast<const T*>(&message);
}

// The data block of an object-data reply and its length.
const unsigned char* dataBlock(const SIMCONNECT_RECV_SIMOBJECT_DATA& d)
{
    return reinterpret_cast<const unsigned char*>(&d) + objectDataHeadSize;
}
std::size_t dataLength(const SIMCONNECT_RECV_SIMOBJECT_DATA& d) { return d.dwSize - objectDataHeadSize; }

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

void lf_onOpen(const SIMCONNECT_RECV_OPEN& open)
{
    const std::string raw = boundedText(open.szApplicationName, sizeof(open.szApplicationName));
    if (raw.empty()) {
        logLine("! Simulator name empty?");
        return;
    }
    indicators.simConnected = true;
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
    const std::string shown = MSFS_2020.value()
                                  ? fmt::format("{} ({}.{}.{}.{})", label, open.dwApplicationVersionMajor,
                                                open.dwApplicationVersionMinor, open.dwApplicationBuildMajor,
                                                open.dwApplicationBuildMinor)
                                  : label;
    logLine(fmt::format("{} connected", shown));
    indicators.setText(indicators.simulatorText, shown);
    repaintPanel();
    clearStatus();
}

void lf_onFlightLoaded(const SIMCONNECT_RECV_EVENT& event)
{
    if (event.uEventID == eventSim) {
        const bool running = event.dwData == 1;
        simRunning.store(running);
        workerWake.wake();
        indicators.flightLoaded = running;
        repaintPanel();
    } else if (event.uEventID == eventFlightLoaded) {
        logLine("Simconnect: flight loaded event");
        lf_reserveUserStand();
        requestStop(ExitCode::NewFlight, 45);
    }
}

void lf_onException(const SIMCONNECT_RECV_EXCEPTION& e)
{
    switch (e.dwException) {
    case SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID: {
        UserAircraftState state;
        {
            std::lock_guard lock(simConnectMutex);
            state = userState;
        }
        if (isNullPosition(state.lat, state.lon) || stopRequested.load() || windowClosed.load()) return;
        logMarked("SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID");
        return;
    }
    case SIMCONNECT_EXCEPTION_VERSION_MISMATCH:
        throw UserErrorException(95, fmt::format("Simconnect Version Mismatch, dwindex: {} ", e.dwIndex));
    case SIMCONNECT_EXCEPTION_TOO_MANY_OBJECTS:
        setStatus("SimConnect: too many objects (max 1000)", true);
        return;
    case SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE:
        logLine("SIMCON EXCEP 19");
        return;
    case SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED: {
        const auto it = std::find_if(pendingCreations.begin(), pendingCreations.end(),
                                     [&e](const PendingCreation& p) { return p.sendId == e.dwSendID; });
        if (it == pendingCreations.end()) return;
        const std::uint32_t recordId = it->recordId;
        *it = std::move(pendingCreations.back());
        pendingCreations.pop_back();
        if (recordId != 0) queueSimObjectEvent(SimObjectEvent{0, recordId, 0, creationFailed, 0, 0});
        return;
    }
    case SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED:
        logMarked("Simconnect exception: load flight plan failed");
        return;
    case SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE:
        logLine("SIMCON EXCEP 24");
        return;
    default:
        logMarked(fmt::format("SIMCON EXCEP {}", e.dwException));
    }
}

void lf_onObjectAddRemove(const SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE& e)
{
    // Rotorcraft liveries are announced as helicopters, every other one as an aircraft.
    if (e.eObjType != SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT && e.eObjType != SIMCONNECT_SIMOBJECT_TYPE_HELICOPTER) return;
    const std::uint32_t objectId = e.dwData;
    if (e.uEventID == eventObjectAdded) {
        if (objectId > userObjectId.load()) addedObjects.push_back(objectId);
    } else if (e.uEventID == eventObjectRemoved) {
        // An object that goes before any in-range reply saw it is forgotten here, or the list
        // would grow with the simulator's own traffic for as long as the program runs.
        std::erase(addedObjects, objectId);
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
    indicators.setText(indicators.userAircraftText, title);
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
    // The type data base is the liveries' own: the traffic manager lends its queries.
    const TrafficHandlers& types = trafficHandlers();
    const double maxHalfWingSpan = types.maxHalfWingSpan();
    if (text.empty()) {
        indicators.setText(indicators.userAircraftText, "Unknown (encrypted?) aircraft");
        repaintPanel();
        setStatus("171: No model info from your user aircraft received in SimConnect, CRJ7 is taken instead", true);
        userHalfWingSpan.store(spanOr(types.wingspanOfType("CRJ7"), maxHalfWingSpan));
        userModelKnown.store(true);
        setUserModel("CRJ7");
        return;
    }
    logIndented("model raw: " + text);
    std::string model = text;
    static const std::pair<const char*, const char*> fixed[] = {
        {"A350-900", "A359"}, {"N738B", "B38M"}, {"777", "772"}, {"A330-200 (RR)", "A332"}};
    const auto translated =
        std::find_if(std::begin(fixed), std::end(fixed), [&text](const auto& f) { return text == f.first; });
    if (translated != std::end(fixed)) {
        model = translated->second;
    } else if (const std::size_t p = text.find(".0.text"); p != std::string::npos) {
        for (std::size_t n : {4u, 3u, 2u}) {
            // Too near the start of the text, substr throws: no aircraft was selected.
            const std::string candidate = text.substr(p - n, n);
            if (types.wingspanOfType(candidate) != 0.0) {
                model = candidate;
                break;
            }
        }
    } else if (text.size() >= 5 && text.starts_with("$$:")) {
        model = text.substr(3);
    } else if (text == "737") {
        if (lastUserTitle.find("DG 737-800") != std::string::npos)
            model = "B738";
        else if (lastUserTitle.find("DG 737-700") != std::string::npos)
            model = "B737";
        else if (lastUserTitle.find("DG 737-600") != std::string::npos)
            model = "B736";
        else if (lastUserTitle.find("DG 737-900") != std::string::npos)
            model = "B739";
    }
    std::string line = "SimConnect: User aircraft model: " + model;
    if (model.find("camerapod") != std::string::npos || model.find("Crew Vessel") != std::string::npos) {
        indicators.aircraftKnown = true;
        repaintPanel();
        userHalfWingSpan.store(types.wingspanOfType("E190"));
        userModelKnown.store(true);
        userCategory.store(categoryLight);
        setUserModel(model);
        return;
    }
    double span = model.size() <= 4 ? types.wingspanOfType(model) : maxHalfWingSpan;
    userModelKnown.store(true);
    bool known = span != maxHalfWingSpan;
    if (!known) {
        static const std::pair<const char*, const char*> titles[] = {
            {"Aerosoft A319", "A319"}, {"Aerosoft A320", "A320"}, {"Aerosoft A321", "A321"}};
        for (const auto& [start, type] : titles) {
            if (lastUserTitle.size() >= 13 && lastUserTitle.compare(0, 13, start) == 0) {
                model = type;
                line = "SimConnect: User aircraft model deduced from title: " + model;
                const double fromTitle = types.wingspanOfType(model);
                span = spanOr(fromTitle, maxHalfWingSpan);
                known = fromTitle != 0.0;
                break;
            }
        }
    }
    userHalfWingSpan.store(span);
    indicators.aircraftKnown = known;
    repaintPanel();
    if (known) {
        line += fmt::format(", half wing span: {:.1F} meter", span * 1852);
    } else {
        setStatus("User aircraft wing span unknown, max is taken instead, please report in my Forum!", true);
    }
    const std::uint32_t category = types.categoryOfType(model);
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

void onUserState(const SIMCONNECT_RECV_SIMOBJECT_DATA& d, const unsigned char* bytes)
{
    UserAircraftState s;
    std::memcpy(&s, bytes, sizeof s);
    if (s.alt < 0) s.alt = 0;
    {
        std::lock_guard lock(simConnectMutex);
        userState = s;
    }
    if (forgetUserPosition.exchange(false)) lastUserPosition = LatLon{};
    if (!isNullPosition(lastUserPosition.lat, lastUserPosition.lon) &&
        distanceNm(lastUserPosition, LatLon{s.lat, s.lon}) > 10.0) {
        logLine("Teleport");
        requestStop(ExitCode::NewFlight, 45);
    }
    lastUserPosition = LatLon{s.lat, s.lon};
    const std::string stand = trafficHandlers().nearestStand(LatLon{s.lat, s.lon});
    if (!stand.empty() && stand != lastUserStand) {
        indicators.setText(indicators.userStandText, stand);
        repaintPanel();
    } else if (stand.empty() && !lastUserStand.empty()) {
        indicators.setText(indicators.userStandText, "");
        repaintPanel();
    }
    lastUserStand = stand;
    if (feedProfessional.load()) simEpochTime.store(epochSeconds(s.zuluYear, s.zuluDayOfYear, s.zuluTime));
    userObjectId.store(d.dwObjectID);
}

void lf_onUserAircraftData(const SIMCONNECT_RECV_SIMOBJECT_DATA& d)
{
    const unsigned char* bytes = dataBlock(d);
    const std::size_t length = dataLength(d);
    const auto needs = [&](std::size_t n) {
        if (length >= n) return true;
        logLine(fmt::format("! SimConnect reply {} too short ({} bytes)", d.dwRequestID, length));
        return false;
    };
    switch (d.dwRequestID) {
    case requestStaticCg:
        if (needs(16))
            queueSimObjectEvent(SimObjectEvent{d.dwObjectID, 0, 0, staticCg, readDouble(bytes), readDouble(bytes + 8)});
        return;
    case requestUserTitle:
        lf_onUserAircraftTitle(boundedText(bytes, length));
        return;
    case requestUserModel:
        if (needs(string32Size)) lf_deduceUserAircraftModel(boundedText(bytes, string32Size));
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
        workerWake.wake();
        return;
    }
    case requestUserState:
        if (needs(sizeof(UserAircraftState))) onUserState(d, bytes);
        return;
    default:
        return;
    }
}

void lf_onObjectData(const SIMCONNECT_RECV_SIMOBJECT_DATA& d)
{
    if (d.dwRequestID != requestAircraftInRange && d.dwRequestID != requestHelicoptersInRange) return;
    const std::uint32_t objectId = d.dwObjectID;
    if (objectId <= userObjectId.load()) return;
    const unsigned char* bytes = dataBlock(d);
    if (dataLength(d) < 24 + string32Size) {
        logLine(fmt::format("! SimConnect reply {} too short", d.dwRequestID));
        return;
    }
    const double aboveGround = readDouble(bytes);
    const double groundAltitude = readDouble(bytes + 8);
    const std::int64_t onGround = readInt64(bytes + 16);
    const std::string atcId = boundedText(bytes + 24, string32Size);

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
            logLine(fmt::format(
                "just spawned, but not by {}, oid: {}, callsign \"{}\", altaboveGnd:{:.0f} ft, onground:{}, "
                "gnd_alt:{:.0f} ft ",
                programName, objectId, atcId, aboveGround, onGround, groundAltitude));
            return;
        }
        {
            std::lock_guard lock(simConnectMutex);
            if (const auto c = openConnection()) c->sc.AIReleaseControl(c->handle, objectId, requestRelease);
            clientEventQueue.push_back(ClientEvent{objectId, eventFreezeLatLon, 1});
            clientEventQueue.push_back(ClientEvent{objectId, eventFreezeAltitude, 1});
            clientEventQueue.push_back(ClientEvent{objectId, eventFreezeAttitude, 1});
        }
        const bool live = isLiveFlightId(recordId);
        queueSimObjectEvent(
            SimObjectEvent{objectId, recordId, 0, live ? liveCreated : staticCreated, 0, live ? aboveGround : 0.0});
        return;
    }
    if (aboveGround <= 2500.0 && !atcId.empty() && atcId.back() != '*')
        queueSimObjectEvent(
            SimObjectEvent{objectId, static_cast<std::uint32_t>(onGround), 0, groundData, groundAltitude, aboveGround});
}

// A message whose size field disagrees with the bytes handed over. The library hands each
// message over on its own, so the next one is whole again: this one is logged and skipped, and
// the simulator, which still runs, stays connected.
bool wellFramed(const SIMCONNECT_RECV& m, DWORD size)
{
    if (size < sizeof(SIMCONNECT_RECV)) {
        logMarked(fmt::format("SimConnect message of {} bytes has no head, skipped", size));
        return false;
    }
    if (m.dwSize < sizeof(SIMCONNECT_RECV) || m.dwSize > size) {
        logMarked(
            fmt::format("SimConnect message {} claims {} bytes, {} were delivered, skipped", m.dwID, m.dwSize, size));
        return false;
    }
    return true;
}

void dispatchMessage(const SIMCONNECT_RECV& m, DWORD size)
{
    if (!wellFramed(m, size)) return;
    switch (m.dwID) {
    case SIMCONNECT_RECV_ID_EXCEPTION:
        if (const auto* e = messageAs<SIMCONNECT_RECV_EXCEPTION>(m)) lf_onException(*e);
        return;
    case SIMCONNECT_RECV_ID_OPEN:
        if (const auto* o = messageAs<SIMCONNECT_RECV_OPEN>(m)) lf_onOpen(*o);
        return;
    case SIMCONNECT_RECV_ID_QUIT:
        logLine("SimConnect: the simulator quits");
        simRunning.store(false);
        quitSeen.store(true);
        return;
    case SIMCONNECT_RECV_ID_EVENT:
        if (const auto* e = messageAs<SIMCONNECT_RECV_EVENT>(m)) lf_onFlightLoaded(*e);
        return;
    case SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE:
        if (const auto* e = messageAs<SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE>(m)) lf_onObjectAddRemove(*e);
        return;
    case SIMCONNECT_RECV_ID_EVENT_FILENAME:
        logMarked("SimConnect: New file event");
        lf_reserveUserStand();
        requestStop(ExitCode::NewFlight, 45);
        return;
    case SIMCONNECT_RECV_ID_EVENT_FRAME:
        if (const auto* f = messageAs<SIMCONNECT_RECV_EVENT_FRAME>(m)) {
            lf_onFrame();
            if (++frameCounter == 30) {
                frameCounter = 0;
                frameRate.store(f->fFrameRate);
            }
        }
        return;
    case SIMCONNECT_RECV_ID_SIMOBJECT_DATA:
        if (const auto* d = messageAs<SIMCONNECT_RECV_SIMOBJECT_DATA>(m)) lf_onUserAircraftData(*d);
        return;
    case SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE:
        if (const auto* d = messageAs<SIMCONNECT_RECV_SIMOBJECT_DATA_BYTYPE>(m)) lf_onObjectData(*d);
        return;
    case SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID:
    case SIMCONNECT_RECV_ID_CLIENT_DATA:
    case SIMCONNECT_RECV_ID_EVENT_EX1:
        return;
    default:
        logLine(fmt::format("! Unknown Dispatch dwID {}", m.dwID));
    }
}

} // namespace

bool isNullPosition(double lat, double lon) { return lat >= 0 && lat <= 0.0009 && lon >= 0 && lon <= 0.05; }

void CALLBACK lf_dispatch(SIMCONNECT_RECV* message, DWORD size, void*)
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

void gf_forgetLastUserPosition() { forgetUserPosition.store(true); }

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
    // The park-airport list is the worker's: it takes the stand over (serveUserStandRequest).
    const TrafficHandlers& traffic = trafficHandlers();
    traffic.userStand(traffic.nearestStand(LatLon{state.lat, state.lon}));
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
    forgetUserPosition.store(false);
    addedObjects.clear();
    lastUserPosition = LatLon{};
    lastUserStand.clear();
    lastUserTitle.clear();
    frameCounter = 0;
    setUserModel("");
}

} // namespace qtr
