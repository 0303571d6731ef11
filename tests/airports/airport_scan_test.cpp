// The add-on airport scan: real scenery in a Community folder laid out for the test, linking to
// archived files, the stand rules, the walk's exclusions and the folder TBLO.
#include "airport_fixture.h"
#include "bgl_builder.h"

#include "airports/airport_file_format.h"
#include "airports/airport_file_queries.h"
#include "airports/archive_download.h"
#include "airports/airport_scan.h"
#include "airports/airports_db.h"
#include "airports/scan_messages.h"
#include "foundation/indicators.h"
#include "foundation/text_files.h"
#include "foundation/utilities.h"
#include "foundation/win_text.h"

#include <fmt/format.h>
#include <pugixml.hpp>

#include <algorithm>
#include <map>
#include <optional>

using namespace qtr;
namespace fs = std::filesystem;

namespace {

const fs::path realData = fs::path(QM_SOURCE_DIR "/../shared/realdata");

std::string scanLog()
{
    std::string all;
    for (const std::string& line : gf_readLines(airportsScanLogPath).value_or(std::vector<std::string>{}))
        all += line + "\n";
    return all;
}

} // namespace

class AirportScan : public qtest::AirportFolderTest {
protected:
    void SetUp() override
    {
        AirportFolderTest::SetUp();
        community = folder / "packages" / "Community";
        fs::create_directories(community);
        forgetAirports();
        airportNames.clear();
        {
            qtest::ScopedCwd stage(QM_STAGE_DIR);
            readAirports();
            readAirportNames();
        }
        clearScanMessages();
        airportScanSucceeded = false;
        gf_initWorkerSlots();
    }
    void TearDown() override
    {
        forgetAirports();
        airportNames.clear();
        clearScanMessages();
        airportScanSucceeded = false;
        tbloEntryCount = 0;
        AirportFolderTest::TearDown();
    }

    // A package of the Community folder with a manifest and BGL files.
    void package(const std::string& name, const std::string& manifest, const std::map<std::string, std::string>& bgls)
    {
        qtest::writeFile(community / name / "manifest.json", manifest);
        for (const auto& [file, bytes] : bgls) qtest::writeFile(community / name / "scenery" / file, bytes);
    }

    // The stands of a generated or linked airport as the park-airport reader gives them.
    std::vector<Stand> readBack(const std::string& icao)
    {
        parkAirportIcao = icao;
        clearStands();
        ApfFileRecord record;
        QualityPair quality;
        EXPECT_EQ(gf_readApf(findAirportFile(icao), record, quality), "") << icao;
        return stands;
    }

    fs::path community;
};

