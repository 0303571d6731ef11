// Times the scan of a tree of aircraft.cfg files with the machine's threads, beside the time to
// read the same files raw in this process (one thread, whole files), and prints one JSON object.
//   qm_livery_scan_bench <tree> <dbase.xml> [threads]
#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/utilities.h"
#include "liveries/livery_folder_walk.h"
#include "liveries/scan_problems.h"
#include "liveries/type_data_base.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

using namespace qtr;
using Clock = std::chrono::steady_clock;

namespace {

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// Reads every aircraft.cfg of the tree whole; the number of files and bytes.
std::pair<std::size_t, std::size_t> readRaw(const std::filesystem::path& tree)
{
    std::size_t files = 0, bytes = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(tree)) {
        if (!e.is_regular_file() || e.path().filename() != "aircraft.cfg") continue;
        std::ifstream in(e.path(), std::ios::binary);
        const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        bytes += text.size();
        ++files;
    }
    return {files, bytes};
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::cerr << "usage: qm_livery_scan_bench <tree> <dbase.xml>\n";
        return 2;
    }
    const std::filesystem::path tree = argv[1];
    const auto folder = std::filesystem::temp_directory_path() / "qm_livery_scan_bench";
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(argv[2], folder / "dbase.xml", std::filesystem::copy_options::overwrite_existing);
    std::filesystem::current_path(folder);
    LOG.setValue(false);
    SUPPRESS_STUB.setValue(true);
    readDataBaseFile("dbase.xml");
    gf_initWorkerSlots();
    if (argc > 3) scanTasksMaximum = std::max(1, std::atoi(argv[3])); // fewer threads, for comparison

    readRaw(tree); // the first read fills the file cache for both measurements
    auto start = Clock::now();
    const auto [files, bytes] = readRaw(tree);
    const double rawSeconds = secondsSince(start);

    std::list<LiveryRecord> records;
    start = Clock::now();
    lf_searchLiveriesInFolder(1, tree, records);
    const double scanSeconds = secondsSince(start);
    const std::size_t liveries = records.size();
    // The same scan with one task at a time, for comparison.
    records.clear();
    clearSeenTitles();
    const std::int32_t threads = scanTasksMaximum.load();
    scanTasksMaximum = 1;
    start = Clock::now();
    lf_searchLiveriesInFolder(1, tree, records);
    const double oneThreadSeconds = secondsSince(start);
    scanTasksMaximum = threads;

    nlohmann::ordered_json report;
    report["scan_seconds"] = scanSeconds;
    report["scan_one_thread_seconds"] = oneThreadSeconds;
    report["raw_read_in_process_seconds"] = rawSeconds;
    report["files"] = files;
    report["bytes"] = bytes;
    report["liveries"] = liveries;
    report["threads"] = scanTasksMaximum.load();
    report["problem_lines"] = incompleteSections.lines().size() + invalidCfgFiles.lines().size() +
                              invalidAirlineCodes.lines().size() + invalidModelCodes.lines().size();
    std::cout << report.dump() << "\n";
    return 0;
}
