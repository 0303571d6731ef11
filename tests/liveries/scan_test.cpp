// The scan of installed aircraft.cfg files: the real samples and packages laid out in a temporary
// folder, other encodings and the IVAO layout of one file, broken files with their report lines
// and golden report files, and the scan driver's folders, stops and priorities.
#include "foundation/indicators.h"
#include "foundation/errors.h"
#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/paths.h"
#include "foundation/utilities.h"
#include "foundation/win_text.h"
#include "liveries/aircraft_cfg.h"
#include "liveries/livery_folder_walk.h"
#include "liveries/livery_scan.h"
#include "liveries/regcodes.h"
#include "liveries/scan_problems.h"
#include "liveries/scanned_liveries_file.h"
#include "liveries/type_data_base.h"
#include "scan_fixture.h"
#include "foundation/run_control.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <type_traits>

#ifdef _WIN32
#include <windows.h>
#endif

using namespace qtr;
using qtest::ScanTest;

namespace {

// Wine reads a Unix path only when it is written with forward slashes throughout.
std::filesystem::path realData(const std::string& below)
{
    return std::filesystem::path(QM_SOURCE_DIR "/../shared/realdata/" + below);
}
std::filesystem::path fixtures(const std::string& below)
{
    return std::filesystem::path(QM_SOURCE_DIR "/tests/fixtures/livery_scan/" + below);
}

// The fixture's sound file (an AAL B738 and its freighter) with other titles: title, title + " Cargo".
std::string goodFile(const std::string& title)
{
    std::string text = qtest::readFile(fixtures("user-aitraffic-problems/SimObjects/Airplanes/good/aircraft.cfg"));
    text.replace(text.find("Golden Boeing 737-800 American Cargo"), 36, title + " Cargo");
    text.replace(text.find("Golden Boeing 737-800 American"), 30, title);
    return text;
}

// A text of paths written with Windows separators, in the system's own: the scan writes paths as
// the system gives them.
std::string systemPaths(std::string text)
{
    constexpr char separator = static_cast<char>(std::filesystem::path::preferred_separator);
    std::replace(text.begin(), text.end(), '\\', separator);
    return text;
}

std::vector<std::string> describeAll(const std::list<LiveryRecord>& records)
{
    std::vector<std::string> lines;
    for (const LiveryRecord& r : records) lines.push_back(ScanTest::describe(r));
    return lines;
}

bool holds(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::vector<std::string> fileLines(const std::filesystem::path& path)
{
    std::vector<std::string> lines;
    if (const auto read = gf_readLines(path)) lines = *read;
    return lines;
}

TEST_F(ScanTest, RealAircraftCfgSamples)
{
    for (const auto& e : std::filesystem::directory_iterator(realData("aircraft_cfg")))
        place(e.path(), "samples/SimObjects/Airplanes/" + pathToUtf8(e.path().stem()) + "/aircraft.cfg");
    const auto lines = describeAll(scan("samples"));
    // The FSLTL master: its generic livery only, the 27 "-STUB" ones are suppressed.
    EXPECT_TRUE(holds(lines, "ZZZ|A20N|FSLTL_A20N_ZZZZ||1|pax"));
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.find("|A20N|") != std::string::npos; }),
              1);
    // The helicopter's keys written "Title=", its empty airline generic (no regcode kept).
    EXPECT_TRUE(holds(lines, "ZZZ|H60|Base UH-60M||1|pax"));
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.find("|H60|") != std::string::npos; }),
              14);
    // The C-17: air forces as airlines, freighters by their parking, registrations kept.
    EXPECT_TRUE(holds(lines, "ARC|C17|C17 RCAF 701|CAF701|1|cargo"));
    EXPECT_TRUE(holds(lines, "RCH|C17|Boeing C17 USAF 30601|CH5146|1|cargo"));
    EXPECT_TRUE(holds(lines, "ASY|C17|Boeing C17 RAAF 206||1|cargo"));
    EXPECT_EQ(lines.size(), 37u);
    // What was refused, and why. The files are scanned in parallel, so each list is compared
    // as a set: its order is that of the tasks' ends.
    const auto cfg = [&](const std::string& model) {
        return pathToUtf8((root / "samples/SimObjects/Airplanes" / model / "aircraft.cfg").make_preferred());
    };
    const auto set = [](const std::list<std::string>& list) {
        return std::multiset<std::string>(list.begin(), list.end());
    };
    const std::string c17 = "military_DeltaSim_C17_23_fltsim_aircraft";
    EXPECT_EQ(set(invalidAirlineCodes.lines()),
              (std::multiset<std::string>{"0AN          in " + cfg(c17) + " [FLTSIM.12]"}));
    EXPECT_EQ(set(incompleteSections.lines()),
              (std::multiset<std::string>{"\"" + pathToUtf8(pathFromUtf8(cfg(c17)).parent_path()) +
                                          "\" \"[FLTSIM.12]\" has no airline and no regcode info"}));
    EXPECT_EQ(set(invalidModelCodes.lines()),
              (std::multiset<std::string>{"ASOB             in " +
                                          cfg("airliner_FSLTL_Asobo_Generic_Airliner_TwinEngines_aircraft")}));
    // A base_container of no stock model and no type line: the file is invalid.
    const std::string noType = "Line icao_type_designator= is missing in [General] section of ";
    EXPECT_EQ(set(invalidCfgFiles.lines()),
              (std::multiset<std::string>{noType + cfg("ga_FSLTL_208B_GRAND_CARAVAN_FDY_aircraft"),
                                          noType + cfg("heli_DeltaSim_UH60_LiveryExample_variation_aircraft")}));
    EXPECT_TRUE(emptyCfgFiles.lines().empty());
}

