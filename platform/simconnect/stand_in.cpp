// The stand-in simulator: one simulation with a user aircraft and the AI objects that a client
// creates, answering the SimConnect calls of simconnect.h. It keeps one client connection at a
// time. Messages wait in a queue until the client calls SimConnect_CallDispatch, which hands
// them to the callback one by one without holding the stand-in's lock.
#include "platform/simconnect/simconnect.h"
#include "platform/simconnect/stand_in.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <numbers>
#include <variant>

namespace standin {

using ojson = nlohmann::ordered_json;
using SteadyTime = std::chrono::steady_clock::time_point;

namespace {

constexpr double degToRad = std::numbers::pi / 180.0;

std::string upper(std::string text)
{
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string boundedText(const char* text, std::size_t bound)
{
    if (!text) return {};
    std::size_t n = 0;
    while (n < bound && text[n] != '\0') ++n;
    return std::string(text, n);
}

// Great-circle distance in metres.
double distanceMetres(double lat1, double lon1, double lat2, double lon2)
{
    const double p1 = lat1 * degToRad, p2 = lat2 * degToRad;
    const double dp = (lat2 - lat1) * degToRad, dl = (lon2 - lon1) * degToRad;
    const double a = std::sin(dp / 2) * std::sin(dp / 2) + std::cos(p1) * std::cos(p2) * std::sin(dl / 2) * std::sin(dl / 2);
    return 2.0 * 6371008.8 * std::atan2(std::sqrt(a), std::sqrt(1.0 - a));
}

// --- simulation variables ---------------------------------------------------------------------

enum class Kind { LatLon, Angle, Length, Speed, VerticalSpeed, Percent, Bool, Number, Mask, Seconds, Text };

std::optional<Kind> variableKind(const std::string& name)
{
    static const std::map<std::string, Kind> kinds = {
        {"PLANE LATITUDE", Kind::LatLon},
        {"PLANE LONGITUDE", Kind::LatLon},
        {"PLANE PITCH DEGREES", Kind::Angle},
        {"PLANE BANK DEGREES", Kind::Angle},
        {"PLANE HEADING DEGREES TRUE", Kind::Angle},
        {"STATIC PITCH", Kind::Angle},
        {"PLANE ALTITUDE", Kind::Length},
        {"PLANE ALT ABOVE GROUND", Kind::Length},
        {"GROUND ALTITUDE", Kind::Length},
        {"STATIC CG TO GROUND", Kind::Length},
        {"GROUND VELOCITY", Kind::Speed},
        {"AIRSPEED TRUE", Kind::Speed},
        {"VERTICAL SPEED", Kind::VerticalSpeed},
        {"SPOILERS HANDLE POSITION", Kind::Percent},
        {"GENERAL ENG THROTTLE LEVER POSITION:1", Kind::Percent},
        {"GENERAL ENG THROTTLE LEVER POSITION:2", Kind::Percent},
        {"SIM ON GROUND", Kind::Bool},
        {"ZULU DAY OF YEAR", Kind::Number},
        {"ZULU YEAR", Kind::Number},
        {"ZULU TIME", Kind::Seconds},
        {"LIGHT STATES", Kind::Mask},
        {"LIGHT ON STATES", Kind::Mask},
        {"TITLE", Kind::Text},
        {"ATC ID", Kind::Text},
        {"ATC MODEL", Kind::Text},
    };
    const auto it = kinds.find(upper(name));
    if (it == kinds.end()) return std::nullopt;
    return it->second;
}

// Factor from the stand-in's own unit of a kind to the named unit; none when the unit does not
// fit the kind.
std::optional<double> unitFactor(Kind kind, const std::string& unitName)
{
    const std::string unit = upper(unitName);
    switch (kind) {
    case Kind::LatLon:
        if (unit == "DEGREE" || unit == "DEGREES") return 1.0;
        if (unit == "RADIAN" || unit == "RADIANS") return degToRad;
        break;
    case Kind::Angle:
        if (unit == "RADIAN" || unit == "RADIANS") return 1.0;
        if (unit == "DEGREE" || unit == "DEGREES") return 1.0 / degToRad;
        break;
    case Kind::Length:
        if (unit == "FEET" || unit == "FOOT") return 1.0;
        if (unit == "METER" || unit == "METERS") return 0.3048;
        break;
    case Kind::Speed:
        if (unit == "KNOT" || unit == "KNOTS") return 1.0;
        if (unit == "METERS PER SECOND") return 0.514444;
        break;
    case Kind::VerticalSpeed:
        if (unit == "FEET PER SECOND") return 1.0;
        if (unit == "FEET PER MINUTE") return 60.0;
        break;
    case Kind::Percent:
        if (unit == "PERCENT") return 1.0;
        if (unit == "PERCENT OVER 100") return 0.01;
        break;
    case Kind::Bool:
        if (unit == "BOOL") return 1.0;
        break;
    case Kind::Number:
        if (unit == "NUMBER") return 1.0;
        break;
    case Kind::Mask:
        if (unit == "MASK") return 1.0;
        break;
    case Kind::Seconds:
        if (unit == "SECOND" || unit == "SECONDS") return 1.0;
        break;
    case Kind::Text:
        if (unit.empty()) return 1.0;
        break;
    }
    return std::nullopt;
}

struct DefinitionEntry {
    std::string name; // upper case
    Kind kind;
    double factor;
    DWORD type;
};

std::size_t entrySize(DWORD type)
{
    switch (type) {
    case scDataFloat64:
    case scDataInt64: return 8;
    case scDataString32: return scString32Size;
    default: return 0; // variable
    }
}

// --- the simulation ---------------------------------------------------------------------------

struct Message {
    std::unique_ptr<std::uint64_t[]> storage; // 8-byte aligned
    DWORD size = 0;
    SimConnectRecv* recv() { return reinterpret_cast<SimConnectRecv*>(storage.get()); }
};

Message makeMessage(const void* record, std::size_t recordSize, DWORD id, const void* extra = nullptr,
                    std::size_t extraSize = 0)
{
    Message m;
    const std::size_t size = recordSize + extraSize;
    m.storage = std::make_unique<std::uint64_t[]>((size + 7) / 8);
    std::memcpy(m.storage.get(), record, recordSize);
    if (extraSize) std::memcpy(reinterpret_cast<unsigned char*>(m.storage.get()) + recordSize, extra, extraSize);
    m.size = static_cast<DWORD>(size);
    m.recv()->size = m.size;
    m.recv()->version = 1;
    m.recv()->id = id;
    return m;
}

template <class T>
Message makeMessage(const T& record, DWORD id)
{
    return makeMessage(&record, sizeof(T), id);
}

struct SecondRequest {
    DWORD requestId, defineId, objectId;
};

struct Connection {
    DWORD serial = 0;
    std::string clientName;
    std::map<std::string, DWORD> systemEvents; // upper-case name -> client's event id
    std::map<DWORD, std::vector<DefinitionEntry>> definitions;
    std::map<DWORD, std::string> clientEvents; // client event id -> simulator event (upper case)
    std::map<DWORD, std::vector<DWORD>> groups;
    std::map<DWORD, DWORD> groupPriorities;
    std::vector<SecondRequest> secondRequests;
    DWORD packetId = 0;
    bool quitting = false;
};

struct State {
    std::mutex mutex;
    std::condition_variable idle;
    bool initialised = false;
    bool manual = false;
    bool recording = false;
    Scenario scenario;
    bool present = false;
    bool scenarioLoaded = false;
    bool closedDown = false; // the simulator quit (program runs: it does not come back)
    std::optional<SteadyTime> presentAt;
    bool flightRunning = true;
    std::optional<Connection> connection;
    DWORD nextSerial = 1;
    std::deque<Message> messages;
    int dispatching = 0;
    std::map<DWORD, SimObject> objects;
    DWORD nextObjectId = 1000;
    std::map<std::string, int> failures;
    int refusals = 0;
    std::vector<ojson> journal;
    std::vector<ojson> calls;
    std::vector<SteadyTime> callStamps;
    std::function<SteadyTime()> callClock = [] { return std::chrono::steady_clock::now(); };
    std::wstring journalPath;
    std::ofstream journalFile;
    std::optional<SteadyTime> lastFrame, lastSecond;
};

State& state()
{
    static State s;
    return s;
}

void note(State& s, ojson entry)
{
    if (s.recording) s.journal.push_back(entry);
    if (s.journalPath.empty()) return;
    if (!s.journalFile.is_open()) s.journalFile.open(std::filesystem::path(s.journalPath), std::ios::binary | std::ios::app);
    if (s.journalFile) {
        s.journalFile << entry.dump() << '\n';
        s.journalFile.flush();
    }
}

void resetSimulation(State& s, const Scenario& scenario)
{
    s.scenario = scenario;
    s.flightRunning = scenario.flightRunning;
    s.connection.reset();
    s.messages.clear();
    s.objects.clear();
    s.failures.clear();
    s.refusals = 0;
    s.journal.clear();
    s.calls.clear();
    s.callStamps.clear();
    s.lastFrame.reset();
    s.lastSecond.reset();
    s.nextObjectId = scenario.firstObjectId;
    const UserAircraft& u = scenario.user;
    SimObject user;
    user.id = scenario.userObjectId;
    user.user = true;
    user.title = u.title;
    user.atcModel = u.atcModel;
    user.atcId = "USER";
    user.latitude = u.latitude;
    user.longitude = u.longitude;
    user.altitude = u.altitude;
    user.groundAltitude = u.groundAltitude;
    user.pitch = u.pitch * degToRad;
    user.bank = u.bank * degToRad;
    user.heading = u.heading * degToRad;
    user.groundVelocity = u.groundVelocity;
    user.onGround = u.onGround;
    user.lightStates = u.lightStates;
    s.objects[user.id] = user;
}

std::wstring environment(const wchar_t* name)
{
    const wchar_t* value = _wgetenv(name);
    return value ? std::wstring(value) : std::wstring();
}

// Program runs: the scenario and the journal come from the environment, on first use.
void ensureInitialised(State& s)
{
    if (s.initialised) return;
    s.initialised = true;
    s.manual = false;
    s.recording = false;
    s.journalPath = environment(L"QUILLMARSH_SIM_JOURNAL");
    const std::wstring scenarioPath = environment(L"QUILLMARSH_SIM_SCENARIO");
    if (scenarioPath.empty()) {
        s.present = false; // no simulator on this machine
        return;
    }
    try {
        std::ifstream in(std::filesystem::path(scenarioPath), std::ios::binary);
        if (!in) throw std::runtime_error("cannot open the scenario file");
        const nlohmann::json json = nlohmann::json::parse(in);
        resetSimulation(s, scenarioFromJson(json));
        s.scenarioLoaded = true;
        s.present = s.scenario.presentAfterSeconds <= 0;
    } catch (const std::exception& e) {
        s.present = false;
        note(s, ojson{{"kind", "scenario-error"}, {"text", e.what()}});
        std::cerr << "stand-in simulator: scenario not usable: " << e.what() << '\n';
    }
}

HANDLE handleOf(const Connection& c)
{
    return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(0x5C000000u + c.serial));
}

Connection* connectionFor(State& s, HANDLE handle)
{
    if (!s.connection || handleOf(*s.connection) != handle) return nullptr;
    return &*s.connection;
}

// Records a call; false when a fault was injected for this function.
bool recordCall(State& s, const char* function, ojson args)
{
    if (s.recording) {
        ojson call{{"fn", function}};
        for (auto& [key, value] : args.items()) call[key] = value;
        s.calls.push_back(std::move(call));
        s.callStamps.push_back(s.callClock());
    }
    const auto it = s.failures.find(function);
    if (it == s.failures.end() || it->second == 0) return true;
    if (it->second > 0) --it->second;
    return false;
}

// The common start of a call on an open connection: the connection, with a new packet id, or
// null when the call fails.
Connection* beginCall(State& s, HANDLE handle, const char* function, ojson args)
{
    ensureInitialised(s);
    if (!recordCall(s, function, std::move(args))) return nullptr;
    Connection* c = connectionFor(s, handle);
    if (!c || c->quitting) return nullptr;
    ++c->packetId;
    return c;
}

void queue(State& s, Message m) { s.messages.push_back(std::move(m)); }

void queueException(State& s, DWORD code, DWORD sendId, DWORD index)
{
    SimConnectRecvException e{};
    e.exception = code;
    e.sendId = sendId;
    e.index = index;
    queue(s, makeMessage(e, scRecvException));
    note(s, ojson{{"kind", "exception"}, {"code", code}, {"sendId", sendId}, {"index", index}});
}

std::optional<DWORD> subscribed(const Connection& c, const char* name)
{
    const auto it = c.systemEvents.find(upper(name));
    if (it == c.systemEvents.end()) return std::nullopt;
    return it->second;
}

void queueSystemEvent(State& s, const char* name, DWORD data)
{
    if (!s.connection) return;
    const auto id = subscribed(*s.connection, name);
    if (!id) return;
    SimConnectRecvEvent e{};
    e.groupId = 0xFFFFFFFF;
    e.eventId = *id;
    e.data = data;
    queue(s, makeMessage(e, scRecvEvent));
}

void queueAddRemove(State& s, const char* name, DWORD objectId, DWORD objectType)
{
    if (!s.connection) return;
    const auto id = subscribed(*s.connection, name);
    if (!id) return;
    SimConnectRecvObjectAddRemove e{};
    e.groupId = 0xFFFFFFFF;
    e.eventId = *id;
    e.data = objectId;
    e.objectType = objectType;
    queue(s, makeMessage(e, scRecvObjectAddRemove));
}

double aboveGround(const SimObject& o)
{
    const double height = o.altitude - o.groundAltitude - (o.user ? 0.0 : o.staticCg);
    return height > 0 ? height : 0.0;
}

using Value = std::variant<double, std::string>;

Value readVariable(const State& s, const SimObject& o, const std::string& name)
{
    const UserAircraft& u = s.scenario.user;
    if (name == "PLANE LATITUDE") return o.latitude;
    if (name == "PLANE LONGITUDE") return o.longitude;
    if (name == "PLANE PITCH DEGREES") return o.pitch;
    if (name == "PLANE BANK DEGREES") return o.bank;
    if (name == "PLANE HEADING DEGREES TRUE") return o.heading;
    if (name == "STATIC PITCH") return o.staticPitch;
    if (name == "PLANE ALTITUDE") return o.altitude;
    if (name == "PLANE ALT ABOVE GROUND") return aboveGround(o);
    if (name == "GROUND ALTITUDE") return o.groundAltitude;
    if (name == "STATIC CG TO GROUND") return o.staticCg;
    if (name == "GROUND VELOCITY") return o.groundVelocity;
    if (name == "AIRSPEED TRUE") return o.trueAirspeed;
    if (name == "VERTICAL SPEED") return o.verticalSpeed;
    if (name == "SPOILERS HANDLE POSITION") return o.spoilers;
    if (name == "GENERAL ENG THROTTLE LEVER POSITION:1") return o.throttle1;
    if (name == "GENERAL ENG THROTTLE LEVER POSITION:2") return o.throttle2;
    if (name == "SIM ON GROUND") return o.onGround ? 1.0 : 0.0;
    if (name == "ZULU DAY OF YEAR") return static_cast<double>(u.zuluDayOfYear);
    if (name == "ZULU YEAR") return static_cast<double>(u.zuluYear);
    if (name == "ZULU TIME") return static_cast<double>(u.zuluTime);
    if (name == "LIGHT STATES" || name == "LIGHT ON STATES") return static_cast<double>(o.lightStates);
    if (name == "TITLE") return o.title;
    if (name == "ATC ID") return o.atcId;
    if (name == "ATC MODEL") return o.atcModel;
    return 0.0;
}

bool writeVariable(SimObject& o, const std::string& name, double value)
{
    if (name == "PLANE LATITUDE") o.latitude = value;
    else if (name == "PLANE LONGITUDE") o.longitude = value;
    else if (name == "PLANE PITCH DEGREES") o.pitch = value;
    else if (name == "PLANE BANK DEGREES") o.bank = value;
    else if (name == "PLANE HEADING DEGREES TRUE") o.heading = value;
    else if (name == "PLANE ALTITUDE") o.altitude = value;
    else if (name == "VERTICAL SPEED") o.verticalSpeed = value;
    else if (name == "AIRSPEED TRUE") o.trueAirspeed = value;
    else if (name == "SPOILERS HANDLE POSITION") o.spoilers = value;
    else if (name == "GENERAL ENG THROTTLE LEVER POSITION:1") o.throttle1 = value;
    else if (name == "GENERAL ENG THROTTLE LEVER POSITION:2") o.throttle2 = value;
    else return false;
    return true;
}

// The data block of an object for a definition: each variable in definition order, in the
// definition's unit and type.
std::vector<unsigned char> encode(const State& s, const SimObject& o, const std::vector<DefinitionEntry>& definition)
{
    std::vector<unsigned char> block;
    for (const DefinitionEntry& e : definition) {
        const Value value = readVariable(s, o, e.name);
        if (e.type == scDataFloat64 || e.type == scDataInt64) {
            const double number = std::holds_alternative<double>(value) ? std::get<double>(value) * e.factor : 0.0;
            unsigned char bytes[8];
            if (e.type == scDataFloat64) {
                std::memcpy(bytes, &number, 8);
            } else {
                const std::int64_t integer = static_cast<std::int64_t>(std::llround(number));
                std::memcpy(bytes, &integer, 8);
            }
            block.insert(block.end(), bytes, bytes + 8);
        } else {
            const std::string text = std::holds_alternative<std::string>(value) ? std::get<std::string>(value) : "";
            if (e.type == scDataString32) {
                unsigned char bytes[scString32Size] = {};
                std::memcpy(bytes, text.data(), std::min(text.size(), scString32Size));
                block.insert(block.end(), bytes, bytes + scString32Size);
            } else {
                block.insert(block.end(), text.begin(), text.end());
                block.push_back(0);
                while (block.size() % 8) block.push_back(0);
            }
        }
    }
    return block;
}

void queueObjectData(State& s, DWORD recvId, DWORD requestId, DWORD defineId, const SimObject& o,
                     const std::vector<DefinitionEntry>& definition, DWORD entry, DWORD outOf)
{
    SimConnectRecvObjectData d{};
    d.requestId = requestId;
    d.objectId = o.id;
    d.defineId = defineId;
    d.entryNumber = entry;
    d.outOf = outOf;
    d.defineCount = static_cast<DWORD>(definition.size());
    const std::vector<unsigned char> block = encode(s, o, definition);
    queue(s, makeMessage(&d, sizeof(d), recvId, block.data(), block.size()));
}

SimObject* findObject(State& s, DWORD objectId)
{
    if (objectId == scUserObject) objectId = s.scenario.userObjectId;
    const auto it = s.objects.find(objectId);
    return it == s.objects.end() ? nullptr : &it->second;
}

void queueFrame(State& s)
{
    if (!s.connection) return;
    const auto id = subscribed(*s.connection, "Frame");
    if (!id) return;
    SimConnectRecvFrame f{};
    f.groupId = 0xFFFFFFFF;
    f.eventId = *id;
    f.frameRate = s.scenario.frameRate;
    f.simSpeed = 1.0f;
    queue(s, makeMessage(f, scRecvFrame));
}

void answerSecondRequests(State& s)
{
    if (!s.connection) return;
    for (const SecondRequest& r : s.connection->secondRequests) {
        const auto def = s.connection->definitions.find(r.defineId);
        const SimObject* o = findObject(s, r.objectId);
        if (def == s.connection->definitions.end() || !o) continue;
        queueObjectData(s, scRecvObjectData, r.requestId, r.defineId, *o, def->second, 0, 0);
    }
}

// Program runs: frames and once-a-second replies by the real clock.
void generateTimed(State& s)
{
    const SteadyTime now = std::chrono::steady_clock::now();
    const double fps = s.scenario.framesPerSecond > 0 ? s.scenario.framesPerSecond : 30.0;
    const auto framePeriod = std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(1.0 / fps));
    if (!s.lastFrame) s.lastFrame = now;
    if (!s.lastSecond) s.lastSecond = now;
    if (now - *s.lastFrame > 10 * framePeriod) s.lastFrame = now - framePeriod; // fell behind: catch up once
    while (now - *s.lastFrame >= framePeriod) {
        *s.lastFrame += framePeriod;
        queueFrame(s);
    }
    if (now - *s.lastSecond >= std::chrono::seconds(1)) {
        s.lastSecond = now;
        answerSecondRequests(s);
    }
}

void updateGroundState(SimObject& o)
{
    if (o.user) return;
    o.onGround = o.altitude - o.groundAltitude - o.staticCg <= 1.0;
}

void removeObject(State& s, DWORD id, const char* reason)
{
    const auto it = s.objects.find(id);
    if (it == s.objects.end()) return;
    const DWORD type = it->second.objectType;
    s.objects.erase(it);
    note(s, ojson{{"kind", "removed"}, {"object", id}, {"reason", reason}});
    queueAddRemove(s, "ObjectRemoved", id, type);
}

const char* lightEventBit(const std::string& event, std::int64_t& bit)
{
    static const std::map<std::string, std::int64_t> bits = {
        {"NAV_LIGHTS_SET", 0x1},    {"BEACON_LIGHTS_SET", 0x2}, {"LANDING_LIGHTS_SET", 0x4},
        {"TAXI_LIGHTS_SET", 0x8},   {"STROBES_SET", 0x10},      {"LOGO_LIGHTS_SET", 0x100},
        {"CABIN_LIGHTS_SET", 0x200},
    };
    const auto it = bits.find(event);
    if (it == bits.end()) return nullptr;
    bit = it->second;
    return it->first.c_str();
}

} // namespace

