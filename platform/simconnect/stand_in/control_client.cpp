// standin::Simulator over the stand-in DLL's C exports: texts and JSON cross the boundary, never
// a C++ object of either side.
#include "platform/simconnect/stand_in.h"

#include "platform/simconnect/simconnect_library.h"
#include "platform/simconnect/stand_in/control.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <mutex>
#include <stdexcept>

namespace standin {

namespace {

#ifdef _WIN32
HMODULE standInModule()
{
    static const HMODULE module = [] {
        const std::filesystem::path path = qtr::executableFolder() / qtr::simConnectLibraryName;
        HMODULE m = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        if (!m || !GetProcAddress(m, "StandIn_Reset"))
            throw std::runtime_error("the stand-in simulator (SimConnect.dll with StandIn_Reset) is not beside " +
                                     qtr::executableFolder().string());
        return m;
    }();
    return module;
}

// The export of that name, as the type of its declaration in control.h.
template <class Function>
Function* exported(Function&, const char* name)
{
    FARPROC address = GetProcAddress(standInModule(), name);
    if (!address) throw std::runtime_error(std::string("the stand-in simulator lacks ") + name);
    return reinterpret_cast<Function*>(reinterpret_cast<void*>(address));
}
#define STANDIN_CALL(name) (*exported(name, #name))
#else
// The native test build links the stand-in into the test itself: its exports are plain calls.
void standInModule() {}
#define STANDIN_CALL(name) (name)
#endif

// A text view: asks for the size, then fetches the text.
template <class Fetch>
std::string fetchText(Fetch fetch)
{
    std::string text(256, '\0');
    for (;;) {
        const std::uint32_t needed = fetch(text.data(), static_cast<std::uint32_t>(text.size()));
        if (needed <= text.size()) {
            text.resize(needed > 0 ? needed - 1 : 0);
            return text;
        }
        text.assign(needed, '\0');
    }
}

std::vector<nlohmann::ordered_json> jsonArray(const std::string& text)
{
    std::vector<nlohmann::ordered_json> entries;
    for (auto& e : nlohmann::ordered_json::parse(text)) entries.push_back(std::move(e));
    return entries;
}

std::mutex clockMutex;
std::function<std::chrono::steady_clock::time_point()> callClock; // guarded by clockMutex

std::int64_t clockTrampoline(void*)
{
    std::lock_guard lock(clockMutex);
    const auto now = callClock ? callClock() : std::chrono::steady_clock::now();
    return std::chrono::duration_cast<std::chrono::nanoseconds>(now.time_since_epoch()).count();
}

} // namespace

void Simulator::reset(const Scenario& scenario)
{
    char error[512] = {};
    if (STANDIN_CALL(StandIn_Reset)(scenarioToJson(scenario).dump().c_str(), error, sizeof error) != 0)
        throw std::runtime_error(error);
}

void Simulator::setPresent(bool present) { STANDIN_CALL(StandIn_SetPresent)(present ? 1 : 0); }

void Simulator::setCallClock(std::function<std::chrono::steady_clock::time_point()> now)
{
    {
        std::lock_guard lock(clockMutex);
        callClock = std::move(now);
    }
    STANDIN_CALL(StandIn_SetCallClock)(clockTrampoline, nullptr);
}

void Simulator::setJournalPath(const std::wstring& path) { STANDIN_CALL(StandIn_SetJournalPath)(path.c_str()); }

void Simulator::frame() { STANDIN_CALL(StandIn_Frame)(); }
void Simulator::second() { STANDIN_CALL(StandIn_Second)(); }

bool Simulator::waitIdle(std::chrono::milliseconds timeout)
{
    return STANDIN_CALL(StandIn_WaitIdle)(static_cast<std::uint32_t>(timeout.count())) != 0;
}

bool Simulator::connected() { return STANDIN_CALL(StandIn_Connected)() != 0; }

void Simulator::failCalls(const std::string& function, int count)
{
    STANDIN_CALL(StandIn_FailCalls)(function.c_str(), count);
}
void Simulator::refuseCreations(int count) { STANDIN_CALL(StandIn_RefuseCreations)(count); }
void Simulator::loseCreations(int count) { STANDIN_CALL(StandIn_LoseCreations)(count); }
void Simulator::versionMismatch(std::uint32_t index) { STANDIN_CALL(StandIn_VersionMismatch)(index); }
void Simulator::quit() { STANDIN_CALL(StandIn_Quit)(); }
void Simulator::newFlight(bool asFileNameMessage) { STANDIN_CALL(StandIn_NewFlight)(asFileNameMessage ? 1 : 0); }
void Simulator::setFlightRunning(bool running) { STANDIN_CALL(StandIn_SetFlightRunning)(running ? 1 : 0); }
void Simulator::teleportUser(double latitude, double longitude)
{
    STANDIN_CALL(StandIn_TeleportUser)(latitude, longitude);
}

void Simulator::setUserTitleModel(const std::string& title, const std::string& atcModel)
{
    STANDIN_CALL(StandIn_SetUserTitleModel)(title.c_str(), atcModel.c_str());
}

void Simulator::setUserGroundVelocity(double knots) { STANDIN_CALL(StandIn_SetUserGroundVelocity)(knots); }
void Simulator::sendBrokenMessage() { STANDIN_CALL(StandIn_SendBrokenMessage)(); }

std::uint32_t Simulator::addForeignObject(const std::string& atcId, double altitudeAboveGround, bool onGround,
                                          std::uint32_t objectType)
{
    return STANDIN_CALL(StandIn_AddForeignObject)(atcId.c_str(), altitudeAboveGround, onGround ? 1 : 0, objectType);
}

void Simulator::placeObject(std::uint32_t objectId, double altitude, bool onGround)
{
    STANDIN_CALL(StandIn_PlaceObject)(objectId, altitude, onGround ? 1 : 0);
}

void Simulator::removeObject(std::uint32_t objectId) { STANDIN_CALL(StandIn_RemoveObject)(objectId); }

std::vector<nlohmann::ordered_json> Simulator::journal()
{
    return jsonArray(fetchText([](char* b, std::uint32_t n) { return STANDIN_CALL(StandIn_Journal)(b, n); }));
}

std::vector<nlohmann::ordered_json> Simulator::calls()
{
    return jsonArray(fetchText([](char* b, std::uint32_t n) { return STANDIN_CALL(StandIn_Calls)(b, n); }));
}

std::vector<std::chrono::steady_clock::time_point> Simulator::callTimes(const std::string& function)
{
    const std::string text = fetchText(
        [&function](char* b, std::uint32_t n) { return STANDIN_CALL(StandIn_CallTimes)(function.c_str(), b, n); });
    std::vector<std::chrono::steady_clock::time_point> times;
    for (const auto& ns : nlohmann::json::parse(text))
        times.emplace_back(std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::nanoseconds(ns.get<std::int64_t>())));
    return times;
}