// The Canada pack in lfolder0, the C172 colours in lfolder1, through the driver in manual mode.
class ScanPackages : public ScanTest {
protected:
    void SetUp() override
    {
        ScanTest::SetUp();
        canada = root / "Community" / "fsltl-canada-air-virtual-pack";
        megapack = root / "Community" / "megapack-colors-c172sp-as1000";
        qtest::copyTree(realData("packages/fsltl-canada-air-virtual-pack"), canada);
        qtest::copyTree(realData("packages/megapack-colors-c172sp-as1000"), megapack);
    }
    std::filesystem::path canada, megapack;
};

TEST_F(ScanPackages, RecordsAndFolderNumbers)
{
    ScanCounters counters;
    lf_scanLiveryFolder(counters, pathToUtf8(canada));
    lf_scanLiveryFolder(counters, pathToUtf8(megapack));
    EXPECT_EQ(counters.folderNumber, 2u);
    const auto lines = describeAll(scannedLiveries);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l.starts_with("CAN|"); }),
              23);
    for (const char* line :
         {"CAN|B738|FSLTL_FAIB_B738_Canada_Air_Virtual||1|pax", "CAN|B738|FSLTL_FAIB_B738F_Canada_Air_Virtual||1|cargo",
          "CAN|A30B|FSLTL_TFS_A30BF_Canada_Air_Virtual||1|cargo", "CAN|AT46|FSLTL_OSP_AT46_Canada_Air_Virtual||1|pax",
          "CAN|MD11|FSLTL_FSPXAI_MD11_Canada_Air_Virtual||1|cargo", "PVT|C172|Cessna Skyhawk G1000 Asobo|ASXGSA|2|pax"})
        EXPECT_TRUE(holds(lines, line)) << line;
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.find("|cargo") != std::string::npos; }),
              6);
    // The colours name their airline "CS172-red" and the like: reported, then private.
    EXPECT_FALSE(invalidAirlineCodes.lines().empty());
    EXPECT_NE(invalidAirlineCodes.lines().front().find("CS172-"), std::string::npos);
}

TEST_F(ScanPackages, TheDriverSavesAndBuildsFromTheFile)
{
    LIG_AUTOMATIC.setValue(false);
    lfolder0.setValue(pathToUtf8(canada));
    lfolder1.setValue(pathToUtf8(root / "Community" / "not-there"));
    lfolder2.setValue(pathToUtf8(megapack));
    SCAN_LIVERIES.setValue(true);
    DOWNLOAD_SITE.setValue("http://127.0.0.1:9/");
    gf_scanLiveries();
    EXPECT_FALSE(SCAN_LIVERIES.value());
    EXPECT_TRUE(liveriesProcessed);
    EXPECT_EQ(indicators.liveryCount.load(), static_cast<std::int64_t>(23 + 7));
    EXPECT_TRUE(gf_airlineHasModel("CAN", "MD11"));
    EXPECT_EQ(cargoModelTitles.count("MD11"), 1u);
    const std::string log = qtest::readFile(root / "Log.txt");
    EXPECT_NE(log.find("23 liveries found in " + pathToUtf8(canada)), std::string::npos);
    EXPECT_NE(log.find(" does not exist, skipped!"), std::string::npos);
    EXPECT_NE(log.find("30 in total"), std::string::npos);
    for (auto* p : {&lfolder0, &lfolder1, &lfolder2}) p->setValue("");
    LIG_AUTOMATIC.setValue(true);
    DOWNLOAD_SITE.setValue(DOWNLOAD_SITE.defaultValue());
}

// A file and its copies in other encodings, and the same file in the IVAO layout with a title
// in the IVAO form, give the same records.
TEST_F(ScanTest, EncodingsAndTheIvaoLayoutGiveTheSameRecords)
{
    std::string text = qtest::readFile(
        realData("packages/fsltl-canada-air-virtual-pack/SimObjects/Airplanes/FSLTL_B738_CAN/aircraft.cfg"));
    const std::string ivaoTitle = "B738 CAN Canada Air Virtual";
    text.replace(text.find("FSLTL_FAIB_B738_Canada_Air_Virtual"), 34, ivaoTitle);
    std::string lf = text;
    std::erase(lf, '\r');
    if (lf.starts_with("\xEF\xBB\xBF")) lf.erase(0, 3);
    std::string crlf;
    for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    const std::wstring wide = utf8ToUtf16(crlf);
    std::string utf16 = "\xFF\xFE";
    for (wchar_t w : wide) {
        utf16 += static_cast<char>(w & 0xFF);
        utf16 += static_cast<char>((w >> 8) & 0xFF);
    }
    const std::pair<std::string, std::string> variants[] = {
        {"plain/FSLTL_B738_CAN/aircraft.cfg", lf},
        {"bom/FSLTL_B738_CAN/Aircraft.CFG", "\xEF\xBB\xBF" + lf},
        {"crlf/FSLTL_B738_CAN/AIRCRAFT.cfg", crlf},
        {"utf16/FSLTL_B738_CAN/aircraft.cfg", utf16},
        {"ivao/IVAO_MTL/SimObjects/Airplanes/IVAO_B738/aircraft.cfg", lf},
    };
    std::filesystem::create_directories(root / "ivao/IVAO_MTL/SimObjects/Airplanes/IVAO_B738/texture.CAN");
    for (const auto& [path, bytes] : variants) {
        write(path, bytes);
        clearSeenTitles();
        const std::string folder = path.substr(0, path.find('/'));
        EXPECT_EQ(describeAll(scan(folder)), (std::vector<std::string>{"CAN|B738|" + ivaoTitle + "||1|pax"})) << folder;
    }
    EXPECT_TRUE(incompleteSections.lines().empty());
}

