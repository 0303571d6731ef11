#include "platform/simconnect/stand_in/records.h"

#include <pugixml.hpp>

#include <stdexcept>

namespace standin {

// Every key optional: a missing one keeps the default.
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(UserAircraft, title, atcModel, latitude, longitude, altitude,
                                                groundAltitude, pitch, bank, heading, groundVelocity, onGround,
                                                zuluTime, zuluDayOfYear, zuluYear, lightStates)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(AirportGround, code, latitude, longitude, elevation)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(SimObject, id, objectType, user, createdByClient, title, livery,
                                                atcId, atcModel, latitude, longitude, altitude, groundAltitude, pitch,
                                                bank, heading, verticalSpeed, trueAirspeed, groundVelocity, onGround,
                                                staticCg, staticPitch, spoilers, throttle1, throttle2, lightStates,
                                                released, frozenLatLon, frozenAltitude, frozenAttitude, planPath,
                                                planDeparture, planDestination, planType)

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
        if (json.contains("installedTitles")) s.installedTitles = json.at("installedTitles").get<std::vector<std::string>>();
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
    return nlohmann::json{{"applicationName", s.applicationName},
                          {"applicationVersion", {s.applicationVersion[0], s.applicationVersion[1],
                                                  s.applicationVersion[2], s.applicationVersion[3]}},
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

nlohmann::json objectToJson(const SimObject& object) { return object; }

SimObject objectFromJson(const nlohmann::json& json) { return json.get<SimObject>(); }

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