std::optional<SimObject> Simulator::object(std::uint32_t id)
{
    const auto json = nlohmann::json::parse(
        fetchText([id](char* b, std::uint32_t n) { return STANDIN_CALL(StandIn_Object)(id, b, n); }));
    if (json.is_null()) return std::nullopt;
    return objectFromJson(json);
}

std::vector<SimObject> Simulator::objects()
{
    std::vector<SimObject> all;
    for (const auto& o :
         nlohmann::json::parse(fetchText([](char*b, std::uint32_t n) { return STANDIN_CALL(StandIn_Objects)(b, n); })))
        all.push_back(objectFromJson(o));
    return all;
}

void* openClient(const char* name)
{
    const qtr::SimConnectLoad library = qtr::gf_loadSimConnect();
    if (!library.functions) throw std::runtime_error(library.problem);
    HANDLE handle = nullptr;
    if (library.functions->Open(&handle, name, nullptr, 0, nullptr, 0) < 0) return nullptr;
    return handle;
}

void closeClient(void* handle)
{
    if (const qtr::SimConnectFunctions* sc = qtr::simConnectFunctions(); sc && handle) sc->Close(handle);
}

Simulator& simulator()
{
    static Simulator instance;
    standInModule(); // fails at once when the stand-in is not there
    return instance;
}

} // namespace standin
