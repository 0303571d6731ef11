#pragma once
// The stands of an airport as its airport file describes them: each with its options (who parks
// there on which weekday in which half-hour slots) and its arrivals; and the stand list of the
// current park airport, which the airport file's reader fills and the traffic manager uses.
#include <atomic>
#include <bitset>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace qtr {

struct StandArrival {
    std::uint32_t weekday = 1;
    std::uint32_t slot = 0;
    std::uint32_t id = 0; // the option that holds it
};

inline constexpr std::uint32_t optionSoft = 0;
inline constexpr std::uint32_t optionReal = 1;

struct StandOption {
    std::string airline;
    std::string type;
    std::string reg; // registration, else callsign
    std::string cs;
    std::string cs2;
    std::bitset<48> slots;
    std::uint32_t id = 0; // 1-based; 0 = switched off
    std::uint32_t day = 1;
    std::uint32_t fixed = 0;
    std::uint32_t kind = optionReal;
    // Left out by the static-parking search for the calculation under way (its flight is live,
    // its aircraft already stands elsewhere). A flag rather than id 0, so that the option keeps
    // its id for the arrivals that name it and is still saved with the learned file.
    bool off = false;
};

struct Stand {
    std::vector<StandOption> options;
    std::unordered_map<std::uint32_t, StandArrival> realArrivals;
    std::unordered_map<std::uint32_t, StandArrival> softArrivals;
    std::string name;
    std::vector<std::uint32_t> adjacent;
    double lat = 0, lon = 0;
    double heading = 0; // rad
    double radius = 0;  // nm
    std::uint32_t id = 0;
    bool manual = false;
    bool radius_change = false;
    bool cargo_change = false;
    bool taken = false;
    bool occupied = false;
    bool reserved = false;
    bool blocked = false;
    bool cargo = false;
    bool ramp = false;
    bool heli = false;

    Stand() { adjacent.reserve(8); }
};

// The stands of the current park airport. Only the worker thread reads and changes them, except
// nearestStandName, which the SimConnect thread calls as well: every change of the vector itself
// (filling, emptying) goes through replaceStands or clearStands, which hold standsMutex.
extern std::vector<Stand> stands;
extern std::mutex standsMutex;
void replaceStands(std::vector<Stand> newStands);
void clearStands();

// Changes of options, radii and cargo flags; decides whether the learned file is saved.
extern std::atomic<std::int32_t> standChangeCount;
// Bumped with every change of the stand vector; a cached answer about the stands (the traffic
// manager's nearest stand) counts only for the generation it was found in.
extern std::atomic<std::uint64_t> standsGeneration;

} // namespace qtr
