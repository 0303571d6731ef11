#include "foundation/flight_record.h"

#include <fmt/format.h>

#include <cctype>
#include <stdexcept>
#include <unordered_map>

namespace qtr {

FlightRecord FlightRecord::identityOf(const FlightRecord& source)
{
    FlightRecord r;
    r.airline = source.airline;
    r.type = source.type;
    r.origin = source.origin;
    r.destination = source.destination;
    r.callsign = source.callsign;
    r.callsignKey = source.callsignKey;
    r.coupledCallsign = source.coupledCallsign;
    r.registration = source.registration;
    r.coupledSearched = source.coupledSearched;
    return r;
}

std::string airlineTypeText(const FlightRecord& r) { return fmt::format("{:3} {:4}", r.airline, r.type); }

bool sameAirlineAndType(const FlightRecord& a, const FlightRecord& b)
{
    return a.airline == b.airline && a.type == b.type;
}

std::string routeText(const FlightRecord& r)
{
    if (r.origin.empty() && r.destination.empty()) return std::string(8, ' ');
    return fmt::format("{:3}->{:3}", r.origin, r.destination);
}

std::string callsignText(const FlightRecord& r) { return fmt::format("{:8}", r.callsign); }

std::string routeCallsignText(const FlightRecord& r)
{
    return fmt::format("{} {:8} {}", callsignText(r), r.registration, routeText(r));
}

std::string flightText(const FlightRecord& r) { return fmt::format("{} {}", routeCallsignText(r), airlineTypeText(r)); }

void flightTextCopy(const FlightRecord& r, std::string& out) { out = flightText(r); }

std::string flightFullText(const FlightRecord& r)
{
    return fmt::format("{} {} {}", callsignText(r), r.registration, airlineTypeText(r));
}

std::string coupleKey(const FlightRecord& r) { return fmt::format("{} {}", airlineTypeText(r), r.registration); }

bool hasCallsign(const FlightRecord& r)
{
    return !r.callsign.empty() && r.callsign.size() <= 8 && r.callsign != "@@@@@@@@";
}

std::optional<std::string> airlineCodeFromCallsign(std::string_view callsign)
{
    if (callsign.size() < 4) return std::nullopt;
    for (int i = 0; i < 3; ++i)
        if (!std::isalpha(static_cast<unsigned char>(callsign[i]))) return std::nullopt;
    if (!std::isdigit(static_cast<unsigned char>(callsign[3]))) return std::nullopt;
    std::string code(callsign.substr(0, 3));
    for (char& c : code) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return code;
}

bool setAirlineFromCallsign(FlightRecord& r)
{
    auto code = airlineCodeFromCallsign(r.callsign);
    if (!code) return false;
    r.airline = std::move(*code);
    return true;
}

std::string_view categoryName(std::uint32_t category)
{
    static const std::unordered_map<std::uint32_t, std::string_view> names{
        {0, "Light"}, {1, "Buzjets"}, {2, "Large"}, {3, "Heavy"}, {4, "HighPerf"}, {5, "Rotorcraft"}};
    const auto it = names.find(category);
    if (it == names.end()) throw std::out_of_range("invalid unordered_map<K, T> key");
    return it->second;
}

} // namespace qtr
