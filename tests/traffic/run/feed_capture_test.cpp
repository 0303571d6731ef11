// Real captures of RealTraffic played through the traffic reader's parser into the traffic
// manager: which slow aircraft count as on the ground, and a feed clock that goes back.
#include "airports/airports_db.h"
#include "foundation/flight_record.h"
#include "foundation/parameters/lateral_range.h"
#include "links/feed_fields.h"
#include "links/udp_receiver.h"
#include "rtpeer.h" // lays the captures' older lines into the current format
#include "support/test_support.h"
#include "traffic/run/link_handlers.h"
#include "traffic/state/traffic_state.h"
#include "../traffic_harness.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <stdexcept>

using namespace qtr;
using qtest::TrafficHarness;

namespace {

const std::string captures = QM_SOURCE_DIR "/../shared/realdata/realtraffic/";

// A few airports of the captures' regions (elevations in feet), standing in for the data base.
const Airport klax{"KLAX", "LAX", 33.9425, -118.4081, 125};
const Airport kemt{"KEMT", "EMT", 34.0861, -118.0348, 296};
const Airport karb{"KARB", "ARB", 42.2230, -83.7456, 839};
const Airport edkb{"EDKB", "BNJ", 50.7689, 7.1633, 197};

// The capture's traffic datagrams in time order (seconds after its first report).
std::vector<rtpeer::RecordedDatagram> trafficOf(const std::string& capture)
{
    std::vector<rtpeer::RecordedDatagram> all = rtpeer::convertCapture(qtest::readFile(captures + capture), 0);
    std::erase_if(all, [](const rtpeer::RecordedDatagram& d) { return d.qnh; });
    return all;
}

std::string fieldOf(const std::string& datagram, std::size_t field)
{
    std::size_t start = 0;
    for (std::size_t k = 0; k < field; ++k) start = datagram.find(',', start) + 1;
    return datagram.substr(start, datagram.find(',', start) - start);
}

// The traffic reader with the user aircraft at its park airport, whose elevation it knows once
// the airport's park-position file is read.
class CaptureReader {
public:
    CaptureReader(const Airport& park, bool parkFileRead)
    {
        reader_.userLat = park.latitude;
        reader_.userLon = park.longitude;
        reader_.parkAirportSet = true;
        reader_.parkLat = park.latitude;
        reader_.parkLon = park.longitude;
        reader_.parkAltitudeKnown = parkFileRead;
        reader_.parkAltitude = park.altitude;
    }
    // The parser's report, empty when it drops the line.
    std::optional<TrafficReport> parse(const std::string& datagram)
    {
        take(datagram);
        reader_.splitFields();
        try {
            return reader_.parseLine();
        } catch (const std::runtime_error&) {
            return std::nullopt;
        }
    }
    // The whole way of a datagram: parsed and handed up to the traffic manager.
    void receive(const std::string& datagram)
    {
        take(datagram);
        reader_.onPacket();
    }

private:
    void take(const std::string& datagram)
    {
        buffer_ = datagram;
        reader_.data = buffer_;
    }
    TrafficReader reader_;
    std::string buffer_;
};

class FeedCaptures : public ::testing::Test {
protected:
    void SetUp() override
    {
        installAirports({edkb, karb, kemt, klax}); // sorted by code
        setRangeNm(40);
        // The parser asks the traffic manager for the elevations.
        registerLinkHandlers();
    }
    void TearDown() override { forgetAirports(); }
};

// The types of the data base (each with a generic livery) that a play creates.
struct Fleet {
    const char* type;
    std::uint32_t category;
    double radiusNm;
};
const Fleet helicopters[]{{"AS50", categoryRotorcraft, 0.0029}};
const Fleet airliners[]{{"AS50", categoryRotorcraft, 0.0029}, {"A320", categoryLarge, 0.0092},
                        {"A321", categoryLarge, 0.0092},      {"A20N", categoryLarge, 0.0092},
                        {"A21N", categoryLarge, 0.0092},      {"B738", categoryLarge, 0.0097},
                        {"E75L", categoryLarge, 0.0083}};

struct Played {
    std::vector<std::string> created;          // tails, in order
    std::vector<std::string> removedMeanwhile; // while the capture still reports
};

// Plays the capture into the traffic manager at its own pace (100 passes a second), with the
// time stamps of the reports from jumpAt seconds on moved by jumpSeconds, and 90 s on.
template <std::size_t n>
Played play(const std::string& capture, const Airport& park, const Fleet (&fleet)[n], double jumpAt = 1e9,
            double jumpSeconds = 0)
{
    TrafficHarness h;
    for (const Fleet& f : fleet) {
        TrafficHarness::addType(f.type, f.category, f.radiusNm);
        TrafficHarness::addLivery("", f.type, std::string("Generic ") + f.type);
    }
    TrafficHarness::setParkAirport(park.code, park.latitude, park.longitude, park.altitude, {});
    h.setUser(park.latitude, park.longitude, true);
    CaptureReader reader(park, true);
    const std::vector<rtpeer::RecordedDatagram> traffic = trafficOf(capture);
    const int reported = static_cast<int>(traffic.back().at * 100);
    std::size_t next = 0;
    for (int pass = 0; pass <= reported + 9000; ++pass) {
        for (; next < traffic.size() && traffic[next].at * 100 <= pass; ++next) {
            const rtpeer::RecordedDatagram& d = traffic[next];
            const double stamp = std::stod(fieldOf(d.text, TrafficField::timestamp));
            reader.receive(d.at < jumpAt ? d.text : rtpeer::restampTraffic(d.text, stamp + jumpSeconds));
        }
        h.pass();
    }
    Played out;
    std::map<std::uint32_t, std::string> tails;
    for (const qtest::Creation& c : h.creations) {
        tails[c.objectId] = c.request.callsign;
        out.created.push_back(c.request.callsign);
    }
    for (const qtest::Removal& r : h.removals)
        if (static_cast<int>(r.tick) <= reported) out.removedMeanwhile.push_back(tails[r.objectId]);
    return out;
}

} // namespace

