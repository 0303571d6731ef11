#include "airports/airport_file_reader.h"

#include "airports/airport_file_format.h"
#include "airports/airport_file_queries.h"
#include "airports/archive_download.h"
#include "airports/learned_file.h"
#include "foundation/indicators.h"
#include "foundation/parameters/parameter_display.h"
#include "foundation/errors.h"
#include "foundation/geometry.h"
#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/paths.h"
#include "foundation/run_control.h"
#include "foundation/text_files.h"
#include "foundation/utilities.h"
#include "foundation/win_text.h"
#include "foundation/xml_meta.h"
#include "airports/park_airport.h"

#include <fmt/format.h>
#include <pugixml.hpp>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numeric>
#include <stdexcept>
#include <set>

namespace qtr {

bool parkHandmade = false;
std::uint32_t parkTrafficWeek = 0;

namespace {

// The stored path of a redirect file: its first line cut back to its last "l" (of ".xml"), so
// that blanks and line ends after the name go. Nothing when the file cannot be read or is empty.
std::optional<std::string> lf_readRedirect(const std::filesystem::path& path)
{
    if (!std::filesystem::exists(path)) return std::nullopt;
    const auto lines = gf_readLines(path);
    if (!lines) return std::nullopt;
    std::string stored = lines->front();
    const std::size_t l = stored.rfind('l');
    stored.resize(l == std::string::npos ? 0 : l + 1);
    return stored;
}

std::string lf_localFile(const std::filesystem::path& folder, const std::string& icao)
{
    const std::filesystem::path path = folder / xmlFileName(icao);
    return std::filesystem::exists(path) ? pathToUtf8(path) : std::string();
}

// The altitude parameter, required: the park airport's elevation guides every landing there.
std::int32_t lf_requiredAltitude(const pugi::xml_document& doc)
{
    const auto text = gf_getParameterString(doc, apfAltitude);
    if (!text) throw UserErrorException(65, "Parameter " + apfAltitude + " not found");
    const std::string trimmed = gf_trim(*text);
    char* end = nullptr;
    const long value = std::strtol(trimmed.c_str(), &end, 10);
    if (trimmed.empty() || end != trimmed.c_str() + trimmed.size() || value < -2000 || value > 30000)
        throw UserErrorException(65,
                                 fmt::format("Parameter {} is not an elevation in feet: \"{}\"", apfAltitude, *text));
    return static_cast<std::int32_t>(value);
}

void lf_readParkPositions(const pugi::xml_document& doc, std::vector<Stand>& list, const std::string& fileText)
{
    refuseTooManyStands(doc.child(apfParkPositions));
    std::set<std::string> names;
    for (const pugi::xml_node parkpos : doc.child(apfParkPositions).children(apfParkPos)) {
        const std::string name = parkpos.attribute("id").value();
        if (!names.insert(name).second)
            throw UserErrorException(94, fmt::format("Parking position {} appears more than once?", name));
        readStands(parkpos, name, 1, list, fileText);
    }
}

// Without a learned file the airport starts from the default share of parked aircraft, and the
// maximum fit in use is shown.
void lf_defaultParkingPercentage()
{
    parking_percentage.setValue(30);
    gf_enableControl(parking_percentage, false);
    showIntParameter(parking_percentage);
    logLine(fmt::format("{:24}: {}%", parking_percentage.name, parking_percentage.value()));
    showMaxFitHours();
}

void lf_report(const std::string& fileText, const ApfFileRecord& record, const QualityPair& quality, std::size_t count)
{
    logLine(fmt::format("Airport file read from \"{}\" for {}", fileText, record.airportName));
    indicators.setText(indicators.parkLineText2, record.publisher);
    indicators.hMarkFlag = parkHandmade;
    logIndented(fmt::format("{:24}: {}", apfPublisher, record.publisher));
    logIndented(fmt::format("{:24}: {} ft", apfAltitude, record.elevationFt));
    logIndented(fmt::format("{:24}: {}", apfNumParkPos, count));
    logIndented(fmt::format("{:24}: {}", "quality factor", qualityFactorText(quality)));
    logIndented(fmt::format("{:24}: {}", "RT traffic week", parkTrafficWeek));
    indicators.setText(indicators.qualityText, qualityFactorText(quality));
    indicators.invalidate(Band::statistics);
}

// The steps after the file was found and its meta block accepted.
std::string lf_readContent(const pugi::xml_document& doc, const std::string& pathText, ApfFileRecord& record,
                           QualityPair& quality)
{
    std::vector<Stand> list;
    parkTrafficWeek = static_cast<std::uint32_t>(std::max(0, gf_getParameterInt(doc, apfTrafficWeek).value_or(0)));
    record.publisher = gf_getParameterString(doc, apfPublisher).value_or("");
    record.elevationFt = lf_requiredAltitude(doc);
    parkAirportElevation = record.elevationFt;
    record.airportName = gf_getParameterString(doc, apfAirportName).value_or("");
    lf_readParkPositions(doc, list, pathText);
    quality = {gf_getParameterInt(doc, apfQfReal).value_or(-1), gf_getParameterInt(doc, apfQfSoft).value_or(-1)};

    const std::filesystem::path learned = mapAirportPath(pathText, record.publisher);
    if (!learned.empty() && std::filesystem::exists(learned)) {
        lf_readLearned(learned, record, list, parkHandmade);
        quality = gf_qualityFactor(list);
        if (parkHandmade) logLine("A handmade airport file overruled the archived file!");
    } else {
        lf_defaultParkingPercentage();
    }
    if (list.size() > maximumStands) throw UserErrorException(94, tooManyStandsText(list.size()));
    indicators.standCount = static_cast<std::int64_t>(list.size());
    indicators.invalidate(Band::statistics);
    try {
        if (!numberAndLinkStands(list)) return "stopped while linking the stands";
    } catch (const std::length_error& e) {
        throw UserErrorException(94, e.what());
    }
    const std::size_t count = list.size();
    replaceStands(std::move(list));

    lf_report(parkHandmade ? pathToUtf8(learned) : pathText, record, quality, count);
    parkFileLoaded = true;
    standChangeCount = 0;
    gf_enableControl(flushStaticButton, true);
    indicators.invalidate(Band::parameters);
    return count == 0 ? std::string(noStandsFound) : std::string();
}

} // namespace

std::optional<std::string> findLocalAirportFile(const std::string& icao)
{
    for (const std::filesystem::path* folder : {&myThirdpartyFolder, &myVendrakeFolder}) {
        if (auto stored = lf_readRedirect(*folder / txtPath(icao))) return *stored;
        if (std::string local = lf_localFile(*folder, icao); !local.empty()) return local;
    }
    return std::nullopt;
}

std::string stockArchivePath(const std::string& icao) { return "archive/stock/" + xmlFileName(icao); }

bool isArchivePath(const std::string& pathText) { return pathText.rfind("airports", 0) != 0; }

std::string findAirportFile(const std::string& icao)
{
    if (auto local = findLocalAirportFile(icao)) return *local;
    if (downloadStockApf(icao)) return stockArchivePath(icao);
    return {};
}

bool ensureAirportFile(const std::string& icao)
{
    for (const std::filesystem::path* folder : {&myThirdpartyFolder, &myVendrakeFolder})
        if (std::filesystem::exists(*folder / xmlPath(icao)) || std::filesystem::exists(*folder / txtPath(icao)))
            return true;
    return downloadStockApf(icao);
}

namespace {

std::string lf_readApfFrom(const std::string& pathText, const std::filesystem::path& file, ApfFileRecord& record,
                           QualityPair& quality)
{
    try {
        parkHandmade = false;
        pugi::xml_document doc;
        if (const pugi::xml_parse_result loaded = doc.load_file(file.c_str()); !loaded)
            return fmt::format("{} could not be loaded: {}", pathText, loaded.description());
        if (!checkXmlMeta(doc)) return fmt::format("{} but refused to load, copyright problem", pathText);
        try {
            return lf_readContent(doc, pathText, record, quality);
        } catch (const UserErrorException& e) {
            logMarked(fmt::format("Airport file \"{}\": {}", pathText, e.what()));
            throw;
        }
    } catch (const UserErrorException&) {
        throw;
    } catch (const std::exception& e) {
        return fmt::format("{}: {}", "gf_readApf", e.what());
    }
}

std::string lf_readPreconditions(const std::string& pathText)
{
    if (pathText.empty()) return fmt::format("{} xml is empty...", "gf_readApf");
    if (parkAirportIcao.empty()) return fmt::format("{} no park airport set", "gf_readApf");
    return {};
}

} // namespace

std::string gf_readApf(const std::string& pathText, ApfFileRecord& record, QualityPair& quality)
{
    if (std::string refused = lf_readPreconditions(pathText); !refused.empty()) return refused;
    std::filesystem::path file;
    try {
        file = pathFromUtf8(pathText);
        if (isArchivePath(pathText)) {
            if (std::string failed = downloadApf(pathText, parkAirportDownloadPath); !failed.empty()) return failed;
            file = parkAirportDownloadPath;
        }
    } catch (const std::exception& e) {
        return fmt::format("{}: {}", "gf_readApf", e.what());
    }
    return lf_readApfFrom(pathText, file, record, quality);
}

std::string gf_readFetchedApf(const std::string& pathText, const std::filesystem::path& file, ApfFileRecord& record,
                              QualityPair& quality)
{
    if (std::string refused = lf_readPreconditions(pathText); !refused.empty()) return refused;
    return lf_readApfFrom(pathText, file, record, quality);
}

QualityPair gf_qualityFactor(const std::vector<Stand>& list)
{
    try {
        const bool anyOption = std::any_of(list.begin(), list.end(), [](const Stand& s) { return !s.options.empty(); });
        if (!anyOption) return {};
        // Every stand weighs the same: weight classes by radius would only ever meet stands of
        // one class, and equal weights cancel out of the average.
        double sums[2] = {0.0, 0.0}; // by kind: 0 soft, 1 real
        for (const Stand& stand : list) {
            for (const std::uint32_t kind : {optionSoft, optionReal}) {
                std::uint32_t n = 0, slots = 0;
                std::set<std::uint32_t> days;
                for (const StandOption& o : stand.options) {
                    if (o.id == 0 || o.kind != kind) continue;
                    ++n;
                    if (o.day >= 1 && o.day <= 7) days.insert(o.day);
                    slots += static_cast<std::uint32_t>(o.slots.count());
                }
                if (n > 0)
                    sums[kind] += 10000.0 + 100.0 * static_cast<double>(days.size()) + std::min(20.0 * n, 4000.0) +
                                  2.0 * std::min<std::uint32_t>(slots, 600);
            }
        }
        const auto factor = [&](double sum) {
            const double value = std::round(sum / static_cast<double>(list.size()) * 0.00625);
            return value < 1.0 ? 0 : static_cast<std::int32_t>(std::min(value, 100.0));
        };
        return {factor(sums[optionReal]), factor(sums[optionSoft])};
    } catch (const std::exception& e) {
        logMarked(fmt::format("{} {}", "gf_qualityFactor", e.what()));
        return {0, 0};
    }
}

std::string qualityFactorText(const QualityPair& quality)
{
    if (quality.real < 0 && quality.soft < 0) return "  ";
    if (quality.real < 45) return fmt::format("{:2}/{:2}", quality.real, quality.soft);
    return fmt::format("{:2}", quality.real);
}

bool numberAndLinkStands(std::vector<Stand>& list)
{
    if (list.size() > maximumStands) throw std::length_error(tooManyStandsText(list.size()));
    double widest = 0.0;
    for (std::size_t i = 0; i < list.size(); ++i) {
        list[i].id = static_cast<std::uint32_t>(i + 1);
        list[i].adjacent.clear();
        widest = std::max(widest, list[i].radius);
    }
    // Stands sorted by latitude: two stands are adjacent only when their distance times 1.1 is
    // below the sum of their radii, and the distance is never below the difference of latitudes,
    // so each stand is compared only with the stands of the band above it that its radius plus
    // the widest can reach.
    std::vector<std::size_t> byLatitude(list.size());
    std::iota(byLatitude.begin(), byLatitude.end(), std::size_t{0});
    std::sort(byLatitude.begin(), byLatitude.end(),
              [&](std::size_t x, std::size_t y) { return list[x].lat < list[y].lat; });
    constexpr double nmPerDegree = degToRad * earthDiameterNm / 2.0;
    // A real stand touches a handful of others; stands piled on one spot would make the links
    // grow with the square of their number.
    const std::size_t mostLinks = maximumLinksPerStand * list.size();
    std::size_t links = 0;
    for (std::size_t k = 0; k < byLatitude.size(); ++k) {
        if (k % 256 == 0 && (stopRequested.load() || windowClosed.load())) return false;
        Stand& a = list[byLatitude[k]];
        const double reach = (a.radius + widest) / 1.1 * (1.0 + 1e-9);
        for (std::size_t m = k + 1; m < byLatitude.size(); ++m) {
            Stand& b = list[byLatitude[m]];
            if ((b.lat - a.lat) * nmPerDegree > reach) break;
            // Adjacent: the circles overlap by more than a tenth of the distance. Radii are half
            // the largest span a stand takes, so circles that merely touch leave room for both.
            if (distanceNm({a.lat, a.lon}, {b.lat, b.lon}) * 1.1 < a.radius + b.radius) {
                a.adjacent.push_back(b.id);
                b.adjacent.push_back(a.id);
                if (++links > mostLinks) throw std::length_error(crowdedStandsText());
            }
        }
    }
    // In the order of the list, as the users of the links expect.
    for (Stand& stand : list) {
        std::sort(stand.adjacent.begin(), stand.adjacent.end());
        stand.adjacent.shrink_to_fit();
    }
    return true;
}

std::string crowdedStandsText()
{
    return fmt::format("stands crowd together, more than {} neighbours each", maximumLinksPerStand);
}

} // namespace qtr
