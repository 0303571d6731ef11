// The park airport's file from the download site while the worker's loop runs: a site that
// stalls, drips or stays silent holds up neither the loop nor live traffic, each choice fetches
// the file once, a failed file is asked for again only after the retry wait, and a stop ends a
// hung transfer at once.
#include "airports/airports_db.h"
#include "foundation/download.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/paths.h"
#include "foundation/run_control.h"
#include "http_server.h"
#include "support/test_support.h"
#include "traffic/parking/airport_file_fetch.h"
#include "traffic/run/data_cycle.h"
#include "traffic/parking/park_airports.h"
#include "traffic/state/stands.h"
#include "traffic/state/traffic_state.h"
#include "../traffic_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <thread>

using namespace qtr;
using qtest::TrafficHarness;

namespace {

constexpr double kphpLat = 44.048, kphpLon = -101.601;
const std::string stockPath = "/MSFS/archive/stock/KPHP.xml";
const std::string kphpFile = R"(<?xml version="1.0"?>
<meta><info name="author" value="t"/><info name="date" value="d"/><info name="version" value="1"/></meta>
<parameters><parameter name="altitude" value="2207"/></parameters>
<parkpositions><parkpos id="P1" latitude="44.048000" longitude="-101.601000" radius="12"/>
<parkpos id="P2" latitude="44.049000" longitude="-101.601000" radius="12"/></parkpositions>
)";

// A neighbour within 5 nm, as Hawthorne beside Los Angeles: on the ground the stands of both
// airports decide which one is the park airport.
constexpr double knbrLat = 44.088;
const std::string neighbourPath = "/MSFS/archive/stock/KNBR.xml";
const std::string knbrFile = R"(<?xml version="1.0"?>
<meta><info name="author" value="t"/><info name="date" value="d"/><info name="version" value="1"/></meta>
<parameters><parameter name="altitude" value="2207"/></parameters>
<parkpositions><parkpos id="N1" latitude="44.063000" longitude="-101.601000" radius="12"/></parkpositions>
)";

// Long enough that only the stop ends a hung transfer within a test.
constexpr std::chrono::seconds lowSpeedTime{20};

} // namespace

class AirportFetch : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.start());
        cwd.emplace(qtest::freshFolder("airport-fetch"));
        std::filesystem::create_directories(airportsFolder);
        // In code order, as the airports data base lists them.
        airports = {Airport{"KNBR", "", knbrLat, kphpLon, 2207}, Airport{"KPHP", "", kphpLat, kphpLon, 2207}};
        server.setRoute(neighbourPath, qmhttp::Route::status404());
        setDownloadTimeouts(DownloadTimeouts{std::chrono::milliseconds(15000), 100, lowSpeedTime});
    }
    void TearDown() override
    {
        finishAirportFileFetch();
        server.stop();
        setDownloadTimeouts(DownloadTimeouts{});
        forgetUnansweredSites();
        DOWNLOAD_SITE.setValue(DOWNLOAD_SITE.defaultValue());
        forgetAirports();
        cwd.reset();
    }

    // The harness puts the settings back to their defaults: the site is set after it.
    void useSite() { DOWNLOAD_SITE.setValue(server.baseUrl()); }

    std::size_t fetches(const std::string& path = stockPath) const
    {
        const auto all = server.requests();
        return static_cast<std::size_t>(
            std::count_if(all.begin(), all.end(), [&](const qmhttp::Request& r) { return r.path == path; }));
    }

    // The transfer runs on real time: a bounded wait for its end.
    static bool transferEnds()
    {
        for (int k = 0; k < 1000 && airportFileTransferRunning(); ++k)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return !airportFileTransferRunning();
    }

    qmhttp::Server server;
    std::optional<qtest::ScopedCwd> cwd;
};

