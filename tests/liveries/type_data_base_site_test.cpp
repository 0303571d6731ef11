// The aircraft type data base that tools/dbase/make_dbase.py makes from the real captures,
// fetched from a download site, a download that fails and the copy the program ships with.
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
#include <optional>
#include <set>
#include <sstream>
#include <tuple>

using namespace qtr;

namespace {

// A small data base document of its own (seven types), to tell it from the generated one.
// Half-read: a made-up eighth type, and no "heavy" section, so that reading it fails after the
// types were taken.
std::string smallDocument(bool halfRead = false)
{
    pugi::xml_document doc;
    const auto add = [&doc](const char* section, const char* element, const char* attribute, const std::string& value) {
        doc.append_child(section).append_child(element).append_attribute(attribute).set_value(value.c_str());
    };
    std::string types = qtest::scrambleTypes({"A320", "A321", "B744", "C172", "EC35", "F16", "C25C"});
    if (halfRead) types += "," + qtest::scrambleType("QZ99");
    add("aircrafts", "aircraft", "types", types);
    add("high_performance", "hpf", "types", qtest::scrambleTypes({"F16"}));
    if (!halfRead) add("heavy", "hvy", "types", qtest::scrambleTypes({"B744"}));
    add("large", "lar", "types", qtest::scrambleTypes({"A320", "A321"}));
    add("buzjet", "bzj", "types", qtest::scrambleTypes({"C25C"}));
    add("rotorcraft", "rot", "types", qtest::scrambleTypes({"EC35"}));
    add("cargo_types", "cargo_type", "types", qtest::scrambleTypes({"B744"}));
    add("ICAO_airlines", "ICAO", "codes", qtest::scrambleAirlines({"DLH", "ZZZ", "PVT"}));
    add("cargo_operators", "ICAO", "codes", qtest::scrambleAirlines({"GEC"}));
    add("vendrakes20", "vendrake20", "arpts", "");
    std::ostringstream out;
    doc.save(out);
    return out.str();
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
    return c.size() >= 4 && std::isupper(static_cast<unsigned char>(c[0])) &&
           std::isupper(static_cast<unsigned char>(c[1])) && std::isupper(static_cast<unsigned char>(c[2])) &&
           std::isdigit(static_cast<unsigned char>(c[3]));
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
    for (const auto& [type, category] :
         std::initializer_list<std::pair<const char*, std::uint32_t>>{{"A20N", categoryLarge},
                                                                      {"B789", categoryHeavy},
                                                                      {"C172", categoryLight},
                                                                      {"CL35", categoryBuzjets},
                                                                      {"AS50", categoryRotorcraft},
                                                                      {"F16", categoryHighPerf}})
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

    for (const auto& [type, category, spanMetres] :
         std::initializer_list<std::tuple<const char*, std::uint32_t, double>>{{"B38M", categoryLarge, 35.92},
                                                                               {"BCS3", categoryLarge, 35.10},
                                                                               {"DH8D", categoryLarge, 28.42},
                                                                               {"E295", categoryLarge, 35.12},
                                                                               {"A339", categoryHeavy, 64.00},
                                                                               {"B77W", categoryHeavy, 64.80},
                                                                               {"GLEX", categoryBuzjets, 28.65},
                                                                               {"C56X", categoryBuzjets, 16.98},
                                                                               {"BE20", categoryLight, 16.61},
                                                                               {"R44", categoryRotorcraft, 10.06},
                                                                               {"F22", categoryHighPerf, 13.56}}) {
        EXPECT_EQ(categoryOfType(type), category) << type;
        EXPECT_NEAR(wingspanOfType(type) * 2 * 1852, spanMetres, 0.01) << type;
    }
    const auto sameGroup = [](const std::string& a, const std::string& b) {
        return std::any_of(similarGroups.begin(), similarGroups.end(), [&](const std::vector<std::string>& g) {
            return std::find(g.begin(), g.end(), a) != g.end() && std::find(g.begin(), g.end(), b) != g.end();
        });
    };
    for (const auto& [a, b] : std::initializer_list<std::pair<const char*, const char*>>{{"B733", "B38M"},
                                                                                         {"B738", "B39M"},
                                                                                         {"A20N", "A318"},
                                                                                         {"E170", "E295"},
                                                                                         {"CRJ2", "CRJX"},
                                                                                         {"DH8A", "DH8D"},
                                                                                         {"A332", "A339"},
                                                                                         {"A359", "A35K"},
                                                                                         {"B772", "B77W"},
                                                                                         {"B788", "B78X"}})
        EXPECT_TRUE(sameGroup(a, b)) << a << " " << b;
    for (const auto& group : similarGroups)
        for (const std::string& member : group)
            EXPECT_EQ(categoryOfType(member), categoryOfType(group.front())) << member;
    qtest::clearTestDataBases();
}

// The program ships the generated data base as "input/dbase.zip": without the site, or with a
// data base from the site that cannot be read, it starts from that copy, with a log line, and
// nothing of the unreadable one stays; when the site answers, its fresh data base wins.
TEST_F(RealDataBase, ShippedCopyWhenTheSiteFails)
{
    const std::string real = qtest::readFile(QM_DBASE_ZIP);
    const std::string fromSite = qtest::makeZip({{"dbase.xml", smallDocument()}});
    const std::string document = smallDocument();
    const std::string cutShort = qtest::makeZip({{"dbase.xml", document.substr(0, document.find("types=") + 20)}});
    const std::string halfRead = qtest::makeZip({{"dbase.xml", smallDocument(true)}});
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
        {"site's data base cut short, shipped copy", cutShort, real, true, 0, true},
        {"site's data base fails half-read, shipped copy", halfRead, real, true, 0, true},
        {"site's data base cut short, damaged copy", cutShort, qtest::damageFirstEntry(real), false, 0, false},
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
        EXPECT_FALSE(isValidType("QZ99")); // of no data base that was read whole
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