TEST(AircraftCfgLines, KeyParsers)
{
    std::string out;
    const std::pair<const char*, const char*> titles[] = {
        {"   TITLE =  \"  Boeing 737 \"  ", "  Boeing 737 "},
        {"Title=A", "A"},
        {"title = \"FSLTL_A20N_ZZZZ\" ; Variation name", "FSLTL_A20N_ZZZZ"},
        {"xtitle = A", nullptr},
        {"title =", nullptr},
        {"title_x = A", nullptr}};
    for (const auto& [line, title] : titles) {
        out = "before";
        EXPECT_EQ(lf_parseTitle(line, out), title != nullptr) << line;
        EXPECT_EQ(out, title ? title : "before") << line;
    }
    out = "before";
    EXPECT_TRUE(lf_parseTitle("title = \"\"", out)); // a title line, but no title
    EXPECT_EQ(out, "before");

    const std::pair<const char*, const char*> airlines[] = {
        {"icao_airline = \"ZZZZ\" ;", "ZZZ"}, {"icao_airline=\"\"", "ZZZ"}, {"icao_airline = dlhx", "DLHX"}};
    for (const auto& [line, airline] : airlines) {
        EXPECT_TRUE(lf_parseIcaoAirline(line, out)) << line;
        EXPECT_EQ(out, airline);
    }
    EXPECT_FALSE(lf_parseAtcId("atc_id = \"D-AB\"", out));
    EXPECT_TRUE(lf_parseAtcId("atc_id = \"D-ABCD\" ; tail", out));
    EXPECT_EQ(out, "D-ABCD");
    EXPECT_EQ(lf_parseIcaoTypeDesignator("icao_type_designator = b738x"), "B738");
    EXPECT_EQ(lf_parseBaseContainer("base_container = \"..\\Asobo_A320_NEO\""), "A20N");
    EXPECT_EQ(lf_parseBaseContainer("base_container = \"..\\FSLTL_B738\""), "");
    EXPECT_THROW(lf_parseBaseContainer("base_container = \"..\""), std::out_of_range);

    const std::pair<const char*, const char*> headers[] = {
        {"[fltsim.0]", "0"}, {"  [FLTSIM.12]  ", "12"}, {"[fltsim.x]", "10000"}, {"//[fltsim.3]", ""},
        {"[General]", ""},   {"xx[fltsim.3]", "10000"}, {"[Fltsim.3]x", ""}};
    for (const auto& [line, number] : headers) EXPECT_EQ(lf_parseFltsimHeader(line), number) << line;
}

// Header lines that are no [fltsim.N] headers never cost a section or a file without a line in
// the reports.
TEST_F(ScanTest, HeadersThatAreNoneAreReported)
{
    struct Case {
        std::vector<std::string_view> lines;
        bool valid;
        std::vector<std::string> invalid, incomplete;
    };
    const Case cases[] = {
        {{"[fltsim.0]", "[FltSim.-1]", "title=T"},
         true,
         {},
         {"C:\\x [FltSim.-1] is no [fltsim.N] header, its section is not read"}},
        {{"[fltsim.0]", " [Fltsim.1]x"},
         true,
         {},
         {"C:\\x  [Fltsim.1]x is no [fltsim.N] header, its section is not read"}},
        {{"[fltsim.0]", "//[FltSim.-1]"}, true, {}, {}},
        {{"[fltsim.0]", "[fltsim.99999999999]"},
         false,
         {"C:\\x\\aircraft.cfg contains a [fltsim.x] number out of range: [fltsim.99999999999]"},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.lines[1]));
        lf_clearScannedLiveries();
        EXPECT_EQ(lf_checkFltsimSections(c.lines, "C:\\x\\aircraft.cfg"), c.valid);
        EXPECT_EQ(std::vector<std::string>(invalidCfgFiles.lines().begin(), invalidCfgFiles.lines().end()), c.invalid);
        EXPECT_EQ(std::vector<std::string>(incompleteSections.lines().begin(), incompleteSections.lines().end()),
                  c.incomplete);
    }
}

