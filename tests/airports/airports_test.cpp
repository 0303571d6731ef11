#include "airports/airports_db.h"
#include "foundation/errors.h"
#include "foundation/log_capture.h"
#include "support/test_support.h"

#include <algorithm>

#include <gtest/gtest.h>

using namespace qtr;

namespace {

// A program folder with the given airports file (and names file, when not empty).
class AirportsFolder {
public:
    AirportsFolder(const std::string& airportsXml, const std::string& namesXml = "")
        : folder_(qtest::freshFolder("airports")), cwd_(folder_)
    {
        forgetAirports();
        airportNames.clear();
        if (!airportsXml.empty()) qtest::writeFile(folder_ / "input" / "airports_msfs.xml", airportsXml);
        if (!namesXml.empty()) qtest::writeFile(folder_ / "input" / "airports_msfs_names.xml", namesXml);
    }
    ~AirportsFolder()
    {
        forgetAirports();
        airportNames.clear();
    }

private:
    std::filesystem::path folder_;
    qtest::ScopedCwd cwd_;
};

std::string userErrorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const UserErrorException& e) {
        return e.what();
    }
    return "";
}

} // namespace

TEST(AirportsDataBase, ReadsSortsAndFinds)
{
    AirportsFolder folder(R"(<?xml version="1.0"?>
<airports>
  <airport code="KJFK" lat="40.6398" lon="-73.7789" alt="13" iata="JFK"/>
  <comment code="XXXX" lat="0" lon="0" alt="0"/>
  <airport code="EDXY" lat=" 50.1" lon="7.2abc" alt="320"/>
  <airport code="EDDF" lat="50.0333" lon="8.5706" alt="364" iata=""/>
</airports>)");
    ASSERT_TRUE(readAirports());
    ASSERT_EQ(airports.size(), 3u);
    EXPECT_EQ(airports[0].code, "EDDF");
    EXPECT_EQ(airports[1].code, "EDXY");
    EXPECT_EQ(airports[2].code, "KJFK");
    EXPECT_DOUBLE_EQ(airports[1].latitude, 50.1); // leading blanks skipped
    EXPECT_DOUBLE_EQ(airports[1].longitude, 7.2); // characters after the number ignored
    const auto jfk = findAirport("KJFK");
    ASSERT_TRUE(jfk);
    EXPECT_EQ(jfk->iata, "JFK");
    EXPECT_DOUBLE_EQ(jfk->altitude, 13);
    EXPECT_FALSE(findAirport("kjfk"));
    EXPECT_EQ(airportDisplayText(*jfk), "KJFK (JFK)");
    EXPECT_EQ(airportDisplayText(*findAirport("EDXY")), "EDXY");
    EXPECT_EQ(airportDisplayText(Airport{}), "?");

    // Read once per process: a changed file is not read again.
    qtest::writeFile("input/airports_msfs.xml", "<airports/>");
    EXPECT_TRUE(readAirports());
    EXPECT_EQ(airports.size(), 3u);
}

TEST(AirportsDataBase, FaultyFilesAreUserErrors)
{
    {
        AirportsFolder folder(R"(<airports><airport code="EDDF" lat="50" lon="8" alt="364"/>
                                 <airport code="EDXY" lat="50" lon="7"/></airports>)");
        EXPECT_EQ(userErrorOf([] { readAirports(); }), "88: invalid stod argument");
        EXPECT_TRUE(airports.empty()); // nothing of a failed read stays behind
        // A second read after a failed one reads afresh, without adding to anything.
        qtest::writeFile("input/airports_msfs.xml",
                         R"(<airports><airport code="EDDF" lat="50" lon="8" alt="364"/></airports>)");
        EXPECT_TRUE(readAirports());
        EXPECT_EQ(airports.size(), 1u);
    }
    {
        AirportsFolder folder(R"(<airports><airport code="EDDF" lat="1e999" lon="8" alt="1"/></airports>)");
        EXPECT_EQ(userErrorOf([] { readAirports(); }), "88: stod argument out of range");
    }
    {
        AirportsFolder folder(R"(<airports><airport code="EDDF" lat="nan" lon="8" alt="1"/></airports>)");
        EXPECT_EQ(userErrorOf([] { readAirports(); }), "88: invalid stod argument");
    }
    {
        AirportsFolder folder("");
        EXPECT_NE(userErrorOf([] { readAirports(); }).find(" not loaded "), std::string::npos);
    }
    {
        AirportsFolder folder("<places/>");
        const std::string text = userErrorOf([] { readAirports(); });
        EXPECT_EQ(text.rfind("88: ", 0), 0u);
        EXPECT_NE(text.find("airports_msfs.xml not found"), std::string::npos);
    }
}

TEST(AirportsDataBase, NamesKeepTheFirstAndAMissingFileGivesNone)
{
    {
        AirportsFolder folder("", R"(<AirportNames>
            <airport ICAO="EDDF" name="Frankfurt"/><airport ICAO="EDDF" name="Later"/><airport ICAO="KJFK"/>
        </AirportNames>)");
        EXPECT_TRUE(readAirportNames());
        EXPECT_EQ(airportNames.size(), 2u);
        EXPECT_EQ(airportNames["EDDF"], "Frankfurt");
        EXPECT_EQ(airportNames["KJFK"], "");
    }
    AirportsFolder folder("");
    EXPECT_FALSE(readAirportNames());
}