// --- scenario and plan files ------------------------------------------------------------------

Scenario scenarioFromJson(const nlohmann::json& json)
{
    if (!json.is_object()) throw std::runtime_error("scenario: the file must hold one JSON object");
    Scenario s;
    try {
        s.applicationName = json.value("applicationName", s.applicationName);
        if (json.contains("applicationVersion")) {
            const auto& v = json.at("applicationVersion");
            if (!v.is_array() || v.size() != 4) throw std::runtime_error("applicationVersion must hold four numbers");
            for (int i = 0; i < 4; ++i) s.applicationVersion[i] = v.at(i).get<DWORD>();
        }
        s.frameRate = json.value("frameRate", s.frameRate);
        s.framesPerSecond = json.value("framesPerSecond", s.framesPerSecond);
        s.presentAfterSeconds = json.value("presentAfterSeconds", s.presentAfterSeconds);
        s.flightRunning = json.value("flightRunning", s.flightRunning);
        s.staticCg = json.value("staticCg", s.staticCg);
        s.staticPitch = json.value("staticPitch", s.staticPitch);
        s.userObjectId = json.value("userObjectId", s.userObjectId);
        s.firstObjectId = json.value("firstObjectId", s.firstObjectId);
        if (json.contains("installedTitles")) s.installedTitles = json.at("installedTitles").get<std::vector<std::string>>();
        if (json.contains("user")) {
            const auto& u = json.at("user");
            if (!u.is_object()) throw std::runtime_error("user must be an object");
            UserAircraft& a = s.user;
            a.title = u.value("title", a.title);
            a.atcModel = u.value("atcModel", a.atcModel);
            a.latitude = u.value("latitude", a.latitude);
            a.longitude = u.value("longitude", a.longitude);
            a.altitude = u.value("altitude", a.altitude);
            a.groundAltitude = u.value("groundAltitude", a.groundAltitude);
            a.pitch = u.value("pitch", a.pitch);
            a.bank = u.value("bank", a.bank);
            a.heading = u.value("heading", a.heading);
            a.groundVelocity = u.value("groundVelocity", a.groundVelocity);
            a.onGround = u.value("onGround", a.onGround);
            a.zuluTime = u.value("zuluTime", a.zuluTime);
            a.zuluDayOfYear = u.value("zuluDayOfYear", a.zuluDayOfYear);
            a.zuluYear = u.value("zuluYear", a.zuluYear);
            a.lightStates = u.value("lightStates", a.lightStates);
        }
    } catch (const nlohmann::json::exception& e) {
        throw std::runtime_error(std::string("scenario: ") + e.what());
    } catch (const std::runtime_error& e) {
        throw std::runtime_error(std::string("scenario: ") + e.what());
    }
    if (s.userObjectId == 0 || s.firstObjectId <= s.userObjectId)
        throw std::runtime_error("scenario: firstObjectId must be above userObjectId, which must not be 0");
    return s;
}

