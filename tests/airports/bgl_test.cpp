// BGL decoding: the pieces, the real scenery files next to the source they were compiled from,
// and files damaged on purpose, each of which must end in a logged skip; and the folder walk, here
// beside no download site so that the native build, which can make folder links, runs it too.
#include "bgl_builder.h"

#include "airports/airport_file_format.h"
#include "airports/airport_scan.h"
#include "airports/bgl_file.h"
#include "airports/scan_messages.h"
#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"
#include "foundation/paths.h"
#include "foundation/utilities.h"
#include "foundation/win_text.h"
#include "support/test_support.h"

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <algorithm>
#include <cstring>
#include <map>
#include <random>

using namespace qtr;
namespace fs = std::filesystem;

namespace {

const fs::path realData = fs::path(QM_SOURCE_DIR "/../shared/realdata");
const fs::path kphpPackage = realData / "packages/msfs2020-scenery-tabletopandroid-airport-kphp-philip";
const fs::path kphpBgl = kphpPackage / "Scenery/airport-kphp-philip/scenery/KPHP.bgl";
const fs::path lmmlBgl =
    realData / "packages/msfs2020-scenery-vikingstudios-airport-lmml-malta/Scenery/airport-lmml-malta/scenery/LMML.bgl";
const fs::path skboBgl =
    realData / "packages/msfs2020-scenery-projectcolombia-airport-skbo/scenery/world/scenery/skbo-airport.bgl";
const fs::path builder2024 =
    realData / "packages/msfs2024-builder-zzzz-robins-airport-freq-fixes/Scenery/robins-airport-freq-fixes/scenery";

struct DecodedAirport {
    std::uint16_t id = 0;
    std::string icao;
    bool valid = false;
    std::int32_t elevationFt = 0;
    std::vector<BglParking> parkings;
    std::size_t helipads = 0;
};

// Every top-level airport record of the file with its parkings.
std::vector<DecodedAirport> decode(const std::optional<BglFile>& file)
{
    EXPECT_TRUE(file);
    if (!file) return {};
    std::vector<DecodedAirport> found;
    forEachAirportSectionRecord(*file, [&](const BglRecord& record) {
        DecodedAirport a;
        a.id = record.id;
        if (record.id == bglAirportRecord) {
            a.icao = lf_decodeIdentifierOrRegionCode(file->u32(record.offset + 40), a.valid);
            a.elevationFt = bglAirportElevationFt(*file, record);
            forEachBglRecord(*file, record.offset + 68, record.offset + record.size, [&](const BglRecord& sub) {
                if (sub.id == bglParkingRecord) a.parkings = readBglParkings(*file, sub);
                if (sub.id == bglHelipadRecord) ++a.helipads;
                return true;
            });
        }
        found.push_back(a);
        return true;
    });
    return found;
}

std::vector<DecodedAirport> decode(const fs::path& path) { return decode(BglFile::read(path)); }

// Everything decoded, for comparing two reads of one file.
std::string describe(const std::vector<DecodedAirport>& airports)
{
    std::string text;
    for (const DecodedAirport& a : airports) {
        text += fmt::format("{:x} {} {} {} {} |", a.id, a.icao, a.valid, a.elevationFt, a.helipads);
        for (const BglParking& p : a.parkings)
            text += fmt::format(" {} {} {} {} {} {} {} {};", p.nameCode, p.type, p.number, p.airlineCount,
                                p.radiusMetres, p.headingDeg, p.position.lat, p.position.lon);
    }
    return text;
}

class BglFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = qtest::freshFolder("bgl");
        cwd.emplace(folder);
        gf_startLog();
        clearScanMessages();
        MSFS_2020.setValue(true);
    }
    void TearDown() override
    {
        closeLog();
        cwd.reset();
        clearScanMessages();
        MSFS_2020.setValue(true);
    }
    fs::path write(const std::string& name, const std::string& bytes)
    {
        qtest::writeFile(folder / name, bytes);
        return folder / name;
    }
    // The per-file task as the scan runs it (it gives its slot back at the end).
    BglScanResult scanFile(const fs::path& path)
    {
        ++scanTasksRunning;
        return lf_toParkingPositions(path);
    }
    std::string log() const { return qtest::readFile(folder / "Log.txt"); }

    fs::path folder;
    std::optional<qtest::ScopedCwd> cwd;
};

} // namespace

