#pragma once
// The stand-in simulator's records as both sides of its DLL boundary see them: the scenario, one
// simulation object with the table of its variables, a flight plan's summary, and their JSON forms,
// in which they cross the boundary. Compiled into the stand-in DLL and into the control library of
// tests and tools.
#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace standin {

struct UserAircraft {
    std::string title = "Airbus A320 Neo Asobo";
    std::string atcModel = "ATCCOM.AC_MODEL A320.0.text";
    double latitude = 47.4612;      // degrees
    double longitude = 8.5535;      // degrees
    double altitude = 1416.0;       // feet
    double groundAltitude = 1416.0; // feet
    double pitch = 0.0;             // degrees
    double bank = 0.0;              // degrees
    double heading = 280.0;         // degrees true
    double groundVelocity = 0.0;    // knots
    bool onGround = true;
    // Simulator UTC: seconds of the day, day of year (1 = 1 January), year.
    std::int64_t zuluTime = 43200;
    std::int64_t zuluDayOfYear = 152;
    std::int64_t zuluYear = 2024;
    std::int64_t lightStates = 0;
};

// An airport of the simulated world: where its ground lies.
struct AirportGround {
    std::string code;
    double latitude = 0, longitude = 0; // degrees
    double elevation = 0;               // feet
};

struct Scenario {
    std::string applicationName = "KittyHawk"; // "KittyHawk" (2020) or "SunRise" (2024)
    std::uint32_t applicationVersion[4] = {11, 0, 282174, 999};
    float frameRate = 30.0f;        // reported in every frame message
    double framesPerSecond = 30.0;  // how often frames arrive in program runs
    double presentAfterSeconds = 0; // program runs: the simulator answers Open after this delay
    bool flightRunning = true;      // a flight is loaded ("Sim" event with data 1)
    UserAircraft user;
    std::vector<std::string> installedTitles;
    // Installed titles of rotorcraft: their objects are announced and listed as helicopters.
    std::vector<std::string> rotorcraftTitles;
    double staticCg = 8.5;     // feet, of every created object
    double staticPitch = 0.01; // radians
    std::uint32_t userObjectId = 1;
    std::uint32_t firstObjectId = 1000;
    // The ground of objects: an object at one of these airports stands on its elevation, one far
    // from all of them on sea level. Without airports every object has the user's ground.
    std::vector<AirportGround> airports;
};

// Reads a scenario; throws std::runtime_error with a text beginning "scenario: " on a bad one.
Scenario scenarioFromJson(const nlohmann::json& json);
nlohmann::json scenarioToJson(const Scenario& scenario);

// One object of the simulation as the stand-in keeps it.
struct SimObject {
    std::uint32_t id = 0;
    std::uint32_t objectType = 2;
    bool user = false;
    bool createdByClient = false;
    std::string title;
    std::string livery; // as asked for by the MSFS 2024 creation call
    std::string atcId;
    std::string atcModel;
    double latitude = 0, longitude = 0;      // degrees
    double altitude = 0;                     // feet
    double groundAltitude = 0;               // feet
    double pitch = 0, bank = 0, heading = 0; // radians
    double verticalSpeed = 0;                // feet per second
    double trueAirspeed = 0;                 // knots
    double groundVelocity = 0;               // knots
    bool onGround = false;
    double staticCg = 0;                               // feet
    double staticPitch = 0;                            // radians
    double spoilers = 0, throttle1 = 0, throttle2 = 0; // percent
    std::int64_t lightStates = 0;
    bool released = false;
    bool frozenLatLon = false, frozenAltitude = false, frozenAttitude = false;
    std::string planPath, planDeparture, planDestination, planType;
};

nlohmann::json objectToJson(const SimObject& object);
SimObject objectFromJson(const nlohmann::json& json);

// --- the simulation variables of an object ------------------------------------------------------
//
// Every variable a client may name in a data definition is one row of objectVariables(): the
// simulator's replies, a client's writes, the journal and the object's JSON form (what tests see
// through sim.object(id)) all come from that row, so a variable is added in one place.

// How a variable is measured; each kind has its own units (the stand-in's own one is the unit of
// the member that keeps it).
enum class VariableKind { LatLon, Angle, Length, Speed, VerticalSpeed, Percent, Bool, Number, Mask, Seconds, Text };

// Where a variable is kept: a member of the object, or a value derived from the object and the
// user aircraft of the scenario (the simulator's clock is the user's).
using DerivedVariable = double (*)(const SimObject& object, const UserAircraft& user);
using VariableStore = std::variant<double SimObject::*, bool SimObject::*, std::int64_t SimObject::*,
                                   std::string SimObject::*, DerivedVariable>;

// How a client's write of the variable shows in the journal: not at all, in a "data" line under
// the variable's name, or in the "pose" line under its pose key (such a write moves the object).
enum class Journal { No, Data, Pose };

struct ObjectVariable {
    std::string_view name; // as SimConnect names it, upper case
    VariableKind kind;
    VariableStore store;
    std::string_view key; // in the object's JSON form; empty: shown under another variable's key
    bool settable;
    Journal journal;
    std::string_view poseKey = {}; // Journal::Pose only
};

const std::vector<ObjectVariable>& objectVariables();
// The variable of an upper-case name; null when the simulator does not know it.
const ObjectVariable* findVariable(std::string_view name);

// A variable's value: a number in the stand-in's own unit of its kind, or a text.
using VariableValue = std::variant<double, std::string>;
VariableValue readVariable(const ObjectVariable& variable, const SimObject& object, const UserAircraft& user);
// Keeps a client's value (a number in the stand-in's own unit, or a text) in the object; false
// when the variable is not settable or the value is of the other sort.
bool writeVariable(const ObjectVariable& variable, SimObject& object, const VariableValue& value);

// What a flight-plan file says; empty when it cannot be read.
struct PlanSummary {
    std::string type, departure, destination;
};
std::optional<PlanSummary> readPlanFile(const std::wstring& path);

} // namespace standin
