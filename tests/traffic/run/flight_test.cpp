// Whole live flights through the traffic manager, pass by pass against the harness's simulator:
// an arrival that lands and parks, a departure that pushes back and takes off, real flights of
// captures of the feed, and the work of the data cycle by its period.
#include "foundation/indicators.h"
#include "foundation/geometry.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/paths.h"
#include "links/feed_fields.h"
#include "links/simconnect_client.h"
#include "traffic/run/data_cycle.h"
#include "traffic/flights/motion.h"
#include "foundation/log_capture.h"
#include "liveries/livery_matcher.h"
#include "links/udp_receiver.h"
#include "traffic/run/callsigns.h"
#include "traffic/parking/static_parking.h"
#include "traffic/run/range.h"
#include "foundation/run_control.h"
#include "traffic/state/stands.h"
#include "traffic/state/traffic_state.h"
#include "traffic/run/worker.h"
#include "../traffic_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

using namespace qtr;
using qtest::LogCapture;
using qtest::TrafficHarness;

namespace {

constexpr double elevation = 300;     // ft, the park airport and the ground under it
constexpr double nmLat = 1.0 / 60.0;  // degrees of latitude per nm
constexpr double reportSpacing = 8.0; // s between reports

struct Fix {
    double lat, lon, alt, speed, track, vs;
};

// Feeds one report every 8 s (800 passes) and records what the aircraft did in every pass.
struct Flight {
    TrafficHarness& h;
    std::uint32_t flightId;
    std::string callsign;
    std::vector<std::uint32_t> phases; // every change
    std::map<std::uint32_t, int> firstTickOfPhase;