TEST(BglPieces, IdentifiersNamesAndExtensions)
{
    const struct {
        std::uint32_t code;
        const char* text;
        bool valid;
    } identifiers[] = {
        {qtest::packIdentifier("KPHP"), "KPHP", true},
        {qtest::packIdentifier("EDDF"), "EDDF", true},
        {qtest::packIdentifier("00CA"), "00CA", true},
        {qtest::packIdentifier("LAX"), "LAX", false},
        {qtest::packIdentifier("K PH"), "K PH", false},
        {qtest::packIdentifier("KPHPX"), "KPHPX", false},
        {37u << 5, "", false},
        {(38u * 38 * 38 * 38 + 1) << 5, "6   6", false}, // digit 1 reads as "6"
        {0x83107u & 0u, "", false},
    };
    for (const auto& c : identifiers) {
        bool valid = !c.valid;
        EXPECT_EQ(lf_decodeIdentifierOrRegionCode(c.code, valid), c.text) << c.text;
        EXPECT_EQ(valid, c.valid) << c.text;
    }
    const std::map<std::uint8_t, std::string> names{{0, ""},   {1, "r"}, {2, "p"},  {3, "np"}, {9, "nwp"},
                                                    {10, "g"}, {11, ""}, {12, "A"}, {37, "Z"}};
    for (const auto& [code, text] : names) EXPECT_EQ(lf_parkingNameText(code), text) << int(code);
    for (std::uint8_t code = 12; code <= 37; ++code)
        EXPECT_EQ(lf_parkingNameText(code), std::string(1, char('A' + code - 12))) << int(code);
    for (const char* ext : {".BGL", ".bgl"}) EXPECT_TRUE(lf_isBglFile(ext)) << ext;
    for (const char* ext : {".Bgl", ".bGL", ".bg", "bgl", ""}) EXPECT_FALSE(lf_isBglFile(ext)) << ext;
}

// A gate's airline codes follow its entry: the next parking starts after them, not at a fixed
// stride, so each keeps its own number and position.
TEST_F(BglFiles, ParkingAfterAGateWithAirlineCodes)
{
    using namespace qtest;
    ParkingSpec gate{12, 7};
    gate.airlines = 3;
    ParkingSpec next{25, 8, 3};
    next.lat = 44.06;
    next.lon = -101.61;
    const auto airports =
        decode(write("airlines.bgl", bglFile(airportRecord("KPHP", 0, {parkingSubrecord({gate, next})}))));
    ASSERT_EQ(airports.size(), 1u);
    ASSERT_EQ(airports[0].parkings.size(), 2u);
    const struct {
        std::uint8_t nameCode, type, airlines;
        std::uint16_t number;
        double lat, lon;
    } expected[] = {{12, 8, 3, 7, 44.05, -101.6}, {25, 3, 0, 8, 44.06, -101.61}};
    for (std::size_t i = 0; i < 2; ++i) {
        const BglParking& p = airports[0].parkings[i];
        EXPECT_EQ(p.nameCode, expected[i].nameCode) << i;
        EXPECT_EQ(p.type, expected[i].type) << i;
        EXPECT_EQ(p.airlineCount, expected[i].airlines) << i;
        EXPECT_EQ(p.number, expected[i].number) << i;
        EXPECT_NEAR(p.position.lat, expected[i].lat, 1e-6) << i;
        EXPECT_NEAR(p.position.lon, expected[i].lon, 1e-6) << i;
    }
}

TEST(BglPieces, ElevationKeepsWhatRealAirportsHave)
{
    const struct {
        std::int32_t millimetres;
        std::int32_t feet;
    } cases[] = {
        {-3353, -11},     {-9144, -30},     // below the old -20 ft floor, kept: the Dead Sea shore is lower
        {-385877, -1266}, {3200400, 10500}, // above the old 10,000 ft ceiling: Bogota, La Paz, Tibet
        {4411066, 14472}, {670711, 2200},   {-500000, 0}, {9144000, 0}, // impossible: none
    };
    for (const auto& c : cases) {
        const BglFile file(qtest::airportRecord("KPHP", c.millimetres, {}));
        EXPECT_EQ(bglAirportElevationFt(file, BglRecord{0x56, 0, file.size()}), c.feet) << c.millimetres;
    }
}

