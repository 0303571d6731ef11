// The park airport and static parking pass by pass: the airport chosen near the user, its file
// read, static aircraft placed on the stands whose options fit the weekday and slot, the renewal
// 20 minutes later, live aircraft that park and are learned into the learned file, the soft
// option of a flight that left the feed on the ground, the ageing of parked live aircraft and the
// livery respawn.
#include "foundation/indicators.h"
#include "airports/airports_db.h"
#include "foundation/indicators.h"
#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/paths.h"
#include "foundation/run_control.h"
#include "traffic/run/sim_objects.h"
#include "links/feed.h"
#include "links/udp_receiver.h"
#include "liveries/livery_matcher.h"
#include "liveries/type_data_base.h"
#include "liveries/type_queries.h"
#include "support/test_support.h"
#include "traffic/run/data_cycle.h"
#include "traffic/parking/live_parking.h"
#include "traffic/flights/livery_respawn.h"
#include "traffic/flights/motion.h"
#include "traffic/parking/park_airports.h"
#include "traffic/parking/parking_renewal.h"
#include "traffic/run/range.h"
#include "traffic/state/removal.h"
#include "traffic/parking/stand_learning.h"
#include "traffic/parking/static_parking.h"
#include "traffic/state/traffic_state.h"
#include "../traffic_harness.h"
#include "rtpeer.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <optional>
#include <set>

using namespace qtr;
using qtest::TrafficHarness;

namespace {

constexpr double airportLat = 50.0, airportLon = 8.5;
constexpr std::int64_t monday1200 = 1717416000; // the harness's start: Monday, slot 24

// A stand of the test airport: n-th in a row going north, 111 m apart (no neighbours).
double standLat(int n) { return airportLat + 0.001 * n; }

struct Opt {
    std::string reg, airline, type, cs;
    int day;
    std::string hh;
    bool soft = false;
};

std::string optXml(const Opt& o)
{
    return fmt::format(R"(<opt reg="{}" airl="{}" type="{}" cs="{}" day="{}" hh="{}"{}/>)", o.reg, o.airline, o.type,
                       o.cs, o.day, o.hh, o.soft ? R"( soft="true")" : "");
}

std::string standXml(int n, const std::vector<Opt>& opts, double headingDeg = 90)
{
    std::string xml = fmt::format(R"(<parkpos id="A{}" latitude="{:.6f}" longitude="{:.6f}" heading="{}" radius="20">)",
                                  n, standLat(n), airportLon, headingDeg);
    for (const Opt& o : opts) xml += optXml(o);
    return xml + "</parkpos>";
}

// Writes airports/my_thirdparty/<icao>.xml with the stands (and further parameter elements).
void writeAirportFile(const std::string& standsXml, const std::string& moreParameters = "",
                      const std::string& icao = "EDDF")
{
    const std::string text =
        "<?xml version=\"1.0\"?>\n<meta><info name=\"author\" value=\"t\"/><info name=\"date\" value=\"d\"/>"
        "<info name=\"version\" value=\"1\"/></meta>\n<parameters><parameter name=\"airport_name\" value=\"Test\"/>"
        "<parameter name=\"publisher\" value=\"Pub\"/><parameter name=\"altitude\" value=\"364\"/>" +
        moreParameters +
        "</parameters>\n"
        "<parkpositions>" +
        standsXml + "</parkpositions>\n";
    std::filesystem::create_directories(myThirdpartyFolder);
    qtest::writeFile(myThirdpartyFolder / (icao + ".xml"), text);
}

class Parking : public ::testing::Test {
protected:
    void SetUp() override
    {
        cwd.emplace(qtest::freshFolder("parking"));
        gf_startLog();
        airports = {Airport{"EDDF", "FRA", airportLat, airportLon, 364}};
        liveAircraft.reserve(64);
        TrafficHarness::addType("A320", categoryLarge, 0.0096);
        TrafficHarness::addType("B744", categoryHeavy, 0.0173);
        TrafficHarness::addLivery("DLH", "A320", "Airbus A320 Lufthansa");
        TrafficHarness::addLivery("DLH", "B744", "Boeing 747 Lufthansa");
        TrafficHarness::addLivery("BAW", "A320", "Airbus A320 British Airways");
        for (CheckBoxParameter* p : {&PARK_SOFT, &PARK_FAKE, &WEEK, &INITIAL_LOAD_ONLY, &LEARN_SOFT, &GUID_CHANGES})
            p->setValue(p->defaultValue());
        for (IntEditParameter* p : {&MAX_FIT, &parking_percentage, &CUSTOM_MAX_PARK, &AIRPORT_RANGE, &AIRPORT_HEIGHT})
            p->setValue(p->defaultValue());
        CUSTOM_PARKING_PERCENTAGE.setValue(-1);
        LEARN_SOFT.setValue(true);
        GUID_CHANGES.setValue(true);
    }
    void TearDown() override
    {
        closeLog();
        forgetAirports();
        trafficReader.collectReportedFlights = false;
        trafficReader.reportedFlights.clear();
    }

    // The user on the ground 400 m west of the stands; the park airport chosen and its file read.
    void chooseAndLoad()
    {
        h.setUser(airportLat + 0.003, airportLon - 0.006, true);
        updateParkAirport(true);
        ASSERT_EQ(parkAirportIcao, "EDDF");
        ASSERT_TRUE(parkAirportReload);
        ASSERT_TRUE(trafficReader.collectReportedFlights.load()); // the live flights are collected
        h.dataCycles(16, 1);                                      // the 16th cycle loads the file
        ASSERT_TRUE(parkFileLoaded);
    }

    std::vector<std::string> staticTails() const
    {
        std::vector<std::string> tails;
        for (const auto& c : h.creations)
            if (c.request.recordId <= 10000) tails.push_back(c.request.callsign);
        return tails;
    }

