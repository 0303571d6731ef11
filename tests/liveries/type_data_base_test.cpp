// Reading the aircraft type data base: a small scrambled document per case (the data base that
// tools/dbase/make_dbase.py makes, fetched from a download site: type_data_base_site_test.cpp).
#include "foundation/errors.h"
#include "foundation/log_capture.h"
#include "foundation/utilities.h"
#include "liveries/type_data_base.h"
#include "liveries/type_queries.h"
#include "scrambler.h"
#include "support/livery_support.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <sstream>

using namespace qtr;
using qtest::scrambleAirl;
using qtest::scrambleAirlines;
using qtest::scrambleText;
using qtest::scrambleType;
using qtest::scrambleTypes;

namespace {

// A data base document: its top-level sections in order, each with elements and attributes.
struct Element {
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;
};
struct Section {
    std::string name;
    std::vector<Element> elements;
};

std::vector<Section> requiredSections()
{
    return {
        {"aircrafts",
         {{"aircraft", {{"types", scrambleTypes({"A320", "A321", "B744", "C172", "EC35", "F16", "C25C"})}}}}},
        {"high_performance", {{"hpf", {{"types", scrambleTypes({"F16"})}}}}},
        {"heavy", {{"hvy", {{"types", scrambleTypes({"B744"})}}}}},
        {"large", {{"lar", {{"types", scrambleTypes({"A320", "A321"})}}}}},
        {"buzjet", {{"bzj", {{"types", scrambleTypes({"C25C"})}}}}},
        {"rotorcraft", {{"rot", {{"types", scrambleTypes({"EC35"})}}}}},
        {"cargo_types", {{"cargo_type", {{"types", scrambleTypes({"B744"})}}}}},
        {"ICAO_airlines", {{"ICAO", {{"codes", scrambleAirlines({"DLH", "BAW", "ZZZ", "PVT"})}}}}},
        {"cargo_operators", {{"ICAO", {{"codes", scrambleAirlines({"GEC"})}}}}},
        {"vendrakes20", {{"vendrake20", {{"arpts", "KLAX,EDDF"}}}}},
    };
}

std::string documentText(const std::vector<Section>& sections)
{
    pugi::xml_document doc;
    for (const Section& s : sections) {
        pugi::xml_node node = doc.append_child(s.name.c_str());
        for (const Element& e : s.elements) {
            pugi::xml_node child = node.append_child(e.name.c_str());
            for (const auto& [name, value] : e.attributes)
                child.append_attribute(name.c_str()).set_value(value.c_str());
        }
    }
    std::ostringstream out;
    doc.save(out);
    return out.str();
}

class DataBaseRead : public ::testing::Test {
protected:
    void SetUp() override { qtest::clearTestDataBases(); }
    void TearDown() override { qtest::clearTestDataBases(); }

    // Writes the sections as a document with several top-level elements and reads it.
    std::filesystem::path write(const std::vector<Section>& sections)
    {
        const auto path = qtest::freshFolder("dbase") / "temp2.xml";
        qtest::writeFile(path, documentText(sections));
        return path;
    }

    std::vector<std::string> read(const std::vector<Section>& sections)
    {
        qtest::LogCapture log("dbase-log");
        const auto path = write(sections);
        readDataBaseFile(path);
        EXPECT_FALSE(std::filesystem::exists(path)); // removed after a complete reading
        return log.lines();
    }