TEST_F(FeedCaptures, SlowAircraftAreOnTheGroundOnlyWhenFlaggedOrAtTheAirportsLevel)
{
    struct Case {
        const char* capture;
        const char* callsign;
        const Airport& park;
        bool airborne;
        const char* why;
    };
    const Case cases[]{
        {"aitfc_KLAX_20210125_Test.csv", "N954LA", klax, true, "helicopter orbiting at 800 to 1,400 ft"},
        {"aitfc_KLAX_20210125_Test.csv", "N955LA", klax, true, "helicopter 700 ft above El Monte"},
        {"aitfc_KLAX_20210125_Test.csv", "N661DS", klax, true, "DA40 slowing down in its circuit"},
        {"aitfc_KLAX_20210125_Test.csv", "N306FD", klax, true, "helicopter climbing out slowly"},
        {"aitfc_KPTK_20201128_first300lines.csv", "N4339L", karb, false, "61 ft above Ann Arbor, flagged airborne"},
        {"aitfc_KPTK_20201128_first300lines.csv", "N6860H", karb, false, "114 ft below Ann Arbor, flagged airborne"},
        {"aitfc_edkb_10s.csv", "DEEZU", edkb, false, "taxiing at Hangelar, flagged on the ground"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.callsign) + ": " + c.why);
        // Before the park airport's file is read only the data base knows the elevations.
        CaptureReader reader(c.park, false);
        int slow = 0;
        for (const rtpeer::RecordedDatagram& d : trafficOf(c.capture)) {
            // The slow reports of the aircraft above 0 ft that the traffic manager could use.
            if (fieldOf(d.text, TrafficField::callsign) != c.callsign ||
                std::stod(fieldOf(d.text, TrafficField::groundSpeed)) > 35.0 ||
                std::stod(fieldOf(d.text, TrafficField::altitude)) <= 0.0 ||
                fieldOf(d.text, TrafficField::type).empty())
                continue;
            ++slow;
            const std::optional<TrafficReport> report = reader.parse(d.text);
            ASSERT_TRUE(report) << d.text; // none is dropped as ground traffic far from the park airport
            EXPECT_EQ(report->position.airborne != 0, c.airborne) << d.text;
            EXPECT_EQ(report->position.alt > 0.0, c.airborne) << d.text;
        }
        EXPECT_GT(slow, 0);
    }
}

TEST_F(FeedCaptures, SlowHelicoptersAreCreated)
{
    const Played played = play("aitfc_KLAX_20210125_Test.csv", klax, helicopters);
    const std::multiset<std::string> created(played.created.begin(), played.created.end());
    EXPECT_EQ(created.count("N954LA"), 1u);
    EXPECT_EQ(created.count("N955LA"), 1u);
}

TEST_F(FeedCaptures, StreamsCarryOverWhenTheFeedClockGoesBack)
{
    const Played steady = play("aitfc_KLAX_20210125_Test.csv", klax, airliners);
    // From 150 s into the capture on, the feed's time stamps are an hour earlier.
    const Played jumped = play("aitfc_KLAX_20210125_Test.csv", klax, airliners, 150.0, -3600.0);

    ASSERT_GE(steady.created.size(), 10u);

    // The jump creates nobody again and removes nobody while the capture reports: the same
    // aircraft come and go as without it.
    EXPECT_EQ(std::multiset<std::string>(jumped.created.begin(), jumped.created.end()),
              std::multiset<std::string>(steady.created.begin(), steady.created.end()));
    EXPECT_EQ(std::multiset<std::string>(jumped.removedMeanwhile.begin(), jumped.removedMeanwhile.end()),
              std::multiset<std::string>(steady.removedMeanwhile.begin(), steady.removedMeanwhile.end()));
}