    // The static aircraft with that callsign (a dummy in state buffer when there is none).
    const StaticAircraft& staticNamed(const std::string& callsign)
    {
        static const StaticAircraft none;
        for (const StaticAircraft& s : staticAircraft)
            if (s.callsign == callsign) return s;
        return none;
    }

    // Lufthansa n, an A320 parked on stand n (object 900 + n) since parkedAt.
    LiveAircraft& parkedLufthansa(int n, std::chrono::system_clock::time_point parkedAt)
    {
        FlightRecord r;
        r.callsign = fmt::format("DLH{}", n);
        r.type = "A320";
        r.flightId = 20000 + n;
        LiveAircraft& a = liveAircraft.emplace_back(Position{}, std::move(r), 0.0);
        a.state = stateActive;
        a.objectid = 900 + n;
        a.phase = phaseParked;
        a.sid = static_cast<std::uint32_t>(n);
        a.parkedAt = parkedAt;
        return a;
    }

    std::optional<qtest::ScopedCwd> cwd;
    TrafficHarness h;
};

// Ten stands; three hold Monday options at 12:00 (slot 24), 11:00 (22) and 10:00 (20); one is
// Tuesday's and one is for later today. 30 % of 10 stands: three statics, found by widening the
// window back to slot 20, placed best fit first, one every 50 ticks, never moved.
TEST_F(Parking, AirportChosenLoadedAndStockedByWeekdayAndSlot)
{
    writeAirportFile(standXml(1, {{"D-AIAA", "DLH", "A320", "DLH100:DLH101", 1, "23,24,25,"}}, 90) +
                     standXml(2, {{"D-AIAB", "DLH", "A320", "DLH102", 1, "22,"}}, 180) +
                     standXml(3, {{"D-AIAC", "DLH", "A320", "DLH104", 1, "20,"}}, 270) +
                     standXml(4, {{"D-AIAD", "DLH", "A320", "DLH106", 2, "24,"}}) +
                     standXml(5, {{"D-AIAE", "DLH", "A320", "DLH108", 1, "30,"}}) + standXml(6, {}) + standXml(7, {}) +
                     standXml(8, {}) + standXml(9, {}) + standXml(10, {}));
    chooseAndLoad();
    EXPECT_EQ(stands.size(), 10u);
    EXPECT_EQ(maxParkedAircraft, 3);
    // The statistics band is told which airport it shows.
    EXPECT_EQ(indicators.text(indicators.parkAirportText).rfind("EDDF", 0), 0u)
        << indicators.text(indicators.parkAirportText);
    ASSERT_EQ(staticCandidates.size(), 3u);
    EXPECT_EQ(staticCandidates.back().fit, 0u); // best fit last
    EXPECT_TRUE(parkingBusy.load());

    h.passes(200);
    EXPECT_EQ(staticTails(), (std::vector<std::string>{"DLH100*", "DLH102*", "DLH104*"}));
    std::vector<std::uint32_t> ticks;
    for (const auto& c : h.creations) ticks.push_back(c.tick);
    ASSERT_EQ(ticks.size(), 3u);
    EXPECT_EQ(ticks[1] - ticks[0], 50u);
    EXPECT_EQ(ticks[2] - ticks[1], 50u);
    const auto& first = h.creations[0].request;
    EXPECT_DOUBLE_EQ(first.position.latitude, standLat(1));
    EXPECT_NEAR(first.position.heading, 90.0, 1e-9);
    EXPECT_EQ(first.position.onGround, 1u);
    EXPECT_NEAR(h.creations[1].request.position.heading, 180.0, 1e-9);
    // Placed with the day and slot the option held: Monday 24, 22 and 20.
    EXPECT_EQ(staticNamed("DLH104*").daySlot, (DaySlot{1, 20}));
    for (const auto& frame : h.poses)
        for (const auto& p : frame) EXPECT_GT(p.objectId, h.creations.back().objectId) << "a static aircraft moved";
    // All placed and set up: the next update enables the parking controls again.
    h.passes(300);
    h.dataCycles(16, 1);
    EXPECT_FALSE(parkingBusy.load());
    EXPECT_EQ(countStaticParked(false), 3);
}

// The renewal 40 minutes later (12:40, slot 25): DLH100 leaves after this slot and hands its
// stand over to the aircraft of its coupled flight DLH101; DLH102 is reported live now and goes;
// DLH104 stays. At 14:00 with a max fit of 2.5 hours DLH104's option (10:00) has run out: it goes.
TEST_F(Parking, RenewalKeepsRemovesAndHandsOver)
{
    writeAirportFile(standXml(1, {{"D-AIAA", "DLH", "A320", "DLH100:DLH101", 1, "23,24,25,"}}) +
                     standXml(2, {{"D-AIAB", "DLH", "A320", "DLH102", 1, "22,"}}) +
                     standXml(3, {{"D-AIAC", "DLH", "A320", "DLH104", 1, "20,"}}) + standXml(4, {}) + standXml(5, {}) +
                     standXml(6, {}) + standXml(7, {}) + standXml(8, {}) + standXml(9, {}) + standXml(10, {}));
    chooseAndLoad();
    h.passes(500);
    ASSERT_EQ(staticTails().size(), 3u);

    h.clock().setUtc(monday1200 + 40 * 60);
    h.dataCycles(1, 1);
    trafficReader.reportedFlights.insert("DLH102"); // reported while the renewal collects
    adjustParking();
    EXPECT_EQ(staticNamed("DLH100*").state, stateRemovingFromSim);
    EXPECT_EQ(staticNamed("DLH102*").state, stateRemovingFromSim);
    EXPECT_EQ(staticNamed("DLH104*").state, stateActive);
    ASSERT_EQ(staticCandidates.size(), 1u);
    EXPECT_EQ(staticCandidates[0].cs2, "DLH101");
    h.passes(600); // removals go out, the coupled flight's static comes
    EXPECT_EQ(staticTails().back(), "DLH101*");
    EXPECT_EQ(staticNamed("DLH101*").sid, 1u);
    EXPECT_EQ(staticNamed("DLH100*").state, stateBuffer); // gone

    MAX_FIT.setValue(4);
    h.clock().setUtc(monday1200 + 2 * 3600);
    h.dataCycles(1, 1);
    adjustParking();
    EXPECT_EQ(staticNamed("DLH104*").state, stateRemovingFromSim);
}

// With no static parking wanted (0 %) and parked live aircraft, the renewal ends: the parked live
// aircraft go (they are more than wanted) instead of the renewal looping for ever.
TEST_F(Parking, RenewalEndsWithNoStaticParkingWanted)
{
    std::string xml;
    for (int n = 1; n <= 5; ++n) xml += standXml(n, {});
    writeAirportFile(xml);
    chooseAndLoad();
    for (int n = 1; n <= 2; ++n) parkedLufthansa(n, h.clock().systemNow());
    parking_percentage.setValue(0);
    INITIAL_LOAD_ONLY.setValue(true); // only the initial load: parked live aircraft stay
    adjustParking();
    EXPECT_EQ(liveAircraft[0].state, stateActive);
    EXPECT_EQ(liveAircraft[1].state, stateActive);
    INITIAL_LOAD_ONLY.setValue(false);
    adjustParking();
    EXPECT_TRUE(staticCandidates.empty());
    EXPECT_EQ(liveAircraft[0].state, stateRemovingFromSim);
    EXPECT_EQ(liveAircraft[1].state, stateRemovingFromSim);
}

// A live arrival taxis onto a stand, parks and is learned as a real option; the learned file is
// written when the park airport is left (atomically: no temporary file stays) and holds the
// option when the airport is read again after a restart.
TEST_F(Parking, LiveArrivalIsLearnedAndKeptAcrossARestart)
{
    writeAirportFile(standXml(1, {}) + standXml(2, {}));
    chooseAndLoad();
    h.passes(100);
    FlightRecord r;
    r.callsign = "DLH400";
    r.registration = "D-AIQA";
    r.airline = "DLH";
    r.type = "A320";
    r.flightId = 20400;
    r.radius = 0.0096;
    r.standTaxiSpeed = 10;
    Position p;
    p.lat = standLat(1) - 0.0005;
    p.lon = airportLon;
    p.time = tickCount;
    LiveAircraft& a = liveAircraft.emplace_back(p, std::move(r), 0.0);
    a.state = stateActive;
    a.objectid = 950;
    a.onGround = 1;
    a.lat = p.lat;
    a.lon = p.lon;
    setPhase(a, phaseTaxi);
    Position end = p;
    end.lat = standLat(1);
    end.stop = 1;
    end.time = tickCount + 500;
    a.stream.push_back(end);
    try2Park(a, true);
    ASSERT_EQ(a.phase, phaseParking);
    a.lat = standLat(1);
    a.lon = airportLon;
    arriveAtStand(a);
    ASSERT_EQ(a.phase, phaseParked);
    EXPECT_TRUE(stands[0].occupied); // the stand counts as taken while it stands there
    ASSERT_EQ(stands[0].options.size(), 1u);
    EXPECT_EQ(stands[0].options[0].reg, "D-AIQA");
    EXPECT_EQ(stands[0].options[0].kind, optionReal);
    EXPECT_TRUE(stands[0].options[0].slots.test(24));
    EXPECT_EQ(learnedSlots.size(), 1u);

    removeAllParkedAircraft(); // leaving the airport saves what was learned
    EXPECT_EQ(indicators.text(indicators.parkAirportText), "");
    const auto learned = learnedFolder / "thirdparty" / "Pub" / "EDDF.xml";
    ASSERT_TRUE(std::filesystem::exists(learned));
    EXPECT_FALSE(std::filesystem::exists(learned.string() + ".tmp"));
    EXPECT_EQ(parkAirportIcao, "");

    // A new run at the same airport reads it back.
    resetTrafficManager();
    setParkAirport("EDDF");
    ASSERT_EQ(lf_readParkedFile(), "");
    const auto stand = findStandByName("A1");
    ASSERT_NE(stand, stands.end());
    ASSERT_EQ(stand->options.size(), 1u);
    EXPECT_EQ(stand->options[0].cs, "DLH400");
    EXPECT_TRUE(stand->options[0].slots.test(24));
}

// A flight whose reports end on the ground near the airport, not on a stand, is guessed onto a
// free stand that suits it as a soft option; the same flight is not learned again within three
// slots, and an aircraft 5.1 nm away never.
TEST_F(Parking, FlightLeavingTheFeedOnTheGroundGetsASoftOption)
{
    writeAirportFile(standXml(1, {{"D-AIAA", "DLH", "A320", "DLH100", 1, "24,"}}) + standXml(2, {}));
    chooseAndLoad();
    FlightRecord r;
    r.callsign = "DLH500";
    r.registration = "D-AIQB";
    r.airline = "DLH";
    r.type = "A320";
    r.flightId = 20500;
    r.radius = 0.0096;
    LiveAircraft& a = liveAircraft.emplace_back(Position{}, std::move(r), 0.0);
    a.lat = airportLat;
    a.lon = airportLon - 0.01;
    a.onGround = 1;
    learnParking(a, true);
    ASSERT_EQ(stands[1].options.size(), 1u); // A1 is taken at this slot by its real option
    EXPECT_EQ(stands[1].options[0].kind, optionSoft);
    EXPECT_EQ(stands[1].options[0].reg, "D-AIQB");
    EXPECT_EQ(standChangeCount.load(), 1);
    // The same flight again 2 slots later is not noted again; 3 slots later it is.
    EXPECT_FALSE(rememberLearnedSlot(DaySlot{1, 26}, 20500, false));
    EXPECT_TRUE(rememberLearnedSlot(DaySlot{1, 27}, 20500, false));
    EXPECT_TRUE(rememberLearnedSlot(DaySlot{1, 28}, 20500, true));
    LiveAircraft distant = a;
    distant.flightId = 20501;
    distant.lat = airportLat + 5.1 / 60.0;
    distant.lon = airportLon;
    const std::int32_t before = standChangeCount.load();
    learnParking(distant, true);
    EXPECT_EQ(standChangeCount.load(), before);
}

// Parked live aircraft without reports on their stand go after 90 minutes (180 for a Heavy),
// unless only the initial load is wanted; a reported one stays.
TEST_F(Parking, AgeingRemovesParkedLiveAircraft)
{
    const struct {
        const char* type;
        int minutes;
        bool reported;
        bool initialLoadOnly;
        bool removed;
    } cases[] = {{"A320", 90, false, false, false},  {"A320", 91, false, false, true},
                 {"B744", 180, false, false, false}, {"B744", 181, false, false, true},
                 {"A320", 500, true, false, false},  {"A320", 91, false, true, false}};
    for (const auto& c : cases) {
        liveAircraft.clear();
        FlightRecord r;
        r.callsign = "DLH1";
        r.type = c.type;
        r.flightId = 20001;
        r.category = categoryOfType(c.type);
        LiveAircraft& a = liveAircraft.emplace_back(Position{}, std::move(r), 0.0);
        a.state = stateActive;
        a.objectid = 901;
        a.phase = phaseParked;
        a.parkedReportSeen = c.reported ? 1 : 0;
        a.parkedAt = h.clock().systemNow() - std::chrono::minutes(c.minutes) - std::chrono::seconds(30);
        INITIAL_LOAD_ONLY.setValue(c.initialLoadOnly);
        ageLiveParked();
        EXPECT_EQ(a.state == stateRemovingFromSim, c.removed) << c.type << " " << c.minutes;
        EXPECT_EQ(liveStayers.size(), c.removed ? 0u : 1u);
    }
}

// A parked live aircraft whose new registration belongs to another airline's livery is removed
// and created again under it, on its stand; a report in the air during take-off never respawns.
TEST_F(Parking, LiveryRespawnReplacesTheAircraft)
{
    registrations["G-EUUA"] = RegistrationInfo{"BAW", "A320", "", false};
    h.setUser(10, 10, true);
    tickCount = 2900;
    FlightRecord r;
    r.callsign = "DLH600";
    r.registration = "D-AIQC";
    r.airline = "DLH";
    r.type = "A320";
    r.flightId = 20600;
    r.radius = 0.0096;
    Position p;
    p.lat = 10.5;
    p.lon = 10.5;
    p.time = 3000;
    LiveAircraft& a = liveAircraft.emplace_back(p, std::move(r), 0.0);
    Position q = p;
    q.stop = 1;
    q.time = 3500;
    a.stream.push_back(q);
    h.passes(400);
    ASSERT_EQ(a.state, stateActive);
    ASSERT_EQ(a.livery, "Airbus A320 Lufthansa");
    const std::uint32_t firstObject = a.objectid;

    TrafficReport report = TrafficHarness::report(20600, "BAW77", "A320", 10.5, 10.5, 0, 0, 0, 10.0);
    report.registration = "G-EUUA";
    EXPECT_FALSE(checkLiveryRespawn(a, report));
    EXPECT_EQ(a.state, stateLiveryRespawn);
    EXPECT_EQ(a.callsign, "BAW77");
    h.passes(600); // removed, buffered again, created under its new livery
    EXPECT_EQ(a.state, stateActive);
    EXPECT_NE(a.objectid, firstObject);
    EXPECT_EQ(h.creations.back().request.liveryTitle, "Airbus A320 British Airways");
    EXPECT_EQ(h.creations.back().request.callsign, "BAW77");

    a.departing = 1;
    TrafficReport again = report;
    again.callsign = "DLH9";
    EXPECT_TRUE(checkLiveryRespawn(a, again));
    EXPECT_EQ(a.state, stateActive);
}

// Without respawns a changed registration is taken over, but the aircraft flies on as it is: it
// keeps its phase and its livery (no phase birth on an aircraft in the simulator).
TEST_F(Parking, WithoutRespawnsTheAircraftKeepsMoving)
{
    registrations["G-EUUA"] = RegistrationInfo{"BAW", "A320", "", false};
    GUID_CHANGES.setValue(false);
    FlightRecord r;
    r.callsign = "DLH600";
    r.registration = "D-AIQC";
    r.airline = "DLH";
    r.type = "A320";
    r.flightId = 20600;
    LiveAircraft& a = liveAircraft.emplace_back(Position{}, std::move(r), 0.0);
    a.state = stateActive;
    a.objectid = 900;
    setPhase(a, phaseFlying);
    a.livery = "Airbus A320 Lufthansa";
    TrafficReport report = TrafficHarness::report(20600, "BAW77", "A320", 10.5, 10.5, 5000, 250, 0, 10.0);
    report.registration = "G-EUUA";
    EXPECT_TRUE(checkLiveryRespawn(a, report));
    EXPECT_EQ(a.registration, "G-EUUA");
    EXPECT_EQ(a.phase, phaseFlying);
    EXPECT_EQ(a.livery, "Airbus A320 Lufthansa");
    EXPECT_EQ(a.state, stateActive);
    // A respawn with no position left gives up after its log line instead of reading nothing.
    a.stream.clear();
    liveryRespawn(a);
    EXPECT_EQ(a.state, stateActive);
}

} // namespace

