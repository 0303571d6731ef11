// Reports of a run about liveries: the match summary, titles the simulator refused (the 20th ends
// the run), the no-match list; and the stock model table.
#include "foundation/indicators.h"
#include "foundation/errors.h"
#include "foundation/log_capture.h"
#include "foundation/parameters/parameter_table.h"
#include "liveries/livery_matcher.h"
#include "liveries/livery_reports.h"
#include "liveries/stock_models.h"
#include "traffic/state/records.h"
#include "foundation/run_control.h"

#include <gtest/gtest.h>

using namespace qtr;

namespace {

class LiveryReports : public ::testing::Test {
protected:
    void SetUp() override
    {
        clearLiveryMatcher();
        stopRequested = false;
        windowClosed = false;
    }
    void TearDown() override { clearLiveryMatcher(); }
};

FlightRecord refused(const std::string& callsign, const std::string& type, const std::string& airline,
                     const char* title)
{
    FlightRecord r;
    r.callsign = callsign;
    r.type = type;
    r.airline = airline;
    r.livery = title;
    return r;
}

TEST_F(LiveryReports, SummaryWithoutAndWithRefusedLiveries)
{
    {
        qtest::LogCapture log("summary");
        gf_writeLiveryMatchSummary();
        const auto lines = log.lines();
        // The framed title after its line break, the header, six steps, the closing line and
        // what its line break leaves.
        ASSERT_EQ(lines.size(), 11u);
        EXPECT_EQ(lines[0], "");
        EXPECT_EQ(lines[1], std::string(31, '*') + " live traffic livery matching summary " + std::string(31, '*'));
        EXPECT_EQ(lines[1].size(), 100u);
        EXPECT_EQ(lines[2], "Matches at step: ");
        EXPECT_EQ(lines[3], "  1: 0");
        EXPECT_EQ(lines[8], "  6: 0");
        EXPECT_EQ(lines[9], std::string(100, '*'));
    }
    matchCounters[1] = 7;
    onLiveryNotCreated(refused("DLH1", "A320", "DLH", "t1"));
    onLiveryNotCreated(refused("DLH2", "A320", "DLH", "t2"));
    onLiveryNotCreated(refused("BAW1", "B738", "BAW", "t3"));
    EXPECT_EQ(failedTitles, (std::vector<std::string>{"t1", "t2", "t3"}));
    EXPECT_EQ(failedLiveries(), (std::vector<std::string>{"  A320 DLH", "  B738 BAW"}));
    EXPECT_EQ(indicators.statusLine(), "BAW1 \"t3\" could not be created by your Sim!");
    qtest::LogCapture log("summary-failed");
    gf_writeLiveryMatchSummary();
    const auto lines = log.lines();
    EXPECT_EQ(lines[4], "  2: 7");
    EXPECT_EQ(lines[9], "");
    EXPECT_EQ(lines[10], "Could not be created by MSFS:");
    EXPECT_EQ(lines[11], "  A320 DLH");
    EXPECT_EQ(lines[12], "  B738 BAW");
}

TEST_F(LiveryReports, TheTwentiethRefusalEndsTheRun)
{
    qtest::LogCapture log("refusals");
    for (int k = 1; k < 20; ++k) onLiveryNotCreated(refused("X", "A320", "DLH", "t"));
    try {
        onLiveryNotCreated(refused("X", "A320", "DLH", "t"));
        ADD_FAILURE();
    } catch (const UserErrorException& e) {
        EXPECT_EQ(std::string(e.what()),
                  "81: there are too many liveries that could not be created by MSFS!, see Log.txt");
    }
    EXPECT_EQ(failedTitles.size(), 20u);
    const auto lines = log.lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "===> Error 81, there are too many liveries that could not be created by MSFS!"),
              lines.end());
    // Once the program stops nothing more is noted.
    stopRequested = true;
    onLiveryNotCreated(refused("Y", "A320", "DLH", "u"));
    EXPECT_EQ(failedTitles.size(), 20u);
    stopRequested = false;
}

TEST_F(LiveryReports, NoMatchList)
{
    qtest::LogCapture log("no-match");
    LOG.setValue(true);
    logNoMatchList(); // empty: nothing
    unmatchedNames = {"DLH A320 D-AIAB", "BAW B738 G-EUYA"};
    LOG.setValue(false);
    logNoMatchList(); // LOG off: nothing
    LOG.setValue(true);
    logNoMatchList();
    EXPECT_EQ(log.lines(),
              (std::vector<std::string>{"", "No match found for: ", "BAW B738 G-EUYA", "DLH A320 D-AIAB", ""}));
}

TEST(StockModels, FolderNames)
{
    EXPECT_EQ(stockModelTypes.size(), 30u);
    EXPECT_EQ(stockModelType("Asobo_C172sp_classic"), "C172");
    EXPECT_EQ(stockModelType("asobo_c172sp_classic"), "");
    EXPECT_EQ(stockModelType("Asobo_E330"), "E300");
    EXPECT_EQ(stockModelType("FlyByWire_A320_NEO"), "A20N");
}

} // namespace
