// The livery matcher: a table of flights through every step and depth against one small livery
// data base, the random pick around special titles, refused titles, and parked aircraft.
#include "foundation/log_capture.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/utilities.h"
#include "liveries/livery_matcher.h"
#include "liveries/regcodes.h"
#include "support/livery_support.h"
#include "traffic/state/records.h"
#include "traffic/state/stands.h"

#include <gtest/gtest.h>

using namespace qtr;

namespace {

class Matcher : public ::testing::Test {
protected:
    void SetUp() override
    {
        qtest::clearTestDataBases();
        clearLiveryMatcher();
        RANDOM.setValue(false);
        LOG.setValue(false);
        MATCHING_DEPTH.setValue(4);
        for (const char* type : {"A320", "A321", "B738"}) qtest::addTestType(type, categoryLarge);
        for (const char* type : {"B744", "B77W"}) qtest::addTestType(type, categoryHeavy);
        for (const char* type : {"C172", "C152", "DA40"}) qtest::addTestType(type, categoryLight);
        similarGroups = {{"A320", "A321"}};
        registrations["D-AIZZ"] = RegistrationInfo{"DLH", "A320", "", false};
        registrations["G-ABCD"] = RegistrationInfo{"BAW", "B738", "SHT", false};
        qtest::installTestLiveries({
            {"DLH", "A320", "t1", "D-AIZZ"},
            {"DLH", "A320", "t2"},
            {"DLH", "B744", "B744F", "", 0, true},
            {"EZY", "A320", "EZY A320"},
            {"BAW", "B738", "BAW B738"},
            {"ZZZ", "C172", "ZZZ C172"},
            {"PVT", "C152", "PVT C152"},
            {"ZZZ", "B77W", "ZZZ B77W"},
        });
    }
    void TearDown() override
    {
        qtest::clearTestDataBases();
        clearLiveryMatcher();
        MATCHING_DEPTH.setValue(MATCHING_DEPTH.defaultValue());
    }

    static FlightRecord flight(const std::string& airline, const std::string& type,
                               const std::string& registration = "", bool cargo = false)
    {
        FlightRecord f;
        f.airline = airline;
        f.type = type;
        f.registration = registration;
        f.callsign = airline + "1";
        f.category = categoryOfType(type);
        f.cargo = cargo ? 1 : 0;
        return f;
    }

