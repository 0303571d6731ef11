// Reading the park airport's file: where it is looked for, what a read leaves for the traffic
// manager, how a learned or handmade file merges over it, and how faulty files are refused.
#include "airport_fixture.h"

#include "airports/airport_file_format.h"
#include "airports/learned_file.h"
#include "foundation/indicators.h"
#include "foundation/errors.h"
#include "foundation/win_text.h"
#include "foundation/geometry.h"
#include "foundation/run_control.h"

using namespace qtr;
using qtest::apfText;
using qtest::parameter;

namespace {

// EGLL's airport file in airports\my_thirdparty: three stands, A1 with one real option.
const std::string archivedEgll = apfText(
    parameter("airport_name", "Heathrow") + parameter("publisher", "Pub") + parameter("altitude", "83") +
        parameter("Qf_real", "70") + parameter("Qf_soft", "12") + parameter("RT_traffic_week", "30"),
    R"(<parkpos id="A1" latitude="51.470000" longitude="-0.450000" heading="90.0" radius="20.0" cargo="false" ramp="false">
         <opt reg="G-AAAA" airl="BAW" type="A320" day="1" hh="10,11," cs="BAW1"/></parkpos>
       <parkpos id="A2" latitude="51.471000" longitude="-0.450000" heading="90.0" radius="20.0" cargo="false" ramp="true"/>
       <parkpos id="A3" latitude="51.472000" longitude="-0.450000" heading="0.0" radius="10.0" heli="true" ramp="false"/>)");

const std::string standA1 = "A1 51.470000,-0.450000 h90.0 r20.0\n";
const std::string optionA1 = "  G-AAAA/BAW/A320 day1 000000000000000000000000000000000000110000000000 real cs=BAW1:\n";
const std::string standA2 = "A2 51.471000,-0.450000 h90.0 r20.0 ramp\n";
const std::string standA3 = "A3 51.472000,-0.450000 h0.0 r10.0 heli\n";

const std::filesystem::path learnedEgll =
    std::filesystem::path("airports") / "learned" / "thirdparty" / "Pub" / "EGLL.xml";

} // namespace

class ParkAirportFile : public qtest::AirportFolderTest {
protected:
    // Reads EGLL's file as the traffic manager does: the stand list emptied first.
    std::string readEgll()
    {
        clearStands();
        return gf_readApf(findAirportFile("EGLL"), record, quality);
    }

    ApfFileRecord record;
    QualityPair quality;
};

