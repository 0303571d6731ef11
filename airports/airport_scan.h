#pragma once
// The add-on airport scan: walks the simulator's "Official" (2020) and "Community" package
// folders, decodes every BGL file that holds an airport section on a task of its own (never more
// at once than the machine has hardware threads), writes the generated airport files and
// redirects the tasks found, in walk order, then "output/info/AirportsScanLog.txt", and prepares
// the folder "TBLO" with what the maker could improve. The worker runs it at the start of a run
// while SCAN_AIRPORTS is on; the scan switches SCAN_AIRPORTS off.
#include "airports/scanned_airports.h"

#include <filesystem>
#include <string>
#include <vector>

namespace qtr {

// The worker's entry: the whole scan with its status and log lines, the airport-name map loaded
// for it and emptied after it.
void lf_airportsScan();
// Back to the state of a process that never scanned (the simulator switch asks for a fresh scan):
// the collected scan messages and the TBLO count emptied. Worker thread, while no scan runs.
void resetAirportScanCollection();
// Scans the folders; true when an airport was linked or a generated file saved.
bool lf_scanAirports(const std::vector<std::filesystem::path>& folders);
// Walks one scan folder (messages for a missing one or a file).
void lf_checkScanFolders(const std::filesystem::path& folder);
// The recursive walk of one folder with its tasks; returns when every started task has ended.
void lf_searchAirportsInFolder(const std::filesystem::path& folder);
// Folders never descended into: paths of 250 characters or more, and (in the part of the path
// after its first rootLength characters, the scanned root) aircraft, tutorials and other
// packages without airports.
inline constexpr std::size_t longestScanPath = 250;
bool lf_isExcludedFolder(const std::string& pathText, std::size_t rootLength = 0);

// The walk's two first steps, also measured by the benchmark: the BGL files below the folder in
// walk order (excluded folders and files left out), and the quick pass over them on as many
// threads as scan tasks may run (a damaged file gets a scan message).
std::vector<std::filesystem::path> lf_collectBglFiles(const std::filesystem::path& folder);
std::vector<BglQuickPass> lf_quickPass(const std::vector<std::filesystem::path>& files);

// The per-file task: every airport of the BGL file. Releases one scan-worker slot on every path.
// An error that ends the file early is logged and returned in the result's error.
BglScanResult lf_toParkingPositions(const std::filesystem::path& path);
// Writes what one file's scan found (worker thread, in walk order); later files overwrite earlier
// ones of the same airport.
void applyBglScanResult(const BglScanResult& result);

} // namespace qtr
