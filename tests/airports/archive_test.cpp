// Airport files from the site's archive against our own site server on 127.0.0.1, and the
// queries asked of airport files.
#include "airport_fixture.h"

#include "airports/airport_file_format.h"
#include "airports/airport_file_queries.h"
#include "airports/airports_db.h"
#include "airports/archive_download.h"

#include <pugixml.hpp>

using namespace qtr;
using qtest::apfText;
using qtest::parameter;

namespace {

const std::string kphpFile =
    apfText(parameter("airport_name", "Philip") + parameter("publisher", "stock") + parameter("altitude", "2207"),
            R"(<parkpos id="P1" latitude="44.048000" longitude="-101.601000" radius="12"/>
                                        <parkpos id="P2" latitude="44.049000" longitude="-101.601000" radius="12"/>)");

// A file fetched in text mode, with its line ends as they were served.
std::string fetchedText(const std::filesystem::path& path)
{
    std::string text;
    for (char c : qtest::readFile(path))
        if (c != '\r') text += c;
    return text;
}

} // namespace

class AirportArchive : public qtest::AirportFolderTest {
protected:
    ApfFileRecord record;
    QualityPair quality;
};

// A stock airport with no local file: probed, fetched into airports\park_airport.xml and read;
// the probe leaves nothing in the program folder.
TEST_F(AirportArchive, StockAirportIsProbedFetchedAndRead)
{
    server.setRoute("/MSFS/archive/stock/KPHP.xml", qmhttp::Route::ok(kphpFile));
    parkAirportIcao = "KPHP";
    EXPECT_TRUE(ensureAirportFile("KPHP"));
    EXPECT_FALSE(std::filesystem::exists("KPHP.xml"));
    const std::string path = findAirportFile("KPHP");
    EXPECT_EQ(path, "archive/stock/KPHP.xml");
    EXPECT_FALSE(std::filesystem::exists("KPHP.xml"));
    EXPECT_EQ(gf_readApf(path, record, quality), "");
    EXPECT_EQ(stands.size(), 2u);
    EXPECT_EQ(record.elevationFt, 2207);
    EXPECT_EQ(fetchedText(parkAirportDownloadPath), kphpFile);
}

// The sub-path of the site: stock and add-on files always below "MSFS/", other publishers' below
// the running simulator's folder.
TEST_F(AirportArchive, SubPathFollowsTheArchiveAndTheSimulator)
{
    const struct {
        bool msfs2020;
        const char* archivePath;
        const char* requested;
    } cases[] = {
        {false, "archive/thirdparty/Pub%20One/EGLL.xml", "/MSFS2024/archive/thirdparty/Pub%20One/EGLL.xml"},
        {true, "archive/thirdparty/Pub%20One/EGLL.xml", "/MSFS/archive/thirdparty/Pub%20One/EGLL.xml"},
        {false, "archive/stock/EGLL.xml", "/MSFS/archive/stock/EGLL.xml"},
        {false, "archive/vendrake/EGLL.xml", "/MSFS/archive/vendrake/EGLL.xml"},
    };
    for (const auto& c : cases) {
        MSFS_2020.setValue(c.msfs2020);
        server.setRoute(c.requested, qmhttp::Route::ok(kphpFile));
        EXPECT_EQ(downloadApf(c.archivePath, "fetched.xml"), "") << c.requested;
        EXPECT_EQ(fetchedText("fetched.xml"), kphpFile) << c.requested;
        server.clearRoutes();
    }
    // A redirect of a third-party airport read while the 2024 simulator runs.
    MSFS_2020.setValue(false);
    qtest::writeFile(myThirdpartyFolder / "EGLL.txt", "archive/thirdparty/Pub%20One/EGLL.xml\n");
    server.setRoute("/MSFS2024/archive/thirdparty/Pub%20One/EGLL.xml", qmhttp::Route::ok(kphpFile));
    EXPECT_EQ(gf_readApf(findAirportFile("EGLL"), record, quality), "");
    EXPECT_EQ(stands.size(), 2u);
}

