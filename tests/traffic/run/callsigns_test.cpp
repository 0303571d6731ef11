// Destination and callsign blocking as the window answers them and the worker serves them, the callsign list file and
// the callsign lookup.
#include "airports/airports_db.h"
#include "foundation/indicators.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/paths.h"
#include "support/test_support.h"
#include "traffic/run/callsigns.h"
#include "traffic/run/data_cycle.h"
#include "traffic/parking/park_airports.h"
#include "traffic/state/traffic_state.h"
#include "../traffic_harness.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace qtr;

namespace {

class Callsigns : public ::testing::Test {
protected:
    void SetUp() override
    {
        installAirports(
            {Airport{"EDDF", "FRA", 50.0333, 8.5706, 364}, Airport{"KLAX", "LAX", 33.9425, -118.4081, 125}});
        clearParkAirportState();
        std::filesystem::remove(myParkAirportsPath);
        parkAirportList.push_back(ParkAirportEntry{"KLAX", "", LatLon{33.9425, -118.4081}, 1.0});
        DESTINATION.setValue("");
        BLOCK_CALLSIGN.setValue("");
        blockRequest = false;
        indicators.resetIndicators();
    }
    void TearDown() override
    {
        forgetAirports();
        clearParkAirportState();
        std::filesystem::remove(myParkAirportsPath);
        DESTINATION.setValue("");
        BLOCK_CALLSIGN.setValue("");
        blockRequest = false;
    }
    qtest::TrafficHarness h;
};

} // namespace

TEST_F(Callsigns, DestinationIsCheckedAndPutFirst)
{
    struct Case {
        std::string typed;
        std::string destination; // after
        std::string status;
        std::string firstEntry;
    };
    const Case cases[] = {
        {"eddf", "EDDF", "New destination: EDDF", "EDDF"},
        {"EDDF", "EDDF", "destination \"EDDF\" was already set ...", "EDDF"},
        {"edd", "EDDF", "destination \"edd\" is not valid", "EDDF"},
        {"eddfx", "EDDF", "destination \"eddfx\" is not valid", "EDDF"},
        {"zzzz", "EDDF", "destination \"ZZZZ\" is unknown ...", "EDDF"},
        {"klax", "KLAX", "New destination: KLAX", "KLAX"}, // a listed airport moves to the front
        {"", "", "destination set to empty", "KLAX"},
    };
    for (const Case& c : cases) {
        clearStatus();
        setDestination(c.typed);
        EXPECT_EQ(DESTINATION.value(), c.destination) << c.typed;
        EXPECT_EQ(indicators.statusLine(), c.status) << c.typed;
        // The park-airport list is the worker's: it changes when the worker serves the entry.
        serveCallsignRequests();
        ASSERT_FALSE(parkAirportList.empty());
        EXPECT_EQ(parkAirportList.front().icao, c.firstEntry) << c.typed;
    }
    EXPECT_EQ(parkAirportList.size(), 2u);
    // Only the new entry was written to the list's file; the empty destination was not saved.
    const std::string written = qtest::readFile(myParkAirportsPath);
    EXPECT_NE(written.find("EDDF"), std::string::npos);
    EXPECT_EQ(written.find("KLAX"), std::string::npos);
    EXPECT_EQ(qtest::readFile(parametersXmlPath()).find("name=\"DESTINATION\" value=\"\""), std::string::npos);
}

