#include "foundation/time_text.h"

#include "foundation/clock.h"

#include <fmt/format.h>

#include <chrono>
#include <cmath>
#include <unordered_map>
#include <utility>

namespace qtr {

std::atomic<bool> feedProfessional{false};
std::atomic<double> latestFeedReportTime{0.0};

namespace {

struct BrokenDown {
    int weekday; // 1 Monday ... 7 Sunday
    int year, month, day, hour, minute, second;
};

// UTC calendar fields of a time; works for any time of the calendar, also before 1970.
BrokenDown breakDown(std::int64_t secondsSince1970)
{
    using namespace std::chrono;
    const sys_seconds time{seconds{secondsSince1970}};
    const sys_days day = floor<days>(time);
    const year_month_day date{day};
    const hh_mm_ss clock{time - day};
    return {static_cast<int>(weekday{day}.iso_encoding()),
            static_cast<int>(date.year()),
            static_cast<int>(static_cast<unsigned>(date.month())),
            static_cast<int>(static_cast<unsigned>(date.day())),
            static_cast<int>(clock.hours().count()),
            static_cast<int>(clock.minutes().count()),
            static_cast<int>(clock.seconds().count())};
}

std::string monthName(int month)
{
    static const std::unordered_map<int, std::string> names{{1, "Jan"}, {2, "Feb"},  {3, "Mar"},  {4, "Apr"},
                                                            {5, "May"}, {6, "Jun"},  {7, "Jul"},  {8, "Aug"},
                                                            {9, "Sep"}, {10, "Okt"}, {11, "Nov"}, {12, "Dec"}};
    const auto it = names.find(month);
    return it == names.end() ? "???" : it->second;
}

// hh:mm:ss of a time.
std::string clockText(std::int64_t secondsSince1970)
{
    const std::string text = timeToText(secondsSince1970);
    return text.substr(text.size() - 13, 8);
}

} // namespace

std::int64_t nowUtcSeconds()
{
    using namespace std::chrono;
    return duration_cast<seconds>(clock().systemNow().time_since_epoch()).count();
}

std::int64_t programClockSeconds()
{
    if (feedProfessional.load()) {
        const double reportTime = latestFeedReportTime.load();
        // A report time that is not a plausible time (not finite, or beyond the year 5000)
        // cannot be turned into whole seconds; the PC's clock stands in for it.
        if (reportTime != 0.0 && std::isfinite(reportTime) && std::fabs(reportTime) < 1e11)
            return static_cast<std::int64_t>(std::trunc(reportTime));
    }
    return nowUtcSeconds();
}

std::string weekdayName(int weekday)
{
    static const std::unordered_map<int, std::string> names{{1, "Mon"}, {2, "Tue"}, {3, "Wed"}, {4, "Thu"},
                                                            {5, "Fri"}, {6, "Sat"}, {7, "Sun"}};
    const auto it = names.find(weekday);
    return it == names.end() ? "???" : it->second;
}

std::string timeToText(std::int64_t secondsSince1970)
{
    const BrokenDown t = breakDown(secondsSince1970);
    return fmt::format("{:3} {:3} {:02} {:02}:{:02}:{:02} {:4}", weekdayName(t.weekday), monthName(t.month), t.day,
                       t.hour, t.minute, t.second, t.year);
}

std::string nowTimeText() { return clockText(nowUtcSeconds()); }

std::string simTimeText() { return clockText(programClockSeconds()); }

std::string nowDateText()
{
    const std::string text = timeToText(nowUtcSeconds());
    return fmt::format("{}, {}", text.substr(4, 6), text.substr(20, 4));
}

DaySlot daySlotOf(std::int64_t secondsSince1970)
{
    const BrokenDown t = breakDown(secondsSince1970);
    const bool secondHalf = t.minute >= 30 || (t.minute == 29 && t.second >= 30);
    return {static_cast<std::uint32_t>(t.weekday),
            static_cast<std::uint32_t>((2 * t.hour + (secondHalf ? 1 : 0)) % 48)};
}

DaySlot currentDaySlot() { return daySlotOf(programClockSeconds()); }

float averageFitHours(std::int64_t slotsApart, int count)
{
    return count == 0 ? 0.0f : static_cast<float>(slotsApart) / (2.0f * static_cast<float>(count)) + 0.5f;
}

std::uint32_t compareDaySlot(DaySlot a, DaySlot b)
{
    // Put the later point first: Monday follows Sunday; otherwise the higher weekday, then the
    // higher slot, is later.
    const bool bLater =
        (b.weekday == 1 && a.weekday == 7) ||
        (!(a.weekday == 1 && b.weekday == 7) && (b.weekday > a.weekday || (b.weekday == a.weekday && b.slot > a.slot)));
    if (bLater) std::swap(a, b);
    const std::int64_t wrap = (a.weekday == 1 && b.weekday == 7) ? 7 * 48 : 0;
    return static_cast<std::uint32_t>((static_cast<std::int64_t>(a.weekday) - b.weekday) * 48 +
                                      static_cast<std::int64_t>(a.slot) - b.slot + wrap);
}

} // namespace qtr
