// Measures static parking at an airport of 512 stands with 20 options each: the full calculation
// that follows the reading of the airport file, one 20-minute renewal with the airport stocked,
// and one placement (the tick's share of it, every 50th tick). Each runs inside one pass of the
// 10 ms main loop. Writes a JSON report (median and 99th percentile in milliseconds) to the file
// named by the first argument, else to "parking_bench.json".
#include "foundation/parameters/parameter_table.h"
#include "liveries/livery_data_base.h"
#include "liveries/type_data_base.h"
#include "traffic/parking/parking_renewal.h"
#include "traffic/parking/static_parking.h"
#include "traffic/state/traffic_state.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

using namespace qtr;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int standCount = 512;
constexpr int optionsPerStand = 20;
const std::vector<std::string> airlines{"DLH", "BAW", "AFR", "KLM", "UAE", "SWR", "AUA", "IBE"};
const std::vector<std::string> types{"A320", "A321", "B738", "B77W", "A359", "E190"};

struct Figures {
    double median = 0, p99 = 0;
};

Figures figures(std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    return Figures{ms[ms.size() / 2], ms[std::min(ms.size() - 1, ms.size() * 99 / 100)]};
}

void installTypesAndLiveries()
{
    clearTypeDataBase();
    gf_clearLiveries();
    std::list<LiveryRecord> records;
    for (const std::string& type : types) {
        validTypes.insert(type);
        (type == "B77W" || type == "A359" ? heavyTypeSet : largeTypeSet).insert(type);
        typeHalfWingSpans[type] = type == "B77W" || type == "A359" ? 0.0175 : 0.0096;
        for (const std::string& airline : airlines)
            records.push_back(LiveryRecord{airline, type, airline + " " + type});
    }
    scannedLiveries = std::move(records);
    scannedLiveries.sort(liveryBefore);
    DOWNLOAD_SITE.setValue("http://127.0.0.1:9/"); // no registration codes to fetch
    buildLiveryDataBase();
}

// A grid of gates 80 m apart; each stand has options over the whole week at random slots, as a
// busy archived airport file has them.
void makeAirport(std::mt19937& random)
{
    std::vector<Stand> list;
    list.reserve(standCount);
    for (int k = 0; k < standCount; ++k) {
        Stand s;
        s.id = static_cast<std::uint32_t>(k + 1);
        s.name = "G" + std::to_string(k + 1);
        s.lat = 50.0 + (k / 32) * 0.00072;
        s.lon = 8.0 + (k % 32) * 0.00112;
        s.radius = 0.019;
        for (int o = 0; o < optionsPerStand; ++o) {
            StandOption opt;
            opt.airline = airlines[random() % airlines.size()];
            opt.type = types[random() % types.size()];
            opt.reg = "D-" + std::to_string(k * optionsPerStand + o);
            opt.cs = opt.airline + std::to_string(k * optionsPerStand + o);
            if (o % 3 == 0) opt.cs2 = opt.cs + "1";
            opt.day = 1 + random() % 7;
            const std::uint32_t first = random() % 48;
            for (std::uint32_t n = 0; n < 1 + random() % 6; ++n) opt.slots.set((first + n) % 48);
            opt.id = static_cast<std::uint32_t>(o + 1);
            opt.fixed = 1;
            opt.kind = o % 4 == 0 ? optionSoft : optionReal;
            s.options.push_back(opt);
        }
        list.push_back(std::move(s));
    }
    replaceStands(std::move(list));
    parkAirportIcao = "EDDF";
    parkFileLoaded = true;
}

// Every candidate placed and its object created.
void stockAirport()
{
    while (!staticCandidates.empty()) placeStaticAircraft();
    std::uint32_t object = 5000;
    for (StaticAircraft& s : staticAircraft) {
        s.state = stateActive;
        s.objectid = object++;
    }
    pendingStaticCreations.clear();
}

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv)
{
    LOG.setValue(false);
    RANDOM.setValue(true);
    parking_percentage.setValue(50);
    installTypesAndLiveries();
    std::vector<double> calculation, renewal, placement;
    std::size_t placed = 0;
    for (int round = 0; round < 20; ++round) {
        resetTrafficManager();
        std::mt19937 random(static_cast<std::uint32_t>(round + 1));
        makeAirport(random);
        currentSlot.store(
            DaySlot{static_cast<std::uint32_t>(1 + round % 7), static_cast<std::uint32_t>(round * 5 % 48)});
        auto start = Clock::now();
        computeStaticParking();
        calculation.push_back(msSince(start));
        const std::size_t candidates = staticCandidates.size();
        for (std::size_t k = 0; k < std::min<std::size_t>(candidates, 50); ++k) {
            start = Clock::now();
            placeStaticAircraft();
            placement.push_back(msSince(start));
        }
        stockAirport();
        placed = std::max(placed, staticAircraft.size());
        currentSlot.store(DaySlot{currentSlot.load().weekday, (currentSlot.load().slot + 1) % 48});
        start = Clock::now();
        adjustParking();
        renewal.push_back(msSince(start));
    }
    const auto json = [](const Figures& f) { return nlohmann::json{{"median_ms", f.median}, {"p99_ms", f.p99}}; };
    const nlohmann::json report{{"stands", standCount},
                                {"options_per_stand", optionsPerStand},
                                {"static_aircraft", placed},
                                {"tick_budget_ms", 10},
                                {"calculation", json(figures(calculation))},
                                {"renewal", json(figures(renewal))},
                                {"placement_per_creation_tick", json(figures(placement))}};
    const std::string path = argc > 1 ? argv[1] : "parking_bench.json";
    std::ofstream(path) << report.dump(2) << '\n';
    std::printf("%s\n", report.dump(2).c_str());
    return 0;
}