TEST_F(ScanTest, SectionRules)
{
    struct Case {
        const char* what;
        std::vector<std::string> lines;
        const char* record; // airline|type|title|regcode, or nothing
    };
    const Case cases[] = {
        {"regcode cut at ';', not trimmed",
         {"[fltsim.0]", "title=T1", "icao_airline=AAL", "atc_id=N123AB ;old"},
         "AAL|B738|T1|N123AB "},
        {"two registrations: none",
         {"[fltsim.0]", "title=T2", "icao_airline=AAL", "atc_id=N123AB,N123AC"},
         "AAL|B738|T2|"},
        {"a wild card: none", {"[fltsim.0]", "title=T3", "icao_airline=AAL", "atc_id=N12*AB"}, "AAL|B738|T3|"},
        {"four characters: no atc_id", {"[fltsim.0]", "title=T4", "icao_airline=AAL", "atc_id=N1AB"}, "AAL|B738|T4|"},
        {"twelve characters: kept",
         {"[fltsim.0]", "title=T13", "icao_airline=AAL", "atc_id=ABCDEFGHIJKL"},
         "AAL|B738|T13|ABCDEFGHIJKL"},
        {"thirteen characters: none",
         {"[fltsim.0]", "title=T14", "icao_airline=AAL", "atc_id=ABCDEFGHIJKLM"},
         "AAL|B738|T14|"},
        {"RFO: dropped without a word", {"[fltsim.0]", "title=T5", "icao_airline=RFO"}, nullptr},
        {"dlhx: DLH", {"[fltsim.0]", "title=T6", "icao_airline=dlhx"}, "DLH|B738|T6|"},
        {"generic: no regcode", {"[fltsim.0]", "title=T7", "icao_airline=ZZZZ", "atc_id=N123AB"}, "ZZZ|B738|T7|"},
        {"second parking line, commented",
         {"[fltsim.0]", "title=T8", "atc_parking_types=GATE", "//atc_parking_types=RAMP"},
         nullptr},
        {"second airline line", {"[fltsim.0]", "title=T9", "icao_airline=AAL", "; icao_airline=DLH"}, nullptr},
        {"adjacent quotes, then a title",
         {"[fltsim.0]", "title=\"\"", "title=T10", "icao_airline=AAL"},
         "AAL|B738|T10|"},
        {"stub", {"[fltsim.0]", "title=T11-STUB", "icao_airline=AAL"}, nullptr},
        {"PMDG", {"[fltsim.0]", "title=PMDG 737 X", "icao_airline=AAL"}, nullptr},
        {"airline from the data base's registration",
         {"[fltsim.0]", "title=T12", "atc_id=N8604K"},
         "SWA|B738|T12|N8604K"},
    };
    for (const Case& c : cases) {
        std::list<LiveryRecord> out;
        const CfgLines lines(c.lines.begin(), c.lines.end());
        lf_procesFltSimSection(out, 1, lines, "B738", "f\\aircraft.cfg", "f");
        if (!c.record) {
            EXPECT_TRUE(out.empty()) << c.what;
            continue;
        }
        ASSERT_EQ(out.size(), 1u) << c.what;
        const LiveryRecord& r = out.front();
        EXPECT_EQ(fmt::format("{}|{}|{}|{}", r.airline, r.icaoType, r.title, r.regcode), c.record) << c.what;
    }
    // Light types without airline are private, with a private registration of the title.
    std::list<LiveryRecord> light;
    const CfgLines lines{"[fltsim.0]", "title=Piper N5DP"};
    lf_procesFltSimSection(light, 1, lines, "P28A", "f\\aircraft.cfg", "f");
    ASSERT_EQ(light.size(), 1u);
    EXPECT_EQ(describe(light.front()), "PVT|P28A|Piper N5DP|N5DP|1|pax");
}

// The airline's suffixes of four-letter codes and the parking types that make a freighter.
TEST_F(ScanTest, AirlineSuffixesAndFreighterParkingTypes)
{
    const struct {
        const char* what;
        std::vector<std::string> lines;
        const char* record; // airline|cargo, or nothing
    } cases[] = {
        {"dlhc: DLH", {"[fltsim.0]", "title=S1", "icao_airline=dlhc"}, "DLH|pax"},
        {"DLHX: DLH", {"[fltsim.0]", "title=S2", "icao_airline=DLHX"}, "DLH|pax"},
        {"another fourth letter stays and is refused", {"[fltsim.0]", "title=S3", "icao_airline=DLHA"}, nullptr},
        {"cargo only: a freighter",
         {"[fltsim.0]", "title=S4", "icao_airline=DLH", "atc_parking_types=CARGO"},
         "DLH|cargo"},
        {"cargo in small letters",
         {"[fltsim.0]", "title=S5", "icao_airline=DLH", "atc_parking_types=\"ramp, cargo\""},
         "DLH|cargo"},
        {"gate and cargo: a passenger livery",
         {"[fltsim.0]", "title=S6", "icao_airline=DLH", "atc_parking_types=GATE,CARGO"},
         "DLH|pax"},
        {"cargo before gate likewise",
         {"[fltsim.0]", "title=S7", "icao_airline=DLH", "atc_parking_types=CARGO, GATE"},
         "DLH|pax"},
    };
    for (const auto& c : cases) {
        std::list<LiveryRecord> out;
        const CfgLines lines(c.lines.begin(), c.lines.end());
        lf_procesFltSimSection(out, 1, lines, "B738", "f\\aircraft.cfg", "f");
        if (!c.record) {
            EXPECT_TRUE(out.empty()) << c.what;
            continue;
        }
        ASSERT_EQ(out.size(), 1u) << c.what;
        EXPECT_EQ(fmt::format("{}|{}", out.front().airline, out.front().cargo ? "cargo" : "pax"), c.record) << c.what;
    }
}

