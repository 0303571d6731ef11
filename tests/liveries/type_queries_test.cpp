// Queries on the type data base: categories, registrations and their lookup forms, similar types
// of installed liveries, substitutes, publishers and the archive lists.
#include "foundation/log_capture.h"
#include "foundation/parameters/parameter_table.h"
#include "liveries/type_queries.h"
#include "support/livery_support.h"
#include "traffic/state/records.h"

#include <gtest/gtest.h>

using namespace qtr;

namespace {

class TypeQueries : public ::testing::Test {
protected:
    void SetUp() override
    {
        qtest::clearTestDataBases();
        RANDOM.setValue(false);
    }
    void TearDown() override { qtest::clearTestDataBases(); }
};

TEST_F(TypeQueries, CategoryTestsInItsOrder)
{
    largeTypeSet = {"LH", "LX"};
    heavyTypeSet = {"LH", "HB"};
    buzjetTypeSet = {"HB", "BR"};
    rotorcraftTypeSet = {"BR", "RP"};
    highPerfTypeSet = {"RP", "P"};
    const std::pair<const char*, std::uint32_t> cases[] = {
        {"LH", categoryLarge},      {"LX", categoryLarge},   {"HB", categoryHeavy}, {"BR", categoryBuzjets},
        {"RP", categoryRotorcraft}, {"P", categoryHighPerf}, {"", categoryLight},   {"C172", categoryLight}};
    for (const auto& [type, category] : cases) EXPECT_EQ(categoryOfType(type), category) << type;
    EXPECT_FALSE(isValidType(""));
    EXPECT_FALSE(isIcaoAirline(""));
}

TEST_F(TypeQueries, WingspanOfATypeWithoutEntry)
{
    qtest::addTestType("A320", categoryLarge, 0.01);
    qtest::addTestType("A321", categoryLarge, 0.03);
    qtest::addTestType("A319", categoryLarge);
    typeHalfWingSpans["ZZ"] = 0.005; // in no category set: Light
    computeAverageWingspans();
    EXPECT_DOUBLE_EQ(wingspanOfType("A319"), 0.02);
    EXPECT_DOUBLE_EQ(wingspanOfType("ZZ"), 0.005);
    EXPECT_DOUBLE_EQ(wingspanOfType("C172"), 0.005); // the Light average
    // A category without any span: 0, not the NaN of 0 / 0.
    EXPECT_DOUBLE_EQ(categoryHalfWingSpans[categoryHeavy], 0.0);
}

TEST_F(TypeQueries, RegistrationForms)
{
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"DABCD", {"DA-BCD", "D-ABCD", "DABCD"}},
        {"D-ABCD", {"D-ABCD"}},
        {"N123A", {"N123A"}},
        {"GABC", {"GABC"}},
        {"", {""}},
    };
    for (const auto& [reg, forms] : cases) EXPECT_EQ(registrationVariants(reg), forms) << reg;

    registrations["D-ABCD"] = RegistrationInfo{"DLH", "A320", "", false};
    registrations["G-ABCD"] = RegistrationInfo{"BAW", "B738", "SHT", true};
    registrations["DE"] = RegistrationInfo{"PVT", "C172", "", false};
    registrations["N5DP"] = RegistrationInfo{"PVT", "P28A", "", false};
    registrations[""] = RegistrationInfo{"PVT", "", "", false}; // a record without "reg"
    EXPECT_EQ(registrationInfo("DABCD")->airline, "DLH");
    EXPECT_EQ(registrationInfo(""), std::nullopt);
    EXPECT_EQ(registrationField3("GABCD"), "SHT");
    EXPECT_EQ(registrationAirline("GABCD"), "BAW");
    EXPECT_EQ(registrationAirline("XX-NONE"), "");
    EXPECT_EQ(privateRegistrationIn("Piper N5DP blue"), "N5DP");
    EXPECT_EQ(privateRegistrationIn("Cessna 172 Skyhawk"), ""); // the empty registration is never "in" a text
}