    void run(const std::vector<Fix>& fixes, int extraPasses)
    {
        const int total = static_cast<int>(fixes.size()) * 800 + extraPasses;
        for (int pass = 0; pass < total; ++pass) {
            if (pass % 800 == 0 && pass / 800 < static_cast<int>(fixes.size())) {
                const Fix& f = fixes[pass / 800];
                auto r = TrafficHarness::report(flightId, callsign, "A320", f.lat, f.lon, f.alt, f.speed, f.track,
                                                1000.0 + reportSpacing * (pass / 800));
                r.position.verticalSpeed = f.vs;
                r.airline = "DLH";
                h.feed(r);
            }
            h.pass();
            if (const LiveAircraft* a = find();
                a && a->state == stateActive && (phases.empty() || phases.back() != a->phase)) {
                phases.push_back(a->phase);
                firstTickOfPhase.emplace(a->phase, static_cast<int>(tickCount.load()));
            }
        }
    }
    const LiveAircraft* find() const
    {
        for (const LiveAircraft& a : liveAircraft)
            if (a.flightId == flightId) return &a;
        return nullptr;
    }
};

std::vector<std::uint32_t> eventData(const TrafficHarness& h, std::uint32_t object, std::uint32_t eventId,
                                     int fromTick = 0)
{
    std::vector<std::uint32_t> out;
    for (const auto& e : h.events)
        if (e.event.objectId == object && e.event.eventId == eventId && static_cast<int>(e.tick) >= fromTick)
            out.push_back(e.event.data);
    return out;
}

// The last pose the simulator got for the object.
const PositionUpdate* lastPose(const TrafficHarness& h, std::uint32_t object)
{
    for (auto it = h.poses.rbegin(); it != h.poses.rend(); ++it)
        for (const PositionUpdate& p : *it)
            if (p.objectId == object) return &p;
    return nullptr;
}

class Flights : public ::testing::Test {
protected:
    void SetUp() override
    {
        TrafficHarness::addType("A320", categoryLarge, 0.0096);
        TrafficHarness::addLivery("DLH", "A320", "Airbus A320 Lufthansa");
        h.groundElevation = elevation;
    }
    TrafficHarness h;
};

TEST_F(Flights, ArrivalLandsRollsOutExitsTaxisAndParks)
{
    // A runway northward along 8.0 E with the touch-down at 50.0 N; an exit to the east where the
    // roll-out ends, and stand A7 facing east 0.4 nm down that taxiway.
    std::vector<Fix> fixes;
    // Final approach at 150 kt, 3 degrees down: 1000 ft above the runway 3 nm out.
    for (int k = 9; k >= 1; --k) {
        const double nm = k * 150.0 * reportSpacing / 3600.0;
        fixes.push_back({50.0 - nm * nmLat, 8.0, elevation + nm * 318.0, 150, 0, -800});
    }
    // Touch-down and roll-out on the runway.
    double lat = 50.0;
    for (double speed : {140.0, 110.0, 80.0, 50.0, 25.0, 15.0}) {
        fixes.push_back({lat, 8.0, 0, speed, 0, 0});
        lat += speed * reportSpacing / 3600.0 * nmLat;
    }
    // Off the runway to the east, taxi at 15 kt, stop 10 m short of the stand.
    const double taxiLat = lat;
    const double eastNm = 1.0 / 60.0 / std::cos(taxiLat * degToRad); // degrees of longitude per nm
    const double standLon = 8.0 + 0.4 * eastNm;
    Stand stand = TrafficHarness::stand(1, "A7", taxiLat, standLon, 0.03);
    stand.heading = 90 * degToRad;
    TrafficHarness::setParkAirport("EDDF", 50.0, 8.0, elevation, {stand});
    const double shortOfStand = standLon - 10.0 / 1852.0 * eastNm;
    for (int k = 1; fixes.back().lon < shortOfStand; ++k)
        fixes.push_back(
            {taxiLat, std::min(8.0 + k * 15.0 * reportSpacing / 3600.0 * eastNm, shortOfStand), 0, 15, 90, 0});
    // Standing there: the feed repeats the position, of which one report in 15 s is kept.
    const Fix last = fixes.back();
    fixes.push_back({last.lat, last.lon, 0, 0, 90, 0});
    fixes.push_back({last.lat, last.lon, 0, 0, 90, 0});

    Flight f{h, 20007, "DLH4AB"};
    f.run(fixes, 9000);

    ASSERT_EQ(h.creations.size(), 1u);
    const std::uint32_t object = h.creations[0].objectId;
    EXPECT_EQ(h.creations[0].request.callsign, "DLH4AB");
    const LiveAircraft* a = f.find();
    ASSERT_NE(a, nullptr);
    // Flying, then on the ground (taxi from the landing roll on), parking, parked.
    EXPECT_EQ(f.phases, (std::vector<std::uint32_t>{phaseFlying, phaseTaxi, phaseParking, phaseParked}));
    EXPECT_TRUE(a->onGround);
    EXPECT_FALSE(a->landingRoll);
    // After the touch-down the nose came down to the static pitch and the flare ended.
    EXPECT_FALSE(a->pitchRamp);
    EXPECT_EQ(a->flareStage, 0u);
    EXPECT_DOUBLE_EQ(a->pitch, a->staticPitch);
    // The approach configuration, the touch-down with spoilers, and the turn off the runway.
    EXPECT_FALSE(eventData(h, object, eventFlaps).empty());
    const auto flaps = eventData(h, object, eventFlaps);
    EXPECT_NE(std::find(flaps.begin(), flaps.end(), 16383u), flaps.end());
    const auto spoilers = eventData(h, object, eventSpoilers);
    EXPECT_NE(std::find(spoilers.begin(), spoilers.end(), 16383u), spoilers.end());
    // On its stand within 2 m, at the stand's heading, with the parked lights.
    const PositionUpdate* pose = lastPose(h, object);
    ASSERT_NE(pose, nullptr);
    EXPECT_LE(distanceNm(LatLon{pose->latitude, pose->longitude}, LatLon{stand.lat, stand.lon}) * 1852.0, 2.0);
    EXPECT_NEAR(pose->heading, stand.heading, 1.0 * degToRad);
    EXPECT_EQ(a->sid, 1u);
    const int parkedTick = f.firstTickOfPhase.at(phaseParked);
    EXPECT_EQ(eventData(h, object, eventEngineAutoShutdown, parkedTick - 1), std::vector<std::uint32_t>{0});
    EXPECT_EQ(eventData(h, object, eventBeaconLights, parkedTick - 1), std::vector<std::uint32_t>{0});
    EXPECT_EQ(eventData(h, object, eventLogoLights, parkedTick - 1), std::vector<std::uint32_t>{1});
    EXPECT_EQ(eventData(h, object, eventTaxiLights, parkedTick - 1), std::vector<std::uint32_t>{0});
    EXPECT_TRUE(h.removals.empty());
}

TEST_F(Flights, DeparturePushesBackTaxisTakesOffAndIsRemovedWhenReportsStop)
{
    // Stand B2 facing north at 50.0 N 8.0 E; the taxiway 150 m south of it leads east to a
    // runway northward along 8.01 E.
    Stand stand = TrafficHarness::stand(1, "B2", 50.0, 8.0, 0.03);
    TrafficHarness::setParkAirport("EDDF", 50.0, 8.0, elevation, {stand});
    const double eastNm = 1.0 / 60.0 / std::cos(50.0 * degToRad);
    const double taxiLat = 50.0 - 150.0 / 1852.0 * nmLat;
    std::vector<Fix> fixes;
    // Parked for two minutes (one report in 15 s is kept), then the tug pulls it 120 m back.
    for (int k = 0; k < 15; ++k) fixes.push_back({50.0, 8.0, 0, 0, 0, 0});
    for (int k = 0; k < 10; ++k) fixes.push_back({50.0 - 120.0 / 1852.0 * nmLat, 8.0, 0, 3, 0, 0});
    // Taxi east at 15 kt, then north onto the runway.
    for (double lon = 8.0; lon < 8.01; lon += 15.0 * reportSpacing / 3600.0 * eastNm)
        fixes.push_back({taxiLat, lon, 0, 15, 90, 0});
    // The take-off roll, lift-off and a climb at 2000 ft/min; each leg as long as its mean speed
    // covers in the 8 s between the reports.
    double lat = taxiLat;
    double alt = elevation + 100;
    double before = 15.0;
    for (double speed : {15.0, 60.0, 100.0, 140.0, 170.0, 170.0, 170.0, 170.0, 170.0, 170.0, 170.0, 170.0}) {
        lat += (before + speed) / 2 * reportSpacing / 3600.0 * nmLat;
        before = speed;
        if (speed < 150) {
            fixes.push_back({lat, 8.01, 0, speed, 0, 0});
        } else {
            fixes.push_back({lat, 8.01, alt, speed, 0, 2000});
            alt += 2000 * reportSpacing / 60.0;
        }
    }

    Flight f{h, 20009, "DLH7CD"};
    f.run(fixes, 6000);

    ASSERT_EQ(h.creations.size(), 1u);
    const std::uint32_t object = h.creations[0].objectId;
    // Spawned on its stand, then pushed back, taxiing, taking off, flying.
    EXPECT_EQ(f.phases, (std::vector<std::uint32_t>{phaseParked, phasePushingBack, phasePushedBack, phaseTaxi,
                                                    phaseTakeOff, phaseFlying}));
    // The pushback ran straight back from the stand, facing the stand's heading.
    const int pushedBack = f.firstTickOfPhase.at(phasePushedBack);
    const int taxi = f.firstTickOfPhase.at(phaseTaxi);
    const PositionUpdate* atTaxi = nullptr;
    for (std::size_t k = 0; k < h.poses.size() && static_cast<int>(k) < taxi - 1; ++k)
        for (const PositionUpdate& p : h.poses[k])
            if (p.objectId == object) atTaxi = &p;
    ASSERT_NE(atTaxi, nullptr);
    EXPECT_NEAR(atTaxi->latitude, 50.0 - 2.5 * 0.03 * nmLat, 1e-6);
    EXPECT_NEAR(atTaxi->longitude, 8.0, 1e-9);
    EXPECT_NEAR(atTaxi->heading, 0.0, 1e-9);
    EXPECT_GT(taxi, pushedBack);
    EXPECT_EQ(eventData(h, object, eventEngineAutoStart, pushedBack - 1).size(), 1u);
    // The take-off: departure lights, gear up 300 ticks after lift-off, climbing out.
    const int takeOff = f.firstTickOfPhase.at(phaseTakeOff);
    EXPECT_EQ(eventData(h, object, eventStrobes, takeOff - 2000).back(), 1u);
    const auto gear = eventData(h, object, eventGear, takeOff);
    EXPECT_NE(std::find(gear.begin(), gear.end(), 0u), gear.end());
    // Removed once its reports stop: the stream's end in the air far from the user.
    ASSERT_EQ(h.removals.size(), 1u);
    EXPECT_EQ(h.removals[0].objectId, object);
    // The last report is due 30 s after it came; a departing aircraft may run up to its back
    // window (30 s) ahead of its reports.
    const int lastDue = static_cast<int>(fixes.size() - 1) * 800 + 3000;
    EXPECT_GE(static_cast<int>(h.removals[0].tick), lastDue - 3000);
    EXPECT_LT(static_cast<int>(h.removals[0].tick), lastDue + 2000);
    EXPECT_EQ(f.find(), nullptr);
}

// The reports of one flight in a real capture of the feed's older line format (AitfcField).
struct CapturedReport {
    double lat, lon, alt, vs, track, speed, time;
    double tas; // kt: the line gives none, so the reader's default for the altitude
};
const std::string klaxCapture = QM_SOURCE_DIR "/../shared/realdata/realtraffic/aitfc_KLAX_20210125_Test.csv";
const std::string edkbCapture = QM_SOURCE_DIR "/../shared/realdata/realtraffic/aitfc_edkb_10s.csv";
std::vector<CapturedReport> capturedFlight(const std::string& file, const std::string& callsign)
{
    std::vector<CapturedReport> out;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> f;
        std::stringstream fields(line);
        for (std::string field; std::getline(fields, field, ',');) f.push_back(field);
        using A = AitfcField;
        if (f.size() < aitfcFieldCount || f[A::tag] != "AITFC" || f[A::callsign] != callsign) continue;
        // On the ground the reader keeps no altitude (0 means on the ground).
        const double alt = f[A::airborne] == "1" ? std::stod(f[A::altitude]) : 0.0;
        const double altitude = std::stod(f[A::altitude]);
        const double tas = altitude <= 2000    ? 180
                           : altitude <= 5000  ? 220
                           : altitude <= 10000 ? 250
                           : altitude <= 20000 ? 350
                                               : 430;
        out.push_back({std::stod(f[A::latitude]), std::stod(f[A::longitude]), alt, std::stod(f[A::verticalSpeed]),
                       std::stod(f[A::track]), std::stod(f[A::groundSpeed]), std::stod(f[A::timestamp]), tas});
    }
    return out;
}

