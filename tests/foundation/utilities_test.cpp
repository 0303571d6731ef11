#include "foundation/parameters/parameter_table.h"
#include "foundation/utilities.h"
#include "log_capture.h"

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <thread>

using namespace qtr;
using Pieces = std::vector<std::string>;

TEST(Split, PiecesTrimmedAndUntrimmed)
{
    const struct {
        const char* text;
        char delimiter;
        Pieces trimmed;
        Pieces untrimmed;
    } cases[] = {
        {"", ',', {}, {}},
        {"a", ',', {"a"}, {"a"}},
        {"a, b,", ',', {"a", "b", ""}, {"a", " b", ""}},
        {",,", ',', {"", "", ""}, {"", "", ""}},
        {" x ;\ty\r\n; ", ';', {"x", "y", ""}, {" x ", "\ty\r\n", " "}},
        {"a,b;c", ';', {"a,b", "c"}, {"a,b", "c"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(gf_split(c.text, c.delimiter), c.trimmed) << c.text;
        EXPECT_EQ(gf_splitUntrimmed(c.text, c.delimiter), c.untrimmed) << c.text;
    }
    EXPECT_EQ(gf_splitComma(" KLM , DLH"), (Pieces{"KLM", "DLH"}));
}

TEST(Split, CommaSets)
{
    EXPECT_EQ(gf_splitCommaToSet("b,a, a,b,"), (std::unordered_set<std::string>{"a", "b", " a", ""}));
    EXPECT_TRUE(gf_splitCommaToSet("").empty());
    const std::set<std::string> sorted = gf_splitCommaToSortedSet("PH-BXA,D-AIMA,PH-BXA,A");
    EXPECT_EQ(Pieces(sorted.begin(), sorted.end()), (Pieces{"A", "D-AIMA", "PH-BXA"}));
}

TEST(TextUtilities, NormaliseTrimUnquote)
{
    const std::pair<std::string, std::string> lists[] = {
        {"a,b", "a,b"}, {"a , b", "a,b"}, {" a,,b\t", "a,,b"}, {"", ""}, {"  ", ""}};
    for (auto [text, expected] : lists) {
        gf_normaliseCommaList(text);
        EXPECT_EQ(text, expected);
    }
    const std::pair<const char*, const char*> trims[] = {
        {"  a b \t\r\n", "a b"}, {" \t\r\n", ""}, {"", ""}, {"x", "x"}};
    for (auto [text, expected] : trims) EXPECT_EQ(gf_trim(text), expected) << text;
    const std::pair<const char*, const char*> quotes[] = {{"path=\"abc\" rest", "abc"},
                                                          {"\"\"", ""},
                                                          {"no quotes", "no quotes"},
                                                          {"end\"", ""},
                                                          {"\"unclosed", ""},
                                                          {"\"a\"b\"", "a"},
                                                          {"", ""}};
    for (auto [text, expected] : quotes) EXPECT_EQ(gf_unquote(text), expected) << text;
}

TEST(TextUtilities, ComparisonsPluralsAndNumbers)
{
    EXPECT_TRUE(gf_equalsUpper("KLM", "klm"));
    EXPECT_TRUE(gf_equalsUpper("A-1\xC3\xA9", "a-1\xC3\xA9")); // bytes above 127 stay as they are
    EXPECT_FALSE(gf_equalsUpper("klm", "klm"));
    EXPECT_TRUE(gf_equalsBeforeAsterisk("KLM123", "KLM123*"));
    EXPECT_FALSE(gf_equalsBeforeAsterisk("KLM123", "KLM123"));
    EXPECT_FALSE(gf_equalsBeforeAsterisk("KLM123", "KLM123**"));
    EXPECT_FALSE(gf_equalsBeforeAsterisk("KLM123", "KLM124*"));

    EXPECT_EQ(pluralS(1), "");
    EXPECT_EQ(pluralS(0), "s");
    EXPECT_EQ(pluralS(2), "s");
    EXPECT_EQ(gf_plural(1), "");
    EXPECT_EQ(gf_plural(-3), "");
    EXPECT_EQ(gf_plural(std::int64_t{0}), "s");
    EXPECT_EQ(gf_plural(std::int64_t{7}), "s");

    EXPECT_EQ(gf_floatToText(2.0f), "2");
    EXPECT_EQ(gf_floatToText(2.5f), "2.5");
    EXPECT_EQ(gf_floatToText(-0.25f), "-0.2");
    EXPECT_EQ(gf_floatToText(1e10f), "10000000000");

    pugi::xml_document doc;
    doc.load_string("<p name=\"LOG\" value=\"\"/>");
    EXPECT_EQ(attributeText(doc.child("p"), "name"), "LOG");
    EXPECT_EQ(attributeText(doc.child("p"), "value"), "");
    EXPECT_EQ(attributeText(doc.child("p"), "missing"), "");
}

TEST(TextUtilities, Utf8CutsAndDeviceNames)
{
    // "Überflieger Ä320" has two-byte characters: a cut never splits one.
    const std::string title = "\xC3\x9C"
                              "berflieger \xC3\x84"
                              "320";
    struct Cut {
        std::size_t max;
        std::string expected;
    };
    for (const Cut& c : {Cut{100, title},
                         Cut{12, "\xC3\x9C"
                                 "berflieger"},
                         Cut{13, "\xC3\x9C"
                                 "berflieger "},
                         Cut{14, "\xC3\x9C"
                                 "berflieger "},
                         Cut{15, "\xC3\x9C"
                                 "berflieger \xC3\x84"},
                         Cut{1, ""}, Cut{2, "\xC3\x9C"}, Cut{0, ""}})
        EXPECT_EQ(gf_utf8Prefix(title, c.max), c.expected) << c.max;
    EXPECT_EQ(gf_utf8Length(title), 16u);
    EXPECT_EQ(gf_toUpperAscii("dlh4ab-\xC3\xa4"), "DLH4AB-\xC3\xa4");
    for (const char* device : {"NUL", "nul.txt", "COM1.csv", "lpt9.tar.gz", "CON .txt", "aux", "Com0.txt", "CONOUT$"})
        EXPECT_TRUE(gf_isDeviceFileName(device)) << device;
    for (const char* plain : {"NULL.txt", "COM10.csv", "KNUL.txt", "COM.txt", "EDDF.txt", "con1.txt", ""})
        EXPECT_FALSE(gf_isDeviceFileName(plain)) << plain;
}

TEST(TextUtilities, FramedLine)
{
    const std::string stars19(19, '*');
    EXPECT_EQ(gf_framedLine(20, 20, false, false, "abc"), stars19 + " abc " + stars19);
    EXPECT_EQ(gf_framedLine(20, 19, true, true, "abc"), "\n" + stars19 + " abc " + stars19 + "\n"); // 39 -> 40
    EXPECT_EQ(gf_framedLine(3, 4, false, true, ""), "********\n");
    EXPECT_EQ(gf_framedLine(2, 3, false, false, "abcd"), "abcd"); // 6 is not more than 4 + 2
    EXPECT_EQ(gf_framedLine(-5, 0, false, false, ""), "");
}

TEST(SlotSets, HoursToBitsetLogsInvalidPieces)
{
    qtest::LogCapture log("hours");
    const SlotSet slots = gf_hours2bitset("0,47,48,-1,x,3a");
    EXPECT_EQ(slots, SlotSet().set(0).set(47).set(3));
    // One line per list, not per bad piece: a long list must not repeat itself into the log.
    EXPECT_EQ(log.lines(), (Pieces{"===> gf_hours2bitset 3 invalid hours (first \"48\") in 0,47,48,-1,x,3a"}));

    const struct {
        const char* text;
        SlotSet slots;
        std::size_t invalid;
    } cases[] = {
        {"", SlotSet(), 0},
        {" 5", SlotSet(), 1},        // leading blanks are not skipped
        {"5 ", SlotSet().set(5), 0}, // the rest of a piece is ignored
        {"1,,2", SlotSet().set(1).set(2), 1},
        {"3,4,5,", SlotSet().set(3).set(4).set(5), 0}, // a trailing comma is no invalid piece
        {",", SlotSet(), 0},
        {"99999999999999999999,7", SlotSet().set(7), 1},
        {"-", SlotSet(), 1},
    };
    for (const auto& c : cases) {
        qtest::LogCapture caseLog("hours-case");
        EXPECT_EQ(gf_hours2bitset(c.text), c.slots) << c.text;
        const Pieces lines = caseLog.lines();
        ASSERT_EQ(lines.size(), c.invalid == 0 ? 0u : 1u) << c.text;
        if (c.invalid > 0) {
            EXPECT_NE(lines[0].find(fmt::format(" {} invalid hour", c.invalid)), std::string::npos) << lines[0];
        }
    }
}

// A huge list (as one bad airport-file option held) costs one short log line, whatever it holds.
TEST(SlotSets, HugeListsAreRefusedOrLoggedInOneShortLine)
{
    std::string full;
    for (int n = 0; n < 48; ++n) full += fmt::format("{},", n);
    std::string badHalf;
    for (int n = 0; n < 48; ++n) badHalf += n % 2 == 0 ? "7," : "99,";
    std::string huge;
    for (int n = 0; n < 100000; ++n) huge += n % 5 == 0 ? "100," : "12,";
    const struct {
        std::string text;
        SlotSet slots;
        const char* logged; // the line's start ("" for none)
    } cases[] = {
        {full, SlotSet().set(), ""},
        {full + "0", SlotSet(), "===> gf_hours2bitset refused a list of 49 items (at most 48 slots): 0,1,2,"},
        {huge, SlotSet(), "===> gf_hours2bitset refused a list of 100000 items (at most 48 slots): 100,12,"},
        {badHalf, SlotSet().set(7), "===> gf_hours2bitset 24 invalid hours (first \"99\") in 7,99,7,99,"},
    };
    for (const auto& c : cases) {
        qtest::LogCapture log("hours-huge");
        EXPECT_EQ(gf_hours2bitset(c.text), c.slots) << c.text.size();
        const Pieces lines = log.lines();
        if (*c.logged == '\0') {
            EXPECT_TRUE(lines.empty());
            continue;
        }
        ASSERT_EQ(lines.size(), 1u) << c.text.size();
        EXPECT_TRUE(lines[0].starts_with(c.logged)) << lines[0];
        EXPECT_LT(lines[0].size(), 200u);
    }
}

TEST(SlotSets, RoundTrips)
{
    EXPECT_EQ(gf_bitset2hours(SlotSet()), "");
    EXPECT_EQ(gf_bitset2hours(SlotSet().set(0).set(3).set(47)), "0,3,47");
    SlotSet all;
    all.set();
    SlotSet alternate;
    for (std::size_t n = 1; n < 48; n += 2) alternate.set(n);
    for (const SlotSet& slots : {SlotSet(), SlotSet().set(0), SlotSet().set(47), all, alternate})
        EXPECT_EQ(gf_hours2bitset(gf_bitset2hours(slots)), slots);
    for (const char* text : {"0,3,47", "12", "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25"})
        EXPECT_EQ(gf_bitset2hours(gf_hours2bitset(text)), text);
    // Airport files write a comma after every number: such lists read the same, with nothing logged.
    for (const char* text : {"0,3,47,", "12,"}) {
        qtest::LogCapture log("hours-round-trip");
        EXPECT_EQ(gf_bitset2hours(gf_hours2bitset(text)) + ",", text);
        EXPECT_TRUE(log.lines().empty()) << text;
    }
    // Lists written without the final comma read the same.
    EXPECT_EQ(gf_hours2bitset("0,3,47"), gf_hours2bitset("0,3,47,"));
}

namespace {
struct RandomSetting {
    explicit RandomSetting(bool on) { RANDOM.setValue(on); }
    ~RandomSetting() { RANDOM.setValue(RANDOM.defaultValue()); }
};
} // namespace

TEST(Random, OffGivesNeutralValues)
{
    RandomSetting off(false);
    const Pieces order{"a", "b", "c", "d", "e", "f"};
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(gf_randomIndex(10), 0);
        Pieces list = order;
        gf_randomShuffle(list);
        EXPECT_EQ(list, order);
        EXPECT_EQ(gf_randomPercent(200.0, 10.0), 200.0);
    }
}

TEST(Random, OnFollowsTheSeededEngine)
{
    RandomSetting on(true);
    EXPECT_EQ(gf_randomIndex(1), 0);
    EXPECT_EQ(gf_randomIndex(0), 0);
    EXPECT_EQ(gf_randomIndex(-4), 0);

    const auto draw = [] {
        std::vector<std::int64_t> indices;
        for (int i = 0; i < 20; ++i) indices.push_back(gf_randomIndex(7));
        Pieces list{"a", "b", "c", "d", "e", "f", "g", "h"};
        gf_randomShuffle(list);
        return std::pair{indices, list};
    };
    gf_seedRandom(42);
    const auto first = draw();
    gf_seedRandom(42);
    EXPECT_EQ(draw(), first);
    for (std::int64_t index : first.first) EXPECT_TRUE(index >= 0 && index < 7);
    EXPECT_NE(first.second, (Pieces{"a", "b", "c", "d", "e", "f", "g", "h"}));

    // The sign of the change follows the parity of the engine's next output.
    gf_seedRandom(7);
    std::mt19937 reference(7);
    for (int i = 0; i < 20; ++i) {
        const double expected = reference() % 2 == 0 ? 110.0 : 90.0;
        EXPECT_DOUBLE_EQ(gf_randomPercent(100.0, 10.0), expected);
    }
    EXPECT_EQ(gf_randomPercent(100.0, 0.0), 100.0);
    EXPECT_EQ(gf_randomPercent(100.0, -5.0), 100.0);
}

TEST(WorkerSlots, WaiterGoesOnOnceASlotIsReleased)
{
    const std::int32_t savedMaximum = scanTasksMaximum;
    gf_initWorkerSlots();
    EXPECT_GE(scanTasksMaximum.load(), 1);

    scanTasksMaximum = 2;
    scanTasksRunning = 1;
    gf_waitForWorkerSlot(); // a slot is free: returns at once
    ++scanTasksRunning;
    std::atomic<bool> started{false};
    std::thread waiter([&] {
        gf_waitForWorkerSlot();
        started = true;
    });
    EXPECT_FALSE(started.load()); // no slot is free until the release below
    gf_releaseWorkerSlot();
    waiter.join();
    EXPECT_TRUE(started);
    EXPECT_EQ(scanTasksRunning.load(), 1);
    scanTasksRunning = 0;
    scanTasksMaximum = savedMaximum;
}