// Each subsection's records are walked inside its own data: two airports in two subsections are
// each found once (walking on past the first subsection's data would find the second twice).
TEST(BglPieces, RecordWalkStaysInsideItsSubsection)
{
    using namespace qtest;
    const std::string first = airportRecord("KAAA", 0, {});
    const std::string second = airportRecord("KBBB", 0, {});
    std::string bytes = bglFile(first + second);
    // The section gets a second subsection; the first one's data now ends after its record.
    setU32(bytes, 56 + 8, 2);
    setU32(bytes, 76 + 12, static_cast<std::uint32_t>(first.size()));
    const std::uint32_t secondTable = static_cast<std::uint32_t>(bytes.size());
    putU32(bytes, 0x83108);
    putU32(bytes, 1);
    putU32(bytes, static_cast<std::uint32_t>(recordsOffset + first.size()));
    putU32(bytes, static_cast<std::uint32_t>(second.size()));
    // Both subsection entries must follow one another: move the table to the end.
    std::string table = bytes.substr(76, 16) + bytes.substr(secondTable, 16);
    bytes.resize(secondTable);
    setU32(bytes, 56 + 12, secondTable);
    bytes += table;
    const BglFile file(bytes);
    std::vector<std::string> found;
    EXPECT_TRUE(forEachAirportSectionRecord(file, [&](const BglRecord& record) {
        bool valid = false;
        found.push_back(lf_decodeIdentifierOrRegionCode(file.u32(record.offset + 40), valid));
        return true;
    }));
    EXPECT_EQ(found, (std::vector<std::string>{"KAAA", "KBBB"}));
}

// The KPHP package ships the source its BGL was compiled from: every parking as the file holds it.
TEST(BglRealScenery, KphpParkingsMatchTheirSource)
{
    const auto airports = decode(kphpBgl);
    ASSERT_EQ(airports.size(), 1u);
    const DecodedAirport& kphp = airports[0];
    EXPECT_EQ(kphp.icao, "KPHP");
    EXPECT_TRUE(kphp.valid);
    EXPECT_EQ(kphp.elevationFt, 2200); // alt="670.71153930854052" (metres) in the source
    ASSERT_EQ(kphp.parkings.size(), 10u);

    const std::map<std::string, int> types{{"NONE", 0},           {"RAMP_GA", 1},       {"RAMP_GA_SMALL", 2},
                                           {"RAMP_GA_MEDIUM", 3}, {"RAMP_GA_LARGE", 4}, {"RAMP_CARGO", 5},
                                           {"GATE_SMALL", 8},     {"GATE_MEDIUM", 9},   {"GATE_HEAVY", 10},
                                           {"FUEL", 12},          {"VEHICLE", 13}};
    const std::map<std::string, int> names{{"NONE", 0}, {"PARKING", 1}, {"N_PARKING", 2}, {"GATE", 10}};
    pugi::xml_document source;
    ASSERT_TRUE(source.load_file((kphpPackage / "_source_xml/KPHP.xml").c_str()));
    std::size_t compared = 0;
    for (const pugi::xpath_node node : source.select_nodes("//TaxiwayParking")) {
        const pugi::xml_node p = node.node();
        const auto decoded = std::find_if(kphp.parkings.begin(), kphp.parkings.end(), [&](const BglParking& b) {
            return b.number == p.attribute("number").as_uint();
        });
        ASSERT_NE(decoded, kphp.parkings.end()) << p.attribute("number").value();
        SCOPED_TRACE(p.attribute("number").value());
        EXPECT_EQ(decoded->type, types.at(p.attribute("type").value()));
        EXPECT_EQ(decoded->nameCode, names.at(p.attribute("name").value()));
        EXPECT_FLOAT_EQ(decoded->radiusMetres, p.attribute("radius").as_float());
        EXPECT_NEAR(decoded->headingDeg, p.attribute("heading").as_double(), 1e-4);
        EXPECT_NEAR(decoded->position.lat, p.attribute("lat").as_double(), 4e-7);
        EXPECT_NEAR(decoded->position.lon, p.attribute("lon").as_double(), 5e-7);
        ++compared;
    }
    EXPECT_EQ(compared, 10u);
}

