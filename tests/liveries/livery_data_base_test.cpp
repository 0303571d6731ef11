// The livery data base: its maps from the scanned records, the scanned-liveries file it is built
// from, and what the building logs and switches.
#include "foundation/indicators.h"
#include "foundation/errors.h"
#include "foundation/log_capture.h"
#include "foundation/paths.h"
#include "foundation/parameters/parameter_table.h"
#include "liveries/livery_data_base.h"
#include "liveries/livery_matcher.h"
#include "liveries/regcodes.h"
#include "liveries/scanned_liveries_file.h"
#include "support/livery_support.h"
#include "traffic/state/records.h"

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <algorithm>
#include <optional>

using namespace qtr;

namespace {

std::vector<std::string> texts(const TitleList& views) { return std::vector<std::string>(views.begin(), views.end()); }

std::vector<std::string> sorted(std::vector<std::string> v)
{
    std::sort(v.begin(), v.end());
    return v;
}

class LiveryDataBase : public ::testing::Test {
protected:
    void SetUp() override
    {
        qtest::clearTestDataBases();
        clearLiveryMatcher();
        folder = qtest::freshFolder("liveries");
        cwd.emplace(folder);
        std::filesystem::create_directories(outputFolder);
    }
    void TearDown() override
    {
        cwd.reset();
        qtest::clearTestDataBases();
        for (CheckBoxParameter* p : {&LIGHT_AIRCRAFT, &HIGH_PERF_AIRCRAFT, &HELICOPTERS}) p->setValue(true);
    }

    std::filesystem::path folder;
    std::optional<qtest::ScopedCwd> cwd;
};

TEST_F(LiveryDataBase, MapsOfAirlinesTypesAndCargo)
{
    qtest::installTestLiveries(
        {{"A", "B738", "t1"}, {"A", "B738", "t2", "", 0, true}, {"A", "A320", "t3"}, {"B", "B738", "t4"}});
    ASSERT_EQ(airlineLiveries.size(), 2u);
    ASSERT_EQ(airlineLiveries.at("A").size(), 2u);
    EXPECT_EQ(airlineLiveries.at("A").at("B738").size(), 2u);
    EXPECT_EQ(airlineLiveries.at("A").at("B738")[1].title, "t2");
    EXPECT_EQ(texts(paxAirlineTitles.at("A").at("B738")), (std::vector<std::string>{"t1"}));
    EXPECT_EQ(cargoAirlineTitles.size(), 1u);
    EXPECT_EQ(texts(cargoAirlineTitles.at("A").at("B738")), (std::vector<std::string>{"t2"}));
    EXPECT_EQ(sorted(texts(paxModelTitles.at("B738"))), (std::vector<std::string>{"t1", "t4"}));
    EXPECT_EQ(texts(paxModelTitles.at("A320")), (std::vector<std::string>{"t3"}));
    EXPECT_EQ(texts(cargoModelTitles.at("B738")), (std::vector<std::string>{"t2"}));
    EXPECT_EQ(cargoModelTitles.count("A320"), 0u);
    EXPECT_TRUE(gf_airlineHasModel("B", "B738"));
    EXPECT_FALSE(gf_airlineHasModel("B", "A320"));
    EXPECT_TRUE(gf_modelHasLivery("A320"));
    EXPECT_EQ(sorted(gf_getAirlineCodes()), (std::vector<std::string>{"A", "B"}));
    // A title view points into the stored title.
    const TitleView owner = gf_findTitleOwner("t3");
    EXPECT_EQ(owner.data(), airlineLiveries.at("A").at("A320")[0].title.data());
    EXPECT_TRUE(gf_findTitleOwner("nope").empty());
}

TEST_F(LiveryDataBase, ClearEmptiesEveryHolderOfTitleViews)
{
    qtest::installTestLiveries({{"DLH", "A320", "t1", "D-AIZZ"}});
    liveryChoices[20001] = gf_findTitleOwner("t1");
    specialTitles.push_back(gf_findTitleOwner("t1"));
    gf_requestLiveryClear();
    EXPECT_FALSE(airlineLiveries.empty()); // only asked for
    gf_serveLiveryClearRequest();
    EXPECT_TRUE(airlineLiveries.empty());
    EXPECT_TRUE(paxModelTitles.empty());
    EXPECT_TRUE(regcodeTitles.empty());
    EXPECT_TRUE(specialTitles.empty());
    EXPECT_TRUE(liveryChoices.empty());
    EXPECT_TRUE(gf_findTitleOwner("t1").empty());
    EXPECT_FALSE(liveriesProcessed);
}

TEST_F(LiveryDataBase, BuildingLogsTypesAndSwitchesEmptyCategoriesOff)
{
    qtest::addTestType("EC35", categoryRotorcraft);
    qtest::addTestType("B744", categoryHeavy);
    for (int k = 0; k < 45; ++k) qtest::addTestType(fmt::format("T{:02}", k), categoryLarge);
    std::vector<LiveryRecord> records{{"ZZZ", "C172", "generic"}, {"DLH", "B744", "freighter", "", 0, true}};
    for (int k = 0; k < 45; ++k)
        records.push_back(LiveryRecord{"DLH", fmt::format("T{:02}", k), fmt::format("t{}", k)});
    scannedLiveries.assign(records.begin(), records.end());
    scannedLiveries.sort(liveryBefore);
    HELICOPTERS.setValue(true);
    LIGHT_AIRCRAFT.setValue(true);
    DOWNLOAD_SITE.setValue("http://127.0.0.1:9/");
    qtest::LogCapture log("build");
    buildLiveryDataBase();
    DOWNLOAD_SITE.setValue(DOWNLOAD_SITE.defaultValue());
    const auto lines = log.lines();
    const auto has = [&](const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    };
    EXPECT_TRUE(has("===> reading AIG-regcodes failed?"));
    EXPECT_TRUE(has("0 registration codes"));
    EXPECT_TRUE(has("2 airlines, 46 pax aircraft models and 1 cargo aircraft models"));
    EXPECT_TRUE(has("1 model have a generic livery"));
    EXPECT_TRUE(has("  C172"));
    EXPECT_TRUE(has("Category Light: 1 pax liverie"));
    EXPECT_TRUE(has("Category Heavy: 0 pax liveries and 1 cargo liverie"));
    EXPECT_TRUE(has("Category Large: 45 pax liveries"));
    // 45 types: lines of 20, 20 and 5.
    const auto large = std::find(lines.begin(), lines.end(), "Category Large: 45 pax liveries");
    ASSERT_NE(large, lines.end());
    EXPECT_EQ(std::count(large[1].begin(), large[1].end(), ','), 19);
    EXPECT_EQ(std::count(large[2].begin(), large[2].end(), ','), 19);
    EXPECT_EQ(large[3], "  T40,T41,T42,T43,T44");
    EXPECT_TRUE(has("Category Rotorcraft: No livery found"));
    EXPECT_TRUE(has("HELICOPTERS temporary switched off because you do not have Helicopters installed"));
    EXPECT_FALSE(HELICOPTERS.value());
    EXPECT_TRUE(LIGHT_AIRCRAFT.value());
    EXPECT_EQ(lightTypes, (std::vector<std::string>{"C172"}));
    EXPECT_TRUE(liveriesProcessed);
    EXPECT_TRUE(scannedLiveries.empty());
    EXPECT_EQ(indicators.liveryCount.load(), 47);
    // A second start in the process builds nothing.
    qtest::LogCapture again("again");
    lf_processScannedLiveries();
    EXPECT_EQ(again.lines(),
              (std::vector<std::string>{"Processing scanned liveries skipped; already done in previous start-up"}));
}

TEST_F(LiveryDataBase, ScannedLiveriesFileRoundTrip)
{
    scannedLiveries = {{"BAW", "B738", "b", "G-EUYA"}, {"AAL", "B789", "a", "", 0, true}, {"AAL", "A321", "c"}};
    lf_saveScannedLiveries();
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file(liveriesScannedPath.c_str()));
    EXPECT_TRUE(doc.child("meta"));
    const pugi::xml_node first = doc.child("liveries").first_child();
    // Attributes in the written order; cargo and atcid only when set.
    std::vector<std::string> names;
    for (const pugi::xml_attribute a : first.attributes()) names.push_back(a.name());
    EXPECT_EQ(names, (std::vector<std::string>{"airl", "type", "title", "atcid"}));
    lf_readLiveriesXml();
    std::vector<std::string> order;
    for (const LiveryRecord& r : scannedLiveries) order.push_back(r.airline + " " + r.icaoType + " " + r.title);
    EXPECT_EQ(order, (std::vector<std::string>{"AAL A321 c", "AAL B789 a", "BAW B738 b"}));
    EXPECT_TRUE(std::next(scannedLiveries.begin())->cargo);
    EXPECT_EQ(scannedLiveries.back().regcode, "G-EUYA");
    // An empty list leaves the file alone.
    const std::string before = qtest::readFile(liveriesScannedPath);
    scannedLiveries.clear();
    lf_saveScannedLiveries();
    EXPECT_EQ(qtest::readFile(liveriesScannedPath), before);
}

