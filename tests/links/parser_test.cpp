#include "foundation/parameters/parameter_table.h"
#include "links/feed.h"
#include "links/feed_fields.h"
#include "foundation/geometry.h"
#include "foundation/utilities.h"
#include "links/udp_receiver.h"
#include "link_test_support.h"
#include "rtpeer.h" // its sender feeds the reader thread
#include "support/sim_fixture.h"
#include "support/test_support.h"
#include "traffic/run/worker.h"
#include "traffic/state/traffic_state.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <map>
#include <numbers>

using namespace qtr;

namespace {

using F = TrafficField;

constexpr double userLat = 33.94, userLon = -118.40; // LAX
constexpr double parkLat = 33.9425, parkLon = -118.4081;

// A valid airborne line of the newer format (42 fields); tests change single fields.
std::map<int, std::string> baseFields()
{
    std::map<int, std::string> f{{F::tag, "RTTFC"},
                                 {F::flightId, "11234042"},
                                 {F::latitude, "33.93"},
                                 {F::longitude, "-118.38"},
                                 {F::altitude, "5000"},
                                 {F::verticalSpeed, "-500"},
                                 {F::onGround, "0"},
                                 {F::track, "250.5"},
                                 {F::groundSpeed, "180"},
                                 {F::callsign, "AAL72"},
                                 {F::type, "B738"},
                                 {F::registration, "N835AN"},
                                 {F::origin, "SFO"},
                                 {F::destination, "LAX"},
                                 {F::timestamp, "1645144774.2"},
                                 {15, "X2"},
                                 {16, "AA72"},
                                 {F::dataSource, "adsb_icao"},
                                 {F::geometricAltitude, "5000"},
                                 {19, "200"},
                                 {F::trueAirspeed, "210"},
                                 {21, "0.3"},
                                 {22, "0.0"},
                                 {F::roll, "10"},
                                 {24, "245"},
                                 {F::trueHeading, "250.5"},
                                 {F::geometricVerticalSpeed, "-500"},
                                 {27, "none"},
                                 {F::emitterCategory, "A3"}};
    for (int i = 29; i <= 41; ++i) f[i] = "x";
    return f;
}

std::string join(const std::map<int, std::string>& fields, int count)
{
    std::string text;
    for (int i = 0; i < count; ++i) {
        if (i) text += ',';
        const auto it = fields.find(i);
        if (it != fields.end()) text += it->second;
    }
    return text;
}

std::string lineWith(const std::map<int, std::string>& changes, int count = 42)
{
    auto f = baseFields();
    for (const auto& [i, v] : changes) f[i] = v;
    return join(f, count);
}

enum class Park { None, Near, NearWithAltitude280 };

struct Outcome {
    std::optional<TrafficReport> report;
    std::string error; // the text of the failed check, empty when none
};

class ParserTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        reader.userLat = userLat;
        reader.userLon = userLon;
        lateralRangeNm = 40.0;
        {
            std::lock_guard lock(trafficMutex);
            trafficRunning = true;
            incomingTraffic.clear();
        }
    }
    void TearDown() override
    {
        std::lock_guard lock(trafficMutex);
        trafficRunning = false;
        incomingTraffic.clear();
    }

    void park(Park p)
    {
        reader.parkAirportSet = p != Park::None;
        reader.parkLat = parkLat;
        reader.parkLon = parkLon;
        reader.parkAltitudeKnown = p == Park::NearWithAltitude280;
        reader.parkAltitude = 280.0;
    }

    Outcome parse(const std::string& text, Park p = Park::None)
    {
        park(p);
        datagram = text;
        reader.data = datagram;
        reader.splitFields();
        Outcome out;
        try {
            out.report = reader.parseLine();
        } catch (const std::runtime_error& e) {
            out.error = e.what();
        }
        return out;
    }

    TrafficReader reader;
    std::string datagram;
};

} // namespace

