#pragma once
// The commands of the main window: its check boxes and push buttons (window thread). What must
// change the traffic manager's own tables is handed to the worker as a request.
#include <atomic>

#include <windows.h>

namespace qtr {

// Handles WM_COMMAND; false when the id belongs to no control of the parameter band.
bool lf_HandleWMCOMMAND(HWND window, WPARAM wParam);

// Raised by the simulator switch (both) and by SCAN_LIVERIES switched on while the run starts
// (liveries only): the next worker start empties the livery data, or the add-on airport scan's
// collection, before it scans, so that nothing the running worker reads is cleared under it.
extern std::atomic<bool> clearLiveriesRequest;
extern std::atomic<bool> resetAirportScanRequest;
// Serves both (worker thread, at its start).
void serveFreshScanRequests();

} // namespace qtr