std::optional<PlanSummary> readPlanFile(const std::wstring& path)
{
    pugi::xml_document doc;
    if (!doc.load_file(path.c_str())) return std::nullopt;
    const pugi::xml_node plan = doc.child("SimBase.Document").child("FlightPlan.FlightPlan");
    if (!plan) return std::nullopt;
    PlanSummary summary{plan.child_value("FPType"), plan.child_value("DepartureID"), plan.child_value("DestinationID")};
    if (summary.departure.empty() || summary.destination.empty()) return std::nullopt;
    return summary;
}

// --- test and tool interface ------------------------------------------------------------------

void Simulator::reset(const Scenario& scenario)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.initialised = true;
    s.manual = true;
    s.recording = true;
    s.present = true;
    s.scenarioLoaded = true;
    s.closedDown = false;
    s.presentAt.reset();
    s.journalPath.clear();
    if (s.journalFile.is_open()) s.journalFile.close();
    resetSimulation(s, scenario);
}

void Simulator::setPresent(bool present)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.present = present;
}

void Simulator::setCallClock(std::function<SteadyTime()> now)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.callClock = now ? std::move(now) : [] { return std::chrono::steady_clock::now(); };
}

void Simulator::setJournalPath(const std::wstring& path)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (s.journalFile.is_open()) s.journalFile.close();
    s.journalPath = path;
}

