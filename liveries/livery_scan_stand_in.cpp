// STAND-IN for the livery scan driver (see the header).
#include "liveries/livery_scan_stand_in.h"

#include "app/main_window.h"
#include "foundation/log.h"
#include "liveries/livery_matcher_stand_in.h"

namespace qtr {

std::atomic<bool> liveriesProcessed{false};

void gf_scanLiveries() { logLine("livery scan: not available in this build"); }

void gf_clearLiveries()
{
    clearLiveryMatcherStandIn();
    mainWindow.liveryCount = 0;
    mainWindow.invalidate(linksBand);
}

} // namespace qtr