// The IVAO packages: type from the model folder, airline from the title (after a "W" in the
// special models), a texture folder that must exist, and a regcode only as a last resort.
TEST_F(ScanTest, IvaoRules)
{
    const auto modelFolder = [&](const std::string& model) {
        return root / "ivao/IVAO_MTL/SimObjects/Airplanes" / model;
    };
    std::filesystem::create_directories(modelFolder("IVAO_A320wCFM") / "texture.DLH");
    std::filesystem::create_directories(modelFolder("IVAO_B738") / "texture.DLH");
    const auto file = [&](const std::string& model) {
        return pathToUtf8((modelFolder(model) / "aircraft.cfg").make_preferred());
    };
    const struct {
        const char* what;
        const char* model;
        std::vector<std::string> lines;
        const char* record;     // airline|type|regcode, or nothing
        const char* incomplete; // the end of the line reported, or nothing
    } cases[] = {
        {"special model: the W before the airline",
         "IVAO_A320wCFM",
         {"[fltsim.0]", "title=A320W DLH Lufthansa", "texture=DLH"},
         "DLH|A320|",
         nullptr},
        {"special model without its W: no airline",
         "IVAO_A320wCFM",
         {"[fltsim.0]", "title=A320 DLH Lufthansa", "texture=DLH"},
         nullptr,
         "misses airlinecode in title: A320 DLH Lufthansa, and no regcode"},
        {"airline right after the type",
         "IVAO_B738",
         {"[fltsim.0]", "title=B738DLH", "texture=DLH"},
         "DLH|B738|",
         nullptr},
        {"airline after a blank",
         "IVAO_B738",
         {"[fltsim.0]", "title=B738 DLH", "texture=DLH", "atc_id=D-ABCD"},
         "DLH|B738|D-ABCD",
         nullptr},
        {"three letters that are no airline",
         "IVAO_B738",
         {"[fltsim.0]", "title=B738 Q1Z", "texture=DLH"},
         nullptr,
         nullptr},
        {"the placeholder registration is none",
         "IVAO_B738",
         {"[fltsim.0]", "title=B738 DLH 2", "texture=DLH", "atc_id=G-BAFM"},
         "DLH|B738|",
         nullptr},
        {"missing texture folder",
         "IVAO_B738",
         {"[fltsim.0]", "title=B738 DLH 3", "texture=XYZ"},
         nullptr,
         "[fltsim.0] does not exist"},
        {"no airline in the title, a registration of no record",
         "IVAO_B738",
         {"[fltsim.0]", "title=Boeing", "texture=DLH", "atc_id=Q-QQQQ"},
         nullptr,
         "misses airlinecode in title: Boeing, and regcode unknownQ-QQQQ"},
        {"no airline in the title, a placeholder registration",
         "IVAO_B738",
         {"[fltsim.0]", "title=Boeing 2", "texture=DLH", "atc_id=G-BAFM"},
         nullptr,
         "misses airlinecode in title: Boeing 2, and no regcode"},
        {"no airline in the title, the registration's airline",
         "IVAO_B738",
         {"[fltsim.0]", "title=Boeing 3", "texture=DLH", "atc_id=D-AIZZ"},
         "DLH|B738|D-AIZZ",
         nullptr},
        // Known, though without an airline: not "unknown"; the livery has no airline to keep.
        {"no airline in the title, a registration without one",
         "IVAO_B738",
         {"[fltsim.0]", "title=Boeing 4", "texture=DLH", "atc_id=N4444"},
         nullptr,
         nullptr},
    };
    registrations["D-AIZZ"] = RegistrationInfo{"DLH", "A320", "", false};
    registrations["N4444"] = RegistrationInfo{"", "B738", "", false};
    for (const auto& c : cases) {
        incompleteSections.clear();
        const std::string path = file(c.model);
        const std::string type = lf_modelOfIvaoPath(path);
        const CfgLines lines(c.lines.begin(), c.lines.end());
        const LiveryRecord r = lf_parseFltsimSections(1, lines, type, path, lf_folderOfFile(path));
        EXPECT_EQ(r.airline.empty() ? "" : fmt::format("{}|{}|{}", r.airline, r.icaoType, r.regcode),
                  c.record ? c.record : "")
            << c.what;
        EXPECT_FALSE(r.cargo) << c.what;
        if (c.incomplete) {
            ASSERT_EQ(incompleteSections.lines().size(), 1u) << c.what;
            EXPECT_TRUE(incompleteSections.lines().front().ends_with(c.incomplete))
                << incompleteSections.lines().front();
        } else {
            EXPECT_TRUE(incompleteSections.lines().empty()) << c.what;
        }
    }
    // A model folder deeper than the packages lay them out: no type, reported with a blank code.
    const std::string deeper = pathToUtf8((modelFolder("IVAO_B738") / "extra" / "aircraft.cfg").make_preferred());
    EXPECT_EQ(lf_modelOfIvaoPath(deeper), "");
    EXPECT_TRUE(holds(std::vector<std::string>(invalidModelCodes.lines().begin(), invalidModelCodes.lines().end()),
                      fmt::format("{:16} in {}", "  ", deeper)));
}

// A folder whose path below the scanned folder reaches 250 characters is not entered (a path
// that long cannot even be listed by the plain Windows calls), and the walk goes on around it.
TEST_F(ScanTest, FoldersWithOverlongPathsAreNotEntered)
{
    const std::string sep(1, static_cast<char>(std::filesystem::path::preferred_separator));
    const std::string below = sep + std::string(140, 'a') + sep + std::string(108, 'c');
    ASSERT_EQ(below.size(), 250u);
    write("long/short/aircraft.cfg", goodFile("Short"));
    write("long" + below + "/aircraft.cfg", goodFile("Long"));
    EXPECT_EQ(describeAll(scan("long")),
              (std::vector<std::string>{"AAL|B738|Short||1|pax", "AAL|B738|Short Cargo||1|cargo"}));
    EXPECT_EQ(qtest::readFile(root / "Log.txt").find("aborted"), std::string::npos);

    // Windows counts UTF-16 units: a folder of 245 of them is entered, though its UTF-8 text of
    // accented letters is longer than 250 bytes.
    if constexpr (std::is_same_v<std::filesystem::path::value_type, wchar_t>) {
        std::filesystem::path folder = root / "accents";
        ASSERT_LT(folder.native().size(), 200u);
        // Names of at most 100 letters: the file system under test may count them in bytes.
        while (folder.native().size() < 245)
            folder /= std::wstring(std::min<std::size_t>(100, 244 - folder.native().size()), L'\u00e9');
        ASSERT_EQ(folder.native().size(), 245u);
        ASSERT_GE(pathToUtf8(folder).size(), 250u);
        std::filesystem::create_directories(folder);
        qtest::writeFile(folder / "aircraft.cfg", goodFile("Accents"));
        EXPECT_EQ(describeAll(scan("accents")),
                  (std::vector<std::string>{"AAL|B738|Accents||1|pax", "AAL|B738|Accents Cargo||1|cargo"}));
    }
}

