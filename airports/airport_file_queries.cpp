#include "airports/airport_file_queries.h"

#include "airports/airport_file_format.h"
#include "airports/airport_file_reader.h"
#include "airports/archive_download.h"
#include "foundation/download.h"
#include "foundation/log.h"
#include "foundation/parameters/parameters_file.h"
#include "foundation/text_files.h"
#include "foundation/win_text.h"

#include <fmt/format.h>
#include <pugixml.hpp>

namespace qtr {

namespace {

pugi::xml_attribute lf_parameterValue(const pugi::xml_document& doc, const std::string& name, bool& present)
{
    const pugi::xml_node node = doc.select_node(parameterXPath(name).c_str()).node();
    present = static_cast<bool>(node);
    return node.attribute("value");
}

// Removes a fetched file on every way out of a query.
class RemovedOnExit {
public:
    explicit RemovedOnExit(std::filesystem::path path) : path_(std::move(path)) {}
    ~RemovedOnExit()
    {
        std::error_code ec;
        std::filesystem::remove(path_, ec);
    }
    RemovedOnExit(const RemovedOnExit&) = delete;
    RemovedOnExit& operator=(const RemovedOnExit&) = delete;

private:
    std::filesystem::path path_;
};

} // namespace

std::optional<std::string> gf_getParameterString(const pugi::xml_document& doc, const std::string& name)
{
    bool present = false;
    const pugi::xml_attribute value = lf_parameterValue(doc, name, present);
    if (!present) return std::nullopt;
    return std::string(value.value());
}

std::optional<std::int32_t> gf_getParameterInt(const pugi::xml_document& doc, const std::string& name)
{
    bool present = false;
    const pugi::xml_attribute value = lf_parameterValue(doc, name, present);
    if (!present) return std::nullopt;
    return value.as_int(0);
}

std::optional<bool> gf_getParameterBool(const pugi::xml_document& doc, const std::string& name)
{
    bool present = false;
    const pugi::xml_attribute value = lf_parameterValue(doc, name, present);
    if (!present) return std::nullopt;
    return gf_isTrueText(value.value());
}

std::string gf_readPublisher(const std::filesystem::path& path)
{
    pugi::xml_document doc;
    if (!doc.load_file(path.c_str())) return {};
    return gf_getParameterString(doc, apfPublisher).value_or("");
}

std::string gf_publisherText(const std::filesystem::path& path)
{
    pugi::xml_document doc;
    if (!doc.load_file(path.c_str())) return fmt::format("\"{}\" not found", pathToUtf8(path));
    const auto publisher = gf_getParameterString(doc, apfPublisher);
    if (!publisher || *publisher != "unknown") return {};
    const std::string manufacturer = gf_getParameterString(doc, apfManufacturer).value_or("");
    const std::string creator = gf_getParameterString(doc, apfCreator).value_or("");
    if (manufacturer.size() >= 4 || creator.size() >= 4) return {};
    return fmt::format("{}={}, {}={}", apfManufacturer, manufacturer, apfCreator, creator);
}

bool gf_checkStockArchive(const std::string& icao)
{
    const std::filesystem::path local = xmlPath(icao);
    const std::string url = downloadBaseUrl(true) + "archive/stock/" + xmlFileName(icao);
    logLine(url);
    CurlHandle handle = makeCurlHandle();
    const bool fetched = downloadToFile(handle.get(), url, local, false);
    pugi::xml_document doc;
    const bool loaded = fetched && doc.load_file(local.c_str());
    gf_removeIfExists(local);
    if (!loaded) {
        logMarked(fmt::format("Failed to {} {}", fetched ? "load" : "download", pathToUtf8(local)));
        logMarked(fmt::format("{} Not suitable for offline learning", icao));
        return false;
    }
    const std::int32_t real = gf_getParameterInt(doc, apfQfReal).value_or(-1);
    const std::int32_t soft = gf_getParameterInt(doc, apfQfSoft).value_or(-1);
    if (real < 0 && soft < 0) return false;
    const auto weeks = gf_getParameterInt(doc, apfTrafficWeek);
    return weeks && *weeks >= 24;
}

double gf_readDestApfForClosestStand(const std::string& icao, const LatLon& position, std::string& stand)
{
    static const std::filesystem::path temporary{"airport.xml"};
    try {
        const std::string located = findAirportFile(icao);
        if (located.empty()) return 100.0;
        std::filesystem::path path = pathFromUtf8(located);
        std::optional<RemovedOnExit> removal;
        if (located.rfind("airports", 0) != 0) {
            removal.emplace(temporary);
            if (!downloadApf(located, temporary).empty()) return 100.0;
            path = temporary;
        }
        return closestStandInFile(path, position, stand);
    } catch (const std::exception& e) {
        logMarked(fmt::format("{}: {}", "gf_readDestApfForClosestStand", e.what()));
        return 100.0;
    }
}

double closestStandInFile(const std::filesystem::path& file, const LatLon& position, std::string& stand)
{
    try {
        pugi::xml_document doc;
        if (!doc.load_file(file.c_str())) return 100.0;
        const pugi::xml_node parkpositions = doc.child(apfParkPositions);
        double best = 100.0;
        for (const pugi::xml_node parkpos : parkpositions.children(apfParkPos)) {
            const LatLon at{parkpos.attribute("latitude").as_double(0.0),
                            parkpos.attribute("longitude").as_double(0.0)};
            const double d = distanceNm(position, at);
            if (d < best) {
                best = d;
                stand = parkpos.attribute("id").value();
            }
        }
        return best;
    } catch (const std::exception& e) {
        logMarked(fmt::format("{}: {}", "closestStandInFile", e.what()));
        return 100.0;
    }
}

} // namespace qtr
