#include "liveries/livery_data_base.h"

#include "foundation/indicators.h"
#include "foundation/log.h"
#include "foundation/parameters/parameter_display.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/utilities.h"
#include "liveries/livery_matcher.h"
#include "liveries/regcodes.h"
#include "liveries/scanned_liveries_file.h"
#include "liveries/type_queries.h"
#include "foundation/flight_record.h"

#include <fmt/format.h>

#include <algorithm>
#include <atomic>
#include <tuple>

namespace qtr {

std::list<LiveryRecord> scannedLiveries;
FnvMap<FnvMap<std::vector<LiveryEntry>>> airlineLiveries;
FnvMap<FnvMap<TitleList>> paxAirlineTitles;
FnvMap<FnvMap<TitleList>> cargoAirlineTitles;
FnvMap<TitleList> paxModelTitles;
FnvMap<TitleList> cargoModelTitles;
std::vector<std::string> lightTypes;
std::vector<std::string> buzjetTypes;
std::vector<std::string> rotorcraftTypes;
TitleList specialTitles;
bool liveriesProcessed = false;

namespace {

// Each stored title by its own text, so that the regcode files find a title's owner with one
// lookup instead of a walk over every livery. Built with the pax and cargo maps; views as keys.
std::unordered_map<std::string_view, TitleView, Fnv1aHash> titleOwners;

// Set by the window thread, served by the worker at its next start.
std::atomic<bool> liveryClearRequested{false};

template <class Map>
void lf_shrinkLists(Map& map)
{
    for (auto& [key, list] : map) list.shrink_to_fit();
}

void lf_storeEntries(std::vector<LiveryEntry>& entries, const std::string& type,
                     FnvMap<std::vector<LiveryEntry>>& types)
{
    if (entries.empty()) return;
    // A copy of its own size; the working list keeps its room for the next type.
    types[type].assign(std::make_move_iterator(entries.begin()), std::make_move_iterator(entries.end()));
    entries.clear();
}

void lf_storeTypes(FnvMap<std::vector<LiveryEntry>>& types, const std::string& airline)
{
    if (types.empty()) return;
    auto& stored = airlineLiveries[airline];
    for (auto& [type, entries] : types) stored.emplace(type, std::move(entries));
    types.clear();
}

// Twenty types a line, each followed by ',', the line logged without its last character.
void lf_logTypeList(const std::vector<std::string>& types)
{
    std::string line = "  ";
    int count = 0;
    for (const std::string& type : types) {
        line += type + ",";
        if (++count == 20) {
            line.pop_back();
            logLine(line);
            line = "  ";
            count = 0;
        }
    }
    line.pop_back();
    logLine(line);
}

struct CategorySwitch {
    std::uint32_t category;
    CheckBoxParameter* parameter;
    const char* what;
};

const CategorySwitch* lf_categorySwitch(std::uint32_t category)
{
    static const CategorySwitch switches[] = {{categoryLight, &LIGHT_AIRCRAFT, "light aircraft"},
                                              {categoryHighPerf, &HIGH_PERF_AIRCRAFT, "High Perf aircraft"},
                                              {categoryRotorcraft, &HELICOPTERS, "Helicopters"}};
    for (const CategorySwitch& s : switches)
        if (s.category == category) return &s;
    return nullptr;
}

void lf_enableCheckBox(const CheckBoxParameter& parameter, bool enable) { gf_enableControl(parameter, enable); }

std::vector<std::string>* lf_installedTypesOf(std::uint32_t category)
{
    switch (category) {
    case categoryLight:
        return &lightTypes;
    case categoryBuzjets:
        return &buzjetTypes;
    case categoryRotorcraft:
        return &rotorcraftTypes;
    default:
        return nullptr;
    }
}

// Rows (type, title) of the model map whose types are of the category; counts their types.
std::size_t lf_categoryRows(const FnvMap<TitleList>& models, std::uint32_t category, std::vector<std::string>& types)
{
    std::size_t rows = 0;
    for (const auto& [type, titles] : models) {
        if (categoryOfType(type) != category) continue;
        types.push_back(type);
        rows += titles.size();
    }
    return rows;
}

} // namespace

bool liveryEquals(const LiveryRecord& a, const LiveryRecord& b)
{
    return a.title == b.title && a.airline == b.airline && a.icaoType == b.icaoType && a.regcode == b.regcode &&
           a.cargo == b.cargo;
}

bool liveryBefore(const LiveryRecord& a, const LiveryRecord& b)
{
    return std::tie(a.airline, a.icaoType, a.title) < std::tie(b.airline, b.icaoType, b.title);
}

bool sameAirlineAndType(const LiveryRecord& a, const LiveryRecord& b)
{
    return a.airline == b.airline && a.icaoType == b.icaoType;
}

void lf_buildAirlineMap()
{
    std::string airline, type;
    std::vector<LiveryEntry> entries;
    entries.reserve(4048);
    FnvMap<std::vector<LiveryEntry>> types;
    for (const LiveryRecord& record : scannedLiveries) {
        if (record.icaoType != type) {
            lf_storeEntries(entries, type, types);
            type = record.icaoType;
        }
        if (record.airline != airline) {
            lf_storeEntries(entries, type, types);
            lf_storeTypes(types, airline);
            airline = record.airline;
        }
        entries.push_back(LiveryEntry{record.title, record.cargo});
    }
    lf_storeEntries(entries, type, types);
    lf_storeTypes(types, airline);
}

void lf_buildPaxCargoMaps()
{
    for (const auto& [airline, types] : airlineLiveries) {
        FnvMap<TitleList> pax, cargo;
        for (const auto& [type, entries] : types) {
            TitleList paxTitles, cargoTitles;
            for (const LiveryEntry& e : entries) {
                (e.cargo ? cargoTitles : paxTitles).push_back(e.title);
                titleOwners.emplace(e.title, e.title);
            }
            if (!cargoTitles.empty()) cargo.emplace(type, std::move(cargoTitles));
            if (!paxTitles.empty()) pax.emplace(type, std::move(paxTitles));
        }
        if (!cargo.empty()) cargoAirlineTitles.emplace(airline, std::move(cargo));
        if (!pax.empty()) paxAirlineTitles.emplace(airline, std::move(pax));
    }
}

void lf_buildModelMaps()
{
    struct Row {
        std::string_view type;
        TitleView title;
        bool cargo;
    };
    std::vector<Row> rows;
    for (const auto& [airline, types] : airlineLiveries)
        for (const auto& [type, entries] : types)
            for (const LiveryEntry& e : entries) rows.push_back(Row{type, e.title, e.cargo});
    std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.type < b.type; });
    TitleList pax, cargo;
    pax.reserve(15000);
    cargo.reserve(15000);
    std::string_view current;
    const auto store = [&] {
        if (!cargo.empty()) cargoModelTitles[std::string(current)] = std::move(cargo);
        if (!pax.empty()) paxModelTitles[std::string(current)] = std::move(pax);
        cargo = {};
        pax = {};
    };
    for (const Row& row : rows) {
        if (row.type != current) {
            store();
            current = row.type;
        }
        (row.cargo ? cargo : pax).push_back(row.title);
    }
    store();
    lf_shrinkLists(cargoModelTitles);
    lf_shrinkLists(paxModelTitles);
}