// The fixture package of problems in the Community folder, scanned by the driver in automatic
// mode; report paths are given from "<community>".
class ScanProblems : public ScanTest {
protected:
    void SetUp() override
    {
        ScanTest::SetUp();
        community = root / "Community";
        std::filesystem::create_directories(community);
        qtest::copyTree(fixtures("user-aitraffic-problems"), community / "user-aitraffic-problems");
        write("input/my_regcodes/mine.txt", "Golden Dont Use\nBad;N1ABC;x;y\n");
        MSFS_2020.setValue(true);
        MSFS_INSTALL_PATH.setValue(pathToUtf8(root));
        LIG_AUTOMATIC.setValue(true);
        SCAN_LIVERIES.setValue(true);
        DOWNLOAD_SITE.setValue("http://127.0.0.1:9/");
        gf_scanLiveries();
    }
    void TearDown() override
    {
        MSFS_INSTALL_PATH.setValue("");
        DOWNLOAD_SITE.setValue(DOWNLOAD_SITE.defaultValue());
        ScanTest::TearDown();
    }
    // The file's lines with the Community folder's path written "<community>".
    std::vector<std::string> report(const std::filesystem::path& path) const
    {
        std::vector<std::string> lines = fileLines(path);
        const std::string prefix = pathToUtf8(community);
        for (std::string& line : lines)
            for (std::size_t p; (p = line.find(prefix)) != std::string::npos;)
                line.replace(p, prefix.size(), "<community>");
        return lines;
    }
    std::filesystem::path community;
};

TEST_F(ScanProblems, EachProblemLandsInItsReport)
{
    const std::string airplanes = "<community>\\user-aitraffic-problems\\SimObjects\\Airplanes\\";
    const struct {
        const std::filesystem::path* file;
        std::string line;
    } cases[] = {
        {&invalidAircraftCfgFilesPath,
         airplanes + "gap\\aircraft.cfg contains non-consecutive [fltsim.x] numbers at .x=3"},
        {&invalidAircraftCfgFilesPath,
         airplanes + "twice\\aircraft.cfg contains non-consecutive [fltsim.x] numbers at .x=0"},
        {&invalidAircraftCfgFilesPath,
         airplanes + "nonumber\\aircraft.cfg contains a [fltsim.] section without a number"},
        {&invalidAircraftCfgFilesPath,
         airplanes + "halfutf16\\aircraft.cfg could not be read as text: odd number of bytes in UTF-16 text"},
        {&incompleteFltsimSectionsPath, airplanes + "notitle [fltsim.0] misses title"},
        {&incompleteFltsimSectionsPath,
         "\"" + airplanes + "noairline\" \"[fltsim.0]\" has no airline and no regcode info"},
        {&incompleteFltsimSectionsPath, airplanes + "sametitle [fltsim.1] title \"Same Title\" already exists"},
        {&incompleteFltsimSectionsPath, airplanes + "twoids, [fltsim.0], has more than one atc_id key"},
        {&fixesPath, "Model fix: B77F found in " + airplanes + "fixed\\aircraft.cfg changed into B77L"},
        {&invalidAirlineCodesPath, "XQZ          in " + airplanes + "badairline\\aircraft.cfg [fltsim.0]"},
        {&invalidAircraftCodesPath, "QQQQ             in " + airplanes + "badtype\\aircraft.cfg"},
        {&aircraftCfgWithNoFltsimSectionPath, airplanes + "noheader\\aircraft.cfg"},
        {&airlineModelConversionsPath,
         fmt::format("{:80} N8604K airl AAL => SWA", "Golden Boeing 737-800 Southwest N8604K")},
    };
    for (const auto& c : cases) EXPECT_TRUE(holds(report(*c.file), systemPaths(c.line))) << c.line;
    // The regcode file's line of four fields goes to the log.
    const auto log = fileLines(root / "Log.txt");
    EXPECT_TRUE(holds(log, systemPaths("===> input\\my_regcodes\\mine.txt: wrong format \"Bad;N1ABC;x;y\"")));
    // The summary in the log: counts of the report files, singular where one.
    for (const char* line :
         {"Errors:", "1 invalid airline code, see output\\errors\\InvalidAirlineCodes.txt",
          "4 invalid aircraft.cfg files, see output\\errors\\InvalidAircraftCfgFiles.txt", "Information:",
          "2 liveries updated with real live data from dbase, see output\\info\\AirlineModelConversions.txt"})
        EXPECT_TRUE(holds(log, systemPaths(line))) << line;
    // The scan ran in automatic mode, found the package and switched itself off.
    EXPECT_TRUE(holds(log, "Automatic user-aitraffic scan found folder: \"" +
                               pathToUtf8(community / "user-aitraffic-problems") + "\""));
    EXPECT_FALSE(SCAN_LIVERIES.value());
}