void Simulator::frame()
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    queueFrame(s);
}

void Simulator::second()
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    answerSecondRequests(s);
}

bool Simulator::waitIdle(std::chrono::milliseconds timeout)
{
    State& s = state();
    std::unique_lock lock(s.mutex);
    return s.idle.wait_for(lock, timeout, [&s] { return (s.messages.empty() || !s.connection) && s.dispatching == 0; });
}

bool Simulator::connected()
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    return s.connection.has_value();
}

void Simulator::failCalls(const std::string& function, int count)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.failures[function] = count;
}

void Simulator::refuseCreations(int count)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.refusals = count;
}

void Simulator::versionMismatch(DWORD index)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    queueException(s, scExVersionMismatch, 0, index);
}

void Simulator::quit()
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.present = false;
    s.closedDown = true;
    if (!s.connection) return;
    s.connection->quitting = true;
    queue(s, makeMessage(SimConnectRecvQuit{}, scRecvQuit));
    note(s, ojson{{"kind", "quit"}});
}

void Simulator::newFlight(bool asFileNameMessage)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    note(s, ojson{{"kind", "new-flight"}});
    if (!s.connection) return;
    const auto id = subscribed(*s.connection, "FlightLoaded");
    if (!id) return;
    if (asFileNameMessage) {
        SimConnectRecvFileName f{};
        f.groupId = 0xFFFFFFFF;
        f.eventId = *id;
        std::strcpy(f.fileName, "flights\\other\\new.FLT");
        queue(s, makeMessage(f, scRecvFileName));
    } else {
        queueSystemEvent(s, "FlightLoaded", 0);
    }
}