TEST(BglRealScenery, AirportsOfTheOtherFiles)
{
    const struct {
        fs::path path;
        std::uint16_t id;
        const char* icao;
        std::size_t parkings;
        std::size_t helipads;
    } cases[] = {
        {lmmlBgl, 0x56, "LMML", 77, 1},
        {skboBgl, 0x56, "SKBO", 114, 0},
        {builder2024 / "EDDN.bgl", 0x113, "", 0, 0}, // the 2024 builder's record, not decodable
        {builder2024 / "LBBG.bgl", 0x113, "", 0, 0},
        {realData / "bgl/fsx_p3d_airport_KPHX_ADEX.BGL", 0x3C, "", 0, 0}, // FSX airport: not read
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.filename().string());
        EXPECT_EQ(bglQuickPass(c.path), BglQuickPass::airport);
        const auto airports = decode(c.path);
        ASSERT_EQ(airports.size(), 1u);
        EXPECT_EQ(airports[0].id, c.id);
        EXPECT_EQ(airports[0].icao, c.icao);
        EXPECT_EQ(airports[0].parkings.size(), c.parkings);
        EXPECT_EQ(airports[0].helipads, c.helipads);
    }
    // SKBO's parkings: gates g1 to g11 first, numbered as their signs.
    const auto skbo = decode(skboBgl)[0];
    EXPECT_EQ(lf_parkingNameText(skbo.parkings[0].nameCode) + std::to_string(skbo.parkings[0].number), "g1");
    EXPECT_EQ(skbo.parkings[0].type, 8);
    for (const char* name :
         {"fsx_noairport_exclusion_kphx_exc3.BGL", "fsx_noairport_sceneryobject_helibcn.BGL",
          "fsx_noairport_terrainvector_KPHX_ADEX_CVX.bgl", "msfs_noairport_sceneryobjects_visualpoints.bgl"})
        EXPECT_EQ(bglQuickPass(realData / "bgl" / name), BglQuickPass::noAirport) << name;
}

// A file is read in windows, never whole, and decodes as it does from memory: a window of a few
// bytes makes every read cross into a new one and every step back to a table refill one.
TEST(BglRealScenery, ReadInWindowsAsFromMemory)
{
    for (const fs::path& path :
         {kphpBgl, lmmlBgl, skboBgl, builder2024 / "EDDN.bgl", realData / "bgl/fsx_p3d_airport_KPHX_ADEX.BGL"}) {
        SCOPED_TRACE(path.filename().string());
        const std::string bytes = qtest::readFile(path);
        const std::string whole = describe(decode(BglFile(bytes)));
        EXPECT_EQ(describe(decode(path)), whole);
        for (const std::size_t window : {BglFile::smallestWindow, std::size_t{100}, std::size_t{4096}}) {
            std::uint64_t largestRead = 0, reads = 0;
            const BglFile file(
                bytes.size(),
                [&](std::uint64_t offset, char* into, std::uint64_t size) {
                    largestRead = std::max(largestRead, size);
                    ++reads;
                    const std::uint64_t count = std::min<std::uint64_t>(size, bytes.size() - offset);
                    std::memcpy(into, bytes.data() + offset, count);
                    return count;
                },
                window);
            EXPECT_EQ(describe(decode(file)), whole) << window;
            EXPECT_LE(largestRead, window);
            EXPECT_GT(reads, 0u);
        }
    }
    // A file that ends before its stated size ends in an error, not in bytes made up.
    const BglFile shortFile(
        1000, [](std::uint64_t, char*, std::uint64_t size) { return size / 2; }, 64);
    EXPECT_THROW(shortFile.u32(100), std::out_of_range);
}

