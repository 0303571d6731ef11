#include "foundation/indicators.h"
#include "links/udp_receiver.h"
#include "link_test_support.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace qtr;

namespace {

constexpr std::int32_t unchanged = 999; // a QNH no case results in

struct QnhOutcome {
    std::int32_t qnh;
    std::string log;
};

QnhOutcome deliver(QnhReader& reader, const std::string& datagram)
{
    linktest::ScopedLog log("qnh");
    currentQnh = unchanged;
    indicators.qnh = unchanged;
    reader.data = datagram;
    reader.onPacket();
    return {currentQnh.load(), log.text()};
}

} // namespace

TEST(QnhReader, TheTable)
{
    struct Case {
        std::string datagram;
        std::int32_t qnh;
        const char* logged; // a text the log must hold, or nullptr
    };
    const std::vector<Case> cases{
        {R"({"QNH": 1009})", 1009, nullptr},
        {R"({"QNH": 1009.6})", 1010, nullptr},
        {R"({"QNH": 1009.5})", 1010, nullptr},
        {R"({"QNH": "1009"})", 1009, nullptr},
        {R"({"QNH": " 1009hPa"})", 1009, nullptr},
        {R"({"QNH": 2992})", 1013, nullptr},
        {R"({"QNH": 2953})", 1000, nullptr},
        {R"({"QNH": 1080})", 1080, nullptr},
        {R"({"QNH": 930})", 930, nullptr},
        {R"({"QNH": 925})", unchanged, "? Strange QNH 925 found in {\"QNH\": 925}"},
        {R"({"QNH": 1081})", unchanged, "? Strange QNH 366 found in"},
        {R"({"QNH": "abc"})", 1013, "===> QNH string invalid arg: "},
        {R"({"QNH": "99999999999"})", 1013, "===> QNH string out of range: "},
        {R"({"QNH": null})", unchanged, "no QNH {\"QNH\": null}"},
        {R"({})", unchanged, "no QNH {}"},
        {R"({"QNH": []})", unchanged, "no QNH"},
        {R"({"QNH": true})", unchanged, "no QNH"},
        // Values that would wrap or overflow on their way to a 32-bit integer.
        {R"({"QNH": 4294968309})", unchanged, "? Strange QNH 1.45e+09 found in"},
        {R"({"QNH": -4294966283})", unchanged, "? Strange QNH"},
        {R"({"QNH": 1e300})", unchanged, "? Strange QNH 3.39e+299 found in"},
        {R"({"QNH": 1e400})", unchanged, "Exception "},
        {R"([1013])", unchanged, "Exception "},
        {R"(QNH=1013)", unchanged, "Exception "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.datagram);
        QnhReader reader;
        const QnhOutcome out = deliver(reader, c.datagram);
        EXPECT_EQ(out.qnh, c.qnh);
        if (c.qnh != unchanged) {
            EXPECT_EQ(indicators.qnh.load(), c.qnh);
            EXPECT_EQ(trafficReader.currentQnh.load(), c.qnh);
            EXPECT_EQ(reader.lastQnh.load(), c.qnh);
        }
        if (c.logged) {
            EXPECT_NE(out.log.find(c.logged), std::string::npos) << out.log;
        }
    }
}

TEST(QnhReader, ARepeatIsStoredOnceExcept1013)
{
    QnhReader reader;
    EXPECT_EQ(deliver(reader, R"({"QNH": 1009})").qnh, 1009);
    EXPECT_EQ(deliver(reader, R"({"QNH": 1009})").qnh, unchanged);
    for (int i = 0; i < 2; ++i) {
        indicators.weatherLamp = 2;
        EXPECT_EQ(deliver(reader, R"({"QNH": 1013})").qnh, 1013);
        EXPECT_EQ(indicators.weatherLamp.load(), 1);
    }
    indicators.weatherLamp = 3;
}

TEST(QnhReader, RealWeatherDatagrams)
{
    const std::string folder = QM_SOURCE_DIR "/../shared/realdata/realtraffic/";
    auto firstJsonLine = [&](const std::string& name) {
        std::ifstream in(folder + name);
        for (std::string line; std::getline(in, line);) {
            const auto brace = line.find('{');
            if (brace == std::string::npos) continue;
            line = line.substr(brace); // captures put their receive time in front
            while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
            return line;
        }
        return std::string();
    };
    struct Sample {
        const char* file;
        std::int32_t qnh;
    };
    for (const Sample& s :
         {Sample{"weather_KJFK_20190305_2028Z_METAR.json.txt", 1015},
          Sample{"weather_KLAS_20190305_2055Z_METAR.json.txt", 1016},
          Sample{"weather_v10_doc_example_repaired.json", 1020},
          Sample{"aitfc_KLAX_20200617_2152_first400lines.csv", 1015},
          Sample{"aitfc_KPTK_20201128_first300lines.csv", 1018}, Sample{"aitfc_edkb_10s.csv", 1013}}) {
        SCOPED_TRACE(s.file);
        const std::string datagram = firstJsonLine(s.file);
        ASSERT_FALSE(datagram.empty());
        QnhReader reader;
        EXPECT_EQ(deliver(reader, datagram).qnh, s.qnh);
    }
    // The documentation's example as printed is no JSON: logged, nothing changes.
    std::ifstream in(folder + "weather_v10_doc_example_verbatim_pdftext.txt", std::ios::binary);
    const std::string verbatim((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    QnhReader reader;
    const QnhOutcome out = deliver(reader, verbatim);
    EXPECT_EQ(out.qnh, unchanged);
    EXPECT_NE(out.log.find("Exception "), std::string::npos);
}

// A flood of junk from any host of the network: each datagram is logged at most in part, with
// its line feeds escaped (no forged log lines), and repeats of one kind at most once a second.
TEST(QnhReader, AFloodOfJunkLeavesAFewShortLines)
{
    linktest::ScopedLog log("qnh-flood");
    QnhReader reader;
    std::string junk(16000, 'x');
    for (std::size_t i = 0; i < junk.size(); i += 50) junk[i] = '\n';
    for (int i = 0; i < 2000; ++i) {
        reader.data = junk;
        reader.onPacket();
    }
    const std::string text = log.text();
    EXPECT_LT(text.size(), 2000u) << text.substr(0, 500);
    EXPECT_NE(text.find("Exception "), std::string::npos);
    EXPECT_NE(text.find("\\x0A"), std::string::npos);
    EXPECT_NE(text.find(" ... (16000 bytes)"), std::string::npos);
    EXPECT_EQ(text.find("\nxxxxxxxxxx"), std::string::npos); // no line begins inside the datagram
}
