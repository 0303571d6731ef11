// Measures one pass of the tick work with 50, 200 and 512 live aircraft, and the intake of one
// second's worth of reports (200), against the stand-in simulator. Writes a JSON report (median
// and 99th percentile in microseconds, heap allocations and frees per pass in steady state) to
// the file named by the first argument, else to "traffic_bench.json".
//
// The aircraft reach their stream points at staggered ticks, as reports of a real feed do; the
// pass in which every one of 512 aircraft reaches its next point at once (a lockstep no feed
// produces) is reported beside it as "tick_pass_all_due_together".
#include "heap_counts.h"

#include "foundation/parameters/parameter_table.h"
#include "links/simconnect_client.h"
#include "liveries/type_data_base.h"
#include "platform/simconnect/simconnect.h"
#include "platform/simconnect/stand_in.h"
#include "traffic/flights/intake.h"
#include "foundation/run_control.h"
#include "traffic/run/tick.h"
#include "traffic/state/traffic_state.h"
#include "traffic/run/worker.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

using namespace qtr;
using Clock = std::chrono::steady_clock;

namespace {

struct Figures {
    double median = 0, p99 = 0;
};

Figures figures(std::vector<double> us)
{
    std::sort(us.begin(), us.end());
    return Figures{us[us.size() / 2], us[std::min(us.size() - 1, us.size() * 99 / 100)]};
}

struct PassFigures {
    Figures time;
    double allocationsPerPass = 0, freesPerPass = 0;
};

nlohmann::ordered_json toJson(const PassFigures& f)
{
    return {{"median_us", f.time.median},
            {"p99_us", f.time.p99},
            {"allocations_per_pass", f.allocationsPerPass},
            {"frees_per_pass", f.freesPerPass}};
}

void setUp()
{
    resetTrafficManager();
    validTypes.insert("A320");
    largeTypeSet.insert("A320");
    typeHalfWingSpans["A320"] = 0.0096;
    LOG.setValue(false);
    simRunning = true;
    simConnectFailed = false;
    {
        std::lock_guard lock(trafficMutex);
        trafficRunning = true;
    }
}

// n active aircraft flying streams of positions that fall due one after another. Points this
// close are each flown in the shortest leg, 25 ticks, so they are due 25 ticks apart (due sooner,
// an aircraft falls behind its stream until the report window pulls every aircraft onto the
// same ticks). Aircraft k reaches its points k * stagger ticks (mod 25) later than aircraft 0:
// stagger 0 puts them all in lockstep.
//
// A feed keeps each stream a few points long, appending a report's point as the aircraft flies
// on; topUpStreams does so inside the measured pass, so that the pass pays for taking points in.
constexpr std::size_t streamPointsAhead = 8;

struct StreamSource {
    Position next;
};
std::vector<StreamSource> sources;

void topUpStreams()
{
    for (std::size_t k = 0; k < liveAircraft.size(); ++k) {
        LiveAircraft& a = liveAircraft[k];
        Position& p = sources[k].next;
        while (a.stream.size() < streamPointsAhead) {
            a.stream.push_back(p);
            p.lat += 0.0001;
            p.time += 25;
        }
    }
}

void addActive(std::uint32_t n, std::uint32_t stagger = 1)
{
    sources.clear();
    for (std::uint32_t k = 0; k < n; ++k) {
        FlightRecord r;
        r.callsign = "BEN" + std::to_string(k);
        r.type = "A320";
        r.airline = "BEN";
        r.flightId = 20001 + k;
        Position p;
        p.lat = 50.0 + k * 0.01;
        p.lon = 8.0;
        p.alt = 10000;
        p.airborne = 1;
        p.speed = p.tas = 250;
        const std::uint32_t phase = tickCount + k * stagger % 25;
        p.time = phase;
        LiveAircraft& a = liveAircraft.emplace_back(p, std::move(r), 0.0);
        a.state = stateActive;
        a.objectid = 1000 + k;
        a.phase = phaseFlying;
        p.lat += 0.0001;
        p.time += 25;
        sources.push_back(StreamSource{p});
    }
    topUpStreams();
}

// The simulator's frame: what the SimConnect thread would take from the queues.
void frame()
{
    std::lock_guard lock(simConnectMutex);
    aiCreateQueue.clear();
    removalQueue.clear();
    clientEventQueue.clear();
    sendPositions.clear();
}

// The first passes fill the queues toward the simulator up to their working size (every
// aircraft's lights on its first stream point); the passes measured after them are steady.
PassFigures tickPass(std::uint32_t n, std::uint32_t stagger)
{
    constexpr int warmUpPasses = 100, measuredPasses = 3000;
    setUp();
    addActive(n, stagger);
    for (int pass = 0; pass < warmUpPasses; ++pass) {
        topUpStreams();
        trafficTick();
        frame();
    }
    std::vector<double> us;
    us.reserve(measuredPasses);
    const bench::HeapCounts before = bench::heapCounts();
    for (int pass = 0; pass < measuredPasses; ++pass) {
        const auto start = Clock::now();
        topUpStreams();
        trafficTick();
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        frame();
    }
    const bench::HeapCounts after = bench::heapCounts();
    return PassFigures{figures(std::move(us)),
                       static_cast<double>(after.allocations - before.allocations) / measuredPasses,
                       static_cast<double>(after.frees - before.frees) / measuredPasses};
}

Figures intake()
{
    std::vector<double> us;
    for (int round = 0; round < 50; ++round) {
        setUp();
        addActive(200);
        std::vector<TrafficReport> reports;
        for (std::uint32_t k = 0; k < 200; ++k) {
            TrafficReport r;
            r.type = "A320";
            r.callsign = "BEN" + std::to_string(k);
            r.flightId = 20001 + k;
            r.reportTime = 10.0;
            r.position.lat = 50.1 + k * 0.01;
            r.position.lon = 8.01;
            r.position.alt = 11000;
            r.position.airborne = 1;
            r.position.speed = r.position.tas = 250;
            r.position.track = 45;
            reports.push_back(std::move(r));
        }
        const auto start = Clock::now();
        for (TrafficReport& r : reports) processLine(std::move(r));
        {
            std::lock_guard lock(trafficMutex);
            while (processIncomingTraffic()) {
            }
        }
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    return figures(us);
}

} // namespace

int main(int argc, char** argv)
{
    const std::string out = argc > 1 ? argv[1] : "traffic_bench.json";
    standin::simulator().reset(standin::Scenario{});
    simConnectHandle.store(standin::openClient("Quillmarsh"));
    nlohmann::ordered_json report;
    for (std::uint32_t n : {50u, 200u, 512u}) report["tick_pass"][std::to_string(n)] = toJson(tickPass(n, 1));
    report["tick_pass_all_due_together"]["512"] = toJson(tickPass(512, 0));
    const Figures f = intake();
    report["intake_200_reports"] = {{"median_us", f.median}, {"p99_us", f.p99}};
    std::ofstream(out) << report.dump(2) << "\n";
    std::printf("%s\n", report.dump(2).c_str());
    return 0;
}