// A missing file or a server error is a failed download that leaves no file behind.
TEST_F(AirportArchive, FailedDownloadsLeaveNoFile)
{
    const qmhttp::Route failures[] = {qmhttp::Route::status404(), qmhttp::Route::garbage(),
                                      qmhttp::Route{qmhttp::Route::Kind::Normal, 500, "<meta>", 0, ""}};
    for (const qmhttp::Route& failure : failures) {
        server.setRoute("/MSFS/archive/stock/EGLL.xml", failure);
        EXPECT_FALSE(downloadStockApf("EGLL"));
        EXPECT_FALSE(std::filesystem::exists("EGLL.xml"));
        EXPECT_EQ(findAirportFile("EGLL"), "");
        EXPECT_FALSE(ensureAirportFile("EGLL"));
        qtest::writeFile(parkAirportDownloadPath, "an earlier airport");
        const std::string message = gf_readApf("archive/stock/EGLL.xml", record, quality);
        EXPECT_EQ(message, "failed to download: \"" + server.baseUrl() + "MSFS/archive/stock/EGLL.xml\"");
        EXPECT_FALSE(std::filesystem::exists(parkAirportDownloadPath));
        EXPECT_FALSE(gf_checkStockArchive("EGLL"));
        EXPECT_FALSE(std::filesystem::exists("EGLL.xml"));
    }
    EXPECT_NE(log().find("Failed to download EGLL.xml"), std::string::npos);
    EXPECT_NE(log().find("EGLL Not suitable for offline learning"), std::string::npos);
}

TEST_F(AirportArchive, StockArchiveFitForOfflineLearning)
{
    const struct {
        std::string parameters;
        bool suitable;
    } cases[] = {
        {parameter("Qf_real", "80") + parameter("RT_traffic_week", "24"), true},
        {parameter("Qf_real", "80") + parameter("RT_traffic_week", "23"), false},
        {parameter("Qf_soft", "10") + parameter("RT_traffic_week", "30"), true},
        {parameter("Qf_real", "80"), false},
        {parameter("RT_traffic_week", "30"), false}, // no quality factors
    };
    for (const auto& c : cases) {
        server.setRoute("/MSFS/archive/stock/EGLL.xml", qmhttp::Route::ok(apfText(c.parameters, "")));
        EXPECT_EQ(gf_checkStockArchive("EGLL"), c.suitable) << c.parameters;
        EXPECT_FALSE(std::filesystem::exists("EGLL.xml"));
    }
    server.setRoute("/MSFS/archive/stock/EGLL.xml", qmhttp::Route::ok("<meta"));
    EXPECT_FALSE(gf_checkStockArchive("EGLL"));
    EXPECT_NE(log().find("Failed to load EGLL.xml"), std::string::npos);
}

TEST_F(AirportArchive, ParameterGetters)
{
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(R"(<meta/><parameters><parameter name="bare"/><parameter name="yes" value="yes"/>
        <parameter name="True" value="True"/><parameter name="one" value="1"/><parameter name="no" value="no"/>
        <parameter name="false" value="false"/><parameter name="empty" value=""/><parameter name="hex" value="0x10"/>
        <parameter name="huge" value="99999999999"/><parameter name="text" value="abc"/></parameters>)"));
    EXPECT_EQ(gf_getParameterString(doc, "bare"), "");
    EXPECT_EQ(gf_getParameterInt(doc, "bare"), 0);
    EXPECT_EQ(gf_getParameterBool(doc, "bare"), false);
    EXPECT_EQ(gf_getParameterString(doc, "missing"), std::nullopt);
    EXPECT_EQ(gf_getParameterInt(doc, "missing"), std::nullopt);
    EXPECT_EQ(gf_getParameterBool(doc, "missing"), std::nullopt);
    for (const char* name : {"yes", "True", "one"}) EXPECT_EQ(gf_getParameterBool(doc, name), true) << name;
    for (const char* name : {"no", "false", "empty"}) EXPECT_EQ(gf_getParameterBool(doc, name), false) << name;
    EXPECT_EQ(gf_getParameterInt(doc, "hex"), 16);
    EXPECT_EQ(gf_getParameterInt(doc, "huge"), 2147483647);
    EXPECT_EQ(gf_getParameterInt(doc, "text"), 0);
}

