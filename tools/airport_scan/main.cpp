// qm_airport_scan: runs the program's add-on airport scan on a packages folder, so that a person
// can see what a scan of their own folder would give.
//
//   qm_airport_scan.exe <packages folder> <output folder> [--msfs2024] [--input <folder>] [--site <url>]
//
// <packages folder> holds "Community" (and, for 2020, "Official"); a folder with neither is
// scanned as the Community folder itself. Into <output folder> go the generated airport files
// and redirects (airports\my_thirdparty, airports\my_vendrake), TBLO, output\info\AirportsScanLog.txt
// and Log.txt. The airports data base is read from <input folder> (default: the program folder's
// "input" of this build). --site names the download site asked about archived stock files
// (default: the program's setting; a site that cannot be reached means "not archived").
//
//   qm_airport_scan.exe --quick-pass <folder>
//
// prints one JSON object: the BGL files below the folder, those with an airport section, and the
// seconds of the walk's quick pass beside those of a plain read of each file's first 4 KB.
#include "airports/airport_scan.h"
#include "airports/airports_db.h"
#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/paths.h"
#include "foundation/text_files.h"
#include "foundation/utilities.h"
#include "foundation/win_text.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <future>
#include <iostream>
#include <string>
#include <vector>

#include <windows.h>

using namespace qtr;
namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

// The working folder for the lifetime of the object.
class WorkingFolder {
public:
    explicit WorkingFolder(const fs::path& folder) : previous_(fs::current_path()) { fs::current_path(folder); }
    ~WorkingFolder() { fs::current_path(previous_); }
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;

private:
    fs::path previous_;
};

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// The program folder's "input" of this build: <build>/stage/input, two levels above tools/bin.
fs::path defaultInputFolder()
{
    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    return fs::path(exe).parent_path().parent_path().parent_path() / "stage" / "input";
}

// Reads the first 4 KB of every file, on as many threads as the quick pass uses.
void rawRead(const std::vector<fs::path>& files)
{
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        std::vector<char> buffer(4096);
        for (std::size_t i = next++; i < files.size(); i = next++) {
            std::ifstream in(files[i], std::ios::binary);
            in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        }
    };
    std::vector<std::future<void>> helpers;
    for (int t = 1; t < scanTasksMaximum.load(); ++t) helpers.push_back(std::async(std::launch::async, work));
    work();
    for (auto& helper : helpers) helper.get();
}

int quickPassBenchmark(const fs::path& folder)
{
    gf_initWorkerSlots();
    // Under Wine the first reads of a process cost more than the later ones, whatever reads
    // first (measured: about a second over 30,000 files); a read of every file beforehand keeps
    // that out of both figures, as the livery scan's bench does.
    rawRead(lf_collectBglFiles(folder));
    const auto started = Clock::now();
    const std::vector<fs::path> files = lf_collectBglFiles(folder);
    const double walkSeconds = secondsSince(started);
    const std::vector<BglQuickPass> found = lf_quickPass(files);
    const double seconds = secondsSince(started);
    const auto rawStarted = Clock::now();
    rawRead(files);
    const double rawSeconds = secondsSince(rawStarted);
    // The same files found by a plain listing of the folders and read, as the livery scan's
    // bench reads its files: a walk cannot read a file it has not listed, and under Wine listing
    // the folders alone costs a fifth of reading the files.
    const auto foundAndReadStarted = Clock::now();
    std::vector<fs::path> listed;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file() && lf_isBglFile(entry.path().extension().string())) listed.push_back(entry.path());
    rawRead(listed);
    const double foundAndReadSeconds = secondsSince(foundAndReadStarted);
    std::size_t withAirport = 0;
    for (BglQuickPass f : found) withAirport += f == BglQuickPass::airport ? 1 : 0;
    nlohmann::json report{{"files", files.size()},
                          {"airports", withAirport},
                          {"seconds", seconds},
                          {"walk_seconds", walkSeconds},
                          {"raw_read_seconds", rawSeconds},
                          {"raw_list_and_read_seconds", foundAndReadSeconds},
                          {"pass_to_raw_list_and_read", foundAndReadSeconds > 0 ? seconds / foundAndReadSeconds : 0.0},
                          {"pass_to_raw_read", rawSeconds > 0 ? seconds / rawSeconds : 0.0},
                          {"files_per_second", seconds > 0 ? static_cast<double>(files.size()) / seconds : 0.0},
                          {"threads", scanTasksMaximum.load()}};
    std::cout << report.dump() << std::endl;
    return 0;
}