// A pose the simulator got, with the feed time it stands for (the feed plays 30 s behind).
struct FlownPose {
    double feedTime;
    LatLon at;
    double alt, heading;
    double nextAlt; // of the report it is flying to
};

// Plays one captured flight through the traffic manager, each report fed at its own time, and
// collects every pose of the aircraft, until `after` seconds past the last report.
std::vector<FlownPose> replay(TrafficHarness& h, const std::vector<CapturedReport>& reports,
                              const std::string& callsign, const std::string& type, double after)
{
    std::vector<FlownPose> flown;
    const double start = reports.front().time;
    const int total = static_cast<int>((reports.back().time - start + after) * 100);
    std::size_t next = 0;
    for (int pass = 0; pass <= total; ++pass) {
        while (next < reports.size() && (reports[next].time - start) * 100 <= pass) {
            const CapturedReport& c = reports[next++];
            auto r = TrafficHarness::report(10696221, callsign, type, c.lat, c.lon, c.alt, c.speed, c.track, c.time);
            r.position.verticalSpeed = c.vs;
            r.position.tas = c.tas;
            h.feed(r);
        }
        h.pass();
        if (h.creations.empty()) continue;
        const auto a = std::find_if(liveAircraft.begin(), liveAircraft.end(),
                                    [](const LiveAircraft& l) { return l.flightId == 10696221; });
        for (const PositionUpdate& p : h.poses.back())
            if (p.objectId == h.creations[0].objectId && a != liveAircraft.end() && !a->stream.empty())
                flown.push_back({start + (pass - 3000) / 100.0, LatLon{p.latitude, p.longitude}, p.altitude, p.heading,
                                 a->stream.front().alt});
    }
    return flown;
}

