#include "liveries/type_queries.h"

#include "foundation/log.h"
#include "foundation/utilities.h"
#include "liveries/livery_data_base.h"
#include "foundation/flight_record.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <limits>

namespace qtr {

FnvMap<TypeList> similarInstalledTypes;
FnvMap<FnvMap<TypeList>> airlineSimilarTypes;
const TypeList emptyTypeList;
TypeList substituteTypeList;

namespace {

bool lf_holds(const OrderedSet& set, std::string_view key) { return set.find(key) != set.end(); }

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// The similar texts of one group: "T,S1,S2" for each member T whose other members S have liveries.
void lf_similarTexts(const std::vector<std::string>& group, std::vector<std::string>& texts)
{
    for (std::size_t i = 0; i < group.size(); ++i) {
        std::string text = group[i];
        for (std::size_t j = 0; j < group.size(); ++j)
            if (j != i && gf_modelHasLivery(group[j])) text += "," + group[j];
        if (text.find(',') != std::string::npos) texts.push_back(std::move(text));
    }
}

} // namespace

std::uint32_t categoryOfType(std::string_view type)
{
    if (lf_holds(largeTypeSet, type)) return categoryLarge;
    if (lf_holds(heavyTypeSet, type)) return categoryHeavy;
    if (lf_holds(buzjetTypeSet, type)) return categoryBuzjets;
    if (lf_holds(rotorcraftTypeSet, type)) return categoryRotorcraft;
    if (lf_holds(highPerfTypeSet, type)) return categoryHighPerf;
    return categoryLight;
}

bool isValidType(std::string_view type) { return !type.empty() && lf_holds(validTypes, type); }

bool isIcaoAirline(std::string_view airline) { return !airline.empty() && lf_holds(icaoAirlines, airline); }

double wingspanOfType(std::string_view type)
{
    if (const auto it = typeHalfWingSpans.find(type); it != typeHalfWingSpans.end()) return it->second;
    return categoryHalfWingSpans[categoryOfType(type)];
}

void computeAverageWingspans()
{
    std::array<double, 6> sums{};
    std::array<std::uint32_t, 6> counts{};
    for (const auto& [type, half] : typeHalfWingSpans) {
        const std::uint32_t c = categoryOfType(type);
        ++counts[c];
        sums[c] += half;
    }
    // A category without any span keeps 0 rather than the NaN of 0 / 0: callers read 0 as
    // "unknown" and take another value.
    for (std::size_t c = 0; c < sums.size(); ++c) categoryHalfWingSpans[c] = counts[c] ? sums[c] / counts[c] : 0.0;
}

void buildSimilarModels()
{
    std::vector<std::string> texts;
    for (const auto& group : similarGroups) lf_similarTexts(group, texts);
    std::sort(texts.begin(), texts.end());
    texts.erase(std::unique(texts.begin(), texts.end()), texts.end());
    for (const std::string& text : texts) {
        std::vector<std::string> items = gf_splitUntrimmed(text, ',');
        std::string key = std::move(items.front());
        items.erase(items.begin());
        similarInstalledTypes.emplace(std::move(key), std::move(items));
    }
    for (const std::string& airline : gf_getAirlineCodes()) {
        FnvMap<TypeList> own;
        for (const auto& [type, similar] : similarInstalledTypes) {
            if (gf_airlineHasModel(airline, type)) continue;
            TypeList flown;
            for (const std::string& s : similar)
                if (gf_airlineHasModel(airline, s)) flown.push_back(s);
            if (!flown.empty()) own.emplace(type, std::move(flown));
        }
        if (!own.empty()) airlineSimilarTypes.emplace(airline, std::move(own));
    }
    logLine(fmt::format("{} similar model definitions", similarInstalledTypes.size()));
}

void clearSimilarModels()
{
    similarInstalledTypes.clear();
    airlineSimilarTypes.clear();
    substituteTypeList.clear();
}

const TypeList& substituteModels(const std::string& type)
{
    if (const auto it = similarInstalledTypes.find(type); it != similarInstalledTypes.end()) {
        gf_randomShuffle(it->second);
        return it->second;
    }
    const std::vector<std::string>* installed = nullptr;
    switch (categoryOfType(type)) {
    case categoryLight:
        installed = &lightTypes;
        break;
    case categoryBuzjets:
        installed = &buzjetTypes;
        break;
    case categoryRotorcraft:
        installed = &rotorcraftTypes;
        break;
    default:
        return emptyTypeList;
    }
    if (installed->empty()) return emptyTypeList;
    const std::string& pick =
        (*installed)[static_cast<std::size_t>(gf_randomIndex(static_cast<std::int64_t>(installed->size())))];
    if (pick.empty()) return emptyTypeList;
    substituteTypeList.assign(1, pick);
    return substituteTypeList;
}

const TypeList& similarTypesOf(const FlightRecord& record)
{
    const auto airline = airlineSimilarTypes.find(record.airline);
    if (airline == airlineSimilarTypes.end()) return emptyTypeList;
    const auto type = airline->second.find(record.type);
    if (type == airline->second.end()) return emptyTypeList;
    gf_randomShuffle(type->second);
    return type->second;
}

std::vector<std::string> registrationVariants(const std::string& registration)
{
    std::vector<std::string> forms;
    if (registration.size() >= 5 && registration[0] != 'N' && registration.find('-') == std::string::npos) {
        forms.push_back(registration.substr(0, 2) + "-" + registration.substr(2));
        forms.push_back(registration.substr(0, 1) + "-" + registration.substr(1));
    }
    forms.push_back(registration);
    return forms;
}

bool findRegistrationInfo(std::optional<RegistrationInfo>& info, const std::string& form)
{
    const auto it = registrations.find(form);
    if (it == registrations.end()) return false;
    info = it->second;
    return true;
}

std::optional<RegistrationInfo> registrationInfo(const std::string& registration)
{
    std::optional<RegistrationInfo> info;
    if (registration.empty()) return info;
    for (const std::string& form : registrationVariants(registration))
        if (findRegistrationInfo(info, form)) break;
    return info;
}

std::string registrationAirline(const std::string& registration)
{
    const auto info = registrationInfo(registration);
    return info ? info->airline : std::string();
}

std::string registrationField3(const std::string& registration)
{
    const auto info = registrationInfo(registration);
    return info ? info->operatorCode : std::string();
}

std::string flyingAirline(const RegistrationInfo& info)
{
    return info.operatorCode.empty() ? info.airline : info.operatorCode;
}

bool isCargoOperator(const std::string& airline) { return !airline.empty() && cargoOperators.count(airline) != 0; }

std::string privateRegistrationIn(std::string_view text)
{
    for (const auto& [registration, info] : registrations) {
        // An empty registration (a record without "reg") would occur in every text.
        if (registration.empty() || info.airline != "PVT" || registration.size() >= 5) continue;
        if (text.find(registration) != std::string_view::npos) return registration;
    }
    return {};
}

bool containsIgnoreCase(std::string_view text, std::string_view token)
{
    if (token.empty()) return true;
    if (token.size() > text.size()) return false;
    const auto it = std::search(text.begin(), text.end(), token.begin(), token.end(),
                                [](char a, char b) { return lowerAscii(a) == lowerAscii(b); });
    return it != text.end();
}

std::string publisherOf(std::string_view text)
{
    for (const auto& group : publisherGroups) {
        for (const std::string& name : group) {
            // An empty name would recognise every text as this publisher's.
            if (name.empty()) continue;
            if (text.find(name) != std::string_view::npos || containsIgnoreCase(text, name)) return group.front();
        }
    }
    return "unknown";
}

bool checkPrefixedNumber(PrefixedNumberContext& context, std::string_view item)
{
    if (!item.starts_with(context.code)) return false;
    std::int32_t value = 0;
    bool parsed = false;
    if (item.size() > 4) {
        const char* first = item.data() + 4;
        const char* last = item.data() + item.size();
        const auto result = std::from_chars(first, last, value);
        parsed = result.ec == std::errc() && result.ptr != first;
    }
    if (parsed) {
        context.number = value;
    } else {
        logMarked(fmt::format("{} {} {} {}", context.label, context.code, item, "invalid number"));
    }
    return true;
}

} // namespace qtr
