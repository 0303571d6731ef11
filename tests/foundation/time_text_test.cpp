#include "foundation/time_text.h"
#include "links/feed.h"

#include <gtest/gtest.h>

#include <cmath>
#include <regex>

using namespace qtr;

namespace {
constexpr std::int64_t monday = 1704067200; // Mon Jan 01 00:00:00 2024 UTC
constexpr std::int64_t hour = 3600, day = 86400;

// Sets the feed's state for one test and restores it.
struct FeedState {
    FeedState(bool professional, double reportTime)
    {
        feedProfessional = professional;
        latestFeedReportTime = reportTime;
    }
    ~FeedState()
    {
        feedProfessional = false;
        latestFeedReportTime = 0.0;
    }
};
} // namespace

TEST(TimeText, FixedTextForm)
{
    const std::pair<std::int64_t, const char*> cases[] = {
        {0, "Thu Jan 01 00:00:00 1970"},
        {1696489689, "Thu Okt 05 07:08:09 2023"}, // October is "Okt"; the day has two digits
        {monday + 6 * day + 23 * hour + 59 * 60 + 59, "Sun Jan 07 23:59:59 2024"},
        {-1, "Wed Dec 31 23:59:59 1969"},
        {951782400, "Tue Feb 29 00:00:00 2000"},
    };
    for (auto [time, text] : cases) EXPECT_EQ(timeToText(time), text);
    EXPECT_EQ(weekdayName(1), "Mon");
    EXPECT_EQ(weekdayName(7), "Sun");
    EXPECT_EQ(weekdayName(0), "???");
    EXPECT_EQ(weekdayName(8), "???");
    EXPECT_TRUE(std::regex_match(nowTimeText(), std::regex(R"(\d\d:\d\d:\d\d)"))) << nowTimeText();
    EXPECT_TRUE(std::regex_match(nowDateText(), std::regex(R"([A-Z][a-z]{2} \d\d, \d{4})"))) << nowDateText();
}

TEST(DaySlots, WeekdayAndSlotAtTheBoundaries)
{
    const struct {
        std::int64_t time;
        DaySlot slot;
    } cases[] = {
        {monday, {1, 0}}, // midnight
        {monday + 29 * 60 + 29, {1, 0}},
        {monday + 29 * 60 + 30, {1, 1}},
        {monday + 10 * hour + 29 * 60 + 29, {1, 20}}, // 10:29:29
        {monday + 10 * hour + 29 * 60 + 30, {1, 21}}, // 10:29:30
        {monday + 10 * hour + 59 * 60 + 59, {1, 21}},
        {monday + 11 * hour, {1, 22}},
        {monday + 23 * hour + 29 * 60 + 30, {1, 47}},
        {monday + day - 1, {1, 47}}, // 23:59:59
        {monday + day, {2, 0}},
        {monday + 7 * day - 1, {7, 47}}, // Sunday night
        {monday + 7 * day, {1, 0}},      // into Monday
        {-1, {3, 47}},                   // Wed Dec 31 1969 23:59:59
    };
    for (const auto& c : cases) {
        const DaySlot slot = daySlotOf(c.time);
        EXPECT_EQ(slot.weekday, c.slot.weekday) << timeToText(c.time);
        EXPECT_EQ(slot.slot, c.slot.slot) << timeToText(c.time);
    }
}

TEST(DaySlots, ProgramClockFollowsTheProfessionalFeed)
{
    {
        FeedState feed(true, double(monday + 10 * hour + 29 * 60 + 30) + 0.9);
        EXPECT_EQ(programClockSeconds(), monday + 10 * hour + 29 * 60 + 30); // truncated
        EXPECT_EQ(currentDaySlot(), (DaySlot{1, 21}));
        EXPECT_EQ(simTimeText(), "10:29:30");
    }
    // Not the professional edition, no report yet, or a report time that is no time: the PC's clock.
    const std::pair<bool, double> pcClock[] = {
        {false, double(monday)}, {true, 0.0}, {true, NAN}, {true, INFINITY}, {true, 1e300}};
    for (auto [professional, reportTime] : pcClock) {
        FeedState feed(professional, reportTime);
        const std::int64_t before = nowUtcSeconds();
        const std::int64_t clock = programClockSeconds();
        const std::int64_t after = nowUtcSeconds();
        EXPECT_TRUE(before <= clock && clock <= after) << professional << " " << reportTime;
    }
}

TEST(DaySlots, CompareCountsSlotsFromTheEarlierToTheLater)
{
    const struct {
        DaySlot a, b;
        std::uint32_t slots;
    } cases[] = {
        {{1, 0}, {7, 47}, 1}, // Sunday into Monday
        {{2, 0}, {1, 47}, 1},     {{3, 5}, {3, 5}, 0},  {{3, 10}, {3, 4}, 6},
        {{5, 0}, {1, 0}, 4 * 48}, {{1, 0}, {7, 0}, 48}, {{7, 47}, {1, 0}, 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(compareDaySlot(c.a, c.b), c.slots)
            << c.a.weekday << "/" << c.a.slot << " " << c.b.weekday << "/" << c.b.slot;
        EXPECT_EQ(compareDaySlot(c.b, c.a), c.slots);
    }
}
