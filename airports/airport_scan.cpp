#include "airports/airport_scan.h"

#include "airports/airport_file_queries.h"
#include "airports/airports_db.h"
#include "airports/archive_download.h"
#include "airports/scan_messages.h"
#include "foundation/entered_folders.h"
#include "foundation/indicators.h"
#include "foundation/install_detect.h"
#include "foundation/log.h"
#include "foundation/os_files.h"
#include "foundation/parameters/parameter_display.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/paths.h"
#include "foundation/text_files.h"
#include "foundation/utilities.h"
#include "foundation/win_text.h"
#include "foundation/xml_meta.h"
#include "foundation/run_control.h"

#include <fmt/format.h>

#include <algorithm>
#include <deque>
#include <future>
#include <memory>
#include <stdexcept>

namespace qtr {

namespace {

// The maker's address for airport files that could be improved by offline learning.
constexpr const char* supportAddress = "airports@quillmarsh.example";

bool lf_stopping() { return stopRequested.load() || windowClosed.load(); }

// Gives the scan-worker slot back however the task ends.
struct SlotRelease {
    ~SlotRelease() { gf_releaseWorkerSlot(); }
};

bool lf_excludedFile(const std::string& pathText)
{
    for (const char* part : {"statics", "AFCAD Updates", "_heliports"})
        if (pathText.find(part) != std::string::npos) return true;
    return false;
}

} // namespace

namespace {

// What one walk carries down: the scanned root (the exclusion words apply below it) and the
// folders already entered, so that links back into the tree are not walked again.
struct BglWalk {
    std::string rootText;
    EnteredFolders entered;
    std::vector<std::filesystem::path>& files;
};

// One folder of the walk, entries in the order the file system gives them, each subfolder walked
// where it stands. Folders that are links (junctions, as users often lay out Community) are
// followed like the simulator follows them, each real folder once.
void lf_walkFolder(BglWalk& walk, const std::filesystem::path& folder, const std::filesystem::path& location)
{
    std::vector<FolderEntry> entries;
    try {
        entries = gf_listFolder(folder);
    } catch (const std::exception& e) {
        lf_addScanMessage(fmt::format("{}folder {} skipped, cause: {}", "===> ", pathToUtf8(folder), e.what()));
        return;
    }
    for (const FolderEntry& entry : entries) {
        if (lf_stopping()) return;
        try {
            const std::string pathText = pathToUtf8(entry.path);
            if (lf_isExcludedFolder(pathText, walk.rootText.size())) {
                if (pathText.size() >= longestScanPath)
                    lf_addScanMessage(fmt::format("{}path too long (skipped): {}", "===> ", pathText));
                continue;
            }
            if (entry.isFolder) {
                if (const auto inside = walk.entered.enter(location, entry))
                    lf_walkFolder(walk, entry.path, *inside);
                else
                    lf_addScanMessage(
                        fmt::format("{}folder {} skipped: it leads to a folder already scanned", "===> ", pathText));
            } else {
                const std::string name = pathToUtf8(entry.name);
                const std::size_t dot = name.rfind('.');
                if (dot != std::string::npos && lf_isBglFile(name.substr(dot)) && !lf_excludedFile(pathText))
                    walk.files.push_back(entry.path);
            }
        } catch (const std::exception& e) {
            lf_addScanMessage(
                fmt::format("{} airports search in folder {} aborted, cause: {}", "===> ", walk.rootText, e.what()));
        }
    }
}

} // namespace

// Errors of one entry pass it over; an error of the walk itself ends it with what was found so far.
std::vector<std::filesystem::path> lf_collectBglFiles(const std::filesystem::path& folder)
{
    std::vector<std::filesystem::path> files;
    BglWalk walk{pathToUtf8(folder), EnteredFolders(folder), files};
    try {
        lf_walkFolder(walk, folder, walk.entered.rootLocation());
    } catch (const std::exception& e) {
        lf_addScanMessage(fmt::format("{} airports search in folder {} aborted because of iterator problem: {}",
                                      "===> ", walk.rootText, e.what()));
    }
    return files;
}

std::vector<BglQuickPass> lf_quickPass(const std::vector<std::filesystem::path>& files)
{
    std::vector<BglQuickPass> found(files.size(), BglQuickPass::noAirport);
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t i = next++; i < files.size() && !lf_stopping(); i = next++) {
            try {
                found[i] = bglQuickPass(files[i]);
            } catch (const std::exception&) {
                found[i] = BglQuickPass::damaged;
            }
        }
    };
    // The files are independent, and opening them is what takes the time.
    const std::size_t threads =
        std::clamp<std::size_t>(files.size() / 64, 1, static_cast<std::size_t>(std::max(1, scanTasksMaximum.load())));
    std::vector<std::future<void>> helpers;
    for (std::size_t t = 1; t < threads; ++t) helpers.push_back(std::async(std::launch::async, work));
    work();
    for (auto& helper : helpers) helper.get();
    for (std::size_t i = 0; i < files.size(); ++i)
        if (found[i] == BglQuickPass::damaged)
            lf_addScanMessage(fmt::format("{}damaged BGL file (skipped): {}", "===> ", pathToUtf8(files[i])));
    return found;
}