// Damaged and hostile files: each ends (a hang would stop the test run) with a logged skip, and
// a file without damage written in between is still read whole.
TEST_F(BglFiles, HostileFilesEndInALoggedSkip)
{
    using namespace qtest;
    const std::string good =
        bglFile(airportRecord("KPHP", 670711, {parkingSubrecord({ParkingSpec{}, ParkingSpec{12, 2}})}));
    const auto bent = [&](auto change) {
        std::string bytes = good;
        change(bytes);
        return bytes;
    };
    std::mt19937 random(20240601);
    std::string noise(4096, '\0');
    for (char& c : noise) c = static_cast<char>(random());
    const struct {
        const char* name;
        std::string bytes;
        const char* logged; // in the scan messages or the log
    } cases[] = {
        {"zero-size subrecord", bent([](std::string& b) { setU32(b, firstSubrecordOffset + 2, 0); }),
         "damaged subrecord in airport KPHP"},
        {"subrecord smaller than its header", bent([](std::string& b) { setU32(b, firstSubrecordOffset + 2, 3); }),
         "damaged subrecord"},
        {"subrecord past its airport", bent([](std::string& b) { setU32(b, firstSubrecordOffset + 2, 100000); }),
         "damaged subrecord"},
        {"zero-size airport record", bent([](std::string& b) { setU32(b, recordsOffset + 2, 0); }),
         "damaged record in"},
        {"airport record past its subsection", bent([](std::string& b) { setU32(b, recordsOffset + 2, 1 << 30); }),
         "damaged record in"},
        {"parking count beyond the file", bent([](std::string& b) { setU16(b, firstSubrecordOffset + 6, 60000); }),
         "Exception in lf_toParkingPositions"},
        {"airline count beyond the subrecord",
         bent([](std::string& b) { b[firstSubrecordOffset + 8 + 3] = char(200); }),
         "Exception in lf_toParkingPositions"},
        {"airport record too short", bglFile(record(0x56, std::string(30, '\0'))),
         "Exception in lf_toParkingPositions"},
        {"section table past the end", bent([](std::string& b) { setU32(b, 20, 5000); }), "damaged BGL file (skipped)"},
        {"section count in the billions", bent([](std::string& b) { setU32(b, 20, 0xFFFFFFF0u); }),
         "damaged BGL file (skipped)"},
        {"subsection table beyond the file", bent([](std::string& b) { setU32(b, 56 + 12, 0x7FFFFFF0u); }),
         "Exception in lf_toParkingPositions"},
        {"record data beyond the file", bent([](std::string& b) { setU32(b, 76 + 8, 0x7FFFFFF0u); }),
         "damaged record in"},
        {"truncated header", good.substr(0, 30), "damaged BGL file (skipped)"},
        {"random bytes after a good table", good.substr(0, recordsOffset) + noise, "damaged record in"},
    };
    for (const auto& c : cases) write(std::string(c.name) + ".bgl", c.bytes);
    // A real file cut at every sixteenth of its length.
    const std::string lmml = readFile(lmmlBgl);
    for (std::size_t k = 1; k < 16; ++k)
        write(fmt::format("lmml-cut-{:02}.bgl", k), lmml.substr(0, lmml.size() * k / 16));
    write("good.bgl", good);

    gf_initWorkerSlots();
    lf_searchAirportsInFolder(folder);
    const std::string scanLog = [] {
        std::string all;
        for (const std::string& line : scanMessagesCopy()) all += line + "\n";
        return all;
    }();
    const std::vector<std::string> lines = gf_splitUntrimmed(log() + scanLog, '\n');
    const auto logged = [&](const std::string& what, const std::string& file) {
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.find(what) != std::string::npos && line.find(file) != std::string::npos;
        });
    };
    for (const auto& c : cases) EXPECT_TRUE(logged(c.logged, std::string(c.name) + ".bgl")) << c.name;
    // A file that fails part-way costs that file only, and the scan names it, not the search.
    EXPECT_FALSE(logged("aborted", ""));
    EXPECT_TRUE(
        logged("===> damaged BGL file ", "parking count beyond the file.bgl, the rest of it skipped, cause: parking "));
    // The cut copies of LMML: its airport record ends before the last sixteenth, so all but the
    // last copy name their damage, and the last gives the airport whole.
    EXPECT_TRUE(fs::exists(myThirdpartyFolder / "LMML.xml"));
    for (std::size_t k = 1; k < 15; ++k) {
        const std::string name = fmt::format("lmml-cut-{:02}.bgl", k);
        EXPECT_TRUE(logged("damage", name) || logged("Exception in lf_toParkingPositions", name)) << name;
    }
    // The good file was read whole, after all the others.
    EXPECT_TRUE(fs::exists(myThirdpartyFolder / "KPHP.xml"));
    EXPECT_EQ(scanTasksRunning.load(), 0);
}

TEST_F(BglFiles, UndecodableAirportsOnlyIn2024Mode)
{
    // In 2020 mode the 2024 builder's record is stepped over like any other.
    BglScanResult result = scanFile(builder2024 / "EDDN.bgl");
    EXPECT_TRUE(result.messages.empty());
    EXPECT_TRUE(result.outputs.empty());
    MSFS_2020.setValue(false);
    result = scanFile(builder2024 / "EDDN.bgl");
    ASSERT_FALSE(result.messages.empty());
    EXPECT_NE(result.messages[0].find("==> Not recognised airport "), std::string::npos);
}

