#include "airports/learned_file.h"

#include "airports/airport_file_format.h"
#include "airports/airport_file_queries.h"
#include "foundation/indicators.h"
#include "foundation/parameters/parameter_display.h"
#include "foundation/errors.h"
#include "foundation/log.h"
#include "foundation/os_files.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/paths.h"
#include "foundation/utilities.h"
#include "foundation/win_text.h"
#include "foundation/xml_meta.h"
#include "foundation/parameters/lateral_range.h"

#include <fmt/format.h>
#include <pugixml.hpp>

#include <algorithm>
#include <set>
#include <stdexcept>

namespace qtr {

namespace {

void lf_replaceFirst(std::string& text, const std::string& what, const std::string& with)
{
    if (const std::size_t at = text.find(what); at != std::string::npos) text.replace(at, what.size(), with);
}

void lf_replaceAll(std::string& text, const std::string& what, const std::string& with)
{
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
}

void lf_logSetting(const std::string& key, const std::string& value) { logLine(fmt::format("{:24}: {}", key, value)); }

void lf_applyBool(const pugi::xml_document& doc, CheckBoxParameter& parameter)
{
    const auto value = gf_getParameterBool(doc, parameter.name);
    if (!value) return;
    parameter.setValue(*value);
    showCheckBoxParameter(parameter);
    lf_logSetting(parameter.name, *value ? "true" : "false");
}

// The settings that travel with the airport, in the order they are applied.
void lf_applySettings(const pugi::xml_document& doc)
{
    lf_applyBool(doc, LEARN_SOFT);

    const auto maxLive = gf_getParameterInt(doc, MAX_LIVE.name);
    MAX_LIVE.setValue(maxLive ? MAX_LIVE.clamp(*maxLive) : -1); // not written while unlimited
    showIntParameter(MAX_LIVE);
    lf_logSetting(MAX_LIVE.name, fmt::format("{}", MAX_LIVE.value()));

    if (const auto range = gf_getParameterInt(doc, LATERAL_RANGE.name)) {
        setRangeNm(LATERAL_RANGE.clamp(*range));
        // The snapshot's range is the hand-chosen one, also when AUTO_RANGE follows: without
        // this, a file saved with AUTO_RANGE off would come back with whatever range was
        // remembered before.
        manualRadius = LATERAL_RANGE.value();
        gf_enableControl(LATERAL_RANGE, true);
        showIntParameter(LATERAL_RANGE);
        lf_logSetting(LATERAL_RANGE.name, fmt::format("{}", LATERAL_RANGE.value()));
    }

    if (const auto autoRangeOn = gf_getParameterBool(doc, AUTO_RANGE.name)) {
        AUTO_RANGE.setValue(*autoRangeOn);
        showCheckBoxParameter(AUTO_RANGE);
        if (*autoRangeOn) {
            manualRadius = LATERAL_RANGE.value();
            chooseRange();
            gf_enableControl(LATERAL_RANGE, false);
        } else {
            gf_enableControl(LATERAL_RANGE, true);
            setRangeNm(manualRadius);
            clearStatus();
        }
        showIntParameter(LATERAL_RANGE);
        lf_logSetting(AUTO_RANGE.name, *autoRangeOn ? "true" : "false");
    }

    lf_applyBool(doc, PARK_FAKE);
    lf_applyBool(doc, WEEK);
    lf_applyBool(doc, PARK_SOFT);

    parking_percentage.setValue(gf_getParameterInt(doc, parking_percentage.name).value_or(30));
    showIntParameter(parking_percentage);
    lf_logSetting(parking_percentage.name, fmt::format("{}", parking_percentage.value()));

    lf_applyBool(doc, INITIAL_LOAD_ONLY);

    const auto maxFit = gf_getParameterInt(doc, MAX_FIT.name);
    if (maxFit) MAX_FIT.setValue(MAX_FIT.clamp(*maxFit));
    showMaxFitHours();
    if (maxFit)
        logLine(fmt::format("{:24}: {} (max number of half hours, is {} hrs decimal)", MAX_FIT.name, MAX_FIT.value(),
                            gf_floatToText(MAX_FIT_FL.value())));
}

// An unset position: just north-east of 0,0.
bool lf_nearZero(double lat, double lon) { return lat >= 0.0 && lat <= 0.0009 && lon >= 0.0 && lon <= 0.05; }

void lf_readHandmade(const pugi::xml_node& parkpositions, std::vector<Stand>& list, const std::string& fileText)
{
    refuseTooManyStands(parkpositions);
    list.clear();
    std::set<std::string> names;
    for (const pugi::xml_node parkpos : parkpositions.children(apfParkPos)) {
        const std::string name = parkpos.attribute("id").value();
        if (!names.insert(name).second)
            throw UserErrorException(94, fmt::format("Parking position {} appears more than once?", name));
        readStands(parkpos, name, 1, list, fileText);
    }
}

void lf_readChanges(const pugi::xml_node& parkpositions, std::vector<Stand>& list, const std::string& fileText)
{
    refuseTooManyStands(parkpositions);
    for (const pugi::xml_node parkpos : parkpositions.children(apfParkPos)) {
        const std::string name = parkpos.attribute("id").value();
        if (gf_isTrueText(parkpos.attribute("manual").value())) {
            if (std::any_of(list.begin(), list.end(), [&](const Stand& s) { return s.name == name; })) {
                logMarked(fmt::format("manually created standid {} already exists in {}", name, fileText));
                continue;
            }
            const double lat = parkpos.attribute("latitude").as_double(0.0);
            const double lon = parkpos.attribute("longitude").as_double(0.0);
            if (lf_nearZero(lat, lon) || parkpos.attribute("radius").as_double(0.0) == 0.0) {
                logMarked(fmt::format("manually created standid {} misses correct attributes in {}", name, fileText));
                continue;
            }
            if (readStands(parkpos, name, 0, list, fileText)) list.back().manual = true;
            continue;
        }
        const bool applied =
            std::any_of(list.begin(), list.end(), [&](Stand& s) { return applyLearnedStand(name, parkpos, s); });
        if (!applied) logLine(fmt::format("learned stand {} in {} not found?", name, fileText));
    }
}

} // namespace

std::filesystem::path mapAirportPath(const std::string& pathText, const std::string& publisher)
{
    if (pathText.empty()) return {};
    const std::string learned = pathToUtf8(learnedFolder);
    // The system's own separator: a backslash on Windows, where these files live.
    const char separator = static_cast<char>(std::filesystem::path::preferred_separator);
    std::string text = pathText;
    if (text.find("archive") != std::string::npos) {
        lf_replaceFirst(text, "archive", learned);
        std::replace(text.begin(), text.end(), '/', separator);
        lf_replaceAll(text, "%20", " ");
    } else if (text.size() >= 8 && text.rfind("airports", 0) == 0) {
        lf_replaceFirst(text, "airports", learned);
        const std::string thirdparty = "thirdparty" + std::string(1, separator) + publisher;
        if (text.find("my_thirdparty2024") != std::string::npos)
            lf_replaceFirst(text, "my_thirdparty2024", thirdparty);
        else
            lf_replaceFirst(text, "my_thirdparty", thirdparty);
    }
    return pathFromUtf8(text);
}

bool sameStandOption(const StandOption& a, const StandOption& b)
{
    return a.day == b.day && a.kind == b.kind && a.reg == b.reg && a.airline == b.airline && a.type == b.type &&
           (a.slots & b.slots).any();
}

bool applyLearnedStand(const std::string& name, const pugi::xml_node& parkpos, Stand& stand)
{
    if (stand.name != name) return false;
    if (gf_isTrueText(parkpos.attribute("radius_change").value())) {
        stand.radius = parkpos.attribute("radius").as_double(0.0) * metresToNm;
        stand.radius_change = true;
    }
    if (gf_isTrueText(parkpos.attribute("cargo_change").value())) {
        stand.cargo = gf_isTrueText(parkpos.attribute("cargo").value());
        stand.cargo_change = true;
    }
    std::uint32_t next = stand.options.empty() ? 1 : stand.options.back().id + 1;
    const std::string context = fmt::format("learned stand {}", name);
    for (const pugi::xml_node opt : parkpos.children(apfOption)) {
        // Learned options carry source tag 0: they belong to the learned file and go into it again.
        auto option = readStandOption(opt, next, 0, context);
        if (!option) continue;
        if (std::any_of(stand.options.begin(), stand.options.end(),
                        [&](const StandOption& o) { return sameStandOption(o, *option); }))
            continue;
        stand.options.push_back(std::move(*option));
        ++next;
    }
    return true;
}

void showMaxFitHours()
{
    MAX_FIT_FL.setValue(MAX_FIT_FL.clamp(static_cast<float>(MAX_FIT.value()) * 0.5f + 0.5f));
    showFloatParameter(MAX_FIT_FL);
}

void lf_readLearned(const std::filesystem::path& learnedPath, const ApfFileRecord& record, std::vector<Stand>& list,
                    bool& handmade)
{
    const std::string fileText = pathToUtf8(learnedPath);
    try {
        pugi::xml_document doc;
        const pugi::xml_parse_result loaded = doc.load_file(learnedPath.c_str());
        if (!loaded) {
            if (std::filesystem::exists(learnedPath)) {
                std::filesystem::path aside = learnedPath;
                std::filesystem::path asideExtension = ".0";
                asideExtension += learnedPath.extension();
                aside.replace_extension(asideExtension);
                if (!gf_replaceFile(learnedPath, aside, true))
                    throw std::runtime_error(fmt::format("{} could not be moved aside", fileText));
                logLine(fmt::format("{} found, but could not be loaded, saved as *.0.xml: {}", fileText,
                                    loaded.description()));
            }
            return;
        }
        logLine(fmt::format("Read from learned airport file: \"{}\"", fileText));
        if (!checkXmlMeta(doc)) return;
        const std::string learnedName = gf_getParameterString(doc, apfAirportName).value_or("");
        if (learnedName != record.airportName)
            setStatus(fmt::format(
                          "Warning: learned file airport name: \"{}\" differs from archived file airport name: \"{}\"",
                          learnedName, record.airportName),
                      true);
        lf_applySettings(doc);
        const pugi::xml_node parkpositions = doc.child(apfParkPositions);
        if (const auto mark = gf_getParameterString(doc, apfHandmade)) {
            handmade = true;
            lf_readHandmade(parkpositions, list, fileText);
            lf_logSetting(apfHandmade, *mark);
        } else {
            handmade = false;
            lf_readChanges(parkpositions, list, fileText);
        }
    } catch (const std::exception& e) {
        logLine(fmt::format("{}: {}", "lf_readLearned", e.what()));
    }
}

} // namespace qtr
