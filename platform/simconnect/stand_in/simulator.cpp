// The stand-in simulator, built as a drop-in SimConnect.dll: one simulation with a user aircraft
// and the AI objects that a client creates, answering the SimConnect calls of simconnect.h under
// their own names. It keeps one client connection at a time. Messages wait in a queue until the
// client calls SimConnect_CallDispatch, which hands them to the callback one by one without
// holding the stand-in's lock; a client that gave an event handle to SimConnect_Open has it set
// whenever a message comes into the empty queue. Tests and tools drive it through its StandIn_
// exports (control.h).
//
// Ownership: all state lives in one State object guarded by its mutex; client threads call in
// from any thread, and the dispatch callback runs on the caller's thread outside the lock. In
// program runs a connection with an event handle has a ticker thread of its own, which queues
// the frames and once-a-second replies as they fall due; it ends when it sees that its connection
// went, and is joined (outside the lock, which it takes) by whoever ended the connection.
#include "platform/simconnect/event_handle.h"
#include "platform/simconnect/simconnect.h"
#include "platform/simconnect/stand_in/control.h"
#include "platform/simconnect/stand_in/records.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <deque>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <numbers>
#include <thread>
#include <type_traits>
#include <utility>
#include <variant>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>

namespace standin {

using ojson = nlohmann::ordered_json;
using SteadyTime = std::chrono::steady_clock::time_point;

namespace {

constexpr double degToRad = std::numbers::pi / 180.0;
constexpr std::size_t string32Size = 32;
// An object-data message: its head up to the data block, which takes the place of dwData.
constexpr std::size_t objectDataHeaderSize = sizeof(SIMCONNECT_RECV_SIMOBJECT_DATA) - sizeof(DWORD);

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
    const double a =
        std::sin(dp / 2) * std::sin(dp / 2) + std::cos(p1) * std::cos(p2) * std::sin(dl / 2) * std::sin(dl / 2);
    return 2.0 * 6371008.8 * std::atan2(std::sqrt(a), std::sqrt(1.0 - a));
}

// --- simulation variables ---------------------------------------------------------------------

using Kind = VariableKind;

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
    const ObjectVariable* variable; // of objectVariables()
    double factor;
    DWORD type;
};

std::size_t entrySize(DWORD type)
{
    switch (type) {
    case SIMCONNECT_DATATYPE_FLOAT64:
    case SIMCONNECT_DATATYPE_INT64:
        return 8;
    case SIMCONNECT_DATATYPE_STRING32:
        return string32Size;
    default:
        return 0; // variable
    }
}

// --- the simulation ---------------------------------------------------------------------------

struct Message {
    std::unique_ptr<std::uint64_t[]> storage; // 8-byte aligned
    DWORD size = 0;
    SIMCONNECT_RECV* recv() { return reinterpret_cast<SIMCONNECT_RECV*>(storage.get()); }
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
    m.recv()->dwSize = m.size;
    m.recv()->dwVersion = 1;
    m.recv()->dwID = id;
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
    HANDLE event = nullptr; // the client's, set when a message comes into the empty queue; null: none
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
    int losses = 0;
    std::vector<ojson> journal;
    std::vector<ojson> calls;
    std::vector<std::int64_t> callStamps; // nanoseconds of the call clock
    StandInClock callClock = nullptr;     // null: the stand-in's own steady clock
    void* callClockContext = nullptr;
    std::wstring journalPath;
    std::ofstream journalFile;
    std::optional<SteadyTime> lastFrame, lastSecond;
    // Program runs with an event handle: queues the timed messages of the connection (see runTicker).
    std::jthread ticker;
    bool wakePending = false;          // a message came into the empty queue (see StateLock)
    std::atomic<int> wakesInFlight{0}; // events being set after the lock was released
};

// The lock of the state for everything that may queue a message: the client's event is set only
// once the lock is released, since a client woken under it would at once wait for it (under Wine
// that is two more round trips to the wineserver). SimConnect_Close waits for a setting in flight
// (wakesInFlight), so that no event is set after the client may have closed it.
class StateLock {
public:
    explicit StateLock(State& s) : s_(s), lock_(s.mutex) {}
    ~StateLock()
    {
        HANDLE event = nullptr;
        if (s_.wakePending && s_.connection && s_.connection->event) {
            event = s_.connection->event;
            ++s_.wakesInFlight;
        }
        s_.wakePending = false;
        lock_.unlock();
        if (!event) return;
        qtr::signalEventHandle(event);
        --s_.wakesInFlight;
    }
    StateLock(const StateLock&) = delete;
    StateLock& operator=(const StateLock&) = delete;

private:
    State& s_;
    std::unique_lock<std::mutex> lock_;
};

// Never destroyed: a client thread may still call in while the process ends.
State& state()
{
    static State* s = new State;
    return *s;
}

// Journal entries and recorded call arguments may be given as a function that makes them: it runs
// only when something keeps them, so a program run with the journal off builds no JSON for the
// calls made every frame (the stand-in's work counts toward the program's, in whose process it runs).
template <class Json>
ojson made(Json&& json)
{
    if constexpr (std::is_invocable_v<Json>) {
        return json();
    } else {
        return std::forward<Json>(json);
    }
}

bool journalling(const State& s) { return s.recording || !s.journalPath.empty(); }