// Metres from a point to the nearest leg of the reported track.
double metresFromTrack(const std::vector<CapturedReport>& track, LatLon p)
{
    double best = 1e9;
    for (std::size_t k = 0; k + 1 < track.size(); ++k) {
        const LatLon a{track[k].lat, track[k].lon}, b{track[k + 1].lat, track[k + 1].lon};
        // Local flat metres around a: short legs of a few hundred metres.
        const double east = std::cos(a.lat * degToRad) * 60.0 * 1852.0, north = 60.0 * 1852.0;
        const double bx = lonDifferenceDeg(a.lon, b.lon) * east, by = (b.lat - a.lat) * north;
        const double px = lonDifferenceDeg(a.lon, p.lon) * east, py = (p.lat - a.lat) * north;
        const double len2 = bx * bx + by * by;
        const double t = len2 > 0 ? std::clamp((px * bx + py * by) / len2, 0.0, 1.0) : 0.0;
        best = std::min(best, std::hypot(px - t * bx, py - t * by));
    }
    return best;
}

TEST_F(Flights, HelicopterTurningInAReportGapJoinsItsReportedTrack)
{
    // N306FD flies south-west, then nothing is reported for 42 s, in which it turns back north-east.
    // Its reckoning runs on south-west meanwhile; the reports after the gap must win.
    const auto reports = capturedFlight(klaxCapture, "N306FD");
    ASSERT_GE(reports.size(), 10u);
    const auto gap = std::adjacent_find(reports.begin(), reports.end(), [](const auto& a, const auto& b) {
        return b.time - a.time >= 40 && std::fabs(wrapSigned((b.track - a.track) * degToRad)) > 150 * degToRad;
    });
    ASSERT_NE(gap, reports.end());
    const double afterGap = (gap + 1)->time;
    TrafficHarness::addType("B06", categoryRotorcraft, 0.0030);
    TrafficHarness::addLivery("", "B06", "Bell 206 Generic");

    // The user waits at the airport of Van Nuys, a few miles off: inside the injection range.
    h.setUser(34.21, -118.49, true);
    // Where the report after the gap is due, and from then on, it flies along its reports.
    double worstAfterJoin = 0;
    for (const FlownPose& p : replay(h, reports, "N306FD", "B06", 30))
        if (p.feedTime >= afterGap) worstAfterJoin = std::max(worstAfterJoin, metresFromTrack(reports, p.at));
    ASSERT_EQ(h.creations.size(), 1u);
    EXPECT_TRUE(h.removals.empty());
    EXPECT_LT(worstAfterJoin, 50.0);
}