TEST_F(LiveryDataBase, HandMadeScannedLiveriesFiles)
{
    const std::string meta = "<meta><info name=\"author\" value=\"x\"/><info name=\"date\" value=\"x\"/>"
                             "<info name=\"version\" value=\"x\"/></meta>";
    qtest::writeFile(liveriesScannedPath, meta + "<liveries><liv airl=\"DLH\" type=\"A320\" cargo=\"yes\" title=\"a\"/>"
                                                 "<liv airl=\"DLH\" type=\"A320\" cargo=\"0\" title=\"b\"/><other/>"
                                                 "<liv airl=\"DLH\" type=\"A320\"/></liveries>");
    lf_readLiveriesXml();
    ASSERT_EQ(scannedLiveries.size(), 2u); // the livery without title is skipped
    EXPECT_TRUE(scannedLiveries.front().cargo);
    EXPECT_FALSE(scannedLiveries.back().cargo);

    const std::string path = liveriesScannedPath.string();
    const std::pair<std::string, std::string> cases[] = {
        {meta + "<liveries><other/></liveries>", "533: " + path + " does not contain liveries"},
        {meta + "<livs/>", "52: " + path + " does not contain a <liveries> section"},
        {"<liveries><liv", "51: File " + path + " not found"},
    };
    for (const auto& [text, error] : cases) {
        qtest::writeFile(liveriesScannedPath, text);
        try {
            lf_readLiveriesXml();
            ADD_FAILURE() << error;
        } catch (const UserErrorException& e) {
            EXPECT_EQ(std::string(e.what()), error);
        }
    }
    std::filesystem::remove(liveriesScannedPath);
    EXPECT_THROW(lf_processScannedLiveries(), UserErrorException);
    EXPECT_FALSE(liveriesProcessed);
}

} // namespace