TEST(AirportsDataBase, ClosestAirportAndItsNeighbour)
{
    // AAAA lies 3 nm, BBBB 1 nm north of the position; CCCC is 30 nm away.
    AirportsFolder folder(R"(<airports>
      <airport code="BBBB" lat="50.0166667" lon="8" alt="0"/>
      <airport code="AAAA" lat="50.05" lon="8" alt="0"/>
      <airport code="CCCC" lat="50.5" lon="8" alt="0"/>
    </airports>)");
    ASSERT_TRUE(readAirports());
    int lookups = 0;
    double standOfA = 0.0, standOfB = 0.0;
    const ClosestStandLookup lookup = [&](const std::string& icao, double, double, std::string& stand) {
        ++lookups;
        stand = icao + "-1";
        return icao == "AAAA" ? standOfA : standOfB;
    };
    // A comes first by code, B is nearer: best B, neighbour A.
    standOfA = 0.2, standOfB = 0.1;
    EXPECT_EQ(closestAirport(50.0, 8.0, lookup)->code, "BBBB");
    standOfA = 0.1, standOfB = 0.1;
    EXPECT_EQ(closestAirport(50.0, 8.0, lookup)->code, "BBBB"); // the neighbour must be strictly nearer
    standOfA = 0.05, standOfB = 0.1;
    EXPECT_EQ(closestAirport(50.0, 8.0, lookup)->code, "AAAA");
    EXPECT_EQ(lookups, 6);

    // Nearest first in code order: no neighbour, no stand look-up.
    lookups = 0;
    EXPECT_EQ(closestAirport(50.06, 8.0, lookup)->code, "AAAA");
    EXPECT_EQ(lookups, 0);
    EXPECT_FALSE(closestAirport(51.0, 8.0, lookup));
}

TEST(AirportsDataBase, TaggedTokens)
{
    EXPECT_TRUE(containsTaggedToken("x-kjfk-y", "KJFK"));
    EXPECT_TRUE(containsTaggedToken("x-KJFK-y", "KJFK"));
    EXPECT_FALSE(containsTaggedToken("x-Kjfk-y", "KJFK"));
    EXPECT_FALSE(containsTaggedToken("xkjfky", "KJFK"));
}

// Entries no airport can have are left out with a log line; the rest is read.
TEST(AirportsDataBase, ImpossibleEntriesAreSkipped)
{
    qtest::LogCapture log("impossible-airports");
    AirportsFolder folder(R"(<airports>
        <airport code="NPOL" lat="90.5" lon="0" alt="0"/>
        <airport code="WRAP" lat="10" lon="-180.01" alt="0"/>
        <airport code="HIGH" lat="10" lon="10" alt="30000"/>
        <airport code="DEEP" lat="10" lon="10" alt="-2000"/>
        <airport code="LLMZ" lat="31.328199" lon="35.388599" alt="-1266"/>
        <airport code="ZUDC" lat="29.31632" lon="100.060317" alt="14472"/>
    </airports>)");
    ASSERT_TRUE(readAirports());
    ASSERT_EQ(airports.size(), 2u); // the Dead Sea shore and the Tibetan plateau are real
    EXPECT_EQ(airports[0].code, "LLMZ");
    EXPECT_EQ(airports[1].code, "ZUDC");
    const auto lines = log.lines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.find("is impossible") != std::string::npos; }),
              4);
}

// The data base the program ships, written at build time from the OurAirports data set.
TEST(AirportsDataBase, ShippedDataBaseHoldsTheWorldsAirports)
{
    forgetAirports();
    airportNames.clear();
    {
        qtest::ScopedCwd cwd(QM_STAGE_DIR);
        ASSERT_TRUE(readAirports());
        ASSERT_TRUE(readAirportNames());
    }
    EXPECT_GT(airports.size(), 30000u);
    EXPECT_TRUE(std::is_sorted(airports.begin(), airports.end(),
                               [](const Airport& a, const Airport& b) { return a.code < b.code; }));
    // Published reference points and elevations (AIP), within the data set's rounding.
    const struct {
        const char* code;
        const char* iata;
        double lat, lon, altFt;
        const char* name;
    } cases[] = {
        {"KLAX", "LAX", 33.9425, -118.4081, 128, "Los Angeles International Airport"},
        {"EDKB", "", 50.7689, 7.1633, 197, "Bonn-Hangelar Airfield"},
        {"SKBO", "BOG", 4.7016, -74.1469, 8361, "El Dorado International Airport"},
        {"MMMX", "MEX", 19.4363, -99.0721, 7316, "Benito Ju\xC3\xA1rez International Airport"},
        {"KPHP", "PHP", 44.0486, -101.5994, 2207, "Philip Airport"},
        {"LMML", "MLA", 35.8575, 14.4775, 300, "Malta International Airport"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        const auto airport = findAirport(c.code);
        ASSERT_TRUE(airport);
        EXPECT_EQ(airport->iata, c.iata);
        EXPECT_NEAR(airport->latitude, c.lat, 0.02);
        EXPECT_NEAR(airport->longitude, c.lon, 0.02);
        EXPECT_NEAR(airport->altitude, c.altFt, 5.0);
        EXPECT_EQ(airportNames[c.code], c.name);
    }
    // Listed under its ICAO code where the data set has only a local identifier.
    EXPECT_TRUE(findAirport("VANM"));
    // No heliports: the rooftop pad of 32CN, 1.5 nm from KLAX's reference point, would take the
    // park airport's place from KLAX for a user at many of its gates.
    EXPECT_FALSE(findAirport("32CN"));
    EXPECT_FALSE(findAirport("00A"));
    forgetAirports();
    airportNames.clear();
}
