#include "foundation/time_text.h"

#include <fmt/format.h>

#include <chrono>
#include <ctime>
#include <unordered_map>

namespace qtr {

std::int64_t nowUtcSeconds()
{
    using namespace std::chrono;
    return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

std::string weekdayName(int weekday)
{
    static const std::unordered_map<int, std::string> names{{1, "Mon"}, {2, "Tue"}, {3, "Wed"}, {4, "Thu"},
                                                            {5, "Fri"}, {6, "Sat"}, {7, "Sun"}};
    const auto it = names.find(weekday);
    return it == names.end() ? "???" : it->second;
}

static std::string monthName(int month)
{
    static const std::unordered_map<int, std::string> names{
        {1, "Jan"}, {2, "Feb"}, {3, "Mar"}, {4, "Apr"}, {5, "May"}, {6, "Jun"},
        {7, "Jul"}, {8, "Aug"}, {9, "Sep"}, {10, "Okt"}, {11, "Nov"}, {12, "Dec"}};
    const auto it = names.find(month);
    return it == names.end() ? "???" : it->second;
}

std::string timeToText(std::int64_t secondsSince1970)
{
    const std::time_t t = static_cast<std::time_t>(secondsSince1970);
    std::tm tm{};
    gmtime_s(&tm, &t);
    const int weekday = tm.tm_wday == 0 ? 7 : tm.tm_wday;
    return fmt::format("{:3} {:3} {:02} {:02}:{:02}:{:02} {:4}", weekdayName(weekday), monthName(tm.tm_mon + 1),
                       tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, tm.tm_year + 1900);
}

std::string nowTimeText()
{
    const std::string text = timeToText(nowUtcSeconds());
    return text.substr(text.size() - 13, 8);
}

} // namespace qtr

namespace qtr {

std::string nowDateText()
{
    const std::string text = timeToText(nowUtcSeconds());
    return fmt::format("{}, {}", text.substr(4, 6), text.substr(20, 4));
}

} // namespace qtr