TEST_F(AirportFetch, LiveTrafficFliesWhileTheFileHangsAndAStopEndsTheTransfer)
{
    const struct {
        const char* site;
        qmhttp::Route route;
    } cases[] = {
        {"stalls half-way", qmhttp::Route::stall(kphpFile.substr(0, kphpFile.size() / 2))},
        {"drips a byte every 2 s", qmhttp::Route::drip(kphpFile, 1, 2000)},
        {"stays silent", qmhttp::Route::silent()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.site);
        server.clearRequests();
        server.setRoute(stockPath, c.route);
        TrafficHarness h;
        useSite();
        TrafficHarness::addType("A320", categoryLarge, 0.0096);
        TrafficHarness::addLivery("DLH", "A320", "Airbus A320 Lufthansa");
        h.setUser(kphpLat, kphpLon, true);
        updateParkAirport(true); // as the main loop starts
        ASSERT_TRUE(server.waitForRequests(1, std::chrono::seconds(10)));
        // A flight passing overhead, reported every 5 s, while the file hangs.
        for (int k = 0; k < 8; ++k) {
            h.feed(TrafficHarness::report(20001, "DLH4", "A320", kphpLat + 0.01 * k, kphpLon, 5000, 250, 0,
                                          1000.0 + 5 * k));
            h.dataCycles(5);
        }
        h.dataCycles(10); // 50 s of loop: the park airport's update ran at cycles 16, 32 and 48
        EXPECT_TRUE(airportFileTransferRunning()) << "the loop waited for the transfer";
        EXPECT_EQ(parkAirportIcao, "");
        EXPECT_EQ(fetches(), 1u);
        ASSERT_EQ(h.creations.size(), 1u);
        EXPECT_EQ(h.creations[0].request.callsign, "DLH4");

        stopRequested = true;
        const auto asked = std::chrono::steady_clock::now();
        finishAirportFileFetch();
        EXPECT_LT(std::chrono::steady_clock::now() - asked, lowSpeedTime / 2);
        stopRequested = false;
    }
}

// A file the site does not have is asked for again only after the retry wait; the one fetch of
// the next try serves both the choice and the read, which go on as soon as it has arrived.
TEST_F(AirportFetch, FailedFileWaitsForTheRetryAndEachChoiceFetchesOnce)
{
    server.setRoute(stockPath, qmhttp::Route::status404());
    TrafficHarness h;
    useSite();
    h.setUser(kphpLat, kphpLon, true);
    // The updates at 16 (the fetch), 32, 48, 64 and 80, and one 2 s short of the retry wait,
    // each after the transfer before it has ended.
    for (int k = 0; k < 6; ++k) {
        if (k == 5) h.clock().sleepFor(airportFileRetryWait - std::chrono::seconds(2));
        h.dataCycles(16, 1);
        ASSERT_TRUE(transferEnds());
    }
    EXPECT_EQ(fetches(), 1u);
    EXPECT_EQ(parkAirportIcao, "");

    h.clock().sleepFor(std::chrono::seconds(2));
    server.setRoute(stockPath, qmhttp::Route::ok(kphpFile));
    h.dataCycles(16, 1); // 112: asked for again
    ASSERT_TRUE(transferEnds());
    ASSERT_EQ(fetches(), 2u);
    h.dataCycles(1, 1); // chosen at its arrival, not 16 cycles later
    EXPECT_EQ(parkAirportIcao, "KPHP");
    ASSERT_TRUE(parkAirportReload);
    h.dataCycles(15, 1); // read at 128 from the file fetched for the choice
    EXPECT_TRUE(parkFileLoaded);
    EXPECT_EQ(stands.size(), 2u);
    EXPECT_EQ(fetches(), 2u);
}

// The neighbour's stand where the user stands outweighs the closer airport; both files come in
// the background, each once for the choice and the read.
TEST_F(AirportFetch, TheNeighboursStandDecidesOnceBothFilesHaveArrived)
{
    server.setRoute(stockPath, qmhttp::Route::ok(kphpFile));
    server.setRoute(neighbourPath, qmhttp::Route::ok(knbrFile));
    TrafficHarness h;
    useSite();
    h.setUser(44.063, kphpLon, true); // 0.9 nm from KPHP, 1.5 nm from KNBR, at KNBR's stand
    h.dataCycles(16, 1);
    ASSERT_TRUE(transferEnds());
    h.dataCycles(1, 1);
    EXPECT_EQ(parkAirportIcao, "KNBR");
    h.dataCycles(16, 1);
    EXPECT_TRUE(parkFileLoaded);
    EXPECT_EQ(stands.size(), 1u);
    EXPECT_EQ(fetches(neighbourPath), 1u);
    EXPECT_EQ(fetches(stockPath), 1u);
}