void lf_reportGenericLiveries()
{
    const auto generic = airlineLiveries.find("ZZZ");
    if (generic == airlineLiveries.end()) {
        logLine("No generic liveries");
        return;
    }
    std::vector<std::string> types;
    for (const auto& [type, entries] : generic->second) types.push_back(type);
    std::sort(types.begin(), types.end());
    types.erase(std::unique(types.begin(), types.end()), types.end());
    logLine(fmt::format("{} model{} have a generic livery", types.size(), pluralS(types.size())));
    lf_logTypeList(types);
}

void lf_logLiveryCategories(std::uint32_t category)
{
    std::vector<std::string> types;
    const std::size_t paxRows = lf_categoryRows(paxModelTitles, category, types);
    const std::size_t cargoRows = lf_categoryRows(cargoModelTitles, category, types);
    const CategorySwitch* toggle = lf_categorySwitch(category);
    const std::string_view name = categoryName(category);
    if (paxRows + cargoRows == 0) {
        logLine(fmt::format("Category {}: No livery found", name));
        if (!toggle) return;
        if (toggle->parameter->value()) {
            toggle->parameter->setValue(false);
            toggle->parameter->save();
            logLine(fmt::format("{} temporary switched off because you do not have {} installed",
                                toggle->parameter->name, toggle->what));
        }
        lf_enableCheckBox(*toggle->parameter, false);
        return;
    }
    std::string line = fmt::format("Category {}: {} pax liverie{}", name, paxRows, pluralS(paxRows));
    if (cargoRows > 0) line += fmt::format(" and {} cargo liverie{}", cargoRows, pluralS(cargoRows));
    logLine(line);
    std::sort(types.begin(), types.end());
    types.erase(std::unique(types.begin(), types.end()), types.end());
    lf_logTypeList(types);
    if (std::vector<std::string>* installed = lf_installedTypesOf(category))
        installed->insert(installed->end(), types.begin(), types.end());
    if (toggle) lf_enableCheckBox(*toggle->parameter, true);
}

