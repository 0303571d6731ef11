#include "platform/simconnect/stand_in/records.h"

#include <pugixml.hpp>

#include <cmath>
#include <stdexcept>
#include <type_traits>

namespace standin {

// Every key optional: a missing one keeps the default.
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(UserAircraft, title, atcModel, latitude, longitude, altitude,
                                                groundAltitude, pitch, bank, heading, groundVelocity, onGround,
                                                zuluTime, zuluDayOfYear, zuluYear, lightStates)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(AirportGround, code, latitude, longitude, elevation)
// The members that are no simulation variable; the variables' members come from their table.
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(SimObject, id, objectType, user, createdByClient, livery, released,
                                                frozenLatLon, frozenAltitude, frozenAttitude, planPath, planDeparture,
                                                planDestination, planType)

namespace {

// Height of an object's wheels above its ground: the user's altitude is the eyepoint's on the
// ground, an object's is its centre of gravity, standing staticCg above it.
double aboveGround(const SimObject& o, const UserAircraft&)
{
    const double height = o.altitude - o.groundAltitude - (o.user ? 0.0 : o.staticCg);
    return height > 0 ? height : 0.0;
}

double zuluTime(const SimObject&, const UserAircraft& u) { return static_cast<double>(u.zuluTime); }
double zuluDayOfYear(const SimObject&, const UserAircraft& u) { return static_cast<double>(u.zuluDayOfYear); }
double zuluYear(const SimObject&, const UserAircraft& u) { return static_cast<double>(u.zuluYear); }

} // namespace

const std::vector<ObjectVariable>& objectVariables()
{
    using K = VariableKind;
    using J = Journal;
    using O = SimObject;
    static const std::vector<ObjectVariable> table = {
        // name, kind, kept in, JSON key, settable, journal, pose key
        {"PLANE LATITUDE", K::LatLon, &O::latitude, "latitude", true, J::Pose, "lat"},
        {"PLANE LONGITUDE", K::LatLon, &O::longitude, "longitude", true, J::Pose, "lon"},
        {"PLANE ALTITUDE", K::Length, &O::altitude, "altitude", true, J::Pose, "alt"},
        {"PLANE HEADING DEGREES TRUE", K::Angle, &O::heading, "heading", true, J::Pose, "heading"},
        {"PLANE PITCH DEGREES", K::Angle, &O::pitch, "pitch", true, J::Data},
        {"PLANE BANK DEGREES", K::Angle, &O::bank, "bank", true, J::Data},
        {"VERTICAL SPEED", K::VerticalSpeed, &O::verticalSpeed, "verticalSpeed", true, J::Data},
        {"AIRSPEED TRUE", K::Speed, &O::trueAirspeed, "trueAirspeed", true, J::Data},
        {"SPOILERS HANDLE POSITION", K::Percent, &O::spoilers, "spoilers", true, J::Data},
        {"GENERAL ENG THROTTLE LEVER POSITION:1", K::Percent, &O::throttle1, "throttle1", true, J::Data},
        {"GENERAL ENG THROTTLE LEVER POSITION:2", K::Percent, &O::throttle2, "throttle2", true, J::Data},
        {"ATC ID", K::Text, &O::atcId, "atcId", true, J::Data},
        {"PLANE ALT ABOVE GROUND", K::Length, &aboveGround, "", false, J::No},
        {"GROUND ALTITUDE", K::Length, &O::groundAltitude, "groundAltitude", false, J::No},
        {"GROUND VELOCITY", K::Speed, &O::groundVelocity, "groundVelocity", false, J::No},
        {"STATIC CG TO GROUND", K::Length, &O::staticCg, "staticCg", false, J::No},
        {"STATIC PITCH", K::Angle, &O::staticPitch, "staticPitch", false, J::No},
        {"SIM ON GROUND", K::Bool, &O::onGround, "onGround", false, J::No},
        {"LIGHT STATES", K::Mask, &O::lightStates, "lightStates", false, J::No},
        {"LIGHT ON STATES", K::Mask, &O::lightStates, "", false, J::No},
        {"TITLE", K::Text, &O::title, "title", false, J::No},
        {"ATC MODEL", K::Text, &O::atcModel, "atcModel", false, J::No},
        {"ZULU TIME", K::Seconds, &zuluTime, "", false, J::No},
        {"ZULU DAY OF YEAR", K::Number, &zuluDayOfYear, "", false, J::No},
        {"ZULU YEAR", K::Number, &zuluYear, "", false, J::No},
    };
    return table;
}

const ObjectVariable* findVariable(std::string_view name)
{
    for (const ObjectVariable& v : objectVariables())
        if (v.name == name) return &v;
    return nullptr;
}

VariableValue readVariable(const ObjectVariable& variable, const SimObject& object, const UserAircraft& user)
{
    return std::visit(
        [&](const auto& store) -> VariableValue {
            using Store = std::decay_t<decltype(store)>;
            if constexpr (std::is_same_v<Store, DerivedVariable>) {
                return store(object, user);
            } else if constexpr (std::is_same_v<Store, std::string SimObject::*>) {
                return object.*store;
            } else {
                return static_cast<double>(object.*store);
            }
        },
        variable.store);
}

bool writeVariable(const ObjectVariable& variable, SimObject& object, const VariableValue& value)
{
    if (!variable.settable) return false;
    return std::visit(
        [&](const auto& store) {
            using Store = std::decay_t<decltype(store)>;
            if constexpr (std::is_same_v<Store, DerivedVariable>) {
                return false;
            } else if constexpr (std::is_same_v<Store, std::string SimObject::*>) {
                if (!std::holds_alternative<std::string>(value)) return false;
                object.*store = std::get<std::string>(value);
                return true;
            } else {
                if (!std::holds_alternative<double>(value)) return false;
                const double number = std::get<double>(value);
                using Member = std::decay_t<decltype(object.*store)>;
                if constexpr (std::is_same_v<Member, bool>) {
                    object.*store = number != 0;
                } else if constexpr (std::is_same_v<Member, std::int64_t>) {
                    object.*store = static_cast<std::int64_t>(std::llround(number));
                } else {
                    object.*store = number;
                }
                return true;
            }
        },
        variable.store);
}

Scenario scenarioFromJson(const nlohmann::json& json)
{
    if (!json.is_object()) throw std::runtime_error("scenario: the file must hold one JSON object");
    Scenario s;
    try {
        s.applicationName = json.value("applicationName", s.applicationName);
        if (json.contains("applicationVersion")) {
            const auto& v = json.at("applicationVersion");
            if (!v.is_array() || v.size() != 4) throw std::runtime_error("applicationVersion must hold four numbers");
            for (int i = 0; i < 4; ++i) s.applicationVersion[i] = v.at(i).get<std::uint32_t>();
        }
        s.frameRate = json.value("frameRate", s.frameRate);
        s.framesPerSecond = json.value("framesPerSecond", s.framesPerSecond);
        s.presentAfterSeconds = json.value("presentAfterSeconds", s.presentAfterSeconds);
        s.flightRunning = json.value("flightRunning", s.flightRunning);
        s.staticCg = json.value("staticCg", s.staticCg);
        s.staticPitch = json.value("staticPitch", s.staticPitch);
        s.userObjectId = json.value("userObjectId", s.userObjectId);
        s.firstObjectId = json.value("firstObjectId", s.firstObjectId);
        if (json.contains("installedTitles"))
            s.installedTitles = json.at("installedTitles").get<std::vector<std::string>>();
        if (json.contains("rotorcraftTitles"))
            s.rotorcraftTitles = json.at("rotorcraftTitles").get<std::vector<std::string>>();
        if (json.contains("airports")) s.airports = json.at("airports").get<std::vector<AirportGround>>();
        if (json.contains("user")) {
            const auto& u = json.at("user");
            if (!u.is_object()) throw std::runtime_error("user must be an object");
            s.user = u.get<UserAircraft>();
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

nlohmann::json scenarioToJson(const Scenario& s)
{
    return nlohmann::json{
        {"applicationName", s.applicationName},
        {"applicationVersion",
         {s.applicationVersion[0], s.applicationVersion[1], s.applicationVersion[2], s.applicationVersion[3]}},
        {"frameRate", s.frameRate},
        {"framesPerSecond", s.framesPerSecond},
        {"presentAfterSeconds", s.presentAfterSeconds},
        {"flightRunning", s.flightRunning},
        {"user", s.user},
        {"installedTitles", s.installedTitles},
        {"rotorcraftTitles", s.rotorcraftTitles},
        {"staticCg", s.staticCg},
        {"staticPitch", s.staticPitch},
        {"userObjectId", s.userObjectId},
        {"firstObjectId", s.firstObjectId},
        {"airports", s.airports}};
}

nlohmann::json objectToJson(const SimObject& object)
{
    nlohmann::json json = object;
    for (const ObjectVariable& v : objectVariables()) {
        if (v.key.empty()) continue;
        const std::string key(v.key);
        std::visit(
            [&](const auto& store) {
                if constexpr (!std::is_same_v<std::decay_t<decltype(store)>, DerivedVariable>)
                    json[key] = object.*store;
            },
            v.store);
    }
    return json;
}

SimObject objectFromJson(const nlohmann::json& json)
{
    SimObject object = json.get<SimObject>();
    for (const ObjectVariable& v : objectVariables()) {
        if (v.key.empty()) continue;
        const auto it = json.find(std::string(v.key));
        if (it == json.end()) continue;
        std::visit(
            [&](const auto& store) {
                if constexpr (!std::is_same_v<std::decay_t<decltype(store)>, DerivedVariable>)
                    it->get_to(object.*store);
            },
            v.store);
    }
    return object;
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

} // namespace standin
