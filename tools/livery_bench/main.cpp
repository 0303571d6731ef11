// Measures the livery data base and the matcher at the size of a large AI installation: 50,000
// liveries over the airlines and types of the real data base, with the recording's own airlines
// and types among them. Reports the time to read the scanned-liveries file and to build the data
// base from it, and the live matches per second over the recording's flights (their airline,
// type and registration as the traffic manager completes them).
//   qm_livery_bench <dbase.xml> <recording.rec> [report.json]
#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/paths.h"
#include "foundation/utilities.h"
#include "liveries/livery_data_base.h"
#include "liveries/livery_matcher.h"
#include "liveries/scanned_liveries_file.h"
#include "liveries/type_data_base.h"
#include "liveries/type_queries.h"
#include "traffic/state/records.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <vector>

using namespace qtr;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::size_t liveryCount = 50000;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// The recording's flights, completed as the traffic manager completes them before the match.
std::vector<FlightRecord> recordingFlights(const std::filesystem::path& recording)
{
    std::map<std::string, FlightRecord> byId;
    std::ifstream in(recording);
    for (std::string line; std::getline(in, line);) {
        const auto at = line.find(" traffic ");
        if (at == std::string::npos) continue;
        const auto f = gf_splitUntrimmed(line.substr(at + 9), ',');
        if (f.size() < 12) continue;
        FlightRecord r;
        r.callsign = f[9];
        r.type = f[10];
        r.registration = f[11];
        if (const auto info = registrationInfo(r.registration)) {
            r.airline = info->operatorCode.empty() ? info->airline : info->operatorCode;
            if (!info->type.empty()) r.type = info->type;
            r.cargo = info->cargo ? 1 : 0;
        }
        if (r.airline.empty() && !setAirlineFromCallsign(r)) r.airline = "PVT";
        if (!isValidType(r.type)) continue;
        r.category = categoryOfType(r.type);
        byId[f[1]] = r;
    }
    std::vector<FlightRecord> flights;
    for (auto& [id, r] : byId) flights.push_back(std::move(r));
    return flights;
}

// Liveries of a third of the types for airline after airline (the recording's first), so that
// flights also need similar and substitute types; some freighters, some painted with a
// registration of the data base.
void makeLiveries(const std::vector<FlightRecord>& flights)
{
    std::vector<std::string> airlines;
    for (const FlightRecord& f : flights) airlines.push_back(f.airline);
    for (const std::string& a : icaoAirlines) airlines.push_back(a);
    std::vector<std::string> regs;
    for (const auto& [reg, info] : registrations) regs.push_back(reg);
    scannedLiveries.clear();
    std::size_t n = 0, airlineIndex = 0;
    for (const std::string& airline : airlines) {
        std::size_t typeIndex = 0;
        ++airlineIndex;
        for (const std::string& type : validTypes) {
            if (n == liveryCount) break;
            if ((airlineIndex * 7 + typeIndex++) % 3 != 0) continue;
            LiveryRecord r{airline, type, fmt::format("BENCH_{}_{}_{}", type, airline, n)};
            r.cargo = n % 9 == 0;
            // Every third registration of the data base is painted on a livery.
            if (n % 50 == 0 && n / 50 * 3 < regs.size()) r.regcode = regs[n / 50 * 3];
            scannedLiveries.push_back(std::move(r));
            ++n;
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::cerr << "usage: qm_livery_bench <dbase.xml> <recording.rec> [report.json]\n";
        return 2;
    }
    const std::string out = argc > 3 ? argv[3] : "livery_bench.json";
    const auto folder = std::filesystem::temp_directory_path() / "qm_livery_bench";
    std::filesystem::create_directories(folder / "output");
    std::filesystem::copy_file(argv[1], folder / "dbase.xml", std::filesystem::copy_options::overwrite_existing);
    std::filesystem::current_path(folder);
    LOG.setValue(false);
    RANDOM.setValue(true);
    MATCHING_DEPTH.setValue(4);
    // The registration codes of the download site are not part of what is measured.
    DOWNLOAD_SITE.setValue("http://127.0.0.1:9/");
    readDataBaseFile("dbase.xml");
    const std::vector<FlightRecord> flights = recordingFlights(argv[2]);
    makeLiveries(flights);
    lf_saveScannedLiveries();

    auto start = Clock::now();
    lf_readLiveriesXml();
    const double readSeconds = secondsSince(start);
    const std::size_t records = scannedLiveries.size();
    start = Clock::now();
    buildLiveryDataBase();
    const double buildSeconds = secondsSince(start);

    std::array<std::uint64_t, 7> steps{};
    std::uint64_t matches = 0;
    start = Clock::now();
    double elapsed = 0;
    while (elapsed < 2.0) {
        for (FlightRecord f : flights) {
            f.livery = {};
            const auto before = matchCounters;
            gf_matchLiveryLive(f);
            std::size_t step = 0;
            for (std::size_t s = 0; s < 6; ++s)
                if (matchCounters[s] != before[s]) step = s + 1;
            ++steps[step];
            ++matches;
        }
        elapsed = secondsSince(start);
    }
    nlohmann::ordered_json report;
    report["what"] = "livery data base of 50,000 liveries and live matches over the recording's flights";
    report["liveries"] = records;
    report["airlines"] = airlineLiveries.size();
    report["file_read_seconds"] = readSeconds;
    report["build_seconds"] = buildSeconds;
    report["flights"] = flights.size();
    report["matches"] = matches;
    report["matches_per_second"] = static_cast<double>(matches) / elapsed;
    report["microseconds_per_match"] = elapsed * 1e6 / static_cast<double>(matches);
    nlohmann::ordered_json bySteps;
    for (std::size_t s = 0; s < steps.size(); ++s) bySteps[s == 0 ? "none" : std::to_string(s)] = steps[s];
    report["matches_by_step"] = bySteps;
    std::ofstream(out) << report.dump(2) << "\n";
    std::cout << report.dump() << "\n";
    return 0;
}
