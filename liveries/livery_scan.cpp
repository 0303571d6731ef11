#include "liveries/livery_scan.h"

#include "foundation/indicators.h"
#include "foundation/download.h"
#include "foundation/errors.h"
#include "foundation/install_detect.h"
#include "foundation/log.h"
#include "foundation/parameters/parameter_control.h"
#include "foundation/parameters/parameter_display.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/paths.h"
#include "foundation/text_files.h"
#include "foundation/utilities.h"
#include "foundation/win_text.h"
#include "foundation/xml_meta.h"
#include "liveries/livery_data_base.h"
#include "liveries/livery_folder_walk.h"
#include "liveries/regcodes.h"
#include "liveries/scan_problems.h"
#include "liveries/scanned_liveries_file.h"
#include "foundation/run_control.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <map>

namespace qtr {

namespace {

bool lf_stopping() { return stopRequested.load() || windowClosed.load(); }

// Takes the first entry of the Community folder whose path holds one of the package words and
// not "_CVT_"; the other entries that hold one are logged as skipped.
void lf_detectPackage(const std::filesystem::path& community, std::vector<std::string>& folders,
                      std::initializer_list<const char*> words, const char* name)
{
    // The first folder found is taken; the others of the package are named, so that a user who
    // has two copies (or a converted one) sees which was not scanned.
    bool taken = false;
    for (const auto& entry : std::filesystem::directory_iterator(community)) {
        const std::string path = pathToUtf8(entry.path());
        if (std::none_of(words.begin(), words.end(),
                         [&](const char* word) { return path.find(word) != std::string::npos; }))
            continue;
        if (taken || path.find("_CVT_") != std::string::npos) {
            logLine(fmt::format("Automatic {} scan skipped folder: \"{}\"", name, path));
            continue;
        }
        logLine(fmt::format("Automatic {} scan found folder: \"{}\"", name, path));
        folders.push_back(path);
        taken = true;
    }
}

} // namespace

std::vector<std::string> lf_automaticFolders()
{
    std::vector<std::string> folders;
    folders.reserve(10);
    const std::filesystem::path community = msfsInstallSubPath(communityFolderName);
    if (community.empty()) return folders;
    using Detector = void (*)(const std::filesystem::path&, std::vector<std::string>&);
    // AI_PACKAGE_ORDER: the order of AIG (0), FSLTL (1) and JF (2).
    static const std::map<std::int32_t, std::array<int, 3>> orders{{1, {0, 1, 2}}, {2, {0, 2, 1}}, {3, {1, 0, 2}},
                                                                   {4, {1, 2, 0}}, {5, {2, 0, 1}}, {6, {2, 1, 0}}};
    const Detector detectors[] = {lf_scanAigFolders, lf_scanFsltlFolders, lf_scanJfFolders};
    if (const auto order = orders.find(AI_PACKAGE_ORDER.value()); order != orders.end())
        for (const int k : order->second) detectors[k](community, folders);
    lf_scanUserFolders(community, folders);
    return folders;
}

namespace {

std::vector<std::string> lf_manualFolders()
{
    std::vector<std::string> folders;
    for (const StringParameter* p :
         {&lfolder0, &lfolder1, &lfolder2, &lfolder3, &lfolder4, &lfolder5, &lfolder6, &lfolder7, &lfolder8, &lfolder9})
        if (std::string value = p->value(); !value.empty()) folders.push_back(std::move(value));
    return folders;
}

// For each airline and type only the liveries of the first folder in scan order that has any.
void lf_keepFirstFolders()
{
    std::map<std::pair<std::string, std::string>, std::int32_t> first;
    for (const LiveryRecord& r : scannedLiveries) {
        auto [it, inserted] =
            first.emplace(std::make_pair(r.airline, r.icaoType), static_cast<std::int32_t>(r.folderNumber));
        if (!inserted) it->second = std::min(it->second, static_cast<std::int32_t>(r.folderNumber));
    }
    scannedLiveries.remove_if([&](const LiveryRecord& r) {
        return static_cast<std::int32_t>(r.folderNumber) > first.at(std::make_pair(r.airline, r.icaoType));
    });
}

void lf_endScan()
{
    scannedLiveries.clear();
    lf_clearScannedLiveries();
    clearStatus();
}

} // namespace

void lf_scanAigFolders(const std::filesystem::path& community, std::vector<std::string>& folders)
{
    if (MSFS_2020.value())
        lf_detectPackage(community, folders, {"aig-aitraffic-oci-beta", "aig-aitraffic-oci"}, "AIG");
    else
        lf_detectPackage(community, folders, {"aig-aitraffic-oci"}, "AIG");
}

void lf_scanFsltlFolders(const std::filesystem::path& community, std::vector<std::string>& folders)
{
    lf_detectPackage(community, folders, {"fsltl-traffic-base"}, "FSLTL");
}

void lf_scanJfFolders(const std::filesystem::path& community, std::vector<std::string>& folders)
{
    lf_detectPackage(community, folders, {"justflight-aircraft-traffic-fleet", "justflight-fstraffic-module"}, "JF");
}

void lf_scanUserFolders(const std::filesystem::path& community, std::vector<std::string>& folders)
{
    lf_detectPackage(community, folders, {"user-aitraffic"}, "user-aitraffic");
}

void lf_readAigRegcodesZip()
{
    if (downloadAndUnzip(aigRegcodesZipName, aigRegcodesPath)) {
        lf_readDontUseTitles(aigRegcodesPath);
        gf_removeIfExists(aigRegcodesPath);
    } else {
        logLine(fmt::format("reading {} failed?", pathToUtf8(aigRegcodesPath)));
    }
    if (gf_countFiles(myRegcodesFolder) > 0) lf_readDontUseTitlesFromFolder();
}

void lf_scanLiveryFolder(ScanCounters& counters, const std::string& folder)
{
    if (folder.empty()) return;
    const std::filesystem::path path = pathFromUtf8(folder);
    if (!std::filesystem::exists(path)) {
        logLine(folder + " does not exist, skipped!");
        return;
    }
    if (!std::filesystem::is_directory(path)) {
        logLine(folder + " is not a folder name, skipped!");
        return;
    }
    if (counters.folderNumber < 10) ++counters.folderNumber;
    if (lf_stopping()) return;
    lf_searchLiveriesInFolder(counters.folderNumber, path, scannedLiveries);
    const std::int64_t n = static_cast<std::int64_t>(scannedLiveries.size());
    const std::string where = "found in " + folder;
    if (n > 0) {
        const std::int64_t found = n - counters.previousSize;
        logLine(fmt::format("{} liverie{} {}", found, gf_plural(found), where));
        counters.total += found;
        counters.previousSize = n;
    } else {
        logLine(fmt::format("No liveries {}", where));
    }
}

bool lf_scanAllLiveryFolders(const std::vector<std::string>& folders)
{
    scannedLiveries.clear();
    lf_removeOldReports();
    lf_readAigRegcodesZip();
    ScanCounters counters;
    for (const std::string& folder : folders) lf_scanLiveryFolder(counters, folder);
    if (lf_stopping()) {
        lf_endScan();
        return true;
    }
    if (scannedLiveries.empty()) {
        indicators.liveryCount.store(0);
        indicators.invalidate(Band::statistics);
        lf_endScan();
        return false;
    }
    if (folders.size() >= 2) logLine(fmt::format("{} in total", counters.total));
    for (LiveryRecord& livery : scannedLiveries) lf_applyDbaseData(livery);
    if (LIG_PRIORITIZE.value()) lf_keepFirstFolders();
    scannedLiveries.sort(liveryBefore);
    scannedLiveries.unique(liveryEquals);
    lf_saveScannedLiveries();
    scannedLiveries.clear();
    lf_writeScanSummary();
    lf_endScan();
    return true;
}

void gf_rescanWhenFileIsGone()
{
    if (std::filesystem::exists(liveriesScannedPath) || SCAN_LIVERIES.value()) return;
    setStatus(fmt::format("File {} is gone, rescan liveries", pathToUtf8(liveriesScannedPath)), true);
    SCAN_LIVERIES.setValue(true);
    SCAN_LIVERIES.save();
    showCheckBoxParameter(SCAN_LIVERIES);
    indicators.invalidate(Band::parameters);
}

void gf_scanLiveries()
{
    // A clear asked for by the window waits for this point, where no aircraft shows a title.
    gf_serveLiveryClearRequest();
    if (!SCAN_LIVERIES.value()) {
        lf_processScannedLiveries();
        return;
    }
    simulatorName = MSFS_2020.value() ? "MSFS" : "MSFS2024";
    const bool automatic = LIG_AUTOMATIC.value();
    setStatus(fmt::format("Scanning {} for liveries ...", LIG_PRIORITIZE.value() && !automatic ? "prioritized " : ""),
              false);
    logLine(fmt::format("\n++++++++++++++++++++++++ liveries scan {} starts ++++++++++++++++++++++++++++++++",
                        automatic ? "automatic" : "manual"));
    const std::vector<std::string> folders = automatic ? lf_automaticFolders() : lf_manualFolders();
    if (!automatic && folders.empty())
        throw UserErrorException(
            48, "Set lfolder parameter(-s) to your liveries first, see Manual 5.1 (or check Liveries automatic)");
    const bool found = lf_scanAllLiveryFolders(folders);
    // A scan the program's stop cut short saved nothing: the next start scans again.
    if (lf_stopping()) return;
    if (!found) {
        if (!automatic) throw UserErrorException(53, "no liveries found");
        throw UserErrorException(43, "Automatic scan has not found any liveries, switch off automatic and set lfolder "
                                     "parameter(-s), Manual 5.1");
    }
    SCAN_LIVERIES.setValue(false);
    SCAN_LIVERIES.save();
    showCheckBoxParameter(SCAN_LIVERIES);
    indicators.invalidate(Band::parameters);
    logLine("\n++++++++++++++++++++++++ liveries scan ends ++++++++++++++++++++++++++++++++\n");
    lf_processScannedLiveries();
}

} // namespace qtr
