#include "airports/airport_file_writer.h"

#include "airports/airport_file_format.h"
#include "foundation/geometry.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/parameters/parameters_file.h"
#include "foundation/text_files.h"
#include "foundation/utilities.h"
#include "foundation/xml_meta.h"
#include "liveries/type_data_base.h"
#include "liveries/type_queries.h"

#include <fmt/format.h>
#include <pugixml.hpp>

namespace qtr {

namespace {

// Appends an attribute; false when the element cannot take it.
bool lf_attribute(pugi::xml_node node, const char* name, const std::string& value)
{
    pugi::xml_attribute attribute = node.append_attribute(name);
    return attribute && attribute.set_value(value.c_str());
}

// The slots of an option as airport files carry them: every number followed by a comma
// ("3,4,5,"), the form of the `hh` attribute in every airport file.
std::string lf_slotList(const SlotSet& slots)
{
    std::string text = gf_bitset2hours(slots);
    if (!text.empty()) text += ',';
    return text;
}

bool lf_flagAttribute(pugi::xml_node node, const char* name, bool value)
{
    return lf_attribute(node, name, value ? "true" : "false");
}

// The parking settings that travel with a learned file, in the file's order.
bool lf_writeSettings(pugi::xml_node parameters)
{
    bool ok = appendIntParameterNode(parameters, LATERAL_RANGE.name, LATERAL_RANGE.value()) &&
              appendBoolParameterNode(parameters, AUTO_RANGE.name, AUTO_RANGE.value()) &&
              appendBoolParameterNode(parameters, WEEK.name, WEEK.value()) &&
              appendBoolParameterNode(parameters, PARK_FAKE.name, PARK_FAKE.value()) &&
              appendBoolParameterNode(parameters, PARK_SOFT.name, PARK_SOFT.value()) &&
              appendIntParameterNode(parameters, parking_percentage.name, parking_percentage.value()) &&
              appendBoolParameterNode(parameters, INITIAL_LOAD_ONLY.name, INITIAL_LOAD_ONLY.value()) &&
              appendIntParameterNode(parameters, MAX_FIT.name, MAX_FIT.value());
    // "No limit" (-1) is what reading a file without it gives.
    if (ok && MAX_LIVE.value() >= 0) ok = appendIntParameterNode(parameters, MAX_LIVE.name, MAX_LIVE.value());
    return ok && appendBoolParameterNode(parameters, LEARN_SOFT.name, LEARN_SOFT.value());
}

bool writeApfParameters(pugi::xml_document& doc, const ApfRecord& record, std::uint32_t kind)
{
    pugi::xml_node parameters = doc.append_child(apfParameters);
    if (!parameters) return false;
    bool ok = appendParameterNode(parameters, apfAirportName, record.airportName) &&
              appendParameterNode(parameters, apfPublisher, record.publisher);
    if (ok && record.handmade) ok = appendBoolParameterNode(parameters, apfHandmade, true);
    if (ok && (record.handmade || kind == apfKindGenerated))
        ok = appendIntParameterNode(parameters, apfAltitude, record.elevationFt);
    if (ok) ok = appendIntParameterNode(parameters, apfNumParkPos, static_cast<std::int32_t>(record.stands.size()));
    if (ok && record.handmade)
        ok = appendIntParameterNode(parameters, apfQfReal, record.quality.real) &&
             appendIntParameterNode(parameters, apfQfSoft, record.quality.soft);
    if (ok && record.publisher == "unknown")
        ok = appendParameterNode(parameters, apfBglPath, record.bglPath) &&
             appendParameterNode(parameters, apfManufacturer, record.manufacturer) &&
             appendParameterNode(parameters, apfCreator, record.creator);
    if (ok && kind == apfKindLearned) ok = lf_writeSettings(parameters);
    return ok;
}

bool lf_writeWholeStand(pugi::xml_node parkpos, const Stand& stand)
{
    bool ok = lf_attribute(parkpos, "latitude", fmt::format("{:.6f}", stand.lat)) &&
              lf_attribute(parkpos, "longitude", fmt::format("{:.6f}", stand.lon)) &&
              lf_attribute(parkpos, "heading", fmt::format("{:.1F}", stand.heading * radToDeg)) &&
              lf_attribute(parkpos, "radius", fmt::format("{:.1F}", stand.radius * nmToMetres));
    if (ok) ok = stand.heli ? lf_flagAttribute(parkpos, "heli", true) : lf_flagAttribute(parkpos, "cargo", stand.cargo);
    return ok && lf_flagAttribute(parkpos, "ramp", stand.ramp);
}

bool writeStandOptions(pugi::xml_node parkpos, const StandOption& option)
{
    pugi::xml_node opt = parkpos.append_child(apfOption);
    bool ok = opt && lf_attribute(opt, "reg", option.reg);
    // Airline and type come from the data base when its record of the registration holds both.
    const auto record = registrationInfo(option.reg);
    if (ok && !(record && !record->airline.empty() && !record->type.empty()))
        ok = lf_attribute(opt, "airl", option.airline) && lf_attribute(opt, "type", option.type);
    if (ok && option.kind == optionSoft) ok = lf_flagAttribute(opt, "soft", true);
    ok = ok && lf_attribute(opt, "day", fmt::format("{}", option.day)) &&
         lf_attribute(opt, "hh", lf_slotList(option.slots));
    const std::string cs = option.cs2.empty() ? option.cs : option.cs + ":" + option.cs2;
    if (ok && !cs.empty()) ok = lf_attribute(opt, "cs", cs);
    return ok;
}

bool writeStands(pugi::xml_node parkpositions, const Stand& stand, const ApfRecord& record, std::uint32_t kind)
{
    pugi::xml_node parkpos = parkpositions.append_child(apfParkPos);
    if (!parkpos || !lf_attribute(parkpos, "id", stand.name)) return false;
    if (kind == apfKindGenerated) return lf_writeWholeStand(parkpos, stand);
    bool ok = true;
    if ((stand.radius_change || stand.cargo_change) && !stand.manual && !record.handmade) {
        // A learned change of an archived stand: only what changed. A handmade file is read
        // without its airport file, so there every stand goes whole (with its learned radius and
        // cargo flag), or a changed stand would come back without a position and be lost.
        if (stand.radius_change)
            ok = lf_flagAttribute(parkpos, "radius_change", true) &&
                 lf_attribute(parkpos, "radius", fmt::format("{:.1F}", stand.radius * nmToMetres));
        if (ok && stand.cargo_change)
            ok = lf_flagAttribute(parkpos, "cargo_change", true) && lf_flagAttribute(parkpos, "cargo", stand.cargo);
    } else if (stand.manual || record.handmade) {
        ok = lf_writeWholeStand(parkpos, stand);
        if (ok && stand.manual) ok = lf_flagAttribute(parkpos, "manual", true);
    }
    for (const StandOption& option : stand.options)
        if (ok && option.id != 0) ok = writeStandOptions(parkpos, option);
    return ok;
}

} // namespace

bool saveApf(const ApfRecord& record, const std::filesystem::path& target, std::uint32_t kind)
{
    pugi::xml_document doc;
    if (!writeXmlMeta(doc) || !writeApfParameters(doc, record, kind)) return false;
    pugi::xml_node parkpositions = doc.append_child(apfParkPositions);
    if (!parkpositions) return false;
    for (const Stand& stand : record.stands)
        if (!writeStands(parkpositions, stand, record, kind)) return false;
    return gf_saveXmlReplacing(doc, target);
}

} // namespace qtr