// The leg of the reported track nearest to a pose, among the legs flown within 30 s of its feed
// time (a circuit passes the same place at other heights), and where along it the pose lies.
struct NearestLeg {
    std::size_t from = 0;
    double along = 0, metres = 1e9;
};
NearestLeg nearestLeg(const std::vector<CapturedReport>& track, const FlownPose& p)
{
    NearestLeg best;
    for (std::size_t k = 0; k + 1 < track.size(); ++k) {
        if (track[k + 1].time < p.feedTime - 30 || track[k].time > p.feedTime + 30) continue;
        const LatLon a{track[k].lat, track[k].lon}, b{track[k + 1].lat, track[k + 1].lon};
        const double east = std::cos(a.lat * degToRad) * 60.0 * 1852.0, north = 60.0 * 1852.0;
        const double bx = lonDifferenceDeg(a.lon, b.lon) * east, by = (b.lat - a.lat) * north;
        const double px = lonDifferenceDeg(a.lon, p.at.lon) * east, py = (p.at.lat - a.lat) * north;
        const double len2 = bx * bx + by * by;
        const double t = len2 > 0 ? std::clamp((px * bx + py * by) / len2, 0.0, 1.0) : 0.0;
        const double d = std::hypot(px - t * bx, py - t * by);
        if (d < best.metres) best = {k, t, d};
    }
    return best;
}

TEST(CapturedFlights, FlyAsTheirReportsSay)
{
    // Real flights whose feed gives vertical speeds of a few ft/min (or none) against the altitudes
    // it reports, reports 10 to 20 s apart (fewer than three in the stream), and a helicopter that
    // ends up hovering.
    struct Case {
        std::string file, callsign, type;
        std::uint32_t category;
        double ground; // ft, under the flight
        bool hovers;   // its last reports are at its hover point
        bool lands;    // at the park airport, set at its last report: it configures for the approach
    };
    const Case cases[] = {
        {klaxCapture, "DAL40", "A359", categoryHeavy, 125, false, false}, // short final, reports descending
        {klaxCapture, "DAL40", "A359", categoryHeavy, 125, false, true},
        {klaxCapture, "SKW192P", "CRJ7", categoryLarge, 125, false, false}, // climb-out, a few ft/min reported
        {klaxCapture, "N417CB", "C172", categoryLight, 800, false, false},  // turning and descending
        {klaxCapture, "N306FD", "B06", categoryRotorcraft, 800, false, false},
        {klaxCapture, "N822LA01", "H60", categoryRotorcraft, 800, true, false},
        // Orbiting at 1,000 ft, reports up to 40 s apart and the reader's TAS of 180 kt against the
        // 45 kt it flies: it must turn as fast as a helicopter, not as an airliner at 180 kt.
        {klaxCapture, "N955LA", "AS50", categoryRotorcraft, 350, false, false},
        {edkbCapture, "DEEZU", "C172", categoryLight, 197, false, false}, // a circuit, no vertical speed at all
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.callsign);
        TrafficHarness h;
        TrafficHarness::addType(c.type, c.category, 0.01);
        TrafficHarness::addLivery("", c.type, c.type + " Generic");
        h.groundElevation = c.ground;
        const auto reports = capturedFlight(c.file, c.callsign);
        ASSERT_GE(reports.size(), 5u);
        h.setUser(reports.front().lat, reports.front().lon, true);
        if (c.lands) TrafficHarness::setParkAirport("PARK", reports.back().lat, reports.back().lon, c.ground, {});
        const auto flown = replay(h, reports, c.callsign, c.type, 90);
        ASSERT_EQ(h.creations.size(), 1u);
        if (c.lands) {
            const auto flaps = eventData(h, h.creations[0].objectId, eventFlaps);
            EXPECT_NE(std::find(flaps.begin(), flaps.end(), 16383u), flaps.end());
        }

        double firstAirborne = 1e12, lastAirborne = 0;
        for (const CapturedReport& r : reports)
            if (r.alt > 0) {
                firstAirborne = std::min(firstAirborne, r.time);
                lastAirborne = std::max(lastAirborne, r.time);
            }
        double worstAlt = 0, worstTrack = 0;
        int climbsTowardLower = 0, headed = 0, moving = 0;
        for (std::size_t k = 50; k + 50 < flown.size(); ++k) {
            const FlownPose& p = flown[k];
            if (p.feedTime > reports.back().time) break;
            const NearestLeg leg = nearestLeg(reports, p);
            // A gap longer than the feed's delay is dead-reckoned: the track there is unknown.
            const auto due = std::upper_bound(reports.begin(), reports.end(), p.feedTime,
                                              [](double t, const CapturedReport& r) { return t < r.time; });
            if (due == reports.begin() || due == reports.end() || due->time - (due - 1)->time <= 30)
                worstTrack = std::max(worstTrack, leg.metres);
            if (p.feedTime < firstAirborne || p.feedTime > lastAirborne) continue;
            const CapturedReport &from = reports[leg.from], &to = reports[leg.from + 1];
            if (from.alt > 0 && to.alt > 0) {
                worstAlt = std::max(worstAlt, std::fabs(p.alt - (from.alt + leg.along * (to.alt - from.alt))));
                if (p.alt > flown[k - 1].alt && p.nextAlt < p.alt - 1) ++climbsTowardLower;
            }
            // The direction of motion over a second, where it moves at 10 kt or more.
            const LatLon before = flown[k - 50].at, after = flown[k + 50].at;
            if (p.alt - c.ground < 50 || distanceNm(before, after) * 1852.0 < 5.0) continue;
            ++moving;
            if (std::fabs(wrapSigned(initialBearing(before, after) - p.heading)) <= 60 * degToRad) ++headed;
        }
        EXPECT_LE(worstAlt, 300.0);
        EXPECT_EQ(climbsTowardLower, 0);
        ASSERT_GT(moving, 100);
        EXPECT_GE(headed, 0.9 * moving) << headed << " of " << moving;
        EXPECT_LE(worstTrack, 50.0);
        if (c.hovers) {
            // From the feed time of its hover report on, it stays there.
            const CapturedReport& hover = reports.back();
            double worstHover = 0;
            for (const FlownPose& p : flown)
                if (p.feedTime >= hover.time)
                    worstHover = std::max(worstHover, distanceNm(p.at, LatLon{hover.lat, hover.lon}) * 1852.0);
            EXPECT_LE(worstHover, 10.0);
        }
    }
}