    // The live match at the depth: its title and the step whose counter moved (0: none moved).
    static std::pair<std::string, std::uint32_t> live(FlightRecord f, std::int32_t depth)
    {
        MATCHING_DEPTH.setValue(depth);
        const auto before = matchCounters;
        gf_matchLiveryLive(f);
        std::uint32_t step = 0;
        for (std::uint32_t s = 1; s <= 6; ++s)
            if (matchCounters[s - 1] != before[s - 1]) step = s;
        return {std::string(f.livery), step};
    }
};

TEST_F(Matcher, StepsAndDepths)
{
    struct Case {
        const char* what;
        FlightRecord flight;
        std::int32_t depth;
        const char* title;
        std::uint32_t step;
    };
    const Case cases[] = {
        {"registration in another form, any airline and type", flight("UAE", "B77W", "DAIZZ"), 4, "t1", 1},
        {"airline and type", flight("DLH", "A320"), 4, "t1", 2},
        {"cargo flight: the freighter", flight("DLH", "B744", "", true), 4, "B744F", 2},
        // The airline's only liveries of the type are freighters: better its own than none.
        {"passenger flight, only freighters of the type: the freighter", flight("DLH", "B744"), 2, "B744F", 2},
        {"similar type of the airline", flight("EZY", "A321"), 3, "EZY A320", 3},
        {"private: the generic livery first", flight("PVT", "C172"), 2, "ZZZ C172", 4},
        {"light: another airline's livery of the type", flight("XYZ", "C152"), 3, "PVT C152", 5},
        {"light: a substitute type", flight("XYZ", "DA40"), 3, "PVT C152", 6},
        {"heavy at depth 3: no generic livery", flight("UAE", "B77W"), 3, "", 0},
        {"heavy at depth 4: the generic livery", flight("UAE", "B77W"), 4, "ZZZ B77W", 4},
        {"depth 1: only the registration", flight("DLH", "A320"), 1, "", 0},
        {"the operator's airline", flight("XXX", "B738", "G-ABCD"), 2, "BAW B738", 2},
        {"cargo flight without freighter: pax", flight("EZY", "A320", "", true), 2, "EZY A320", 2},
    };
    for (const Case& c : cases) {
        const auto [title, step] = live(c.flight, c.depth);
        EXPECT_EQ(title, c.title) << c.what;
        EXPECT_EQ(step, c.step) << c.what;
    }
}

// The aircraft's category bounds the search: rotorcraft, like light aircraft, may take another
// airline's livery of their type; a live airliner never takes a similar type of another category,
// while a parked one may.
TEST_F(Matcher, CategoriesBoundTheSearch)
{
    qtest::addTestType("H60", categoryRotorcraft);
    similarGroups = {{"B738", "B77W"}};
    qtest::installTestLiveries({{"USA", "H60", "USA H60"}, {"KLM", "B77W", "KLM B77W"}, {"KLM", "A320", "KLM A320"}});
    struct Case {
        const char* what;
        FlightRecord flight;
        std::int32_t depth;
        const char* title;
        std::uint32_t step;
    };
    const Case cases[] = {
        {"rotorcraft: another airline's livery of its type", flight("XYZ", "H60"), 3, "USA H60", 5},
        {"rotorcraft at depth 4 likewise", flight("XYZ", "H60"), 4, "USA H60", 5},
        {"large: no similar heavy type of the airline", flight("KLM", "B738"), 4, "", 0},
        {"heavy: no other airline's livery of its type", flight("XYZ", "B77W"), 4, "", 0},
    };
    for (const Case& c : cases) {
        const auto [title, step] = live(c.flight, c.depth);
        EXPECT_EQ(title, c.title) << c.what;
        EXPECT_EQ(step, c.step) << c.what;
    }
    StaticAircraft parked;
    static_cast<FlightRecord&>(parked) = flight("KLM", "B738");
    MATCHING_DEPTH.setValue(3);
    EXPECT_TRUE(gf_matchLiveryParked(parked, false, "A1"));
    EXPECT_EQ(parked.livery, "KLM B77W");
}

TEST_F(Matcher, SpecialTitlesAreAvoided)
{
    specialTitles.push_back(gf_findTitleOwner("t1"));
    EXPECT_EQ(live(flight("DLH", "A320"), 4).first, "t2");
    // Its own registration still gets the special livery.
    EXPECT_EQ(live(flight("UAE", "B77W", "D-AIZZ"), 4).first, "t1");
    // All candidates special: nothing from that list, the search goes on (here: to nothing).
    specialTitles.push_back(gf_findTitleOwner("t2"));
    EXPECT_EQ(live(flight("DLH", "A320"), 2), (std::pair<std::string, std::uint32_t>{"", 0}));
}

TEST_F(Matcher, RandomPickStaysWithinTheList)
{
    RANDOM.setValue(true);
    gf_seedRandom(3);
    std::set<std::string> seen;
    for (int k = 0; k < 40; ++k) seen.insert(live(flight("DLH", "A320"), 4).first);
    EXPECT_EQ(seen, (std::set<std::string>{"t1", "t2"}));
    RANDOM.setValue(false);
}

TEST_F(Matcher, RefusedTitlesAreNeverGivenAgain)
{
    failedTitles = {"EZY A320"};
    // The only candidate was refused: nothing, no counter moves.
    EXPECT_EQ(live(flight("EZY", "A320"), 4), (std::pair<std::string, std::uint32_t>{"", 0}));
    // A refused title among others is passed over, and a refused registration livery lets the
    // search go on to the airline's other liveries.
    failedTitles = {"t1"};
    EXPECT_EQ(live(flight("DLH", "A320", "D-AIZZ"), 4), (std::pair<std::string, std::uint32_t>{"t2", 2}));
}

TEST_F(Matcher, AcceptedMatchIsLoggedAndSetsTheFsltlFlag)
{
    qtest::installTestLiveries({{"DLH", "A320", "FSLTL_A320_DLH"}, {"EZY", "A320", "EZY A320"}});
    qtest::LogCapture log("matcher");
    LOG.setValue(true);
    FlightRecord f = flight("DLH", "A320");
    f.origin = "EDDF";
    f.destination = "EGLL";
    gf_matchLiveryLive(f);
    EXPECT_EQ(f.reverseByThrottle, 1);
    FlightRecord g = flight("EZY", "A320");
    g.reverseByThrottle = 1;
    gf_matchLiveryLive(g);
    EXPECT_EQ(g.reverseByThrottle, 0);
    LOG.setValue(false);
    const auto lines = log.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "          " + flightText(f) + " =2= FSLTL_A320_DLH");
}

TEST_F(Matcher, ParkedAircraftTakeTheStandsCargoFlagAndNoCategoryTest)
{
    Stand cargoStand;
    cargoStand.name = "C1";
    cargoStand.cargo = true;
    Stand gate;
    gate.name = "A1";
    StaticAircraft freighter;
    static_cast<FlightRecord&>(freighter) = flight("DLH", "B744");
    EXPECT_TRUE(gf_matchLiveryParked(freighter, cargoStand.cargo, cargoStand.name));
    EXPECT_EQ(freighter.livery, "B744F");
    StaticAircraft airliner;
    static_cast<FlightRecord&>(airliner) = flight("DLH", "B744", "", true);
    EXPECT_FALSE(gf_matchLiveryParked(airliner, gate.cargo, gate.name)); // the gate makes it a passenger flight
    EXPECT_EQ(matchCounters, (std::array<std::uint32_t, 6>{}));
    // Similar types of the airline without the category test.
    StaticAircraft ezy;
    static_cast<FlightRecord&>(ezy) = flight("EZY", "A321");
    ezy.category = categoryLight;
    MATCHING_DEPTH.setValue(3);
    EXPECT_TRUE(gf_matchLiveryParked(ezy, gate.cargo, gate.name));
    EXPECT_EQ(ezy.livery, "EZY A320");
    // Already a title: kept.
    EXPECT_TRUE(gf_matchLiveryParked(ezy, gate.cargo, gate.name));
    EXPECT_EQ(ezy.livery, "EZY A320");
}

} // namespace
