#pragma once
// A deterministic harness for the traffic manager: it resets all of its state, installs a clock
// that only moves when told, feeds traffic reports, runs main-loop passes one by one and plays the
// simulator's side of the SimConnect queues, recording creations, poses, events and removals.
#include "foundation/clock.h"
#include "links/simconnect_queues.h"
#include "traffic/state/records.h"
#include "traffic/state/stands.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qtest {

// Steady and UTC time that move only with the sleeps (and setUtc).
class ManualClock final : public qtr::Clock {
public:
    std::chrono::steady_clock::time_point steadyNow() override { return steady_; }
    std::chrono::system_clock::time_point systemNow() override { return system_; }
    void sleepFor(std::chrono::milliseconds d) override
    {
        steady_ += d;
        system_ += d;
    }
    void sleepUntil(std::chrono::steady_clock::time_point t) override
    {
        if (t > steady_) sleepFor(std::chrono::duration_cast<std::chrono::milliseconds>(t - steady_));
    }
    void setUtc(std::int64_t secondsSince1970)
    {
        system_ = std::chrono::system_clock::time_point(std::chrono::seconds(secondsSince1970));
    }

private:
    std::chrono::steady_clock::time_point steady_{std::chrono::hours(1)};
    std::chrono::system_clock::time_point system_{std::chrono::seconds(1717416000)}; // Mon 2024-06-03 12:00 UTC
};

struct Creation {
    std::uint32_t tick = 0; // the pass whose frame sent it
    qtr::AiCreateRequest request;
    std::uint32_t objectId = 0;
};
struct Removal {
    std::uint32_t tick = 0;
    std::uint32_t objectId = 0;
};
struct EventRecord {
    std::uint32_t tick = 0;
    qtr::ClientEvent event;
};

class TrafficHarness {
public:
    TrafficHarness();
    ~TrafficHarness();
    TrafficHarness(const TrafficHarness&) = delete;
    TrafficHarness& operator=(const TrafficHarness&) = delete;

    // The user aircraft as the simulator reports it.
    void setUser(double lat, double lon, bool onGround, double alt = 0, double headingRad = 0, double aboveGround = 0,
                 double groundSpeed = 0);
    // A type of the data base: category and half wingspan (nm).
    static void addType(const std::string& type, std::uint32_t category, double radiusNm);
    static void addLivery(const std::string& airline, const std::string& type, const std::string& title);
    // A park airport with its stands (their ids 1, 2, ... unless set).
    static void setParkAirport(const std::string& icao, double lat, double lon, double elevation,
                               std::vector<qtr::Stand> stands);
    static qtr::Stand stand(std::uint32_t id, const std::string& name, double lat, double lon, double radiusNm = 0.03,
                            std::vector<std::uint32_t> adjacent = {});

    // A report as the traffic reader makes it at the current tick.
    static qtr::TrafficReport report(std::uint32_t flightId, const std::string& callsign, const std::string& type,
                                     double lat, double lon, double alt, double speed, double track, double reportTime);
    void feed(qtr::TrafficReport report);

    // One main-loop pass, then one simulator frame.
    void pass();
    void passes(int n);
    // The simulator's answers to the frame's creations and removals (on by default).
    bool simulatorAnswers = true;
    // The ground under every aircraft (ft); when set, the simulator reports ground contact and
    // height above the ground every 20 ticks.
    std::optional<double> groundElevation;

    std::vector<Creation> creations;
    std::vector<Removal> removals;
    std::vector<EventRecord> events;
    std::vector<std::vector<qtr::PositionUpdate>> poses; // per pass
    // Ticks at which the worker made a SimConnect call (the stand-in's record).
    static std::vector<std::uint32_t> callTicks(const std::string& function);
    // One data cycle: the reply on the user aircraft arrives, then n passes (100 = one second).
    void dataCycles(int count, int passesEach = 100);
    // The program's clock (UTC starts at Monday 12:00, slot 24).
    ManualClock& clock() { return clock_; }

private:
    ManualClock clock_;
    std::uint32_t nextObjectId_ = 1000;
};

} // namespace qtest
