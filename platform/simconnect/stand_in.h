#pragma once
// The stand-in simulator behind our SimConnect header: what tests and tools use to drive it.
// The program itself never includes this file; it only calls the SimConnect functions.
//
// Program runs: the scenario comes from the JSON file named by QUILLMARSH_SIM_SCENARIO (no
// variable: the simulator never answers), frames and once-a-second replies follow the real
// clock, and the journal is appended to the file named by QUILLMARSH_SIM_JOURNAL.
// Tests: reset() sets a scenario in-process and switches to manual stepping: frames and
// once-a-second replies come only from frame() and second(), and waitIdle() waits until the
// client's dispatch has taken every message.
#include <nlohmann/json.hpp>

#include <windows.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace standin {

struct UserAircraft {
    std::string title = "Airbus A320 Neo Asobo";
    std::string atcModel = "ATCCOM.AC_MODEL A320.0.text";
    double latitude = 47.4612;   // degrees
    double longitude = 8.5535;   // degrees
    double altitude = 1416.0;    // feet
    double groundAltitude = 1416.0; // feet
    double pitch = 0.0;          // degrees
    double bank = 0.0;           // degrees
    double heading = 280.0;      // degrees true
    double groundVelocity = 0.0; // knots
    bool onGround = true;
    // Simulator UTC: seconds of the day, day of year (1 = 1 January), year.
    std::int64_t zuluTime = 43200;
    std::int64_t zuluDayOfYear = 152;
    std::int64_t zuluYear = 2024;
    std::int64_t lightStates = 0;
};

struct Scenario {
    std::string applicationName = "KittyHawk"; // "KittyHawk" (2020) or "SunRise" (2024)
    DWORD applicationVersion[4] = {11, 0, 282174, 999};
    float frameRate = 30.0f;         // reported in every frame message
    double framesPerSecond = 30.0;   // how often frames arrive in program runs
    double presentAfterSeconds = 0;  // program runs: the simulator answers Open after this delay
    bool flightRunning = true;       // a flight is loaded ("Sim" event with data 1)
    UserAircraft user;
    std::vector<std::string> installedTitles;
    double staticCg = 8.5;     // feet, of every created object
    double staticPitch = 0.01; // radians
    DWORD userObjectId = 1;
    DWORD firstObjectId = 1000;
};

// Reads a scenario; throws std::runtime_error with a clear text on a bad one.
Scenario scenarioFromJson(const nlohmann::json& json);

// One object of the simulation as the stand-in keeps it.
struct SimObject {
    DWORD id = 0;
    DWORD objectType = 2;
    bool user = false;
    bool createdByClient = false;
    std::string title;
    std::string atcId;
    std::string atcModel;
    double latitude = 0, longitude = 0; // degrees
    double altitude = 0;                // feet
    double groundAltitude = 0;          // feet
    double pitch = 0, bank = 0, heading = 0; // radians
    double verticalSpeed = 0;           // feet per second
    double trueAirspeed = 0;            // knots
    double groundVelocity = 0;          // knots
    bool onGround = false;
    double staticCg = 0;    // feet
    double staticPitch = 0; // radians
    double spoilers = 0, throttle1 = 0, throttle2 = 0; // percent
    std::int64_t lightStates = 0;
    bool released = false;
    bool frozenLatLon = false, frozenAltitude = false, frozenAttitude = false;
    std::string planPath, planDeparture, planDestination, planType;
};

// What a flight-plan file says; empty when it cannot be read.
struct PlanSummary {
    std::string type, departure, destination;
};
std::optional<PlanSummary> readPlanFile(const std::wstring& path);

class Simulator {
public:
    // Forgets everything (connection, objects, faults, journal) and takes the scenario;
    // switches to manual stepping and keeps the journal and the call list in memory.
    void reset(const Scenario& scenario);
    // Whether Open succeeds.
    void setPresent(bool present);
    // The time stamp of recorded calls (tests pass their own clock).
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
    void versionMismatch(DWORD index);
    void quit();
    void newFlight(bool asFileNameMessage);
    void setFlightRunning(bool running);
    void teleportUser(double latitude, double longitude);
    void setUserTitleModel(const std::string& title, const std::string& atcModel);
    void setUserGroundVelocity(double knots);
    // An aircraft that the client did not create; announced with "ObjectAdded".
    DWORD addForeignObject(const std::string& atcId, double altitudeAboveGround, bool onGround,
                           DWORD objectType = 2);
    // Moves an object as the simulation would (without a client call).
    void placeObject(DWORD objectId, double altitude, bool onGround);

    // Views.
    std::vector<nlohmann::ordered_json> journal();
    std::vector<nlohmann::ordered_json> calls();
    std::vector<std::chrono::steady_clock::time_point> callTimes(const std::string& function);
    std::optional<SimObject> object(DWORD id);
    std::vector<SimObject> objects();
};

Simulator& simulator();

} // namespace standin