// The real add-on scenery: KPHP, LMML and SKBO give generated files with their stands; the 2024
// builder's airports are identified and left in TBLO; the files without an airport give nothing.
TEST_F(AirportScan, RealSceneryOfACommunityFolder)
{
    for (const char* name :
         {"msfs2020-scenery-tabletopandroid-airport-kphp-philip", "msfs2020-scenery-vikingstudios-airport-lmml-malta",
          "msfs2020-scenery-projectcolombia-airport-skbo", "msfs2024-builder-zzzz-robins-airport-freq-fixes"})
        fs::copy(realData / "packages" / name, community / name, fs::copy_options::recursive);
    fs::copy(realData / "bgl", community / "fsx-and-objects", fs::copy_options::recursive);

    EXPECT_TRUE(lf_scanAirports({community}));
    EXPECT_EQ(gf_countFiles(myThirdpartyFolder), 3);
    const struct {
        const char* icao;
        std::size_t stands; // parkings that are stands (no fuel, no vehicles), and helipads
        std::int32_t elevationFt;
        const char* name;
        const char* creator;
    } airportsFound[] = {
        {"KPHP", 9, 2200, "Philip Airport", "Marc Ferguson"},
        {"LMML", 78, 257, "Malta International Airport", "vikingstudios"},
        // The scenery says 2,547 ft; El Dorado lies at 8,361 ft, as the airports data base has it.
        {"SKBO", 107, 8361, "El Dorado International Airport", "Diego O-Andres R-"},
    };
    for (const auto& a : airportsFound) {
        SCOPED_TRACE(a.icao);
        pugi::xml_document doc;
        ASSERT_TRUE(doc.load_file((myThirdpartyFolder / xmlPath(a.icao)).c_str()));
        EXPECT_EQ(gf_getParameterString(doc, "airport_name"), a.name);
        EXPECT_EQ(gf_getParameterString(doc, "publisher"), "unknown");
        EXPECT_EQ(gf_getParameterString(doc, "creator"), a.creator);
        EXPECT_EQ(gf_getParameterInt(doc, "altitude"), a.elevationFt);
        const std::vector<Stand> list = readBack(a.icao);
        EXPECT_EQ(list.size(), a.stands);
        // Names are unique and sorted.
        EXPECT_TRUE(
            std::is_sorted(list.begin(), list.end(), [](const Stand& x, const Stand& y) { return x.name < y.name; }));
        EXPECT_EQ(std::adjacent_find(list.begin(), list.end(),
                                     [](const Stand& x, const Stand& y) { return x.name == y.name; }),
                  list.end());
    }
    // KPHP's stands against the source it was compiled from: p1 to p10 without p8, the fuel stand.
    const std::vector<Stand> kphp = readBack("KPHP");
    EXPECT_EQ(qtest::describeStands({kphp[0], kphp[1]}),
              "p1 44.051585,-101.600855 h340.9 r4.0 ramp\np10 44.050269,-101.601060 h128.4 r8.0 ramp\n");
    EXPECT_TRUE(std::none_of(kphp.begin(), kphp.end(), [](const Stand& s) { return s.name == "p8"; }));
    // LMML's two parkings numbered g1: the larger keeps the name.
    const std::vector<Stand> lmml = readBack("LMML");
    const auto g1 = std::find_if(lmml.begin(), lmml.end(), [](const Stand& s) { return s.name == "g1"; });
    const auto g1a = std::find_if(lmml.begin(), lmml.end(), [](const Stand& s) { return s.name == "g1a"; });
    ASSERT_TRUE(g1 != lmml.end() && g1a != lmml.end());
    EXPECT_GT(g1->radius, g1a->radius);
    EXPECT_EQ(std::count_if(lmml.begin(), lmml.end(), [](const Stand& s) { return s.heli; }), 1);
    // The gate rows as read: 55 pairs of stands are close enough to be adjacent.
    std::size_t links = 0;
    for (const Stand& s : lmml) links += s.adjacent.size();
    EXPECT_EQ(links, 2u * 55u);

    const std::string log = scanLog();
    EXPECT_NE(log.find("Generated KPHP.xml: 9 positions"), std::string::npos);
    EXPECT_NE(log.find("Generated LMML.xml: 78 positions, of which 1 helipad"), std::string::npos);
    EXPECT_EQ(log.find("Not recognised airport"), std::string::npos); // 2020 mode steps over 0x113
    EXPECT_FALSE(fs::exists(tbloFolder));

    // In 2024 mode the builder's airports are recognised by their file names and, published by
    // nobody the program knows, left in TBLO for the user to send in.
    MSFS_2020.setValue(false);
    removeFilesInFolder(myThirdpartyFolder);
    EXPECT_TRUE(lf_scanAirports({community}));
    EXPECT_EQ(tbloEntryCount.load(), 2);
    const std::string eddn = qtest::readFile(tbloFolder / "EDDN.xml");
    EXPECT_NE(eddn.find("EDDN by unknown, title: Robins Airport Frequency Fixes crea: Robin Harazim manu: "),
              std::string::npos);
    EXPECT_TRUE(fs::exists(tbloFolder / "LBBG.xml"));
    EXPECT_NE(scanLog().find("Not recognised airport has ICAO code \"LBBG\" as BGL stem"), std::string::npos);
}

