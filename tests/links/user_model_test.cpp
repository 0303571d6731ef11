// The user aircraft's title and model as the simulator reports them, turned into a type with its
// half wing span and category.
#include "support/sim_fixture.h"

#include "foundation/errors.h"

using namespace qtr;
using qtest::SimFixture;

namespace {

void loadTypes()
{
    typeHalfWingSpans = {{"B738", 0.0097}, {"B73", 0.0095},  {"A320", 0.0096}, {"A359", 0.0175},
                         {"C172", 0.0030}, {"E190", 0.0078}, {"CRJ7", 0.0063}, {"A388", 0.0216}};
    maxHalfWingSpan = 0.0216;
    for (const auto& [type, category] : std::initializer_list<std::pair<const char*, std::uint32_t>>{
             {"B738", 2}, {"A320", 2}, {"A359", 3}, {"A388", 3}, {"E190", 1}})
        qtest::addTestType(type, category);
}

} // namespace

TEST_F(SimFixture, UserModelDeduction)
{
    loadTypes();
    struct Case {
        const char* title;
        const char* atcModel;
        const char* model;
        double halfSpan;
        std::uint32_t category;
        bool known;
    };
    const Case cases[] = {
        {"Boeing 737-800 Asobo", "ATCCOM.AC_MODEL B738.0.text", "B738", 0.0097, 2, true},
        {"Some 737", "ATCCOM.AC_MODEL_B73.0.text", "B73", 0.0095, 0, true}, // "_B73" unknown, "B73" known
        {"Zz", "ATCCOM.AC_MODEL_QQQQ.0.text", "ATCCOM.AC_MODEL_QQQQ.0.text", 0.0216, 0, false},
        {"A350", "A350-900", "A359", 0.0175, 3, true},
        {"Cessna", "$$:C172", "C172", 0.0030, 0, true},
        {"PMDG DG 737-800 Southwest", "737", "B738", 0.0097, 2, true},
        {"Aerosoft A320 Lufthansa", "AEROSOFT_UNKNOWN", "A320", 0.0096, 2, true},
        {"Mystery Jet", "MYSTERYJET", "MYSTERYJET", 0.0216, 0, false},
        {"Drone", "camerapod", "camerapod", 0.0078, 0, true},
        {"Locked", "", "CRJ7", 0.0063, 0, true},
    };
    connect();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.atcModel);
        clearStatus();
        sim.setUserTitleModel(c.title, c.atcModel);
        gf_requestUserAircraftTitleModel();
        idle();
        EXPECT_EQ(userModelText(), c.model);
        EXPECT_DOUBLE_EQ(userHalfWingSpan.load(), c.halfSpan);
        EXPECT_TRUE(userModelKnown.load());
        if (c.atcModel[0] == '\0') {
            EXPECT_EQ(indicators.text(indicators.userAircraftText), "Unknown (encrypted?) aircraft");
            EXPECT_EQ(indicators.statusLine(),
                      "171: No model info from your user aircraft received in SimConnect, CRJ7 is taken instead");
            continue;
        }
        EXPECT_EQ(indicators.text(indicators.userAircraftText), c.title);
        EXPECT_EQ(userCategory.load(), c.category);
        EXPECT_EQ(indicators.aircraftKnown.load(), c.known);
        EXPECT_EQ(indicators.statusLine() ==
                      "User aircraft wing span unknown, max is taken instead, please report in my Forum!",
                  !c.known);
    }
    const std::string log = qtest::logText();
    EXPECT_NE(log.find("SimConnect: User aircraft model: B738, half wing span: 18.0 meter, category: Large"),
              std::string::npos);
    EXPECT_NE(
        log.find(
            "SimConnect: User aircraft model deduced from title: A320, half wing span: 17.8 meter, category: Large"),
        std::string::npos);
    EXPECT_NE(log.find("SimConnect: User aircraft title: Aerosoft A320 Lufthansa"), std::string::npos);
}

TEST_F(SimFixture, TitleIsCutTo48Characters)
{
    loadTypes();
    connect();
    const std::string longTitle(60, 'T');
    sim.setUserTitleModel(longTitle, "ATCCOM.AC_MODEL B738.0.text");
    gf_requestUserAircraftTitleModel();
    idle();
    EXPECT_EQ(indicators.text(indicators.userAircraftText), std::string(48, 'T'));
}

TEST_F(SimFixture, ModelTextTooShortForItsTypeMeansNoAircraftSelected)
{
    loadTypes();
    connect();
    sim.setUserTitleModel("Nothing", "B.0.text");
    gf_requestUserAircraftTitleModel();
    thread.join(); // the user error ends the thread
    EXPECT_EQ(indicators.errorLine(), "73: It looks like you have not selected an aircraft as user vehicle");
}
