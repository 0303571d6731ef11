// Registration codes from the download site's AIG file, merged with the user's files and the
// in-line codes of the liveries.
#include "foundation/paths.h"
#include "foundation/site_fixture.h"
#include "liveries/regcodes.h"
#include "scrambler.h"
#include "support/livery_support.h"

#include <gtest/gtest.h>

using namespace qtr;

namespace {

class RegcodesFromSite : public qtest::SiteTest {
protected:
    void SetUp() override
    {
        qtest::SiteTest::SetUp();
        qtest::clearTestDataBases();
        std::filesystem::create_directories(myRegcodesFolder);
        std::filesystem::create_directories(infoFolder);
    }
    void TearDown() override
    {
        qtest::clearTestDataBases();
        qtest::SiteTest::TearDown();
    }

    void serveAig(const std::string& xml)
    {
        server.setRoute("/MSFS/AIG-regcodes.zip", qmhttp::Route::ok(qtest::makeZip({{"AIG-regcodes.xml", xml}})));
    }
};

TEST_F(RegcodesFromSite, UserFilesWinOverTheAigFileWhichWinsOverInlineCodes)
{
    serveAig("<AIG-regcodes>"
             "<livery title=\"Lufthansa 1\" reg=\"" +
             qtest::scrambleText("D-AIZZ") + "," + qtest::scrambleText("D-AIZY") +
             "\"/>"
             "<livery title=\"Lufthansa 2\" reg=\"" +
             qtest::scrambleText("D-AIZX") +
             "\" special=\"true\"/>"
             "<livery title=\"Not Installed\" reg=\"" +
             qtest::scrambleText("D-AAAA") +
             "\" special=\"1\"/>"
             "<livery reg=\"" +
             qtest::scrambleText("D-ABBB") +
             "\"/>"
             "</AIG-regcodes>");
    qtest::writeFile(myRegcodesFolder / "mine.txt", "Lufthansa 2;D-AIZY\r\n\r\nLufthansa 3;D-AIZW,D-AIZV;#\r\n");
    qtest::writeFile(myRegcodesFolder / "more.TxT", "Lufthansa 1;DAIZU\n");
    std::filesystem::create_directories(myRegcodesFolder / "sub");
    qtest::writeFile(myRegcodesFolder / "sub" / "deeper.txt", "Lufthansa 1;D-XXXX\n");
    qtest::writeFile(myRegcodesFolder / "notes.md", "Lufthansa 1;D-YYYY\n");
    qtest::installTestLiveries({{"DLH", "A320", "Lufthansa 1", "D-AIZZ"},
                                {"DLH", "A320", "Lufthansa 2", "D-AIZZ"}, // a clash: the first holder stays
                                {"DLH", "A320", "Lufthansa 3"}},
                               server.baseUrl());
    EXPECT_EQ(gf_regcodeTitle("D-AIZZ"), "Lufthansa 1");
    EXPECT_EQ(gf_regcodeTitle("D-AIZY"), "Lufthansa 2"); // the user's file replaced the AIG entry
    EXPECT_EQ(gf_regcodeTitle("DAIZX"), "Lufthansa 2");
    EXPECT_EQ(gf_regcodeTitle("D-AIZW"), "Lufthansa 3");
    EXPECT_EQ(gf_regcodeTitle("DAIZU"), "Lufthansa 1");
    EXPECT_TRUE(gf_regcodeTitle("D-XXXX").empty());
    EXPECT_TRUE(gf_regcodeTitle("D-YYYY").empty());
    EXPECT_TRUE(gf_regcodeTitle("D-AAAA").empty());
    EXPECT_EQ(specialTitles.size(), 4u); // one per special entry: 2 (AIG), 2 and 1 (one code), 3 (#)
    EXPECT_FALSE(std::filesystem::exists(aigRegcodesPath));

    const std::string clashes = qtest::readText(inlineRegcodesPath);
    EXPECT_EQ(clashes, "D-AIZZ \"Lufthansa 2\" => already in use by \"Lufthansa 1\"\n");
    const std::string report = qtest::readText(offlineRegcodesPath);
    EXPECT_NE(report.find("Processing file input"), std::string::npos);
    EXPECT_NE(report.find("2 new regcodes added, 1 regcode defined as special"), std::string::npos) << report;
    EXPECT_NE(report.find("   regcode D-AIZY for \"Lufthansa 2\", instead of the same for \"Lufthansa 1\""),
              std::string::npos);
    EXPECT_NE(report.find("3 new regcodes added, 1 regcode replaced, 3 regcodes defined as special"), std::string::npos)
        << report;
}

} // namespace
