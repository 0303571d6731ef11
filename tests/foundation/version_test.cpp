#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/parameters/parameters_file.h"
#include "foundation/paths.h"
#include "foundation/version.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <filesystem>
#include <functional>

using namespace qtr;

namespace {

// Runs the action with a log open in a fresh working folder; returns what it logged (LF ends).
std::string loggedBy(const std::function<void()>& action, const std::function<void()>& prepare = {})
{
    const auto folder = qtest::freshFolder("version");
    qtest::ScopedCwd cwd(folder);
    if (prepare) prepare();
    gf_startLog();
    action();
    closeLog();
    std::string text;
    for (char c : qtest::readFile(folder / "Log.txt"))
        if (c != '\r') text += c;
    return text.substr(text.find('\n') + 1);
}

std::string storedValue(const std::string& key)
{
    pugi::xml_document doc;
    if (!doc.load_file(parametersXmlPath().c_str())) return "<no file>";
    const pugi::xml_node element = doc.select_node(parameterXPath(key).c_str()).node();
    return element ? element.attribute("value").as_string() : "<missing>";
}

} // namespace

TEST(Version, ReadFromText)
{
    struct Case {
        std::string text;
        VersionData expected;
        bool logsError;
    };
    const Case cases[] = {
        {"", {0, 0, 0}, false},
        {"2.0.4", {2, 0, 4}, false},
        {"1-2-3", {1, 2, 3}, false}, // any single character separates
        {"10.10.10\r", {10, 10, 10}, false},
        {"10.10.10\r\n", {10, 10, 10}, false},
        {" 3.4.5 ", {3, 4, 5}, false},
        {"2.0", {0, 0, 0}, false}, // a JSON number
        {"[1,2,3]", {0, 0, 0}, false},
        {"{\"major\": 2, \"minor\": 1}", {2, 1, 0}, false},
        {"{\"major\": 3.9, \"minor\": true, \"patch\": -4}", {3, 1, -4}, false},
        {"{\"major\": \"2\"}", {0, 0, 0}, true},
        {"7.1.99999999999", {7, 1, 0}, true}, // fields before the error stay
        {"7.1.2147483648", {7, 1, 0}, true},
        {"1.2.3.4", {0, 0, 0}, true},
        {"abc", {0, 0, 0}, true},
        // Numbers beyond 32 bits are errors, not wrapped values.
        {"{\"major\": 5000000000, \"minor\": 1}", {0, 0, 0}, true},
        {"{\"major\": 1, \"minor\": -2147483649}", {1, 0, 0}, true},
        {"{\"major\": 2, \"minor\": 1e12}", {2, 0, 0}, true},
        // A very long text (from the site's file or parameters.xml) is refused, not matched.
        {std::string(10000, '7'), {0, 0, 0}, true},
        {std::string(10000, '1') + ".2.3", {0, 0, 0}, true},
    };
    for (const auto& c : cases) {
        VersionData version;
        const std::string log = loggedBy([&] { version = VersionData(c.text); });
        EXPECT_EQ(version, c.expected) << c.text << " gave " << version.toString();
        EXPECT_EQ(log.rfind("VersionData exception: ", 0) == 0, c.logsError) << c.text << ": " << log;
    }
    EXPECT_EQ(VersionData(std::string("7.1.99999999999")).toString(), "7.1.0");
    std::string out = "old";
    programVersion().toString(out);
    EXPECT_EQ(out, "10.10.10");
}

TEST(Version, ComparedFieldByFieldMajorFirst)
{
    struct Case {
        VersionData a, b;
        std::strong_ordering expected;
    };
    const Case cases[] = {
        {{10, 10, 10}, {10, 9, 99}, std::strong_ordering::greater},
        {{10, 10, 10}, {11, 0, 0}, std::strong_ordering::less},
        {{10, 10, 10}, {10, 9, 10}, std::strong_ordering::greater}, // not text order
        {{1, 2, 3}, {1, 2, 3}, std::strong_ordering::equal},
        {{0, 0, 1}, {0, 0, 0}, std::strong_ordering::greater},
        {{-1, 5, 5}, {0, 0, 0}, std::strong_ordering::less}, // signed
    };
    for (const auto& c : cases) EXPECT_EQ(c.a <=> c.b, c.expected) << c.a.toString() << " vs " << c.b.toString();
}

TEST(Version, ChangeCheck)
{
    struct Case {
        const char* stored;
        const char* storedAfter; // in the file; "<no file>" when nothing was saved
        const char* updateLine;  // "" when none
        bool scansForced;
    };
    const Case cases[] = {
        {"", "10.10.10", "", false},                                                        // first run
        {"10.9.99", "10.10.10", "This is a version update from 10.9.99 -> 10.10.10", true}, // update
        {"10.9.10", "10.10.10", "This is a version update from 10.9.10 -> 10.10.10", true}, //
        {"11.0.0", "10.10.10", "", false},                                                  // downgrade
        {"10.10.10", "<no file>", "", false},                                               // same version
        {"10.10.10\r", "<no file>", "", false},                                             // same, CRLF
        {"garbage", "10.10.10", "This is a version update from 0.0.0 -> 10.10.10", true},   // unreadable
    };
    for (const auto& c : cases) {
        std::filesystem::remove_all(dataFolder());
        PROGRAM_VERSION.setValue(c.stored);
        SCAN_LIVERIES.setValue(false);
        SCAN_AIRPORTS.setValue(false);
        bool installerLeft = false;
        const std::string log = loggedBy(
            [&] {
                checkProgramVersion();
                installerLeft = std::filesystem::exists(installNewVersionPath);
            },
            [] { qtest::writeFile(std::filesystem::current_path() / installNewVersionPath, "MZ"); });
        const std::string what = std::string("stored \"") + c.stored + "\"";
        EXPECT_EQ(PROGRAM_VERSION.value(), std::string(c.storedAfter) == "<no file>" ? c.stored : "10.10.10") << what;
        EXPECT_EQ(storedValue("PROGRAM_VERSION"), c.storedAfter) << what;
        EXPECT_EQ(log.find("This is a version update") != std::string::npos, *c.updateLine != 0) << what << log;
        if (*c.updateLine) {
            EXPECT_NE(log.find(std::string(c.updateLine) + "\n"), std::string::npos) << what << log;
        }
        EXPECT_EQ(SCAN_LIVERIES.value(), c.scansForced) << what;
        EXPECT_EQ(SCAN_AIRPORTS.value(), c.scansForced) << what;
        EXPECT_EQ(storedValue("SCAN_LIVERIES") == "true", c.scansForced) << what;
        EXPECT_EQ(storedValue("SCAN_AIRPORTS") == "true", c.scansForced) << what;
        EXPECT_EQ(installerLeft, !c.scansForced) << what;
    }
    std::filesystem::remove_all(dataFolder());
    PROGRAM_VERSION.setValue("");
    SCAN_LIVERIES.setValue(true);
    SCAN_AIRPORTS.setValue(true);
}