TEST(CapturedFlights, DeparturesThatTakeOffBetweenTwoReportsFlyOn)
{
    // Reports 20 s apart: the last on the ground at the runway hold at 5 to 11 kt, the next one
    // airborne at 95 to 129 kt, 650 to 830 m farther on. Ten times the speed reads like a glitch
    // of the feed, but the ground covered says it is the take-off roll.
    struct Case {
        std::string callsign, type;
        std::uint32_t category;
    };
    const Case cases[] = {{"XOJ552", "CL30", categoryBuzjets}, {"JBU132", "A21N", categoryLarge}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.callsign);
        TrafficHarness h;
        TrafficHarness::addType(c.type, c.category, 0.01);
        TrafficHarness::addLivery("", c.type, c.type + " Generic");
        h.groundElevation = 125;
        const auto reports = capturedFlight(klaxCapture, c.callsign);
        ASSERT_GE(reports.size(), 10u);
        h.setUser(reports.front().lat, reports.front().lon, true);
        TrafficHarness::setParkAirport("KLAX", 33.9425, -118.4081, 125, {});
        const auto flown = replay(h, reports, c.callsign, c.type, 0);
        ASSERT_EQ(h.creations.size(), 1u);
        EXPECT_TRUE(h.removals.empty());
        // From 10 s after its third airborne report it flies along its reported track, climbing.
        const auto airborne = std::find_if(reports.begin(), reports.end(), [](const auto& r) { return r.alt > 0; });
        ASSERT_GE(std::distance(airborne, reports.end()), 4);
        const double from = (airborne + 2)->time + 10;
        double worstTrack = 0, lowest = 1e9;
        int counted = 0;
        for (const FlownPose& p : flown) {
            if (p.feedTime < from) continue;
            ++counted;
            worstTrack = std::max(worstTrack, nearestLeg(reports, p).metres);
            lowest = std::min(lowest, p.alt);
        }
        ASSERT_GT(counted, 1000);
        EXPECT_LE(worstTrack, 50.0);
        EXPECT_GT(lowest, 1000.0);
        // From lift-off on it climbs as its reports do (at up to 4,000 ft/min), within 300 ft of the
        // altitude they give where it is, and off the ground never sideways (it lifts off in a curve).
        double worstAlt = 0, worstHeading = 0;
        for (std::size_t k = 50; k + 50 < flown.size(); ++k) {
            const FlownPose& p = flown[k];
            if (p.feedTime > reports.back().time) break;
            const double motion = initialBearing(flown[k - 50].at, flown[k + 50].at);
            if (p.alt > h.groundElevation.value() + 10)
                worstHeading = std::max(worstHeading, std::fabs(wrapSigned(motion - p.heading)) * radToDeg);
            if (p.feedTime < airborne->time) continue;
            const NearestLeg leg = nearestLeg(reports, p);
            const CapturedReport &a = reports[leg.from], &b = reports[leg.from + 1];
            if (a.alt > 0 && b.alt > 0)
                worstAlt = std::max(worstAlt, std::fabs(p.alt - (a.alt + leg.along * (b.alt - a.alt))));
        }
        EXPECT_LE(worstAlt, 300.0);
        EXPECT_LE(worstHeading, 60.0);
    }
}