namespace {

// "my_park_airports.txt": malformed, unknown and repeated lines are skipped (an unknown airport
// makes the result false); the file is written back sorted, the first entry's line updated.
TEST_F(Parking, ParkAirportListFile)
{
    airports = {Airport{"EDDF", "FRA", airportLat, airportLon, 364}, Airport{"KJFK", "JFK", 40.6, -73.8, 13}};
    std::filesystem::create_directories(airportsFolder);
    qtest::writeFile(myParkAirportsPath, "KJFK\nEDDF,V155\n\nEDDF\nXXXX\nEDDM,A,B\n");
    EXPECT_FALSE(lf_readMyParkAirports());
    ASSERT_EQ(parkAirportList.size(), 2u);
    EXPECT_EQ(parkAirportList[0].icao, "KJFK");
    EXPECT_EQ(parkAirportList[1].reservedStand, "V155");
    setParkAirportEntry("EDDF", LatLon{airportLat, airportLon}); // listed: moved first, not written
    EXPECT_EQ(parkAirportList[0].icao, "EDDF");
    parkAirportList[0].reservedStand = "";
    writeMyParkAirports();
    std::string text;
    for (char c : qtest::readFile(myParkAirportsPath))
        if (c != '\r') text += c;
    EXPECT_EQ(text, "EDDF\nEDDF,\nEDDM,A,B\nKJFK\nXXXX\n"); // the first EDDF line updated, the double kept
    // An airport of the add-on folder counts as listed too.
    std::filesystem::create_directories(myThirdpartyFolder);
    airports.push_back(Airport{"LSZH", "ZRH", 47.46, 8.55, 1416});
    std::sort(airports.begin(), airports.end(), [](const Airport& a, const Airport& b) { return a.code < b.code; });
    qtest::writeFile(myThirdpartyFolder / "LSZH.xml", "x");
    lf_readMyParkAirports();
    EXPECT_TRUE(findParkAirport("LSZH"));
}

// The statistics band shows the week of traffic the airport file was made from.
TEST_F(Parking, StatisticsShowTheTrafficWeekOfTheFile)
{
    writeAirportFile(standXml(1, {}) + standXml(2, {}), R"(<parameter name="RT_traffic_week" value="30"/>)");
    chooseAndLoad();
    EXPECT_EQ(indicators.parkWeek.load(), 30u);
    removeAllParkedAircraft();
    EXPECT_EQ(indicators.parkWeek.load(), 0u);
}

// An arrival still taxiing to its stand when the park airport is left keeps taxiing, without the
// stand: its id would name a stand of the next airport.
TEST_F(Parking, ArrivalTaxiingToItsStandLosesItWhenTheAirportIsLeft)
{
    writeAirportFile(standXml(1, {}) + standXml(2, {}));
    chooseAndLoad();
    FlightRecord r;
    r.callsign = "DLH400";
    r.flightId = 20400;
    LiveAircraft& a = liveAircraft.emplace_back(Position{}, std::move(r), 0.0);
    a.state = stateActive;
    a.objectid = 950;
    a.phase = phaseParking;
    a.sid = 2;
    a.parkLat = standLat(2);
    a.parkLon = airportLon;
    removeAllParkedAircraft();
    EXPECT_EQ(a.state, stateActive);
    EXPECT_EQ(a.sid, 0u);
    EXPECT_EQ(a.parkLat, 0.0);
    EXPECT_EQ(a.phase, phaseTaxi);
}

// Leaving the airport takes the live aircraft on the ground along: an active one is removed, one
// whose creation is still queued leaves the live queue with its record, one whose creation went out
// goes once created; one in the air stays.
TEST_F(Parking, LeavingTheAirportRemovesOrCancelsLiveAircraftOnTheGround)
{
    writeAirportFile(standXml(1, {}) + standXml(2, {}));
    chooseAndLoad();
    const struct {
        const char* callsign;
        std::uint32_t state, phase;
        bool queued;
        std::uint32_t stateAfter;
        bool whenCreated;
    } cases[] = {
        {"ACT1", stateActive, phaseParked, false, stateRemovingFromSim, false},
        {"QUE1", stateAdding2Sim, phaseTaxi, true, 0, false}, // record gone
        {"SNT1", stateAdding2Sim, phaseTaxi, false, stateAdding2Sim, true},
        {"AIR1", stateActive, phaseFlying, false, stateActive, false},
    };
    liveAircraft.reserve(8);
    std::uint32_t id = 20501;
    for (const auto& c : cases) {
        FlightRecord r;
        r.callsign = c.callsign;
        r.flightId = id++;
        LiveAircraft& a = liveAircraft.emplace_back(Position{}, std::move(r), 0.0);
        a.state = c.state;
        a.phase = c.phase;
        a.objectid = c.state == stateActive ? id : 0;
        if (c.queued) pendingLiveCreations.push_back(AiCreateRequest{{}, c.callsign, "T", a.flightId});
    }
    removeAllParkedAircraft();
    EXPECT_TRUE(pendingLiveCreations.empty());
    for (const auto& c : cases) {
        const auto it = std::find_if(liveAircraft.begin(), liveAircraft.end(),
                                     [&](const LiveAircraft& a) { return a.callsign == c.callsign; });
        ASSERT_EQ(it != liveAircraft.end(), c.stateAfter != 0) << c.callsign;
        if (it == liveAircraft.end()) continue;
        EXPECT_EQ(it->state, c.stateAfter) << c.callsign;
        EXPECT_EQ(it->removeWhenCreated != 0, c.whenCreated) << c.callsign;
    }
}

// Leaving the airport saves the learned file when the user changed a parking setting there, even
// with no stand changed; with nothing changed, or only the automatic range moved by the climb
// away, or a setting the file does not carry changed, no file is written.
TEST_F(Parking, ChangedParkingSettingsAreSavedWithTheAirport)
{
    const auto learned = learnedFolder / "thirdparty" / "Pub" / "EDDF.xml";
    writeAirportFile(standXml(1, {}) + standXml(2, {}));
    chooseAndLoad();
    removeAllParkedAircraft();
    EXPECT_FALSE(std::filesystem::exists(learned));

    AUTO_RANGE.setValue(true);
    chooseAndLoad();
    noteParkingSettingChange(ALWAYS_ON_TOP);
    autoRange();
    const std::int32_t onGround = LATERAL_RANGE.value();
    h.setUser(airportLat, airportLon, false, 19364, 0, 19000); // climbed above AIRPORT_HEIGHT
    autoRange();
    EXPECT_NE(LATERAL_RANGE.value(), onGround);
    updateParkAirport(false);
    ASSERT_EQ(parkAirportIcao, "");
    EXPECT_FALSE(std::filesystem::exists(learned));
    AUTO_RANGE.setValue(AUTO_RANGE.defaultValue());

    WEEK.setValue(!WEEK.defaultValue());
    noteParkingSettingChange(WEEK); // before the airport is loaded: its file does not take it
    chooseAndLoad();
    removeAllParkedAircraft();
    EXPECT_FALSE(std::filesystem::exists(learned));
    WEEK.setValue(WEEK.defaultValue());

    chooseAndLoad();
    WEEK.setValue(!WEEK.defaultValue());
    noteParkingSettingChange(WEEK);
    stopRequested = true; // left at the exit: the save is logged all the same
    removeAllParkedAircraft();
    stopRequested = false;
    EXPECT_NE(qtest::readFile("Log.txt").find("EDDF.xml\" saved with 0 updates and one or more parameter changes"),
              std::string::npos);
    ASSERT_TRUE(std::filesystem::exists(learned));
    WEEK.setValue(WEEK.defaultValue());
    resetTrafficManager();
    setParkAirport("EDDF");
    ASSERT_EQ(lf_readParkedFile(), "");
    EXPECT_EQ(WEEK.value(), !WEEK.defaultValue());
}

// In the air: the listed airports are looked at nearest first; one is chosen only in sight
// (within AIRPORT_RANGE and below AIRPORT_HEIGHT above the ground), dropped when the user climbs
// above that height, and replaced by a listed airport in sight that is nearer.
TEST_F(Parking, ParkAirportChosenInTheAirNearestFirst)
{
    airports = {Airport{"EDDF", "FRA", airportLat, airportLon, 364},
                Airport{"EDDK", "CGN", airportLat + 0.1, airportLon, 300}};
    writeAirportFile(standXml(1, {}) + standXml(2, {}));
    writeAirportFile(standXml(1, {}) + standXml(2, {}), "", "EDDK");
    std::filesystem::create_directories(airportsFolder);
    qtest::writeFile(myParkAirportsPath, "EDDK\nEDDF\n");
    ASSERT_TRUE(lf_readMyParkAirports());
    const auto fly = [this](double lat, double aboveGround) {
        h.setUser(lat, airportLon, false, aboveGround + 364, 0, aboveGround);
        updateParkAirport(false);
    };
    fly(airportLat + 0.02, 18100); // 1.2 nm from EDDF, 4.8 nm from EDDK, too high
    EXPECT_EQ(parkAirportIcao, "");
    fly(airportLat + 0.02, 17900);
    EXPECT_EQ(parkAirportIcao, "EDDF");
    h.dataCycles(16, 1);
    ASSERT_TRUE(parkFileLoaded);
    fly(airportLat + 0.02, 18100);
    EXPECT_EQ(parkAirportIcao, ""); // out of sight above the height

    fly(airportLat + 0.1, 3000);
    EXPECT_EQ(parkAirportIcao, "EDDK");
    h.dataCycles(16, 1);
    ASSERT_TRUE(parkFileLoaded);
    fly(airportLat + 0.06, 3000); // EDDK 2.4 nm, EDDF 3.6 nm: stays
    EXPECT_EQ(parkAirportIcao, "EDDK");
    // With a destination the list keeps its order: an airport listed first but farther away
    // does not take over.
    DESTINATION.setValue("EDDF");
    std::rotate(parkAirportList.begin(), parkAirportList.begin() + 1, parkAirportList.end());
    ASSERT_EQ(parkAirportList.front().icao, "EDDF");
    fly(airportLat + 0.06, 3000);
    EXPECT_EQ(parkAirportIcao, "EDDK");
    DESTINATION.setValue("");
    fly(airportLat + 0.03, 3000); // EDDF nearer now: EDDK is left
    EXPECT_EQ(parkAirportIcao, "");
    fly(airportLat + 0.03, 3000);
    EXPECT_EQ(parkAirportIcao, "EDDF");
    // A tie goes to the list's first entry: another airport exactly as far away takes over.
    h.dataCycles(16, 1); // once EDDF's file is loaded
    DESTINATION.setValue("EDDF");
    parkAirportList.insert(parkAirportList.begin(), ParkAirportEntry{"EDDT", "", LatLon{airportLat, airportLon}});
    fly(airportLat + 0.03, 3000);
    EXPECT_EQ(parkAirportIcao, "");
    DESTINATION.setValue("");
}

// On the ground on a stand: the airport is listed first with that stand as its reserved stand
// (and written to the list file); the reserved stand gets no static aircraft. A reserved stand
// changed in the list file moves the reservation, and the aircraft on the new one goes.
TEST_F(Parking, UsersStandIsReservedAndItsChangeApplied)
{
    std::string xml;
    for (int n = 1; n <= 4; ++n)
        xml += standXml(n, {{"D-AIA" + std::to_string(n), "DLH", "A320", "DLH10" + std::to_string(n), 1, "24,"}});
    writeAirportFile(xml);
    CUSTOM_PARKING_PERCENTAGE.setValue(100);
    h.setUser(standLat(2), airportLon, true);
    updateParkAirport(true);
    ASSERT_EQ(parkAirportIcao, "EDDF");
    h.dataCycles(16, 1);
    ASSERT_TRUE(parkFileLoaded);
    ASSERT_FALSE(parkAirportList.empty());
    EXPECT_EQ(parkAirportList.front().icao, "EDDF");
    EXPECT_EQ(parkAirportList.front().reservedStand, "A2");
    EXPECT_EQ(reservedStandName(), "A2");
    EXPECT_NE(qtest::readFile(myParkAirportsPath).find("EDDF,A2"), std::string::npos);
    for (const StaticCandidate& c : staticCandidates) EXPECT_NE(c.sid, findStandByName("A2")->id);
    EXPECT_EQ(staticCandidates.size(), 3u);
    h.passes(600);
    h.dataCycles(16, 1);
    ASSERT_FALSE(parkingBusy.load());
    ASSERT_EQ(countStaticParked(false), 3);

    h.setUser(airportLat + 0.003, airportLon - 0.006, true); // walked off the stand
    qtest::writeFile(myParkAirportsPath, "EDDF,A4\n");
    std::string message;
    ASSERT_TRUE(checkParkAirportsAndStands(true, message));
    EXPECT_EQ(message, "reserved stand changed from \"A2\" to \"A4\"");
    EXPECT_EQ(reservedStandName(), "A4");
    EXPECT_TRUE(findStandByName("A4")->reserved);
    EXPECT_FALSE(findStandByName("A2")->reserved);
    EXPECT_EQ(staticNamed("DLH104*").state, stateRemovingFromSim);
    EXPECT_EQ(staticNamed("DLH103*").state, stateActive);

    // Back on another stand of the listed airport: its entry takes that stand.
    removeAllParkedAircraft();
    h.setUser(standLat(3), airportLon, true);
    updateParkAirport(true);
    h.dataCycles(16, 1);
    ASSERT_TRUE(parkFileLoaded);
    EXPECT_EQ(parkAirportList.front().reservedStand, "A3");
    EXPECT_NE(qtest::readFile(myParkAirportsPath).find("EDDF,A3"), std::string::npos);
}

// A parked aircraft's route in a new report: only a new destination (same origin) is the same
// flight and no respawn; leaving from the park airport for another destination is a new flight
// and respawns; reported back to the park airport from where it went is the same rotation.
TEST_F(Parking, RouteChangesThatRespawn)
{
    ASSERT_TRUE(setParkAirport("EDDF")); // FRA
    const struct {
        const char *origin, *destination, *reportedOrigin, *reportedDestination;
        bool respawns;
    } cases[] = {{"JFK", "FRA", "JFK", "LHR", false},
                 {"JFK", "FRA", "FRA", "LHR", true},
                 {"FRA", "JFK", "JFK", "FRA", false},
                 {"JFK", "FRA", "LHR", "MUC", true}};
    for (const auto& c : cases) {
        liveAircraft.clear();
        FlightRecord r;
        r.callsign = "DLH600";
        r.airline = "DLH";
        r.type = "A320";
        r.flightId = 20600;
        r.origin = c.origin;
        r.destination = c.destination;
        Position p;
        p.lat = standLat(1);
        p.lon = airportLon;
        LiveAircraft& a = liveAircraft.emplace_back(p, std::move(r), 0.0);
        a.state = stateActive;
        a.objectid = 900;
        a.onGround = 1;
        setPhase(a, phaseParked);
        a.livery = "Airbus A320 Lufthansa";
        TrafficReport report = TrafficHarness::report(20600, "DLH600", "A320", standLat(1), airportLon, 0, 0, 0, 10.0);
        report.origin = c.reportedOrigin;
        report.destination = c.reportedDestination;
        EXPECT_EQ(!checkLiveryRespawn(a, report), c.respawns) << c.reportedOrigin << "-" << c.reportedDestination;
        EXPECT_EQ(a.state == stateLiveryRespawn, c.respawns);
        EXPECT_EQ(a.phase == phaseTaxi, c.respawns); // a new flight leaves its stand
    }
}

// Learning stops at an airport whose file is good already: real options of quality 45 or more on
// 20 stands or more; LEARN_SOFT is switched off then.
TEST_F(Parking, LearningOnlyWhereTheFileIsNotGoodYet)
{
    const struct {
        int stands, quality;
        bool allowed;
    } cases[] = {{20, 45, false}, {19, 50, true}, {20, 44, true}, {21, 100, false}};
    for (const auto& c : cases) {
        std::string xml;
        for (int n = 1; n <= c.stands; ++n) xml += standXml(n, {});
        writeAirportFile(xml, fmt::format(R"(<parameter name="Qf_real" value="{}"/>)", c.quality));
        LEARN_SOFT.setValue(true);
        chooseAndLoad();
        EXPECT_EQ(learningAllowed, c.allowed) << c.stands << " " << c.quality;
        EXPECT_EQ(LEARN_SOFT.value(), c.allowed);
        removeAllParkedAircraft();
        resetTrafficManager();
        std::filesystem::remove_all(learnedFolder);
    }
}

// Options learned at a stand come back with the airport file's own options of that stand, each
// with an id of its own (arrivals are held by option id).
TEST_F(Parking, LearnedOptionsMergedWithUniqueIds)
{
    writeAirportFile(
        standXml(1, {{"D-AIAA", "DLH", "A320", "DLH100", 1, "10,"}, {"D-AIAB", "DLH", "A320", "DLH102", 2, "10,"}}));
    chooseAndLoad();
    FlightRecord r;
    r.callsign = "DLH400";
    r.registration = "D-AIQA";
    r.airline = "DLH";
    r.type = "A320";
    ASSERT_TRUE(lf_addRealStandOption(1, r, DaySlot{1, 24}, false));
    r.callsign = "DLH402";
    r.registration = "D-AIQB";
    ASSERT_TRUE(lf_addRealStandOption(1, r, DaySlot{4, 24}, false));
    removeAllParkedAircraft();
    resetTrafficManager();
    setParkAirport("EDDF");
    ASSERT_EQ(lf_readParkedFile(), "");
    ASSERT_EQ(stands[0].options.size(), 4u);
    std::set<std::uint32_t> ids;
    for (const StandOption& o : stands[0].options) {
        EXPECT_NE(o.id, 0u);
        ids.insert(o.id);
    }
    EXPECT_EQ(ids.size(), 4u);
}

// The renewal cuts parked live aircraft beyond the wanted number, but not one the feed still
// reports on its stand: removed, its next report would create it there again.
TEST_F(Parking, RenewalKeepsParkedAircraftTheFeedStillReports)
{
    std::string xml;
    for (int n = 1; n <= 5; ++n) xml += standXml(n, {});
    writeAirportFile(xml);
    chooseAndLoad();
    for (int n = 1; n <= 2; ++n) {
        LiveAircraft& a = parkedLufthansa(n, h.clock().systemNow() - std::chrono::minutes(n == 1 ? 3 : 1));
        a.parkedReportSeen = n == 1 ? 1 : 0; // DLH1 reported on its stand 3 minutes ago
    }
    CUSTOM_PARKING_PERCENTAGE.setValue(20); // one of five stands: one too many
    adjustParking();
    EXPECT_EQ(liveAircraft[0].state, stateActive);
    EXPECT_EQ(liveAircraft[1].state, stateRemovingFromSim); // parked a minute ago, never reported there
    liveAircraft[1].state = stateActive;
    CUSTOM_PARKING_PERCENTAGE.setValue(0); // none wanted: the reported one still stays
    adjustParking();
    EXPECT_EQ(liveAircraft[0].state, stateActive);
    EXPECT_EQ(liveAircraft[1].state, stateRemovingFromSim);
}

} // namespace

