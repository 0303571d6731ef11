// Registration codes: the lines of the user's files, the AIG file, the merge into the regcode map
// with its report, and the clashes of in-line regcodes.
#include "foundation/log_capture.h"
#include "foundation/paths.h"
#include "foundation/site_fixture.h"
#include "liveries/regcodes.h"
#include "scrambler.h"
#include "support/livery_support.h"

#include <gtest/gtest.h>

using namespace qtr;

namespace {

struct Parsed {
    std::vector<RegcodeEntry> entries;
    bool ok = true;
    std::vector<std::string> log;
};

Parsed parse(const std::string& line)
{
    Parsed p;
    qtest::LogCapture log("regcode-line");
    RegcodeLineContext context{"f.txt", p.entries, p.ok};
    parseRegcodeLine(context, line);
    p.log = log.lines();
    return p;
}

TEST(RegcodeLines, Table)
{
    struct Case {
        const char* line;
        std::vector<std::string> regs; // of the one entry; none when no entry
        bool entry;
        bool special;
        bool ok;
        const char* logged;
    };
    const Case cases[] = {
        {"", {}, false, false, true, nullptr},
        {"Title A", {}, true, false, true, nullptr}, // a title not to use
        {"Title A;", {}, false, false, true, nullptr},
        {"Title A;AB", {}, false, false, false, "===> wrong regcode length \"AB\" in f.txt"},
        {"Title A;ABC", {"ABC"}, true, true, true, nullptr},
        {"Title A;D-ABCD;x", {"D-ABCD"}, true, true, true, nullptr}, // one code is always special
        {"Title A;D-BBBB,D-AAAA,D-BBBB;x", {"D-AAAA", "D-BBBB"}, true, false, true, nullptr},
        {"Title A;D-BBBB,D-AAAA;#", {"D-AAAA", "D-BBBB"}, true, true, true, nullptr},
        {"Title A;D-AAAA,ABCDEFGHIJKLM", {"D-AAAA"}, true, false, false, "===> wrong regcode length \"ABCDEFGHIJKLM\" in f.txt"},
        {"Title A;AB,CD", {}, false, false, false, "===> f.txt ; regs empty? "},
        {"Title A;D-AAAA;#;more", {}, false, false, false, "===> f.txt: wrong format \"Title A;D-AAAA;#;more\""},
    };
    for (const Case& c : cases) {
        const Parsed p = parse(c.line);
        ASSERT_EQ(p.entries.size(), c.entry ? 1u : 0u) << c.line;
        if (c.entry) {
            EXPECT_EQ(p.entries[0].title, "Title A");
            EXPECT_EQ(p.entries[0].regs, c.regs) << c.line;
            EXPECT_EQ(p.entries[0].special, c.special) << c.line;
        }
        EXPECT_EQ(p.ok, c.ok) << c.line;
        if (c.logged) {
            ASSERT_FALSE(p.log.empty()) << c.line;
            EXPECT_EQ(p.log.back(), c.logged);
        } else {
            EXPECT_TRUE(p.log.empty()) << c.line;
        }
    }
}

class Regcodes : public qtest::SiteTest {
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

TEST_F(Regcodes, UserFilesWinOverTheAigFileWhichWinsOverInlineCodes)
{
    serveAig("<AIG-regcodes>"
             "<livery title=\"Lufthansa 1\" reg=\"" + qtest::scrambleText("D-AIZZ") + "," + qtest::scrambleText("D-AIZY") + "\"/>"
             "<livery title=\"Lufthansa 2\" reg=\"" + qtest::scrambleText("D-AIZX") + "\" special=\"true\"/>"
             "<livery title=\"Not Installed\" reg=\"" + qtest::scrambleText("D-AAAA") + "\" special=\"1\"/>"
             "<livery reg=\"" + qtest::scrambleText("D-ABBB") + "\"/>"
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

TEST_F(Regcodes, WithoutAigFileTheUserFilesStillCount)
{
    qtest::writeFile(myRegcodesFolder / "mine.txt", "Lufthansa 1;D-AIZY\nDont Use Me\n");
    qtest::installTestLiveries({{"DLH", "A320", "Lufthansa 1"}});
    EXPECT_EQ(gf_regcodeTitle("D-AIZY"), "Lufthansa 1");
    EXPECT_NE(log().find("===> reading AIG-regcodes failed?"), std::string::npos);
    EXPECT_EQ(qtest::readText(offlineRegcodesPath), "Processing files in input\\my_regcodes\n1 new regcode added, 1 regcode defined as special\n");

    dontUseTitles.clear();
    lf_readDontUseTitlesFromFolder();
    EXPECT_EQ(dontUseTitles, (std::vector<std::string>{"Dont Use Me"}));
    EXPECT_NE(log().find("1 don't use title read from files in input\\my_regcodes"), std::string::npos);
    dontUseTitles.clear();
}

TEST_F(Regcodes, AigFileThatDoesNotLoad)
{
    const auto path = folder / "broken.xml";
    qtest::writeFile(path, "<AIG-regcodes><livery");
    std::vector<RegcodeEntry> entries;
    EXPECT_FALSE(readAigRegcodes(path, entries));
    EXPECT_TRUE(entries.empty());
    EXPECT_NE(log().find("===> Failed to load"), std::string::npos);
    // A code beyond the key's 24 characters costs that code only.
    qtest::writeFile(path, "<AIG-regcodes><livery title=\"T\" reg=\"" + std::string(30, 'A') + "," +
                               qtest::scrambleText("G-ABCD") + "\"/></AIG-regcodes>");
    EXPECT_TRUE(readAigRegcodes(path, entries));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].regs, (std::vector<std::string>{"G-ABCD"}));
    EXPECT_TRUE(std::filesystem::exists(folder / "broken0.xml")); // a backup generation
}

} // namespace