TEST(CapturedFlights, FlightsReportedAtHalfTheirSpeedKeepTheirTime)
{
    // Their positions move at twice the reported speed (the source gives metres per second): a
    // jet at 41,000 ft and an A350 on final. Shown 30 s behind the feed, each pose lies where the
    // reports put the aircraft at that moment, not half a minute further back along the track.
    struct Case {
        std::string callsign, type;
        std::uint32_t category;
        double ground; // ft
    };
    const Case cases[] = {{"XOJ557", "CL30", categoryBuzjets, 800}, {"DAL40", "A359", categoryHeavy, 125}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.callsign);
        TrafficHarness h;
        TrafficHarness::addType(c.type, c.category, 0.01);
        TrafficHarness::addLivery("", c.type, c.type + " Generic");
        h.groundElevation = c.ground;
        auto reports = capturedFlight(klaxCapture, c.callsign);
        // Up to the final's last airborne report: the landing roll has a timing of its own.
        reports.erase(std::find_if(reports.begin(), reports.end(), [](const auto& r) { return r.alt <= 0; }),
                      reports.end());
        ASSERT_GE(reports.size(), 6u);
        h.setUser(reports.front().lat, reports.front().lon, true);
        const auto flown = replay(h, reports, c.callsign, c.type, 0);
        ASSERT_EQ(h.creations.size(), 1u);
        double worstLate = 0;
        int counted = 0;
        for (const FlownPose& p : flown) {
            if (p.feedTime < reports[1].time || p.feedTime > reports.back().time) continue;
            const NearestLeg leg = nearestLeg(reports, p);
            if (leg.metres > 50) continue;
            const double trackTime =
                reports[leg.from].time + leg.along * (reports[leg.from + 1].time - reports[leg.from].time);
            worstLate = std::max(worstLate, p.feedTime - trackTime);
            ++counted;
        }
        ASSERT_GT(counted, 5000);
        EXPECT_LE(worstLate, 10.0);
    }
}

