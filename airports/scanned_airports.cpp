#include "airports/scanned_airports.h"

#include "airports/airport_file_format.h"
#include "airports/airports_db.h"
#include "airports/archive_download.h"
#include "airports/manifest.h"
#include "airports/scan_messages.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/paths.h"
#include "foundation/utilities.h"
#include "foundation/win_text.h"
#include "liveries/type_data_base.h"
#include "liveries/type_queries.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <numeric>
#include <stdexcept>

namespace qtr {

std::atomic<bool> airportScanSucceeded{false};
std::atomic<std::int32_t> tbloEntryCount{0};
std::mutex airportLinkMutex;

namespace {

constexpr const char* letters = "abcdef";

std::string lf_positionText(const LatLon& p) { return fmt::format("{:.6f},{:.6f}", p.lat, p.lon); }

// The redirect of a linked airport: the archive path and a line end in <folder>/<ICAO>.txt.
void lf_addRedirect(const std::filesystem::path& folder, const std::string& icao, const std::string& archivePath,
                    BglScanResult& result)
{
    result.outputs.push_back({AirportScanOutput::Kind::redirect, icao, folder / txtPath(icao), archivePath, {}});
}

bool lf_linkVendrakeAirport(BglScanContext& context, BglScanResult& result)
{
    bool found = false;
    const std::string archivePath = lf_findVendrakeArchiveFile(context.icao, found);
    if (!found) return false;
    lf_addRedirect(myVendrakeFolder, context.icao, archivePath, result);
    lf_addScanMessage(fmt::format("{} airport {} linked to {}", vendrakePublisher, context.icao, archivePath));
    return true;
}

bool lf_linkThirdPartyAirport(BglScanContext& context, BglScanResult& result)
{
    bool found = false;
    const std::string archivePath =
        lf_findThirdPartyArchiveFile(context.publisher, context.icao, found, context.archivedCount);
    if (!found) return false;
    lf_addRedirect(myThirdpartyFolder, context.icao, archivePath, result);
    lf_addScanMessage(fmt::format("thirdparty airport {} linked to {}", context.icao, archivePath));
    return true;
}

// The ICAO code of an undecodable airport, from the file's stem, the package title or the path.
std::string lf_recognise(const std::string& path)
{
    std::string stem = pathToUtf8(pathFromUtf8(path).stem());
    std::transform(stem.begin(), stem.end(), stem.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (stem.size() == 4 && findAirport(stem)) {
        lf_addScanMessage(fmt::format("Not recognised airport has ICAO code \"{}\" as BGL stem", stem));
        return stem;
    }
    const ManifestInfo manifest = lf_searchManifest(path);
    if (!manifest.found) return {};
    for (const Airport& airport : airports) {
        if (!airport.code.empty() && manifest.title.rfind(airport.code, 0) == 0) {
            lf_addScanMessage(fmt::format("Not recognised airport has ICAO \"{}\" in title \"{}\" of manifest",
                                          airport.code, manifest.title));
            return airport.code;
        }
    }
    for (const Airport& airport : airports) {
        if (!airport.code.empty() && containsTaggedToken(path, airport.code)) {
            lf_addScanMessage(
                fmt::format("Not recognised airport has ICAO \"{}\" in BGL path \"{}\"", airport.code, path));
            return airport.code;
        }
    }
    lf_addScanMessage(fmt::format("==================> Not recognised airport lost ... \"{}\"", path));
    return {};
}

} // namespace

bool invalidStandPosition(const LatLon& p)
{
    if (!(p.lat >= -90.0 && p.lat <= 90.0 && p.lon >= -180.0 && p.lon <= 180.0)) return true;
    return p.lat >= 0.0 && p.lat <= 0.0009 && p.lon >= 0.0 && p.lon <= 0.05;
}

void lf_pathFromCommunity(std::string& path)
{
    if (const std::size_t at = path.find("Community"); at != std::string::npos) path.erase(0, at);
}

std::string lf_findVendrakeArchiveFile(const std::string& icao, bool& found)
{
    found = vendrakeAirports.count(icao) != 0;
    if (!found) lf_addScanMessage(fmt::format("{} does not exist as vendrake", icao));
    return "archive/" + vendrakePublisher + "/" + xmlFileName(icao);
}

std::string lf_findThirdPartyArchiveFile(const std::string& publisher, const std::string& icao, bool& found,
                                         std::int32_t& archivedCount)
{
    std::string pathForm = publisher;
    for (std::size_t at = pathForm.find(' '); at != std::string::npos; at = pathForm.find(' ', at + 3))
        pathForm.replace(at, 1, "%20");
    const std::string archivePath = "archive/thirdparty/" + pathForm + "/" + xmlFileName(icao);
    found = false;
    const auto& lists = MSFS_2020.value() ? thirdPartyAirports20 : thirdPartyAirports24;
    for (const ThirdPartyAirports& list : lists) {
        if (list.publisher != publisher) continue;
        for (const std::string& item : list.airports) {
            // An entry whose count is no number is logged, not thrown: the airport is archived
            // with no known count (unknownArchivedCount), so the scan links it, writes its own
            // file and goes on.
            PrefixedNumberContext check{publisher, icao, unknownArchivedCount};
            if (!checkPrefixedNumber(check, item)) continue;
            archivedCount = check.number;
            found = true;
            return archivePath;
        }
    }
    lf_addScanMessage(fmt::format("thirdparty {} {} does not exist", publisher, icao));
    return archivePath;
}

bool lf_linkAirport(BglScanContext& context, const std::string& path, BglScanResult& result)
{
    std::lock_guard lock(airportLinkMutex);
    context.archivedCount = 0;
    context.bglPath = path;
    const PublisherResult found = findPublisher(path);
    context.publisher = found.publisher;
    context.title = found.title;
    context.creator = found.creator;
    context.manufacturer = found.manufacturer;
    if (context.publisher == unknownPublisher) return false;
    return context.publisher == vendrakePublisher ? lf_linkVendrakeAirport(context, result)
                                                  : lf_linkThirdPartyAirport(context, result);
}

void lf_readHelipads(const BglFile& file, const BglRecord& subrecord, BglScanContext& context)
{
    const BglHelipad helipad = readBglHelipad(file, subrecord);
    if (invalidStandPosition(helipad.position)) {
        lf_addScanMessage("lat/lon helipad incorrect (skipped): " + lf_positionText(helipad.position));
        return;
    }
    if (!std::isfinite(helipad.sizeMetres) || helipad.sizeMetres < 0.0f || helipad.sizeMetres > 1000.0f) {
        lf_addScanMessage(fmt::format("size {} of helipad incorrect (skipped): {}", helipad.sizeMetres,
                                      lf_positionText(helipad.position)));
        return;
    }
    const bool taken =
        std::any_of(context.helipadPositions.begin(), context.helipadPositions.end(),
                    [&](const LatLon& p) { return p.lat == helipad.position.lat && p.lon == helipad.position.lon; });
    if (taken) {
        lf_addScanMessage("double helipad " + context.airportName + " (skipped) " + lf_positionText(helipad.position));
        return;
    }
    context.helipadPositions.push_back(helipad.position);
    Stand stand;
    stand.name = fmt::format("helipad{}", context.helipadNumber++);
    stand.lat = helipad.position.lat;
    stand.lon = helipad.position.lon;
    stand.radius = helipad.sizeMetres / 2.0 * metresToNm;
    stand.heli = true;
    context.stands.push_back(std::move(stand));
    context.reletter.push_back(false);
}

void lf_readParkingPositions(const BglFile& file, const BglRecord& subrecord, BglScanContext& context)
{
    // A name used more than seven times is warned of once; the further entries of it are only
    // counted, as a damaged file may repeat one number thousands of times.
    std::set<std::string> crowded;
    std::size_t crowdedAgain = 0;
    for (const BglParking& parking : readBglParkings(file, subrecord)) {
        const float r = parking.radiusMetres;
        if (!(r > 1.0f && r < 200.0f)) {
            lf_addScanMessage(fmt::format("skipped position with radius {:.1F} meters, in {}", r, context.bglPath));
            continue;
        }
        const std::string name = lf_parkingNameText(parking.nameCode) + std::to_string(parking.number);
        if (parking.type == 0 || parking.type == 12 || parking.type == 13) continue;
        if (invalidStandPosition(parking.position) || !std::isfinite(parking.headingDeg)) {
            lf_addScanMessage(fmt::format("lat/lon: {}, incorrect (skipped) ", lf_positionText(parking.position)));
            continue;
        }
        std::string unique = name;
        bool lettered = false;
        if (!context.parkingNames.insert(unique).second) {
            context.nameChanged = true;
            unique.clear();
            for (const char* letter = letters; *letter != '\0'; ++letter) {
                if (context.parkingNames.insert(name + *letter).second) {
                    unique = name + *letter;
                    lettered = true;
                    break;
                }
            }
            if (unique.empty()) {
                if (crowded.insert(name).second)
                    lf_addScanMessage(
                        fmt::format("{}Warning more then 6 the same ids {}, in {}", "===> ", name, context.bglPath));
                else
                    ++crowdedAgain;
                continue;
            }
        }
        Stand stand;
        stand.name = unique;
        stand.lat = parking.position.lat;
        stand.lon = parking.position.lon;
        // A heading of exactly north is kept as 2 pi: 0 stands for "none" elsewhere.
        stand.heading = parking.headingDeg == 0.0f ? twoPi : parking.headingDeg * degToRad;
        stand.radius = r * metresToNm;
        stand.cargo = parking.type == 5;
        stand.ramp = (parking.type >= 1 && parking.type <= 7) || parking.type == 14;
        context.stands.push_back(std::move(stand));
        context.reletter.push_back(lettered);
    }
    if (crowdedAgain > 0)
        lf_addScanMessage(
            fmt::format("{}{} more positions of those ids skipped, in {}", "===> ", crowdedAgain, context.bglPath));
}

void lf_uniqueParkingIds(BglScanContext& context)
{
    auto& found = context.stands; // the airport being scanned, not the global stand list
    while (true) {
        const auto marked = std::find(context.reletter.begin(), context.reletter.end(), true);
        if (marked == context.reletter.end()) return;
        std::string base = found[static_cast<std::size_t>(marked - context.reletter.begin())].name;
        base.pop_back();
        std::vector<std::size_t> group;
        for (std::size_t i = 0; i < found.size(); ++i) {
            const std::string& n = found[i].name;
            const bool member = n == base || (n.size() == base.size() + 1 && n.compare(0, base.size(), base) == 0 &&
                                              std::string_view(letters).find(n.back()) != std::string_view::npos);
            if (!member) continue;
            context.reletter[i] = false;
            group.push_back(i);
        }
        std::vector<std::size_t> bySize = group;
        std::stable_sort(bySize.begin(), bySize.end(),
                         [&](std::size_t a, std::size_t b) { return found[a].radius > found[b].radius; });
        for (std::size_t k = 0; k < bySize.size(); ++k) found[bySize[k]].name = k == 0 ? base : base + letters[k - 1];
    }
}

void lf_generateAirportFile(BglScanContext& context, BglScanResult& result)
{
    if (context.stands.empty()) return;
    if (context.publisher != unknownPublisher) lf_pathFromCommunity(context.bglPath);
    const std::filesystem::path folder = context.publisher == vendrakePublisher ? myVendrakeFolder : myThirdpartyFolder;
    const std::size_t n = context.stands.size();
    const std::size_t helipads = context.helipadPositions.size();
    std::string message = fmt::format("Generated {}: {} position{}", xmlFileName(context.icao), n, pluralS(n));
    if (helipads > 0) message += fmt::format(", of which {} helipad{}", helipads, pluralS(helipads));
    lf_addScanMessage(message);
    std::sort(context.stands.begin(), context.stands.end(),
              [](const Stand& a, const Stand& b) { return a.name < b.name; });
    ApfRecord record;
    record.airportName = context.airportName;
    record.bglPath = context.bglPath;
    record.publisher = context.publisher;
    record.manufacturer = context.manufacturer;
    record.creator = context.creator;
    record.elevationFt = context.elevationFt;
    record.stands = std::move(context.stands);
    result.outputs.push_back(
        {AirportScanOutput::Kind::generated, context.icao, folder / xmlPath(context.icao), {}, std::move(record)});
}

// Some sceneries store an elevation thousands of feet off (one real scenery gives 2,547 ft for an
// airport at 8,361 ft); aircraft parked from the generated file would float or sink. Past this
// difference the airports data base is taken instead, and the scan log says so.
constexpr double maxElevationDisagreementFt = 1000.0;

std::int32_t lf_checkedElevationFt(const std::string& icao, std::int32_t sceneryFt)
{
    const auto known = findAirport(icao);
    if (!known || std::fabs(known->altitude - sceneryFt) <= maxElevationDisagreementFt) return sceneryFt;
    const auto knownFt = static_cast<std::int32_t>(std::lround(known->altitude));
    lf_addScanMessage(
        fmt::format("===> {} elevation of the scenery {} ft differs from the airports data base's {} ft: {} ft taken",
                    icao, sceneryFt, knownFt, knownFt));
    return knownFt;
}

void lf_processAirport(const BglFile& file, const BglRecord& airport, const std::string& icao, const std::string& path,
                       BglScanResult& result)
{
    if (airport.size < 68)
        throw std::out_of_range(fmt::format("airport record of {} bytes at offset {}", airport.size, airport.offset));
    BglScanContext context;
    context.icao = icao;
    const bool linked = lf_linkAirport(context, path, result);
    if (linked && !MSFS_2020.value()) return;
    context.elevationFt = lf_checkedElevationFt(icao, bglAirportElevationFt(file, airport));
    if (const auto name = airportNames.find(icao); name != airportNames.end()) context.airportName = name->second;
    const bool clean =
        forEachBglRecord(file, airport.offset + 68, airport.offset + airport.size, [&](const BglRecord& sub) {
            if (sub.id == bglHelipadRecord) {
                lf_readHelipads(file, sub, context);
            } else if (sub.id == bglParkingRecord) {
                lf_readParkingPositions(file, sub, context);
                if (context.nameChanged) lf_uniqueParkingIds(context);
                return false; // later subrecords, helipads too, are not read
            }
            return true;
        });
    if (!clean)
        lf_addScanMessage(
            fmt::format("{}damaged subrecord in airport {} of {}, the rest of it skipped", "===> ", icao, path));
    const auto n = static_cast<std::int32_t>(context.stands.size());
    // Only a linked airport has an archived file to compare with; the others are told why above.
    if (linked && context.archivedCount < n && context.publisher != vendrakePublisher) {
        if (context.archivedCount == unknownArchivedCount)
            lf_addScanMessage(
                fmt::format("{}{} has {} parkpos, the archived one's count is unknown", "===> ", icao, n));
        else
            lf_addScanMessage(
                fmt::format("{}{} has {} parkpos while archived one has {}", "===> ", icao, n, context.archivedCount));
    }
    if (!linked || (n > context.archivedCount && context.publisher != vendrakePublisher))
        lf_generateAirportFile(context, result);
}

void lf_identifyAirport(const std::string& path, BglScanResult& result)
{
    lf_addScanMessage(fmt::format("\n==> Not recognised airport {}", path));
    const std::string icao = lf_recognise(path);
    if (icao.empty()) return;
    BglScanContext context;
    context.icao = icao;
    if (lf_linkAirport(context, path, result) || context.publisher == vendrakePublisher) return;
    const std::filesystem::path entry = tbloFolder / xmlPath(icao);
    result.outputs.push_back({AirportScanOutput::Kind::tblo,
                              icao,
                              entry,
                              fmt::format("{}\n{} by {}, title: {} crea: {} manu: {}", path, icao, context.publisher,
                                          context.title, context.creator, context.manufacturer),
                              {}});
    lf_addScanMessage(fmt::format("==> TBLO entry {} created ", pathToUtf8(entry)));
}

} // namespace qtr
