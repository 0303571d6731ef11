#include "links/udp_receiver.h"
#include "rtpeer.h"
#include "support/test_support.h"
#include "traffic/run/worker.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace qtr;

namespace {

std::size_t fieldCount(const std::string& line) { return std::count(line.begin(), line.end(), ',') + 1; }

} // namespace

TEST(RtPeer, ConvertsOlderLinesIntoTheNewerFieldPositions)
{
    const auto converted = rtpeer::convertAitfcLine(
        "AITFC,10902390,33.9815,-117.9480,6200,-896,1,263,292,AAL566,A321,N509AY,PHL,LAX,1592423568");
    ASSERT_TRUE(converted);
    EXPECT_EQ(fieldCount(*converted), 42u);
    EXPECT_FALSE(rtpeer::convertAitfcLine(R"({"ICAO": "KLAX","QNH": "2996"})"));

    // The converted line reads back through the parser to the values of the capture.
    TrafficReader reader;
    reader.userLat = 33.94;
    reader.userLon = -118.40;
    reader.data = *converted;
    reader.splitFields();
    const auto report = reader.parseLine();
    ASSERT_TRUE(report);
    EXPECT_EQ(report->flightId, 10902390u);
    EXPECT_EQ(report->callsign, "AAL566");
    EXPECT_EQ(report->type, "A321");
    EXPECT_EQ(report->registration, "N509AY");
    EXPECT_EQ(report->origin, "PHL");
    EXPECT_DOUBLE_EQ(report->position.alt, 6200);
    EXPECT_DOUBLE_EQ(report->position.verticalSpeed, -896);
    EXPECT_DOUBLE_EQ(report->position.track, 263);
    EXPECT_DOUBLE_EQ(report->position.speed, 292);
    EXPECT_DOUBLE_EQ(report->position.tas, 250); // none in the capture: the default for 6200 ft
    EXPECT_DOUBLE_EQ(report->reportTime, 1592423568);
}

TEST(RtPeer, ACaptureBecomesARecordingInTimeOrder)
{
    const std::string capture = "{\"QNH\": \"2996\"}\n"
                                "AITFC,533036617,24.4381,54.6401,0,0,1,129,32,ETD40Y,A320,A6-EIR,AUH,DMM\r\n"
                                "AITFC,11260357,33.9483,-118.4100,0,0,1,42,0,SWA962,B738,N8604K,SFO,LAX,1592423555\n"
                                "AITFC,854930,33.9404,-118.3844,0,0,1,81,20,VIV511,A20N,XA-VIQ,LAX,GDL,1592423552\n"
                                "garbage\n";
    const auto recording = rtpeer::convertCapture(capture, 0);
    ASSERT_EQ(recording.size(), 3u); // the line without a time stamp is left out
    EXPECT_TRUE(recording[0].qnh);
    EXPECT_EQ(recording[0].text, R"({"QNH":"2996"})");
    EXPECT_EQ(recording[1].at, 0.0);
    EXPECT_NE(recording[1].text.find("VIV511"), std::string::npos);
    EXPECT_EQ(recording[2].at, 3.0);

    const auto again = rtpeer::parseRecording(rtpeer::formatRecording(recording, "a comment"));
    ASSERT_EQ(again.size(), recording.size());
    for (std::size_t i = 0; i < again.size(); ++i) {
        EXPECT_EQ(again[i].text, recording[i].text);
        EXPECT_EQ(again[i].qnh, recording[i].qnh);
    }
    EXPECT_THROW(rtpeer::parseRecording("1.0 radio hello\n"), std::runtime_error);
    EXPECT_EQ(rtpeer::restampTraffic(recording[1].text, 1700000000.25).find(",1700000000.25,"),
              recording[1].text.find(",1592423552,"));
}

// Captures that carry the time only in front of each line ("<epoch> : AITFC,..." without the
// report's own time stamp) convert with that time; a capture without any traffic with a time, or a
// recording that cannot be written, is an error rather than an empty or missing file.
TEST(RtPeer, ConvertsCapturesWithReceiveTimesAndFailsWhenNothingIsWritten)
{
    const auto recording =
        rtpeer::convertCapture("1552343969.68 : AITFC,1,24.4381,54.6401,0,0,1,129,32,ETD40Y,A320,A6-EIR,AUH,DMM\n"
                               "1552343971.18 : AITFC,2,25.2468,55.3790,0,0,1,120,33,UAE705,B77W,A6-END,DXB,SEZ\n",
                               0);
    ASSERT_EQ(recording.size(), 2u);
    EXPECT_EQ(recording[0].at, 0.0);
    EXPECT_NEAR(recording[1].at, 1.5, 1e-9);
    EXPECT_NE(recording[1].text.find(",1552343971.18,"), std::string::npos);

    const auto folder = qtest::freshFolder("rtpeer_convert");
    const std::string realCapture = QM_SOURCE_DIR "/../shared/realdata/realtraffic/aitfc_MMMX_1_timestamped.txt";
    EXPECT_EQ(rtpeer::convertCaptureFile(realCapture, (folder / "mmmx.rec").string(), 0), 44u);
    EXPECT_EQ(rtpeer::loadRecording((folder / "mmmx.rec").string()).size(), 44u);

    qtest::writeFile(folder / "weather_only.txt", "1552343969.68 : {\"ICAO\": \"MMMX\", \"QNH\": \"3001\"}\n");
    struct Case {
        const char* what;
        std::filesystem::path capture, recording;
    };
    const Case cases[] = {
        {"no traffic in the capture", folder / "weather_only.txt", folder / "weather.rec"},
        {"no such output folder", realCapture, folder / "missing" / "mmmx.rec"},
        {"no such capture", folder / "missing.txt", folder / "none.rec"},
    };
    for (const Case& c : cases) {
        EXPECT_THROW(rtpeer::convertCaptureFile(c.capture.string(), c.recording.string(), 0), std::runtime_error)
            << c.what;
        EXPECT_FALSE(std::filesystem::exists(c.recording)) << c.what;
    }
}

TEST(RtPeer, TheRecordingOfTheRepoLoadsAndParses)
{
    const auto recording = rtpeer::loadRecording(QM_SOURCE_DIR "/tools/rtpeer/recordings/klax_20200617.rec");
    ASSERT_GT(recording.size(), 100u);
    TrafficReader reader;
    reader.userLat = 33.94;
    reader.userLon = -118.40;
    reader.parkAirportSet = true;
    reader.parkLat = 33.9425;
    reader.parkLon = -118.4081;
    std::size_t accepted = 0, traffic = 0;
    for (const auto& d : recording) {
        if (d.qnh) continue;
        ++traffic;
        reader.data = d.text;
        reader.splitFields();
        if (reader.parseLine()) ++accepted;
    }
    // Most aircraft of the capture are wanted; those without a type are not.
    EXPECT_GT(accepted, traffic / 2);
    EXPECT_LT(accepted, traffic);
}