TEST_F(Flights, DataCycleWorkFallsOnItsCycles)
{
    TrafficHarness::setParkAirport("EDDF", 50.0, 8.0, elevation, {TrafficHarness::stand(1, "A1", 50.0, 8.0)});
    LogCapture log("data-cycle");
    LOG.setValue(true);
    unmatchedNames.insert("DLH A320 D-AIAB");
    AUTO_RANGE.setValue(true);
    INITIAL_LOAD_ONLY.setValue(false);
    CALLSIGN_OBJECTIDS.setValue(true);
    MSFS_2020.setValue(true);
    setRangeNm(40);
    indicators.feedConnected = true;
    indicators.trafficLamp = 3;
    // A live aircraft standing on the ground and the static twin it replaces.
    Position p;
    p.lat = 50.0;
    p.lon = 8.0;
    p.stop = 1;
    p.time = 100000000;
    FlightRecord r;
    r.callsign = "DLH4AB";
    r.type = "A320";
    r.flightId = 20001;
    LiveAircraft& live = liveAircraft.emplace_back(p, std::move(r), 0.0);
    live.state = stateActive;
    live.objectid = 800;
    live.onGround = 1;
    setPhase(live, phaseParked);
    FlightRecord sr;
    sr.callsign = "DLH4AB*";
    sr.flightId = 5;
    StaticAircraft& twin = staticAircraft.emplace_back(std::move(sr), 1, ParkPlace{50.0, 8.0, 0.0}, 0);
    twin.state = stateActive;
    twin.objectid = 900;

    std::vector<int> parkAirportUpdates, callsignWrites;
    int lampCycle = 0, rangeCycle = 0, twinCycle = 0;
    std::map<int, int> minutesShown;
    // "(next in N min)" stands in the parameter band: it is repainted when the minutes change.
    static int parameterRepaints = 0;
    parameterRepaints = 0;
    setWindowHooks([](Band band) { parameterRepaints += band == Band::parameters ? 1 : 0; }, nullptr);
    std::vector<int> minuteRepaints;
    for (int n = 1; n <= 1230; ++n) {
        parameterRepaints = 0;
        newUserData = true;
        // The park-airport update enables the parking controls once static parking has placed
        // all its candidates: a busy flag that clears shows that it ran.
        const bool probe = n % 16 == 0;
        if (probe) parkingBusy = true;
        std::filesystem::remove(callsign2ObjectIdPath);
        h.pass();
        ASSERT_EQ(dataCycleCount, n);
        if (probe && !parkingBusy.load()) parkAirportUpdates.push_back(n);
        if (std::filesystem::exists(callsign2ObjectIdPath)) callsignWrites.push_back(n);
        if (!lampCycle && indicators.trafficLamp.load() == 2) lampCycle = n;
        if (!rangeCycle && LATERAL_RANGE.value() == 10) rangeCycle = n;
        if (!twinCycle && staticAircraft.front().state == stateRemovingFromSim) twinCycle = n;
        if (n == 60 || n == 1200) minutesShown[n] = indicators.parkingMinutes.load();
        if (n % 60 == 0 && n <= 180 && parameterRepaints > 0) minuteRepaints.push_back(n);
        if (n == 1200) {
            EXPECT_TRUE(renewalRequested.load());
            EXPECT_FALSE(renewalBusy);
        }
        if (n == 1215) {
            // The first step of the renewal: the controls go, and the feed's callsigns are
            // collected afresh for 15 cycles (not handed over: that would end the collection).
            EXPECT_TRUE(renewalBusy);
            EXPECT_TRUE(parkingBusy.load());
            EXPECT_TRUE(trafficReader.collectReportedFlights.load());
            EXPECT_FALSE(renewalRequested.load());
            trafficReader.collectReportedFlights = false;
            trafficReader.reportedFlights.insert("DLH4AB"); // as if the feed reported it meanwhile
            trafficReader.collectReportedFlights = true;
        }
    }
    // Every 16th cycle that is not a 15th, every 62nd likewise; the 59th, 30th and 61st.
    std::vector<int> sixteens, sixtyTwos;
    for (int n = 1; n <= 1230; ++n) {
        // Not while a renewal of static parking is busy (between its two steps).
        if (n % 16 == 0 && n % 15 != 0 && !(n > 1215 && n < 1230)) sixteens.push_back(n);
        if (n % 62 == 0 && n % 15 != 0) sixtyTwos.push_back(n);
    }
    EXPECT_EQ(parkAirportUpdates, sixteens);
    EXPECT_EQ(callsignWrites, sixtyTwos);
    EXPECT_EQ(lampCycle, 59);
    EXPECT_EQ(rangeCycle, 30);
    EXPECT_EQ(twinCycle, 61);
    EXPECT_EQ(minutesShown[60], 19);
    EXPECT_EQ(minutesShown[1200], 20);
    setWindowHooks(nullptr, nullptr);
    EXPECT_EQ(minuteRepaints, (std::vector<int>{120, 180})); // 60: still 19, as placed
    // The renewal's second step 15 cycles after its first: it takes the collected callsigns over.
    EXPECT_FALSE(renewalBusy);
    EXPECT_FALSE(trafficReader.collectReportedFlights.load());
    EXPECT_EQ(recentlyReported, (std::set<std::string>{"DLH4AB"}));
    EXPECT_FALSE(renewalRequested.load());

    // The daily work: the count starts again and the remembered liveries are forgotten.
    liveryChoices[20001] = "Airbus A320 Lufthansa";
    dataCycleCount = 86399;
    newUserData = true;
    h.pass();
    EXPECT_EQ(dataCycleCount, 0);
    EXPECT_TRUE(liveryChoices.empty());
    // The no-match list at cycle 1200 and at the daily reset; the match summary once a day.
    const std::vector<std::string> lines = log.lines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.find("Parking adjustments:") != std::string::npos; }),
              1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "No match found for: "), 2);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "DLH A320 D-AIAB"), 2);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) {
                                return l.find("live traffic livery matching summary") != std::string::npos;
                            }),
              1);
    LOG.setValue(false);
    indicators.feedConnected = false;
    CALLSIGN_OBJECTIDS.setValue(false);
}

} // namespace