// Groups of three with one installed member, of two with both installed, and a type (C150) in
// two groups.
void installGroupLiveries()
{
    similarGroups = {{"A319", "A320", "A321"}, {"C150", "C172"}, {"C150", "C152"}, {"B737", "B738"}};
    for (const char* type : {"A319", "A320", "A321", "B737", "B738"}) qtest::addTestType(type, categoryLarge);
    for (const char* type : {"C150", "C152", "C172", "DA40"}) qtest::addTestType(type, categoryLight);
    qtest::addTestType("B744", categoryHeavy);
    qtest::installTestLiveries({{"DLH", "B738", "DLH B738"},
                                {"EZY", "B737", "EZY B737"},
                                {"EZY", "B738", "EZY B738"},
                                {"XXX", "A321", "XXX A321"},
                                {"PVT", "C152", "PVT C152"},
                                {"PVT", "C172", "PVT C172"}});
}

FlightRecord flight(const std::string& airline, const std::string& type)
{
    FlightRecord f;
    f.airline = airline;
    f.type = type;
    return f;
}

TEST_F(TypeQueries, SimilarTypesOfInstalledLiveries)
{
    installGroupLiveries();
    EXPECT_EQ(similarInstalledTypes.at("A319"), (TypeList{"A321"}));
    EXPECT_EQ(similarInstalledTypes.at("A320"), (TypeList{"A321"}));
    EXPECT_EQ(similarInstalledTypes.count("A321"), 0u);              // no other member has liveries
    EXPECT_EQ(similarInstalledTypes.at("C150"), (TypeList{"C152"})); // "C150,C152" sorts before "C150,C172"
    EXPECT_EQ(similarInstalledTypes.at("B737"), (TypeList{"B738"}));
    EXPECT_EQ(similarInstalledTypes.at("B738"), (TypeList{"B737"}));
    // Per airline: the types it has no livery of, with the similar ones it has.
    EXPECT_EQ(similarTypesOf(flight("DLH", "B737")), (TypeList{"B738"}));
    EXPECT_EQ(similarTypesOf(flight("DLH", "B738")), emptyTypeList);
    EXPECT_EQ(similarTypesOf(flight("XXX", "A320")), (TypeList{"A321"}));
    EXPECT_EQ(airlineSimilarTypes.count("EZY"), 0u); // it has every member of its group
}

TEST_F(TypeQueries, SubstitutesBySimilarityElseByCategory)
{
    installGroupLiveries();
    EXPECT_EQ(substituteModels("C150"), (TypeList{"C152"}));
    EXPECT_EQ(lightTypes, (std::vector<std::string>{"C152", "C172"}));
    EXPECT_EQ(substituteModels("DA40"), (TypeList{"C152"})); // the first installed Light type
    EXPECT_EQ(&substituteModels("B744"), &emptyTypeList);    // Heavy: no category pick
    qtest::installTestLiveries({{"DLH", "A320", "DLH A320"}});
    EXPECT_EQ(&substituteModels("DA40"), &emptyTypeList); // no Light type installed
}

TEST_F(TypeQueries, Publishers)
{
    publisherGroups = {{"Orbx", "FullTerrain"}, {"Broken", ""}, {"Aerosoft", "aerosoft"}};
    EXPECT_EQ(publisherOf("...\\fullterrain-airport-ymml\\scenery"), "Orbx");
    EXPECT_EQ(publisherOf("aerosoft-egll"), "Aerosoft");
    // An empty name recognises nothing (it would be found in every text).
    EXPECT_EQ(publisherOf("some-unknown-airport"), "unknown");
    EXPECT_TRUE(containsIgnoreCase("abc", ""));
    EXPECT_FALSE(containsIgnoreCase("ab", "abc"));
}

TEST_F(TypeQueries, PrefixedNumbersOfArchiveLists)
{
    qtest::LogCapture log("prefixed");
    PrefixedNumberContext c{"Orbx", "EGLC", 7};
    EXPECT_FALSE(checkPrefixedNumber(c, "EGLL12"));
    EXPECT_TRUE(checkPrefixedNumber(c, "EGLC42"));
    EXPECT_EQ(c.number, 42);
    EXPECT_TRUE(checkPrefixedNumber(c, "EGLC"));
    EXPECT_TRUE(checkPrefixedNumber(c, "EGLC99999999999"));
    EXPECT_EQ(c.number, 42);
    EXPECT_FALSE(checkPrefixedNumber(c, "EGL"));
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"===> Orbx EGLC EGLC invalid number",
                                                     "===> Orbx EGLC EGLC99999999999 invalid number"}));
}

} // namespace