TEST_F(ScanProblems, ReportFilesMatchTheirGoldenFiles)
{
    const std::filesystem::path reports[] = {
        invalidAircraftCfgFilesPath, incompleteFltsimSectionsPath, fixesPath,
        invalidAirlineCodesPath,     invalidAircraftCodesPath,     aircraftCfgWithNoFltsimSectionPath,
        airlineModelConversionsPath, liveriesScannedPath};
    const bool update = std::getenv("QM_UPDATE_GOLDEN") != nullptr;
    for (const auto& path : reports) {
        std::vector<std::string> lines = report(path);
        // The file's meta block holds the day it was written.
        if (path == liveriesScannedPath)
            std::erase_if(lines, [](const std::string& l) { return l.find("<info ") != std::string::npos; });
        const auto golden = fixtures("golden/" + pathToUtf8(path.filename()));
        // The golden files hold the paths with Windows separators: update them from the Windows build.
        if (update) {
            std::filesystem::create_directories(golden.parent_path());
            gf_writeLines(lines, golden);
        }
        std::vector<std::string> expected = fileLines(golden);
        for (std::string& line : expected) line = systemPaths(line);
        // These two keep the order in which the walk met the files, which is the file system's
        // listing order: compared as sets.
        if (path == fixesPath || path == airlineModelConversionsPath) {
            std::sort(lines.begin(), lines.end());
            std::sort(expected.begin(), expected.end());
        }
        EXPECT_EQ(lines, expected) << pathToUtf8(path);
    }
}

TEST_F(ScanTest, StopsAndEmptyScansKeepThePreviousFile)
{
    write("output/LiveriesScanned.xml", "previous");
    write("empty/SimObjects/Airplanes/x/readme.txt", "no aircraft.cfg here");
    LIG_AUTOMATIC.setValue(false);
    lfolder0.setValue(pathToUtf8(root / "empty"));
    SCAN_LIVERIES.setValue(true);
    DOWNLOAD_SITE.setValue("http://127.0.0.1:9/");
    try {
        gf_scanLiveries();
        ADD_FAILURE();
    } catch (const UserErrorException& e) {
        EXPECT_EQ(std::string(e.what()), "53: no liveries found");
    }
    EXPECT_EQ(qtest::readFile(liveriesScannedPath), "previous");
    // A stop during the scan: nothing saved, and the next start scans again.
    write("empty/SimObjects/Airplanes/good/aircraft.cfg", goodFile("Stopped"));
    stopRequested = true;
    gf_scanLiveries();
    stopRequested = false;
    EXPECT_EQ(qtest::readFile(liveriesScannedPath), "previous");
    EXPECT_TRUE(SCAN_LIVERIES.value());
    // Manual mode without any folder.
    lfolder0.setValue("");
    EXPECT_THROW(gf_scanLiveries(), UserErrorException);
    LIG_AUTOMATIC.setValue(true);
    DOWNLOAD_SITE.setValue(DOWNLOAD_SITE.defaultValue());
}

TEST_F(ScanTest, FoldersThatAreNotEnteredAndFilesThatAreNotRead)
{
    // The root's own name decides nothing; below it an "airport" folder is not entered, and only
    // files named aircraft.cfg (in any case) are read.
    const auto copy = [&](const std::string& path, const std::string& title) {
        write("my-airport-liveries/" + path, goodFile(title));
    };
    copy("a/Aircraft.CFG", "A");
    copy("xyz_airport_pack/b/aircraft.cfg", "B");
    copy("c/myaircraft.cfg", "C");
    copy("d/aircraft.cfg.bak", "D");
    EXPECT_EQ(describeAll(scan("my-airport-liveries")),
              (std::vector<std::string>{"AAL|B738|A||1|pax", "AAL|B738|A Cargo||1|cargo"}));
}

// A Community folder as users lay it out: links back into the tree enter each real folder once, a
// folder whose full path is too long for the system is skipped and reported while the folders
// beside it are still scanned, and the exclusion words count only below the root.
TEST_F(ScanTest, WalkEntersEachFolderOnceAndPassesOverWhatItCannotScan)
{
    const std::string top = "lv/Community";
    write(top + "/pack-a/SimObjects/Airplanes/a/aircraft.cfg", goodFile("A"));
    write(top + "/pack-c/SimObjects/Airplanes/c/aircraft.cfg", goodFile("C"));
    const std::size_t rootLength = pathToUtf8(root / top).size();
    const std::string longFolder = "pack-b/" + std::string(250 - rootLength - std::string("/pack-b/").size(), 'b');
    const auto tooLong =
        write(top + "/" + longFolder + "/aircraft.cfg", goodFile("Long")).parent_path().make_preferred();
    ASSERT_EQ(pathToUtf8(tooLong).size(), 250u);
    const bool linked = qtest::folderLink(root / top / "loop", root / top) &&
                        qtest::folderLink(root / top / "alias", root / top / "pack-a");

    std::vector<std::string> found = describeAll(scan(top));
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::string>{"AAL|B738|A Cargo||1|cargo", "AAL|B738|A||1|pax",
                                               "AAL|B738|C Cargo||1|cargo", "AAL|B738|C||1|pax"}));
    std::vector<std::string> reported(invalidCfgFiles.lines().begin(), invalidCfgFiles.lines().end());
    EXPECT_TRUE(holds(reported, pathToUtf8(tooLong) + " skipped: path too long"));
    const auto skippedLinks = std::count_if(reported.begin(), reported.end(), [](const std::string& line) {
        return line.ends_with(" skipped: it leads to a folder already scanned");
    });
    EXPECT_EQ(skippedLinks, linked ? 2 : 0);
}

// A file far larger than any aircraft.cfg is refused unread, with its line in the report; one at
// the limit is still read. The limit is lowered so that the file stays small.
TEST_F(ScanTest, AnOversizedFileIsRefusedWithAReportLine)
{
    const std::filesystem::path file = write("big/a/aircraft.cfg", goodFile("Big"));
    const std::uint64_t size = std::filesystem::file_size(file);
    const std::uint64_t saved = largestAircraftCfgBytes.load();
    for (const std::uint64_t limit : {size, size - 1}) {
        SCOPED_TRACE(limit);
        lf_clearScannedLiveries();
        largestAircraftCfgBytes = limit;
        const std::size_t found = scan("big").size();
        largestAircraftCfgBytes = saved;
        const std::vector<std::string> reported(invalidCfgFiles.lines().begin(), invalidCfgFiles.lines().end());
        if (limit == size) {
            EXPECT_EQ(found, 2u);
            EXPECT_TRUE(reported.empty());
        } else {
            EXPECT_EQ(found, 0u);
            EXPECT_EQ(reported,
                      (std::vector<std::string>{fmt::format(
                          "{} skipped: {} bytes, far more than an aircraft.cfg holds (at most {} bytes are read)",
                          pathToUtf8(file.lexically_normal().make_preferred()), size, limit)}));
        }
    }
}