TEST_F(ParkAirportFile, ReadsStandsAndTellsTheTrafficManager)
{
    qtest::writeFile(myThirdpartyFolder / "EGLL.xml", archivedEgll);
    EXPECT_EQ(readEgll(), "");
    EXPECT_EQ(qtest::describeStands(stands), standA1 + optionA1 + standA2 + standA3);
    EXPECT_EQ(record.airportName, "Heathrow");
    EXPECT_EQ(record.publisher, "Pub");
    EXPECT_EQ(record.elevationFt, 83);
    EXPECT_EQ(quality.real, 70); // no learned file: the file's own factors
    EXPECT_EQ(quality.soft, 12);
    EXPECT_EQ(parkTrafficWeek, 30u);
    EXPECT_EQ(parkAirportElevation, 83.0);
    EXPECT_TRUE(parkFileLoaded);
    EXPECT_EQ(indicators.standCount.load(), 3);
    EXPECT_EQ(indicators.text(indicators.qualityText), "70");
    EXPECT_EQ(parking_percentage.value(), 30);
    // Numbered in list order; A1 and A2 (111 m apart, radii 20 m) do not touch.
    EXPECT_EQ(stands[0].id, 1u);
    EXPECT_EQ(stands[2].id, 3u);
    EXPECT_TRUE(stands[0].adjacent.empty());
    EXPECT_EQ(stands[0].options[0].fixed, 1u);
    const std::string text = log();
    for (const char* line : {"Airport file read from \"airports\\my_thirdparty\\EGLL.xml\" for Heathrow",
                             "          publisher               : Pub", "          altitude                : 83 ft",
                             "          num_parkpos             : 3", "          quality factor          : 70",
                             "          RT traffic week         : 30", "parking_percentage      : 30%"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
}

TEST_F(ParkAirportFile, OverlappingStandsAreAdjacent)
{
    qtest::writeFile(myThirdpartyFolder / "EGLL.xml",
                     apfText(parameter("altitude", "83"),
                             R"(<parkpos id="A" latitude="51.470000" longitude="-0.450000" radius="30"/>
                                <parkpos id="B" latitude="51.470300" longitude="-0.450000" radius="30"/>
                                <parkpos id="C" latitude="51.471000" longitude="-0.450000" radius="30"/>)"));
    EXPECT_EQ(readEgll(), "");
    // A and B are 33 m apart (x 1.1 = 37 m, below 60 m); C is 111 m from A and 78 m from B.
    EXPECT_EQ(stands[0].adjacent, std::vector<std::uint32_t>{2});
    EXPECT_EQ(stands[1].adjacent, std::vector<std::uint32_t>{1});
    EXPECT_TRUE(stands[2].adjacent.empty());
}

// The links found through the latitude band are those of comparing every pair, for stands of
// every radius, close together and far apart; a stop request ends the linking.
TEST(StandLinks, SameAsEveryPairComparedAndStoppable)
{
    std::vector<Stand> list;
    for (int i = 0; i < 400; ++i) {
        Stand s;
        s.lat = 51.47 + 0.00017 * ((i * 37) % 61) + (i % 7 == 0 ? 0.01 : 0.0);
        s.lon = -0.45 + 0.00023 * ((i * 53) % 47);
        s.radius = (5.0 + (i * 11) % 60) * metresToNm;
        list.push_back(s);
    }
    std::vector<Stand> linked = list;
    ASSERT_TRUE(numberAndLinkStands(linked));
    std::size_t links = 0;
    for (std::size_t a = 0; a < list.size(); ++a) {
        std::vector<std::uint32_t> expected;
        for (std::size_t b = 0; b < list.size(); ++b)
            if (a != b && distanceNm({list[a].lat, list[a].lon}, {list[b].lat, list[b].lon}) * 1.1 <
                              list[a].radius + list[b].radius)
                expected.push_back(static_cast<std::uint32_t>(b + 1));
        EXPECT_EQ(linked[a].adjacent, expected) << a;
        EXPECT_EQ(linked[a].id, a + 1);
        links += expected.size();
    }
    EXPECT_GT(links, 400u); // the layout has overlaps to find
    stopRequested = true;
    EXPECT_FALSE(numberAndLinkStands(linked));
    stopRequested = false;
}

// Pairs of stands north of one another: adjacent when the distance times 1.1 is below the sum
// of the radii, so circles that only just overlap are not.
TEST(StandLinks, StandsThatOverlapAreAdjacent)
{
    const struct {
        double apartMetres;
        double radiusMetres;
        bool adjacent;
    } cases[] = {
        {19.0, 10.5, true},  // 20.9 m against 21 m
        {20.0, 10.5, false}, // the circles overlap by a metre: 22 m against 21 m
        {22.0, 10.5, false}, // a metre apart
        {63.0, 35.0, true},  // 69.3 m against 70 m
        {64.0, 35.0, false}, // 70.4 m against 70 m
    };
    for (const auto& c : cases) {
        std::vector<Stand> list(2);
        for (std::size_t k = 0; k < 2; ++k) {
            list[k].lat = 51.47 + static_cast<double>(k) * c.apartMetres / 1852.0 / 60.0;
            list[k].lon = -0.45;
            list[k].radius = c.radiusMetres * metresToNm;
        }
        numberAndLinkStands(list);
        const auto expected = [&](std::uint32_t other) {
            return c.adjacent ? std::vector<std::uint32_t>{other} : std::vector<std::uint32_t>{};
        };
        EXPECT_EQ(list[0].adjacent, expected(2)) << c.apartMetres << " m, radii " << c.radiusMetres << " m";
        EXPECT_EQ(list[1].adjacent, expected(1)) << c.apartMetres << " m, radii " << c.radiusMetres << " m";
    }
}

// What a learned file merged over EGLL's airport file gives (a handmade one replaces it).
TEST_F(ParkAirportFile, LearnedFilesMergeOverTheAirportFile)
{
    const std::string heathrow = parameter("airport_name", "Heathrow");
    const struct {
        const char* name;
        std::string learned;
        std::string stands;
        std::string result;
        const char* logged;
    } cases[] = {
        {"radius and cargo learned", apfText(heathrow, R"(<parkpos id="A1" radius_change="true" radius="30.0"/>
                              <parkpos id="A2" cargo_change="true" cargo="true"/>)"),
         "A1 51.470000,-0.450000 h90.0 r30.0 radius_change\n" + optionA1 +
             "A2 51.471000,-0.450000 h90.0 r20.0 cargo ramp cargo_change\n" + standA3,
         "", nullptr},
        {"an option overlapping a known one is not added, one in other slots is",
         apfText(heathrow, R"(<parkpos id="A1"><opt reg="G-AAAA" airl="BAW" type="A320" day="1" hh="11,12,"/>
                                               <opt reg="G-AAAA" airl="BAW" type="A320" day="1" hh="20,"/></parkpos>)"),
         standA1 + optionA1 + "  G-AAAA/BAW/A320 day1 000000000000000000000000000100000000000000000000 real cs=:\n" +
             standA2 + standA3,
         "", nullptr},
        {"a manual stand is added",
         apfText(heathrow,
                 R"(<parkpos id="M1" latitude="-0.0005" longitude="0.01" heading="0" radius="15" manual="true"/>)"),
         standA1 + optionA1 + standA2 + standA3 + "M1 -0.000500,0.010000 h0.0 r15.0 manual\n", "", nullptr},
        {"a manual stand with a known name is skipped",
         apfText(heathrow, R"(<parkpos id="A2" latitude="51.5" longitude="-0.4" radius="15" manual="true"/>)"),
         standA1 + optionA1 + standA2 + standA3, "",
         "manually created standid A2 already exists in airports\\learned\\thirdparty\\Pub\\EGLL.xml"},
        {"a manual stand next to 0,0 is skipped",
         apfText(heathrow, R"(<parkpos id="M1" latitude="0.0005" longitude="0.01" radius="15" manual="true"/>)"),
         standA1 + optionA1 + standA2 + standA3, "", "manually created standid M1 misses correct attributes"},
        {"a manual stand without radius is skipped",
         apfText(heathrow, R"(<parkpos id="M1" latitude="51.5" longitude="-0.4" manual="true"/>)"),
         standA1 + optionA1 + standA2 + standA3, "", "manually created standid M1 misses correct attributes"},
        {"an unknown stand is reported", apfText(heathrow, R"(<parkpos id="X9" radius_change="true" radius="30.0"/>)"),
         standA1 + optionA1 + standA2 + standA3, "",
         "learned stand X9 in airports\\learned\\thirdparty\\Pub\\EGLL.xml not found?"},
        {"a handmade file replaces the stands",
         apfText(heathrow + parameter("handmade", "true"),
                 R"(<parkpos id="H1" latitude="51.48" longitude="-0.46" radius="25" cargo="true" ramp="false"/>)"),
         "H1 51.480000,-0.460000 h0.0 r25.0 cargo\n", "", "A handmade airport file overruled the archived file!"},
        {"a handmade file without stands leaves none", apfText(heathrow + parameter("handmade", "false"), ""), "",
         "no stands found", "handmade                : false"},
        {"a handmade file with a stand twice ends the merge",
         apfText(heathrow + parameter("handmade", "true"),
                 R"(<parkpos id="H1" latitude="51.48" longitude="-0.46" radius="25"/>
                    <parkpos id="H1" latitude="51.49" longitude="-0.46" radius="25"/>)"),
         "H1 51.480000,-0.460000 h0.0 r25.0\n", "", "lf_readLearned: 94: Parking position H1 appears more than once?"},
        {"a learned file without version in its meta block is ignored",
         "<meta><info name=\"author\" value=\"a\"/><info name=\"date\" value=\"d\"/></meta>"
         "<parkpositions><parkpos id=\"A1\" radius_change=\"true\" radius=\"30.0\"/></parkpositions>",
         standA1 + optionA1 + standA2 + standA3, "", "meta data incorrect?"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        qtest::writeFile(myThirdpartyFolder / "EGLL.xml", archivedEgll);
        qtest::writeFile(learnedEgll, c.learned);
        EXPECT_EQ(readEgll(), c.result);
        EXPECT_EQ(qtest::describeStands(stands), c.stands);
        if (c.logged) {
            EXPECT_NE(log().find(c.logged), std::string::npos) << c.logged;
        }
    }
}

TEST_F(ParkAirportFile, LearnedFileSettingsAndQuality)
{
    qtest::writeFile(myThirdpartyFolder / "EGLL.xml", archivedEgll);
    qtest::writeFile(learnedEgll, apfText(parameter("airport_name", "Other name") + parameter("LATERAL_RANGE", "30") +
                                              parameter("AUTO_RANGE", "false") + parameter("MAX_FIT", "20") +
                                              parameter("PARK_FAKE", "yes") + parameter("LEARN_SOFT", "0"),
                                          ""));
    parking_percentage.setValue(70);
    MAX_LIVE.setValue(50);
    EXPECT_EQ(readEgll(), "");
    EXPECT_EQ(LATERAL_RANGE.value(), 30);
    EXPECT_EQ(lateralRangeMetres.load(), 30 * 1852);
    EXPECT_FALSE(AUTO_RANGE.value());
    EXPECT_EQ(MAX_FIT.value(), 20);
    EXPECT_TRUE(PARK_FAKE.value());
    EXPECT_FALSE(LEARN_SOFT.value());
    EXPECT_EQ(MAX_LIVE.value(), -1);           // missing: no limit
    EXPECT_EQ(parking_percentage.value(), 30); // missing: 30
    // With a learned file the quality is computed from the options: one real option, one slot
    // set of two, on one of three stands.
    EXPECT_EQ(quality.real, 21);
    EXPECT_EQ(quality.soft, 0);
    EXPECT_NE(log().find("Warning: learned file airport name: \"Other name\" differs from archived file airport name: "
                         "\"Heathrow\""),
              std::string::npos);
}

TEST_F(ParkAirportFile, UnreadableLearnedFileIsMovedAside)
{
    qtest::writeFile(myThirdpartyFolder / "EGLL.xml", archivedEgll);
    qtest::writeFile(learnedEgll, "<parameters><unclosed>");
    qtest::writeFile(learnedEgll.parent_path() / "EGLL.0.xml", "older");
    EXPECT_EQ(readEgll(), "");
    EXPECT_FALSE(std::filesystem::exists(learnedEgll));
    EXPECT_EQ(qtest::readFile(learnedEgll.parent_path() / "EGLL.0.xml"), "<parameters><unclosed>");
    EXPECT_NE(log().find("EGLL.xml found, but could not be loaded, saved as *.0.xml: "), std::string::npos);
    EXPECT_EQ(qtest::describeStands(stands), standA1 + optionA1 + standA2 + standA3);
}

// Faulty airport files: a message or a user error naming the file, and the stand list untouched.
TEST_F(ParkAirportFile, FaultyFilesAreRefused)
{
    const std::string meta = "<meta><info name=\"author\" value=\"a\"/><info name=\"date\" value=\"d\"/>";
    const std::string stand = R"(<parkpos id="A1" latitude="51.47" longitude="-0.45" radius="20"/>)";
    std::string tooMany;
    for (std::size_t i = 0; i <= maximumStands; ++i)
        tooMany += fmt::format(R"(<parkpos id="{}" latitude="51.47" longitude="{:.6f}" radius="20"/>)", i,
                               -0.45 + 1e-5 * static_cast<double>(i));
    std::string crowded;
    for (int i = 0; i < 100; ++i)
        crowded += fmt::format(R"(<parkpos id="{}" latitude="51.47" longitude="-0.45" radius="20"/>)", i);
    const struct {
        const char* name;
        std::string file;
        std::string message; // returned, or the text of the user error
        bool userError;
    } cases[] = {
        {"no altitude", apfText(parameter("publisher", "Pub"), stand), "65: Parameter altitude not found", true},
        {"an altitude that is no number", apfText(parameter("altitude", "high"), stand),
         "65: Parameter altitude is not an elevation in feet: \"high\"", true},
        {"a stand twice", apfText(parameter("altitude", "83"), stand + stand),
         "94: Parking position A1 appears more than once?", true},
        {"more stands than an airport can have", apfText(parameter("altitude", "83"), tooMany),
         "94: 10001 stands, more than an airport can have (10000)", true},
        {"stands piled on one spot", apfText(parameter("altitude", "83"), crowded),
         "94: stands crowd together, more than 32 neighbours each", true},
        {"no version in the meta block", meta + "</meta><parameters/>",
         "airports\\my_thirdparty\\EGLL.xml but refused to load, copyright problem", false},
        {"no XML", "<meta>", "airports\\my_thirdparty\\EGLL.xml could not be loaded: ", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        qtest::writeFile(myThirdpartyFolder / "EGLL.xml", c.file);
        replaceStands({qtest::makeStand({"OLD", 1, 1})});
        std::string result;
        try {
            result = gf_readApf(findAirportFile("EGLL"), record, quality);
        } catch (const UserErrorException& e) {
            EXPECT_TRUE(c.userError);
            result = e.what();
            EXPECT_NE(log().find("Airport file \"airports\\my_thirdparty\\EGLL.xml\": " + result), std::string::npos);
        }
        EXPECT_EQ(result.substr(0, c.message.size()), c.message);
        EXPECT_EQ(qtest::describeStands(stands), "OLD 1.000000,1.000000 h0.0 r20.0\n");
    }
    EXPECT_EQ(gf_readApf("", record, quality), "gf_readApf xml is empty...");
    parkAirportIcao.clear();
    EXPECT_EQ(gf_readApf("airports\\my_thirdparty\\EGLL.xml", record, quality), "gf_readApf no park airport set");
}

// Where an airport's file is looked for: redirects before files, third-party before the add-on's.
TEST_F(ParkAirportFile, LookupOrder)
{
    const struct {
        const char* name;
        std::vector<std::pair<std::filesystem::path, std::string>> files;
        std::string found;
    } cases[] = {
        {"redirect before the file",
         {{myThirdpartyFolder / "EGLL.txt", "archive/thirdparty/Pub%20One/EGLL.xml  \r\n"},
          {myThirdpartyFolder / "EGLL.xml", archivedEgll}},
         "archive/thirdparty/Pub%20One/EGLL.xml"},
        {"a redirect without an l gives nothing", {{myThirdpartyFolder / "EGLL.txt", "nothing here\n"}}, ""},
        {"an empty redirect is passed over",
         {{myThirdpartyFolder / "EGLL.txt", ""}, {myVendrakeFolder / "EGLL.xml", archivedEgll}},
         "airports\\my_vendrake\\EGLL.xml"},
        {"third party before the add-on",
         {{myThirdpartyFolder / "EGLL.xml", archivedEgll},
          {myVendrakeFolder / "EGLL.txt", "archive/vendrake/EGLL.xml"}},
         "airports\\my_thirdparty\\EGLL.xml"},
        {"the add-on's redirect",
         {{myVendrakeFolder / "EGLL.txt", "archive/vendrake/EGLL.xml\n"}},
         "archive/vendrake/EGLL.xml"},
        {"nothing anywhere", {}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const auto* sub : {&myThirdpartyFolder, &myVendrakeFolder}) {
            std::filesystem::remove_all(*sub);
            std::filesystem::create_directories(*sub);
        }
        for (const auto& [path, text] : c.files) qtest::writeFile(path, text);
        EXPECT_EQ(findAirportFile("EGLL"), c.found);
        EXPECT_EQ(ensureAirportFile("EGLL"), !c.files.empty());
    }
    // Nothing local: the stock archive was asked (and had nothing).
    EXPECT_TRUE(requested("/MSFS/archive/stock/EGLL.xml"));
}

TEST(QualityFactor, FromTheStandOptions)
{
    using qtest::makeOption;
    using qtest::makeStand;
    Stand one = makeStand({"A1", 1, 1, 0, 25});
    one.options.push_back(makeOption("G-AAAA", "BAW", "A320", 1, {5}));
    EXPECT_EQ(gf_qualityFactor({one}).real, 63); // round((10000 + 100 + 20 + 2) / 160)
    EXPECT_EQ(gf_qualityFactor({one}).soft, 0);

    Stand busy = makeStand({"A2", 1, 1});
    for (std::uint32_t i = 0; i < 300; ++i) {
        std::vector<std::size_t> all(48);
        for (std::size_t s = 0; s < 48; ++s) all[s] = s;
        busy.options.push_back(makeOption("R" + std::to_string(i), "", "", i % 7 + 1, all, optionSoft, "", "", i + 1));
    }
    busy.options.push_back(makeOption("OFF", "", "", 1, {1}, optionReal, "", "", 0)); // switched off: not counted
    // 10000 + 700 + min(6000, 4000) + 2 x min(14400, 600) = 15900, capped at 100.
    EXPECT_EQ(gf_qualityFactor({busy}).soft, 99);
    EXPECT_EQ(gf_qualityFactor({busy}).real, 0);

    EXPECT_EQ(gf_qualityFactor({}).real, -1);
    EXPECT_EQ(gf_qualityFactor({makeStand({"A3", 1, 1})}).soft, -1);

    EXPECT_EQ(qualityFactorText({63, 12}), "63");
    EXPECT_EQ(qualityFactorText({30, 12}), "30/12");
    EXPECT_EQ(qualityFactorText({5, -1}), " 5/-1");
    EXPECT_EQ(qualityFactorText({-1, -1}), "  ");
}

TEST(LearnedFilePaths, MapAirportPath)
{
    const struct {
        const char* path;
        const char* publisher;
        const char* learned;
    } cases[] = {
        {"archive/stock/EGLL.xml", "stock", "airports\\learned\\stock\\EGLL.xml"},
        {"archive/thirdparty/Pub%20One/EGLL.xml", "Pub One", "airports\\learned\\thirdparty\\Pub One\\EGLL.xml"},
        {"archive/vendrake/EGLL.xml", "vendrake", "airports\\learned\\vendrake\\EGLL.xml"},
        {"airports\\my_thirdparty\\EGLL.xml", "Pub", "airports\\learned\\thirdparty\\Pub\\EGLL.xml"},
        {"airports\\my_thirdparty2024\\EGLL.xml", "Pub", "airports\\learned\\thirdparty\\Pub\\EGLL.xml"},
        {"airports\\my_thirdparty\\EGLL.xml", "", "airports\\learned\\thirdparty\\\\EGLL.xml"},
        {"airports\\my_vendrake\\EGLL.xml", "vendrake", "airports\\learned\\my_vendrake\\EGLL.xml"},
        {"elsewhere\\EGLL.xml", "Pub", "elsewhere\\EGLL.xml"},
        {"", "Pub", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(pathToUtf8(mapAirportPath(c.path, c.publisher)), c.learned) << c.path;
    // An empty publisher puts the file into the thirdparty folder itself.
    EXPECT_EQ(mapAirportPath("airports\\my_thirdparty\\EGLL.xml", "").lexically_normal(),
              std::filesystem::path("airports\\learned\\thirdparty\\EGLL.xml"));
}

TEST(LearnedFilePaths, SameStandOption)
{
    using qtest::makeOption;
    const StandOption base = makeOption("G-AAAA", "BAW", "A320", 1, {10, 11});
    EXPECT_TRUE(sameStandOption(base, makeOption("G-AAAA", "BAW", "A320", 1, {11, 12})));
    EXPECT_FALSE(sameStandOption(base, makeOption("G-AAAA", "BAW", "A320", 1, {12})));
    EXPECT_FALSE(sameStandOption(base, makeOption("G-AAAA", "BAW", "A320", 2, {10})));
    EXPECT_FALSE(sameStandOption(base, makeOption("G-AAAA", "BAW", "A320", 1, {10}, optionSoft)));
    EXPECT_FALSE(sameStandOption(base, makeOption("G-AAAB", "BAW", "A320", 1, {10})));
    EXPECT_FALSE(sameStandOption(base, makeOption("G-AAAA", "SHT", "A320", 1, {10})));
    EXPECT_FALSE(sameStandOption(base, makeOption("G-AAAA", "BAW", "A319", 1, {10})));
}