void Simulator::setFlightRunning(bool running)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.flightRunning = running;
    queueSystemEvent(s, "Sim", running ? 1 : 0);
}

void Simulator::teleportUser(double latitude, double longitude)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    SimObject* user = findObject(s, scUserObject);
    if (!user) return;
    user->latitude = latitude;
    user->longitude = longitude;
    note(s, ojson{{"kind", "teleport"}, {"lat", latitude}, {"lon", longitude}});
}

void Simulator::setUserTitleModel(const std::string& title, const std::string& atcModel)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (SimObject* user = findObject(s, scUserObject)) {
        user->title = title;
        user->atcModel = atcModel;
    }
}

void Simulator::setUserGroundVelocity(double knots)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (SimObject* user = findObject(s, scUserObject)) user->groundVelocity = knots;
}

DWORD Simulator::addForeignObject(const std::string& atcId, double altitudeAboveGround, bool onGround, DWORD objectType)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    const SimObject* user = findObject(s, scUserObject);
    SimObject o;
    o.id = s.nextObjectId++;
    o.objectType = objectType;
    o.atcId = atcId;
    o.title = "foreign";
    o.latitude = user ? user->latitude + 0.01 : 0;
    o.longitude = user ? user->longitude : 0;
    o.groundAltitude = s.scenario.user.groundAltitude;
    o.staticCg = s.scenario.staticCg;
    o.altitude = o.groundAltitude + o.staticCg + altitudeAboveGround;
    o.onGround = onGround;
    s.objects[o.id] = o;
    note(s, ojson{{"kind", "foreign"}, {"object", o.id}, {"atcId", atcId}});
    queueAddRemove(s, "ObjectAdded", o.id, objectType);
    return o.id;
}

void Simulator::placeObject(DWORD objectId, double altitude, bool onGround)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (SimObject* o = findObject(s, objectId)) {
        o->altitude = altitude;
        o->onGround = onGround;
    }
}

std::vector<ojson> Simulator::journal()
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    return s.journal;
}

std::vector<ojson> Simulator::calls()
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    return s.calls;
}

std::vector<SteadyTime> Simulator::callTimes(const std::string& function)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    std::vector<SteadyTime> times;
    for (std::size_t i = 0; i < s.calls.size(); ++i)
        if (s.calls[i]["fn"] == function) times.push_back(s.callStamps[i]);
    return times;
}

std::optional<SimObject> Simulator::object(DWORD id)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    const SimObject* o = findObject(s, id);
    if (!o) return std::nullopt;
    return *o;
}

std::vector<SimObject> Simulator::objects()
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    std::vector<SimObject> all;
    for (const auto& [id, o] : s.objects) all.push_back(o);
    return all;
}

