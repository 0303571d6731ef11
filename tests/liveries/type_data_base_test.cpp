// Reading the aircraft type data base: a small scrambled document per case, and the data base
// that tools/dbase/make_dbase.py makes from the real captures, fetched from a download site.
#include "foundation/errors.h"
#include "foundation/log_capture.h"
#include "foundation/site_fixture.h"
#include "foundation/utilities.h"
#include "liveries/type_data_base.h"
#include "liveries/type_queries.h"
#include "scrambler.h"
#include "support/livery_support.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <tuple>

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
        {"aircrafts", {{"aircraft", {{"types", scrambleTypes({"A320", "A321", "B744", "C172", "EC35", "F16", "C25C"})}}}}},
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
            for (const auto& [name, value] : e.attributes) child.append_attribute(name.c_str()).set_value(value.c_str());
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
    std::vector<Section> sections = with({Section{"similar_types", {{"similar", {{"types", scrambleTypes({"A321", "A320"})}}}}},
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
          {"db", {{"reg", scrambleText("G-ABCD")}, {"airl", scrambleAirl("BAW")}, {"type", scrambleType("B738")},
                  {"opr", scrambleAirl("SHT")}, {"cargo", "yes"}}},
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

// The registration, airline and type of every aircraft that the real captures and the recording
// report with a type; the same rule as the data base script: an airline callsign (three letters
// and a digit) gives the airline, a flight under its own registration "PVT".
std::string withoutHyphens(std::string text)
{
    std::erase(text, '-');
    return text;
}

bool airlineCallsign(const std::string& c)
{
    return c.size() >= 4 && std::isupper(static_cast<unsigned char>(c[0])) && std::isupper(static_cast<unsigned char>(c[1])) &&
           std::isupper(static_cast<unsigned char>(c[2])) && std::isdigit(static_cast<unsigned char>(c[3]));
}

// The callsign, type and registration of every traffic line of the real captures and of every
// recording of the run.
std::vector<std::array<std::string, 3>> captureSightings()
{
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::directory_iterator(QM_SOURCE_DIR "/../shared/realdata/realtraffic"))
        if (e.path().extension() == ".csv" || e.path().extension() == ".txt") files.push_back(e.path());
    for (const auto& e : std::filesystem::directory_iterator(QM_SOURCE_DIR "/tools/rtpeer/recordings"))
        if (e.path().extension() == ".rec") files.push_back(e.path());
    std::vector<std::array<std::string, 3>> sightings;
    for (const auto& file : files) {
        std::ifstream in(file);
        for (std::string line; std::getline(in, line);) {
            for (const std::string cut : {" : ", " traffic "})
                if (const auto p = line.find(cut); p != std::string::npos) line = line.substr(p + cut.size());
            const auto f = gf_splitUntrimmed(gf_trim(line), ',');
            if (f.size() < 12 || (f[0] != "AITFC" && f[0] != "RTTFC")) continue;
            sightings.push_back({gf_trim(f[9]), gf_trim(f[10]), gf_trim(f[11])});
        }
    }
    return sightings;
}

std::map<std::string, std::pair<std::string, std::string>> captureRegistrations()
{
    std::map<std::string, std::pair<std::string, std::string>> regs;
    for (const auto& [callsign, type, reg] : captureSightings()) {
        if (reg.empty()) continue;
        auto& [airline, knownType] = regs[reg];
        if (knownType.empty() && isValidType(type)) knownType = type;
        std::string seen;
        if (airlineCallsign(callsign))
            seen = callsign.substr(0, 3);
        else if (!callsign.empty() && withoutHyphens(callsign) == withoutHyphens(reg))
            seen = "PVT";
        if (!seen.empty() && (airline.empty() || airline == "PVT")) airline = seen;
    }
    // A record without an airline of the airline list would only carry an unknown: left out.
    std::erase_if(regs, [](const auto& r) { return r.second.second.empty() || !isIcaoAirline(r.second.first); });
    return regs;
}

class RealDataBase : public qtest::SiteTest {};

TEST_F(RealDataBase, EveryRegistrationOfTheCapturesResolves)
{
    server.setRoute("/MSFS/dbase.zip", qmhttp::Route::ok(qtest::readFile(QM_DBASE_ZIP)));
    qtest::clearTestDataBases();
    std::filesystem::create_directories("input");
    readDataBase();
    EXPECT_TRUE(requested("/MSFS/dbase.zip"));
    EXPECT_FALSE(std::filesystem::exists(dataBaseTempPath));
    EXPECT_GT(icaoAirlines.size(), 5000u); // the OpenFlights codes
    for (const char* code : {"DLH", "AAL", "SWA", "PVT", "ZZZ"}) EXPECT_TRUE(isIcaoAirline(code)) << code;
    EXPECT_FALSE(highPerfTypeSet.empty());
    for (const auto& [type, category] : std::initializer_list<std::pair<const char*, std::uint32_t>>{
             {"A20N", categoryLarge}, {"B789", categoryHeavy}, {"C172", categoryLight}, {"CL35", categoryBuzjets},
             {"AS50", categoryRotorcraft}, {"F16", categoryHighPerf}})
        EXPECT_EQ(categoryOfType(type), category) << type;
    EXPECT_NEAR(wingspanOfType("B738") * 2 * 1852, 35.79, 0.01);

    const auto regs = captureRegistrations();
    EXPECT_GT(regs.size(), 200u);
    EXPECT_EQ(regs.size(), registrations.size());
    for (const auto& [reg, expected] : regs) {
        const auto info = registrationInfo(reg);
        ASSERT_TRUE(info.has_value()) << reg;
        EXPECT_EQ(info->airline, expected.first) << reg;
        EXPECT_EQ(info->type, expected.second) << reg;
    }
    // A few by hand: a freighter of a cargo operator, an airline flight, a private one.
    EXPECT_TRUE(registrationInfo("N168FE")->cargo);
    EXPECT_EQ(registrationInfo("XA-VIQ")->airline, "VIV");
    EXPECT_EQ(registrationInfo("N52070")->airline, "PVT");
    EXPECT_EQ(registrationInfo("DE-EZU"), std::nullopt); // stored as the capture writes it: DEEZU
    EXPECT_EQ(registrationInfo("DEEZU")->type, "C172");
    qtest::clearTestDataBases();
}

// Every type that real traffic reports is known, so that no report is dropped at intake for its
// type; today's types land in their categories and families.
TEST_F(RealDataBase, EveryTypeOfTheCapturesIsKnown)
{
    server.setRoute("/MSFS/dbase.zip", qmhttp::Route::ok(qtest::readFile(QM_DBASE_ZIP)));
    qtest::clearTestDataBases();
    std::filesystem::create_directories("input");
    readDataBase();
    std::set<std::string> reported;
    for (const auto& sighting : captureSightings())
        if (!sighting[1].empty() && sighting[1] != "ZZZC") reported.insert(sighting[1]); // ZZZC: "no type"
    EXPECT_GT(reported.size(), 80u);
    for (const std::string& type : reported) EXPECT_TRUE(isValidType(type)) << type;

    for (const auto& [type, category, spanMetres] : std::initializer_list<std::tuple<const char*, std::uint32_t, double>>{
             {"B38M", categoryLarge, 35.92}, {"BCS3", categoryLarge, 35.10}, {"DH8D", categoryLarge, 28.42},
             {"E295", categoryLarge, 35.12}, {"A339", categoryHeavy, 64.00}, {"B77W", categoryHeavy, 64.80},
             {"GLEX", categoryBuzjets, 28.65}, {"C56X", categoryBuzjets, 16.98}, {"BE20", categoryLight, 16.61},
             {"R44", categoryRotorcraft, 10.06}, {"F22", categoryHighPerf, 13.56}}) {
        EXPECT_EQ(categoryOfType(type), category) << type;
        EXPECT_NEAR(wingspanOfType(type) * 2 * 1852, spanMetres, 0.01) << type;
    }
    const auto sameGroup = [](const std::string& a, const std::string& b) {
        return std::any_of(similarGroups.begin(), similarGroups.end(), [&](const std::vector<std::string>& g) {
            return std::find(g.begin(), g.end(), a) != g.end() && std::find(g.begin(), g.end(), b) != g.end();
        });
    };
    for (const auto& [a, b] : std::initializer_list<std::pair<const char*, const char*>>{
             {"B733", "B38M"}, {"B738", "B39M"}, {"A20N", "A318"}, {"E170", "E295"}, {"CRJ2", "CRJX"},
             {"DH8A", "DH8D"}, {"A332", "A339"}, {"A359", "A35K"}, {"B772", "B77W"}, {"B788", "B78X"}})
        EXPECT_TRUE(sameGroup(a, b)) << a << " " << b;
    for (const auto& group : similarGroups)
        for (const std::string& member : group)
            EXPECT_EQ(categoryOfType(member), categoryOfType(group.front())) << member;
    qtest::clearTestDataBases();
}

// The program ships the generated data base as "input/dbase.zip": without the site it starts
// from that copy, with a log line; when the site answers, its fresh data base wins.
TEST_F(RealDataBase, ShippedCopyWhenTheSiteFails)
{
    const std::string real = qtest::readFile(QM_DBASE_ZIP);
    const std::string fromSite = qtest::makeZip({{"dbase.xml", documentText(requiredSections())}});
    const std::string fallbackLine = "data base could not be read from on-line, reading the shipped input";
    struct Case {
        const char* what;
        std::optional<std::string> site, shipped;
        bool reads;
        std::size_t types; // how many types were read
        bool fellBack;
    };
    const Case cases[] = {
        {"site down, shipped copy", std::nullopt, real, true, 0, true},
        {"site answers, shipped copy", fromSite, real, true, 7, false},
        {"site down, damaged copy", std::nullopt, qtest::damageFirstEntry(real), false, 0, false},
        {"site down, no zip copy", std::nullopt, std::string("no zip"), false, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        qtest::clearTestDataBases();
        server.clearRoutes();
        if (c.site) server.setRoute("/MSFS/dbase.zip", qmhttp::Route::ok(*c.site));
        std::filesystem::create_directories("input");
        qtest::writeFile(shippedDataBaseZip, *c.shipped);
        const std::size_t logBefore = log().size();
        bool read = true;
        try {
            readDataBase();
        } catch (const std::runtime_error& e) {
            read = false;
            EXPECT_EQ(std::string(e.what()), "data base could not be read from on-line?");
        }
        EXPECT_EQ(read, c.reads);
        EXPECT_FALSE(std::filesystem::exists(dataBaseTempPath));
        EXPECT_EQ(qtest::readFile(shippedDataBaseZip), *c.shipped); // the shipped copy stays as it is
        const std::string lines = log().substr(logBefore);
        EXPECT_EQ(lines.find(fallbackLine) != std::string::npos, c.fellBack) << lines;
        if (!c.reads) continue;
        if (c.types != 0) {
            EXPECT_EQ(validTypes.size(), c.types);
        } else {
            EXPECT_GT(validTypes.size(), 300u);
            EXPECT_TRUE(isValidType("B38M"));
            EXPECT_GT(registrations.size(), 200u);
        }
    }
    qtest::clearTestDataBases();
}

TEST_F(RealDataBase, FailedDownload)
{
    qtest::clearTestDataBases();
    try {
        readDataBase();
        ADD_FAILURE();
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "data base could not be read from on-line?");
    }
}

} // namespace
