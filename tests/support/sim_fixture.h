#pragma once
// Runs the real SimConnect thread against the stand-in simulator, stepped by the test: every
// test gets a fresh program state, a fresh simulator, its own log and flight-plan folder.
#include "foundation/indicators.h"
#include "foundation/clock.h"
#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"
#include "links/feed.h"
#include "links/flight_plan.h"
#include "traffic/run/sim_objects.h"
#include "links/simconnect_client.h"
#include "links/simconnect_dispatch.h"
#include "liveries/type_data_base.h"
#include "support/clean_start.h"
#include "support/livery_support.h"
#include "platform/simconnect/simconnect.h"
#include "platform/simconnect/stand_in.h"
#include "support/test_support.h"
#include "traffic/state/records.h"
#include "traffic/state/traffic_state.h"
#include "traffic/state/stands.h"
#include "traffic/state/removal.h"
#include "traffic/parking/park_airports.h"
#include "traffic/parking/static_parking.h"
#include "foundation/run_control.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <optional>
#include <thread>

namespace qtest {

// Adds one stand of the park airport (name, position in degrees, id).
inline void addStand(const std::string& name, double lat, double lon, std::uint32_t id)
{
    qtr::Stand stand;
    stand.name = name;
    stand.lat = lat;
    stand.lon = lon;
    stand.id = id;
    std::vector<qtr::Stand> all = qtr::stands;
    all.push_back(std::move(stand));
    qtr::replaceStands(std::move(all));
}

// Waits for a condition that another thread brings about; false after the time-out.
inline bool waitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10))
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Text-mode log without its carriage returns.
inline std::string logText()
{
    std::string text = readFile("Log.txt");
    std::erase(text, '\r');
    return text;
}

inline int countOccurrences(const std::string& text, const std::string& part)
{
    int n = 0;
    for (std::size_t p = text.find(part); p != std::string::npos; p = text.find(part, p + part.size())) ++n;
    return n;
}

// Time that stands until the test moves it; a sleep only paces the caller for a millisecond.
class SettableClock final : public qtr::Clock {
public:
    std::chrono::steady_clock::time_point steadyNow() override
    {
        return start_ + std::chrono::milliseconds(ms_.load());
    }
    void sleepFor(std::chrono::milliseconds) override { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }
    void sleepUntil(std::chrono::steady_clock::time_point) override
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    void advance(std::chrono::milliseconds d) { ms_ += d.count(); }

private:
    const std::chrono::steady_clock::time_point start_{};
    std::atomic<std::int64_t> ms_{0};
};

class SimFixture : public ::testing::Test {
protected:
    standin::Simulator& sim = standin::simulator();
    std::optional<ScopedCwd> cwd;
    std::jthread thread;

    static standin::Scenario scenario()
    {
        standin::Scenario s;
        s.installedTitles = {"Airbus A320 Test Livery", "Boeing 747 Cargo Test"};
        return s;
    }

    void SetUp() override
    {
        cwd.emplace(freshFolder("sim"));
        qtr::gf_startLog();
        // The settings at their defaults too: a test that switches one must not hand it on.
        qtest::startClean();
        ASSERT_TRUE(qtr::createFlightPlanFolders());
        sim.reset(scenario());
    }

    void TearDown() override
    {
        stopThread();
        qtr::setClock(nullptr);
        sim.setCallClock(nullptr);
        qtr::closeLog();
        cwd.reset();
    }

    // Starts the thread and waits until the simulator's first messages are handled.
    void connect()
    {
        qtr::reserveSimConnectQueues();
        thread = std::jthread(qtr::gf_simConnectThread);
        ASSERT_TRUE(waitUntil([this] { return !journal("connected").empty(); }));
        ASSERT_TRUE(sim.waitIdle());
    }

    void stopThread()
    {
        if (!thread.joinable()) return;
        thread.request_stop();
        thread.join();
    }

    void frame()
    {
        sim.frame();
        ASSERT_TRUE(sim.waitIdle());
    }

    void idle() { ASSERT_TRUE(sim.waitIdle()); }

    // The journal entries of one kind.
    std::vector<nlohmann::ordered_json> journal(const std::string& kind)
    {
        std::vector<nlohmann::ordered_json> out;
        for (auto& e : sim.journal())
            if (e["kind"] == kind) out.push_back(e);
        return out;
    }

    // The recorded calls from the n-th on, as "function" or "function:key" texts.
    std::vector<nlohmann::ordered_json> callsSince(std::size_t first)
    {
        const auto all = sim.calls();
        return std::vector<nlohmann::ordered_json>(all.begin() + std::min(first, all.size()), all.end());
    }

    // The live aircraft record of a flight; null when there is none.
    static qtr::LiveAircraft* live(std::uint32_t flightId)
    {
        for (auto& a : qtr::liveAircraft)
            if (a.flightId == flightId) return &a;
        return nullptr;
    }

    // A live aircraft record with a creation request for it.
    qtr::LiveAircraft& addLive(std::uint32_t flightId, const std::string& callsign, bool airborne,
                               const std::string& origin = "EDDF", const std::string& destination = "EGLL",
                               double altitudeFt = 5000.0)
    {
        qtr::LiveAircraft a;
        a.flightId = flightId;
        a.callsign = callsign;
        a.origin = origin;
        a.destination = destination;
        a.airline = "DLH";
        a.type = "A320";
        a.livery = "Airbus A320 Test Livery";
        a.state = qtr::stateAdding2Sim;
        a.alt = airborne ? altitudeFt : 0.0;
        qtr::Position at;
        at.lat = 47.47;
        at.lon = 8.55;
        at.alt = a.alt;
        at.airborne = airborne ? 1 : 0;
        a.stream.push_back(at);
        qtr::liveAircraft.push_back(a);
        return qtr::liveAircraft.back();
    }

    static qtr::AiCreateRequest requestFor(const qtr::FlightRecord& r, bool onGround, double altitudeFt = 5000.0)
    {
        qtr::AiCreateRequest q;
        q.position.latitude = 47.47;
        q.position.longitude = 8.55;
        q.position.altitude = onGround ? 0 : altitudeFt;
        q.position.heading = 90;
        q.position.onGround = onGround ? 1 : 0;
        q.callsign = r.callsign;
        q.liveryTitle = std::string(r.livery);
        q.recordId = r.flightId;
        return q;
    }

    // Sends the queued creation, lets the object be announced and recognised; its object id.
    std::uint32_t createAndRecognise(const qtr::FlightRecord& r, bool onGround, double altitudeFt = 5000.0)
    {
        EXPECT_TRUE(qtr::gf_queueAiCreate(requestFor(r, onGround, altitudeFt)));
        frame();
        qtr::gf_requestAircraftInRange(20000);
        idle();
        const auto created = journal("created");
        return created.empty() ? 0 : created.back()["object"].get<std::uint32_t>();
    }
};

} // namespace qtest
