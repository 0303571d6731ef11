#pragma once
// Time as text. The program lives on UTC.
#include <cstdint>
#include <string>

namespace qtr {

// Seconds since 1970 UTC of the PC's clock.
std::int64_t nowUtcSeconds();
// "Thu Jan 01 00:00:00 1970": weekday, month, two-digit day, hh:mm:ss, year (24 characters).
std::string timeToText(std::int64_t secondsSince1970);
// hh:mm:ss of the PC's current UTC time.
std::string nowTimeText();
// "Dec 10, 2026": month, day, comma and year of the PC's current UTC date.
std::string nowDateText();
// "Mon", ... "Sun" for 1 ... 7, else "???".
std::string weekdayName(int weekday);

} // namespace qtr