TEST_F(AirportArchive, PublisherQueries)
{
    const struct {
        std::string parameters;
        std::string text;
        std::string publisher;
    } cases[] = {
        {parameter("publisher", "unknown") + parameter("manufacturer", "abc") + parameter("creator", ""),
         "manufacturer=abc, creator=", "unknown"},
        {parameter("publisher", "unknown") + parameter("manufacturer", "abcd"), "", "unknown"},
        {parameter("publisher", "unknown") + parameter("creator", "Marc Ferguson"), "", "unknown"},
        {parameter("publisher", "unknown"), "manufacturer=, creator=", "unknown"},
        {parameter("publisher", "FlyTampa"), "", "FlyTampa"},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        qtest::writeFile(folder / "file.xml", apfText(c.parameters, ""));
        EXPECT_EQ(gf_publisherText("file.xml"), c.text) << c.parameters;
        EXPECT_EQ(gf_readPublisher("file.xml"), c.publisher) << c.parameters;
    }
    EXPECT_EQ(gf_publisherText("none.xml"), "\"none.xml\" not found");
    EXPECT_EQ(gf_readPublisher("none.xml"), "");
}

// The stand of a destination airport closest to a position, from a local or an archived file.
TEST_F(AirportArchive, ClosestStandOfAnAirport)
{
    qtest::writeFile(myThirdpartyFolder / "KPHP.xml", kphpFile);
    qtest::writeFile(myVendrakeFolder / "EMPT.xml", apfText(parameter("altitude", "1"), ""));
    qtest::writeFile(myThirdpartyFolder / "TIES.xml",
                     apfText(parameter("altitude", "1"), R"(<parkpos id="first" latitude="10" longitude="10"/>
                                                             <parkpos id="second" latitude="10" longitude="10"/>
                                                             <parkpos latitude="10.5" longitude="10"/>)"));
    server.setRoute("/MSFS/archive/stock/KLAX.xml",
                    qmhttp::Route::ok(apfText("", R"(<parkpos id="G1" latitude="33.94" longitude="-118.40"/>)")));
    const struct {
        const char* icao;
        LatLon position;
        double nm;
        const char* stand;
    } cases[] = {
        {"KPHP", {44.049, -101.601}, 0.0, "P2"}, {"KPHP", {44.0475, -101.601}, 0.03, "P1"},
        {"KLAX", {33.94, -118.40}, 0.0, "G1"},   {"TIES", {10, 10}, 0.0, "first"}, // an earlier stand wins a tie
        {"EMPT", {1, 1}, 100.0, "unchanged"},    {"NONE", {1, 1}, 100.0, "unchanged"},
    };
    for (const auto& c : cases) {
        std::string stand = "unchanged";
        EXPECT_NEAR(gf_readDestApfForClosestStand(c.icao, c.position, stand), c.nm, 0.001) << c.icao;
        EXPECT_EQ(stand, c.stand) << c.icao;
    }
    EXPECT_FALSE(std::filesystem::exists("airport.xml"));
    EXPECT_FALSE(std::filesystem::exists("KLAX.xml"));
}

// The neighbouring airport wins the park airport's place when one of its stands is nearer.
TEST_F(AirportArchive, ClosestAirportLooksAtTheStandsOfBoth)
{
    forgetAirports();
    // AAAA is nearer to the user than ZZZZ, but only ZZZZ has a stand next to the user.
    const LatLon user{44.0, -101.0};
    qtest::writeFile("input/airports_msfs.xml",
                     R"(<airports><airport code="ZZZZ" lat="44.03" lon="-101.0" alt="1"/>
                                  <airport code="AAAA" lat="44.01" lon="-101.0" alt="1"/></airports>)");
    ASSERT_TRUE(readAirports());
    // Code order puts AAAA first: ZZZZ, farther, is never the best; no neighbour, no look-up.
    EXPECT_EQ(closestAirport(user.lat, user.lon)->code, "AAAA");
    forgetAirports();
    qtest::writeFile("input/airports_msfs.xml",
                     R"(<airports><airport code="AAAA" lat="44.03" lon="-101.0" alt="1"/>
                                  <airport code="ZZZZ" lat="44.01" lon="-101.0" alt="1"/></airports>)");
    ASSERT_TRUE(readAirports());
    EXPECT_EQ(closestAirport(user.lat, user.lon)->code, "ZZZZ"); // neither has a stand
    qtest::writeFile(myThirdpartyFolder / "AAAA.xml",
                     apfText("", R"(<parkpos id="S7" latitude="44.0001" longitude="-101.0"/>)"));
    EXPECT_EQ(closestAirport(user.lat, user.lon)->code, "AAAA");
    EXPECT_NE(
        log().find("Airport ZZZZ is closest, but stand S7 at neighbouring airport AAAA is closest at 11 meters ..."),
        std::string::npos);
    forgetAirports();
}
