// The aircraft type data base that tools/dbase/make_dbase.py makes from the real captures,
// fetched from a download site, and a download that fails.
#include "foundation/site_fixture.h"
#include "foundation/utilities.h"
#include "liveries/type_data_base.h"
#include "liveries/type_queries.h"
#include "support/livery_support.h"

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <map>

using namespace qtr;

namespace {

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

std::map<std::string, std::pair<std::string, std::string>> captureRegistrations()
{
    std::map<std::string, std::pair<std::string, std::string>> regs;
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::directory_iterator(QM_SOURCE_DIR "/../shared/realdata/realtraffic"))
        if (e.path().extension() == ".csv" || e.path().extension() == ".txt") files.push_back(e.path());
    files.push_back(QM_SOURCE_DIR "/tools/rtpeer/recordings/klax_20200617.rec");
    for (const auto& file : files) {
        std::ifstream in(file);
        for (std::string line; std::getline(in, line);) {
            for (const std::string cut : {" : ", " traffic "})
                if (const auto p = line.find(cut); p != std::string::npos) line = line.substr(p + cut.size());
            const auto f = gf_splitUntrimmed(gf_trim(line), ',');
            if (f.size() < 12 || (f[0] != "AITFC" && f[0] != "RTTFC")) continue;
            const std::string callsign = gf_trim(f[9]), type = gf_trim(f[10]), reg = gf_trim(f[11]);
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
    }
    std::erase_if(regs, [](const auto& r) { return r.second.second.empty(); });
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
