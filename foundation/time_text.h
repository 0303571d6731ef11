#pragma once
// Time as text, weekdays and half-hour slots. The program lives on UTC.
#include <atomic>
#include <cstdint>
#include <string>

namespace qtr {

// Weekday 1 (Monday) ... 7 (Sunday) and half-hour slot 0 ... 47 of the UTC day. Slot 2h covers
// hh:00:00 ... hh:29:29 and slot 2h + 1 covers hh:29:30 ... hh:59:59.
struct DaySlot {
    std::uint32_t weekday = 1;
    std::uint32_t slot = 0;
    bool operator==(const DaySlot&) const = default;
};
// Fits one 64-bit word (weekday in the low half on this platform), cheap to pass by value.
static_assert(sizeof(DaySlot) == 8);

// What the feed says of its clock; the program clock below follows it. The feed links set both
// (any thread).
// RealTraffic reported the professional edition (level 2) in its handshake.
extern std::atomic<bool> feedProfessional;
// Time of the latest traffic report (seconds since 1970 UTC, from the feed); 0 until one
// arrived and after resetTrafficState.
extern std::atomic<double> latestFeedReportTime;

// Seconds since 1970 UTC of the PC's clock.
std::int64_t nowUtcSeconds();
// The program clock: the feed's latest report time (whole seconds) when the feed client is the
// professional edition and a report has arrived, else the PC's clock.
std::int64_t programClockSeconds();

// "Thu Jan 01 00:00:00 1970": weekday, month, two-digit day, hh:mm:ss, year (24 characters).
std::string timeToText(std::int64_t secondsSince1970);
// hh:mm:ss of the PC's current UTC time.
std::string nowTimeText();
// "Dec 10, 2026": month, day, comma and year of the PC's current UTC date.
std::string nowDateText();
// hh:mm:ss of the program clock.
std::string simTimeText();
// "Mon", ... "Sun" for 1 ... 7, else "???".
std::string weekdayName(int weekday);

// Weekday and slot of a time (seconds since 1970 UTC).
DaySlot daySlotOf(std::int64_t secondsSince1970);
// Weekday and slot of the program clock.
DaySlot currentDaySlot();
// Slots from the earlier of two points of the week to the later (a Monday follows a Sunday).
std::uint32_t compareDaySlot(DaySlot a, DaySlot b);
// The average fit shown for parked aircraft: hours between their slots and now (compareDaySlot
// summed over count aircraft), plus half an hour; 0 without aircraft.
float averageFitHours(std::int64_t slotsApart, int count);

} // namespace qtr