void buildLiveryDataBase()
{
    indicators.liveryCount.store(static_cast<std::int64_t>(scannedLiveries.size()));
    indicators.invalidate(Band::statistics);
    lf_buildAirlineMap();
    lf_buildPaxCargoMaps();
    lf_reportRegcodeClashes();
    lf_processRegcodes();
    logLine(fmt::format("{} registration codes", regcodeTitles.size()));
    lf_buildModelMaps();
    logLine(fmt::format("{} airlines, {} pax aircraft models and {} cargo aircraft models", airlineLiveries.size(),
                        paxModelTitles.size(), cargoModelTitles.size()));
    buildSimilarModels();
    lf_reportGenericLiveries();
    for (std::uint32_t c = 0; c <= 5; ++c) lf_logLiveryCategories(c);
    liveriesProcessed = true;
    indicators.invalidate(Band::statistics);
    scannedLiveries.clear();
}

void lf_processScannedLiveries()
{
    if (liveriesProcessed) {
        logLine("Processing scanned liveries skipped; already done in previous start-up");
        scannedLiveries.clear();
        return;
    }
    lf_readLiveriesXml();
    buildLiveryDataBase();
}

TitleView gf_findTitleOwner(std::string_view title)
{
    const auto it = titleOwners.find(title);
    return it == titleOwners.end() ? TitleView() : it->second;
}

bool gf_airlineHasModel(std::string_view airline, std::string_view type)
{
    const auto it = airlineLiveries.find(airline);
    return it != airlineLiveries.end() && it->second.find(type) != it->second.end();
}

bool gf_modelHasLivery(std::string_view type)
{
    return paxModelTitles.find(type) != paxModelTitles.end() || cargoModelTitles.find(type) != cargoModelTitles.end();
}

std::vector<std::string> gf_getAirlineCodes()
{
    std::vector<std::string> codes;
    codes.reserve(airlineLiveries.size());
    for (const auto& [airline, types] : airlineLiveries) codes.push_back(airline.substr(0, 3));
    return codes;
}

void gf_clearLiveries()
{
    lightTypes.clear();
    buzjetTypes.clear();
    rotorcraftTypes.clear();
    specialTitles.clear();
    regcodeTitles.clear();
    // Every other holder of title views goes too: none may outlive the titles.
    liveryChoices.clear();
    clearSimilarModels();
    titleOwners.clear();
    paxModelTitles.clear();
    cargoModelTitles.clear();
    paxAirlineTitles.clear();
    cargoAirlineTitles.clear();
    airlineLiveries.clear();
}

void gf_reserveLiveryContainers()
{
    static bool reserved = false;
    if (reserved) return;
    reserved = true;
    specialTitles.reserve(4096);
    lightTypes.reserve(64);
    buzjetTypes.reserve(128);
    rotorcraftTypes.reserve(32);
    liveryChoices.reserve(512);
}

void gf_requestLiveryClear() { liveryClearRequested.store(true); }

void gf_serveLiveryClearRequest()
{
    if (!liveryClearRequested.exchange(false)) return;
    gf_clearLiveries();
    liveriesProcessed = false;
}

} // namespace qtr