// A park airport whose file holds no stands stays chosen and is not read again: the ground
// reports near it keep counting, so the C172 of a real capture at Bonn-Hangelar taxis, rolls,
// flies its circuit and lands as one aircraft instead of vanishing at its take-off roll.
TEST_F(Parking, StandLessAirportStaysChosenAndKeepsItsGroundTraffic)
{
    constexpr double edkbLat = 50.7677, edkbLon = 7.1633;
    airports = {Airport{"EDKB", "BNJ", edkbLat, edkbLon, 197}};
    std::filesystem::create_directories(myThirdpartyFolder);
    qtest::writeFile(
        myThirdpartyFolder / "EDKB.xml",
        "<?xml version=\"1.0\"?>\n<meta><info name=\"author\" value=\"t\"/><info name=\"date\" value=\"d\"/>"
        "<info name=\"version\" value=\"1\"/></meta>\n<parameters><parameter name=\"altitude\" "
        "value=\"197\"/></parameters>\n<parkpositions></parkpositions>\n");
    TrafficHarness::addType("C172", categoryLight, 0.0030);
    TrafficHarness::addLivery("", "C172", "Cessna 172 Generic");
    h.setUser(edkbLat, edkbLon - 0.004, true);
    setReaderUserPosition(edkbLat, edkbLon - 0.004);
    updateParkAirport(true);
    h.dataCycles(16, 1);
    ASSERT_EQ(parkAirportIcao, "EDKB");
    EXPECT_TRUE(stands.empty());

    std::vector<std::pair<double, std::string>> lines; // report time, line in the feed's format
    std::ifstream capture(QM_SOURCE_DIR "/../shared/realdata/realtraffic/aitfc_edkb_10s.csv");
    for (std::string line; std::getline(capture, line);)
        if (auto converted = rtpeer::convertAitfcLine(line))
            lines.emplace_back(std::stod(line.substr(line.rfind(',') + 1)), *converted);
    ASSERT_EQ(lines.size(), 33u);
    const double start = lines.front().first;
    const int total = static_cast<int>((lines.back().first - start) * 100) + 3500;
    std::size_t next = 0;
    for (int pass = 0; pass < total; ++pass) {
        if (pass % 100 == 0) newUserData = true; // the data cycle, once a second
        for (; next < lines.size() && (lines[next].first - start) * 100 <= pass; ++next) {
            trafficReader.data = lines[next].second;
            trafficReader.splitFields();
            trafficReader.processLine();
        }
        h.pass();
    }
    EXPECT_EQ(parkAirportIcao, "EDKB");
    const std::string log = qtest::readFile("Log.txt");
    std::size_t reads = 0;
    for (std::size_t at = log.find("Airport file read from"); at != std::string::npos;
         at = log.find("Airport file read from", at + 1))
        ++reads;
    EXPECT_EQ(reads, 1u) << "read again while chosen";
    // Created from its first reports, taxiing, 30 s behind the feed, and kept to the end.
    ASSERT_EQ(h.creations.size(), 1u);
    EXPECT_EQ(h.creations[0].request.callsign, "DEEZU");
    EXPECT_LE(h.creations[0].tick, 3000u);
    EXPECT_TRUE(h.removals.empty());
}