Simulator& simulator()
{
    static Simulator instance;
    return instance;
}

} // namespace standin

// --- the SimConnect calls ---------------------------------------------------------------------

using standin::ojson;
using namespace standin;

HRESULT SimConnect_Open(HANDLE* handle, const char* name, HWND, DWORD, HANDLE, DWORD)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    ensureInitialised(s);
    const std::string client = boundedText(name, 256);
    if (!recordCall(s, "SimConnect_Open", ojson{{"name", client}}) || !handle) return E_FAIL;
    // Program runs: a scenario may keep the simulator away for a while after the first try.
    if (!s.present && !s.manual && s.scenarioLoaded && !s.closedDown && s.scenario.presentAfterSeconds > 0) {
        const SteadyTime now = std::chrono::steady_clock::now();
        if (!s.presentAt)
            s.presentAt = now + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                    std::chrono::duration<double>(s.scenario.presentAfterSeconds));
        if (now >= *s.presentAt) s.present = true;
    }
    if (!s.present) return E_FAIL;
    Connection c;
    c.serial = s.nextSerial++;
    c.clientName = client;
    s.connection = std::move(c);
    s.messages.clear();
    s.lastFrame.reset();
    s.lastSecond.reset();
    SimConnectRecvOpen open{};
    const std::string& app = s.scenario.applicationName;
    std::memcpy(open.applicationName, app.data(), std::min(app.size(), sizeof(open.applicationName) - 1));
    open.applicationVersionMajor = s.scenario.applicationVersion[0];
    open.applicationVersionMinor = s.scenario.applicationVersion[1];
    open.applicationBuildMajor = s.scenario.applicationVersion[2];
    open.applicationBuildMinor = s.scenario.applicationVersion[3];
    open.libraryVersionMajor = 11;
    queue(s, makeMessage(open, scRecvOpen));
    note(s, ojson{{"kind", "connected"}, {"client", client}});
    *handle = handleOf(*s.connection);
    return S_OK;
}

HRESULT SimConnect_Close(HANDLE handle)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    ensureInitialised(s);
    if (!recordCall(s, "SimConnect_Close", ojson::object())) return E_FAIL;
    if (!connectionFor(s, handle)) return E_FAIL;
    s.connection.reset();
    s.messages.clear();
    // The objects a client created go with it.
    std::vector<DWORD> created;
    for (const auto& [id, o] : s.objects)
        if (o.createdByClient) created.push_back(id);
    for (DWORD id : created) removeObject(s, id, "client closed");
    s.messages.clear();
    note(s, ojson{{"kind", "closed"}});
    s.idle.notify_all();
    return S_OK;
}

HRESULT SimConnect_CallDispatch(HANDLE handle, SimConnectDispatchProc callback, void* context)
{
    State& s = state();
    {
        std::lock_guard lock(s.mutex);
        ensureInitialised(s);
        if (!connectionFor(s, handle) || !callback) return E_FAIL;
        if (!s.manual) generateTimed(s);
        ++s.dispatching;
    }
    struct Done {
        State& s;
        ~Done()
        {
            {
                std::lock_guard lock(s.mutex);
                --s.dispatching;
            }
            s.idle.notify_all();
        }
    } done{s};
    for (;;) {
        Message m;
        {
            std::lock_guard lock(s.mutex);
            if (s.messages.empty() || !connectionFor(s, handle)) break;
            m = std::move(s.messages.front());
            s.messages.pop_front();
        }
        callback(m.recv(), m.size, context); // never under the stand-in's lock
    }
    return S_OK;
}

HRESULT SimConnect_SubscribeToSystemEvent(HANDLE handle, DWORD eventId, const char* eventName)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    const std::string name = boundedText(eventName, 256);
    Connection* c = beginCall(s, handle, "SimConnect_SubscribeToSystemEvent", ojson{{"event", eventId}, {"name", name}});
    if (!c) return E_FAIL;
    c->systemEvents[upper(name)] = eventId;
    // A subscriber learns at once whether a flight runs.
    if (upper(name) == "SIM" && s.flightRunning) queueSystemEvent(s, "Sim", 1);
    return S_OK;
}

HRESULT SimConnect_AddToDataDefinition(HANDLE handle, DWORD defineId, const char* variableName, const char* unitsName,
                                       DWORD dataType, float epsilon, DWORD datumId)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    const std::string name = upper(boundedText(variableName, 256));
    const std::string unit = boundedText(unitsName, 256);
    Connection* c = beginCall(s, handle, "SimConnect_AddToDataDefinition",
                              ojson{{"define", defineId}, {"name", boundedText(variableName, 256)}, {"unit", unit},
                                    {"type", dataType}, {"epsilon", epsilon}, {"datum", datumId}});
    if (!c) return E_FAIL;
    const auto kind = variableKind(name);
    const auto factor = kind ? unitFactor(*kind, unit) : std::nullopt;
    const bool textType = dataType == scDataString32 || dataType == scDataStringV;
    const bool numberType = dataType == scDataFloat64 || dataType == scDataInt64;
    if (!kind || !factor || (*kind == Kind::Text ? !textType : !numberType)) {
        queueException(s, scExNameUnrecognized, c->packetId, !kind ? 3 : !factor ? 4 : 5);
        return S_OK;
    }
    c->definitions[defineId].push_back(DefinitionEntry{name, *kind, *factor, dataType});
    return S_OK;
}

HRESULT SimConnect_MapClientEventToSimEvent(HANDLE handle, DWORD eventId, const char* eventName)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    const std::string name = boundedText(eventName, 256);
    Connection* c = beginCall(s, handle, "SimConnect_MapClientEventToSimEvent", ojson{{"event", eventId}, {"name", name}});
    if (!c) return E_FAIL;
    c->clientEvents[eventId] = upper(name);
    return S_OK;
}

HRESULT SimConnect_AddClientEventToNotificationGroup(HANDLE handle, DWORD groupId, DWORD eventId, BOOL maskable)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    Connection* c = beginCall(s, handle, "SimConnect_AddClientEventToNotificationGroup",
                              ojson{{"group", groupId}, {"event", eventId}, {"maskable", maskable != FALSE}});
    if (!c) return E_FAIL;
    c->groups[groupId].push_back(eventId);
    return S_OK;
}