// A stop request reaches the walk itself: a closing program does not wait for a whole tree.
TEST_F(ScanTest, TheWalkEndsAtAStopRequest)
{
    write("stop/pack/SimObjects/Airplanes/a/aircraft.cfg", goodFile("A"));
    stopRequested = true;
    const std::list<LiveryRecord> found = scan("stop");
    stopRequested = false;
    EXPECT_TRUE(found.empty());
    EXPECT_EQ(scan("stop").size(), 2u);
}
#ifdef _WIN32
// A folder and a file that another program holds open without sharing cannot be read: each is
// reported and passed over, and the walk goes on with the entries beside them.
TEST_F(ScanTest, WalkPassesOverEntriesItCannotRead)
{
    const std::string top = "lv/Community";
    for (const char* pack : {"pack-a", "pack-b", "pack-c", "pack-d"})
        write(top + "/" + pack + "/SimObjects/Airplanes/x/aircraft.cfg", goodFile(pack));
    const auto heldOpen = [](const std::filesystem::path& path) {
        return CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    };
    const std::filesystem::path folder = (root / top / "pack-b" / "SimObjects").make_preferred();
    const std::filesystem::path file = (root / top / "pack-c/SimObjects/Airplanes/x/aircraft.cfg").make_preferred();
    const HANDLE heldFolder = heldOpen(folder);
    const HANDLE heldFile = heldOpen(file);
    ASSERT_NE(heldFolder, INVALID_HANDLE_VALUE);
    ASSERT_NE(heldFile, INVALID_HANDLE_VALUE);
    std::vector<std::string> found = describeAll(scan(top));
    CloseHandle(heldFolder);
    CloseHandle(heldFile);
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::string>{"AAL|B738|pack-a Cargo||1|cargo", "AAL|B738|pack-a||1|pax",
                                               "AAL|B738|pack-d Cargo||1|cargo", "AAL|B738|pack-d||1|pax"}));
    const std::vector<std::string> reported(invalidCfgFiles.lines().begin(), invalidCfgFiles.lines().end());
    const std::string folderLine = pathToUtf8(folder) + " could not be scanned: cannot list " + pathToUtf8(folder);
    EXPECT_TRUE(std::any_of(reported.begin(), reported.end(),
                            [&](const std::string& line) { return line.rfind(folderLine, 0) == 0; }));
    EXPECT_TRUE(holds(reported, pathToUtf8(file) + " could not be read"));
}
#endif

TEST_F(ScanTest, AutomaticFoldersInPackageOrderAndPriority)
{
    const auto pack = [&](const std::string& name, const std::string& title) {
        write("Community/" + name + "/SimObjects/Airplanes/B738/aircraft.cfg", goodFile(title));
    };
    pack("aig-aitraffic-oci-beta", "AIG B738");
    pack("fsltl-traffic-base", "FSLTL B738");
    pack("fsltl-traffic-base-2", "FSLTL2 B738");
    pack("justflight-aircraft-traffic-fleet", "JF B738");
    pack("my_CVT_fsltl-traffic-base", "CVT B738");
    pack("user-aitraffic", "USER B738");
    MSFS_2020.setValue(true);
    MSFS_INSTALL_PATH.setValue(pathToUtf8(root));
    AI_PACKAGE_ORDER.setValue(3);
    std::vector<std::string> names;
    for (const std::string& f : lf_automaticFolders()) names.push_back(pathToUtf8(pathFromUtf8(f).filename()));
    EXPECT_EQ(names, (std::vector<std::string>{"fsltl-traffic-base", "aig-aitraffic-oci-beta",
                                               "justflight-aircraft-traffic-fleet", "user-aitraffic"}));
    // The package folders not taken are named, each once.
    const std::filesystem::path community = pathFromUtf8(lf_automaticFolders().front()).parent_path();
    const auto log = fileLines(root / "Log.txt");
    for (const char* name : {"fsltl-traffic-base-2", "my_CVT_fsltl-traffic-base"}) {
        const std::string line = "Automatic FSLTL scan skipped folder: \"" + pathToUtf8(community / name) + "\"";
        EXPECT_EQ(std::count(log.begin(), log.end(), line), 2) << name; // two calls above
    }
    // Earlier folders win their airline and type.
    LIG_PRIORITIZE.setValue(true);
    DOWNLOAD_SITE.setValue("http://127.0.0.1:9/");
    ASSERT_TRUE(lf_scanAllLiveryFolders(lf_automaticFolders()));
    lf_readLiveriesXml();
    std::vector<std::string> titles;
    for (const LiveryRecord& r : scannedLiveries) titles.push_back(r.title);
    EXPECT_EQ(titles, (std::vector<std::string>{"FSLTL B738", "FSLTL B738 Cargo"}));
    LIG_PRIORITIZE.setValue(false);
    AI_PACKAGE_ORDER.setValue(1);
    MSFS_INSTALL_PATH.setValue("");
    DOWNLOAD_SITE.setValue(DOWNLOAD_SITE.defaultValue());
}

} // namespace