TEST_F(Callsigns, BlockingIsCheckedAndRaisesTheRequest)
{
    struct Case {
        std::string typed; // "<unblock>": the button
        std::string blocked;
        std::string status;
        bool request;
    };
    const Case cases[] = {
        {"dlh", "", "callsign \"dlh\" is not valid", false},
        {"dlh4ab123", "", "callsign \"dlh4ab123\" is not valid", false},
        {"", "", "", false}, // nothing blocked: nothing to unblock
        {"dlh4ab", "DLH4AB", "live aircraft with callsign \"DLH4AB\" will be blocked", true},
        {"DLH4AB", "DLH4AB", "callsign \"DLH4AB\" was already set ...", false},
        {"baw1", "BAW1", "live aircraft with callsign \"BAW1\" will be blocked", true},
        {"", "", "no more blocking of live aircraft \"BAW1\"", true},
        {"afr12345", "AFR12345", "live aircraft with callsign \"AFR12345\" will be blocked", true},
        {"<unblock>", "", "no more blocking of live aircraft \"AFR12345\"", true},
        {"<unblock>", "", "", false},
    };
    for (const Case& c : cases) {
        blockRequest = false;
        clearStatus();
        if (c.typed == "<unblock>")
            unblockCallsign();
        else
            blockCallsign(c.typed);
        EXPECT_EQ(BLOCK_CALLSIGN.value(), c.blocked) << c.typed;
        EXPECT_EQ(indicators.statusLine(), c.status) << c.typed;
        EXPECT_EQ(blockRequest.load(), c.request) << c.typed;
    }
    // Each change is stored at once, the last one wins.
    blockCallsign("ezy12");
    unblockCallsign();
    blockCallsign("ryr9");
    EXPECT_EQ(BLOCK_CALLSIGN.value(), "RYR9");
    EXPECT_NE(qtest::readFile(parametersXmlPath()).find("name=\"BLOCK_CALLSIGN\" value=\"RYR9\""), std::string::npos);
}

TEST_F(Callsigns, ListFileHoldsTheActiveLiveAircraftSorted)
{
    qtest::TrafficHarness::setParkAirport("EDDF", 50.0, 8.0, 364, {qtest::TrafficHarness::stand(7, "V155", 50.0, 8.0)});
    Position p;
    p.lat = 50.0;
    p.lon = 8.0;
    p.time = 100000000;
    struct Aircraft {
        const char* callsign;
        const char* airline;
        std::uint32_t state;
        std::uint32_t phase;
        std::uint8_t onGround;
        std::uint32_t object;
    };
    for (const Aircraft& a : {Aircraft{"LONGCALLSIGN1", "ZZZ", stateActive, phaseFlying, 0, 1203},
                              Aircraft{"DLH4AB", "DLH", stateActive, phaseParked, 1, 1201},
                              Aircraft{"DLH4AB", "DLH", stateActive, phaseTaxi, 1, 1200},
                              Aircraft{"BAW12", "BAW", stateAdding2Sim, phaseFlying, 0, 0},
                              Aircraft{"AFR7", "AFR", stateRemovingFromSim, phaseFlying, 0, 1199}}) {
        FlightRecord r;
        r.callsign = a.callsign;
        r.airline = a.airline;
        r.type = "A320";
        r.flightId = 20000 + a.object;
        LiveAircraft& live = liveAircraft.emplace_back(p, std::move(r), 0.0);
        live.state = a.state;
        live.phase = a.phase;
        live.onGround = a.onGround;
        live.objectid = a.object;
        live.sid = 7;
    }
    // The list is replaced whole, never rewritten in place.
    EXPECT_EQ(qtest::oldFileAfter(callsign2ObjectIdPath, [] { writeCallsignObjectIds(); }), "old content");
    EXPECT_EQ(qtest::readFile(callsign2ObjectIdPath), "Air LONGCALLSIGN1 ZZZ A320: 1203 \n"
                                                      "Gnd DLH4AB    DLH A320: 1200 \n"
                                                      "Gnd DLH4AB    DLH A320: 1201 Parked at V155\n");

    // The lookup finds the parked one that is active; one still being created is unknown.
    CALLSIGN_2_OBJECTID.setValue("DLH4AB");
    resolveCallsignObjectId();
    EXPECT_EQ(resolvedObjectId, 1201u);
    EXPECT_EQ(indicators.text(indicators.callsignText), "= 1201");
    CALLSIGN_2_OBJECTID.setValue("BAW12");
    resolveCallsignObjectId();
    EXPECT_EQ(indicators.text(indicators.callsignText), "");
    EXPECT_EQ(indicators.statusLine(), "callsign \"BAW12\" is unknown");
    CALLSIGN_2_OBJECTID.setValue("");
}