TEST_F(ParserTest, SplitsAtEveryCommaButNotAfterTheLast)
{
    for (auto [text, expected] : {std::pair<std::string, std::vector<std::string>>{"a,,b", {"a", "", "b"}},
                                  {"a,b,", {"a", "b"}},
                                  {",a", {"", "a"}},
                                  {"", {}}}) {
        datagram = text;
        reader.data = datagram;
        reader.splitFields();
        ASSERT_EQ(reader.fields.size(), expected.size()) << text;
        for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(reader.fields[i], expected[i]) << text;
    }
}

TEST_F(ParserTest, EachRuleOfTheLine)
{
    using Check = std::function<void(const TrafficReport&)>;
    struct Case {
        const char* name;
        std::string line;
        Park park;
        const char* error; // expected error text, or nullptr
        bool accepted;     // when no error: a report results
        Check check;
    };
    const std::string beyond = lineWith({{F::latitude, "35.0"}, {F::longitude, "-118.4"}}); // 63 nm north
    const std::vector<Case> cases{
        {"valid airborne line", lineWith({}), Park::None, nullptr, true,
         [](const TrafficReport& r) {
             EXPECT_EQ(r.flightId, 11234042u);
             EXPECT_EQ(r.callsign, "AAL72");
             EXPECT_EQ(r.type, "B738");
             EXPECT_EQ(r.registration, "N835AN");
             EXPECT_EQ(r.origin, "SFO");
             EXPECT_EQ(r.destination, "LAX");
             EXPECT_TRUE(r.airline.empty());
             EXPECT_DOUBLE_EQ(r.reportTime, 1645144774.2);
             EXPECT_DOUBLE_EQ(r.position.alt, 5000);
             EXPECT_TRUE(r.position.airborne);
             EXPECT_DOUBLE_EQ(r.position.speed, 180);
             EXPECT_DOUBLE_EQ(r.position.track, 250.5);
             EXPECT_DOUBLE_EQ(r.position.verticalSpeed, -500);
             EXPECT_DOUBLE_EQ(r.position.tas, 210);
             ASSERT_TRUE(r.position.bank);
             EXPECT_NEAR(*r.position.bank, -0.17453292519943295, 1e-15);
             ASSERT_TRUE(r.position.trueHeading);
             EXPECT_NEAR(*r.position.trueHeading, 250.5 * degToRad, 1e-12);
             EXPECT_TRUE(r.position.attitudeFromFeed);
         }},
        // 1-3: time stamp and position
        {"time stamp not a number", lineWith({{F::timestamp, "abc"}}), Park::None, "timestamp:abc", false, {}},
        {"latitude not a number", lineWith({{F::latitude, " 33.93"}}), Park::None, "lat: 33.93", false, {}},
        {"latitude nan", lineWith({{F::latitude, "nan"}}), Park::None, "lat:nan", false, {}},
        {"longitude inf", lineWith({{F::longitude, "inf"}}), Park::None, "lon:inf", false, {}},
        {"latitude out of range",
         lineWith({{F::latitude, "90.5"}}),
         Park::None,
         "lalo:90.500000,-118.380000",
         false,
         {}},
        {"position not yet known",
         lineWith({{F::latitude, "0.0005"}, {F::longitude, "0.01"}}),
         Park::None,
         "lalo:0.000500,0.010000",
         false,
         {}},
        // 4: lateral range
        {"beyond the lateral range", beyond, Park::None, nullptr, false, {}},
        // 5: registration
        {"registration null", lineWith({{F::registration, "null"}}), Park::None, nullptr, true,
         [](const TrafficReport& r) { EXPECT_EQ(r.registration, ""); }},
        {"registration of 13 characters",
         lineWith({{F::registration, "ABCDEFGHIJKLM"}}),
         Park::None,
         nullptr,
         false,
         {}},
        // 7-8: type and category
        {"type ZZZZ", lineWith({{F::type, "ZZZZ"}, {F::emitterCategory, ""}}), Park::None, nullptr, false, {}},
        {"type 0", lineWith({{F::type, "0"}}), Park::None, nullptr, false, {}},
        {"type A320, category null",
         lineWith({{F::type, "A320"}, {F::emitterCategory, "null"}}),
         Park::None,
         nullptr,
         true,
         {}},
        {"type BALL, category A1",
         lineWith({{F::type, "BALL"}, {F::emitterCategory, "A1"}}),
         Park::None,
         nullptr,
         false,
         {}},
        {"type GLID, category empty",
         lineWith({{F::type, "GLID"}, {F::emitterCategory, ""}}),
         Park::None,
         nullptr,
         true,
         {}},
        {"type of five letters, category A3", lineWith({{F::type, "ABCDE"}}), Park::None, nullptr, false, {}},
        {"category B2 (glider)", lineWith({{F::emitterCategory, "B2"}}), Park::None, nullptr, false, {}},
        {"category C1 (vehicle)", lineWith({{F::emitterCategory, "C1"}}), Park::None, nullptr, false, {}},
        {"category left off (28 fields)", lineWith({}, 28), Park::None, nullptr, true, {}},
        {"category empty as the last field", lineWith({{F::emitterCategory, ""}}, 29), Park::None, nullptr, true, {}},
        {"too few fields", lineWith({}, 27), Park::None, nullptr, false, {}},
        // 9: true heading
        {"heading 0 gives 2 pi and, with track 0, 360 degrees", lineWith({{F::trueHeading, "0"}, {F::track, "0"}}),
         Park::None, nullptr, true,
         [](const TrafficReport& r) {
             ASSERT_TRUE(r.position.trueHeading);
             EXPECT_DOUBLE_EQ(*r.position.trueHeading, 2 * std::numbers::pi);
             EXPECT_NEAR(r.position.track, 360.0, 1e-9);
         }},
        {"heading 361", lineWith({{F::trueHeading, "361"}}), Park::None, "true heading:361.00", false, {}},
        {"heading not a number", lineWith({{F::trueHeading, "x"}}), Park::None, "true heading:x", false, {}},
        {"negative heading leaves it absent", lineWith({{F::trueHeading, "-1"}}), Park::None, nullptr, true,
         [](const TrafficReport& r) {
             EXPECT_FALSE(r.position.trueHeading);
             EXPECT_FALSE(r.position.attitudeFromFeed);
         }},
        {"heading read only for adsb_icao", lineWith({{F::dataSource, "mlat"}, {F::trueHeading, "garbage"}}),
         Park::None, nullptr, true, [](const TrafficReport& r) { EXPECT_FALSE(r.position.trueHeading); }},
        // 10: flight id
        {"flight id 10000", lineWith({{F::flightId, "10000"}}), Park::None, nullptr, false, {}},
        {"flight id 10001", lineWith({{F::flightId, "10001"}}), Park::None, nullptr, true, {}},
        {"flight id 12ab reads 12", lineWith({{F::flightId, "12ab"}}), Park::None, nullptr, false, {}},
        {"flight id not a number", lineWith({{F::flightId, "abc"}}), Park::None, "hexid incorrectabc", false, {}},
        {"flight id above 32 bits",
         lineWith({{F::flightId, "4294967296"}}),
         Park::None,
         "hexid incorrect4294967296",
         false,
         {}},
        // 11-12: speed, altitude and the ground rules
        {"ground speed not a number", lineWith({{F::groundSpeed, "fast"}}), Park::None, "gs:fast", false, {}},
        {"300 ft at 100 kt, park airport at 280 ft: on the ground",
         lineWith({{F::altitude, "300"}, {F::groundSpeed, "100"}}), Park::NearWithAltitude280, nullptr, true,
         [](const TrafficReport& r) {
             EXPECT_EQ(r.position.alt, 0.0);
             EXPECT_FALSE(r.position.airborne);
             EXPECT_FALSE(r.position.bank); // roll is not read on the ground
         }},
        {"300 ft at 100 kt, no park altitude: airborne", lineWith({{F::altitude, "300"}, {F::groundSpeed, "100"}}),
         Park::Near, nullptr, true, [](const TrafficReport& r) { EXPECT_TRUE(r.position.airborne); }},
        {"35 kt flagged on the ground by the feed is the ground at any altitude",
         lineWith({{F::altitude, "20000"}, {F::groundSpeed, "35"}, {F::onGround, "1"}, {F::roll, "x"}}), Park::Near,
         nullptr, true, [](const TrafficReport& r) { EXPECT_EQ(r.position.alt, 0.0); }},
        {"35 kt in the air with no airport under it stays in the air",
         lineWith({{F::altitude, "1200"}, {F::groundSpeed, "35"}}), Park::Near, nullptr, true,
         [](const TrafficReport& r) {
             EXPECT_TRUE(r.position.airborne);
             EXPECT_EQ(r.position.alt, 1200.0);
         }},
        {"below the park airport: ground", lineWith({{F::altitude, "200"}, {F::groundSpeed, "150"}}),
         Park::NearWithAltitude280, nullptr, true, [](const TrafficReport& r) { EXPECT_EQ(r.position.alt, 0.0); }},
        {"negative altitude becomes 0", lineWith({{F::altitude, "-50"}, {F::groundSpeed, "10"}}), Park::Near, nullptr,
         true, [](const TrafficReport& r) { EXPECT_EQ(r.position.alt, 0.0); }},
        // 13: callsign
        {"callsign ERARMTR0", lineWith({{F::callsign, "ERARMTR0"}}), Park::None, nullptr, false, {}},
        {"callsign AIRPORT1", lineWith({{F::callsign, "AIRPORT1"}}), Park::None, nullptr, false, {}},
        {"callsign with @ counts as none", lineWith({{F::callsign, "ABC@1"}}), Park::None, nullptr, true,
         [](const TrafficReport& r) { EXPECT_EQ(r.callsign, ""); }},
        {"no callsign and no registration",
         lineWith({{F::callsign, "ABC@1"}, {F::registration, "null"}}),
         Park::None,
         nullptr,
         false,
         {}},
        // 14: track and the ground near the park airport
        {"on the ground without a park airport",
         lineWith({{F::altitude, "0"}, {F::groundSpeed, "10"}}),
         Park::None,
         nullptr,
         false,
         {}},
        {"on the ground 6 nm from the park airport",
         lineWith({{F::latitude, "34.04"}, {F::altitude, "0"}, {F::groundSpeed, "10"}}),
         Park::Near,
         nullptr,
         false,
         {}},
        {"on the ground at the park airport",
         lineWith({{F::latitude, "33.94"}, {F::longitude, "-118.40"}, {F::altitude, "0"}, {F::groundSpeed, "10"}}),
         Park::Near, nullptr, true, [](const TrafficReport& r) { EXPECT_FALSE(r.position.airborne); }},
        {"empty track, no heading: 0", lineWith({{F::track, ""}, {F::dataSource, "mlat"}}), Park::None, nullptr, true,
         [](const TrafficReport& r) { EXPECT_EQ(r.position.track, 0.0); }},
        {"empty track takes the heading", lineWith({{F::track, ""}, {F::trueHeading, "90"}}), Park::None, nullptr, true,
         [](const TrafficReport& r) { EXPECT_NEAR(r.position.track, 90.0, 1e-12); }},
        {"track not a number", lineWith({{F::track, "east"}}), Park::None, "track incorrect east", false, {}},
        // 15-16: vertical speed, origin and destination
        {"vertical speed not a number", lineWith({{F::verticalSpeed, "up"}}), Park::None, "vs:up", false, {}},
        {"origin and destination null", lineWith({{F::origin, "null"}, {F::destination, "null"}}), Park::None, nullptr,
         true,
         [](const TrafficReport& r) {
             EXPECT_EQ(r.origin, "");
             EXPECT_EQ(r.destination, "");
         }},
        // 17: roll
        {"roll -1 is none", lineWith({{F::roll, "-1"}}), Park::None, nullptr, true,
         [](const TrafficReport& r) { EXPECT_FALSE(r.position.bank); }},
        {"roll not a number while airborne", lineWith({{F::roll, "x"}}), Park::None, "roll:x", false, {}},
        // 18: true airspeed
        {"TAS -1 at 7000 ft", lineWith({{F::altitude, "7000"}, {F::trueAirspeed, "-1"}}), Park::None, nullptr, true,
         [](const TrafficReport& r) { EXPECT_EQ(r.position.tas, 250.0); }},
        {"TAS -1 at 30000 ft", lineWith({{F::altitude, "30000"}, {F::trueAirspeed, "-1"}}), Park::None, nullptr, true,
         [](const TrafficReport& r) { EXPECT_EQ(r.position.tas, 430.0); }},
        {"TAS not a number", lineWith({{F::trueAirspeed, "nan"}}), Park::None, "TAS incorrectnan", false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome out = parse(c.line, c.park);
        if (c.error) {
            EXPECT_EQ(out.error, c.error);
            continue;
        }
        EXPECT_EQ(out.error, "");
        EXPECT_EQ(out.report.has_value(), c.accepted);
        if (out.report && c.check) c.check(*out.report);
    }
}

TEST_F(ParserTest, GroundRuleNearTheParkAirport)
{
    // The park airport lies at 280 ft: within 45 ft up to 120 kt, within 90 ft up to 80 kt and
    // within 120 ft up to 43 kt an aircraft is on the ground.
    struct Case {
        const char* altitude;
        const char* speed;
        bool onGround;
    };
    for (const Case c :
         {Case{"325", "120", true}, Case{"326", "120", false}, Case{"325", "121", false}, Case{"370", "80", true},
          Case{"371", "80", false}, Case{"370", "81", false}, Case{"400", "43", true}, Case{"401", "43", false},
          Case{"400", "44", false}, Case{"235", "200", true}}) { // below the airport's elevation
        SCOPED_TRACE(std::string(c.altitude) + " ft at " + c.speed + " kt");
        const Outcome out = parse(lineWith({{F::latitude, "33.94"},
                                            {F::longitude, "-118.40"},
                                            {F::altitude, c.altitude},
                                            {F::groundSpeed, c.speed}}),
                                  Park::NearWithAltitude280);
        ASSERT_TRUE(out.report) << out.error;
        EXPECT_EQ(!out.report->position.airborne, c.onGround);
        EXPECT_EQ(out.report->position.alt == 0.0, c.onGround);
    }
}

TEST_F(ParserTest, PhysicallyImpossibleValuesAreRefused)
{
    struct Case {
        int field;
        const char* value;
    };
    for (const Case c : {Case{14, "1e300"}, Case{14, "-1"}, Case{4, "1e300"}, Case{4, "-2001"}, Case{8, "-1"},
                         Case{8, "2001"}, Case{5, "1e300"}, Case{5, "-50001"}, Case{7, "-720"}, Case{7, "721"},
                         Case{20, "-2"}, Case{20, "-0.5"}, Case{20, "1e300"}, Case{23, "-720"}, Case{23, "181"}}) {
        SCOPED_TRACE(std::to_string(c.field) + ": " + c.value);
        const Outcome out = parse(lineWith({{c.field, c.value}}));
        EXPECT_FALSE(out.report);
        EXPECT_NE(out.error, "");
    }
    // The documented markers and the edges of the bounds pass.
    for (const Case c : {Case{20, "-1"}, Case{23, "-1"}, Case{4, "100000"}, Case{8, "2000"}, Case{5, "-50000"},
                         Case{23, "-180"}, Case{14, "0"}}) {
        SCOPED_TRACE(std::to_string(c.field) + ": " + c.value);
        const Outcome out = parse(lineWith({{c.field, c.value}}));
        EXPECT_TRUE(out.report) << out.error;
    }
}

TEST_F(ParserTest, TracksAreBroughtIntoZeroTo360)
{
    for (const auto& [field, track] : {std::pair<const char*, double>{"-90", 270.0},
                                       {"-360", 0.0},
                                       {"450", 90.0},
                                       {"720", 360.0},
                                       {"360", 360.0},
                                       {"12.5", 12.5}}) {
        SCOPED_TRACE(field);
        const Outcome out =
            parse(lineWith({{F::track, field}, {F::dataSource, "mlat"}})); // no true heading to stand in for 0
        ASSERT_TRUE(out.report) << out.error;
        EXPECT_DOUBLE_EQ(out.report->position.track, track);
    }
}

TEST_F(ParserTest, CallsignsLongerThanATailNumberAreRefusedWithOneLogLine)
{
    linktest::ScopedLog log("parser-tail");
    EXPECT_TRUE(parse(lineWith({{F::callsign, "ABCDEFGHIJKL"}})).report); // 12 characters
    for (int k = 0; k < 3; ++k) EXPECT_FALSE(parse(lineWith({{F::callsign, "ABCDEFGHIJKLM"}})).report);
    EXPECT_EQ(
        qtest::countOccurrences(log.text(), "callsign \"ABCDEFGHIJKLM\" is longer than a tail number of 12 characters"),
        1);
}

// The reader thread itself: what arrives on its socket and what reaches the traffic manager.
TEST_F(ParserTest, TheReaderThreadQueuesOnlyPossibleReports)
{
    linktest::ScopedLog log("parser-thread");
    TrafficReader running;
    running.userLat = userLat;
    running.userLon = userLon;
    linktest::RunningReader thread(running, true);
    rtpeer::UdpSender sender;
    for (const std::string& line :
         {lineWith({{F::flightId, "10001"}, {F::altitude, "1e300"}}),
          lineWith({{F::flightId, "10002"}, {F::groundSpeed, "-5"}}),
          lineWith({{F::flightId, "10003"}, {F::timestamp, "1e300"}}),
          lineWith({{F::flightId, "10004"}, {F::trueAirspeed, "-720"}}),
          lineWith({{F::flightId, "10005"}, {F::callsign, "CALLSIGN13CHR"}}), lineWith({{F::flightId, "10006"}})})
        ASSERT_TRUE(sender.send(thread.port(), line));
    ASSERT_TRUE(linktest::eventually([] {
        std::lock_guard lock(trafficMutex);
        return !incomingTraffic.empty();
    }));
    std::lock_guard lock(trafficMutex);
    ASSERT_EQ(incomingTraffic.size(), 1u);
    EXPECT_EQ(incomingTraffic.front().flightId, 10006u);
    EXPECT_LT(latestFeedReportTime.load(), 2e9); // the wild time stamp never became the feed clock
}

TEST_F(ParserTest, AltitudeErrorNamesTheWholeDatagram)
{
    const std::string text = lineWith({{F::altitude, "high"}});
    EXPECT_EQ(parse(text).error, "altitude high incorrect, from: " + text);
}

TEST_F(ParserTest, ExactlyAtTheLateralRangePasses)
{
    const std::string text = lineWith({{F::latitude, "34.40"}, {F::longitude, "-118.40"}});
    lateralRangeNm = distanceNm({userLat, userLon}, {34.40, -118.40});
    EXPECT_TRUE(parse(text).report);
    lateralRangeNm = std::nextafter(lateralRangeNm, 0.0);
    EXPECT_FALSE(parse(text).report);
}

TEST_F(ParserTest, CallsignsAreCollectedEvenForDroppedLines)
{
    reader.collectReportedFlights = true;
    parse(lineWith({{F::callsign, "DLH400"}, {F::type, "ZZZZ"}})); // dropped by the type test
    parse(lineWith({{F::callsign, "null"}}));
    parse(lineWith({{F::callsign, "X@Y"}}));
    parse(lineWith({{F::callsign, "UAL1"}, {F::registration, "TOOLONGREGISTRATION"}})); // dropped before collecting
    reader.collectReportedFlights = false;
    parse(lineWith({{F::callsign, "BAW1"}}));
    EXPECT_EQ(reader.reportedFlights, (std::set<std::string>{"DLH400"}));
}

TEST_F(ParserTest, QueuesOnlyWhileTheTrafficManagerRuns)
{
    tickCount = 500;
    auto deliver = [this](const std::string& text) {
        datagram = text;
        reader.data = datagram;
        reader.onPacket();
    };
    deliver(lineWith({{F::timestamp, "100.5"}}));
    {
        std::lock_guard lock(trafficMutex);
        ASSERT_EQ(incomingTraffic.size(), 1u);
        EXPECT_EQ(incomingTraffic.back().position.time, 3500u);
        trafficRunning = false;
    }
    deliver(lineWith({{F::timestamp, "200.5"}}));
    EXPECT_EQ(latestFeedReportTime.load(), 200.5); // the feed clock moves on regardless
    deliver(lineWith({{F::timestamp, "300.5"}, {F::latitude, "nan"}}));
    EXPECT_EQ(latestFeedReportTime.load(), 300.5);
    deliver(lineWith({{F::callsign, "VEH 1"}}) + " VEH");
    EXPECT_EQ(latestFeedReportTime.load(), 300.5); // a vehicle line is ignored whole
    std::lock_guard lock(trafficMutex);
    EXPECT_EQ(incomingTraffic.size(), 1u);
}

TEST_F(ParserTest, TheTwoDocumentedDatagrams)
{
    std::ifstream in(QM_SOURCE_DIR "/../shared/realdata/realtraffic/rttfc_examples_from_RT_v10_doc.txt");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) lines.push_back(line.back() == '\r' ? line.substr(0, line.size() - 1) : line);
    ASSERT_EQ(lines.size(), 2u);
    reader.userLat = -33.9;
    reader.userLon = 152.7;

    const Outcome first = parse(lines[0]);
    ASSERT_TRUE(first.report) << first.error;
    const TrafficReport& a = *first.report;
    EXPECT_EQ(a.flightId, 11234042u);
    EXPECT_DOUBLE_EQ(a.position.lat, -33.9107);
    EXPECT_DOUBLE_EQ(a.position.lon, 152.9902);
    EXPECT_DOUBLE_EQ(a.position.alt, 26400);
    EXPECT_DOUBLE_EQ(a.position.verticalSpeed, 1248);
    EXPECT_DOUBLE_EQ(a.position.track, 90.12);
    EXPECT_DOUBLE_EQ(a.position.speed, 490.0);
    EXPECT_EQ(a.callsign, "AAL72");
    EXPECT_EQ(a.type, "B789");
    EXPECT_EQ(a.registration, "N835AN");
    EXPECT_EQ(a.origin, "SYD");
    EXPECT_EQ(a.destination, "LAX");
    EXPECT_DOUBLE_EQ(a.reportTime, 1645144774.2);
    EXPECT_DOUBLE_EQ(a.position.tas, 474);
    EXPECT_FALSE(a.position.bank); // roll 0.0 is no roll
    ASSERT_TRUE(a.position.trueHeading);
    EXPECT_NEAR(*a.position.trueHeading, 92.27 * degToRad, 1e-12);
    EXPECT_TRUE(a.position.airborne);

    const Outcome second = parse(lines[1]);
    ASSERT_TRUE(second.report) << second.error;
    const TrafficReport& b = *second.report;
    EXPECT_EQ(b.flightId, 10750303u);
    EXPECT_DOUBLE_EQ(b.position.lat, -33.7964);
    EXPECT_DOUBLE_EQ(b.position.lon, 152.3938);
    EXPECT_DOUBLE_EQ(b.position.alt, 20375);
    EXPECT_DOUBLE_EQ(b.position.verticalSpeed, 1376);
    EXPECT_DOUBLE_EQ(b.position.track, 66.77);
    EXPECT_DOUBLE_EQ(b.position.speed, 484.3);
    EXPECT_EQ(b.callsign, "UAL842");
    EXPECT_EQ(b.registration, "N35953");
    EXPECT_DOUBLE_EQ(b.reportTime, 1645144889.8);
    EXPECT_DOUBLE_EQ(b.position.tas, 466);
    ASSERT_TRUE(b.position.bank); // a roll of 0.5 degrees to the right, stored with the sign inverted
    EXPECT_NEAR(*b.position.bank, -0.5 * degToRad, 1e-15);
    ASSERT_TRUE(b.position.trueHeading);
    EXPECT_NEAR(*b.position.trueHeading, 67.59 * degToRad, 1e-12);
}
