#pragma once
// The commands of the main window: its check boxes and push buttons (window thread). What must
// change the traffic manager's own tables is handed to the worker as a request.
#include "traffic/run/startup.h"

#include <atomic>

#include <windows.h>

namespace qtr {

// Handles WM_COMMAND; false when the id belongs to no control of the parameter band.
bool lf_HandleWMCOMMAND(HWND window, WPARAM wParam);

// The fresh-scan requests it raises (clearLiveriesRequest, resetAirportScanRequest) belong to the
// worker's start: traffic/run/startup.h.

} // namespace qtr
