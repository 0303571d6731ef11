#include "airports/airport_file_format.h"

#include "foundation/errors.h"
#include "foundation/geometry.h"
#include "foundation/log.h"
#include "foundation/utilities.h"
#include "liveries/type_data_base.h"
#include "liveries/type_queries.h"

#include <fmt/format.h>
#include <pugixml.hpp>

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace qtr {

namespace {

constexpr std::size_t optionsPerStand = 256;

// The attribute read by parse (strtod-like: text, end out): fallback when it is missing; nothing
// when its text is not one whole number (blanks around it are allowed) or is out of range.
template <typename T, typename Parse>
std::optional<T> lf_attributeValue(const pugi::xml_node& node, const char* name, T fallback, Parse parse)
{
    const pugi::xml_attribute attribute = node.attribute(name);
    if (!attribute) return fallback;
    const std::string text = gf_trim(attribute.value());
    char* end = nullptr;
    errno = 0;
    const T value = parse(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || errno == ERANGE) return std::nullopt;
    return value;
}

std::optional<double> lf_numberAttribute(const pugi::xml_node& node, const char* name, double fallback)
{
    const auto value =
        lf_attributeValue<double>(node, name, fallback, [](const char* t, char** e) { return std::strtod(t, e); });
    if (value && !std::isfinite(*value)) return std::nullopt;
    return value;
}

std::optional<long long> lf_integerAttribute(const pugi::xml_node& node, const char* name, long long fallback)
{
    return lf_attributeValue<long long>(node, name, fallback,
                                        [](const char* t, char** e) { return std::strtoll(t, e, 10); });
}

bool lf_flag(const pugi::xml_node& node, const char* name) { return gf_isTrueText(node.attribute(name).value()); }

void lf_skipped(const std::string& fileText, const std::string& what)
{
    logMarked(fmt::format("Airport file \"{}\": {}, skipped", fileText, what));
}

} // namespace

bool gf_isTrueText(std::string_view text)
{
    if (text.empty()) return false;
    const char c = text.front();
    return c == '1' || c == 't' || c == 'T' || c == 'y' || c == 'Y';
}

CallsignKeys splitCallsignKeys(std::string_view cs)
{
    const std::size_t colon = cs.find(':');
    if (colon == std::string_view::npos) return {std::string(cs), {}};
    const std::string_view rest = cs.substr(colon + 1);
    return {std::string(cs.substr(0, colon)), std::string(rest.substr(0, rest.find(':')))};
}

OptionTexts parseStandOptions(const pugi::xml_node& opt)
{
    OptionTexts texts;
    const std::string reg = opt.attribute("reg").value();
    texts.airline = opt.attribute("airl").value();
    texts.type = opt.attribute("type").value();
    // The data base's record wins where it knows a field; an empty field of it is an unknown.
    if (const auto record = reg.empty() ? std::nullopt : registrationInfo(reg)) {
        if (!record->airline.empty()) texts.airline = record->airline;
        if (!record->type.empty()) texts.type = record->type;
    }
    texts.callsigns = splitCallsignKeys(opt.attribute("cs").value());
    return texts;
}

std::optional<StandOption> readStandOption(const pugi::xml_node& opt, std::uint32_t id, std::uint32_t sourceTag,
                                           const std::string& context)
{
    const auto day = lf_integerAttribute(opt, "day", 0);
    if (!day || *day < 0 || *day > 7) {
        lf_skipped(context, fmt::format("option of \"{}\" with day \"{}\"", opt.attribute("reg").value(),
                                        opt.attribute("day").value()));
        return std::nullopt;
    }
    OptionTexts texts = parseStandOptions(opt);
    StandOption option;
    option.airline = std::move(texts.airline);
    option.type = std::move(texts.type);
    option.reg = opt.attribute("reg").value();
    option.cs = std::move(texts.callsigns.first);
    option.cs2 = std::move(texts.callsigns.second);
    option.slots = gf_hours2bitset(opt.attribute("hh").value());
    option.id = id;
    option.day = static_cast<std::uint32_t>(*day);
    option.fixed = sourceTag;
    option.kind = lf_flag(opt, "soft") ? optionSoft : optionReal;
    return option;
}

namespace {

// A heading brought into 0...360 degrees; one inside is kept as it stands (north may be 360).
double lf_compassDegrees(double degrees)
{
    if (degrees >= 0.0 && degrees <= 360.0) return degrees;
    const double wrapped = std::fmod(degrees, 360.0);
    return wrapped < 0.0 ? wrapped + 360.0 : wrapped;
}

} // namespace

bool readStands(const pugi::xml_node& parkpos, const std::string& name, std::uint32_t sourceTag,
                std::vector<Stand>& list, const std::string& fileText)
{
    const auto lat = lf_numberAttribute(parkpos, "latitude", 0.0);
    const auto lon = lf_numberAttribute(parkpos, "longitude", 0.0);
    const auto heading = lf_numberAttribute(parkpos, "heading", 0.0);
    const auto radius = lf_numberAttribute(parkpos, "radius", 0.0);
    if (!lat || !lon || !heading || !radius) {
        lf_skipped(fileText, fmt::format("stand \"{}\" has an attribute that is not a number", name));
        return false;
    }
    if (*lat == 0.0 && *lon == 0.0) {
        lf_skipped(fileText, fmt::format("stand \"{}\" has no position", name));
        return false;
    }
    // No stand is wider than the largest parking the simulator's scenery has.
    if (*lat < -90.0 || *lat > 90.0 || *lon < -180.0 || *lon > 180.0 || *radius < 0.0 ||
        *radius > largestStandRadiusMetres) {
        lf_skipped(fileText,
                   fmt::format("stand \"{}\" at {},{} with radius {} is impossible", name, *lat, *lon, *radius));
        return false;
    }
    Stand stand;
    stand.name = name;
    stand.lat = *lat;
    stand.lon = *lon;
    stand.heading = lf_compassDegrees(*heading) * degToRad;
    stand.radius = *radius * metresToNm;
    stand.cargo = lf_flag(parkpos, "cargo");
    stand.ramp = lf_flag(parkpos, "ramp");
    stand.heli = lf_flag(parkpos, "heli");
    stand.manual = lf_flag(parkpos, "manual");
    stand.radius_change = lf_flag(parkpos, "radius_change");
    stand.cargo_change = lf_flag(parkpos, "cargo_change");
    stand.options.reserve(optionsPerStand);
    const std::string context = fmt::format("{}, stand {}", fileText, name);
    std::uint32_t id = 1;
    for (const pugi::xml_node opt : parkpos.children(apfOption)) {
        if (auto option = readStandOption(opt, id, sourceTag, context)) {
            stand.options.push_back(std::move(*option));
            ++id;
        }
    }
    list.push_back(std::move(stand));
    return true;
}

std::string tooManyStandsText(std::size_t count)
{
    return fmt::format("{} stands, more than an airport can have ({})", count, maximumStands);
}

void refuseTooManyStands(const pugi::xml_node& parkpositions)
{
    std::size_t count = 0;
    for (const pugi::xml_node parkpos : parkpositions.children(apfParkPos)) {
        (void)parkpos;
        ++count;
    }
    if (count > maximumStands) throw UserErrorException(94, tooManyStandsText(count));
}

} // namespace qtr