int scan(const fs::path& packages, const fs::path& output, const fs::path& input)
{
    // The data base is read from its own folder, the scan works in the output folder.
    {
        const fs::path programFolder = input.parent_path();
        WorkingFolder cwd(programFolder);
        readAirports();
        readAirportNames();
    }
    fs::create_directories(output);
    WorkingFolder cwd(output);
    gf_startLog();
    for (const fs::path* folder : {&myThirdpartyFolder, &myVendrakeFolder, &infoFolder})
        fs::create_directories(*folder);
    removeFilesInFolder(myThirdpartyFolder);
    if (MSFS_2020.value()) removeFilesInFolder(myVendrakeFolder);
    gf_initWorkerSlots();
    std::vector<fs::path> folders;
    if (MSFS_2020.value() && fs::is_directory(packages / officialFolderName))
        folders.push_back(packages / officialFolderName);
    if (fs::is_directory(packages / communityFolderName)) folders.push_back(packages / communityFolderName);
    if (folders.empty()) folders.push_back(packages);
    const auto started = Clock::now();
    const bool found = lf_scanAirports(folders);
    closeLog();
    std::cout << fmt::format(
        "{} in {:.1f} s: {} generated file{} and redirect{} in {} and {}, {} TBLO entr{}; scan log {}\n",
        found ? "airports found" : "no add-on airports found", secondsSince(started),
        gf_countFiles(myThirdpartyFolder) + gf_countFiles(myVendrakeFolder),
        pluralS(static_cast<std::uint64_t>(gf_countFiles(myThirdpartyFolder) + gf_countFiles(myVendrakeFolder))), "s",
        pathToUtf8(fs::absolute(myThirdpartyFolder)), pathToUtf8(fs::absolute(myVendrakeFolder)), tbloEntryCount.load(),
        tbloEntryCount.load() == 1 ? "y" : "ies", pathToUtf8(fs::absolute(airportsScanLogPath)));
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    try {
        std::vector<std::string> args;
        for (int i = 1; i < argc; ++i) args.push_back(utf16ToUtf8(argv[i]));
        if (args.size() == 2 && args[0] == "--quick-pass")
            return quickPassBenchmark(fs::absolute(pathFromUtf8(args[1])));
        std::vector<std::string> positional;
        fs::path input = defaultInputFolder();
        for (std::size_t i = 0; i < args.size(); ++i) {
            if (args[i] == "--msfs2024") {
                MSFS_2020.setValue(false);
            } else if (args[i] == "--input" && i + 1 < args.size()) {
                input = fs::absolute(pathFromUtf8(args[++i]));
            } else if (args[i] == "--site" && i + 1 < args.size()) {
                DOWNLOAD_SITE.setValue(args[++i]);
            } else {
                positional.push_back(args[i]);
            }
        }
        if (positional.size() != 2) {
            std::cerr << "usage: qm_airport_scan.exe <packages folder> <output folder> [--msfs2024] [--input <folder>] "
                         "[--site <url>]\n       qm_airport_scan.exe --quick-pass <folder>\n";
            return 2;
        }
        const auto absolute = [](const std::string& text) {
            return fs::absolute(pathFromUtf8(text)).lexically_normal().make_preferred();
        };
        return scan(absolute(positional[0]), absolute(positional[1]), input);
    } catch (const std::exception& e) {
        std::cerr << "qm_airport_scan: " << e.what() << "\n";
        return 1;
    }
}