namespace {

void lf_writeRedirect(const AirportScanOutput& output)
{
    if (gf_writeToFile(output.text, output.path, true))
        airportScanSucceeded = true;
    else
        lf_addScanMessage(fmt::format("{}could not write {}", "===> ", pathToUtf8(output.path)));
}

void lf_writeGenerated(const AirportScanOutput& output)
{
    std::filesystem::create_directories(output.path.parent_path());
    simulatorName = MSFS_2020.value() ? "MSFS" : "MSFS2024";
    if (saveApf(output.record, output.path, apfKindGenerated))
        airportScanSucceeded = true;
    else
        lf_addScanMessage(fmt::format("{}Generating {} did not succeed", "===> ", pathToUtf8(output.path)));
}

void lf_writeTbloEntry(const AirportScanOutput& output)
{
    std::filesystem::create_directories(output.path.parent_path());
    if (gf_writeToFile(output.text + "\n", output.path, false))
        ++tbloEntryCount;
    else
        lf_addScanMessage(fmt::format("{}could not write {}", "===> ", pathToUtf8(output.path)));
}

// Files of outside publishers that offline learning could improve go to TBLO for the user to send
// in; the count copied.
int lf_prepareTblo(const std::vector<std::string>& stems)
{
    int copied = 0;
    for (const std::string& stem : stems) {
        const std::filesystem::path file = myThirdpartyFolder / xmlPath(stem);
        if (stem == "KMCI" && gf_readPublisher(file) == "TropicalSim") {
            std::filesystem::remove(file);
            continue;
        }
        if (!gf_checkStockArchive(stem) || !gf_publisherText(file).empty()) continue;
        const std::filesystem::path target = tbloFolder / xmlPath(stem);
        std::error_code ec;
        if (!std::filesystem::copy_file(file, target, std::filesystem::copy_options::overwrite_existing, ec)) {
            logMarked(fmt::format("\"{}\" failed to copy \"{}\"", pathToUtf8(file), pathToUtf8(target)));
            continue;
        }
        logLine(fmt::format("{} copied to {}", stem, pathToUtf8(target)));
        ++copied;
        // The redirect is what the airport-file look-up should find.
        if (std::filesystem::exists(myThirdpartyFolder / txtPath(stem))) std::filesystem::remove(file);
    }
    return copied;
}

} // namespace

bool lf_isExcludedFolder(const std::string& pathText, std::size_t rootLength)
{
    // The length guards the system's path limit, so it counts the whole path; the words name
    // packages, so the user's own folders above the scanned root decide nothing.
    if (pathText.size() >= longestScanPath) return true;
    static const char* const excluded[] = {"fs-base",       "tutorials",          "aircraft",   "bushtrip",
                                           "discovery",     "point-of-interest",  "simobjects", "vcockpits",
                                           "aig-aitraffic", "justflight-aicraft", "fsltl",      "gsx-pro",
                                           "gsx-world",     "landingchallenge"};
    const std::string_view below = std::string_view(pathText).substr(std::min(rootLength, pathText.size()));
    return std::any_of(std::begin(excluded), std::end(excluded),
                       [&](const char* text) { return below.find(text) != std::string_view::npos; });
}