    static std::vector<Section> with(std::vector<Section> extra)
    {
        std::vector<Section> all = requiredSections();
        all.insert(all.end(), extra.begin(), extra.end());
        return all;
    }
};

TEST_F(DataBaseRead, SectionsInAnyOrderBetweenOtherElements)
{
    std::vector<Section> sections =
        with({Section{"similar_types", {{"similar", {{"types", scrambleTypes({"A321", "A320"})}}}}},
              Section{"unrelated", {{"x", {{"types", "A320"}}}}}});
    std::reverse(sections.begin(), sections.end());
    read(sections);
    EXPECT_EQ(validTypes, (OrderedSet{"A320", "A321", "B744", "C172", "C25C", "EC35", "F16"}));
    EXPECT_EQ(categoryOfType("A321"), categoryLarge);
    EXPECT_EQ(categoryOfType("C25C"), categoryBuzjets);
    EXPECT_EQ(icaoAirlines, (OrderedSet{"BAW", "DLH", "PVT", "ZZZ"}));
    EXPECT_EQ(cargoOperators, (OrderedSet{"GEC"}));
    EXPECT_EQ(vendrakeAirports, (OrderedSet{"EDDF", "KLAX"}));
    // The group is sorted after unscrambling.
    ASSERT_EQ(similarGroups.size(), 1u);
    EXPECT_EQ(similarGroups[0], (std::vector<std::string>{"A320", "A321"}));
}

TEST_F(DataBaseRead, RequiredSectionsWithoutValueStopTheReading)
{
    struct Case {
        std::string dropped;
        std::string text;
    };
    const Case cases[] = {{"aircrafts", "61: In an xml file section aircrafts aircraft types is empty "},
                          {"cargo_types", "61: In an xml file section cargo_types cargo_type types is empty "},
                          {"cargo_operators", "61: In an xml file section cargo_operators ICAO codes is empty "},
                          {"vendrakes20", "61: In an xml file section vendrakes20 vendrake20 arpts is empty "}};
    for (const Case& c : cases) {
        qtest::clearTestDataBases();
        std::vector<Section> sections = requiredSections();
        std::erase_if(sections, [&](const Section& s) { return s.name == c.dropped; });
        const auto path = write(sections);
        try {
            readDataBaseFile(path);
            ADD_FAILURE() << c.dropped;
        } catch (const UserErrorException& e) {
            EXPECT_EQ(std::string(e.what()), c.text);
        }
        EXPECT_TRUE(std::filesystem::exists(path)) << "kept after an error";
    }
    // An empty list attribute counts as no value; no later section is read.
    qtest::clearTestDataBases();
    std::vector<Section> sections = requiredSections();
    sections[0].elements[0].attributes[0].second = "";
    EXPECT_THROW(readDataBaseFile(write(sections)), UserErrorException);
    EXPECT_TRUE(heavyTypeSet.empty());
}

TEST_F(DataBaseRead, NotXml)
{
    const auto path = qtest::freshFolder("dbase") / "temp2.xml";
    qtest::writeFile(path, "<aircrafts><aircraft types=\"x\"></large>");
    try {
        readDataBaseFile(path);
        ADD_FAILURE();
    } catch (const UserErrorException& e) {
        EXPECT_EQ(std::string(e.what()).rfind("60: \"", 0), 0u) << e.what();
        EXPECT_NE(std::string(e.what()).find("not read because of"), std::string::npos);
    }
}

TEST_F(DataBaseRead, WingspansFixesAndPublishers)
{
    const auto lines = read(with({
        {"wingspans",
         {{"wingspan", {{"type", scrambleType("A320")}, {"meters", "40"}}},
          {"wingspan", {{"type", scrambleType("A320")}, {"meters", "50"}}}, // the first stays, the max rises
          {"wingspan", {{"type", scrambleType("B744")}, {"meters", "64.44"}}},
          {"wingspan", {{"type", scrambleType("XXXX")}, {"meters", "9"}}},
          {"wingspan", {{"type", scrambleType("C172")}, {"meters", "-3"}}}}},
        {"fixes",
         {{"fx", {{"wro", "A32N"}, {"cor", "A320"}}},
          {"fx", {{"wro", "A32N"}, {"cor", "A321"}}},
          {"fx", {{"wro", "B74F"}, {"cor", ""}}},
          {"fx", {{"wro", "B77F"}, {"cor", "B77L"}}}}},
        {"publishers",
         {{"pub", {{"names", "Orbx,orbx"}}}, {"pub", {{"names", "Orbx,orbx"}}}, {"pub", {{"names", "Aerosoft,,AS"}}}}},
    }));
    EXPECT_DOUBLE_EQ(typeHalfWingSpans.at("A320"), 0.010799136069114472); // 20 m
    EXPECT_DOUBLE_EQ(maxHalfWingSpan, 64.44 * 0.5 / 1852);
    EXPECT_EQ(typeHalfWingSpans.count("C172"), 0u);
    // The average of each category; 0 for a category without spans (not 0 / 0).
    EXPECT_DOUBLE_EQ(categoryHalfWingSpans[categoryLarge], 0.010799136069114472);
    EXPECT_DOUBLE_EQ(categoryHalfWingSpans[categoryLight], 0.0);
    EXPECT_DOUBLE_EQ(wingspanOfType("A321"), 0.010799136069114472);
    EXPECT_DOUBLE_EQ(wingspanOfType("C172"), 0.0);
    EXPECT_EQ(typeFixes, (FnvMap<std::string>{{"A32N", "A320"}}));
    EXPECT_EQ(publisherGroups, (std::vector<std::vector<std::string>>{{"Aerosoft", "", "AS"}, {"Orbx", "orbx"}}));
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "===> wingspan model XXXX is no valid model, skipped",
                         "===> wingspan model C172 has no valid span \"-3\", skipped",
                         "===> wrong part of fix: \"A32N\", already exists, skipped",
                         "===> wrong fix B74F->, the latter is not a valid model",
                         "===> wrong fix B77F->B77L, the latter is not a valid model",
                     }));
}

