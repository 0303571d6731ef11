// Flight-plan files: their exact bytes, where they go, and which codes make one.
#include "support/sim_fixture.h"

#include "foundation/paths.h"

#include <filesystem>

using namespace qtr;
using qtest::SimFixture;

namespace {

const std::filesystem::path realPlans = QM_SOURCE_DIR "/../shared/realdata/pln";

} // namespace

TEST_F(SimFixture, FlightPlanFileBytes)
{
    FlightRecord heavy;
    heavy.category = 3;
    heavy.origin = "EDDF";
    heavy.destination = "KJFK";
    EXPECT_EQ(flightPlanPath(123), std::filesystem::path("123.pln"));
    const auto path = flightPlanFolder / flightPlanPath(123);
    ASSERT_TRUE(writeFlightPlanFile(path, heavy));
    EXPECT_EQ(qtest::readFile(path), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                     "<SimBase.Document Type=\"AceXML\" version=\"4,3\">\"\n"
                                     "<FlightPlan.FlightPlan>\n"
                                     "<FPType>IFR</FPType>\n"
                                     "<DepartureID>EDDF</DepartureID>\n"
                                     "<DestinationID>KJFK</DestinationID>\n"
                                     "</FlightPlan.FlightPlan>\n"
                                     "</SimBase.Document>\n");
    const char* types[] = {"VFR", "IFR", "IFR", "IFR", "VFR", "VFR"};
    for (std::uint32_t category = 0; category < 6; ++category) {
        heavy.category = category;
        ASSERT_TRUE(writeFlightPlanFile(path, heavy)); // replaces the old file
        EXPECT_NE(qtest::readFile(path).find(fmt::format("<FPType>{}</FPType>\n", types[category])), std::string::npos);
    }
    EXPECT_FALSE(writeFlightPlanFile(flightPlanFolder / "missing" / "1.pln", heavy));
    // A plan is replaced whole, never rewritten in place.
    EXPECT_EQ(qtest::oldFileAfter(path, [&] { EXPECT_TRUE(writeFlightPlanFile(path, heavy)); }), "old content");
}

TEST_F(SimFixture, OurPlansReadLikeRealOnes)
{
    // The simulator's reader (the stand-in's) takes the real samples, byte-order marks included...
    struct Sample {
        const char* file;
        const char* type;
        const char* departure;
        const char* destination;
    };
    const Sample samples[] = {
        {"IFR_EGLC_to_LFPB_bom.pln", "IFR", "EGLC", "LFPB"},
        {"IFR_EGTC_to_EGSC_bom.pln", "IFR", "EGTC", "EGSC"},
        {"MSFS_CUSTOMFLIGHT_BIAR-BIIS_bom_LittleNavmap.PLN", "VFR", "BIAR", "BIIS"},
        {"PlanG_LEJR_VFR_test.pln", "VFR", "LEJR", "LEJR"},
    };
    for (const Sample& s : samples) {
        const auto plan = standin::readPlanFile((realPlans / s.file).wstring());
        ASSERT_TRUE(plan) << s.file;
        EXPECT_EQ(plan->type, s.type);
        EXPECT_EQ(plan->departure, s.departure);
        EXPECT_EQ(plan->destination, s.destination);
    }
    // ...and ours, whose first line is theirs.
    FlightRecord r;
    r.category = 0;
    r.origin = "EGLC";
    r.destination = "LFPB";
    const auto path = flightPlanFolder / flightPlanPath(9);
    ASSERT_TRUE(writeFlightPlanFile(path, r));
    const auto plan = standin::readPlanFile(path.wstring());
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->type, "VFR");
    EXPECT_EQ(plan->departure, "EGLC");
    EXPECT_EQ(plan->destination, "LFPB");
    const std::string real = qtest::readFile(realPlans / "IFR_EGLC_to_LFPB_bom.pln");
    const std::string ours = qtest::readFile(path);
    EXPECT_EQ(real.substr(3, real.find('\n') - 3), ours.substr(0, ours.find('\n')));
}

TEST_F(SimFixture, PlansOnlyForShortAlphanumericCodes)
{
    connect();
    struct Case {
        const char* origin;
        const char* destination;
        bool plan;
    };
    const Case cases[] = {
        {"EDDF", "EGLL", true},       {"K1G4", "LSZH", true},       {"EDDF", "", false},
        {"", "EGLL", false},          {"ED<F", "EGLL", false},      {"EDDF", "EG\"LL", false},
        {"EDDF", "EGLL/EGKK", false}, {"EDDFEDDFX", "EGLL", false}, {"EDDF", "EG LL", false},
    };
    std::uint32_t id = 5000;
    for (const Case& c : cases) {
        SCOPED_TRACE(fmt::format("{}-{}", c.origin, c.destination));
        LiveAircraft a;
        a.callsign = "PLAN1";
        a.origin = c.origin;
        a.destination = c.destination;
        a.objectid = ++id;
        createFlightPlan(a);
        EXPECT_EQ(a.hasFlightPlan, c.plan);
        EXPECT_EQ(std::filesystem::exists(flightPlanFolder / flightPlanPath(id)), c.plan);
    }
    EXPECT_NE(qtest::logText().find("no flight plan for the airport codes \"ED<F\" and \"EGLL\""), std::string::npos);
    // 2024 mode: the file only, no assignment.
    MSFS_2020.setValue(false);
    const std::size_t calls = sim.calls().size();
    LiveAircraft a;
    a.origin = "EDDF";
    a.destination = "EGLL";
    a.objectid = 6000;
    createFlightPlan(a);
    EXPECT_TRUE(a.hasFlightPlan);
    EXPECT_EQ(sim.calls().size(), calls);
}

TEST_F(SimFixture, FlightPlanFolderComesAndGoes)
{
    EXPECT_EQ(flightPlanFolder, dataFolder() / "orig_dest");
    qtest::writeFile(flightPlanFolder / "1.pln", "x");
    gf_removeFlightPlanFolder();
    EXPECT_FALSE(std::filesystem::exists(flightPlanFolder));
    EXPECT_TRUE(createFlightPlanFolders());
    EXPECT_TRUE(std::filesystem::is_directory(flightPlanFolder));
}
