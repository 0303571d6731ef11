#pragma once
// Static parking: how many parked aircraft the park airport wants, which stands and stand
// options give them for this weekday and half-hour slot (widening the time window slot by slot
// until enough stands are taken), and their placement, one per creation tick.
//
// Ownership: everything here belongs to the worker thread, except parkingBusy, which the window
// thread reads to keep the parking controls disabled.
#include "foundation/time_text.h"
#include "traffic/state/records.h"
#include "traffic/state/stands.h"

#include <atomic>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace qtr {

// One stand to be filled, with the keys copied from the option that chose it.
struct StaticCandidate {
    std::uint32_t sid = 0;
    std::uint32_t fit = 0; // slots the window was widened to reach the option (0: it holds this slot)
    std::string airline;
    std::string type;
    std::string cs;
    std::string cs2;
    std::string reg;
    bool staysOverNextSlot = true;
};

// A parked live aircraft that stays through a calculation and counts toward the wanted number.
struct LiveStayer {
    std::string callsign;
    std::uint32_t sid = 0;
    std::int64_t ageMinutes = 0;
};

// The result of a calculation, best fit (smallest) last: placement takes from the end.
extern std::vector<StaticCandidate> staticCandidates;
extern std::vector<LiveStayer> liveStayers;
extern std::int32_t realFit;
extern std::int32_t softFit;
// Static parking is calculated or its candidates are still being placed (window thread reads).
extern std::atomic<bool> parkingBusy;
// The running number of static flights: 0 ... 9999, never reset.
extern std::uint32_t staticRunningNumber;
// The callsigns the feed reported while the collection ran (handed over by resetMaps).
extern std::set<std::string> recentlyReported;

// The traffic reader starts collecting the callsigns it parses afresh.
void startCollectingReportedFlights();
// Ends the collection and takes its callsigns over into recentlyReported.
void resetMaps();

// How many parked aircraft the park airport wants: the parking percentage of its stands (one for
// an airport of up to three stands below 50 %), capped by CUSTOM_MAX_PARK. A query only.
std::int64_t wantedStaticCount();
// The percentage the statistics band shows for that number (the cap's share when it is capped).
std::int64_t shownParkingPercent(std::int64_t wanted);
// The wanted number becomes the parking limit of this calculation and is shown; returns it.
std::int64_t publishParkingLimit();
void computeStaticParking();
void runStaticParkingPasses(DaySlot daySlot, std::int64_t wanted, std::size_t kept);
void staticParkingPass(DaySlot daySlot, std::int64_t wanted, std::size_t kept, std::uint32_t kind);
bool fillStaticParking(DaySlot daySlot, std::uint32_t kind, std::int64_t wanted, std::vector<StaticCandidate>& step);
void shuffleCandidates(std::int64_t surplus, std::vector<StaticCandidate>& list);
void markReservedStands();
DaySlot logDayAndHour();
void disableParkingControls();
void enableParkingControls();

// The stand search of one pass and fit: appends at most one candidate per stand.
void lf_searchStands(DaySlot daySlot, std::uint32_t kind, std::uint32_t fit, std::vector<StaticCandidate>& candidates);
// The first static aircraft, or static candidate, that carries the option's keys (its callsign,
// coupled callsign or registration); an empty key carries nothing.
std::vector<StaticAircraft>::iterator findStaticByKeys(const StandOption& option);
std::vector<StaticCandidate>::iterator findStaticByKeys2(const StandOption& option);

// Places (or drops) the last candidate and queues its creation.
void placeStaticAircraft();
std::string lf_detcs(const StaticCandidate& candidate);
std::string makeStaticCallsign(const std::string& key);
// A live aircraft parked on this stand: its static candidates go.
void dropStaticCandidates(std::uint32_t sid);

// Static aircraft active or being removed; with updateDisplay also their average stay.
int countStaticParked(bool updateDisplay);

// Back to the start of a run (candidates, working lists, busy flag); the running number stays.
void clearStaticParking();

} // namespace qtr