BglScanResult lf_toParkingPositions(const std::filesystem::path& path)
{
    SlotRelease release;
    BglScanResult result;
    const std::string pathText = pathToUtf8(path);
    ScanMessageCapture capture(result.messages);
    try {
        const std::optional<BglFile> file = BglFile::read(path);
        // Unreadable, not a BGL header, or too short for one: nothing to do.
        if (!file || file->size() <= bglHeaderSize || file->u32(4) != bglHeaderSize) return result;
        const bool msfs2020 = MSFS_2020.value();
        const bool clean = forEachAirportSectionRecord(*file, [&](const BglRecord& record) {
            if (!msfs2020 && record.id == bglUndecodableAirportRecord) {
                lf_identifyAirport(pathText, result);
                return false; // the rest of the file is not read
            }
            if (record.id == bglAirportRecord) {
                bool valid = false;
                const std::string icao = lf_decodeIdentifierOrRegionCode(file->u32(record.offset + 40), valid);
                if (valid) lf_processAirport(*file, record, icao, pathText, result);
            }
            return true;
        });
        if (!clean)
            lf_addScanMessage(
                fmt::format("{}damaged record in {}, the rest of its section skipped", "===> ", pathText));
    } catch (const std::exception& e) {
        logMarked(fmt::format("Exception in lf_toParkingPositions: {}", pathText));
        logIndented(e.what());
        result.error = e.what();
    }
    return result;
}

void applyBglScanResult(const BglScanResult& result)
{
    addScanMessages(result.messages);
    for (const AirportScanOutput& output : result.outputs) {
        switch (output.kind) {
        case AirportScanOutput::Kind::redirect:
            lf_writeRedirect(output);
            break;
        case AirportScanOutput::Kind::generated:
            lf_writeGenerated(output);
            break;
        case AirportScanOutput::Kind::tblo:
            lf_writeTbloEntry(output);
            break;
        }
    }
}

void lf_searchAirportsInFolder(const std::filesystem::path& folder)
{
    const std::string folderText = pathToUtf8(folder);
    lf_addScanMessage(std::string("Scanning for ") + "addon airports in " + folderText);
    const std::vector<std::filesystem::path> files = lf_collectBglFiles(folder);
    const std::vector<BglQuickPass> found = lf_quickPass(files);

    // Results are taken oldest first, so they are written in walk order whatever task ends first.
    struct PendingBgl {
        std::string path;
        std::future<BglScanResult> result;
    };
    std::deque<PendingBgl> pending;
    const auto collectOldest = [&] {
        PendingBgl oldest = std::move(pending.front());
        pending.pop_front();
        try {
            const BglScanResult result = oldest.result.get();
            applyBglScanResult(result);
            // An error costs the rest of that one file; the scan goes on.
            if (!result.error.empty())
                lf_addScanMessage(fmt::format("{}damaged BGL file {}, the rest of it skipped, cause: {}", "===> ",
                                              oldest.path, result.error));
        } catch (const std::exception& e) {
            lf_addScanMessage(fmt::format("{}BGL file {} skipped, cause: {}", "===> ", oldest.path, e.what()));
        }
    };
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (found[i] != BglQuickPass::airport) continue;
        if (lf_stopping()) break;
        try {
            gf_waitForWorkerSlot();
            pending.push_back(
                PendingBgl{pathToUtf8(files[i]), std::async(std::launch::async, lf_toParkingPositions, files[i])});
            ++scanTasksRunning;
        } catch (const std::exception& e) {
            lf_addScanMessage(
                fmt::format("{} airports search in folder {} aborted, cause: {}", "===> ", folderText, e.what()));
        }
        while (pending.size() > static_cast<std::size_t>(std::max(1, scanTasksMaximum.load()))) collectOldest();
    }
    // Every started task is waited for: none may outlive the scan's lists and maps.
    while (!pending.empty()) collectOldest();
}