// Linking to the site's archive: the add-on package's airports and those of known publishers get
// a redirect; a generated file too when the scenery has more stands than the archived file.
TEST_F(AirportScan, LinkingToArchivedFiles)
{
    using qtest::ParkingSpec;
    const std::string threeStands = qtest::bglFile(
        qtest::airportRecord("KXYZ", 100000,
                             {qtest::parkingSubrecord({ParkingSpec{12, 1}, ParkingSpec{12, 2, 8, 20, 90, 44.051},
                                                       ParkingSpec{12, 3, 8, 20, 90, 44.052}})}));
    publisherGroups = {{"Fly Tampa", "flytampa"}};
    vendrakeAirports = {"KXYZ"};
    thirdPartyAirports20 = {{"Fly Tampa", {"KABC12", "KXYZ3"}}};
    thirdPartyAirports24 = {{"Fly Tampa", {"KXYZ2"}}};
    const struct {
        const char* name;
        bool msfs2020;
        const char* packageName;
        std::vector<ThirdPartyAirports> list20;
        std::vector<std::pair<fs::path, std::string>> redirects;
        std::vector<fs::path> generated;
        const char* message;
    } cases[] = {
        {"the add-on package's airport",
         true,
         "asobo-airport-kxyz",
         {},
         {{myVendrakeFolder / "KXYZ.txt", "archive/vendrake/KXYZ.xml"}},
         {},
         "vendrake airport KXYZ linked to archive/vendrake/KXYZ.xml"},
        {"as many stands as archived",
         true,
         "flytampa-kxyz",
         {},
         {{myThirdpartyFolder / "KXYZ.txt", "archive/thirdparty/Fly%20Tampa/KXYZ.xml"}},
         {},
         "thirdparty airport KXYZ linked to archive/thirdparty/Fly%20Tampa/KXYZ.xml"},
        {"more stands than archived",
         true,
         "flytampa-kxyz",
         {{"Fly Tampa", {"KXYZ2"}}},
         {{myThirdpartyFolder / "KXYZ.txt", "archive/thirdparty/Fly%20Tampa/KXYZ.xml"}},
         {myThirdpartyFolder / "KXYZ.xml"},
         "===> KXYZ has 3 parkpos while archived one has 2"},
        {"more stands than archived, 2024",
         false,
         "flytampa-kxyz",
         {},
         {{myThirdpartyFolder / "KXYZ.txt", "archive/thirdparty/Fly%20Tampa/KXYZ.xml"}},
         {},
         "thirdparty airport KXYZ linked"},
        {"not in the publisher's archive",
         true,
         "flytampa-kxyz",
         {{"Fly Tampa", {"KABC12"}}},
         {},
         {myThirdpartyFolder / "KXYZ.xml"},
         "thirdparty Fly Tampa KXYZ does not exist"},
        // Logged (below) and the scan goes on: no known count, so the airport gets its own file.
        {"an archived count that is no number",
         true,
         "flytampa-kxyz",
         {{"Fly Tampa", {"KXYZabc"}}},
         {{myThirdpartyFolder / "KXYZ.txt", "archive/thirdparty/Fly%20Tampa/KXYZ.xml"}},
         {myThirdpartyFolder / "KXYZ.xml"},
         "===> KXYZ has 3 parkpos, the archived one's count is unknown"},
        {"nobody known", true, "someone-kxyz", {}, {}, {myThirdpartyFolder / "KXYZ.xml"}, "===> No publisher found"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MSFS_2020.setValue(c.msfs2020);
        if (!c.list20.empty()) thirdPartyAirports20 = c.list20;
        fs::remove_all(community);
        for (const auto* sub : {&myThirdpartyFolder, &myVendrakeFolder}) removeFilesInFolder(*sub);
        qtest::writeFile(community / c.packageName / "scenery" / "kxyz.bgl", threeStands);
        clearScanMessages();
        lf_searchAirportsInFolder(community);
        for (const auto& [path, text] : c.redirects)
            EXPECT_EQ(gf_readLines(path).value_or(std::vector<std::string>{""})[0], text);
        EXPECT_EQ(gf_countFiles(myThirdpartyFolder) + gf_countFiles(myVendrakeFolder),
                  static_cast<std::int64_t>(c.redirects.size() + c.generated.size()));
        for (const fs::path& path : c.generated) {
            pugi::xml_document doc;
            ASSERT_TRUE(doc.load_file(path.c_str())) << pathToUtf8(path);
            const auto parkpos = doc.child("parkpositions").children("parkpos");
            EXPECT_EQ(std::distance(parkpos.begin(), parkpos.end()), 3) << pathToUtf8(path);
        }
        const auto messages = scanMessagesCopy();
        EXPECT_TRUE(std::any_of(messages.begin(), messages.end(), [&](const std::string& m) {
            return m.find(c.message) != std::string::npos;
        })) << c.message;
        // An airport without an archived file is never compared with one.
        EXPECT_TRUE(std::none_of(messages.begin(), messages.end(), [](const std::string& m) {
            return m.find("while archived one has 0") != std::string::npos;
        }));
        thirdPartyAirports20 = {{"Fly Tampa", {"KABC12", "KXYZ3"}}};
    }
    EXPECT_NE(log().find("===> Fly Tampa KXYZ KXYZabc invalid number\n"), std::string::npos);
}

// The stand rules of parkings and helipads, fed one airport record at a time.
// A scenery elevation far from the airports data base's is replaced by it, and the scan log says
// so; a small difference, or an airport the data base lacks, keeps the scenery's own.
TEST_F(AirportScan, SceneryElevationFarFromTheDataBaseIsReplaced)
{
    const std::string record =
        qtest::airportRecord("KXYZ", 100000, {qtest::parkingSubrecord({qtest::ParkingSpec{12, 1, 8, 20.0f}})});
    const BglFile file(record);
    const struct {
        std::optional<double> knownFt;
        std::int32_t takenFt;
        bool told;
    } cases[] = {{5000.0, 5000, true}, {-800.0, -800, true}, {1200.0, 328, false}, {std::nullopt, 328, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.knownFt.value_or(-1));
        forgetAirports();
        if (c.knownFt) installAirports({Airport{"KXYZ", "", 44.0, -101.6, *c.knownFt}});
        BglScanResult result;
        {
            ScanMessageCapture capture(result.messages);
            lf_processAirport(file, BglRecord{0x56, 0, file.size()}, "KXYZ", "C:\\nowhere\\kxyz.bgl", result);
        }
        ASSERT_EQ(result.outputs.size(), 1u);
        EXPECT_EQ(result.outputs[0].record.elevationFt, c.takenFt);
        const bool told = std::any_of(result.messages.begin(), result.messages.end(), [](const std::string& m) {
            return m.find("===> KXYZ elevation of the scenery 328 ft differs") != std::string::npos;
        });
        EXPECT_EQ(told, c.told);
    }
}

TEST_F(AirportScan, StandsFromParkingsAndHelipads)
{
    using qtest::ParkingSpec;
    std::vector<ParkingSpec> parkings;
    // Eight parkings all named A1: the second to seventh get letters, the eighth is left out;
    // then the letters follow decreasing radius.
    for (int k = 0; k < 8; ++k)
        parkings.push_back(ParkingSpec{12, 1, 8, 10.0f + static_cast<float>(k), 90, 44.05 + k * 0.001});
    parkings.push_back(ParkingSpec{12, 2, 8, 1.0f});                 // radius 1 m: no stand
    parkings.push_back(ParkingSpec{12, 3, 8, 200.0f});               // radius 200 m: no stand
    parkings.push_back(ParkingSpec{12, 4, 12});                      // fuel: no stand
    parkings.push_back(ParkingSpec{12, 5, 5, 20, 0.0f});             // cargo ramp heading north
    parkings.push_back(ParkingSpec{10, 6, 15, 20, 360.0f});          // gate "g6"
    parkings.push_back(ParkingSpec{12, 7, 8, 20, 90, 0.0005, 0.01}); // next to 0,0
    const std::string record = qtest::airportRecord(
        "KXYZ", 100000,
        {qtest::helipadSubrecord(44.04, -101.6, 12.0f), qtest::helipadSubrecord(44.04, -101.6, 12.0f),
         qtest::parkingSubrecord(parkings), qtest::helipadSubrecord(44.03, -101.6, 12.0f)});
    const BglFile file(record);
    BglScanResult result;
    {
        ScanMessageCapture capture(result.messages);
        lf_processAirport(file, BglRecord{0x56, 0, file.size()}, "KXYZ", "C:\\nowhere\\kxyz.bgl", result);
    }
    ASSERT_EQ(result.outputs.size(), 1u);
    const std::vector<Stand>& list = result.outputs[0].record.stands;
    std::vector<std::string> names;
    for (const Stand& s : list) names.push_back(fmt::format("{}:{:.0f}", s.name, s.radius * 1852.0));
    // Sorted by name; of the seven A1 kept (the eighth, 17 m, had no letter left) the largest keeps
    // the plain name; one helipad (the second is a double, the third follows the parkings and is
    // not read).
    EXPECT_EQ(names, (std::vector<std::string>{"A1:16", "A1a:15", "A1b:14", "A1c:13", "A1d:12", "A1e:11", "A1f:10",
                                               "A5:20", "g6:20", "helipad1:6"}));
    const auto named = [&](const std::string& n) {
        return *std::find_if(list.begin(), list.end(), [&](const Stand& s) { return s.name == n; });
    };
    EXPECT_DOUBLE_EQ(named("A5").heading, twoPi); // north is kept as 2 pi
    EXPECT_TRUE(named("A5").cargo && named("A5").ramp);
    EXPECT_NEAR(named("g6").heading, twoPi, 1e-6); // 360 degrees
    EXPECT_FALSE(named("g6").ramp || named("g6").cargo);
    EXPECT_TRUE(named("helipad1").heli);
    EXPECT_EQ(result.outputs[0].record.elevationFt, 328);
    for (const char* message :
         {"===> Warning more then 6 the same ids A1, in C:\\nowhere\\kxyz.bgl",
          "skipped position with radius 1.0 meters, in C:\\nowhere\\kxyz.bgl",
          "skipped position with radius 200.0 meters, in C:\\nowhere\\kxyz.bgl",
          "lat/lon: 0.000500,0.010000, incorrect (skipped) ", "double helipad  (skipped) 44.040000,-101.600000",
          "Generated KXYZ.xml: 10 positions, of which 1 helipad"})
        EXPECT_NE(std::find(result.messages.begin(), result.messages.end(), message), result.messages.end()) << message;
}

// A damaged file may repeat one parking number thousands of times: each crowded name is warned
// of once, the further entries only counted.
TEST_F(AirportScan, RepeatedParkingNumbersAreWarnedOfOnce)
{
    std::vector<qtest::ParkingSpec> parkings;
    for (int k = 0; k < 300; ++k) parkings.push_back(qtest::ParkingSpec{12, 1, 8, 20.0f, 90, 44.05 + k * 0.0001});
    for (int k = 0; k < 9; ++k) parkings.push_back(qtest::ParkingSpec{12, 2, 8, 20.0f, 90, 44.02 + k * 0.0001});
    const BglFile file(qtest::airportRecord("KXYZ", 100000, {qtest::parkingSubrecord(parkings)}));
    BglScanResult result;
    {
        ScanMessageCapture capture(result.messages);
        lf_processAirport(file, BglRecord{0x56, 0, file.size()}, "KXYZ", "C:\\nowhere\\kxyz.bgl", result);
    }
    ASSERT_EQ(result.outputs.size(), 1u);
    EXPECT_EQ(result.outputs[0].record.stands.size(), 14u);
    std::vector<std::string> warnings;
    for (const std::string& m : result.messages)
        if (m.find(" the same ids ") != std::string::npos || m.find(" more positions ") != std::string::npos)
            warnings.push_back(m);
    EXPECT_EQ(warnings,
              (std::vector<std::string>{"===> Warning more then 6 the same ids A1, in C:\\nowhere\\kxyz.bgl",
                                        "===> Warning more then 6 the same ids A2, in C:\\nowhere\\kxyz.bgl",
                                        "===> 293 more positions of those ids skipped, in C:\\nowhere\\kxyz.bgl"}));
}

// The walk: folders of aircraft and the like are never entered, some files never scanned, a
// missing folder reported; and a scan that finds nothing still switches itself off.
TEST_F(AirportScan, WalkExclusionsAndAScanThatFindsNothing)
{
    const std::string airport =
        qtest::bglFile(qtest::airportRecord("KXYZ", 0, {qtest::parkingSubrecord({qtest::ParkingSpec{}})}));
    for (const char* path : {"some-aircraft-pack/scenery/a.bgl", "fsltl-traffic-base/b.bgl", "airport-x/statics/c.bgl",
                             "airport-x/scenery/d.Bgl", "airport-x/scenery/e.txt"})
        qtest::writeFile(community / path, airport);
    EXPECT_TRUE(lf_isExcludedFolder(std::string(250, 'x')));
    EXPECT_FALSE(lf_isExcludedFolder(std::string(249, 'x')));

    const fs::path packages = community.parent_path();
    MSFS_INSTALL_PATH.setValue(pathToUtf8(packages)); // no "Official" there
    SCAN_AIRPORTS.setValue(true);
    lf_airportsScan();
    EXPECT_FALSE(SCAN_AIRPORTS.value());
    EXPECT_EQ(gf_countFiles(myThirdpartyFolder), 0);
    EXPECT_NE(log().find(pathToUtf8(packages / "Official") + " does not exist, skipped!"), std::string::npos);
    EXPECT_NE(log().find("Warning: Scan has not found any add-on airports"), std::string::npos);
    EXPECT_TRUE(airportNames.empty()); // emptied after the scan
    // In 2024 mode the add-on package's folder is left alone and "Official" is not scanned.
    qtest::writeFile(myVendrakeFolder / "EGLL.txt", "archive/vendrake/EGLL.xml");
    MSFS_2020.setValue(false);
    MSFS_2024_INSTALL_PATH.setValue(pathToUtf8(packages));
    lf_airportsScan();
    EXPECT_TRUE(fs::exists(myVendrakeFolder / "EGLL.txt"));
    EXPECT_EQ(log().find(pathToUtf8(packages / "Official") + " does not exist, skipped!"),
              log().rfind(pathToUtf8(packages / "Official") + " does not exist, skipped!"));
    MSFS_INSTALL_PATH.setValue("");
    MSFS_2024_INSTALL_PATH.setValue("");
}

// TBLO gets the generated files of outside publishers whose stock archive file is fit for offline
// learning; TropicalSim's KMCI goes; the entries of unrecognised airports stay.
TEST_F(AirportScan, TbloFolder)
{
    const std::string unknownWithCreator =
        qtest::apfText(qtest::parameter("publisher", "unknown") + qtest::parameter("creator", "Marc Ferguson") +
                           qtest::parameter("altitude", "1"),
                       "");
    qtest::writeFile(myThirdpartyFolder / "EGLL.xml", unknownWithCreator);
    qtest::writeFile(myThirdpartyFolder / "EGLL.txt", "archive/thirdparty/Someone/EGLL.xml");
    qtest::writeFile(myThirdpartyFolder / "EDDF.xml", unknownWithCreator);
    qtest::writeFile(myThirdpartyFolder / "KMCI.xml", qtest::apfText(qtest::parameter("publisher", "TropicalSim"), ""));
    qtest::writeFile(tbloFolder / "OLD.xml", "from an earlier scan");
    const std::string fit =
        qtest::apfText(qtest::parameter("Qf_real", "80") + qtest::parameter("RT_traffic_week", "30"), "");
    server.setRoute("/MSFS/archive/stock/EGLL.xml", qmhttp::Route::ok(fit));
    server.setRoute("/MSFS/archive/stock/EDDF.xml", qmhttp::Route::ok(fit));
    // An undecodable 2024 airport of an unknown publisher leaves an entry during the walk.
    MSFS_2020.setValue(false);
    fs::copy(realData / "packages/msfs2024-builder-zzzz-robins-airport-freq-fixes", community / "robins",
             fs::copy_options::recursive);

    lf_scanAirports({community});
    EXPECT_FALSE(fs::exists(myThirdpartyFolder / "KMCI.xml"));
    EXPECT_FALSE(fs::exists(tbloFolder / "KMCI.xml"));
    EXPECT_FALSE(fs::exists(tbloFolder / "OLD.xml"));
    EXPECT_TRUE(fs::exists(tbloFolder / "EGLL.xml"));
    EXPECT_TRUE(fs::exists(tbloFolder / "EDDF.xml"));
    EXPECT_TRUE(fs::exists(tbloFolder / "EDDN.xml"));          // made during the walk, kept
    EXPECT_FALSE(fs::exists(myThirdpartyFolder / "EGLL.xml")); // its redirect is what the look-up finds
    EXPECT_TRUE(fs::exists(myThirdpartyFolder / "EDDF.xml"));
    EXPECT_EQ(tbloEntryCount.load(), 4);
    EXPECT_NE(log().find("EGLL copied to TBLO\\EGLL.xml"), std::string::npos);

    // Nothing fit: TBLO holds only what the walk put there, and the log asks for those entries
    // rather than calling every airport done.
    const std::string allDone = "All your third party airports are done, no off line learning needed.";
    server.clearRoutes();
    qtest::writeFile(myThirdpartyFolder / "EGLL.xml", unknownWithCreator);
    std::size_t logged = log().size();
    lf_scanAirports({community});
    EXPECT_FALSE(fs::exists(tbloFolder / "EGLL.xml"));
    EXPECT_TRUE(fs::exists(tbloFolder / "EDDN.xml"));
    EXPECT_EQ(tbloEntryCount.load(), 2);
    EXPECT_EQ(log().find(allDone, logged), std::string::npos);
    EXPECT_NE(
        log().find(fmt::format("Please zip the folder \"{}\" and mail it to ", pathToUtf8(fs::absolute(tbloFolder))),
                   logged),
        std::string::npos);

    // In 2020 mode the walk leaves no entries of its own: now every airport is done.
    MSFS_2020.setValue(true);
    logged = log().size();
    lf_scanAirports({community});
    EXPECT_EQ(tbloEntryCount.load(), 0);
    EXPECT_FALSE(fs::exists(tbloFolder));
    EXPECT_NE(log().find(allDone, logged), std::string::npos);
}

// Two packages with the same airport: the one later in the walk wins, whichever task ends first.
TEST_F(AirportScan, DuplicateAirportsResolveInWalkOrder)
{
    using qtest::ParkingSpec;
    for (const char* name : {"pkg-one", "pkg-two", "pkg-three"}) {
        std::vector<ParkingSpec> parkings;
        // A different number of stands per package, so the winner shows.
        for (int k = 0; k < 3 + static_cast<int>(std::string(name).size()); ++k)
            parkings.push_back(ParkingSpec{12, static_cast<std::uint16_t>(k + 1), 8, 20, 90, 44.05 + k * 0.001});
        package(name, std::string(R"({"creator": ")") + name + "\"}",
                {{"kxyz.bgl", qtest::bglFile(qtest::airportRecord("KXYZ", 0, {qtest::parkingSubrecord(parkings)}))}});
    }
    std::vector<std::string> walkOrder;
    for (const auto& entry : fs::directory_iterator(community))
        walkOrder.push_back(pathToUtf8(entry.path().filename()));
    for (int round = 0; round < 3; ++round) {
        removeFilesInFolder(myThirdpartyFolder);
        lf_searchAirportsInFolder(community);
        EXPECT_EQ(gf_readPublisher(myThirdpartyFolder / "KXYZ.xml"), "unknown");
        pugi::xml_document doc;
        ASSERT_TRUE(doc.load_file((myThirdpartyFolder / "KXYZ.xml").c_str()));
        EXPECT_EQ(gf_getParameterString(doc, "creator"), walkOrder.back());
    }
}