HRESULT SimConnect_SetNotificationGroupPriority(HANDLE handle, DWORD groupId, DWORD priority)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    Connection* c = beginCall(s, handle, "SimConnect_SetNotificationGroupPriority",
                              ojson{{"group", groupId}, {"priority", priority}});
    if (!c) return E_FAIL;
    c->groupPriorities[groupId] = priority;
    return S_OK;
}

HRESULT SimConnect_RequestDataOnSimObject(HANDLE handle, DWORD requestId, DWORD defineId, DWORD objectId, DWORD period,
                                          DWORD flags, DWORD origin, DWORD interval, DWORD limit)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    Connection* c = beginCall(s, handle, "SimConnect_RequestDataOnSimObject",
                              ojson{{"request", requestId}, {"define", defineId}, {"object", objectId}, {"period", period},
                                    {"flags", flags}, {"origin", origin}, {"interval", interval}, {"limit", limit}});
    if (!c) return E_FAIL;
    const auto def = c->definitions.find(defineId);
    const SimObject* o = findObject(s, objectId);
    if (def == c->definitions.end() || !o) {
        queueException(s, scExUnrecognizedId, c->packetId, def == c->definitions.end() ? 3 : 4);
        return S_OK;
    }
    auto& seconds = c->secondRequests;
    std::erase_if(seconds, [requestId](const SecondRequest& r) { return r.requestId == requestId; });
    if (period == scPeriodOnce) {
        queueObjectData(s, scRecvObjectData, requestId, defineId, *o, def->second, 0, 0);
    } else if (period == scPeriodSecond) {
        seconds.push_back(SecondRequest{requestId, defineId, objectId});
    }
    return S_OK;
}

HRESULT SimConnect_RequestDataOnSimObjectType(HANDLE handle, DWORD requestId, DWORD defineId, DWORD radiusMeters,
                                              DWORD objectType)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    Connection* c = beginCall(s, handle, "SimConnect_RequestDataOnSimObjectType",
                              ojson{{"request", requestId}, {"define", defineId}, {"radius", radiusMeters}, {"type", objectType}});
    if (!c) return E_FAIL;
    const auto def = c->definitions.find(defineId);
    const SimObject* user = findObject(s, scUserObject);
    if (def == c->definitions.end() || !user) {
        queueException(s, scExUnrecognizedId, c->packetId, 3);
        return S_OK;
    }
    std::vector<const SimObject*> found;
    for (const auto& [id, o] : s.objects) {
        if (objectType != scObjectAll && o.objectType != objectType) continue;
        if (distanceMetres(user->latitude, user->longitude, o.latitude, o.longitude) > radiusMeters) continue;
        found.push_back(&o);
    }
    for (std::size_t i = 0; i < found.size(); ++i)
        queueObjectData(s, scRecvObjectDataByType, requestId, defineId, *found[i], def->second, static_cast<DWORD>(i + 1),
                        static_cast<DWORD>(found.size()));
    return S_OK;
}

HRESULT SimConnect_SetDataOnSimObject(HANDLE handle, DWORD defineId, DWORD objectId, DWORD flags, DWORD arrayCount,
                                      DWORD unitSize, void* data)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    Connection* c = beginCall(s, handle, "SimConnect_SetDataOnSimObject",
                              ojson{{"define", defineId}, {"object", objectId}, {"flags", flags}, {"count", arrayCount},
                                    {"size", unitSize}});
    if (!c) return E_FAIL;
    const auto def = c->definitions.find(defineId);
    SimObject* o = findObject(s, objectId);
    if (def == c->definitions.end() || !o || !data) {
        queueException(s, scExUnrecognizedId, c->packetId, def == c->definitions.end() ? 2 : 3);
        return S_OK;
    }
    std::size_t size = 0;
    for (const DefinitionEntry& e : def->second) size += entrySize(e.type);
    if (size != unitSize || size == 0) {
        queueException(s, scExInvalidDataSize, c->packetId, 6);
        return S_OK;
    }
    const auto* bytes = static_cast<const unsigned char*>(data);
    bool moved = false;
    ojson values = ojson::object();
    for (const DefinitionEntry& e : def->second) {
        double number = 0;
        if (e.type == scDataFloat64) {
            std::memcpy(&number, bytes, 8);
        } else if (e.type == scDataInt64) {
            std::int64_t integer = 0;
            std::memcpy(&integer, bytes, 8);
            number = static_cast<double>(integer);
        }
        bytes += entrySize(e.type);
        if (e.kind == Kind::Text || !writeVariable(*o, e.name, number / e.factor)) continue;
        values[e.name] = number;
        if (e.kind == Kind::LatLon || e.name == "PLANE ALTITUDE" || e.name == "PLANE HEADING DEGREES TRUE") moved = true;
    }
    if (moved) {
        updateGroundState(*o);
        note(s, ojson{{"kind", "pose"}, {"object", o->id}, {"lat", o->latitude}, {"lon", o->longitude}, {"alt", o->altitude},
                      {"heading", o->heading / degToRad}});
    } else {
        note(s, ojson{{"kind", "data"}, {"object", o->id}, {"define", defineId}, {"values", values}});
    }
    return S_OK;
}

HRESULT SimConnect_TransmitClientEvent(HANDLE handle, DWORD objectId, DWORD eventId, DWORD data, DWORD groupId, DWORD flags)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    Connection* c = beginCall(s, handle, "SimConnect_TransmitClientEvent",
                              ojson{{"object", objectId}, {"event", eventId}, {"data", data}, {"group", groupId}, {"flags", flags}});
    if (!c) return E_FAIL;
    const auto mapped = c->clientEvents.find(eventId);
    SimObject* o = findObject(s, objectId);
    if (mapped == c->clientEvents.end() || !o) {
        queueException(s, scExUnrecognizedId, c->packetId, mapped == c->clientEvents.end() ? 3 : 2);
        return S_OK;
    }
    const std::string& name = mapped->second;
    std::int64_t bit = 0;
    if (lightEventBit(name, bit)) {
        o->lightStates = data ? (o->lightStates | bit) : (o->lightStates & ~bit);
    } else if (name == "ALL_LIGHTS_TOGGLE") {
        o->lightStates = o->lightStates ? 0 : 0x3FF;
    } else if (name == "FREEZE_LATITUDE_LONGITUDE_SET") {
        o->frozenLatLon = data != 0;
    } else if (name == "FREEZE_ALTITUDE_SET") {
        o->frozenAltitude = data != 0;
    } else if (name == "FREEZE_ATTITUDE_SET") {
        o->frozenAttitude = data != 0;
    }
    note(s, ojson{{"kind", "event"}, {"object", o->id}, {"event", name}, {"data", data}});
    return S_OK;
}

