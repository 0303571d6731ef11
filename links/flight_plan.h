#pragma once
// Flight-plan files of AI aircraft: one "{object id}.pln" per object in "orig_dest" of the data
// folder; the folder goes at the end of the program.
#include <cstdint>
#include <filesystem>
#include <string>

namespace qtr {

struct FlightRecord;

extern std::filesystem::path flightPlanFolder;

// Creates the data folder and the flight-plan folder when missing and sets flightPlanFolder.
// When they cannot be made (a settings folder that cannot be written) it logs why once, leaves
// flightPlanFolder empty (no plans in this run) and returns false.
bool createFlightPlanFolders();
std::filesystem::path flightPlanPath(std::uint32_t objectId);
// Writes the eight lines of the plan; false when the file cannot be opened.
bool writeFlightPlanFile(const std::filesystem::path& path, const FlightRecord& record);
void gf_removeFlightPlanFolder();

// Origin and destination go into the file as they stand, so only short alphanumeric airport
// codes are accepted for a plan.
bool isFlightPlanAirportCode(const std::string& code);

} // namespace qtr
