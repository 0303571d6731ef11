#include "liveries/livery_reports.h"

#include "foundation/indicators.h"
#include "foundation/errors.h"
#include "foundation/log.h"
#include "foundation/parameters/parameter_table.h"
#include "liveries/livery_matcher.h"
#include "foundation/flight_record.h"
#include "foundation/run_control.h"

#include <fmt/format.h>

#include <algorithm>

namespace qtr {

namespace {

// One entry per refused creation: the flight's type, a blank and its airline. Worker thread.
std::vector<std::string> failedLiveryEntries;

constexpr std::size_t tooManyFailures = 20;

} // namespace

void onLiveryNotCreated(const FlightRecord& record)
{
    if (stopRequested.load() || windowClosed.load()) return;
    setStatus(fmt::format("{} \"{}\" could not be created by your Sim!", record.callsign, record.livery), true);
    failedTitles.emplace_back(record.livery);
    failedLiveryEntries.push_back(record.type + " " + record.airline);
    if (failedTitles.size() < tooManyFailures) return;
    const std::string message = fmt::format("there are too many liveries that could not be created by {}!", "MSFS");
    logLine(fmt::format("\n{}Error 81, {}\n", "===> ", message));
    throw UserErrorException(81, fmt::format("{}, see Log.txt", message));
}

std::vector<std::string> failedLiveries()
{
    std::vector<std::string> entries = failedLiveryEntries;
    std::sort(entries.begin(), entries.end());
    entries.erase(std::unique(entries.begin(), entries.end()), entries.end());
    for (std::string& e : entries) e.insert(0, "  ");
    return entries;
}

void clearFailedLiveries() { failedLiveryEntries.clear(); }

void logNoMatchList()
{
    if (unmatchedNames.empty() || !LOG.value()) return;
    logLine("\nNo match found for: ");
    for (const std::string& name : unmatchedNames) logLine(name);
    logLine("");
}

} // namespace qtr