// Parking entries of an airport as the stands of its generated file: numbers use all twelve
// bits, every military ramp is a ramp, and radii of a metre or less (negative ones too) are no
// stands.
TEST_F(BglFiles, ParkingEntriesBecomeStands)
{
    using namespace qtest;
    const auto parking = [](std::uint8_t nameCode, std::uint16_t number, std::uint8_t type, float radius) {
        ParkingSpec p;
        p.nameCode = nameCode;
        p.number = number;
        p.type = type;
        p.radius = radius;
        p.lat += number * 1e-4; // each on its own spot
        return p;
    };
    const std::string records = airportRecord(
        "KPHP", 670711,
        {parkingSubrecord({parking(12, 300, 8, 20.0f), parking(1, 4095, 7, 15.0f), parking(1, 6, 6, 15.0f),
                           parking(1, 5, 5, 25.0f), parking(12, 2, 9, -5.0f), parking(12, 3, 9, 1.0f)})});
    BglScanResult result = scanFile(write("parkings.bgl", bglFile(records)));
    ASSERT_EQ(result.outputs.size(), 1u);
    std::vector<std::string> found;
    for (const Stand& s : result.outputs[0].record.stands)
        found.push_back(fmt::format("{} {:.1f}m{}{}", s.name, s.radius / metresToNm, s.ramp ? " ramp" : "",
                                    s.cargo ? " cargo" : ""));
    EXPECT_EQ(found,
              (std::vector<std::string>{"A300 20.0m", "r4095 15.0m ramp", "r5 25.0m ramp cargo", "r6 15.0m ramp"}));
    for (const char* skipped : {"skipped position with radius -5.0 meters", "skipped position with radius 1.0 meters"})
        EXPECT_TRUE(std::any_of(result.messages.begin(), result.messages.end(), [&](const std::string& m) {
            return m.find(skipped) != std::string::npos;
        })) << skipped;

    // The same airport in a section flagged as having subsection entries of another width: the
    // table cannot be read as 16-byte entries, so the section is passed over and gives no airport.
    result = scanFile(write("wide.bgl", bglFile(records, 3, 1 | 0x10000)));
    EXPECT_TRUE(result.outputs.empty());
    EXPECT_TRUE(result.error.empty());
}

// The walk over a Community folder as users lay it out: links back into the tree enter each real
// folder once, a path too long for the system is skipped and reported, and the exclusion words
// count only below the scanned root (a root whose own path says "aircraft" is still scanned).
TEST_F(BglFiles, WalkEntersEachFolderOnceAndAppliesItsLimits)
{
    const fs::path root = folder / "my-aircraft-things" / "Community";
    const std::string airport =
        qtest::bglFile(qtest::airportRecord("KXYZ", 0, {qtest::parkingSubrecord({qtest::ParkingSpec{}})}));
    qtest::writeFile(root / "airport-x" / "scenery" / "a.bgl", airport);
    const std::size_t rootLength = pathToUtf8(root).size();
    // The deepest folder's path ends at 250 characters: the walk does not enter it.
    const fs::path deep =
        (root / "airport-y" / std::string(250 - rootLength - std::string("/airport-y/").size(), 'd')).make_preferred();
    qtest::writeFile(deep / "b.bgl", airport);
    ASSERT_EQ(pathToUtf8(deep).size(), longestScanPath);
    const bool linked = qtest::folderLink(root / "loop", root) && qtest::folderLink(root / "alias", root / "airport-x");
#ifndef _WIN32
    ASSERT_TRUE(linked); // Wine cannot make folder links; every other system here can
#endif

    const std::vector<fs::path> files = lf_collectBglFiles(root);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].filename(), "a.bgl");
    const std::vector<std::string> messages = scanMessagesCopy();
    const auto count = [&](const std::string& text) {
        return std::count_if(messages.begin(), messages.end(),
                             [&](const std::string& m) { return m.find(text) != std::string::npos; });
    };
    EXPECT_EQ(count("skipped: it leads to a folder already scanned"), linked ? 2 : 0); // the loop and the alias
    EXPECT_EQ(count("path too long (skipped): " + pathToUtf8(deep)), 1);
    // The words still exclude the packages below the root.
    EXPECT_TRUE(lf_isExcludedFolder(pathToUtf8(root / "some-aircraft-pack"), rootLength));
    EXPECT_FALSE(lf_isExcludedFolder(pathToUtf8(root / "airport-x"), rootLength));
}
