#pragma once
// The stand-in simulator as tests and tools drive it. The simulator itself is a drop-in
// "SimConnect.dll" (platform/simconnect/stand_in/): the program loads it as it loads Microsoft's
// library and never includes this file. Tests and tools reach its own control exports
// (stand_in/control.h) through this class, which loads the DLL from the executable's folder.
//
// Program runs: the scenario comes from the JSON file named by QUILLMARSH_SIM_SCENARIO (no
// variable: the simulator never answers), frames and once-a-second replies follow the real
// clock, and the journal is appended to the file named by QUILLMARSH_SIM_JOURNAL.
// Tests: reset() sets a scenario in-process and switches to manual stepping: frames and
// once-a-second replies come only from frame() and second(), and waitIdle() waits until the
// client's dispatch has taken every message.
#include "platform/simconnect/stand_in/records.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace standin {

class Simulator {
public:
    // Forgets everything (connection, objects, faults, journal) and takes the scenario;
    // switches to manual stepping and keeps the journal and the call list in memory.
    void reset(const Scenario& scenario);
    // Whether Open succeeds.
    void setPresent(bool present);
    // The time stamp of recorded calls (tests pass their own clock; empty: the real one).
    void setCallClock(std::function<std::chrono::steady_clock::time_point()> now);
    // Also append the journal to this file (empty: none).
    void setJournalPath(const std::wstring& path);

    // Manual stepping.
    void frame();
    void second();
    // Waits until every queued message has been dispatched and no dispatch is running; false
    // on time-out.
    bool waitIdle(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    bool connected();

    // Faults.
    void failCalls(const std::string& function, int count = -1); // -1: until cleared with 0
    void refuseCreations(int count);
    void loseCreations(int count);
    void versionMismatch(std::uint32_t index);
    void quit();
    void newFlight(bool asFileNameMessage);
    void setFlightRunning(bool running);
    void teleportUser(double latitude, double longitude);
    void setUserTitleModel(const std::string& title, const std::string& atcModel);
    void setUserGroundVelocity(double knots);
    void sendBrokenMessage();
    // An aircraft that the client did not create; announced with "ObjectAdded".
    std::uint32_t addForeignObject(const std::string& atcId, double altitudeAboveGround, bool onGround,
                                   std::uint32_t objectType = 2);
    // Moves an object as the simulation would (without a client call).
    void placeObject(std::uint32_t objectId, double altitude, bool onGround);
    // The simulation removes an object ("ObjectRemoved").
    void removeObject(std::uint32_t objectId);

    // Views.
    std::vector<nlohmann::ordered_json> journal();
    std::vector<nlohmann::ordered_json> calls();
    std::vector<std::chrono::steady_clock::time_point> callTimes(const std::string& function);
    std::optional<SimObject> object(std::uint32_t id);
    std::vector<SimObject> objects();
};

// The stand-in beside the running executable; throws std::runtime_error when it is not there.
Simulator& simulator();

// A client connection of the caller's own through the loaded library (for tools and tests that
// make the worker's calls without the SimConnect thread); null when the open fails.
void* openClient(const char* name);
void closeClient(void* handle);

} // namespace standin
