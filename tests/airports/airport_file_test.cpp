// The airport file format as written and read: golden files pin the exact text of a generated and
// a learned file; every kind of file read back gives the stands and options it was written from.
#include "airport_fixture.h"

#include "airports/airport_file_format.h"
#include "airports/learned_file.h"
#include "foundation/geometry.h"
#include "foundation/parameters/parameter_display.h"
#include "foundation/utilities.h"
#include "foundation/win_text.h"
#include "foundation/xml_meta.h"

#include <fmt/format.h>
#include <pugixml.hpp>

#include <regex>

using namespace qtr;
using qtest::makeOption;
using qtest::makeStand;

namespace {

const std::filesystem::path fixtures = std::filesystem::path(QM_SOURCE_DIR) / "tests/fixtures/airports";

// The file's text with the date of its meta block and the program version blanked (they change
// from run to run and release to release) and line ends as LF.
std::string normalised(const std::filesystem::path& path)
{
    std::string text;
    for (char c : qtest::readFile(path))
        if (c != '\r') text += c;
    text = std::regex_replace(text, std::regex(R"re(name="date" value="[^"]*")re"), R"(name="date" value="DATE")");
    return std::regex_replace(text, std::regex(R"re(name="version" value="[^"]*")re"),
                              R"(name="version" value="VERSION")");
}

// A generated file of an airport whose publisher nobody knows: two stands, a helicopter pad and
// a cargo ramp.
ApfRecord generatedRecord()
{
    ApfRecord r;
    r.airportName = "Phoenix Sky Harbor International Airport";
    r.bglPath = "Community\\skyharbor\\scenery\\KPHX.bgl";
    r.publisher = "unknown";
    r.manufacturer = "Sky";
    r.creator = "Harbor Works";
    r.elevationFt = 1135;
    r.stands.push_back(makeStand({"A1", 33.434278, -112.011583, 90.0, 25.5, true, true, false}));
    r.stands.push_back(makeStand({"helipad1", 33.4351, -112.0099, 0.0, 12.0, false, false, true}));
    return r;
}

// A learned file of an archived airport: a stand whose radius and cargo flag were learned, one
// made by hand, one with options (one switched off), one with nothing learned.
ApfRecord learnedRecord()
{
    ApfRecord r;
    r.airportName = "London Heathrow";
    r.publisher = "stock";
    r.elevationFt = 83;
    Stand changed = makeStand({"501", 51.4701, -0.4543, 180.0, 30.0, true});
    changed.radius_change = true;
    changed.cargo_change = true;
    Stand manual = makeStand({"M1", 51.4712, -0.4601, 270.5, 18.0, false, true});
    manual.manual = true;
    Stand used = makeStand({"502", 51.4703, -0.4545, 180.0, 40.0});
    used.options.push_back(makeOption("G-EUPT", "BAW", "A319", 1, {14, 15, 16}, optionReal, "BAW12", "BAW13", 1));
    used.options.push_back(makeOption("D-AIBA", "", "", 3, {47}, optionSoft, "DLH4", "", 2));
    used.options.push_back(makeOption("N123", "AAL", "B77W", 2, {1}, optionReal, "", "", 0)); // switched off
    r.stands = {changed, manual, used, makeStand({"503", 51.4705, -0.4547, 180.0, 40.0})};
    return r;
}

} // namespace

class AirportFileFormat : public qtest::AirportFolderTest {};

TEST_F(AirportFileFormat, GoldenFilesPinTheWrittenText)
{
    registrations["D-AIBA"] = RegistrationInfo{"DLH", "A321", "", false};
    MAX_LIVE.setValue(-1); // no limit: not written
    simulatorName = "MSFS";
    ASSERT_TRUE(saveApf(generatedRecord(), "generated.xml", apfKindGenerated));
    ASSERT_TRUE(saveApf(learnedRecord(), "learned.xml", apfKindLearned));
    EXPECT_EQ(normalised("generated.xml"), normalised(fixtures / "golden_generated.xml"));
    EXPECT_EQ(normalised("learned.xml"), normalised(fixtures / "golden_learned.xml"));
}

TEST_F(AirportFileFormat, GeneratedFileReadsBackWhole)
{
    const ApfRecord record = generatedRecord();
    ASSERT_TRUE(saveApf(record, myThirdpartyFolder / "KPHX.xml", apfKindGenerated));
    parkAirportIcao = "KPHX";
    ApfFileRecord file;
    QualityPair quality;
    EXPECT_EQ(gf_readApf(findAirportFile("KPHX"), file, quality), "");
    EXPECT_EQ(qtest::describeStands(stands), qtest::describeStands(record.stands));
    EXPECT_EQ(file.airportName, record.airportName);
    EXPECT_EQ(file.publisher, "unknown");
    EXPECT_EQ(file.elevationFt, 1135);
    EXPECT_EQ(parkAirportElevation, 1135.0);
    EXPECT_EQ(quality.real, -1);   // a generated file has no options and no quality factors
    EXPECT_FALSE(stands[1].cargo); // a helicopter stand carries no cargo attribute
}

// The learned file of a third-party airport, written after learning and read back over its
// airport file, gives the stands as they were learned; a handmade one gives its own stands.
TEST_F(AirportFileFormat, LearnedAndHandmadeFilesReadBackAsWritten)
{
    ApfRecord archived = generatedRecord();
    archived.publisher = "Sky Works";
    ASSERT_TRUE(saveApf(archived, myThirdpartyFolder / "KPHX.xml", apfKindGenerated));
    parkAirportIcao = "KPHX";
    const std::string pathText = findAirportFile("KPHX");
    ApfFileRecord file;
    QualityPair quality;
    ASSERT_EQ(gf_readApf(pathText, file, quality), "");

    // Learning at the airport.
    std::vector<Stand> learned = stands;
    learned[0].radius = 31.0 * metresToNm;
    learned[0].radius_change = true;
    learned[0].options.push_back(makeOption("N123AA", "AAL", "B738", 5, {20, 21, 22}, optionReal, "AAL1", "AAL2", 1));
    learned[0].options.push_back(makeOption("N456UA", "UAL", "B39M", 6, {0}, optionSoft, "UAL9", "", 2));
    learned[0].cargo_change = true;
    learned[0].cargo = false;
    Stand manual = makeStand({"Z9", 33.4361, -112.0111, 45.0, 22.0, false, true});
    manual.manual = true;
    learned.push_back(manual);

    const std::filesystem::path learnedPath = mapAirportPath(pathText, file.publisher);
    EXPECT_EQ(pathToUtf8(learnedPath), "airports\\learned\\thirdparty\\Sky Works\\KPHX.xml");
    std::filesystem::create_directories(learnedPath.parent_path());
    ApfRecord learnedRecord{file.airportName, "", file.publisher, "", "", {}, file.elevationFt, false, learned};
    ASSERT_TRUE(saveApf(learnedRecord, learnedPath, apfKindLearned));

    clearStands();
    ASSERT_EQ(gf_readApf(pathText, file, quality), "");
    EXPECT_EQ(qtest::describeStands(stands), qtest::describeStands(learned));
    EXPECT_FALSE(parkHandmade);
    // Computed from the options (a learned file has no factors of its own): one stand of three
    // with one option of each kind.
    EXPECT_EQ(quality.real, 21); // round((10000 + 100 + 20 + 2 * 3) / 3 * 0.00625)
    EXPECT_EQ(quality.soft, 21); // round((10000 + 100 + 20 + 2 * 1) / 3 * 0.00625)

    // The same stands saved as handmade replace the airport file's stands, whatever they are;
    // a stand with a learned change goes whole into it (with its changes only it would come
    // back without a position).
    learnedRecord.handmade = true;
    learnedRecord.stands.erase(learnedRecord.stands.begin() + 1);
    ASSERT_TRUE(saveApf(learnedRecord, learnedPath, apfKindLearned));
    clearStands();
    ASSERT_EQ(gf_readApf(pathText, file, quality), "");
    EXPECT_TRUE(parkHandmade);
    for (Stand& s : learnedRecord.stands) s.radius_change = s.cargo_change = false;
    EXPECT_EQ(qtest::describeStands(stands), qtest::describeStands(learnedRecord.stands));
    EXPECT_NE(log().find("A handmade airport file overruled the archived file!"), std::string::npos);
    EXPECT_NE(log().find("Airport file read from \"" + pathToUtf8(learnedPath) + "\""), std::string::npos);
}

// The parking settings travel with the learned file, "no limit" and a hand-chosen range included.
TEST_F(AirportFileFormat, SettingsSnapshotSurvivesTheRoundTrip)
{
    ASSERT_TRUE(saveApf(generatedRecord(), myThirdpartyFolder / "EGLL.xml", apfKindGenerated));
    const std::filesystem::path learnedPath = mapAirportPath(findAirportFile("EGLL"), "unknown");
    std::filesystem::create_directories(learnedPath.parent_path());

    AUTO_RANGE.setValue(false);
    setRangeNm(25);
    MAX_LIVE.setValue(-1);
    MAX_FIT.setValue(20);
    parking_percentage.setValue(55);
    WEEK.setValue(true);
    ApfRecord record;
    record.stands = generatedRecord().stands;
    ASSERT_TRUE(saveApf(record, learnedPath, apfKindLearned));

    qtest::resetParkingSettings();
    MAX_LIVE.setValue(100);
    manualRadius = 60; // remembered before: the file's own range wins
    ApfFileRecord file;
    QualityPair quality;
    ASSERT_EQ(gf_readApf(findAirportFile("EGLL"), file, quality), "");
    EXPECT_FALSE(AUTO_RANGE.value());
    EXPECT_EQ(LATERAL_RANGE.value(), 25);
    EXPECT_EQ(lateralRangeNm.load(), 25.0);
    EXPECT_EQ(MAX_LIVE.value(), -1);
    EXPECT_EQ(MAX_FIT.value(), 20);
    EXPECT_EQ(MAX_FIT_FL.value(), 10.5f);
    EXPECT_EQ(parking_percentage.value(), 55);
    EXPECT_TRUE(WEEK.value());
    EXPECT_NE(log().find("MAX_FIT                 : 20 (max number of half hours, is 10.5 hrs decimal)"),
              std::string::npos);
}

// The "Max fit" edit shows the value in use for every airport: with a learned file that holds it,
// and without any learned file (it would stay empty there).
TEST_F(AirportFileFormat, MaxFitShownWithAndWithoutALearnedFile)
{
    static std::string shown;
    setParameterDisplayHooks({[](const ParameterControl& control, const std::string& text) {
                                  if (&control == &MAX_FIT_FL) shown = text;
                              },
                              nullptr, nullptr, nullptr});
    ASSERT_TRUE(saveApf(generatedRecord(), myThirdpartyFolder / "EGLL.xml", apfKindGenerated));
    ApfFileRecord file;
    QualityPair quality;
    struct Case {
        bool learned;
        std::int32_t maxFitInFile, maxFitBefore;
        std::string shown;
    };
    for (const Case& c : {Case{false, 0, 7, "4"}, Case{true, 20, 47, "10.5"}}) {
        const std::filesystem::path learnedPath = mapAirportPath(findAirportFile("EGLL"), "unknown");
        std::filesystem::remove(learnedPath);
        if (c.learned) {
            std::filesystem::create_directories(learnedPath.parent_path());
            MAX_FIT.setValue(c.maxFitInFile);
            ApfRecord record;
            record.stands = generatedRecord().stands;
            ASSERT_TRUE(saveApf(record, learnedPath, apfKindLearned));
        }
        MAX_FIT.setValue(c.maxFitBefore);
        MAX_FIT_FL.setValue(24.0f);
        shown = "<nothing>";
        ASSERT_EQ(gf_readApf(findAirportFile("EGLL"), file, quality), "") << c.learned;
        EXPECT_EQ(shown, c.shown) << c.learned;
    }
    setParameterDisplayHooks({});
}

// A save that cannot complete leaves the file it would replace as it was.
TEST_F(AirportFileFormat, FailedSaveKeepsThePreviousFile)
{
    const std::filesystem::path target = learnedStockFolder / "EGLL.xml";
    ASSERT_TRUE(saveApf(learnedRecord(), target, apfKindLearned));
    const std::string before = qtest::readFile(target);
    EXPECT_FALSE(std::filesystem::exists(target.wstring() + L".tmp"));
    // The temporary file cannot be written where a folder of its name stands.
    std::filesystem::create_directories(target.wstring() + L".tmp");
    ApfRecord other = learnedRecord();
    other.stands.resize(1);
    EXPECT_FALSE(saveApf(other, target, apfKindLearned));
    EXPECT_EQ(qtest::readFile(target), before);
    // And a folder that does not exist is not made.
    EXPECT_FALSE(saveApf(other, airportsFolder / "nowhere" / "EGLL.xml", apfKindLearned));
}

TEST_F(AirportFileFormat, StandAndOptionAttributes)
{
    registrations["D-AIBA"] = RegistrationInfo{"DLH", "A321", "", false};
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(R"(<parkpositions>
        <parkpos id="1" latitude="1.5" longitude="2.5" heading="180" radius="185.2" heli="yes" ramp="1" cargo="T">
            <opt reg="D-AIBA" airl="XXX" type="B738" day="2" hh="47," cs="DLH1" soft="yes"/>
            <opt reg="UNKNOWN" airl="ABC" type="C172" day="7" hh="" cs="A:B:C" soft="0"/>
            <opt day="x" hh="1,"/>
            <opt cs=":B" soft="false" hh="3,4,5"/>
        </parkpos>
        <parkpos id="2" latitude="0" longitude="0"><opt day="1"/></parkpos>
        <parkpos id="3" latitude="abc" longitude="2"/>
        <parkpos id="4" latitude="95" longitude="2"/>
        <parkpos id="5" latitude="0" longitude="0.1"/>
    </parkpositions>)"));
    std::vector<Stand> list;
    for (const pugi::xml_node parkpos : doc.child("parkpositions").children("parkpos"))
        readStands(parkpos, parkpos.attribute("id").value(), 1, list, "test.xml");
    ASSERT_EQ(list.size(), 2u); // stand 2 at 0,0, stand 3 not a number, stand 4 off the globe
    const Stand& s = list[0];
    EXPECT_DOUBLE_EQ(s.heading, 3.141592653589793);
    EXPECT_DOUBLE_EQ(s.radius, 0.1);
    EXPECT_TRUE(s.heli && s.ramp && s.cargo);
    EXPECT_EQ(s.options.capacity(), 256u);
    ASSERT_EQ(s.options.size(), 3u); // the option with day "x" is skipped
    // A registration the data base knows takes its airline and type from there.
    EXPECT_EQ(qtest::describeStands({s}), "1 1.500000,2.500000 h180.0 r185.2 cargo ramp heli\n"
                                          "  D-AIBA/DLH/A321 day2 " +
                                              SlotSet().set(47).to_string() +
                                              " soft cs=DLH1:\n"
                                              "  UNKNOWN/ABC/C172 day7 " +
                                              SlotSet().to_string() +
                                              " real cs=A:B\n"
                                              "  // day0 " +
                                              SlotSet().set(3).set(4).set(5).to_string() + " real cs=:B\n");
    EXPECT_EQ(s.options[2].id, 3u); // numbered in file order, skipped ones not counted
    EXPECT_EQ(s.options[0].fixed, 1u);
    EXPECT_EQ(list[1].name, "5");
    const std::string text = log();
    for (const char* line : {"Airport file \"test.xml\": stand \"2\" has no position, skipped",
                             "Airport file \"test.xml\": stand \"3\" has an attribute that is not a number, skipped",
                             "Airport file \"test.xml\": stand \"4\" at 95,2 with radius 0 is impossible, skipped",
                             "Airport file \"test.xml, stand 1\": option of \"\" with day \"x\", skipped"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
}

// Headings are brought into 0...360 degrees; radii no stand can have are refused.
TEST_F(AirportFileFormat, StandHeadingsAndRadiiInRange)
{
    const struct {
        const char* heading;
        const char* radius;
        double degrees; // -1: refused
    } cases[] = {{"-720", "20", 0.0}, {"725", "20", 5.0},  {"-90", "20", 270.0}, {"360", "20", 360.0},
                 {"90", "200", 90.0}, {"90", "200.5", -1}, {"90", "1e9", -1}};
    for (const auto& c : cases) {
        pugi::xml_document doc;
        ASSERT_TRUE(
            doc.load_string(fmt::format(R"(<parkpos id="1" latitude="1.5" longitude="2.5" heading="{}" radius="{}"/>)",
                                        c.heading, c.radius)
                                .c_str()));
        std::vector<Stand> list;
        EXPECT_EQ(readStands(doc.child("parkpos"), "1", 1, list, "test.xml"), c.degrees >= 0)
            << c.heading << " " << c.radius;
        if (!list.empty()) {
            EXPECT_NEAR(list[0].heading, c.degrees * degToRad, 1e-12) << c.heading;
        }
    }
}
