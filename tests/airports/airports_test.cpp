#include "airports/airports_db.h"
#include "foundation/errors.h"
#include "support/test_support.h"

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
    EXPECT_DOUBLE_EQ(airports[1].latitude, 50.1);  // leading blanks skipped
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
        EXPECT_EQ(airports.size(), 1u); // what was read stays, but the file counts as unread
        airports.clear();
        qtest::writeFile("input/airports_msfs.xml", R"(<airports><airport code="EDDF" lat="50" lon="8" alt="364"/></airports>)");
        EXPECT_TRUE(readAirports());
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