TEST_F(DataBaseRead, RegistrationsAndABadRecordAmongThem)
{
    const auto lines = read(with({
        {"thirdparties20", {{"thirdpartie20", {{"pub", "Orbx"}, {"arpts", "EGLC12,YBBN40"}}}}},
        {"dbase",
         {{"db", {{"reg", scrambleText("D-AIZZ")}, {"airl", scrambleAirl("DLH")}, {"type", scrambleType("A320")}}},
          {"db", {{"reg", scrambleText("D-AIZZ")}, {"airl", scrambleAirl("BAW")}}},
          {"db",
           {{"reg", scrambleText("G-ABCD")},
            {"airl", scrambleAirl("BAW")},
            {"type", scrambleType("B738")},
            {"opr", scrambleAirl("SHT")},
            {"cargo", "yes"}}},
          {"db", {{"reg", scrambleText("N1234")}, {"airl", "DLHX"}}},             // no 6-letter airline: skipped
          {"db", {{"reg", std::string(26, 'A')}, {"airl", scrambleAirl("DLH")}}}, // beyond the key: skipped
          {"db", {{"reg", scrambleText("HB-JLA")}, {"airl", scrambleAirl("SWR")}, {"type", scrambleType("A320")}}}}},
    }));
    ASSERT_EQ(thirdPartyAirports20.size(), 1u);
    EXPECT_EQ(thirdPartyAirports20[0].airports, (std::vector<std::string>{"EGLC12", "YBBN40"}));
    EXPECT_EQ(registrations.size(), 3u);
    const RegistrationInfo& gabcd = registrations.at("G-ABCD");
    EXPECT_EQ(gabcd.airline, "BAW");
    EXPECT_EQ(gabcd.operatorCode, "SHT");
    EXPECT_TRUE(gabcd.cargo);
    EXPECT_EQ(registrations.at("D-AIZZ").airline, "DLH");
    EXPECT_EQ(registrations.at("HB-JLA").type, "A320"); // read after the bad records
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "===> regcode D-AIZZ already exists");
    EXPECT_EQ(lines[1].rfind("===> dbase record \"", 0), 0u) << lines[1];
    EXPECT_NE(lines[1].find("decrypt airl \"DLHX\" error"), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find("invalid array<T, N> subscript"), std::string::npos) << lines[2];
}

// The add-on package's airport list may be empty: nothing has to be invented to fill it. The
// section itself stays required (see above).
TEST_F(DataBaseRead, AnEmptyAddOnAirportListIsAnAnswer)
{
    std::vector<Section> sections = requiredSections();
    for (Section& s : sections)
        if (s.name == "vendrakes20") s.elements = {{"vendrake20", {{"arpts", ""}}}};
    EXPECT_TRUE(read(sections).empty());
    EXPECT_TRUE(vendrakeAirports.empty());
    EXPECT_TRUE(isValidType("A320")); // the reading went on past the section
}

} // namespace