void lf_checkScanFolders(const std::filesystem::path& folder)
{
    if (folder.empty()) return;
    const std::string text = pathToUtf8(folder);
    if (!std::filesystem::exists(folder)) {
        setStatus(text + " does not exist, skipped!", true);
    } else if (!std::filesystem::is_directory(folder)) {
        setStatus(text + " is not a folder name, skipped!", true);
    } else {
        lf_searchAirportsInFolder(folder);
    }
}

bool lf_scanAirports(const std::vector<std::filesystem::path>& folders)
{
    try {
        gf_removeIfExists(airportsScanLogPath);
    } catch (const std::exception&) {
        logLine("problems with removing previous files (maybe still open?)");
    }
    tbloEntryCount = 0;
    {
        std::lock_guard lock(airportScanMessagesMutex);
        airportScanMessages.reserve(2048);
    }
    // Emptied before the walk, which may put entries of unrecognised airports into it.
    std::filesystem::remove_all(tbloFolder);
    for (const std::filesystem::path& folder : folders) lf_checkScanFolders(folder);

    std::filesystem::create_directories(airportsScanLogPath.parent_path());
    gf_writeLines(scanMessagesCopy(), airportsScanLogPath);
    logLine(pathToUtf8(airportsScanLogPath) + " written");
    clearStatus();
    clearScanMessages();

    const std::vector<std::string> stems = gf_listXmlFileStems(myThirdpartyFolder);
    if (!stems.empty()) {
        std::filesystem::create_directories(tbloFolder);
        tbloEntryCount += lf_prepareTblo(stems);
    }
    // TBLO also holds the entries of unrecognised airports that the walk made: "all done" is
    // only true when it holds nothing.
    if (tbloEntryCount.load() > 0) {
        logLine("");
        logMarked(fmt::format("Please zip the folder \"{}\" and mail it to {}, so that these airports can be improved "
                              "by offline learning",
                              pathToUtf8(std::filesystem::absolute(tbloFolder)), supportAddress));
        logLine("");
    } else if (!stems.empty()) {
        logLine("All your third party airports are done, no off line learning needed.");
    }
    // An empty TBLO is no request to the user.
    std::error_code ec;
    if (std::filesystem::is_directory(tbloFolder, ec) && std::filesystem::is_empty(tbloFolder, ec))
        std::filesystem::remove(tbloFolder, ec);
    if (airportScanSucceeded.load()) logLine("Airports scan successful");
    return airportScanSucceeded.load();
}

void resetAirportScanCollection()
{
    clearScanMessages();
    tbloEntryCount = 0;
}

void lf_airportsScan()
{
    setStatus("Scanning for addon airports ...", false);
    logLine(fmt::format("\n++++++++++++++++++++++++ airports scan {} starts +++++++++++++++++++++++++++++", ""));
    std::vector<std::filesystem::path> folders;
    if (MSFS_2020.value()) {
        if (const auto official = msfsInstallSubPath(officialFolderName); !official.empty())
            folders.push_back(official);
    }
    if (const auto community = msfsInstallSubPath(communityFolderName); !community.empty())
        folders.push_back(community);
    readAirportNames();
    if (MSFS_2020.value()) removeFilesInFolder(myVendrakeFolder);
    removeFilesInFolder(myThirdpartyFolder);
    if (!lf_scanAirports(folders)) setStatus("Warning: Scan has not found any add-on airports", true);
    SCAN_AIRPORTS.setValue(false);
    SCAN_AIRPORTS.save();
    showCheckBoxParameter(SCAN_AIRPORTS);
    indicators.invalidate(Band::parameters);
    airportNames.clear();
    logLine("-------------------------- airports scan ends    ----------------------------\n");
}

} // namespace qtr
