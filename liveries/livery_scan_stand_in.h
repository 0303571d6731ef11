#pragma once
// STAND-IN for the livery scan driver: the names the worker's start-up and the main window's
// commands use, with the least behaviour. The livery scan driver replaces this file.
#include <atomic>

namespace qtr {

// The scanned liveries were already processed in this process.
extern std::atomic<bool> liveriesProcessed;

// At each worker start: scans the installed liveries while SCAN_LIVERIES is on, else reads the
// last scan back. Here: the stand-in matcher's liveries stay as they are.
void gf_scanLiveries();
// Empties all livery data (worker thread, while no aircraft record holds a title).
void gf_clearLiveries();

} // namespace qtr