HRESULT SimConnect_AICreateNonATCAircraft(HANDLE handle, const char* containerTitle, const char* tailNumber,
                                          SimConnectInitPosition p, DWORD requestId)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    const std::string title = boundedText(containerTitle, 1024);
    const std::string tail = boundedText(tailNumber, 1024);
    Connection* c = beginCall(s, handle, "SimConnect_AICreateNonATCAircraft",
                              ojson{{"title", title}, {"tail", tail}, {"lat", p.latitude}, {"lon", p.longitude},
                                    {"alt", p.altitude}, {"heading", p.heading}, {"onGround", p.onGround}, {"request", requestId}});
    if (!c) return E_FAIL;
    const auto& titles = s.scenario.installedTitles;
    const bool installed = std::find(titles.begin(), titles.end(), title) != titles.end();
    if (!installed || s.refusals > 0) {
        if (installed) --s.refusals;
        note(s, ojson{{"kind", "refused"}, {"title", title}, {"tail", tail}, {"sendId", c->packetId}});
        queueException(s, scExCreateObjectFailed, c->packetId, 1);
        return S_OK;
    }
    SimObject o;
    o.id = s.nextObjectId++;
    o.createdByClient = true;
    o.title = title;
    o.atcId = tail;
    o.latitude = p.latitude;
    o.longitude = p.longitude;
    o.pitch = p.pitch * degToRad;
    o.bank = p.bank * degToRad;
    o.heading = p.heading * degToRad;
    o.trueAirspeed = p.airspeed;
    o.groundAltitude = s.scenario.user.groundAltitude;
    o.staticCg = s.scenario.staticCg;
    o.staticPitch = s.scenario.staticPitch;
    o.altitude = p.onGround ? o.groundAltitude + o.staticCg : p.altitude;
    updateGroundState(o);
    s.objects[o.id] = o;
    note(s, ojson{{"kind", "created"}, {"object", o.id}, {"title", title}, {"tail", tail}, {"lat", o.latitude},
                  {"lon", o.longitude}, {"alt", o.altitude}, {"heading", p.heading}, {"onGround", o.onGround}});
    queueAddRemove(s, "ObjectAdded", o.id, o.objectType);
    return S_OK;
}

HRESULT SimConnect_GetLastSentPacketID(HANDLE handle, DWORD* sendId)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    ensureInitialised(s);
    if (!recordCall(s, "SimConnect_GetLastSentPacketID", ojson::object())) return E_FAIL;
    Connection* c = connectionFor(s, handle);
    if (!c || !sendId) return E_FAIL;
    *sendId = c->packetId;
    return S_OK;
}

HRESULT SimConnect_AIReleaseControl(HANDLE handle, DWORD objectId, DWORD requestId)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    Connection* c = beginCall(s, handle, "SimConnect_AIReleaseControl", ojson{{"object", objectId}, {"request", requestId}});
    if (!c) return E_FAIL;
    SimObject* o = findObject(s, objectId);
    if (!o || o->user) {
        queueException(s, o ? scExOperationInvalidForObjectType : scExUnrecognizedId, c->packetId, 1);
        return S_OK;
    }
    if (!o->released) note(s, ojson{{"kind", "released"}, {"object", o->id}});
    o->released = true;
    return S_OK;
}

HRESULT SimConnect_AIRemoveObject(HANDLE handle, DWORD objectId, DWORD requestId)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    Connection* c = beginCall(s, handle, "SimConnect_AIRemoveObject", ojson{{"object", objectId}, {"request", requestId}});
    if (!c) return E_FAIL;
    SimObject* o = findObject(s, objectId);
    if (!o || o->user) {
        queueException(s, o ? scExOperationInvalidForObjectType : scExUnrecognizedId, c->packetId, 1);
        return S_OK;
    }
    removeObject(s, o->id, "client");
    return S_OK;
}

HRESULT SimConnect_AISetAircraftFlightPlan(HANDLE handle, DWORD objectId, const char* flightPlanPath, DWORD requestId)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    const std::string narrow = boundedText(flightPlanPath, MAX_PATH);
    Connection* c = beginCall(s, handle, "SimConnect_AISetAircraftFlightPlan",
                              ojson{{"object", objectId}, {"path", narrow}, {"request", requestId}});
    if (!c) return E_FAIL;
    SimObject* o = findObject(s, objectId);
    // The path is narrow text in the system's code page.
    std::wstring wide;
    if (!narrow.empty()) {
        const int n = MultiByteToWideChar(CP_ACP, 0, narrow.data(), static_cast<int>(narrow.size()), nullptr, 0);
        wide.resize(n > 0 ? n : 0);
        if (n > 0) MultiByteToWideChar(CP_ACP, 0, narrow.data(), static_cast<int>(narrow.size()), wide.data(), n);
    }
    const auto plan = wide.empty() ? std::nullopt : readPlanFile(wide);
    if (!o || !plan) {
        note(s, ojson{{"kind", "plan-failed"}, {"object", objectId}, {"path", narrow}});
        queueException(s, scExLoadFlightPlanFailed, c->packetId, 2);
        return S_OK;
    }
    o->planPath = narrow;
    o->planType = plan->type;
    o->planDeparture = plan->departure;
    o->planDestination = plan->destination;
    note(s, ojson{{"kind", "plan"}, {"object", o->id}, {"type", plan->type}, {"departure", plan->departure},
                  {"destination", plan->destination}, {"path", narrow}});
    return S_OK;
}