// JSON text of what the stand-in keeps: the client's texts (titles, tail numbers, plan paths in the
// system's code page) need not be UTF-8, and a text that is not comes out with U+FFFD in its place
// of the bytes rather than as an exception.
template <class Json>
std::string jsonText(const Json& json)
{
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// Seconds of the call clock where a test set one, else of the system clock: runs lay the journal
// beside the feed peer's log, whose times are the system clock's.
double journalSeconds(const State& s)
{
    if (s.callClock) return static_cast<double>(s.callClock(s.callClockContext)) / 1e9;
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

template <class Entry>
void note(State& s, Entry&& makeEntry)
{
    if (!journalling(s)) return;
    ojson entry = made(std::forward<Entry>(makeEntry));
    entry["t"] = std::round(journalSeconds(s) * 1000.0) / 1000.0;
    if (s.recording) s.journal.push_back(entry);
    if (s.journalPath.empty()) return;
    if (!s.journalFile.is_open())
        s.journalFile.open(std::filesystem::path(s.journalPath), std::ios::binary | std::ios::app);
    if (s.journalFile) {
        s.journalFile << jsonText(entry) << '\n';
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
    s.losses = 0;
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
#ifdef _WIN32
    const wchar_t* value = _wgetenv(name);
    return value ? std::wstring(value) : std::wstring();
#else
    // The native test build: names and values (the tests' own temporary paths) are ASCII.
    const std::string narrowName(name, name + std::wcslen(name));
    const char* value = std::getenv(narrowName.c_str());
    return value ? std::wstring(value, value + std::strlen(value)) : std::wstring();
#endif
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
template <class Args>
bool recordCall(State& s, const char* function, Args&& makeArgs)
{
    if (s.recording) {
        ojson call{{"fn", function}};
        const ojson args = made(std::forward<Args>(makeArgs));
        for (auto& [key, value] : args.items()) call[key] = value;
        s.calls.push_back(std::move(call));
        s.callStamps.push_back(s.callClock ? s.callClock(s.callClockContext)
                                           : std::chrono::duration_cast<std::chrono::nanoseconds>(
                                                 std::chrono::steady_clock::now().time_since_epoch())
                                                 .count());
    }
    const auto it = s.failures.find(function);
    if (it == s.failures.end() || it->second == 0) return true;
    if (it->second > 0) --it->second;
    return false;
}

// The common start of a call on an open connection: the connection, with a new packet id, or
// null when the call fails.
template <class Args>
Connection* beginCall(State& s, HANDLE handle, const char* function, Args&& makeArgs)
{
    ensureInitialised(s);
    if (!recordCall(s, function, std::forward<Args>(makeArgs))) return nullptr;
    Connection* c = connectionFor(s, handle);
    if (!c || c->quitting) return nullptr;
    ++c->packetId;
    return c;
}

// The client's event is set (once the lock is released) when the queue was empty: a client that
// woke for an earlier message takes this one in the same dispatch, which runs until the queue is
// empty. (Each setting is a round trip to the wineserver under Wine, and a reply to aircraft in
// range is one message per aircraft.)
void queue(State& s, Message m)
{
    if (s.messages.empty()) s.wakePending = true;
    s.messages.push_back(std::move(m));
}

void queueException(State& s, DWORD code, DWORD sendId, DWORD index)
{
    SIMCONNECT_RECV_EXCEPTION e{};
    e.dwException = code;
    e.dwSendID = sendId;
    e.dwIndex = index;
    queue(s, makeMessage(e, SIMCONNECT_RECV_ID_EXCEPTION));
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
    SIMCONNECT_RECV_EVENT e{};
    e.uGroupID = 0xFFFFFFFF;
    e.uEventID = *id;
    e.dwData = data;
    queue(s, makeMessage(e, SIMCONNECT_RECV_ID_EVENT));
}

void queueAddRemove(State& s, const char* name, DWORD objectId, DWORD objectType)
{
    if (!s.connection) return;
    const auto id = subscribed(*s.connection, name);
    if (!id) return;
    SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE e{};
    e.uGroupID = 0xFFFFFFFF;
    e.uEventID = *id;
    e.dwData = objectId;
    e.eObjType = static_cast<SIMCONNECT_SIMOBJECT_TYPE>(objectType);
    queue(s, makeMessage(e, SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE));
}

// The data block of an object for a definition: each variable in definition order, in the
// definition's unit and type.
std::vector<unsigned char> encode(const State& s, const SimObject& o, const std::vector<DefinitionEntry>& definition)
{
    std::vector<unsigned char> block;
    for (const DefinitionEntry& e : definition) {
        const VariableValue value = readVariable(*e.variable, o, s.scenario.user);
        if (e.type == SIMCONNECT_DATATYPE_FLOAT64 || e.type == SIMCONNECT_DATATYPE_INT64) {
            const double number = std::holds_alternative<double>(value) ? std::get<double>(value) * e.factor : 0.0;
            unsigned char bytes[8];
            if (e.type == SIMCONNECT_DATATYPE_FLOAT64) {
                std::memcpy(bytes, &number, 8);
            } else {
                const std::int64_t integer = static_cast<std::int64_t>(std::llround(number));
                std::memcpy(bytes, &integer, 8);
            }
            block.insert(block.end(), bytes, bytes + 8);
        } else {
            const std::string text = std::holds_alternative<std::string>(value) ? std::get<std::string>(value) : "";
            if (e.type == SIMCONNECT_DATATYPE_STRING32) {
                unsigned char bytes[string32Size] = {};
                std::memcpy(bytes, text.data(), std::min(text.size(), string32Size));
                block.insert(block.end(), bytes, bytes + string32Size);
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
    SIMCONNECT_RECV_SIMOBJECT_DATA d{};
    d.dwRequestID = requestId;
    d.dwObjectID = o.id;
    d.dwDefineID = defineId;
    d.dwentrynumber = entry;
    d.dwoutof = outOf;
    d.dwDefineCount = static_cast<DWORD>(definition.size());
    const std::vector<unsigned char> block = encode(s, o, definition);
    queue(s, makeMessage(&d, objectDataHeaderSize, recvId, block.data(), block.size()));
}

SimObject* findObject(State& s, DWORD objectId)
{
    if (objectId == SIMCONNECT_OBJECT_ID_USER) objectId = s.scenario.userObjectId;
    const auto it = s.objects.find(objectId);
    return it == s.objects.end() ? nullptr : &it->second;
}

void queueFrame(State& s)
{
    if (!s.connection) return;
    const auto id = subscribed(*s.connection, "Frame");
    if (!id) return;
    SIMCONNECT_RECV_EVENT_FRAME f{};
    f.uGroupID = 0xFFFFFFFF;
    f.uEventID = *id;
    f.fFrameRate = s.scenario.frameRate;
    f.fSimSpeed = 1.0f;
    queue(s, makeMessage(f, SIMCONNECT_RECV_ID_EVENT_FRAME));
}

void answerSecondRequests(State& s)
{
    if (!s.connection) return;
    for (const SecondRequest& r : s.connection->secondRequests) {
        const auto def = s.connection->definitions.find(r.defineId);
        const SimObject* o = findObject(s, r.objectId);
        if (def == s.connection->definitions.end() || !o) continue;
        queueObjectData(s, SIMCONNECT_RECV_ID_SIMOBJECT_DATA, r.requestId, r.defineId, *o, def->second, 0, 0);
    }
}

// Program runs: frames and once-a-second replies by the real clock.
void generateTimed(State& s)
{
    const SteadyTime now = std::chrono::steady_clock::now();
    const double fps = s.scenario.framesPerSecond > 0 ? s.scenario.framesPerSecond : 30.0;
    const auto framePeriod =
        std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(1.0 / fps));
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

// When generateTimed next has something to queue.
SteadyTime nextTimedMessage(const State& s)
{
    const double fps = s.scenario.framesPerSecond > 0 ? s.scenario.framesPerSecond : 30.0;
    const auto framePeriod =
        std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(1.0 / fps));
    const SteadyTime now = std::chrono::steady_clock::now();
    const SteadyTime frame = s.lastFrame ? *s.lastFrame + framePeriod : now;
    const SteadyTime second = s.lastSecond ? *s.lastSecond + std::chrono::seconds(1) : now;
    return std::min(frame, second);
}

// A plain sleep. On Windows it is Sleep, which under Wine is no round trip to the wineserver,
// unlike a wait on an event or the C++ library's sleep (both alertable).
void plainSleep(std::chrono::milliseconds duration)
{
    if (duration <= std::chrono::milliseconds::zero()) return;
#ifdef _WIN32
    Sleep(static_cast<DWORD>(duration.count()));
#else
    std::this_thread::sleep_for(duration);
#endif
}

// The longest the ticker sleeps: how long a close may wait for it to see that its connection went.
constexpr std::chrono::milliseconds tickerLongestSleep{50};

// Program runs: a client that waits on its event hears of frames and once-a-second replies only
// if someone queues them when they fall due (a client that polls makes them in its dispatch).
// Runs until the connection it serves is gone.
void runTicker(State& s, DWORD serial)
{
    for (;;) {
        SteadyTime due;
        {
            StateLock lock(s);
            if (!s.connection || s.connection->serial != serial) return;
            generateTimed(s);
            due = nextTimedMessage(s);
        }
        // Whole milliseconds, rounded up: a wake before the time would find nothing to queue.
        const auto untilDue = std::chrono::ceil<std::chrono::milliseconds>(due - std::chrono::steady_clock::now());
        plainSleep(std::min(untilDue, tickerLongestSleep));
    }
}

// After the connection went or was replaced (under the lock): the ticker that served it, to be
// joined once the lock is released (it takes the lock to see that its connection went).
std::jthread retireTicker(State& s) { return std::move(s.ticker); }

// How far from an airport's reference point its ground reaches.
constexpr double airportGroundRadiusMetres = 3 * 1852.0;

// The ground under a place: the elevation of the nearest of the scenario's airports within their
// reach, sea level far from all of them (the stand-in knows no terrain); the user's ground when
// the scenario lists no airports.
double groundAltitudeAt(const State& s, double latitude, double longitude)
{
    const std::vector<AirportGround>& airports = s.scenario.airports;
    if (airports.empty()) return s.scenario.user.groundAltitude;
    const AirportGround* nearest = nullptr;
    double nearestMetres = airportGroundRadiusMetres;
    for (const AirportGround& a : airports) {
        const double metres = distanceMetres(latitude, longitude, a.latitude, a.longitude);
        if (metres > nearestMetres) continue;
        nearest = &a;
        nearestMetres = metres;
    }
    return nearest ? nearest->elevation : 0.0;
}

void updateGroundState(SimObject& o)
{
    if (o.user) return;
    o.onGround = o.altitude - o.groundAltitude - o.staticCg <= 1.0;
}

void removeObject(State& s, DWORD id, const char* reason)
{
    const auto it = s.objects.find(id);
    if (it == s.objects.end() || it->second.user) return;
    const DWORD type = it->second.objectType;
    s.objects.erase(it);
    note(s, ojson{{"kind", "removed"}, {"object", id}, {"reason", reason}});
    queueAddRemove(s, "ObjectRemoved", id, type);
}

const char* lightEventBit(const std::string& event, std::int64_t& bit)
{
    static const std::map<std::string, std::int64_t> bits = {
        {"NAV_LIGHTS_SET", 0x1}, {"BEACON_LIGHTS_SET", 0x2}, {"LANDING_LIGHTS_SET", 0x4}, {"TAXI_LIGHTS_SET", 0x8},
        {"STROBES_SET", 0x10},   {"LOGO_LIGHTS_SET", 0x100}, {"CABIN_LIGHTS_SET", 0x200},
    };
    const auto it = bits.find(event);
    if (it == bits.end()) return nullptr;
    bit = it->second;
    return it->first.c_str();
}

// One variable of a client's data block (where `bytes` points), as the client sent it.
VariableValue fromBlock(const unsigned char* bytes, const DefinitionEntry& e)
{
    if (e.type == SIMCONNECT_DATATYPE_FLOAT64) {
        double number = 0;
        std::memcpy(&number, bytes, 8);
        return number;
    }
    if (e.type == SIMCONNECT_DATATYPE_INT64) {
        std::int64_t integer = 0;
        std::memcpy(&integer, bytes, 8);
        return static_cast<double>(integer);
    }
    return boundedText(reinterpret_cast<const char*>(bytes), string32Size);
}

VariableValue inOwnUnit(const VariableValue& value, double factor)
{
    if (const double* number = std::get_if<double>(&value)) return *number / factor;
    return value;
}

// Where an object is, in the journal's units (degrees, feet, degrees true), under the pose keys
// of its variables.
ojson poseEntry(const SimObject& o, const UserAircraft& user)
{
    ojson entry{{"kind", "pose"}, {"object", o.id}};
    for (const ObjectVariable& v : objectVariables()) {
        if (v.journal != Journal::Pose) continue;
        const VariableValue value = readVariable(v, o, user);
        const double number = std::holds_alternative<double>(value) ? std::get<double>(value) : 0.0;
        entry[std::string(v.poseKey)] = v.kind == Kind::Angle ? number / degToRad : number;
    }
    return entry;
}

} // namespace

namespace {

// Copies a text into the caller's buffer when it fits; the bytes it needs with its terminator.
std::uint32_t giveText(const std::string& text, char* buffer, std::uint32_t size)
{
    const auto needed = static_cast<std::uint32_t>(text.size() + 1);
    if (buffer && size >= needed) std::memcpy(buffer, text.c_str(), needed);
    return needed;
}

// No exception may leave an export: the caller is C code of another module (the program ends with
// a system error). The call fails instead, with the fault on the error stream.
template <class Result = int>
Result exportFailed(const char* function, Result failed = Result{})
{
    try {
        throw;
    } catch (const std::exception& e) {
        std::cerr << "stand-in simulator: " << function << ": " << e.what() << '\n';
    } catch (...) {
        std::cerr << "stand-in simulator: " << function << ": unknown exception\n";
    }
    return failed;
}

template <class Change>
void withState(Change&& change)
{
    State& s = state();
    StateLock lock(s);
    change(s);
}

} // namespace

} // namespace standin

// --- the test and tool exports (control.h) ----------------------------------------------------

using namespace standin;

extern "C" {

int StandIn_Reset(const char* scenarioJson, char* error, std::uint32_t errorSize)
try {
    Scenario scenario;
    try {
        scenario = scenarioFromJson(nlohmann::json::parse(scenarioJson ? scenarioJson : ""));
    } catch (const std::exception& e) {
        giveText(std::string(e.what()).substr(0, errorSize ? errorSize - 1 : 0), error, errorSize);
        return 1;
    }
    std::jthread ticker; // joined after withState released the lock
    withState([&scenario, &ticker](State& s) {
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
        ticker = retireTicker(s);
    });
    return 0;
} catch (...) {
    return exportFailed("StandIn_Reset", 1);
}

void StandIn_SetPresent(int present)
try {
    withState([present](State& s) { s.present = present != 0; });
} catch (...) {
    exportFailed("StandIn_SetPresent");
}

void StandIn_SetCallClock(StandInClock clock, void* context)
try {
    withState([clock, context](State& s) {
        s.callClock = clock;
        s.callClockContext = context;
    });
} catch (...) {
    exportFailed("StandIn_SetCallClock");
}

void StandIn_SetJournalPath(const wchar_t* path)
try {
    withState([path](State& s) {
        if (s.journalFile.is_open()) s.journalFile.close();
        s.journalPath = path ? path : L"";
    });
} catch (...) {
    exportFailed("StandIn_SetJournalPath");
}

void StandIn_Frame(void)
try {
    withState([](State& s) { queueFrame(s); });
} catch (...) {
    exportFailed("StandIn_Frame");
}

void StandIn_Second(void)
try {
    withState([](State& s) { answerSecondRequests(s); });
} catch (...) {
    exportFailed("StandIn_Second");
}

int StandIn_WaitIdle(std::uint32_t timeoutMs)
try {
    State& s = state();
    std::unique_lock lock(s.mutex);
    return s.idle.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&s] { return (s.messages.empty() || !s.connection) && s.dispatching == 0; })
               ? 1
               : 0;
} catch (...) {
    return exportFailed("StandIn_WaitIdle", 0);
}

int StandIn_Connected(void)
try {
    int connected = 0;
    withState([&connected](State& s) { connected = s.connection.has_value() ? 1 : 0; });
    return connected;
} catch (...) {
    return exportFailed("StandIn_Connected", 0);
}

void StandIn_FailCalls(const char* function, int count)
try {
    const std::string name = function ? function : "";
    withState([&name, count](State& s) { s.failures[name] = count; });
} catch (...) {
    exportFailed("StandIn_FailCalls");
}

void StandIn_RefuseCreations(int count)
try {
    withState([count](State& s) { s.refusals = count; });
} catch (...) {
    exportFailed("StandIn_RefuseCreations");
}

void StandIn_LoseCreations(int count)
try {
    withState([count](State& s) { s.losses = count; });
} catch (...) {
    exportFailed("StandIn_LoseCreations");
}

void StandIn_VersionMismatch(std::uint32_t index)
try {
    withState([index](State& s) { queueException(s, SIMCONNECT_EXCEPTION_VERSION_MISMATCH, 0, index); });
} catch (...) {
    exportFailed("StandIn_VersionMismatch");
}

void StandIn_Quit(void)
try {
    withState([](State& s) {
        s.present = false;
        s.closedDown = true;
        if (!s.connection) return;
        s.connection->quitting = true;
        queue(s, makeMessage(SIMCONNECT_RECV_QUIT{}, SIMCONNECT_RECV_ID_QUIT));
        note(s, ojson{{"kind", "quit"}});
    });
} catch (...) {
    exportFailed("StandIn_Quit");
}

void StandIn_NewFlight(int asFileNameMessage)
try {
    withState([asFileNameMessage](State& s) {
        note(s, ojson{{"kind", "new-flight"}});
        if (!s.connection) return;
        const auto id = subscribed(*s.connection, "FlightLoaded");
        if (!id) return;
        if (asFileNameMessage) {
            SIMCONNECT_RECV_EVENT_FILENAME f{};
            f.uGroupID = 0xFFFFFFFF;
            f.uEventID = *id;
            std::strcpy(f.szFileName, "flights\\other\\new.FLT");
            queue(s, makeMessage(f, SIMCONNECT_RECV_ID_EVENT_FILENAME));
        } else {
            queueSystemEvent(s, "FlightLoaded", 0);
        }
    });
} catch (...) {
    exportFailed("StandIn_NewFlight");
}

void StandIn_SetFlightRunning(int running)
try {
    withState([running](State& s) {
        s.flightRunning = running != 0;
        queueSystemEvent(s, "Sim", running ? 1 : 0);
    });
} catch (...) {
    exportFailed("StandIn_SetFlightRunning");
}

void StandIn_TeleportUser(double latitude, double longitude)
try {
    withState([latitude, longitude](State& s) {
        SimObject* user = findObject(s, SIMCONNECT_OBJECT_ID_USER);
        if (!user) return;
        user->latitude = latitude;
        user->longitude = longitude;
        note(s, ojson{{"kind", "teleport"}, {"lat", latitude}, {"lon", longitude}});
    });
} catch (...) {
    exportFailed("StandIn_TeleportUser");
}

void StandIn_SetUserTitleModel(const char* title, const char* atcModel)
try {
    const std::string t = title ? title : "", m = atcModel ? atcModel : "";
    withState([&t, &m](State& s) {
        if (SimObject* user = findObject(s, SIMCONNECT_OBJECT_ID_USER)) {
            user->title = t;
            user->atcModel = m;
        }
    });
} catch (...) {
    exportFailed("StandIn_SetUserTitleModel");
}

void StandIn_SetUserGroundVelocity(double knots)
try {
    withState([knots](State& s) {
        if (SimObject* user = findObject(s, SIMCONNECT_OBJECT_ID_USER)) user->groundVelocity = knots;
    });
} catch (...) {
    exportFailed("StandIn_SetUserGroundVelocity");
}

void StandIn_SendBrokenMessage(void)
try {
    withState([](State& s) {
        if (!s.connection) return;
        // A frame whose head claims more bytes than are handed over with it.
        SIMCONNECT_RECV_EVENT_FRAME f{};
        f.uGroupID = 0xFFFFFFFF;
        Message m = makeMessage(f, SIMCONNECT_RECV_ID_EVENT_FRAME);
        m.recv()->dwSize = m.size + 64;
        queue(s, std::move(m));
        note(s, ojson{{"kind", "broken-message"}});
    });
} catch (...) {
    exportFailed("StandIn_SendBrokenMessage");
}

std::uint32_t StandIn_AddForeignObject(const char* atcId, double altitudeAboveGround, int onGround,
                                       std::uint32_t objectType)
try {
    std::uint32_t id = 0;
    const std::string atc = atcId ? atcId : "";
    withState([&](State& s) {
        const SimObject* user = findObject(s, SIMCONNECT_OBJECT_ID_USER);
        SimObject o;
        o.id = s.nextObjectId++;
        o.objectType = objectType;
        o.atcId = atc;
        o.title = "foreign";
        o.latitude = user ? user->latitude + 0.01 : 0;
        o.longitude = user ? user->longitude : 0;
        o.groundAltitude = groundAltitudeAt(s, o.latitude, o.longitude);
        o.staticCg = s.scenario.staticCg;
        o.altitude = o.groundAltitude + o.staticCg + altitudeAboveGround;
        o.onGround = onGround != 0;
        s.objects[o.id] = o;
        note(s, ojson{{"kind", "foreign"}, {"object", o.id}, {"atcId", atc}});
        queueAddRemove(s, "ObjectAdded", o.id, objectType);
        id = o.id;
    });
    return id;
} catch (...) {
    return exportFailed("StandIn_AddForeignObject", std::uint32_t{0});
}

void StandIn_PlaceObject(std::uint32_t objectId, double altitude, int onGround)
try {
    withState([=](State& s) {
        if (SimObject* o = findObject(s, objectId)) {
            o->altitude = altitude;
            o->onGround = onGround != 0;
        }
    });
} catch (...) {
    exportFailed("StandIn_PlaceObject");
}

void StandIn_RemoveObject(std::uint32_t objectId)
try {
    withState([objectId](State& s) { removeObject(s, objectId, "simulation"); });
} catch (...) {
    exportFailed("StandIn_RemoveObject");
}

std::uint32_t StandIn_Journal(char* buffer, std::uint32_t size)
try {
    std::string text;
    withState([&text](State& s) { text = jsonText(ojson(s.journal)); });
    return giveText(text, buffer, size);
} catch (...) {
    return exportFailed("StandIn_Journal", std::uint32_t{0});
}

std::uint32_t StandIn_Calls(char* buffer, std::uint32_t size)
try {
    std::string text;
    withState([&text](State& s) { text = jsonText(ojson(s.calls)); });
    return giveText(text, buffer, size);
} catch (...) {
    return exportFailed("StandIn_Calls", std::uint32_t{0});
}

std::uint32_t StandIn_CallTimes(const char* function, char* buffer, std::uint32_t size)
try {
    const std::string name = function ? function : "";
    std::string text;
    withState([&](State& s) {
        nlohmann::json times = nlohmann::json::array();
        for (std::size_t i = 0; i < s.calls.size(); ++i)
            if (s.calls[i]["fn"] == name) times.push_back(s.callStamps[i]);
        text = times.dump();
    });
    return giveText(text, buffer, size);
} catch (...) {
    return exportFailed("StandIn_CallTimes", std::uint32_t{0});
}

std::uint32_t StandIn_Object(std::uint32_t objectId, char* buffer, std::uint32_t size)
try {
    std::string text = "null";
    withState([&](State& s) {
        if (const SimObject* o = findObject(s, objectId)) text = jsonText(objectToJson(*o));
    });
    return giveText(text, buffer, size);
} catch (...) {
    return exportFailed("StandIn_Object", std::uint32_t{0});
}

std::uint32_t StandIn_Objects(char* buffer, std::uint32_t size)
try {
    std::string text;
    withState([&text](State& s) {
        nlohmann::json all = nlohmann::json::array();
        for (const auto& [id, o] : s.objects) all.push_back(objectToJson(o));
        text = jsonText(all);
    });
    return giveText(text, buffer, size);
} catch (...) {
    return exportFailed("StandIn_Objects", std::uint32_t{0});
}

} // extern "C"

// --- the SimConnect calls ---------------------------------------------------------------------

HRESULT __stdcall SimConnect_Open(HANDLE* handle, LPCSTR name, HWND, DWORD, HANDLE event, DWORD)
try {
    State& s = state();
    std::jthread previousTicker; // joined after the lock is released: the ticker takes it
    StateLock lock(s);
    ensureInitialised(s);
    const std::string client = boundedText(name, 256);
    if (!recordCall(s, "SimConnect_Open", ojson{{"name", client}, {"event", event != nullptr}}) || !handle)
        return E_FAIL;
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
    c.event = event;
    s.connection = std::move(c);
    s.messages.clear();
    s.lastFrame.reset();
    s.lastSecond.reset();
    previousTicker = retireTicker(s);
    if (event && !s.manual) s.ticker = std::jthread([&s, serial = s.connection->serial] { runTicker(s, serial); });
    SIMCONNECT_RECV_OPEN open{};
    const std::string& app = s.scenario.applicationName;
    std::memcpy(open.szApplicationName, app.data(), std::min(app.size(), sizeof(open.szApplicationName) - 1));
    open.dwApplicationVersionMajor = s.scenario.applicationVersion[0];
    open.dwApplicationVersionMinor = s.scenario.applicationVersion[1];
    open.dwApplicationBuildMajor = s.scenario.applicationVersion[2];
    open.dwApplicationBuildMinor = s.scenario.applicationVersion[3];
    open.dwSimConnectVersionMajor = 11;
    queue(s, makeMessage(open, SIMCONNECT_RECV_ID_OPEN));
    note(s, ojson{{"kind", "connected"}, {"client", client}});
    *handle = handleOf(*s.connection);
    return S_OK;
} catch (...) {
    return exportFailed("SimConnect_Open", E_FAIL);
}

namespace standin {
namespace {

// The close under the lock; the ticker that served the connection goes to the caller.
HRESULT closeConnection(State& s, HANDLE handle, std::jthread& ticker)
{
    StateLock lock(s);
    ensureInitialised(s);
    if (!recordCall(s, "SimConnect_Close", ojson::object())) return E_FAIL;
    if (!connectionFor(s, handle)) return E_FAIL;
    s.connection.reset();
    ticker = retireTicker(s);
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

} // namespace
} // namespace standin

HRESULT __stdcall SimConnect_Close(HANDLE handle)
try {
    State& s = state();
    std::jthread ticker;
    const HRESULT result = closeConnection(s, handle, ticker);
    // Once Close returns, nothing sets the client's event any more (the client may close it):
    // the ticker is joined, and a setting begun before the connection went is waited for.
    if (ticker.joinable()) ticker.join();
    while (s.wakesInFlight.load() > 0) std::this_thread::yield();
    return result;
} catch (...) {
    return exportFailed("SimConnect_Close", E_FAIL);
}

HRESULT __stdcall SimConnect_CallDispatch(HANDLE handle, DispatchProc callback, void* context)
try {
    State& s = state();
    {
        StateLock lock(s);
        ensureInitialised(s);
        if (!connectionFor(s, handle) || !callback) return E_FAIL;
        // Timed messages come from the ticker where there is one.
        if (!s.manual && !s.ticker.joinable()) generateTimed(s);
        ++s.dispatching;
    }
    struct Done {
        State& s;
        ~Done()
        {
            {
                StateLock lock(s);
                --s.dispatching;
            }
            s.idle.notify_all();
        }
    } done{s};
    for (;;) {
        Message m;
        {
            StateLock lock(s);
            if (s.messages.empty() || !connectionFor(s, handle)) break;
            m = std::move(s.messages.front());
            s.messages.pop_front();
        }
        callback(m.recv(), m.size, context); // never under the stand-in's lock
    }
    return S_OK;
} catch (...) {
    return exportFailed("SimConnect_CallDispatch", E_FAIL);
}

HRESULT __stdcall SimConnect_SubscribeToSystemEvent(HANDLE handle, SIMCONNECT_CLIENT_EVENT_ID eventId,
                                                    const char* eventName)
try {
    State& s = state();
    StateLock lock(s);
    const std::string name = boundedText(eventName, 256);
    Connection* c =
        beginCall(s, handle, "SimConnect_SubscribeToSystemEvent", ojson{{"event", eventId}, {"name", name}});
    if (!c) return E_FAIL;
    c->systemEvents[upper(name)] = eventId;
    // A subscriber learns at once whether a flight runs.
    if (upper(name) == "SIM" && s.flightRunning) queueSystemEvent(s, "Sim", 1);
    return S_OK;
} catch (...) {
    return exportFailed("SimConnect_SubscribeToSystemEvent", E_FAIL);
}

HRESULT __stdcall SimConnect_AddToDataDefinition(HANDLE handle, SIMCONNECT_DATA_DEFINITION_ID defineId,
                                                 const char* variableName, const char* unitsName,
                                                 SIMCONNECT_DATATYPE dataType, float epsilon, DWORD datumId)
try {
    State& s = state();
    StateLock lock(s);
    const std::string name = upper(boundedText(variableName, 256));
    const std::string unit = boundedText(unitsName, 256);
    Connection* c = beginCall(s, handle, "SimConnect_AddToDataDefinition",
                              ojson{{"define", defineId},
                                    {"name", boundedText(variableName, 256)},
                                    {"unit", unit},
                                    {"type", dataType},
                                    {"epsilon", epsilon},
                                    {"datum", datumId}});
    if (!c) return E_FAIL;
    const ObjectVariable* variable = findVariable(name);
    const auto factor = variable ? unitFactor(variable->kind, unit) : std::nullopt;
    const bool textType = dataType == SIMCONNECT_DATATYPE_STRING32 || dataType == SIMCONNECT_DATATYPE_STRINGV;
    const bool numberType = dataType == SIMCONNECT_DATATYPE_FLOAT64 || dataType == SIMCONNECT_DATATYPE_INT64;
    if (!variable || !factor || (variable->kind == Kind::Text ? !textType : !numberType)) {
        queueException(s, SIMCONNECT_EXCEPTION_NAME_UNRECOGNIZED, c->packetId, !variable ? 3 : !factor ? 4 : 5);
        return S_OK;
    }
    c->definitions[defineId].push_back(DefinitionEntry{variable, *factor, dataType});
    return S_OK;
} catch (...) {
    return exportFailed("SimConnect_AddToDataDefinition", E_FAIL);
}

HRESULT __stdcall SimConnect_MapClientEventToSimEvent(HANDLE handle, SIMCONNECT_CLIENT_EVENT_ID eventId,
                                                      const char* eventName)
try {
    State& s = state();
    StateLock lock(s);
    const std::string name = boundedText(eventName, 256);
    Connection* c =
        beginCall(s, handle, "SimConnect_MapClientEventToSimEvent", ojson{{"event", eventId}, {"name", name}});
    if (!c) return E_FAIL;
    c->clientEvents[eventId] = upper(name);
    return S_OK;
} catch (...) {
    return exportFailed("SimConnect_MapClientEventToSimEvent", E_FAIL);
}

HRESULT __stdcall SimConnect_AddClientEventToNotificationGroup(HANDLE handle, SIMCONNECT_NOTIFICATION_GROUP_ID groupId,
                                                               SIMCONNECT_CLIENT_EVENT_ID eventId, BOOL maskable)
try {
    State& s = state();
    StateLock lock(s);
    Connection* c = beginCall(s, handle, "SimConnect_AddClientEventToNotificationGroup",
                              ojson{{"group", groupId}, {"event", eventId}, {"maskable", maskable != 0}});
    if (!c) return E_FAIL;
    c->groups[groupId].push_back(eventId);
    return S_OK;
} catch (...) {
    return exportFailed("SimConnect_AddClientEventToNotificationGroup", E_FAIL);
}

HRESULT __stdcall SimConnect_SetNotificationGroupPriority(HANDLE handle, SIMCONNECT_NOTIFICATION_GROUP_ID groupId,
                                                          DWORD priority)
try {
    State& s = state();
    StateLock lock(s);
    Connection* c = beginCall(s, handle, "SimConnect_SetNotificationGroupPriority",
                              ojson{{"group", groupId}, {"priority", priority}});
    if (!c) return E_FAIL;
    c->groupPriorities[groupId] = priority;
    return S_OK;
} catch (...) {
    return exportFailed("SimConnect_SetNotificationGroupPriority", E_FAIL);
}

HRESULT __stdcall SimConnect_RequestDataOnSimObject(HANDLE handle, SIMCONNECT_DATA_REQUEST_ID requestId,
                                                    SIMCONNECT_DATA_DEFINITION_ID defineId,
                                                    SIMCONNECT_OBJECT_ID objectId, SIMCONNECT_PERIOD period,
                                                    SIMCONNECT_DATA_REQUEST_FLAG flags, DWORD origin, DWORD interval,
                                                    DWORD limit)
try {
    State& s = state();
    StateLock lock(s);
    Connection* c = beginCall(s, handle, "SimConnect_RequestDataOnSimObject", [&] {
        return ojson{{"request", requestId}, {"define", defineId}, {"object", objectId},   {"period", period},
                     {"flags", flags},       {"origin", origin},   {"interval", interval}, {"limit", limit}};
    });
    if (!c) return E_FAIL;
    const auto def = c->definitions.find(defineId);
    const SimObject* o = findObject(s, objectId);
    if (def == c->definitions.end() || !o) {
        queueException(s, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, c->packetId, def == c->definitions.end() ? 3 : 4);
        return S_OK;
    }
    auto& seconds = c->secondRequests;
    std::erase_if(seconds, [requestId](const SecondRequest& r) { return r.requestId == requestId; });
    if (period == SIMCONNECT_PERIOD_ONCE) {
        queueObjectData(s, SIMCONNECT_RECV_ID_SIMOBJECT_DATA, requestId, defineId, *o, def->second, 0, 0);
    } else if (period == SIMCONNECT_PERIOD_SECOND) {
        seconds.push_back(SecondRequest{requestId, defineId, objectId});
    }
    return S_OK;
} catch (...) {
    return exportFailed("SimConnect_RequestDataOnSimObject", E_FAIL);
}

HRESULT __stdcall SimConnect_RequestDataOnSimObjectType(HANDLE handle, SIMCONNECT_DATA_REQUEST_ID requestId,
                                                        SIMCONNECT_DATA_DEFINITION_ID defineId, DWORD radiusMeters,
                                                        SIMCONNECT_SIMOBJECT_TYPE objectType)
try {
    State& s = state();
    StateLock lock(s);
    Connection* c = beginCall(s, handle, "SimConnect_RequestDataOnSimObjectType", [&] {
        return ojson{{"request", requestId}, {"define", defineId}, {"radius", radiusMeters}, {"type", objectType}};
    });
    if (!c) return E_FAIL;
    const auto def = c->definitions.find(defineId);
    const SimObject* user = findObject(s, SIMCONNECT_OBJECT_ID_USER);
    if (def == c->definitions.end() || !user) {
        queueException(s, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, c->packetId, 3);
        return S_OK;
    }
    std::vector<const SimObject*> found;
    for (const auto& [id, o] : s.objects) {
        if (objectType != SIMCONNECT_SIMOBJECT_TYPE_ALL && o.objectType != objectType) continue;
        if (distanceMetres(user->latitude, user->longitude, o.latitude, o.longitude) > radiusMeters) continue;
        found.push_back(&o);
    }
    for (std::size_t i = 0; i < found.size(); ++i)
        queueObjectData(s, SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE, requestId, defineId, *found[i], def->second,
                        static_cast<DWORD>(i + 1), static_cast<DWORD>(found.size()));
    return S_OK;
} catch (...) {
    return exportFailed("SimConnect_RequestDataOnSimObjectType", E_FAIL);
}

HRESULT __stdcall SimConnect_SetDataOnSimObject(HANDLE handle, SIMCONNECT_DATA_DEFINITION_ID defineId,
                                                SIMCONNECT_OBJECT_ID objectId, SIMCONNECT_DATA_SET_FLAG flags,
                                                DWORD arrayCount, DWORD unitSize, void* data)
try {
    State& s = state();
    StateLock lock(s);
    Connection* c = beginCall(s, handle, "SimConnect_SetDataOnSimObject", [&] {
        return ojson{
            {"define", defineId}, {"object", objectId}, {"flags", flags}, {"count", arrayCount}, {"size", unitSize}};
    });
    if (!c) return E_FAIL;
    const auto def = c->definitions.find(defineId);
    SimObject* o = findObject(s, objectId);
    if (def == c->definitions.end() || !o || !data) {
        queueException(s, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, c->packetId, def == c->definitions.end() ? 2 : 3);
        return S_OK;
    }
    std::size_t size = 0;
    for (const DefinitionEntry& e : def->second) size += entrySize(e.type);
    if (size != unitSize || size == 0) {
        queueException(s, SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE, c->packetId, 6);
        return S_OK;
    }
    const auto* bytes = static_cast<const unsigned char*>(data);
    bool moved = false;
    std::vector<std::pair<const ObjectVariable*, VariableValue>> written; // as the client sent them, for the journal
    for (const DefinitionEntry& e : def->second) {
        const std::size_t entryBytes = entrySize(e.type);
        if (entryBytes == 0) continue; // a text of its own length is never written
        const VariableValue value = fromBlock(bytes, e);
        bytes += entryBytes;
        if (!writeVariable(*e.variable, *o, inOwnUnit(value, e.factor))) continue;
        if (e.variable->journal == Journal::Pose) moved = true;
        if (e.variable->journal != Journal::No && journalling(s)) written.emplace_back(e.variable, value);
    }
    if (moved) {
        if (!o->user) o->groundAltitude = groundAltitudeAt(s, o->latitude, o->longitude);
        updateGroundState(*o);
        note(s, [&s, o] { return poseEntry(*o, s.scenario.user); });
    } else {
        note(s, [&] {
            ojson values = ojson::object();
            for (const auto& [variable, value] : written)
                std::visit([&, v = variable](const auto& x) { values[std::string(v->name)] = x; }, value);
            return ojson{{"kind", "data"}, {"object", o->id}, {"define", defineId}, {"values", values}};
        });
    }
    return S_OK;
} catch (...) {
    return exportFailed("SimConnect_SetDataOnSimObject", E_FAIL);
}

HRESULT __stdcall SimConnect_TransmitClientEvent(HANDLE handle, SIMCONNECT_OBJECT_ID objectId,
                                                 SIMCONNECT_CLIENT_EVENT_ID eventId, DWORD data,
                                                 SIMCONNECT_NOTIFICATION_GROUP_ID groupId, SIMCONNECT_EVENT_FLAG flags)
try {
    State& s = state();
    StateLock lock(s);
    Connection* c = beginCall(s, handle, "SimConnect_TransmitClientEvent", [&] {
        return ojson{{"object", objectId}, {"event", eventId}, {"data", data}, {"group", groupId}, {"flags", flags}};
    });
    if (!c) return E_FAIL;
    const auto mapped = c->clientEvents.find(eventId);
    SimObject* o = findObject(s, objectId);
    if (mapped == c->clientEvents.end() || !o) {
        queueException(s, SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID, c->packetId, mapped == c->clientEvents.end() ? 3 : 2);
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
    note(s, [&] { return ojson{{"kind", "event"}, {"object", o->id}, {"event", name}, {"data", data}}; });
    return S_OK;
} catch (...) {
    return exportFailed("SimConnect_TransmitClientEvent", E_FAIL);
}

namespace {

// The simulator holds at most this many characters of a tail number (the ATC ID it reports).
constexpr std::size_t tailNumberLength = 12;

// Both creation calls: an object of an installed title, announced with "ObjectAdded"; a title
// that is not installed (or a refusal set up by a test) raises exception 22 naming the call.
HRESULT createAircraft(HANDLE handle, const char* function, const char* containerTitle, const char* livery,
                       const char* tailNumber, const SIMCONNECT_DATA_INITPOSITION& p, DWORD requestId)
{
    State& s = state();
    StateLock lock(s);
    const std::string title = boundedText(containerTitle, 1024);
    const std::string tail = boundedText(tailNumber, 1024);
    ojson args{{"title", title}};
    if (livery) args["livery"] = boundedText(livery, 1024);
    args["tail"] = tail;
    args["lat"] = p.Latitude;
    args["lon"] = p.Longitude;
    args["alt"] = p.Altitude;
    args["heading"] = p.Heading;
    args["onGround"] = p.OnGround;
    args["request"] = requestId;
    Connection* c = beginCall(s, handle, function, std::move(args));
    if (!c) return E_FAIL;
    const auto& titles = s.scenario.installedTitles;
    const bool installed = std::find(titles.begin(), titles.end(), title) != titles.end();
    if (!installed || s.refusals > 0) {
        if (installed) --s.refusals;
        note(s, ojson{{"kind", "refused"}, {"title", title}, {"tail", tail}, {"sendId", c->packetId}});
        queueException(s, SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED, c->packetId, 1);
        return S_OK;
    }
    if (s.losses > 0) {
        --s.losses;
        note(s, ojson{{"kind", "lost"}, {"title", title}, {"tail", tail}, {"sendId", c->packetId}});
        return S_OK;
    }
    SimObject o;
    o.id = s.nextObjectId++;
    o.createdByClient = true;
    o.title = title;
    const auto& rotorcraft = s.scenario.rotorcraftTitles;
    if (std::find(rotorcraft.begin(), rotorcraft.end(), title) != rotorcraft.end())
        o.objectType = SIMCONNECT_SIMOBJECT_TYPE_HELICOPTER;
    o.livery = livery ? boundedText(livery, 1024) : "";
    o.atcId = tail.substr(0, tailNumberLength);
    o.latitude = p.Latitude;
    o.longitude = p.Longitude;
    o.pitch = p.Pitch * degToRad;
    o.bank = p.Bank * degToRad;
    o.heading = p.Heading * degToRad;
    o.trueAirspeed = p.Airspeed;
    o.groundAltitude = groundAltitudeAt(s, o.latitude, o.longitude);
    o.staticCg = s.scenario.staticCg;
    o.staticPitch = s.scenario.staticPitch;
    o.altitude = p.OnGround ? o.groundAltitude + o.staticCg : p.Altitude;
    updateGroundState(o);
    s.objects[o.id] = o;
    note(s, ojson{{"kind", "created"},
                  {"object", o.id},
                  {"title", title},
                  {"tail", o.atcId},
                  {"lat", o.latitude},
                  {"lon", o.longitude},
                  {"alt", o.altitude},
                  {"heading", p.Heading},
                  {"onGround", o.onGround}});
    queueAddRemove(s, "ObjectAdded", o.id, o.objectType);
    return S_OK;
}

} // namespace

HRESULT __stdcall SimConnect_AICreateNonATCAircraft(HANDLE handle, const char* containerTitle, const char* tailNumber,
                                                    SIMCONNECT_DATA_INITPOSITION initPosition,
                                                    SIMCONNECT_DATA_REQUEST_ID requestId)
try {
    return createAircraft(handle, "SimConnect_AICreateNonATCAircraft", containerTitle, nullptr, tailNumber,
                          initPosition, requestId);
} catch (...) {
    return exportFailed("SimConnect_AICreateNonATCAircraft", E_FAIL);
}

HRESULT __stdcall SimConnect_AICreateNonATCAircraft_EX1(HANDLE handle, const char* containerTitle, const char* livery,
                                                        const char* tailNumber,
                                                        SIMCONNECT_DATA_INITPOSITION initPosition,
                                                        SIMCONNECT_DATA_REQUEST_ID requestId)
try {
    return createAircraft(handle, "SimConnect_AICreateNonATCAircraft_EX1", containerTitle, livery ? livery : "",
                          tailNumber, initPosition, requestId);
} catch (...) {
    return exportFailed("SimConnect_AICreateNonATCAircraft_EX1", E_FAIL);
}

HRESULT __stdcall SimConnect_GetLastSentPacketID(HANDLE handle, DWORD* sendId)
try {
    State& s = state();
    StateLock lock(s);
    ensureInitialised(s);
    if (!recordCall(s, "SimConnect_GetLastSentPacketID", ojson::object())) return E_FAIL;
    Connection* c = connectionFor(s, handle);
    if (!c || !sendId) return E_FAIL;
    *sendId = c->packetId;
    return S_OK;
} catch (...) {
    return exportFailed("SimConnect_GetLastSentPacketID", E_FAIL);
}

HRESULT __stdcall SimConnect_AIReleaseControl(HANDLE handle, SIMCONNECT_OBJECT_ID objectId,
                                              SIMCONNECT_DATA_REQUEST_ID requestId)
try {
    State& s = state();
    StateLock lock(s);
    Connection* c =
        beginCall(s, handle, "SimConnect_AIReleaseControl", ojson{{"object", objectId}, {"request", requestId}});
    if (!c) return E_FAIL;
    SimObject* o = findObject(s, objectId);
    if (!o || o->user) {
        queueException(
            s, o ? SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE : SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID,
            c->packetId, 1);
        return S_OK;
    }
    if (!o->released) note(s, ojson{{"kind", "released"}, {"object", o->id}});
    o->released = true;
    return S_OK;
} catch (...) {
    return exportFailed("SimConnect_AIReleaseControl", E_FAIL);
}

HRESULT __stdcall SimConnect_AIRemoveObject(HANDLE handle, SIMCONNECT_OBJECT_ID objectId,
                                            SIMCONNECT_DATA_REQUEST_ID requestId)
try {
    State& s = state();
    StateLock lock(s);
    Connection* c =
        beginCall(s, handle, "SimConnect_AIRemoveObject", ojson{{"object", objectId}, {"request", requestId}});
    if (!c) return E_FAIL;
    SimObject* o = findObject(s, objectId);
    if (!o || o->user) {
        queueException(
            s, o ? SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE : SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID,
            c->packetId, 1);
        return S_OK;
    }
    removeObject(s, o->id, "client");
    return S_OK;
} catch (...) {
    return exportFailed("SimConnect_AIRemoveObject", E_FAIL);
}

HRESULT __stdcall SimConnect_AISetAircraftFlightPlan(HANDLE handle, SIMCONNECT_OBJECT_ID objectId,
                                                     const char* flightPlanPath, SIMCONNECT_DATA_REQUEST_ID requestId)
try {
    State& s = state();
    StateLock lock(s);
    const std::string narrow = boundedText(flightPlanPath, MAX_PATH);
    Connection* c = beginCall(s, handle, "SimConnect_AISetAircraftFlightPlan",
                              ojson{{"object", objectId}, {"path", narrow}, {"request", requestId}});
    if (!c) return E_FAIL;
    SimObject* o = findObject(s, objectId);
    // The path is narrow text in the system's code page.
    std::wstring wide;
    if (!narrow.empty()) {
#ifdef _WIN32
        const int n = MultiByteToWideChar(CP_ACP, 0, narrow.data(), static_cast<int>(narrow.size()), nullptr, 0);
        wide.resize(n > 0 ? n : 0);
        if (n > 0) MultiByteToWideChar(CP_ACP, 0, narrow.data(), static_cast<int>(narrow.size()), wide.data(), n);
#else
        wide.assign(narrow.begin(), narrow.end()); // the native tests' paths are ASCII
#endif
    }
    const auto plan = wide.empty() ? std::nullopt : readPlanFile(wide);
    if (!o || !plan) {
        note(s, ojson{{"kind", "plan-failed"}, {"object", objectId}, {"path", narrow}});
        queueException(s, SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED, c->packetId, 2);
        return S_OK;
    }
    o->planPath = narrow;
    o->planType = plan->type;
    o->planDeparture = plan->departure;
    o->planDestination = plan->destination;
    note(s, ojson{{"kind", "plan"},
                  {"object", o->id},
                  {"type", plan->type},
                  {"departure", plan->departure},
                  {"destination", plan->destination},
                  {"path", narrow}});
    return S_OK;
} catch (...) {
    return exportFailed("SimConnect_AISetAircraftFlightPlan", E_FAIL);
}
