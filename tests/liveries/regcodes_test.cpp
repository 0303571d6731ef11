// Registration codes: the lines of the user's files, the AIG file, the merge into the regcode map
// with its report, and the clashes of in-line regcodes.
#include "foundation/log_capture.h"
#include "foundation/paths.h"
#include "foundation/log.h"
#include "liveries/regcodes.h"
#include "scrambler.h"
#include "support/livery_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

using namespace qtr;

namespace {

struct Parsed {
    std::vector<RegcodeEntry> entries;
    bool ok = true;
    std::vector<std::string> log;
};

// A file's text without the carriage returns of a text-mode file.
std::string text(const std::filesystem::path& path)
{
    std::string bytes = qtest::readFile(path);
    std::erase(bytes, '\r');
    return bytes;
}

// A text of paths written with Windows separators, in the system's own.
std::string systemPaths(std::string text)
{
    std::replace(text.begin(), text.end(), '\\', static_cast<char>(std::filesystem::path::preferred_separator));
    return text;
}

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
        {"Title A;D-AAAA,ABCDEFGHIJKLM",
         {"D-AAAA"},
         true,
         false,
         false,
         "===> wrong regcode length \"ABCDEFGHIJKLM\" in f.txt"},
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

// A fresh program folder as working folder with its own log; no download site (the AIG file's
// download fails).
class Regcodes : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = qtest::freshFolder("regcodes");
        cwd.emplace(folder);
        gf_startLog();
        qtest::clearTestDataBases();
        std::filesystem::create_directories(myRegcodesFolder);
        std::filesystem::create_directories(infoFolder);
    }
    void TearDown() override
    {
        qtest::clearTestDataBases();
        closeLog();
        cwd.reset();
    }
    std::string log() const { return text(folder / "Log.txt"); }

    std::filesystem::path folder;
    std::optional<qtest::ScopedCwd> cwd;
};

TEST_F(Regcodes, WithoutAigFileTheUserFilesStillCount)
{
    qtest::writeFile(myRegcodesFolder / "mine.txt", "Lufthansa 1;D-AIZY\nDont Use Me\n");
    qtest::installTestLiveries({{"DLH", "A320", "Lufthansa 1"}});
    EXPECT_EQ(gf_regcodeTitle("D-AIZY"), "Lufthansa 1");
    EXPECT_NE(log().find("===> reading AIG-regcodes failed?"), std::string::npos);
    EXPECT_EQ(
        text(offlineRegcodesPath),
        systemPaths("Processing files in input\\my_regcodes\n1 new regcode added, 1 regcode defined as special\n"));

    dontUseTitles.clear();
    lf_readDontUseTitlesFromFolder();
    EXPECT_EQ(dontUseTitles, (std::vector<std::string>{"Dont Use Me"}));
    EXPECT_NE(log().find(systemPaths("1 don't use title read from files in input\\my_regcodes")), std::string::npos);
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
